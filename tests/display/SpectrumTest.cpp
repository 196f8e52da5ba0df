// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Spectrum.h"

#include "LabelFont.h"
#include "Palette.h"
#include "PictureBox.h"
#include "ReceiverSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string_view>
#include <vector>

namespace corvane {
namespace {

using namespace test::palette;
constexpr Colour LightRed = Red;

// The boxes of the receiver window: backdrop, wide trace, audio scale, audio trace.
class SpectrumTest : public ::testing::Test {
protected:
    void SetUp() override {
        spectrum.InitWideDisplay(picture1, picture2);
        spectrum.InitAudioDisplay(picture3, picture4);
    }

    // A wide spectrum of 2048 bins at `floor` with a few bins set.
    static std::vector<double> Bins(double floor,
                                    std::initializer_list<std::pair<int, double>> set = {}) {
        std::vector<double> bins(2048, floor);
        for (const auto& [bin, value] : set) {
            bins[static_cast<std::size_t>(bin)] = value;
        }
        return bins;
    }

    ReceiverSettings settings;
    Spectrum spectrum{settings};
    SurfaceBox picture1{1018, 345};
    SurfaceBox picture2{1000, 280};
    SurfaceBox picture3{258, 328};
    SurfaceBox picture4{198, 280};
};

bool SameRegion(const Surface& a, const Surface& b, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (a.Pixel(x, y) != b.Pixel(x, y)) {
                return false;
            }
        }
    }
    return true;
}

bool SameSurface(const Surface& a, const Surface& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           SameRegion(a, b, 0, 0, a.Width(), a.Height());
}

// Columns whose pixels in rows [top, bottom) all have `colour`.
std::vector<int> Columns(const Surface& s, Colour colour, int top, int bottom) {
    std::vector<int> columns;
    for (int x = 0; x < s.Width(); ++x) {
        bool all = true;
        for (int y = top; y < bottom && all; ++y) {
            all = s.Pixel(x, y) == colour;
        }
        if (all) {
            columns.push_back(x);
        }
    }
    return columns;
}

std::vector<int> Rows(const Surface& s, Colour colour, int left, int right) {
    std::vector<int> rows;
    for (int y = 0; y < s.Height(); ++y) {
        bool all = true;
        for (int x = left; x < right && all; ++x) {
            all = s.Pixel(x, y) == colour;
        }
        if (all) {
            rows.push_back(y);
        }
    }
    return rows;
}

TEST_F(SpectrumTest, WideGridHas19VerticalAnd6HorizontalLinesInsideItsBorder) {
    const Surface& grid = spectrum.WideGridDC;
    std::vector<int> columns{0};
    for (int x = 50; x <= 950; x += 50) {
        columns.push_back(x);
    }
    columns.push_back(999);
    EXPECT_EQ(Columns(grid, Grey, 9, 280), columns); // below the kHz labels
    EXPECT_EQ(Rows(grid, Grey, 25, 1000), (std::vector<int>{0, 40, 80, 120, 160, 200, 240, 279}));
    // The backdrop is solid blue and the grid reached its box at initialisation.
    EXPECT_EQ(Columns(picture1.Content, Blue, 0, 345).size(), 1018u);
    EXPECT_TRUE(SameSurface(picture2.Content, grid));
}

TEST_F(SpectrumTest, WideKhzLabelsAreSixCellsTwoPixelsRightOfTheirGridLines) {
    constexpr std::array<std::string_view, 19> Texts{
        "-21.6 ", "-19.2 ", "-16.8 ", "-14.4 ", "-12.0 ", "-9.6  ", "-7.2  ",
        "-4.8  ", "-2.4  ", "0.0   ", "2.4   ", "4.8   ", "7.2   ", "9.6   ",
        "12.0  ", "14.4  ", "16.8  ", "19.2  ", "21.6  "};
    const LabelFont font;
    Surface expected(1000, 280);
    for (int i = 0; i < 19; ++i) {
        expected.Text(52 + 50 * i, 1, Texts[static_cast<std::size_t>(i)], font, White, Black);
        const int left = 52 + 50 * i;
        EXPECT_TRUE(SameRegion(spectrum.WideGridDC, expected, left, 1,
                               left + font.TextWidth(Texts[static_cast<std::size_t>(i)]), 9))
            << Texts[static_cast<std::size_t>(i)];
    }
    // "0.0" is followed by three black space cells: nothing of a stale label can remain.
    EXPECT_EQ(spectrum.WideGridDC.Pixel(502 + font.TextWidth("0.0 "), 4), Black);
}

