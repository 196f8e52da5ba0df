// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "VuMeter.h"
#include "Displays.h"
#include "PictureBox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvane {
namespace {

constexpr Colour Black = Rgb(0, 0, 0);
constexpr Colour White = Rgb(255, 255, 255);
constexpr Colour EdgeBlue = Rgb(150, 150, 255);
constexpr Colour ScaleGreen = Rgb(0, 180, 0);
constexpr Colour ScaleRed = Rgb(192, 0, 0);
constexpr Colour FaceBlue = Rgb(0, 0, 100);
constexpr Colour LabelBlue = Rgb(0, 0, 128);
constexpr double Degree = 3.14159265358979323846 / 180;

bool Same(const Surface& a, const Surface& b) {
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            if (a.Pixel(x, y) != b.Pixel(x, y)) {
                return false;
            }
        }
    }
    return a.Width() == b.Width() && a.Height() == b.Height();
}

class VuMeterTest : public ::testing::Test {
protected:
    void SetUp() override { meter.InitMeter(picture5); }

    // The face pixel at `degrees` clockwise from straight up, `radius` pixels from the pivot.
    Colour FaceAt(double degrees, double radius) const {
        return meter.MeterFaceDC.Pixel(
            static_cast<int>(std::lround(10 + std::sin(degrees * Degree) * radius)),
            static_cast<int>(std::lround(170 - std::cos(degrees * Degree) * radius)));
    }

    // Whether `colour` is within one pixel of that point (a 1-pixel stroke at any angle).
    bool NearAt(double degrees, double radius, Colour colour) const {
        const int x = static_cast<int>(std::lround(10 + std::sin(degrees * Degree) * radius));
        const int y = static_cast<int>(std::lround(170 - std::cos(degrees * Degree) * radius));
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (meter.MeterFaceDC.Pixel(x + dx, y + dy) == colour) {
                    return true;
                }
            }
        }
        return false;
    }

    VuMeter meter;
    SurfaceBox picture5{180, 180};
};

