// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Spectrum.h"

#include "Constants.h"
#include "Labels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace corvane {

namespace {

constexpr Colour Black = Rgb(0, 0, 0);
constexpr Colour Blue = Rgb(0, 0, 128);
constexpr Colour Green = Rgb(0, 128, 0);
constexpr Colour Grey = Rgb(128, 128, 128);
constexpr Colour DarkGrey = Rgb(64, 64, 64);
constexpr Colour LightRed = Rgb(255, 0, 0);
constexpr Colour Yellow = Rgb(255, 255, 0);
constexpr Colour BrightGreen = Rgb(0, 255, 0);
constexpr Colour DarkGreen = Rgb(0, 180, 0);
constexpr Colour White = Rgb(255, 255, 255);

constexpr Pen TracePen{Yellow};       // both traces
constexpr Pen MarkerPen{BrightGreen}; // marker outline, filled dark green

constexpr std::size_t WideBins = BlockFrames; // one transform bin per frame of a block
constexpr double BinSpacing = static_cast<double>(SampleRate) / WideBins; // Hz per bin: 23.4375
constexpr double WideHzPerColumn = 48.0;
constexpr std::int32_t CentreColumn = 500;
constexpr std::size_t AudioBinsRead = 172; // bins 0 .. 171 at 20 Hz per column

// The height of a trace area as the toolkit reports it (single precision), for the dB scale.
double TraceHeight(const Surface& surface) {
    return static_cast<double>(static_cast<float>(surface.Height()));
}

std::string_view View(const std::array<char, 6>& label) {
    return std::string_view(label.data(), label.size());
}

// `count` grid lines each way inside the border, one every `columns` pixels across and one every
// `rows` pixels down. Lines beyond the area fall away by clipping.
void DrawGridLines(Surface& grid, std::int32_t count, std::int32_t columns, std::int32_t rows,
                   const Pen& pen) {
    const std::int32_t h = grid.Height();
    const std::int32_t w = grid.Width();
    for (std::int32_t i = 1; i <= count; ++i) {
        grid.Line({columns * i, 1}, {columns * i, h - 1}, pen);
        grid.Line({1, rows * i}, {w - 1, rows * i}, pen);
    }
}

} // namespace

Spectrum::Spectrum(const ReceiverSettings& settings) : Settings(settings) {
    for (std::size_t x = 0; x < WidePoints.size(); ++x) {
        WidePoints[x].X = static_cast<std::int32_t>(x);
    }
    for (std::size_t x = 0; x < AudioPoints.size(); ++x) {
        AudioPoints[x].X = static_cast<std::int32_t>(x);
    }
}

void Spectrum::InitSurfaces(PictureBox& back, Surface& backDC, Colour fill, const PictureBox& trace,
                            Surface& gridDC, const Pen& gridPen) {
    if (!Font) {
        Font.emplace();
    }

    backDC = Surface(back.Width(), back.Height());
    backDC.Rectangle(0, 0, backDC.Width(), backDC.Height(), Pen{Blue}, fill);
    back.Show(backDC);

    gridDC = Surface(trace.Width(), trace.Height());
    gridDC.Rectangle(0, 0, gridDC.Width(), gridDC.Height(), gridPen, Black);
}

void Spectrum::InitWideDisplay(PictureBox& backdrop, PictureBox& trace) {
    const std::int32_t h = trace.Height();
    const std::int32_t w = trace.Width();
    WideBackBox = &backdrop;
    WideTraceBox = &trace;
    // Solid blue backdrop. Black field in a grey border; grid every 50 columns (2.4 kHz) and 40
    // rows (20 dB).
    InitSurfaces(backdrop, WideBackDC, Blue, trace, WideGridDC, Pen{Grey});
    DrawGridLines(WideGridDC, 20, 50, 40, Pen{Grey});
    // dB labels just below their grid lines.
    constexpr std::array<std::string_view, 7> DbLabels{"0",   "-20",  "-40", "-60",
                                                       "-80", "-100", "-120"};
    for (std::size_t k = 0; k < DbLabels.size(); ++k) {
        WideGridDC.Text(1, 1 + 40 * static_cast<std::int32_t>(k), DbLabels[k], *Font, White, Black);
    }
    WideGridDC.Text(1, 1 + 262, "dBV", *Font, White, Black);
    DrawFrequencyScale(0.0, WideHzPerColumn);
    trace.Show(WideGridDC);

    WideFrameDC = Surface(w, h);
    WideFrameDC.Blit(WideGridDC);
    WideBaseDC = Surface(w, h);
    WideBaseValid = false;
}

