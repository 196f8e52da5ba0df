// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>
#include <span>

namespace corvane {

// Blind correction of a direct-conversion front end's I/Q imbalance and DC, from whatever is
// received: no test tone, no calibration run. The estimator is the second-order-statistics
// (circularity) one: a proper complex signal, which any mix of stations and noise is, has equal
// power in its real and imaginary parts and no correlation between them, so the front end's
// gain error shows as a power ratio and its phase error as a correlation. Both, and each
// channel's DC, are averaged exponentially over about half a second (DC: one second), so a slow
// drift is followed, a single block moves nothing far, and nothing is allocated.
//
// Frames are interleaved (left, right) as the card delivers them. Right is the real part of the
// receiver's complex signal and the reference; left, the imaginary part, is rebuilt:
//   l' = (l / g - r sin(phi)) / cos(phi),  g = sqrt(E[l^2] / E[r^2]),
//   sin(phi) = E[l r] / sqrt(E[l^2] E[r^2]),  l and r without their DC.
class IqCorrector {
public:
    static constexpr double MomentSeconds = 0.5; // time constant of the balance estimates
    static constexpr double DcSeconds = 1.0;     // time constant of the DC estimates
    static constexpr double SampleRate = 48000.0;

    // Corrects whole frames in place: the estimates take this block in, then DC leaves both
    // channels and the left one is rebuilt. Results are rounded and clipped to 16 bits.
    void Correct(std::span<std::int16_t> frames);
    // Forgets everything learnt: the next block starts the estimates afresh.
    void Reset();

    double DcLeft() const { return DcLeft_; }
    double DcRight() const { return DcRight_; }
    // The left channel's amplitude relative to the right one, and its phase error (radians), as
    // estimated now (1 and 0 before any signal).
    double Gain() const;
    double Phase() const;

private:
    bool Primed_ = false;
    double DcLeft_ = 0.0;
    double DcRight_ = 0.0;
    double RawLeft_ = 0.0; // first average of the moments below
    double RawRight_ = 0.0;
    double RawCross_ = 0.0;
    double PowerLeft_ = 0.0;  // E[l^2], DC removed
    double PowerRight_ = 0.0; // E[r^2]
    double Cross_ = 0.0;      // E[l r]
};

} // namespace corvane
