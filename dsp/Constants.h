// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "StreamFormat.h"

#include <cmath>
#include <cstdint>

namespace corvane {

// The receiver's own decimal values of two pi and pi (ten decimals, not the full double values):
// every transform, window, filter design, oscillator step and phase wrap uses exactly these.
inline constexpr double TwoPi = 6.2831853072;
inline constexpr double Pi = 3.1415926536;

inline constexpr std::int32_t FilterFrame = 4096;    // fast-convolution transform length
inline constexpr std::int32_t FilterOrder = 2048;    // 2049 taps
inline constexpr std::int32_t ChainArraySize = 4097; // every chain array: indices 0..4096
inline constexpr std::int32_t AudioBins = 200;       // audio spectrum, 0..4687.5 Hz

// One oscillator step: advance, then wrap once at the decimal two pi. Steps are always positive,
// so there is no lower wrap.
inline double AdvancePhase(double phase, double step) {
    phase = phase + step;
    if (phase >= TwoPi) {
        phase = phase - TwoPi;
    }
    return phase;
}

// std::nearbyint in the rounding mode the receiver always runs in (to nearest, ties to even),
// inlined: the x86-64 baseline has no rounding instruction, and the library call cost more than
// the rest of the per-sample and per-column loops that round. The same result for every double:
// adding and taking away 2^52 leaves the nearest integer of a smaller magnitude, the sign is put
// back (so -0.4 gives -0.0), and larger magnitudes, infinities and NaN are their own rounding.
inline double RoundHalfEven(double v) {
    constexpr double Shift = 4503599627370496.0; // 2^52
    const double magnitude = std::fabs(v);
    if (!(magnitude < Shift)) {
        return v;
    }
    return std::copysign((magnitude + Shift) - Shift, v);
}

} // namespace corvane
