// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Surface.h"

#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// A trace frame that is a fixed base picture (grid, labels, marker) plus one polyline per block.
// Copying the whole base under every new trace moved 1.1 MB per block for the wide spectrum;
// instead only the rows the previous trace could have touched are put back from the base. The
// frame's pixels are exactly those of "copy the base, draw the polyline".
class TraceLayer {
public:
    // The frame becomes a copy of the base (after the base changed or the surfaces were made).
    void Reset(Surface& frame, const Surface& base);
    // Puts back what the last trace covered, then draws this one and remembers its extent. The
    // frame must not be drawn on in between by anyone else.
    void Draw(Surface& frame, const Surface& base, std::span<const Point> points, const Pen& pen);

private:
    void Forget(std::int32_t height);

    bool Valid = false;              // the frame equals the base outside the rows below
    std::vector<std::int32_t> First; // per row: first column the last trace may have painted
    std::vector<std::int32_t> Last;  // per row: last such column (below First: none)
};

} // namespace corvane
