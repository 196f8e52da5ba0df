// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "IqCorrector.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace corvane {

namespace {

// A phase error beyond 30 degrees is no front end's: the estimate is held there.
constexpr double MaxSinPhase = 0.5;

std::int16_t ToSample(double v) {
    return static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
}

} // namespace

void IqCorrector::Reset() {
    *this = IqCorrector{};
}

double IqCorrector::Gain() const {
    return PowerLeft_ > 0.0 && PowerRight_ > 0.0 ? std::sqrt(PowerLeft_ / PowerRight_) : 1.0;
}

double IqCorrector::Phase() const {
    if (PowerLeft_ <= 0.0 || PowerRight_ <= 0.0) {
        return 0.0;
    }
    return std::asin(
        std::clamp(Cross_ / std::sqrt(PowerLeft_ * PowerRight_), -MaxSinPhase, MaxSinPhase));
}

void IqCorrector::Correct(std::span<std::int16_t> frames) {
    const std::size_t count = frames.size() / 2;
    if (count == 0) {
        return;
    }
    const double n = static_cast<double>(count);

    // DC first: the block's means, followed slowly.
    double sumLeft = 0.0;
    double sumRight = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        sumLeft += frames[2 * j];
        sumRight += frames[2 * j + 1];
    }
    const double dcStep = Primed_ ? 1.0 - std::exp(-n / (DcSeconds * SampleRate)) : 1.0;
    DcLeft_ += dcStep * (sumLeft / n - DcLeft_);
    DcRight_ += dcStep * (sumRight / n - DcRight_);

    // Then the second moments without DC.
    double ll = 0.0;
    double rr = 0.0;
    double lr = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        const double l = frames[2 * j] - DcLeft_;
        const double r = frames[2 * j + 1] - DcRight_;
        ll += l * l;
        rr += r * r;
        lr += l * r;
    }
    // Two averages in a row, each over half the time: a drift is followed with the same lag
    // as by one, and what one block's moments wobble (a station's own beat at twice its
    // frequency) is damped twice over.
    const double step = Primed_ ? 1.0 - std::exp(-n / (0.5 * MomentSeconds * SampleRate)) : 1.0;
    RawLeft_ += step * (ll / n - RawLeft_);
    RawRight_ += step * (rr / n - RawRight_);
    RawCross_ += step * (lr / n - RawCross_);
    PowerLeft_ += step * (RawLeft_ - PowerLeft_);
    PowerRight_ += step * (RawRight_ - PowerRight_);
    Cross_ += step * (RawCross_ - Cross_);
    Primed_ = true;

    // l' = a l + b r: a = 1 / (g cos(phi)), b = -tan(phi). Silence leaves the balance alone.
    double a = 1.0;
    double b = 0.0;
    if (PowerLeft_ > 0.0 && PowerRight_ > 0.0) {
        const double s =
            std::clamp(Cross_ / std::sqrt(PowerLeft_ * PowerRight_), -MaxSinPhase, MaxSinPhase);
        const double c = std::sqrt(1.0 - s * s);
        a = 1.0 / (std::sqrt(PowerLeft_ / PowerRight_) * c);
        b = -s / c;
    }
    for (std::size_t j = 0; j < count; ++j) {
        const double r = frames[2 * j + 1] - DcRight_;
        const double l = frames[2 * j] - DcLeft_;
        frames[2 * j] = ToSample(a * l + b * r);
        frames[2 * j + 1] = ToSample(r);
    }
}

} // namespace corvane
