// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// A whole frame of the three displays rendered through the block chain, against the reviewed
// reference picture. Regenerate it deliberately with corvane_display_reference after a change
// that is meant to alter the picture, and review the new PNG before committing it.
#include "DisplayHarness.h"
#include "Palette.h"
#include "ReferencePicture.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace corvane {
namespace {

TEST(WholeFrame, MatchesTheReviewedReference) {
    const Surface frame = RenderReferenceFrame();
    EXPECT_EQ(test::CheckReference(frame.ToImage(), QString::fromUtf8(CORVANE_DISPLAY_REFERENCE),
                                   QString::fromUtf8(CORVANE_DISPLAY_ACTUAL), 0.0),
              "");
}

// The column (within [left, left + width)) whose yellow trace pixel is highest in rows
// [top, top + height) of the snapshot, relative to `left`; -1 if there is none.
int PeakColumn(const Surface& s, int left, int top, int width, int height) {
    using test::palette::Yellow;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            if (s.Pixel(x, y) == Yellow) {
                return x - left;
            }
        }
    }
    return -1;
}

// Independent of the reference: each display shows what the chain handed it for this band.
TEST(WholeFrame, EachDisplayShowsItsPartOfTheBand) {
    const Surface frame = RenderReferenceFrame();
    // Wide trace area at (9, 1): the strongest signal, -12000 Hz, peaks at column 250.
    EXPECT_EQ(PeakColumn(frame, 9, 1, 1000, 280), 250);
    // Inside the marker (+3000 Hz, columns 558 .. 567) the tuned signal at +3100 Hz rises well
    // above the noise (-100 dB, row 200).
    const int tuned = PeakColumn(frame, 9 + 558, 1, 10, 120);
    EXPECT_GE(tuned, 0);
    // Audio trace area at (342, 352): the CW signal 100 Hz above the tuning is heard at about
    // 925 Hz, column 92 or 93 at 10 Hz per column.
    const int audio = PeakColumn(frame, 342, 352, 198, 280);
    EXPECT_GE(audio, 91);
    EXPECT_LE(audio, 94);
    // Meter at (110, 370), pivot (10, 170): at radius 100 the needle's white line points between
    // S7 (51.4 degrees) and S9+20 (77.1 degrees): a signal tens of dB above the noise (which
    // alone leaves the needle below S5) and well below full scale.
    double sum = 0;
    int count = 0;
    for (int a10 = 0; a10 <= 900; ++a10) {
        const double a = a10 / 10.0 * 3.14159265358979 / 180;
        const int x = 110 + static_cast<int>(std::lround(10 + 100 * std::sin(a)));
        const int y = 370 + static_cast<int>(std::lround(170 - 100 * std::cos(a)));
        if (frame.Pixel(x, y) == Rgb(255, 255, 255)) {
            sum += a10 / 10.0;
            ++count;
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_GT(sum / count, 51.4);
    EXPECT_LT(sum / count, 77.1);
}

} // namespace
} // namespace corvane