TEST(SpectrumScale, FrequencyLabelsFormatOneDecimalInSixCharacters) {
    auto text = [](double v) {
        const auto label = Spectrum::FrequencyLabel(v);
        return std::string(label.begin(), label.end());
    };
    EXPECT_EQ(text(0.0), "0.0   ");
    EXPECT_EQ(text(-21.6), "-21.6 ");
    EXPECT_EQ(text(7.199999999999999), "7.2   ");
    EXPECT_EQ(text(-123.44), "-123.4"); // cut to six characters
    // The running sum of the scale drifts below the decimal values; the labels do not.
    double v = 0.0;
    const char* expected[] = {"2.4   ", "4.8   ", "7.2   ", "9.6   ", "12.0  ",
                              "14.4  ", "16.8  ", "19.2  ", "21.6  "};
    for (const char* label : expected) {
        v = v + 48.0 * 50 / 1000;
        EXPECT_EQ(text(v), label);
    }
}

TEST_F(SpectrumTest, AudioGridMajorMinorAndPitchLine) {
    const Surface& grid = spectrum.AudioGridDC;
    // Pitch line: columns 82 and 83 from row 1 to row 278.
    EXPECT_EQ(Columns(grid, LightRed, 1, 279), (std::vector<int>{82, 83}));
    EXPECT_NE(grid.Pixel(82, 0), LightRed);
    EXPECT_NE(grid.Pixel(82, 279), LightRed);
    // Between the minor horizontal lines: major columns grey, minor ones dark grey.
    std::vector<int> major{50, 100, 150};
    std::vector<int> minor{0};
    for (int x = 10; x <= 190; x += 10) {
        if (x % 50 != 0) {
            minor.push_back(x);
        }
    }
    minor.push_back(197);
    EXPECT_EQ(Columns(grid, Grey, 1, 8), major);
    EXPECT_EQ(Columns(grid, DarkGrey, 1, 8), minor);
    std::vector<int> majorRows{40, 80, 120, 160, 200, 240};
    std::vector<int> minorRows{0};
    for (int y = 8; y <= 272; y += 8) {
        if (y % 40 != 0) {
            minorRows.push_back(y);
        }
    }
    minorRows.push_back(279);
    EXPECT_EQ(Rows(grid, Grey, 1, 10), majorRows);
    EXPECT_EQ(Rows(grid, DarkGrey, 1, 10), minorRows);
}

// The audio kHz labels as an independent picture: green field with the five labels.
Surface AudioLabelRow(std::initializer_list<std::string_view> labels) {
    const LabelFont font;
    Surface row(258, 328);
    row.Fill(Green);
    row.Text(120, 0, "KHz", font, White, Green);
    int x = 22;
    for (const std::string_view label : labels) {
        row.Text(x, 15, label, font, White, Green);
        x += 50;
    }
    return row;
}

TEST_F(SpectrumTest, AudioScaleSwitchesLabelsWithoutResidueAtTheNextBlock) {
    const Surface cw = AudioLabelRow({"0.0", "0.5", "1.0", "1.5", "2.0"});
    const Surface ssb = AudioLabelRow({"0.0", "1.0", "2.0", "3.0", "4.0"});
    EXPECT_TRUE(SameRegion(spectrum.AudioScaleDC, cw, 1, 1, 257, 23)); // start-up: CW
    EXPECT_FALSE(SameRegion(cw, ssb, 1, 1, 257, 23));

    spectrum.DrawAudioScale(1);
    spectrum.DrawAudioScale(0);
    EXPECT_TRUE(SameRegion(spectrum.AudioScaleDC, ssb, 1, 1, 257, 23));
    // The box still shows the CW labels until the next block draws.
    EXPECT_TRUE(SameRegion(picture3.Content, cw, 1, 1, 257, 23));
    spectrum.DrawAudioSpectrum(Bins(0.0), 2048, 1);
    EXPECT_TRUE(SameRegion(picture3.Content, ssb, 1, 1, 257, 23));
    // The blue outline survives the labels.
    EXPECT_EQ(picture3.Content.Pixel(0, 15), Blue);
    EXPECT_EQ(picture3.Content.Pixel(257, 15), Blue);
}

