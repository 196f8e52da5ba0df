// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <fftw3.h>

#include <cstdint>
#include <span>
#include <vector>

namespace corvane::bench {

// The chain's transform pair on FFTW split-complex plans, for side-by-side speed comparison
// only: same definition (forward unscaled; inverse = conjugate of the normalised inverse), but
// not the receiver's arithmetic, so its output is not bit-identical.
class FftwTransform {
public:
    FftwTransform();
    ~FftwTransform();
    FftwTransform(const FftwTransform&) = delete;
    FftwTransform& operator=(const FftwTransform&) = delete;

    void Forward(std::span<double> re, std::span<double> im, std::int32_t n) const;
    void Inverse(std::span<double> re, std::span<double> im, std::int32_t n) const;

private:
    // FFTW plans split-array transforms for one pair of arrays; the chain uses a handful of
    // fixed pairs, so each gets its own plan on first use (call once before timing).
    struct Entry {
        double* Re;
        double* Im;
        std::int32_t N;
        fftw_plan Plan;
    };
    fftw_plan PlanFor(double* re, double* im, std::int32_t n) const;
    mutable std::vector<Entry> Plans;
};

} // namespace corvane::bench
