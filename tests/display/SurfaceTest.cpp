// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Surface.h"

#include "LabelFont.h"
#include "Palette.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using namespace test::palette;

using PixelSet = std::set<std::pair<int, int>>;

PixelSet Painted(const Surface& s, Colour colour) {
    PixelSet set;
    for (int y = 0; y < s.Height(); ++y) {
        for (int x = 0; x < s.Width(); ++x) {
            if (s.Pixel(x, y) == colour) {
                set.insert({x, y});
            }
        }
    }
    return set;
}

PixelSet LinePixels(Point from, Point to) {
    Surface s(64, 64);
    s.Line(from, to, Pen{White});
    return Painted(s, White);
}

TEST(SurfaceLines, EndPointIsOmittedInEveryDirection) {
    EXPECT_EQ(LinePixels({2, 5}, {8, 5}),
              (PixelSet{{2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}));
    EXPECT_EQ(LinePixels({8, 5}, {2, 5}),
              (PixelSet{{8, 5}, {7, 5}, {6, 5}, {5, 5}, {4, 5}, {3, 5}}));
    EXPECT_EQ(LinePixels({4, 1}, {4, 4}), (PixelSet{{4, 1}, {4, 2}, {4, 3}}));
    EXPECT_EQ(LinePixels({4, 4}, {4, 1}), (PixelSet{{4, 4}, {4, 3}, {4, 2}}));
    EXPECT_EQ(LinePixels({1, 1}, {4, 4}), (PixelSet{{1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(LinePixels({4, 1}, {1, 4}), (PixelSet{{4, 1}, {3, 2}, {2, 3}}));
    EXPECT_TRUE(LinePixels({7, 7}, {7, 7}).empty());
    EXPECT_EQ(LinePixels({3, 3}, {4, 3}), (PixelSet{{3, 3}}));
}

// Random lines inside the surface: one pixel per step of the longer axis, each step moving to
// an 8-neighbour, every pixel within half a pixel of the ideal line, the end point never painted.
TEST(SurfaceLines, RandomLinesFollowTheIdealLine) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> coordinate(0, 63);
    for (int trial = 0; trial < 500; ++trial) {
        const Point from{coordinate(random), coordinate(random)};
        const Point to{coordinate(random), coordinate(random)};
        const int dx = to.X - from.X;
        const int dy = to.Y - from.Y;
        const int steps = std::max(std::abs(dx), std::abs(dy));
        Surface s(64, 64);
        s.Line(from, to, Pen{White});
        const PixelSet pixels = Painted(s, White);
        ASSERT_EQ(static_cast<int>(pixels.size()), steps) << trial;
        if (steps == 0) {
            continue;
        }
        EXPECT_EQ(pixels.count({from.X, from.Y}), 1u) << trial;
        EXPECT_EQ(pixels.count({to.X, to.Y}), 0u) << trial;
        for (const auto& [x, y] : pixels) {
            // Distance along the minor axis from the ideal line at this major coordinate.
            const double error =
                std::abs(dx) >= std::abs(dy)
                    ? std::abs(from.Y + static_cast<double>(x - from.X) * dy / dx - y)
                    : std::abs(from.X + static_cast<double>(y - from.Y) * dx / dy - x);
            EXPECT_LE(error, 0.5) << trial << " at " << x << "," << y;
        }
    }
}

// A small surface must show exactly the window of what a large one shows, whatever part of the
// line lies outside: the clipping may not shift a single pixel.
TEST(SurfaceLines, ClippingKeepsThePixelsOfTheUnclippedLine) {
    std::mt19937 random(777);
    std::uniform_int_distribution<int> coordinate(0, 399);
    constexpr int Offset = 170; // the small surface covers [170, 230) of the large one
    for (int trial = 0; trial < 300; ++trial) {
        const Point from{coordinate(random), coordinate(random)};
        const Point to{coordinate(random), coordinate(random)};
        for (const int width : {1, 2}) {
            Surface large(400, 400);
            large.Line(from, to, Pen{White, width});
            Surface small(60, 60);
            small.Line({from.X - Offset, from.Y - Offset}, {to.X - Offset, to.Y - Offset},
                       Pen{White, width});
            for (int y = 0; y < 60; ++y) {
                for (int x = 0; x < 60; ++x) {
                    ASSERT_EQ(small.Pixel(x, y), large.Pixel(x + Offset, y + Offset))
                        << "trial " << trial << " width " << width << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(SurfaceLines, ExtremeCoordinatesAreClippedNotLooped) {
    constexpr int Min = std::numeric_limits<int>::min();
    constexpr int Max = std::numeric_limits<int>::max();
    Surface s(16, 8);
    s.Line({Min, 5}, {Max, 5}, Pen{White});
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(s.Pixel(x, 5), White) << x;
    }
    EXPECT_EQ(Painted(s, White).size(), 16u);
    s.Line({Max, Max}, {Min, Min}, Pen{Red}); // the diagonal through the surface
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(s.Pixel(i, i), Red) << i;
    }
}

TEST(SurfaceLines, TwoPixelPenPaintsABandAndReachesBackAcrossTheEdge) {
    Surface s(10, 10);
    s.Line({2, 2}, {6, 2}, Pen{White, 2});
    EXPECT_EQ(
        Painted(s, White),
        (PixelSet{{2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}}));
    Surface edge(4, 4);
    edge.Line({-1, 0}, {-1, 3}, Pen{White, 2});
    EXPECT_EQ(Painted(edge, White), (PixelSet{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));
}

TEST(SurfaceLines, PolylineJoinsSegmentsAndOmitsOnlyTheLastPoint) {
    Surface s(10, 10);
    const Point points[] = {{1, 1}, {4, 1}, {4, 4}, {1, 4}};
    s.Polyline(points, Pen{White});
    EXPECT_EQ(Painted(s, White),
              (PixelSet{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 4}, {2, 4}}));
    // Points far outside only clip; nothing else is touched.
    Surface clipped(10, 10);
    const Point wild[] = {{5, -100000}, {5, 100000}, {-50, 3}, {60, 3}};
    clipped.Polyline(wild, Pen{White});
    EXPECT_EQ(Painted(clipped, White).size(), 10u + 10u - 1u);
}

// The log is what the trace layer puts back from: it must name every pixel the polyline wrote
// and nothing else, on every path (inside, clipped, wide pen), and say when it ran out of room.
TEST(SurfaceLines, LoggedPolylinePaintsTheSameAndLogsExactlyItsPixels) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coordinate(-30, 70);
    for (int round = 0; round < 200; ++round) {
        std::vector<Point> points(1 + rng() % 12);
        for (Point& p : points) {
            p = {coordinate(rng), coordinate(rng)};
        }
        const Pen pen{White, round % 4 == 3 ? 2 : 1};
        Surface plain(48, 40), logged(48, 40);
        plain.Polyline(points, pen);
        PixelLog log(48 * 40);
        logged.Polyline(points, pen, log);
        ASSERT_TRUE(log.IsComplete());
        const PixelSet painted = Painted(plain, White);
        ASSERT_EQ(Painted(logged, White), painted) << "round " << round;
        PixelSet named;
        for (const std::uint32_t at : log.Written()) {
            named.insert({static_cast<int>(at % 48), static_cast<int>(at / 48)});
        }
        ASSERT_EQ(named, painted) << "round " << round;

        // Putting the logged pixels back from a copy of the background undoes the drawing.
        Surface background(48, 40);
        logged.CopyPixels(background, log);
        ASSERT_TRUE(Painted(logged, White).empty()) << "round " << round;
    }
    // A log too small keeps what fits and says it is incomplete; Clear starts it afresh.
    Surface s(10, 10);
    const Point points[] = {{0, 0}, {9, 0}};
    PixelLog small(4);
    s.Polyline(points, Pen{White}, small);
    EXPECT_FALSE(small.IsComplete());
    EXPECT_EQ(small.Written().size(), small.Capacity());
    EXPECT_EQ(Painted(s, White).size(), 9u);
    small.Clear();
    EXPECT_TRUE(small.IsComplete());
    EXPECT_TRUE(small.Written().empty());
    // A log from a surface of another size is not applied.
    Surface other(5, 5);
    other.Fill(Red);
    PixelLog wide(100);
    s.Polyline(points, Pen{White}, wide);
    s.CopyPixels(other, wide);
    EXPECT_EQ(Painted(s, White).size(), 9u);
}

TEST(SurfaceRectangles, RightAndBottomEdgesAreExcluded) {
    Surface s(12, 12);
    s.Fill(Black);
    s.Rectangle(2, 3, 7, 9, Pen{Red}, Blue);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x <= 6 && y >= 3 && y <= 8;
            const bool border = inside && (x == 2 || x == 6 || y == 3 || y == 8);
            const Colour expected = border ? Red : inside ? Blue : Black;
            EXPECT_EQ(s.Pixel(x, y), expected) << x << "," << y;
        }
    }
    Surface swapped(12, 12);
    swapped.Rectangle(7, 9, 2, 3, Pen{Red}, Blue);
    EXPECT_EQ(Painted(swapped, Red), Painted(s, Red));
    EXPECT_EQ(Painted(swapped, Blue), Painted(s, Blue));
}

TEST(SurfaceRectangles, WholeSurfaceOutlineEmptyAreasAndClipping) {
    Surface s(5, 4);
    s.Rectangle(0, 0, 5, 4, Pen{Red}, Blue);
    EXPECT_EQ(Painted(s, Blue), (PixelSet{{1, 1}, {2, 1}, {3, 1}, {1, 2}, {2, 2}, {3, 2}}));
    EXPECT_EQ(Painted(s, Red).size(), 20u - 6u);

    Surface empty(5, 4);
    empty.Rectangle(2, 0, 2, 4, Pen{Red}, Blue);
    empty.Rectangle(0, 1, 5, 1, Pen{Red}, Blue);
    EXPECT_TRUE(Painted(empty, Red).empty());

    Surface clipped(6, 3);
    clipped.Rectangle(-5, 0, 3, 3, Pen{Red}, Blue); // left edge outside the surface
    EXPECT_EQ(clipped.Pixel(0, 1), Blue);
    EXPECT_EQ(clipped.Pixel(1, 1), Blue);
    EXPECT_EQ(clipped.Pixel(2, 1), Red);
    EXPECT_EQ(clipped.Pixel(3, 1), Black);
    EXPECT_EQ(clipped.Pixel(0, 0), Red);
}

TEST(SurfaceBlits, CopyReplacesOrCombinesBitwiseBothClipped) {
    Surface grid(4, 3);
    grid.Fill(Rgb(128, 128, 128));
    Surface frame(6, 2);
    frame.Fill(Rgb(0, 180, 0));
    frame.Blit(grid, RasterOp::Or);
    EXPECT_EQ(frame.Pixel(0, 0), Rgb(128, 180, 128));
    EXPECT_EQ(frame.Pixel(3, 1), Rgb(128, 180, 128));
    EXPECT_EQ(frame.Pixel(4, 0), Rgb(0, 180, 0)); // beyond the smaller source

    frame.Blit(grid, RasterOp::Copy, {3, -1});
    EXPECT_EQ(frame.Pixel(2, 0), Rgb(128, 180, 128));
    EXPECT_EQ(frame.Pixel(3, 0), Rgb(128, 128, 128));
    EXPECT_EQ(frame.Pixel(5, 1), Rgb(128, 128, 128));

    Surface null;
    null.Blit(grid); // nothing to draw on
    null.Line({0, 0}, {5, 5}, Pen{White});
    null.Rectangle(0, 0, 3, 3, Pen{White}, White);
    EXPECT_TRUE(null.IsNull());
    frame.Blit(null);
    EXPECT_EQ(frame.Pixel(3, 0), Rgb(128, 128, 128));
}

TEST(SurfaceText, CellsAreOpaqueInTheBackgroundWithInkInTheTextColour) {
    const LabelFont font;
    Surface s(60, 14);
    s.Fill(Red);
    s.Text(5, 3, "-21.6 ", font, White, Black);
    const int right = 5 + font.TextWidth("-21.6 ");
    int ink = 0;
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 60; ++x) {
            const bool cell = x >= 5 && x < right && y >= 3 && y < 3 + LabelFont::CellHeight;
            if (cell) {
                EXPECT_TRUE(s.Pixel(x, y) == White || s.Pixel(x, y) == Black) << x << "," << y;
                ink += s.Pixel(x, y) == White ? 1 : 0;
            } else {
                EXPECT_EQ(s.Pixel(x, y), Red) << x << "," << y;
            }
        }
    }
    EXPECT_GT(ink, 20);
    // The trailing space cell is pure background.
    for (int x = right - font.Advance(' '); x < right; ++x) {
        for (int y = 3; y < 3 + LabelFont::CellHeight; ++y) {
            EXPECT_EQ(s.Pixel(x, y), Black);
        }
    }
    // Text running off the edges is clipped.
    s.Text(-3, -4, "S9+40", font, White, Blue);
    for (int y = 0; y < 4; ++y) {
        EXPECT_TRUE(s.Pixel(0, y) == White || s.Pixel(0, y) == Blue) << y;
    }
    EXPECT_EQ(s.Pixel(0, 4), Red);
    s.Text(55, 10, "S9+40", font, White, Blue);
    EXPECT_TRUE(s.Pixel(59, 13) == White || s.Pixel(59, 13) == Blue);
}

// The labels are laid out for this font: it must be the one installed for the purpose, and its
// texts must fit the places the scales give them.
TEST(LabelFontTest, IsTheInstalledFaceAndFitsTheLabelCells) {
    const LabelFont font;
    EXPECT_EQ(font.ResolvedFamily(), "Liberation Sans");
    EXPECT_LE(font.TextWidth("-21.6 "), 48);       // wide kHz labels, one per 50-column grid cell
    EXPECT_LE(font.TextWidth("-120") + 1, 9 + 50); // wide dB labels before the first kHz label
    EXPECT_LE(2 + font.TextWidth("-100"), 30);     // audio dB labels end left of the trace area
    EXPECT_LE(10 + font.TextWidth("-20"), 30);
    EXPECT_LE(20 + font.TextWidth("0"), 30);
    EXPECT_LE(115 + font.TextWidth("S9+20"), 178); // inside the meter's bevel
    for (const char c : std::string_view("0123456789-. dBVKHzkS+")) {
        int ink = 0;
        for (int row = 0; row < LabelFont::CellHeight; ++row) {
            ink += font.Ink(c, row) != 0 ? 1 : 0;
        }
        EXPECT_EQ(ink > 0, c != ' ') << c;
    }
    EXPECT_EQ(font.Advance('\n'), font.Advance('?'));
}

TEST(SurfacePng, SavedFileHoldsTheSamePixels) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Surface s(7, 5);
    s.Rectangle(0, 0, 7, 5, Pen{Red}, Rgb(1, 2, 3));
    s.Line({0, 4}, {7, 0}, Pen{White});
    const QString path = QDir(dir.path()).filePath("surface.png");
    ASSERT_TRUE(s.SavePng(path));
    const QImage loaded(path);
    ASSERT_EQ(loaded.width(), 7);
    ASSERT_EQ(loaded.height(), 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(loaded.pixel(x, y), s.Pixel(x, y)) << x << "," << y;
        }
    }
    // Copying into an image of the right size reuses its storage.
    QImage shown = s.ToImage();
    const uchar* storage = shown.constBits();
    s.Fill(Red);
    s.CopyInto(shown);
    EXPECT_EQ(shown.constBits(), storage);
    EXPECT_EQ(shown.pixel(3, 2), Red);
}

