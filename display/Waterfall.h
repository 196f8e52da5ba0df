// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Spectrum.h"
#include "Surface.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace corvane {

class LabelFont;

// The waterfall of the whole band, apart from any window: a history of rows, one per block, each
// the wide trace's 1000 points as one byte per point; the colours they are shown in; and how a
// row is laid onto a view of any width. The live window and corvane-replay's picture both use it.
//
// A byte is an absolute level, 0 at -140 dBV and 255 at 0 dBV (0.55 dB a step), not a colour:
// the palette, floor and ceiling only decide the 256 colours the levels are shown in, so
// changing them recolours the whole history at once and costs nothing per row.
//
// Storage is allocated at construction (the ring, untouched until written) and at SetViewWidth
// (the column map); adding and painting rows allocate nothing. UI thread only.
class Waterfall {
public:
    static constexpr std::int32_t Points = Spectrum::WideColumns; // 48 Hz each, 500 = centre
    static constexpr std::int32_t Levels = 256;
    static constexpr double TopDb = 0.0;       // level 255
    static constexpr double BottomDb = -140.0; // level 0
    // Ten minutes of blocks: 600 s x 23.4375 rows a second, rounded up.
    static constexpr std::int32_t LiveHistoryRows = 14063;
    static constexpr double AutoSpanDb = 60.0;      // Auto: ceiling this far above the floor
    static constexpr double AutoHysteresisDb = 2.0; // Auto: the noise must move this far first
    static constexpr double MinSpanDb = 1.0;        // ceiling at least this far above the floor

    enum class PaletteKind : std::uint8_t {
        Classic, // dark blue, blue, cyan, yellow, red, white
        Viridis, // perceptually uniform: dark violet, blue, green, yellow
    };
    using ColourTable = std::array<Colour, Levels>;

    // --- Levels and palettes, pure.
    // The byte of a level in dBV: rounded half to even, held within -140..0; not a number is 0.
    static std::uint8_t Level(double db);
    static double LevelDb(std::int32_t level);
    // "classic" or "viridis"; nullopt for any other name.
    static std::optional<PaletteKind> PaletteNamed(std::string_view name);
    static std::string_view PaletteName(PaletteKind kind);
    // The palette's 256 colours from the weakest to the strongest.
    static ColourTable PaletteColours(PaletteKind kind);
    // Colours of the 256 levels: the palette stretched from floorDb (its first colour and all
    // below) to ceilingDb (its last colour and all above).
    static ColourTable LevelColours(PaletteKind kind, double floorDb, double ceilingDb);
    // The points [first, last) that column `column` of a view `width` columns wide shows:
    // several when the view is narrower than Points (the strongest is shown), one when wider.
    static std::array<std::int32_t, 2> ColumnPoints(std::int32_t column, std::int32_t width);
    // The view columns [left, right) that cover wide-spectrum columns [left, right).
    static std::array<std::int32_t, 2> ViewColumns(std::array<std::int32_t, 2> wide,
                                                   std::int32_t width);
    // "HH:MM:SS" of `ms` counted from a midnight (days are dropped).
    static std::array<char, 8> ClockLabel(std::int64_t ms);
    // Marks every 10 s, or the first of 20, 30, 60, 120, 300, 600, 1200, 1800 and 3600 s that
    // puts marks at least `minRows` apart at `rowsPerSecond`.
    static std::int64_t MarkIntervalMs(double rowsPerSecond, std::int32_t minRows);

    explicit Waterfall(std::int32_t historyRows = LiveHistoryRows);
    Waterfall(const Waterfall&) = delete;
    Waterfall& operator=(const Waterfall&) = delete;

