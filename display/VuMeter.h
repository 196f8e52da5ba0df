// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "LabelFont.h"
#include "PictureBox.h"
#include "Surface.h"
#include "TraceLayer.h"

#include <cstdint>
#include <optional>

namespace corvane {

// The S-meter: a quarter-circle face with its pivot in the lower-left corner, drawn once, and a
// needle per block that points straight up at level 0 and right at level 1000 (no smoothing, no
// peak hold). Owned once by the window's displays; UI thread only.
class VuMeter {
public:
    static constexpr double FullScaleAngle = 6.2831853072 / 4; // radians, the needle's travel
    static constexpr double FullScaleLevel = 1000.0;           // 0 dB; 0 is -140 dB

    VuMeter() = default;
    VuMeter(const VuMeter&) = delete;
    VuMeter& operator=(const VuMeter&) = delete;

    // Once, on the window's first timer tick: draws the face, the needle at rest, and shows it.
    // The box must outlive this object.
    void InitMeter(PictureBox& box);
    // Per block: the face with the needle at `level` (below 0 drawn as 0, from 1000 up at full
    // scale). Does nothing visible before InitMeter.
    void DrawMeter(double level);
    // Shows the last meter picture again.
    void RefreshMeter();

    // The face point at angle a (radians clockwise from straight up) and radius r (pixels) from
    // the pivot (10, height - 10), moved by `nudge` pixels on both axes before rounding.
    static Point FacePoint(std::int32_t height, double a, double r, double nudge = 0.0);

    Surface MeterFaceDC; // the face without needle; fixed after InitMeter
    Surface MeterDC;     // face plus the latest needle: what the box shows

private:
    void Stroke(Surface& surface, const Pen& pen, double a, double r1, double r2) const;

    std::optional<LabelFont> Font; // built by InitMeter
    PictureBox* Box = nullptr;     // the meter's place on the window
    TraceLayer Needle;             // MeterDC is MeterFaceDC plus the needle's lines
};

} // namespace corvane