void Spectrum::DrawFrequencyScale(double startKHz, double hzPerPixel) {
    if (!Font) {
        return;
    }
    WideBaseValid = false; // the labels are part of the wide frame's base
    // One label per grid column, starting 2 pixels right of its line: the centre column and
    // the nine to its right count up from startKHz, the nine to its left count down.
    const double step = hzPerPixel * 50 / 1000;
    double v = startKHz;
    for (std::int32_t i = 11; i <= 20; ++i) {
        WideGridDC.Text(50 * i - 48, 1, View(FrequencyLabel(v)), *Font, White, Black);
        v = v + step;
    }
    v = -step;
    for (std::int32_t j = 1; j <= 9; ++j) {
        WideGridDC.Text(502 - 50 * j, 1, View(FrequencyLabel(v)), *Font, White, Black);
        v = v - step;
    }
    WideGridDC.Text(20, 1, " kHz", *Font, White, Black);
}

void Spectrum::InitAudioDisplay(PictureBox& scale, PictureBox& trace) {
    const std::int32_t h = trace.Height();
    const std::int32_t w = trace.Width();
    AudioScaleBox = &scale;
    AudioTraceBox = &trace;
    // Green scale in a blue border. Black field in a dark grey border; minor grid every 10
    // columns and 8 rows, major grid every 50 columns and 40 rows (20 dB).
    InitSurfaces(scale, AudioScaleDC, Green, trace, AudioGridDC, Pen{DarkGrey});
    DrawGridLines(AudioGridDC, 35, 10, 8, Pen{DarkGrey});
    DrawGridLines(AudioGridDC, 7, 50, 40, Pen{Grey});
    // Pitch line: columns 82 and 83 are 820 and 830 Hz in the CW modes, around the 825 Hz
    // centre of both CW pass bands. It stays in every mode.
    AudioGridDC.Line({82, 1}, {82, h - 1}, Pen{LightRed});
    AudioGridDC.Line({83, 1}, {83, h - 1}, Pen{LightRed});

    // dB labels left of the trace area, each level with its grid line (the trace area's row 0
    // is row 31 of the scale), ending just left of the area.
    constexpr std::array<PlacedLabel, 8> DbLabels{{{20, 31, "0"},
                                                   {10, 71, "-20"},
                                                   {10, 111, "-40"},
                                                   {10, 151, "-60"},
                                                   {10, 191, "-80"},
                                                   {2, 231, "-100"},
                                                   {2, 271, "-120"},
                                                   {1, 293, "dBV"}}};
    DrawLabels(AudioScaleDC, DbLabels, *Font, White, Green);
    DrawAudioScale(1); // the start-up mode is CW 500 Hz
    scale.Show(AudioScaleDC);
    AudioScaleChanged = false;

    AudioFrameDC = Surface(w, h);
    AudioTrace.Reset(AudioFrameDC, AudioGridDC);
}

void Spectrum::DrawAudioScale(std::int32_t cw) {
    if (!Font) {
        return;
    }
    constexpr std::array<std::string_view, 5> CwLabels{"0.0", "0.5", "1.0", "1.5", "2.0"};
    constexpr std::array<std::string_view, 5> SsbLabels{"0.0", "1.0", "2.0", "3.0", "4.0"};
    const auto& labels = cw != 0 ? CwLabels : SsbLabels;
    AudioScaleChanged = true;
    AudioScaleDC.Text(120, 0, "KHz", *Font, White, Green);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        AudioScaleDC.Text(22 + 50 * static_cast<std::int32_t>(i), 15, labels[i], *Font, White,
                          Green);
    }
}

