// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Surface.h"

#include <cstdint>
#include <span>

namespace corvane {

// A trace frame that is a fixed base picture (grid, labels, marker) plus one polyline per block
// (or a few: the meter's needle).
// Copying the whole base under every new trace moved 1.1 MB per block for the wide spectrum;
// instead only the pixels the previous trace wrote are put back from the base (about 3000, where
// the rows it crossed held 38000). The frame's pixels are exactly those of "copy the base, draw
// the polyline".
class TraceLayer {
public:
    // The frame becomes a copy of the base (after the base changed or the surfaces were made).
    void Reset(Surface& frame, const Surface& base);
    // Puts back what the last trace wrote, then draws this one and notes its pixels. The frame
    // must not be drawn on in between by anyone else.
    void Draw(Surface& frame, const Surface& base, std::span<const Point> points, const Pen& pen);
    // The two halves of Draw, for a trace of several polylines: Restore leaves the frame equal
    // to the base, and each Add draws one polyline on it and notes its pixels.
    void Restore(Surface& frame, const Surface& base);
    void Add(Surface& frame, std::span<const Point> points, const Pen& pen);

private:
    bool Valid = false;          // the frame equals the base except for the pixels in Written
    std::int32_t FrameWidth = 0; // the frame's size at the last Reset: a remade frame needs one
    std::int32_t FrameHeight = 0;
    // Made in Reset for a quarter of the frame's pixels; a trace that writes more is put back by
    // a whole copy of the base instead.
    PixelLog Written;
};

} // namespace corvane
