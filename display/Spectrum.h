// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "LabelFont.h"
#include "PictureBox.h"
#include "ReceiverSettings.h"
#include "Surface.h"
#include "TraceLayer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace corvane {

class Spectrum;

// Whoever else reads each block's wide trace once it is drawn (the waterfall). Called on the UI
// thread from DrawWideSpectrum, only after the displays are built.
class WideTraceTap {
public:
    virtual ~WideTraceTap() = default;
    virtual void WideTraceDrawn(const Spectrum& traces) = 0;
};

// The two spectrum displays: the wide spectrum of the whole 48 kHz band with its pass-band
// marker, and the audio spectrum. Grids, scales and backdrops are drawn once into their own
// surfaces; each block composes a frame on a separate surface and shows it in one copy.
// Owned once by the window's displays; UI thread only.
class Spectrum {
public:
    static constexpr std::int32_t WideColumns = 1000; // 48 Hz per column, column 500 = band centre
    static constexpr std::int32_t AudioColumns = 200; // 10 Hz (CW) or 20 Hz per column from 0 Hz
    static constexpr double DbSpan = 140.0;           // trace height = 0 dBV down to -140 dBV
    static constexpr double ZeroMagnitude = 1.1e-7;   // stands in for an exact zero (-139.17 dB)

    explicit Spectrum(const ReceiverSettings& settings);
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // Once, on the window's first timer tick: builds the surfaces from the boxes' sizes, draws
    // the static content and shows it. The boxes must outlive this object.
    void InitWideDisplay(PictureBox& backdrop, PictureBox& trace);
    void InitAudioDisplay(PictureBox& scale, PictureBox& trace);
    // kHz labels of the wide grid: startKHz at the centre column, hzPerPixel per column.
    void DrawFrequencyScale(double startKHz, double hzPerPixel);
    // kHz labels of the audio scale: cw non-zero 0.0 .. 2.0 kHz, zero 0.0 .. 4.0 kHz. Shown with
    // the next block or refresh.
    void DrawAudioScale(std::int32_t cw);
    // Pass-band marker width in pixels; the sign is ignored.
    void SetMarkerWidth(std::int32_t width) { MarkerWidth = width; }
    // Shows the last composed frames again (backdrop, audio scale, wide frame, audio frame).
    void RefreshDisplays();

    // Per block. specBuf: at least 2048 magnitudes (1.0 = 0 dBV), fewer are ignored; binCount
    // is not used (the column mapping fixes which bins are read); videoFilter N averages over
    // about N blocks (values below 1 count as 1).
    void DrawWideSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                          std::int32_t videoFilter);
    // specBuf: at least 172 audio bins at 23.4375 Hz from 0 Hz.
    void DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                           std::int32_t videoFilter);

    // The wide trace's points of the last block in dBV, as the trace draws them (after the
    // video filter, to its row resolution): 0 at the top row, -140 at the bottom one. `db`
    // takes WideColumns values; nothing is written before the displays are built.
    void WideTraceDb(std::span<float> db) const;
    // Each block's wide trace goes to `tap` too once drawn; null (the default) for none. The
    // tap must outlive this object or be taken off first.
    void SetWideTap(WideTraceTap* tap) { WideTap = tap; }
    WideTraceTap* WideTapOf() const { return WideTap; }

    // --- Scale arithmetic, pure.
    // Magnitude at fractional bin p, linear between bins floor(p) and floor(p) + 1.
    static double Interpolate(std::span<const double> bins, double p);
    // One averaging step of a trace point: the row of `magnitude` on a trace area `height` rows
    // high, averaged with the stored row over n blocks and rounded half to even. Depths are held
    // within +-140 dB (and not-a-number counts as the bottom), so rows stay finite.
    static std::int32_t AverageRow(double magnitude, double height, std::int32_t previousRow,
                                   std::int32_t n);
    // The same step with the quotients that depend only on the trace (rows per dB, the weight
    // kept) worked out once per trace: the same operations on the same operands, so the same
    // rows, without three divisions per column.
    struct RowScale {
        double RowsPerDb = 0.0; // height / 140
        double Blocks = 1.0;    // n, at least 1
        double Keep = 0.0;      // 1 - 1 / n
    };
    static RowScale RowScaleFor(double height, std::int32_t n);
    static std::int32_t AverageRow(double magnitude, const RowScale& scale,
                                   std::int32_t previousRow);
    // "#0.0" left-justified in exactly six characters ("-21.6 ", "0.0   "); longer is cut.
    static std::array<char, 6> FrequencyLabel(double kHz);
    // Marker columns [left, right) for a tuning offset in Hz and a marker width in pixels.
    static std::array<std::int32_t, 2> MarkerColumns(std::int32_t tuningOffset,
                                                     std::int32_t markerWidth);

    // --- Surfaces (null until initialised).
    Surface WideBackDC;   // backdrop box: solid blue
    Surface WideGridDC;   // wide trace box: black field, grey border and grid, dB and kHz labels
    Surface WideFrameDC;  // wide trace box: composed frame (marker, grid ORed on top, trace)
    Surface AudioScaleDC; // audio scale box: green field, blue border, dB and kHz labels
    Surface AudioGridDC;  // audio trace box: black field, grid, red pitch line
    Surface AudioFrameDC; // audio trace box: composed frame (grid and trace)

    std::int32_t MarkerWidth = 0; // pixels, pass-band marker on the wide spectrum

    // Trace points carried from block to block: point x has X = x and Y = its averaged row.
    std::array<Point, WideColumns> WidePoints{};
    std::array<Point, AudioColumns> AudioPoints{};

private:
    // What both initialisations start with: the label font; the surface of `back`, `fill` in a
    // blue border, shown in it; the grid field of `trace`, black in a border of `gridPen`.
    void InitSurfaces(PictureBox& back, Surface& backDC, Colour fill, const PictureBox& trace,
                      Surface& gridDC, const Pen& gridPen);

    const ReceiverSettings& Settings;
    std::optional<LabelFont> Font;  // built by the first initialisation
    bool AudioScaleChanged = false; // labels redrawn since the scale box last showed them

    PictureBox* WideBackBox = nullptr;   // backdrop of the wide spectrum
    PictureBox* WideTraceBox = nullptr;  // wide trace area
    PictureBox* AudioScaleBox = nullptr; // audio frame with its labels
    PictureBox* AudioTraceBox = nullptr; // audio trace area

    // The wide frame's base: the grid with the marker ORed in, rebuilt when the marker moves or
    // the grid changes; each block's trace is drawn over it.
    Surface WideBaseDC;
    std::array<std::int32_t, 2> WideBaseMarker{};
    bool WideBaseValid = false;
    TraceLayer WideTrace;
    TraceLayer AudioTrace; // over AudioGridDC, which never changes
    // Interpolated magnitude per column of the current block.
    std::array<double, WideColumns> WideMagnitudes{};
    std::array<double, AudioColumns> AudioMagnitudes{};
    WideTraceTap* WideTap = nullptr;
};

} // namespace corvane
