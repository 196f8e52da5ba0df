// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Surface.h"

#include <cstdint>

namespace corvane {

// What a display needs of the place on the window that shows it: the size of its drawing area
// (inside any border) and a way to replace what it shows with a finished surface. The window
// supplies widgets; tests and tools use SurfaceBox.
class PictureBox {
public:
    virtual ~PictureBox() = default;

    // Drawing area in pixels; the displays size their surfaces from it when they are built.
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    // Copy `frame` with its top-left corner at the area's top-left corner, clipped to the area.
    // What the box shows afterwards must not change when `frame` is drawn on later.
    virtual void Show(const Surface& frame) = 0;
};

// A box that is a plain surface: it holds what was last shown, for tests, tools and benchmarks.
class SurfaceBox final : public PictureBox {
public:
    SurfaceBox(std::int32_t width, std::int32_t height) : Content(width, height) {}

    std::int32_t Width() const override { return Content.Width(); }
    std::int32_t Height() const override { return Content.Height(); }
    void Show(const Surface& frame) override {
        Content.Blit(frame);
        ++ShowCount;
    }

    Surface Content;            // what the box shows
    std::int32_t ShowCount = 0; // number of Show calls so far
};

} // namespace corvane