void Spectrum::RefreshDisplays() {
    if (WideBackBox != nullptr) {
        WideBackBox->Show(WideBackDC);
    }
    if (AudioScaleBox != nullptr) {
        AudioScaleBox->Show(AudioScaleDC);
        AudioScaleChanged = false;
    }
    if (WideTraceBox != nullptr) {
        WideTraceBox->Show(WideFrameDC);
    }
    if (AudioTraceBox != nullptr) {
        AudioTraceBox->Show(AudioFrameDC);
    }
}

void Spectrum::DrawWideSpectrum(std::span<const double> specBuf, std::int32_t /*binCount*/,
                                std::int32_t videoFilter) {
    if (specBuf.size() < WideBins) {
        return;
    }
    // Column x shows the offset (x - 500) * 48 Hz: the left half reads the negative-frequency
    // bins 1024 .. 2044, the right half bins 4 .. 1022. The three centre columns repeat column
    // 498, hiding the spike that the front end leaves at the band centre.
    for (std::int32_t x = 0; x < WideColumns; ++x) {
        std::int32_t k = 0;
        if (x <= 498) {
            k = x + CentreColumn;
        } else if (x >= 502) {
            k = x - CentreColumn;
        } else {
            WideMagnitudes[static_cast<std::size_t>(x)] = WideMagnitudes[498];
            continue;
        }
        WideMagnitudes[static_cast<std::size_t>(x)] =
            Interpolate(specBuf, k * WideHzPerColumn / BinSpacing);
    }
    const RowScale wideScale = RowScaleFor(TraceHeight(WideFrameDC), videoFilter);
    for (std::size_t x = 0; x < WidePoints.size(); ++x) {
        WidePoints[x].Y = AverageRow(WideMagnitudes[x], wideScale, WidePoints[x].Y);
    }

    // The backdrop never changes after initialisation and a box keeps what it was shown, so it
    // is not copied again per block (1.4 MB, a third of the drawing time); RefreshDisplays
    // still shows it.
    // The frame is black with the marker, and the grid and labels ORed on top (grey over dark
    // green shows (128, 180, 128)). Black ORed with the grid is the grid, so the same pixels come
    // from the grid with the marker ORed into it; that base changes only when the marker moves.
    const auto marker = MarkerColumns(Settings.TuningOffset, MarkerWidth);
    if (!WideBaseValid || marker != WideBaseMarker) {
        WideBaseDC.Blit(WideGridDC);
        WideBaseDC.Rectangle(marker[0], 0, marker[1], WideBaseDC.Height(), MarkerPen, DarkGreen,
                             RasterOp::Or);
        WideBaseMarker = marker;
        WideBaseValid = true;
        WideTrace.Reset(WideFrameDC, WideBaseDC);
    }
    // Points 0 and 999 are kept but not drawn.
    WideTrace.Draw(WideFrameDC, WideBaseDC,
                   std::span<const Point>(WidePoints).subspan(1, WideColumns - 2), TracePen);
    if (WideTraceBox != nullptr) {
        WideTraceBox->Show(WideFrameDC);
    }
    if (WideTap != nullptr && !WideFrameDC.IsNull()) {
        WideTap->WideTraceDrawn(*this);
    }
}

void Spectrum::WideTraceDb(std::span<float> db) const {
    if (WideFrameDC.IsNull() || db.size() < WidePoints.size()) {
        return;
    }
    // Row y of the trace stands for y / (height / 140) dB below 0 dBV.
    const double rowsPerDb = RowScaleFor(TraceHeight(WideFrameDC), 1).RowsPerDb;
    for (std::size_t x = 0; x < WidePoints.size(); ++x) {
        db[x] = static_cast<float>(-WidePoints[x].Y / rowsPerDb);
    }
}

