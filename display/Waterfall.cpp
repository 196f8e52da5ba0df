// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Waterfall.h"

#include "Constants.h"
#include "LabelFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace corvane {

namespace {

constexpr Colour Black = Rgb(0, 0, 0);
constexpr Colour White = Rgb(255, 255, 255);
constexpr Colour Grey = Rgb(128, 128, 128);

constexpr std::size_t PointCount = Waterfall::Points;
constexpr double LevelsPerDb = 255.0 / (Waterfall::TopDb - Waterfall::BottomDb);

// Evenly spaced colours a palette runs through, first = weakest.
constexpr std::array<Colour, 6> ClassicStops{Rgb(0, 0, 48),    Rgb(0, 0, 255), Rgb(0, 255, 255),
                                             Rgb(255, 255, 0), Rgb(255, 0, 0), Rgb(255, 255, 255)};
// Viridis at nine even steps.
constexpr std::array<Colour, 9> ViridisStops{
    Rgb(68, 1, 84),    Rgb(71, 44, 122), Rgb(59, 81, 139),  Rgb(44, 113, 142), Rgb(33, 144, 141),
    Rgb(39, 173, 129), Rgb(92, 200, 99), Rgb(170, 220, 50), Rgb(253, 231, 37)};

std::uint32_t Channel(Colour c, int shift) {
    return (c >> shift) & 0xFFu;
}

template <std::size_t N> Waterfall::ColourTable Spread(const std::array<Colour, N>& stops) {
    Waterfall::ColourTable table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const double t = static_cast<double>(i) * static_cast<double>(N - 1) / 255.0;
        const auto k = std::min(static_cast<std::size_t>(t), N - 2);
        const double f = t - static_cast<double>(k);
        std::array<std::uint32_t, 3> rgb{};
        for (int ch = 0; ch < 3; ++ch) {
            const double a = Channel(stops[k], 16 - 8 * ch);
            const double b = Channel(stops[k + 1], 16 - 8 * ch);
            rgb[static_cast<std::size_t>(ch)] =
                static_cast<std::uint32_t>(std::nearbyint(a + (b - a) * f));
        }
        table[i] = Rgb(rgb[0], rgb[1], rgb[2]);
    }
    return table;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

// ------------------------------------------------------------------------------------------
// Levels, palettes, columns, labels.

std::uint8_t Waterfall::Level(double db) {
    if (!(db > BottomDb)) { // below the bottom, or not a number
        return 0;
    }
    const double level = RoundHalfEven((std::min(db, TopDb) - BottomDb) * LevelsPerDb);
    return static_cast<std::uint8_t>(level);
}

double Waterfall::LevelDb(std::int32_t level) {
    return BottomDb + level / LevelsPerDb;
}

std::optional<Waterfall::PaletteKind> Waterfall::PaletteNamed(std::string_view name) {
    if (name == "classic") {
        return PaletteKind::Classic;
    }
    if (name == "viridis") {
        return PaletteKind::Viridis;
    }
    return std::nullopt;
}

std::string_view Waterfall::PaletteName(PaletteKind kind) {
    return kind == PaletteKind::Viridis ? "viridis" : "classic";
}

Waterfall::ColourTable Waterfall::PaletteColours(PaletteKind kind) {
    return kind == PaletteKind::Viridis ? Spread(ViridisStops) : Spread(ClassicStops);
}

Waterfall::ColourTable Waterfall::LevelColours(PaletteKind kind, double floorDb, double ceilingDb) {
    const ColourTable palette = PaletteColours(kind);
    ColourTable table{};
    for (std::int32_t level = 0; level < Levels; ++level) {
        const double t = std::clamp((LevelDb(level) - floorDb) / (ceilingDb - floorDb), 0.0, 1.0);
        table[static_cast<std::size_t>(level)] =
            palette[static_cast<std::size_t>(std::nearbyint(t * 255.0))];
    }
    return table;
}

std::array<std::int32_t, 2> Waterfall::ColumnPoints(std::int32_t column, std::int32_t width) {
    const std::int32_t first = column * Points / width;
    const std::int32_t last = (column + 1) * Points / width;
    return {first, std::max(last, first + 1)};
}

std::array<std::int32_t, 2> Waterfall::ViewColumns(std::array<std::int32_t, 2> wide,
                                                   std::int32_t width) {
    const auto left = static_cast<std::int32_t>(FloorDiv(std::int64_t{wide[0]} * width, Points));
    const auto right =
        static_cast<std::int32_t>(-FloorDiv(-std::int64_t{wide[1]} * width, Points)); // ceiling
    return {left, std::max(right, left + 1)};
}

std::array<char, 8> Waterfall::ClockLabel(std::int64_t ms) {
    const std::int64_t seconds = FloorDiv(ms, 1000) % 86400;
    const auto s = static_cast<int>(seconds < 0 ? seconds + 86400 : seconds);
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    std::array<char, 8> label{};
    std::copy_n(text.begin(), label.size(), label.begin());
    return label;
}

std::int64_t Waterfall::MarkIntervalMs(double rowsPerSecond, std::int32_t minRows) {
    constexpr std::array<std::int64_t, 10> Seconds{10, 20, 30, 60, 120, 300, 600, 1200, 1800, 3600};
    for (const std::int64_t s : Seconds) {
        if (static_cast<double>(s) * rowsPerSecond >= minRows) {
            return s * 1000;
        }
    }
    return Seconds.back() * 1000;
}

// ------------------------------------------------------------------------------------------
// History.

Waterfall::Waterfall(std::int32_t historyRows)
    : CapacityRows(std::max(historyRows, 1)),
      // Left uninitialised: only rows already written are read, so a history that is never
      // filled never takes its memory.
      Ring(std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(CapacityRows) *
                                                          PointCount)),
      Times(static_cast<std::size_t>(CapacityRows), 0) {
    Recolour();
    SetViewWidth(Points);
}

