// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "TraceLayer.h"

#include <algorithm>
#include <limits>

namespace corvane {

void TraceLayer::Forget(std::int32_t height) {
    First.assign(static_cast<std::size_t>(std::max(height, 0)),
                 std::numeric_limits<std::int32_t>::max());
    Last.assign(First.size(), std::numeric_limits<std::int32_t>::min());
}

void TraceLayer::Reset(Surface& frame, const Surface& base) {
    frame.Blit(base);
    Forget(frame.Height());
    Valid = true;
}

void TraceLayer::Draw(Surface& frame, const Surface& base, std::span<const Point> points,
                      const Pen& pen) {
    if (!Valid || First.size() != static_cast<std::size_t>(frame.Height())) {
        Reset(frame, base);
    }
    const std::int32_t height = frame.Height();
    for (std::int32_t y = 0; y < height; ++y) {
        const auto row = static_cast<std::size_t>(y);
        if (First[row] <= Last[row]) {
            frame.CopySpan(base, y, First[row], Last[row]);
            First[row] = std::numeric_limits<std::int32_t>::max();
            Last[row] = std::numeric_limits<std::int32_t>::min();
        }
    }
    frame.Polyline(points, pen);

    // A segment paints only inside the box of its two end points, widened by the pen.
    const std::int32_t reach = std::max(pen.Width, 1) - 1;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const Point a = points[i];
        const Point b = points[i + 1];
        const std::int32_t left = std::min(a.X, b.X) - reach;
        const std::int32_t right = std::max(a.X, b.X) + reach;
        const std::int32_t top = std::max(std::min(a.Y, b.Y) - reach, 0);
        const std::int32_t bottom = std::min(std::max(a.Y, b.Y) + reach, height - 1);
        for (std::int32_t y = top; y <= bottom; ++y) {
            const auto row = static_cast<std::size_t>(y);
            First[row] = std::min(First[row], left);
            Last[row] = std::max(Last[row], right);
        }
    }
}

} // namespace corvane
