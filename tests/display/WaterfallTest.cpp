// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The waterfall's history, colours and views, and the wide trace it is fed from.
#include "Waterfall.h"

#include "LabelFont.h"
#include "Palette.h"
#include "PictureBox.h"
#include "ReceiverSettings.h"
#include "Spectrum.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Kind = Waterfall::PaletteKind;
constexpr auto Points = static_cast<std::size_t>(Waterfall::Points);

std::vector<float> Row(float db) {
    return std::vector<float>(Points, db);
}

std::vector<Colour> Paint(const Waterfall& w, std::int64_t row) {
    std::vector<Colour> pixels(static_cast<std::size_t>(w.ViewWidth()));
    w.PaintRow(row, pixels);
    return pixels;
}

// The colour a level in dBV should show in, worked out from the palette's description rather
// than the table: the share of the way from floor to ceiling, picked from the 256 colours.
Colour Expected(Kind kind, double db, double floor, double ceiling) {
    const double shown = Waterfall::LevelDb(Waterfall::Level(db));
    const double t = std::min(1.0, std::max(0.0, (shown - floor) / (ceiling - floor)));
    return Waterfall::PaletteColours(kind)[static_cast<std::size_t>(std::lround(t * 255.0))];
}

TEST(WaterfallLevels, ByteSpansTheTraceFromMinus140To0DbvAndHoldsOutsideIt) {
    EXPECT_EQ(Waterfall::Level(0.0), 255);
    EXPECT_EQ(Waterfall::Level(-140.0), 0);
    EXPECT_EQ(Waterfall::Level(-70.0), 128); // 127.5, half to even
    EXPECT_EQ(Waterfall::Level(12.0), 255);
    EXPECT_EQ(Waterfall::Level(-300.0), 0);
    EXPECT_EQ(Waterfall::Level(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(Waterfall::Level(-std::numeric_limits<double>::infinity()), 0);
    // The trace's half-dB rows come back within half a level.
    for (double db = -140.0; db <= 0.0; db += 0.5) {
        EXPECT_NEAR(Waterfall::LevelDb(Waterfall::Level(db)), db, 140.0 / 255.0 / 2 + 1e-9) << db;
    }
}

TEST(WaterfallPalettes, ClassicRunsThroughItsSixColoursAndViridisFromVioletToYellow) {
    using namespace test::palette;
    const Waterfall::ColourTable classic = Waterfall::PaletteColours(Kind::Classic);
    EXPECT_EQ(classic[0], Rgb(0, 0, 48)); // dark blue
    EXPECT_EQ(classic[51], Rgb(0, 0, 255));
    EXPECT_EQ(classic[102], Rgb(0, 255, 255));
    EXPECT_EQ(classic[153], Rgb(255, 255, 0));
    EXPECT_EQ(classic[204], Rgb(255, 0, 0));
    EXPECT_EQ(classic[255], White);
    const Waterfall::ColourTable viridis = Waterfall::PaletteColours(Kind::Viridis);
    EXPECT_EQ(viridis[0], Rgb(68, 1, 84));
    EXPECT_EQ(viridis[255], Rgb(253, 231, 37));
    // Perceptual: its lightness (as Rec. 601 luma) only ever rises.
    const auto luma = [](Colour c) {
        return 0.299 * ((c >> 16) & 255) + 0.587 * ((c >> 8) & 255) + 0.114 * (c & 255);
    };
    for (std::size_t i = 1; i < viridis.size(); ++i) {
        EXPECT_GE(luma(viridis[i]), luma(viridis[i - 1]) - 0.5) << i;
    }
    for (const Kind kind : {Kind::Classic, Kind::Viridis}) {
        EXPECT_EQ(Waterfall::PaletteNamed(Waterfall::PaletteName(kind)), kind);
    }
    EXPECT_EQ(Waterfall::PaletteNamed("turbo"), std::nullopt);
    EXPECT_EQ(Waterfall::PaletteNamed("Classic"), std::nullopt);
}

TEST(WaterfallColours, AKnownSpectrumShowsThePalettesColoursInItsColumns) {
    for (const Kind kind : {Kind::Classic, Kind::Viridis}) {
        SCOPED_TRACE(std::string(Waterfall::PaletteName(kind)));
        Waterfall w(8);
        w.SetPalette(kind);
        w.SetRange(-120.0, -40.0);
        std::vector<float> db = Row(-130.0f); // below the floor
        for (std::size_t x = 100; x < 105; ++x) {
            db[x] = -40.0f; // at the ceiling
        }
        db[700] = -80.0f; // half way
        db[900] = -20.0f; // above the ceiling
        db[950] = -100.0f;
        w.AddRow(db, 0);
        const std::vector<Colour> row = Paint(w, 0);
        const Waterfall::ColourTable palette = Waterfall::PaletteColours(kind);
        EXPECT_EQ(row[0], palette[0]);
        EXPECT_EQ(row[99], palette[0]);
        for (std::size_t x = 100; x < 105; ++x) {
            EXPECT_EQ(row[x], palette[255]) << x;
        }
        EXPECT_EQ(row[105], palette[0]);
        EXPECT_EQ(row[700], Expected(kind, -80.0, -120.0, -40.0));
        EXPECT_EQ(row[900], palette[255]);
        EXPECT_EQ(row[950], Expected(kind, -100.0, -120.0, -40.0));
        EXPECT_NE(row[700], row[950]);

        // Floor and ceiling recolour what is already there.
        w.SetRange(-140.0, 0.0);
        EXPECT_EQ(Paint(w, 0)[700], Expected(kind, -80.0, -140.0, 0.0));
        EXPECT_EQ(Paint(w, 0)[900], Expected(kind, -20.0, -140.0, 0.0));
    }
}

TEST(WaterfallColours, RangeKeepsTheCeilingAboveTheFloorWithinTheTrace) {
    Waterfall w(4);
    const std::uint64_t version = w.ColoursVersion();
    w.SetRange(-60.0, -80.0);
    EXPECT_GT(w.ColoursVersion(), version);
    EXPECT_DOUBLE_EQ(w.CeilingDb(), -80.0);
    EXPECT_DOUBLE_EQ(w.FloorDb(), -80.0 - Waterfall::MinSpanDb);
    w.SetRange(-300.0, 50.0);
    EXPECT_DOUBLE_EQ(w.FloorDb(), -140.0);
    EXPECT_DOUBLE_EQ(w.CeilingDb(), 0.0);
}

TEST(WaterfallColours, AutoPutsTheFloorAtTheNoiseAndFollowsItOnlyWhenItMoves) {
    Waterfall w(16);
    // A band of noise at -100 dBV with a few strong stations: the median is the noise.
    std::vector<float> band = Row(-100.0f);
    for (std::size_t x = 0; x < 300; x += 3) {
        band[x] = -30.0f;
    }
    w.AddRow(band, 0);
    EXPECT_DOUBLE_EQ(w.FloorDb(), -120.0); // Auto is off: the range stays
    w.SetAuto(true);
    const double noise = Waterfall::LevelDb(Waterfall::Level(-100.0));
    EXPECT_DOUBLE_EQ(w.FloorDb(), noise);
    EXPECT_DOUBLE_EQ(w.CeilingDb(), noise + Waterfall::AutoSpanDb);

    // A row a dB louder keeps the colours (no flicker); five dB louder moves them, when the
    // picture follows the noise.
    const std::uint64_t version = w.ColoursVersion();
    w.AddRow(Row(-99.0f), 1);
    w.FollowNoise();
    EXPECT_DOUBLE_EQ(w.FloorDb(), noise);
    EXPECT_EQ(w.ColoursVersion(), version);
    w.AddRow(Row(-95.0f), 2);
    EXPECT_DOUBLE_EQ(w.FloorDb(), noise); // not yet followed
    w.FollowNoise();
    EXPECT_NEAR(w.FloorDb(), -95.0, 0.3);
    EXPECT_GT(w.ColoursVersion(), version);
    // Near the top the ceiling stops at 0 dBV.
    w.AddRow(Row(-10.0f), 3);
    w.FollowNoise();
    EXPECT_DOUBLE_EQ(w.CeilingDb(), 0.0);

    w.SetAuto(false);
    w.AddRow(Row(-100.0f), 4);
    w.FollowNoise();
    EXPECT_DOUBLE_EQ(w.CeilingDb(), 0.0);

    const std::array<std::uint8_t, 4> even{7, 3, 9, 5};
    EXPECT_EQ(Waterfall::MedianLevel(even), 5);
    const std::array<std::uint8_t, 5> odd{200, 1, 2, 250, 3};
    EXPECT_EQ(Waterfall::MedianLevel(odd), 3);
}

TEST(WaterfallViews, ANarrowerViewKeepsTheStrongestPointOfEachColumn) {
    for (const std::int32_t width : {999, 640, 500, 333, 250, 100}) {
        SCOPED_TRACE(width);
        Waterfall w(Waterfall::Points + 1);
        w.SetViewWidth(width);
        w.SetRange(-140.0, 0.0);
        // One spike per row, somewhere new each time, over a band at -120 dBV: whichever
        // column holds the spike's point shows the spike, and only that column.
        for (std::int32_t p = 0; p < Waterfall::Points; ++p) {
            std::vector<float> db = Row(-120.0f);
            db[static_cast<std::size_t>(p)] = -10.0f;
            db[static_cast<std::size_t>((p + 500) % Waterfall::Points)] = -60.0f; // a weaker one
            w.AddRow(db, p);
            const std::vector<Colour> row = Paint(w, p);
            const Colour spike = w.Colours()[Waterfall::Level(-10.0)];
            std::int32_t spikes = 0;
            std::int32_t at = -1;
            for (std::int32_t c = 0; c < width; ++c) {
                if (row[static_cast<std::size_t>(c)] == spike) {
                    ++spikes;
                    at = c;
                }
            }
            ASSERT_EQ(spikes, 1) << p;
            const auto [first, last] = Waterfall::ColumnPoints(at, width);
            EXPECT_TRUE(first <= p && p < last) << p;
        }
    }
    // The columns of a narrower view share the points out between them, none left out.
    for (const std::int32_t width : {999, 640, 333, 7}) {
        std::int32_t next = 0;
        for (std::int32_t c = 0; c < width; ++c) {
            const auto [first, last] = Waterfall::ColumnPoints(c, width);
            EXPECT_EQ(first, next) << width << " " << c;
            next = last;
        }
        EXPECT_EQ(next, Waterfall::Points) << width;
    }
}

TEST(WaterfallViews, AWiderViewRepeatsEachPointOverItsColumns) {
    Waterfall w(2);
    w.SetViewWidth(2000);
    std::vector<float> db = Row(-120.0f);
    db[321] = 0.0f;
    w.AddRow(db, 0);
    const std::vector<Colour> row = Paint(w, 0);
    const Colour spike = w.Colours()[255];
    for (std::size_t c = 0; c < row.size(); ++c) {
        EXPECT_EQ(row[c] == spike, c == 642 || c == 643) << c;
    }
    // The same columns are what the pass-band overlay of wide columns [321, 322) covers.
    EXPECT_EQ(Waterfall::ViewColumns({321, 322}, 2000), (std::array<std::int32_t, 2>{642, 644}));
    EXPECT_EQ(Waterfall::ViewColumns({321, 330}, 1000), (std::array<std::int32_t, 2>{321, 330}));
    EXPECT_EQ(Waterfall::ViewColumns({321, 330}, 500), (std::array<std::int32_t, 2>{160, 165}));
}

TEST(WaterfallHistory, TheRingWrapsWithoutASeamAndKeepsTheNewestRows) {
    Waterfall w(10);
    EXPECT_EQ(w.Newest(), -1);
    EXPECT_FALSE(w.Holds(0));
    std::array<std::uint8_t, Points> levels{};
    for (std::int64_t r = 0; r < 25; ++r) {
        levels.fill(static_cast<std::uint8_t>(r));
        levels[static_cast<std::size_t>(r)] = 255;
        w.AddLevels(levels, 1000 * r);
    }
    EXPECT_EQ(w.Count(), 25);
    EXPECT_EQ(w.Oldest(), 15);
    EXPECT_EQ(w.Newest(), 24);
    EXPECT_FALSE(w.Holds(14));
    EXPECT_TRUE(w.RowLevels(14).empty());
    // Each kept row is whole and where it belongs, across the ring's end (rows 19 and 20 sit
    // at its last and first slots).
    for (std::int64_t r = 15; r < 25; ++r) {
        const std::span<const std::uint8_t> row = w.RowLevels(r);
        ASSERT_EQ(row.size(), Points);
        for (std::size_t x = 0; x < Points; ++x) {
            ASSERT_EQ(row[x], x == static_cast<std::size_t>(r) ? 255 : r) << r << " " << x;
        }
        EXPECT_EQ(w.RowTimeMs(r), 1000 * r);
    }
    // Rows gone show black.
    for (const Colour c : Paint(w, 3)) {
        ASSERT_EQ(c, test::palette::Black);
    }
    w.Clear();
    EXPECT_EQ(w.Count(), 0);
    EXPECT_FALSE(w.Holds(24));
}

TEST(WaterfallMarks, EveryTenSecondsOfBlocksAndFartherApartWhenRowsAreDense) {
    Waterfall w(2000);
    std::array<std::uint8_t, Points> levels{};
    // One row a block: 2048 frames at 48000 Hz, from 0.5 s.
    for (std::int64_t block = 12; block < 12 + 1500; ++block) {
        w.AddLevels(levels, block * 2048 * 1000 / 48000);
    }
    std::vector<std::int64_t> marked;
    for (std::int64_t r = w.Oldest(); r <= w.Newest(); ++r) {
        if (w.Marked(r, 10000)) {
            marked.push_back(w.RowTimeMs(r));
        }
    }
    // The first row, then the first block past each 10 s (1500 blocks = 64 s).
    ASSERT_EQ(marked.size(), 7u);
    EXPECT_EQ(marked[0], 512);
    for (std::size_t k = 1; k < marked.size(); ++k) {
        EXPECT_GE(marked[k], static_cast<std::int64_t>(k) * 10000);
        EXPECT_LT(marked[k], static_cast<std::int64_t>(k) * 10000 + 43);
    }
    EXPECT_EQ(Waterfall::MarkIntervalMs(23.4375, 12), 10000);
    EXPECT_EQ(Waterfall::MarkIntervalMs(23.4375 / 22, 12), 20000);
    EXPECT_EQ(Waterfall::MarkIntervalMs(23.4375 / 200, 12), 120000);
    EXPECT_EQ(Waterfall::MarkIntervalMs(23.4375 / 1000, 12), 600000);
    EXPECT_EQ(Waterfall::MarkIntervalMs(1e-6, 12), 3600000);

    const auto text = [](std::int64_t ms) {
        const std::array<char, 8> label = Waterfall::ClockLabel(ms);
        return std::string(label.data(), label.size());
    };
    EXPECT_EQ(text(0), "00:00:00");
    EXPECT_EQ(text(10000), "00:00:10");
    EXPECT_EQ(text(3723999), "01:02:03");
    EXPECT_EQ(text(86400000 + 45296000), "12:34:56");
}

// A wide spectrum with its displays built, as the window has it.
class WideTraceTapTest : public ::testing::Test, public WideTraceTap {
protected:
    void WideTraceDrawn(const Spectrum& traces) override {
        ++Calls;
        traces.WideTraceDb(Db);
    }

    ReceiverSettings settings;
    Spectrum spectrum{settings};
    SurfaceBox picture1{1018, 345};
    SurfaceBox picture2{1000, 280};
    std::vector<double> bins = std::vector<double>(2048, 1e-5); // -100 dBV
    std::vector<float> Db = std::vector<float>(Points, 1.0f);
    int Calls = 0;
};

TEST_F(WideTraceTapTest, SeesEachDrawnTraceInDbvAfterTheVideoFilter) {
    spectrum.SetWideTap(this);
    spectrum.DrawWideSpectrum(bins, 2048, 1);
    EXPECT_EQ(Calls, 0); // nothing before the displays are built
    spectrum.InitWideDisplay(picture1, picture2);
    spectrum.DrawWideSpectrum(bins, 2048, 1);
    EXPECT_EQ(Calls, 1);
    for (std::size_t x = 0; x < Points; ++x) {
        ASSERT_FLOAT_EQ(Db[x], -100.0f) << x; // row 200 of 280
        ASSERT_EQ(spectrum.WidePoints[x].Y, 200);
    }
    // With the video filter over 4 blocks a step in the band shows a quarter of the way the
    // first block: the same value the trace draws.
    bins.assign(2048, 1e-3); // -60 dBV
    spectrum.DrawWideSpectrum(bins, 2048, 4);
    EXPECT_EQ(Calls, 2);
    EXPECT_EQ(spectrum.WidePoints[250].Y, 180); // 0.75 * 200 + 120 / 4
    EXPECT_FLOAT_EQ(Db[250], -90.0f);
    spectrum.SetWideTap(nullptr);
    spectrum.DrawWideSpectrum(bins, 2048, 4);
    EXPECT_EQ(Calls, 2);
}

TEST(WaterfallPicture, AxisLabelsStandWhereTheWideSpectrumHasThemAndTheCentreShowsTheMhz) {
    ReceiverSettings settings;
    Spectrum spectrum(settings);
    SurfaceBox picture1{1018, 345};
    SurfaceBox picture2{1000, 280};
    spectrum.InitWideDisplay(picture1, picture2);
    const LabelFont font;
    Surface axis(1000, WaterfallAxisHeight);
    DrawWaterfallAxis(axis, font, 7056000);
    // The kHz labels' cells (rows 1-8, 2 pixels right of each grid column from 50 to 950) are
    // the wide spectrum's, pixel for pixel.
    for (int k = 1; k <= 19; ++k) {
        SCOPED_TRACE(k);
        const int left = 50 * k + 2;
        const std::array<char, 6> label = Spectrum::FrequencyLabel((k - 10) * 2.4);
        const int width = font.TextWidth(std::string_view(label.data(), label.size()));
        for (int y = 1; y < 9; ++y) {
            for (int x = left; x < left + width; ++x) {
                ASSERT_EQ(axis.Pixel(x, y), spectrum.WideGridDC.Pixel(x, y)) << x << "," << y;
            }
        }
    }
    // The readout's "07.056.00 MHz" centred under column 500, and a different centre elsewhere.
    Surface moved(1000, WaterfallAxisHeight);
    DrawWaterfallAxis(moved, font, 14060000);
    int inked = 0;
    int differing = 0;
    for (int y = 11; y < 19; ++y) {
        for (int x = 0; x < 1000; ++x) {
            if (axis.Pixel(x, y) == test::palette::White) {
                ++inked;
                EXPECT_NEAR(x, 500, font.TextWidth("07.056.00 MHz") / 2 + 1);
            }
            differing += axis.Pixel(x, y) != moved.Pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 40);
    EXPECT_GT(differing, 5);
    // Ticks at every grid column, also in a narrower view where they close up.
    Surface narrow(400, WaterfallAxisHeight);
    DrawWaterfallAxis(narrow, font, 7056000);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(axis.Pixel(50 * k, WaterfallAxisHeight - 1), test::palette::Grey) << k;
        EXPECT_EQ(narrow.Pixel(20 * k, WaterfallAxisHeight - 1), test::palette::Grey) << k;
    }
}

TEST(WaterfallPicture, OldestRowOnTopUnderTheAxisWithTimeLabelsAtTheMarks) {
    const LabelFont font;
    Waterfall w(100);
    w.SetRange(-140.0, 0.0);
    std::array<std::uint8_t, Points> levels{};
    for (std::int64_t r = 0; r < 60; ++r) {
        levels.fill(static_cast<std::uint8_t>(4 * r));
        w.AddLevels(levels, 5000 + 1000 * r); // one row a second from 00:00:05
    }
    const Surface picture = DrawWaterfallPicture(w, font, 7056000, 20000);
    ASSERT_EQ(picture.Width(), 1000);
    ASSERT_EQ(picture.Height(), WaterfallAxisHeight + 60);
    // Away from the labels each row is its level's colour, oldest first.
    for (std::int32_t r = 0; r < 60; ++r) {
        EXPECT_EQ(picture.Pixel(600, WaterfallAxisHeight + r), w.Colours()[4 * r]) << r;
    }
    // Labels at the first row (00:00:05) and where 20 s and 40 s pass (rows 15 and 35): white
    // ink in the first 50 columns of those rows' cells and nowhere else.
    const auto inked = [&picture](int top, int rows = 8) {
        int n = 0;
        for (int y = top; y < top + rows; ++y) {
            for (int x = 0; x < 50; ++x) {
                n += picture.Pixel(x, WaterfallAxisHeight + y) == test::palette::White ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_GT(inked(0), 30);
    EXPECT_GT(inked(15), 30);
    EXPECT_GT(inked(35), 30);
    EXPECT_EQ(inked(8, 7), 0);
    EXPECT_EQ(inked(24), 0);
    EXPECT_EQ(inked(44), 0);
    // The label's cells are the label font's "00:00:20".
    Surface label(60, 8);
    label.Text(2, 0, "00:00:20", font, test::palette::White, test::palette::Black);
    for (int y = 0; y < 8; ++y) {
        for (int x = 2; x < 2 + font.TextWidth("00:00:20"); ++x) {
            ASSERT_EQ(picture.Pixel(x, WaterfallAxisHeight + 15 + y), label.Pixel(x, y));
        }
    }
}

} // namespace
} // namespace corvane
