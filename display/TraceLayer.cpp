// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "TraceLayer.h"

namespace corvane {

void TraceLayer::Reset(Surface& frame, const Surface& base) {
    frame.Blit(base);
    const auto pixels =
        static_cast<std::size_t>(frame.Width()) * static_cast<std::size_t>(frame.Height());
    if (Written.Capacity() < pixels / 4) {
        Written = PixelLog(pixels / 4);
    }
    Written.Clear();
    FrameWidth = frame.Width();
    FrameHeight = frame.Height();
    Valid = true;
}

void TraceLayer::Draw(Surface& frame, const Surface& base, std::span<const Point> points,
                      const Pen& pen) {
    Restore(frame, base);
    Add(frame, points, pen);
}

void TraceLayer::Restore(Surface& frame, const Surface& base) {
    if (!Valid || !Written.IsComplete() || frame.Width() != FrameWidth ||
        frame.Height() != FrameHeight) {
        Reset(frame, base);
    } else {
        frame.CopyPixels(base, Written);
        Written.Clear();
    }
}

void TraceLayer::Add(Surface& frame, std::span<const Point> points, const Pen& pen) {
    frame.Polyline(points, pen, Written);
}

} // namespace corvane
