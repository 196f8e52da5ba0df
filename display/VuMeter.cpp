// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "VuMeter.h"

#include "Labels.h"

#include <array>
#include <cmath>

namespace corvane {

namespace {

constexpr Colour Black = Rgb(0, 0, 0);
constexpr Colour White = Rgb(255, 255, 255);
constexpr Colour FaceBlue = Rgb(0, 0, 100);
constexpr Colour LabelBlue = Rgb(0, 0, 128);

constexpr Pen NeedlePen{White};
constexpr Pen NeedleEdgePen{Rgb(150, 150, 255)};

std::int32_t Round(double v) {
    return static_cast<std::int32_t>(std::nearbyint(v));
}

} // namespace

Point VuMeter::FacePoint(std::int32_t height, double a, double r, double nudge) {
    return {Round(std::sin(a) * r + 10 + nudge), Round(height - std::cos(a) * r - 10 + nudge)};
}

// From radius r2 towards radius r1 along angle a; the point at r1 itself is not painted.
void VuMeter::Stroke(Surface& surface, const Pen& pen, double a, double r1, double r2) const {
    const std::int32_t h = surface.Height();
    surface.Line(FacePoint(h, a, r2), FacePoint(h, a, r1), pen);
}

void VuMeter::InitMeter(PictureBox& box) {
    const std::int32_t h = box.Height();
    const std::int32_t w = box.Width();
    Box = &box;
    if (!Font) {
        Font.emplace();
    }

    MeterFaceDC = Surface(w, h);
    MeterFaceDC.Rectangle(0, 0, w, h, Pen{Black}, FaceBlue);

    // Sunken 2-pixel bevel: dark along the top and left, light along the right and bottom.
    MeterFaceDC.Line({1, 1}, {w - 2, 1}, Pen{Black});
    MeterFaceDC.Line({2, 2}, {w - 3, 2}, Pen{Black});
    MeterFaceDC.Line({1, 1}, {1, h - 2}, Pen{Black});
    MeterFaceDC.Line({2, 2}, {2, h - 3}, Pen{Black});
    MeterFaceDC.Line({w - 2, 1}, {w - 2, h - 2}, Pen{White});
    MeterFaceDC.Line({w - 3, 2}, {w - 3, h - 3}, Pen{White});
    MeterFaceDC.Line({1, h - 2}, {w - 2, h - 2}, Pen{White});
    MeterFaceDC.Line({2, h - 3}, {w - 3, h - 3}, Pen{White});

    // Bands of radial strokes at angles i * A / d for i = first .. last, in drawing order. On
    // the 180 x 180 face: hub ring and hub line, the scale green up to S9 (level 714) and red
    // beyond, 36 dots and 8 ticks, one tick every 20 dB.
    struct Band {
        Pen BandPen;
        std::int32_t R1; // end radius, not painted
        std::int32_t R2; // start radius
        std::int32_t First;
        std::int32_t Last;
        std::int32_t D;
    };
    const std::array<Band, 6> bands{{
        {Pen{Black}, w - 154, w - 150, 0, 700, 700},
        {Pen{Rgb(100, 100, 100)}, w - 156, w - 155, 0, 700, 700},
        {Pen{Rgb(0, 180, 0), 2}, w - 18, w - 25, 2, 500, 700},
        {Pen{Rgb(192, 0, 0), 2}, w - 18, w - 25, 500, 700, 700},
        {Pen{White}, w - 18, w - 19, 0, 35, 35},
        {Pen{White}, w - 19, w - 29, 0, 7, 7},
    }};
    for (const Band& band : bands) {
        for (std::int32_t i = band.First; i <= band.Last; ++i) {
            Stroke(MeterFaceDC, band.BandPen, i * FullScaleAngle / band.D, band.R1, band.R2);
        }
    }

    // S-unit labels inside the scale beside ticks 1 to 7, placed for the 180 x 180 face.
    constexpr std::array<PlacedLabel, 7> labels{{{35, 25, "S1"},
                                                 {66, 36, "S3"},
                                                 {93, 53, "S5"},
                                                 {110, 75, "S7"},
                                                 {125, 100, "S9"},
                                                 {115, 130, "S9+20"},
                                                 {120, 160, "S9+40"}}};
    DrawLabels(MeterFaceDC, labels, *Font, White, LabelBlue);

    MeterDC = Surface(w, h);
    Needle.Reset(MeterDC, MeterFaceDC);
    // Needle at rest, straight up.
    const std::array<Point, 2> rest{FacePoint(h, 0, h - 150), FacePoint(h, 0, w - 20)};
    Needle.Add(MeterDC, rest, NeedlePen);
    box.Show(MeterDC);
}

void VuMeter::DrawMeter(double level) {
    if (level < 0) {
        level = 0;
    }
    // Only the last needle's pixels go back to the face: a whole copy of the face per block
    // cost more than everything else the meter does.
    Needle.Restore(MeterDC, MeterFaceDC);
    double a = level * FullScaleAngle / FullScaleLevel;
    if (!(a < FullScaleAngle)) { // also not-a-number: a level nobody can read pins the needle
        a = FullScaleAngle;
    }
    // A white centre line between two light-blue lines that start one pixel to either side of
    // it at the hub and meet it at the tip.
    const std::int32_t h = MeterDC.Height();
    const std::int32_t w = MeterDC.Width();
    const Point tip = FacePoint(h, a, w - 20);
    const std::array<Point, 2> left{FacePoint(h, a, h - 150, -1), tip};
    const std::array<Point, 2> right{FacePoint(h, a, h - 150, +1), tip};
    const std::array<Point, 2> centre{FacePoint(h, a, h - 150), tip};
    Needle.Add(MeterDC, left, NeedleEdgePen);
    Needle.Add(MeterDC, right, NeedleEdgePen);
    Needle.Add(MeterDC, centre, NeedlePen);
    if (Box != nullptr) {
        Box->Show(MeterDC);
    }
}

void VuMeter::RefreshMeter() {
    if (Box != nullptr) {
        Box->Show(MeterDC);
    }
}

} // namespace corvane