void Spectrum::DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t /*binCount*/,
                                 std::int32_t videoFilter) {
    if (specBuf.size() < AudioBinsRead) {
        return;
    }
    const double hzPerColumn = Settings.IsCw() ? 10.0 : 20.0;
    AudioMagnitudes[0] = 0.0;
    for (std::int32_t x = 1; x < AudioColumns; ++x) {
        AudioMagnitudes[static_cast<std::size_t>(x)] =
            Interpolate(specBuf, x * hzPerColumn / BinSpacing);
    }
    const RowScale audioScale = RowScaleFor(TraceHeight(AudioFrameDC), videoFilter);
    for (std::size_t x = 0; x < AudioPoints.size(); ++x) {
        AudioPoints[x].Y = AverageRow(AudioMagnitudes[x], audioScale, AudioPoints[x].Y);
    }

    // Label changes made by DrawAudioScale appear with this block.
    if (AudioScaleBox != nullptr && AudioScaleChanged) {
        AudioScaleBox->Show(AudioScaleDC);
        AudioScaleChanged = false;
    }
    AudioTrace.Draw(AudioFrameDC, AudioGridDC,
                    std::span<const Point>(AudioPoints).subspan(1, AudioColumns - 2), TracePen);
    if (AudioTraceBox != nullptr) {
        AudioTraceBox->Show(AudioFrameDC);
    }
}

double Spectrum::Interpolate(std::span<const double> bins, double p) {
    const double c = std::floor(p);
    const double f = p - c;
    const auto i = static_cast<std::size_t>(c);
    return f * bins[i + 1] + (1 - f) * bins[i];
}

Spectrum::RowScale Spectrum::RowScaleFor(double height, std::int32_t n) {
    const double blocks = std::max(n, 1);
    return {height / DbSpan, blocks, 1 - 1 / blocks};
}

std::int32_t Spectrum::AverageRow(double magnitude, const RowScale& scale,
                                  std::int32_t previousRow) {
    if (magnitude == 0.0) {
        magnitude = ZeroMagnitude;
    }
    const double db = 20.0 * std::log10(magnitude);
    // Anything more than 140 dB below full scale (or not a number) sits on the bottom edge;
    // more than 140 dB above it is held there, far above the top edge, so rows stay finite.
    double depth = DbSpan;
    if (db >= -DbSpan) {
        depth = std::max(-db, -DbSpan);
    }
    const double target = depth * scale.RowsPerDb;
    const double y = scale.Keep * previousRow + target / scale.Blocks;
    return static_cast<std::int32_t>(RoundHalfEven(y));
}

std::int32_t Spectrum::AverageRow(double magnitude, double height, std::int32_t previousRow,
                                  std::int32_t n) {
    return AverageRow(magnitude, RowScaleFor(height, n), previousRow);
}

std::array<char, 6> Spectrum::FrequencyLabel(double kHz) {
    std::array<char, 6> label;
    label.fill(' ');
    // to_chars is independent of the user's locale: the decimal point is always '.'.
    std::array<char, 320> digits{}; // the longest double in fixed notation fits
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), kHz,
                                      std::chars_format::fixed, 1);
    const auto length = static_cast<std::size_t>(result.ptr - digits.data());
    std::copy_n(digits.begin(), std::min(length, label.size()), label.begin());
    return label;
}

std::array<std::int32_t, 2> Spectrum::MarkerColumns(std::int32_t tuningOffset,
                                                    std::int32_t markerWidth) {
    const std::int32_t half = markerWidth / 2; // truncates towards zero
    const double centre = tuningOffset / WideHzPerColumn + CentreColumn;
    return {static_cast<std::int32_t>(std::nearbyint(centre - half)),
            static_cast<std::int32_t>(std::nearbyint(centre + half))};
}

} // namespace corvane