// A box copies a surface only when its version moved: every drawing call moves it, and a
// surface assigned anew never goes back to a version a box may have shown.
TEST(SurfaceVersions, EveryDrawingCallMovesTheVersionAndAssignmentNeverRewindsIt) {
    Surface s(8, 6);
    const LabelFont font;
    std::uint64_t last = s.Version();
    const auto moved = [&] {
        const bool up = s.Version() > last;
        last = s.Version();
        return up;
    };
    EXPECT_FALSE(moved());
    s.Fill(Red);
    EXPECT_TRUE(moved());
    s.Rectangle(1, 1, 4, 4, Pen{Blue, 1}, Red);
    EXPECT_TRUE(moved());
    s.Line({0, 0}, {5, 5}, Pen{Blue, 1});
    EXPECT_TRUE(moved());
    const std::array<Point, 3> points{Point{0, 0}, Point{3, 0}, Point{3, 3}};
    s.Polyline(points, Pen{Blue, 1});
    EXPECT_TRUE(moved());
    s.Text(0, 0, "A", font, Red, Blue);
    EXPECT_TRUE(moved());
    Surface other(8, 6);
    s.Blit(other);
    EXPECT_TRUE(moved());
    PixelLog log(4);
    s.Polyline(points, Pen{Red, 1}, log);
    EXPECT_TRUE(moved());
    s.CopyPixels(other, log);
    EXPECT_TRUE(moved());
    EXPECT_EQ(s.Pixel(0, 0), other.Pixel(0, 0));

    s = Surface(8, 6); // a fresh surface at the same place
    EXPECT_TRUE(moved());
    Surface busy(8, 6);
    for (int i = 0; i < 100; ++i) {
        busy.Fill(Blue);
    }
    s = std::move(busy);
    EXPECT_GT(s.Version(), 100u);
}

} // namespace
} // namespace corvane