TEST_F(VuMeterTest, FaceHasBevelHubScaleBandsTicksAndLabels) {
    const Surface& face = meter.MeterFaceDC;
    EXPECT_EQ(face.Pixel(0, 0), Black); // outline
    EXPECT_EQ(face.Pixel(90, 1), Black);
    EXPECT_EQ(face.Pixel(2, 90), Black);
    EXPECT_EQ(face.Pixel(178, 90), White);
    EXPECT_EQ(face.Pixel(90, 177), White);
    EXPECT_EQ(face.Pixel(90, 90), FaceBlue);
    EXPECT_EQ(FaceAt(45, 28), Black);       // hub ring
    EXPECT_EQ(FaceAt(30, 158), ScaleGreen); // normal part of the scale
    EXPECT_EQ(FaceAt(60, 158), ScaleGreen);
    EXPECT_EQ(FaceAt(70, 158), ScaleRed); // beyond S9 (64.3 degrees)
    EXPECT_EQ(FaceAt(89, 158), ScaleRed);
    EXPECT_TRUE(NearAt(90.0 / 7 * 3, 153, White)); // tick 3, inside the band
    EXPECT_FALSE(NearAt(90.0 / 7 * 3 + 6, 153, White));
    // "S9" in an opaque label cell beside tick 5.
    int ink = 0;
    int cell = 0;
    for (int y = 100; y < 108; ++y) {
        for (int x = 125; x < 135; ++x) {
            ink += face.Pixel(x, y) == White ? 1 : 0;
            cell += face.Pixel(x, y) == LabelBlue ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 10);
    EXPECT_GT(cell, 20);
    EXPECT_EQ(ink + cell, 80);
}

TEST_F(VuMeterTest, NeedleAtRestAndAtLevelZeroOrBelow) {
    // InitMeter shows the resting needle: straight up at x = 10 from row 140 up to row 11.
    for (int y = 11; y <= 140; ++y) {
        EXPECT_EQ(picture5.Content.Pixel(10, y), White) << y;
    }
    EXPECT_EQ(picture5.Content.Pixel(10, 10), meter.MeterFaceDC.Pixel(10, 10)); // tip: the face

    meter.DrawMeter(0);
    const Surface& dc = meter.MeterDC;
    for (int y = 11; y <= 140; ++y) {
        EXPECT_EQ(dc.Pixel(10, y), White) << y;
    }
    EXPECT_EQ(dc.Pixel(9, 139), EdgeBlue); // edges start one pixel either side at the hub
    EXPECT_EQ(dc.Pixel(11, 141), EdgeBlue);
    EXPECT_TRUE(Same(picture5.Content, dc));

    SurfaceBox atZero(180, 180);
    atZero.Content.Blit(picture5.Content);
    meter.DrawMeter(-3);
    EXPECT_TRUE(Same(picture5.Content, atZero.Content));
}

TEST_F(VuMeterTest, NeedleStopsAtFullScale) {
    meter.DrawMeter(1000);
    const Surface& dc = meter.MeterDC;
    for (int x = 40; x <= 169; ++x) {
        EXPECT_EQ(dc.Pixel(x, 170), White) << x;
    }
    EXPECT_EQ(dc.Pixel(170, 170), meter.MeterFaceDC.Pixel(170, 170)); // the tip is not painted
    EXPECT_EQ(dc.Pixel(39, 169), EdgeBlue);
    EXPECT_EQ(dc.Pixel(41, 171), EdgeBlue);

    SurfaceBox atFull(180, 180);
    atFull.Content.Blit(picture5.Content);
    meter.DrawMeter(5000);
    EXPECT_TRUE(Same(picture5.Content, atFull.Content));
    meter.DrawMeter(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(Same(picture5.Content, atFull.Content));
}

TEST_F(VuMeterTest, MidScaleNeedleAndTheFaceStaysClean) {
    meter.DrawMeter(500); // -70 dB: 45 degrees, tip at (123, 57)
    EXPECT_EQ(VuMeter::FacePoint(180, 500 * VuMeter::FullScaleAngle / 1000, 160), (Point{123, 57}));
    const Surface& dc = meter.MeterDC;
    EXPECT_EQ(dc.Pixel(122, 58), White);
    EXPECT_EQ(dc.Pixel(123, 57), meter.MeterFaceDC.Pixel(123, 57));
    EXPECT_EQ(dc.Pixel(31, 149), White); // the hub end
    EXPECT_EQ(dc.Pixel(30, 148), EdgeBlue);
    EXPECT_EQ(dc.Pixel(32, 150), EdgeBlue);
    // The old needle is gone and the face never carries one.
    EXPECT_NE(dc.Pixel(10, 100), White);
    EXPECT_NE(meter.MeterFaceDC.Pixel(80, 100), White);

    picture5.Content.Fill(Black);
    meter.RefreshMeter();
    EXPECT_TRUE(Same(picture5.Content, dc));
}

// Each picture is the face plus the latest needle only, whatever needles came before: the meter
// puts back just the old needle's pixels, so a stale one would show here.
TEST_F(VuMeterTest, EveryPictureIsTheFacePlusOnlyTheLatestNeedle) {
    const double levels[] = {
        0, 1000, 13, 999, 500, -4, 250, 1e9, std::numeric_limits<double>::quiet_NaN(), 714, 1, 640};
    for (const double level : levels) {
        meter.DrawMeter(level);
        VuMeter fresh;
        SurfaceBox box{180, 180};
        fresh.InitMeter(box);
        fresh.DrawMeter(level);
        ASSERT_TRUE(Same(meter.MeterDC, fresh.MeterDC)) << "level " << level;
        ASSERT_TRUE(Same(picture5.Content, fresh.MeterDC)) << "level " << level;
    }
    // Made again (the window's first tick comes once, but nothing stops a second): the needle
    // is at rest on a clean face, and the next level still leaves no trace of the earlier ones.
    meter.InitMeter(picture5);
    VuMeter fresh;
    SurfaceBox box{180, 180};
    fresh.InitMeter(box);
    EXPECT_TRUE(Same(meter.MeterDC, fresh.MeterDC));
    meter.DrawMeter(300);
    fresh.DrawMeter(300);
    EXPECT_TRUE(Same(meter.MeterDC, fresh.MeterDC));
}

TEST(VuMeterBeforeInit, DrawsNothing) {
    VuMeter meter;
    meter.DrawMeter(700);
    meter.RefreshMeter();
    EXPECT_TRUE(meter.MeterDC.IsNull());
}

// The block chain's three calls reach the right display, and the window's refresh shows all.
TEST(DisplaysSink, ForwardsEachCallToItsDisplay) {
    ReceiverSettings settings;
    Displays displays(settings);
    SurfaceBox p1{1018, 345}, p2{1000, 280}, p3{258, 328}, p4{198, 280}, p5{180, 180};
    displays.Traces.InitWideDisplay(p1, p2);
    displays.Traces.InitAudioDisplay(p3, p4);
    displays.Meter.InitMeter(p5);
    DisplaySink& sink = displays;
    std::vector<double> bins(2048, 1e-5);
    bins[1536] = 1.0;
    bins[64] = 1.0;
    sink.DrawWideSpectrum(bins, 2048, 1);
    sink.DrawAudioSpectrum(bins, 2048, 1);
    sink.DrawMeter(1000);
    EXPECT_EQ(displays.Traces.WidePoints[250].Y, 0);
    EXPECT_EQ(displays.Traces.AudioPoints[150].Y, 0);
    EXPECT_EQ(p5.Content.Pixel(100, 170), White);

    for (SurfaceBox* box : {&p1, &p2, &p3, &p4, &p5}) {
        box->Content.Fill(Black);
    }
    displays.RefreshDisplays();
    EXPECT_TRUE(Same(p2.Content, displays.Traces.WideFrameDC));
    EXPECT_TRUE(Same(p4.Content, displays.Traces.AudioFrameDC));
    EXPECT_TRUE(Same(p5.Content, displays.Meter.MeterDC));
    EXPECT_EQ(p1.Content.Pixel(500, 300), Rgb(0, 0, 128));
    EXPECT_EQ(p3.Content.Pixel(5, 100), Rgb(0, 128, 0));
}

} // namespace
} // namespace corvane