void Waterfall::AddRow(std::span<const float> db, std::int64_t timeMs) {
    if (db.size() < PointCount) {
        return;
    }
    const auto slot = static_cast<std::size_t>(Added % CapacityRows);
    std::uint8_t* row = Ring.get() + slot * PointCount;
    for (std::size_t x = 0; x < PointCount; ++x) {
        row[x] = Level(db[x]);
    }
    Times[slot] = timeMs;
    ++Added;
}

void Waterfall::AddLevels(std::span<const std::uint8_t> levels, std::int64_t timeMs) {
    if (levels.size() < PointCount) {
        return;
    }
    const auto slot = static_cast<std::size_t>(Added % CapacityRows);
    std::copy_n(levels.begin(), PointCount, Ring.get() + slot * PointCount);
    Times[slot] = timeMs;
    ++Added;
}

void Waterfall::Clear() {
    Added = 0;
}

std::int64_t Waterfall::Oldest() const {
    return std::max<std::int64_t>(0, Added - CapacityRows);
}

std::span<const std::uint8_t> Waterfall::RowLevels(std::int64_t row) const {
    if (!Holds(row)) {
        return {};
    }
    return {Ring.get() + static_cast<std::size_t>(row % CapacityRows) * PointCount, PointCount};
}

std::int64_t Waterfall::RowTimeMs(std::int64_t row) const {
    return Holds(row) ? Times[static_cast<std::size_t>(row % CapacityRows)] : 0;
}

bool Waterfall::Marked(std::int64_t row, std::int64_t intervalMs) const {
    if (!Holds(row) || intervalMs <= 0) {
        return false;
    }
    if (row == Oldest()) {
        return true;
    }
    return FloorDiv(RowTimeMs(row), intervalMs) != FloorDiv(RowTimeMs(row - 1), intervalMs);
}

// ------------------------------------------------------------------------------------------
// Colours.

void Waterfall::SetPalette(PaletteKind kind) {
    Kind = kind;
    Recolour();
}

void Waterfall::SetRange(double floorDb, double ceilingDb) {
    Ceiling = std::clamp(ceilingDb, BottomDb + MinSpanDb, TopDb);
    Floor = std::clamp(floorDb, BottomDb, Ceiling - MinSpanDb);
    Recolour();
}

void Waterfall::SetAuto(bool on) {
    AutoRange = on;
    if (on && Added > 0) {
        const double noise = LevelDb(MedianLevel(RowLevels(Newest())));
        SetRange(noise, noise + AutoSpanDb);
    }
}

std::uint8_t Waterfall::MedianLevel(std::span<const std::uint8_t> levels) {
    if (levels.empty()) {
        return 0;
    }
    std::array<std::uint32_t, Levels> counts{};
    for (const std::uint8_t level : levels) {
        ++counts[level];
    }
    const std::size_t middle = (levels.size() - 1) / 2; // the lower middle of an even count
    std::size_t seen = 0;
    for (std::size_t level = 0; level < counts.size(); ++level) {
        seen += counts[level];
        if (seen > middle) {
            return static_cast<std::uint8_t>(level);
        }
    }
    return static_cast<std::uint8_t>(Levels - 1);
}

void Waterfall::FollowNoise() {
    if (!AutoRange || Added == 0) {
        return;
    }
    const double noise = LevelDb(MedianLevel(RowLevels(Newest())));
    if (std::abs(noise - Floor) > AutoHysteresisDb) {
        SetRange(noise, noise + AutoSpanDb);
    }
}

void Waterfall::Recolour() {
    Table = LevelColours(Kind, Floor, Ceiling);
    ++TableVersion;
}

// ------------------------------------------------------------------------------------------
// Views.

