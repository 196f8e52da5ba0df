// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "RxDsp.h"

#include <array>
#include <complex>
#include <cstdint>
#include <span>

namespace corvane {

// Blind correction of a direct-conversion front end's I/Q imbalance and DC, from whatever is
// received: no test tone, no calibration run. The estimators use circularity: a proper complex
// signal, which any mix of stations and noise is, has no correlation between its components at
// +f and -f, so what correlation there is comes from the front end.
//
// Frames are interleaved (left, right) as the card delivers them. Right is the real part of the
// receiver's complex signal, left the imaginary part. Two stages:
//
// 1. DC and the balance at large. Each channel's DC is followed over about a second; the left
//    channel's gain and phase against the right one are found from the second moments (equal
//    power in both parts, no correlation between them), averaged over about half a second, and
//    the left channel is rebuilt:
//      l' = (l / g - r sin(phi)) / cos(phi),  g = sqrt(E[l^2] / E[r^2]),
//      sin(phi) = E[l r] / sqrt(E[l^2] E[r^2]),  l and r without their DC.
//    This alone is exact for a front end whose error is the same at every frequency.
// 2. What is left at each frequency. A card that samples its two channels a fraction of a
//    sample apart, or two anti-alias filters that differ, make an error that grows across the
//    band. The corrected signal z passes a widely-linear filter, Z'(f) = Z(f) + W(f) conj(Z(-f)),
//    by overlap-save in transforms of Transform frames. The bins' moments (Hann-windowed, one
//    transform every LearnFrames) are averaged over MomentSeconds; W is solved bin pair by bin pair
//    from them (a Newton step towards E[Z'(f) Z'(-f)] = 0 every SolveFrames, the smallest change
//    that gets there, so a station at +f with only noise at -f sets W(-f), the coefficient that
//    cancels its image). Working on the input's moments, not the output's, leaves no loop to
//    ring. Where only noise is, a bin's W is a guess; so W is then averaged over neighbouring
//    bins weighted by the power at the mirror it takes its image from (a station's well-found
//    W rules about 750 Hz around it), and the average's impulse response is cut to +-Reach
//    frames, which keeps the filter linear across transforms. The output is Reach frames late.
//
// Nothing is allocated after construction; Correct takes any number of frames.
class IqCorrector {
public:
    static constexpr double MomentSeconds = 0.5;      // time constant of the balance estimates
    static constexpr double DcSeconds = 1.0;          // time constant of the DC estimates
    static constexpr std::int32_t Transform = 2048;   // frames per transform of the second stage
    static constexpr std::int32_t Hop = 1024;         // most frames corrected per transform
    static constexpr std::int32_t Reach = 256;        // half the filter's length; the delay
    static constexpr std::int32_t WeightReach = 64;   // half the length of W's weighted average
    static constexpr std::size_t LearnFrames = 4096;  // frames between two updates of the moments
    static constexpr std::size_t SolveFrames = 16384; // frames between two updates of W

    IqCorrector();

    // Corrects whole frames in place: the estimates take this block in, then DC leaves both
    // channels and the imbalance is taken out. The output is Reach frames behind the input (the
    // first Reach frames after a Reset are silence). Results are rounded and clipped to 16 bits.
    void Correct(std::span<std::int16_t> frames);
    // Forgets everything learnt and heard: the next block starts afresh.
    void Reset();

    double DcLeft() const { return DcLeft_; }
    double DcRight() const { return DcRight_; }
    // The left channel's amplitude relative to the right one, and its phase error (radians), as
    // the first stage estimates them now (1 and 0 before any signal).
    double Gain() const;
    double Phase() const;
    // The second stage's image coefficient at `hz` (-24000..24000), as it is applied now: what
    // of the conjugate of the band at -hz is added at +hz. 0 before any signal.
    std::complex<double> ImageCoefficient(double hz) const;

private:
    using Bins = std::array<double, Transform>;
    using Pairs = std::array<double, Transform / 2>;

    void Filter(std::span<std::int16_t> frames, std::size_t first, std::size_t count);
    void Learn(double frames);
    void Solve();
    void Smooth(Bins& re, Bins& im, const Bins& taper) const;

    // First stage.
    bool Primed_ = false;
    double DcLeft_ = 0.0;
    double DcRight_ = 0.0;
    double RawLeft_ = 0.0; // first average of the moments below
    double RawRight_ = 0.0;
    double RawCross_ = 0.0;
    double PowerLeft_ = 0.0;  // E[l^2], DC removed
    double PowerRight_ = 0.0; // E[r^2]
    double Cross_ = 0.0;      // E[l r]

    // Second stage. Input: the last Transform frames of the first stage's output, a ring whose
    // oldest frame is at Head_.
    rxDSP::FftPlan Plan_;
    Bins HistoryRe_{};
    Bins HistoryIm_{};
    std::size_t Head_ = 0;
    std::size_t SinceLearnt_ = 0; // frames since the moments last took a transform in
    Bins SpecRe_{};               // the latest transform of the history
    Bins SpecIm_{};
    Bins WorkRe_{};
    Bins WorkIm_{};
    bool Learnt_ = false; // the moments below hold something
    Bins Power_{};        // E|Z(k)|^2, the history Hann-windowed
    Pairs PairRe_{};      // E[Z(k) Z(-k)], k = 1..Transform/2-1
    Pairs PairIm_{};
    Bins SolvedRe_{}; // W per bin, as solved
    Bins SolvedIm_{};
    Bins AppliedRe_{}; // W smoothed, as applied
    Bins AppliedIm_{};
    bool Solved_ = false;         // W has been solved for since the last Reset
    std::size_t SinceSolved_ = 0; // frames corrected since
    Bins Taper_{};                // the applied filter's window over its impulse response, circular
    Bins WeightTaper_{};          // the weighted average's
};

} // namespace corvane