TEST_F(SpectrumTest, TonesPeakAtTheirColumnsAndTheCentreRepeatsColumn498) {
    // -12000 Hz and +12000 Hz on a floor of -100 dB.
    spectrum.DrawWideSpectrum(Bins(1e-5, {{1536, 1.0}, {512, 1.0}}), 2048, 1);
    std::vector<int> peaks;
    for (const Point& p : spectrum.WidePoints) {
        if (p.Y < 200) {
            peaks.push_back(p.X);
        }
    }
    EXPECT_EQ(peaks, (std::vector<int>{250, 750}));
    EXPECT_EQ(spectrum.WidePoints[250].Y, 0);
    EXPECT_EQ(picture2.Content.Pixel(250, 0), Yellow);
    EXPECT_EQ(picture2.Content.Pixel(750, 0), Yellow);

    // The band edges: column 0 reads bin 1024 (-24000 Hz).
    spectrum.DrawWideSpectrum(Bins(1e-5, {{1024, 1.0}}), 2048, 1);
    EXPECT_EQ(spectrum.WidePoints[0].Y, 0);
    EXPECT_EQ(spectrum.WidePoints[1].Y, 200);

    // A strong signal at the band centre never shows: columns 499..501 repeat column 498.
    spectrum.DrawWideSpectrum(
        Bins(1e-5, {{0, 1.0}, {1, 1.0}, {2, 1.0}, {3, 1.0}, {2043, 0.01}, {2044, 0.01}}), 2048, 1);
    for (int x = 498; x <= 501; ++x) {
        EXPECT_EQ(spectrum.WidePoints[static_cast<std::size_t>(x)].Y, 80) << x;
    }
    EXPECT_EQ(spectrum.WidePoints[502].Y, 200);
}

TEST_F(SpectrumTest, RowsOfZeroTinyAndFullScaleMagnitudes) {
    spectrum.DrawWideSpectrum(Bins(0.0), 2048, 1);
    for (const Point& p : spectrum.WidePoints) {
        ASSERT_EQ(p.Y, 278) << p.X; // the zero substitute, 139.17 dB down
    }
    EXPECT_EQ(Spectrum::AverageRow(1e-8, 280, 0, 1), 280); // -160 dB: just below the area
    EXPECT_EQ(Spectrum::AverageRow(1.0, 280, 200, 1), 0);
    EXPECT_EQ(Spectrum::AverageRow(10.0, 280, 0, 1), -40); // above full scale: above the top
    // Magnitudes nobody can draw stay finite: far above the top, or on the bottom.
    EXPECT_EQ(Spectrum::AverageRow(1e300, 280, 0, 1), -280);
    EXPECT_EQ(Spectrum::AverageRow(std::numeric_limits<double>::infinity(), 280, 0, 1), -280);
    EXPECT_EQ(Spectrum::AverageRow(std::numeric_limits<double>::quiet_NaN(), 280, 0, 1), 280);
    EXPECT_EQ(Spectrum::AverageRow(-1.0, 280, 0, 1), 280);
    EXPECT_EQ(Spectrum::AverageRow(0.01, 280, 0, 0), 80); // no averaging below one block
}

// Rounding each averaging step half to even leaves the row short of a constant target.
TEST(SpectrumAveraging, StopsShortOfTheTargetByTheRoundingLimit) {
    struct Case {
        int N;
        int Rising;  // from row 0 towards row 200
        int Falling; // from row 200 towards row 0
    };
    for (const Case c : {Case{16, 192, 8}, Case{8, 196, 4}, Case{4, 198, 2}, Case{1, 200, 0}}) {
        int rising = 0;
        int falling = 200;
        for (int block = 0; block < 400; ++block) {
            rising = Spectrum::AverageRow(1e-5, 280, rising, c.N); // -100 dB: row 200
            falling = Spectrum::AverageRow(1.0, 280, falling, c.N);
        }
        EXPECT_EQ(rising, c.Rising) << c.N;
        EXPECT_EQ(falling, c.Falling) << c.N;
        // One more step changes nothing: the limit is a fixed point.
        EXPECT_EQ(Spectrum::AverageRow(1e-5, 280, rising, c.N), rising) << c.N;
    }
}

TEST_F(SpectrumTest, VideoFilterAveragesTheWholeTraceAcrossBlocks) {
    const auto bins = Bins(1e-5);
    spectrum.DrawWideSpectrum(bins, 2048, 16);
    EXPECT_EQ(spectrum.WidePoints[300].Y, 12); // 200 / 16 = 12.5, to even
    for (int block = 1; block < 200; ++block) {
        spectrum.DrawWideSpectrum(bins, 2048, 16);
    }
    for (const Point& p : spectrum.WidePoints) {
        ASSERT_EQ(p.Y, 192) << p.X;
    }
    // Switching to N = 1 jumps to the target on the next block.
    spectrum.DrawWideSpectrum(bins, 2048, 1);
    EXPECT_EQ(spectrum.WidePoints[300].Y, 200);
}