void Waterfall::SetViewWidth(std::int32_t width) {
    width = std::max(width, 1);
    FirstPoint.assign(static_cast<std::size_t>(width) + 1, 0);
    for (std::int32_t c = 0; c < width; ++c) {
        FirstPoint[static_cast<std::size_t>(c)] =
            static_cast<std::int16_t>(ColumnPoints(c, width)[0]);
    }
    FirstPoint.back() = static_cast<std::int16_t>(Points);
}

void Waterfall::PaintRow(std::int64_t row, std::span<Colour> pixels) const {
    const std::span<const std::uint8_t> points = RowLevels(row);
    const std::size_t width = std::min(pixels.size(), FirstPoint.size() - 1);
    if (points.empty()) {
        std::fill_n(pixels.begin(), width, Black);
        return;
    }
    if (width == PointCount) {
        for (std::size_t x = 0; x < PointCount; ++x) {
            pixels[x] = Table[points[x]];
        }
        return;
    }
    for (std::size_t c = 0; c < width; ++c) {
        const auto first = static_cast<std::size_t>(FirstPoint[c]);
        const auto last = std::max(static_cast<std::size_t>(FirstPoint[c + 1]), first + 1);
        std::uint8_t strongest = points[first];
        for (std::size_t p = first + 1; p < last; ++p) {
            strongest = std::max(strongest, points[p]);
        }
        pixels[c] = Table[strongest];
    }
}

// ------------------------------------------------------------------------------------------
// Pictures.

void DrawWaterfallAxis(Surface& axis, const LabelFont& font, std::int32_t loHz) {
    const std::int32_t width = axis.Width();
    axis.Fill(Black);
    if (width <= 0) {
        return;
    }
    // A label every 2.4 kHz (50 points) as on the wide spectrum's grid, every second or fifth
    // one when the view is too narrow for them all.
    const std::int32_t labelWidth = font.TextWidth("-21.6 ") + 4;
    std::int32_t every = 1;
    for (const std::int32_t step : {1, 2, 5, 10}) {
        every = step;
        if (50 * step * width / Waterfall::Points >= labelWidth) {
            break;
        }
    }
    for (std::int32_t k = 0; k <= 20; ++k) {
        const std::int32_t x = Waterfall::ViewColumns({50 * k, 50 * k}, width)[0];
        axis.Line({x, WaterfallAxisHeight - 4}, {x, WaterfallAxisHeight}, Pen{Grey});
        if (k == 0 || k == 20 || (k - 10) % every != 0) {
            continue;
        }
        const std::array<char, 6> label = Spectrum::FrequencyLabel((k - 10) * 2.4);
        axis.Text(x + 2, 1, std::string_view(label.data(), label.size()), font, White, Black);
    }
    axis.Text(2, 1, "kHz", font, White, Black);
    // The centre as the readout shows it: 07.056.00 MHz.
    std::array<char, 16> digits{};
    std::snprintf(digits.data(), digits.size(), "%08d", static_cast<int>(loHz));
    const std::string_view d(digits.data(), 8);
    std::array<char, 16> mhz{};
    std::snprintf(mhz.data(), mhz.size(), "%.2s.%.3s.%.2s MHz", d.data(), d.data() + 2,
                  d.data() + 5);
    const std::string_view centre(mhz.data());
    const std::int32_t centreX = Waterfall::ViewColumns({500, 500}, width)[0];
    axis.Text(centreX - font.TextWidth(centre) / 2, 11, centre, font, White, Black);
}

void DrawWaterfallTime(Surface& picture, std::int32_t y, std::int64_t ms, const LabelFont& font) {
    const std::array<char, 8> label = Waterfall::ClockLabel(ms);
    picture.Text(2, y, std::string_view(label.data(), label.size()), font, White, Black);
}

Surface DrawWaterfallPicture(const Waterfall& waterfall, const LabelFont& font, std::int32_t loHz,
                             std::int64_t intervalMs) {
    const std::int64_t first = waterfall.Oldest();
    const auto rows = static_cast<std::int32_t>(waterfall.Count() - first);
    Surface picture(Waterfall::Points, WaterfallAxisHeight + rows);
    Surface axis(Waterfall::Points, WaterfallAxisHeight);
    DrawWaterfallAxis(axis, font, loHz);
    picture.Blit(axis);
    for (std::int32_t i = 0; i < rows; ++i) {
        waterfall.PaintRow(first + i, picture.WritableRow(WaterfallAxisHeight + i));
    }
    // Labels after the rows, so that a label's cells are not painted over by later rows.
    for (std::int32_t i = 0; i < rows; ++i) {
        if (waterfall.Marked(first + i, intervalMs)) {
            DrawWaterfallTime(picture, WaterfallAxisHeight + i, waterfall.RowTimeMs(first + i),
                              font);
        }
    }
    return picture;
}

} // namespace corvane