    // --- History. Rows are numbered from 0 in the order they came; the newest `Capacity` are
    // kept. `timeMs` is the row's time stamp as the marks should read it.
    void AddRow(std::span<const float> db, std::int64_t timeMs); // at least Points values
    void AddLevels(std::span<const std::uint8_t> levels, std::int64_t timeMs);
    void Clear();
    std::int32_t Capacity() const { return CapacityRows; }
    std::int64_t Count() const { return Added; }      // rows added since Clear
    std::int64_t Newest() const { return Added - 1; } // -1 before the first
    std::int64_t Oldest() const;                      // oldest kept (Count() if none)
    bool Holds(std::int64_t row) const { return row >= Oldest() && row < Added; }
    std::span<const std::uint8_t> RowLevels(std::int64_t row) const; // empty unless held
    std::int64_t RowTimeMs(std::int64_t row) const;                  // 0 unless held
    // The row carries a mark: the first held row, or one whose time stamp passed a multiple of
    // `intervalMs` since the row before it.
    bool Marked(std::int64_t row, std::int64_t intervalMs) const;

    // --- Colours.
    void SetPalette(PaletteKind kind);
    PaletteKind Palette() const { return Kind; }
    // Held within -140..0 dBV, the ceiling at least MinSpanDb above the floor (the floor gives
    // way). With Auto on the floor follows the noise again at the next row.
    void SetRange(double floorDb, double ceilingDb);
    double FloorDb() const { return Floor; }
    double CeilingDb() const { return Ceiling; }
    // Auto: the floor at the newest row's median level (the band's noise: most of the band is
    // empty), the ceiling AutoSpanDb above. Turning it on takes the newest row's noise at once;
    // after that FollowNoise (called after each row, unless the picture is to stay as it is)
    // moves them when the noise moved more than AutoHysteresisDb.
    void SetAuto(bool on);
    bool Auto() const { return AutoRange; }
    void FollowNoise();
    const ColourTable& Colours() const { return Table; }
    // Goes up whenever Colours() changes: a view painted under an older version is repainted.
    std::uint64_t ColoursVersion() const { return TableVersion; }
    // The median level of a row of levels (the lower middle one of an even count).
    static std::uint8_t MedianLevel(std::span<const std::uint8_t> levels);

    // --- Views. Rows are painted for a view this many columns wide (default Points).
    void SetViewWidth(std::int32_t width);
    std::int32_t ViewWidth() const { return static_cast<std::int32_t>(FirstPoint.size()) - 1; }
    // One held row in its colours across ViewWidth() pixels, each column the strongest of its
    // points; black when not held.
    void PaintRow(std::int64_t row, std::span<Colour> pixels) const;

private:
    void Recolour();

    std::int32_t CapacityRows;
    std::unique_ptr<std::uint8_t[]> Ring; // CapacityRows x Points levels, row r at r % capacity
    std::vector<std::int64_t> Times;      // CapacityRows time stamps, ms
    std::int64_t Added = 0;               // rows added since Clear

    PaletteKind Kind = PaletteKind::Classic;
    double Floor = -120.0; // dBV, first colour
    double Ceiling = -40.0;
    bool AutoRange = false;
    ColourTable Table{};
    std::uint64_t TableVersion = 0;

    std::vector<std::int16_t> FirstPoint; // view width + 1 entries: column c shows points
                                          // FirstPoint[c] .. max(FirstPoint[c+1], +1) - 1
};

// The frequency axis above a waterfall as wide as `axis`: a tick and a kHz label every 2.4 kHz,
// as the wide spectrum labels its grid, and the centre's frequency in MHz as the readout shows
// it (`loHz`), on black, in WaterfallAxisHeight rows.
inline constexpr std::int32_t WaterfallAxisHeight = 22;
void DrawWaterfallAxis(Surface& axis, const LabelFont& font, std::int32_t loHz);

// A time label at the left edge of a waterfall picture, its top at row `y`.
void DrawWaterfallTime(Surface& picture, std::int32_t y, std::int64_t ms, const LabelFont& font);

// The whole history as one picture, oldest row at the top under the frequency axis, marks of
// `intervalMs` labelled at the left edge. The view width must be Points.
Surface DrawWaterfallPicture(const Waterfall& waterfall, const LabelFont& font, std::int32_t loHz,
                             std::int64_t intervalMs);

} // namespace corvane