// Row 150 of the wide frame crosses the marker away from the horizontal grid lines.
std::vector<Colour> FrameRow(const Surface& s, int from, int to) {
    std::vector<Colour> row;
    for (int x = from; x < to; ++x) {
        row.push_back(s.Pixel(x, 150));
    }
    return row;
}

TEST_F(SpectrumTest, MarkerCoversThePassBandWithTheGridOredOnTop) {
    const auto silent = Bins(1e-8); // the trace lies below the area
    spectrum.DrawWideSpectrum(silent, 2048, 1);
    EXPECT_EQ(Columns(picture2.Content, DarkGreen, 1, 279).size(), 0u); // width 0: no marker

    spectrum.SetMarkerWidth(56);
    spectrum.DrawWideSpectrum(silent, 2048, 1);
    const Surface& frame = picture2.Content;
    EXPECT_EQ(frame.Pixel(471, 150), Black);
    EXPECT_EQ(frame.Pixel(472, 150), BrightGreen);
    EXPECT_EQ(frame.Pixel(473, 150), DarkGreen);
    EXPECT_EQ(frame.Pixel(500, 150), Rgb(128, 180, 128)); // grey grid over dark green
    EXPECT_EQ(frame.Pixel(526, 150), DarkGreen);
    EXPECT_EQ(frame.Pixel(527, 150), BrightGreen);
    EXPECT_EQ(frame.Pixel(528, 150), Black);
    EXPECT_EQ(frame.Pixel(510, 160), Rgb(128, 180, 128)); // horizontal grid line
    EXPECT_EQ(frame.Pixel(510, 278), DarkGreen);          // full height
    EXPECT_EQ(frame.Pixel(510, 279), Rgb(128, 255, 128)); // outline over the grid border
    const auto positive = FrameRow(frame, 0, 1000);

    spectrum.SetMarkerWidth(-56); // the lower sideband's negative width: the same marker
    spectrum.DrawWideSpectrum(silent, 2048, 1);
    EXPECT_EQ(FrameRow(picture2.Content, 0, 1000), positive);

    settings.TuningOffset = -23800; // lowest tuning: the marker's left part is clipped
    spectrum.DrawWideSpectrum(silent, 2048, 1);
    EXPECT_EQ(frame.Pixel(0, 150), Rgb(128, 180, 128)); // grid border over the fill
    for (int x = 1; x <= 30; ++x) {
        EXPECT_EQ(frame.Pixel(x, 150), DarkGreen) << x;
    }
    EXPECT_EQ(frame.Pixel(31, 150), BrightGreen);
    EXPECT_EQ(frame.Pixel(32, 150), Black);
    EXPECT_EQ(Spectrum::MarkerColumns(-23800, 56), (std::array<std::int32_t, 2>{-24, 32}));
}

TEST_F(SpectrumTest, WideFrameIsGridMarkerAndOneTraceFromColumn1To998) {
    spectrum.DrawWideSpectrum(Bins(0.01), 2048, 1); // -40 dB: row 80, on a grid line
    const Surface& frame = picture2.Content;
    EXPECT_EQ(Columns(frame, Yellow, 80, 81).size(), 997u); // columns 1 .. 997
    EXPECT_NE(frame.Pixel(0, 80), Yellow);
    EXPECT_EQ(frame.Pixel(1, 80), Yellow);
    EXPECT_EQ(frame.Pixel(997, 80), Yellow);
    EXPECT_NE(frame.Pixel(998, 80), Yellow); // the last point is not painted
    EXPECT_TRUE(SameSurface(frame, spectrum.WideFrameDC));
    // Everything but the trace row is the grid.
    EXPECT_TRUE(SameRegion(frame, spectrum.WideGridDC, 0, 0, 1000, 80));
    EXPECT_TRUE(SameRegion(frame, spectrum.WideGridDC, 0, 81, 1000, 280));
}

