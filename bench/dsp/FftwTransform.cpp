// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "FftwTransform.h"

#include <algorithm>
#include <vector>

namespace corvane::bench {

FftwTransform::FftwTransform() = default;

FftwTransform::~FftwTransform() {
    for (const Entry& e : Plans) {
        fftw_destroy_plan(e.Plan);
    }
}

fftw_plan FftwTransform::PlanFor(double* re, double* im, std::int32_t n) const {
    for (const Entry& e : Plans) {
        if (e.Re == re && e.Im == im && e.N == n) {
            return e.Plan;
        }
    }
    // Measuring overwrites the arrays: keep their content.
    const std::vector<double> keepRe(re, re + n), keepIm(im, im + n);
    fftw_iodim dim{n, 1, 1};
    fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, re, im, FFTW_MEASURE);
    std::copy(keepRe.begin(), keepRe.end(), re);
    std::copy(keepIm.begin(), keepIm.end(), im);
    Plans.push_back({re, im, n, plan});
    return plan;
}

void FftwTransform::Forward(std::span<double> re, std::span<double> im, std::int32_t n) const {
    fftw_execute_split_dft(PlanFor(re.data(), im.data(), n), re.data(), im.data(), re.data(),
                           im.data());
}

void FftwTransform::Inverse(std::span<double> re, std::span<double> im, std::int32_t n) const {
    const auto count = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < count; ++i) {
        im[i] = -im[i];
    }
    Forward(re, im, n);
    const double length = n;
    for (std::size_t i = 0; i < count; ++i) {
        im[i] = im[i] / length;
        re[i] = re[i] / length;
    }
}

} // namespace corvane::bench
