// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The whole window as drawn offscreen, against reviewed reference pictures. Control positions
// are checked exactly by the start-up test; this catches what geometry cannot: colours, fonts,
// captions, push-button looks and the displays inside the boxes.
#include "ReferencePicture.h"
#include "WindowHarness.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

// Glyph edges may shift by a pixel with another FreeType build; anything bigger is a change.
constexpr double Tolerance = 0.002;

void Compare(const QImage& actual, const char* name) {
    EXPECT_EQ(CheckReference(actual, QStringLiteral(CORVANE_APP_REFERENCE_DIR "/%1").arg(name),
                             QStringLiteral(CORVANE_APP_ACTUAL_DIR "/%1").arg(name), Tolerance),
              "")
        << name;
}

TEST(Screenshot, WindowAfterStartup) {
    Compare(RenderStartup(), "window-startup.png");
}

TEST(Screenshot, WindowAfterBlocksOfATone) {
    Compare(RenderAfterBlocks(), "window-blocks.png");
}

} // namespace
} // namespace corvane::test
