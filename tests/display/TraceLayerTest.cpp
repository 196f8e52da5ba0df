// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The trace layer puts back only what the last trace covered; the frame must still be, pixel for
// pixel, a copy of the base with the new polyline drawn on it.
#include "TraceLayer.h"
#include "Surface.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

void ExpectSame(const Surface& a, const Surface& b, int step) {
    for (std::int32_t y = 0; y < a.Height(); ++y) {
        for (std::int32_t x = 0; x < a.Width(); ++x) {
            ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << "step " << step << " at " << x << ", " << y;
        }
    }
}

TEST(TraceLayer, FrameEqualsBasePlusTheLatestTraceOnly) {
    constexpr std::int32_t W = 120, H = 90;
    Surface base(W, H);
    // A base with structure everywhere, so any pixel not put back would show.
    for (std::int32_t y = 0; y < H; y += 7) {
        base.Line({0, y}, {W, y}, Pen{Rgb(128, 128, 128)});
    }
    base.Rectangle(40, 0, 60, H, Pen{Rgb(0, 255, 0)}, Rgb(0, 180, 0));
    Surface frame(W, H), expected(W, H);
    TraceLayer layer;
    std::mt19937 rng(5);
    // Rows from well above to well below the surface, jumps of any size, and both pen widths.
    std::uniform_int_distribution<int> row(-40, H + 40);
    std::vector<Point> points(W);
    for (int step = 0; step < 60; ++step) {
        const int spread = step % 3 == 0 ? H + 80 : 6;
        const int middle = row(rng);
        for (std::int32_t x = 0; x < W; ++x) {
            points[static_cast<std::size_t>(x)] = {x, middle + static_cast<int>(rng() % spread) -
                                                          spread / 2};
        }
        const Pen pen{Rgb(255, 255, 0), step % 5 == 4 ? 2 : 1};
        layer.Draw(frame, base, points, pen);
        expected.Blit(base);
        expected.Polyline(points, pen);
        ExpectSame(frame, expected, step);
    }
    // After a reset against a changed base the frame follows the new base.
    base.Rectangle(0, 0, 20, 20, Pen{Rgb(255, 0, 0)}, Rgb(255, 0, 0));
    layer.Reset(frame, base);
    layer.Draw(frame, base, points, Pen{Rgb(255, 255, 0)});
    expected.Blit(base);
    expected.Polyline(points, Pen{Rgb(255, 255, 0)});
    ExpectSame(frame, expected, 60);
}

} // namespace
} // namespace corvane