TEST_F(SpectrumTest, AudioTraceFollowsTheModeResolution) {
    // 1500 Hz: column 150 at 10 Hz per column (CW), column 75 at 20 Hz per column (SSB).
    auto bins = Bins(1e-5, {{64, 1.0}});
    settings.Mode = DemodMode::Cw500;
    spectrum.DrawAudioSpectrum(bins, 2048, 1);
    EXPECT_EQ(spectrum.AudioPoints[150].Y, 0);
    EXPECT_EQ(spectrum.AudioPoints[0].Y, 278); // column 0 is always the zero substitute
    EXPECT_EQ(picture4.Content.Pixel(150, 0), Yellow);

    settings.Mode = DemodMode::Usb;
    spectrum.DrawAudioSpectrum(bins, 2048, 1);
    EXPECT_EQ(spectrum.AudioPoints[75].Y, 0);
    EXPECT_EQ(spectrum.AudioPoints[150].Y, 200);
    // The previous trace is gone: the frame is the grid plus this block's trace only.
    EXPECT_NE(picture4.Content.Pixel(150, 0), Yellow);
    EXPECT_EQ(picture4.Content.Pixel(75, 0), Yellow);
    EXPECT_TRUE(SameRegion(picture4.Content, spectrum.AudioGridDC, 0, 201, 198, 280));
}

TEST_F(SpectrumTest, RefreshShowsTheGridsBeforeAnyBlockAndTheLastFrameAfter) {
    picture1.Content.Fill(White);
    picture2.Content.Fill(White);
    picture3.Content.Fill(White);
    picture4.Content.Fill(White);
    spectrum.RefreshDisplays();
    EXPECT_TRUE(SameSurface(picture1.Content, spectrum.WideBackDC));
    EXPECT_TRUE(SameSurface(picture2.Content, spectrum.WideGridDC));
    EXPECT_TRUE(SameSurface(picture3.Content, spectrum.AudioScaleDC));
    EXPECT_TRUE(SameSurface(picture4.Content, spectrum.AudioGridDC));

    spectrum.DrawWideSpectrum(Bins(0.01), 2048, 1);
    picture2.Content.Fill(White);
    spectrum.RefreshDisplays();
    EXPECT_EQ(picture2.Content.Pixel(400, 80), Yellow);
}

TEST(SpectrumBeforeInit, BlocksUpdateThePointsAndDrawNothing) {
    ReceiverSettings settings;
    Spectrum spectrum(settings);
    spectrum.DrawAudioScale(0);
    std::vector<double> bins(2048, 1.0);
    spectrum.DrawWideSpectrum(bins, 2048, 1);
    spectrum.DrawAudioSpectrum(bins, 2048, 1);
    spectrum.RefreshDisplays();
    EXPECT_TRUE(spectrum.WideFrameDC.IsNull());
    // A short spectrum is refused rather than read past its end.
    spectrum.DrawWideSpectrum(std::span<const double>(bins).first(100), 2048, 1);
    spectrum.DrawAudioSpectrum(std::span<const double>(bins).first(100), 2048, 1);
}

} // namespace
} // namespace corvane

namespace corvane {
namespace {

// Frames are drawn over a cached base (grid plus marker) and only the last trace is put back;
// a retune between blocks must give exactly the frame a fresh display draws for that block.
TEST_F(SpectrumTest, FramesAfterRetuningMatchAFreshDisplay) {
    spectrum.SetMarkerWidth(56);
    spectrum.DrawWideSpectrum(Bins(1e-4, {{40, 0.5}, {1900, 0.01}}), 2048, 1);
    spectrum.DrawAudioSpectrum(Bins(1e-3, {{30, 0.2}}), 2048, 1);
    settings.TuningOffset = 5000;
    const auto wide = Bins(3e-5, {{300, 0.9}, {1200, 2e-3}});
    const auto audio = Bins(1e-5, {{60, 0.05}});
    spectrum.DrawWideSpectrum(wide, 2048, 1);
    spectrum.DrawAudioSpectrum(audio, 2048, 1);

    ReceiverSettings freshSettings;
    freshSettings.TuningOffset = 5000;
    Spectrum fresh{freshSettings};
    SurfaceBox box1{1018, 345}, box2{1000, 280}, box3{258, 328}, box4{198, 280};
    fresh.InitWideDisplay(box1, box2);
    fresh.InitAudioDisplay(box3, box4);
    fresh.SetMarkerWidth(56);
    fresh.DrawWideSpectrum(wide, 2048, 1);
    fresh.DrawAudioSpectrum(audio, 2048, 1);
    EXPECT_TRUE(SameSurface(spectrum.WideFrameDC, fresh.WideFrameDC));
    EXPECT_TRUE(SameSurface(spectrum.AudioFrameDC, fresh.AudioFrameDC));
}

} // namespace
} // namespace corvane
