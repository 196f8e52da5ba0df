// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "IqCorrector.h"

#include "Constants.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace corvane {

namespace {

// A phase error beyond 30 degrees is no front end's: the estimate is held there.
constexpr double MaxSinPhase = 0.5;
// Nor is an image coefficient beyond this (an image 6 dB below the wanted signal).
constexpr double MaxImage = 0.5;

constexpr double InverseLength = 1.0 / IqCorrector::Transform; // exact: a power of two

constexpr std::size_t N = IqCorrector::Transform;

// Holds an image coefficient at MaxImage.
void Limit(double& re, double& im) {
    const double size = re * re + im * im;
    if (size > MaxImage * MaxImage) {
        const double scale = MaxImage / std::sqrt(size);
        re *= scale;
        im *= scale;
    }
}

std::size_t Mirror(std::size_t k) {
    return (N - k) & (N - 1);
}

} // namespace

IqCorrector::IqCorrector() : Plan_(Transform) {
    // Raised cosines over the impulse response around 0 (circular). The applied filter's, of
    // +-Reach frames, keeps it within what one transform holds (Reach before and after the Hop
    // frames it corrects); the weighted average's, four times shorter, spreads a station's own
    // W over about 750 Hz around it, wider than what the applied filter then averages over.
    const auto raisedCosine = [](Bins& taper, std::int32_t reach) {
        for (std::int32_t n = 0; n <= reach; ++n) {
            const double t = 0.5 + 0.5 * std::cos(Pi * n / (reach + 1));
            taper[static_cast<std::size_t>(n)] = t;
            taper[Mirror(static_cast<std::size_t>(n))] = t;
        }
    };
    raisedCosine(Taper_, Reach);
    raisedCosine(WeightTaper_, WeightReach);
}

void IqCorrector::Reset() {
    Primed_ = false;
    DcLeft_ = DcRight_ = 0.0;
    RawLeft_ = RawRight_ = RawCross_ = 0.0;
    PowerLeft_ = PowerRight_ = Cross_ = 0.0;
    Learnt_ = false;
    Solved_ = false;
    SinceSolved_ = 0;
    SinceLearnt_ = 0;
    Head_ = 0;
    for (Bins* bins :
         {&HistoryRe_, &HistoryIm_, &Power_, &SolvedRe_, &SolvedIm_, &AppliedRe_, &AppliedIm_}) {
        bins->fill(0.0);
    }
    PairRe_.fill(0.0);
    PairIm_.fill(0.0);
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

std::complex<double> IqCorrector::ImageCoefficient(double hz) const {
    const auto k = static_cast<std::int64_t>(std::lround(hz / SampleRate * Transform));
    const auto bin = static_cast<std::size_t>(k) & (N - 1);
    return {AppliedRe_[bin], AppliedIm_[bin]};
}

void IqCorrector::Correct(std::span<std::int16_t> frames) {
    const std::size_t count = frames.size() / 2;
    if (count == 0) {
        return;
    }
    const double n = static_cast<double>(count);

    // DC first: the block's means, followed slowly. Then the second moments without DC, from
    // the same sums: whole numbers, added exactly (and so in any order, on vectors).
    std::int64_t sumLeft = 0;
    std::int64_t sumRight = 0;
    std::int64_t sumLl = 0;
    std::int64_t sumRr = 0;
    std::int64_t sumLr = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const std::int64_t l = frames[2 * j];
        const std::int64_t r = frames[2 * j + 1];
        sumLeft += l;
        sumRight += r;
        sumLl += l * l;
        sumRr += r * r;
        sumLr += l * r;
    }
    const double dcStep = Primed_ ? 1.0 - std::exp(-n / (DcSeconds * SampleRate)) : 1.0;
    const auto sl = static_cast<double>(sumLeft);
    const auto sr = static_cast<double>(sumRight);
    DcLeft_ += dcStep * (sl / n - DcLeft_);
    DcRight_ += dcStep * (sr / n - DcRight_);
    // sum((l - dl)^2) = sum(l^2) - 2 dl sum(l) + n dl^2, and alike.
    const double ll = static_cast<double>(sumLl) - DcLeft_ * (2.0 * sl - n * DcLeft_);
    const double rr = static_cast<double>(sumRr) - DcRight_ * (2.0 * sr - n * DcRight_);
    const double lr =
        static_cast<double>(sumLr) - DcLeft_ * sr - DcRight_ * sl + n * DcLeft_ * DcRight_;
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

    // The second stage, Hop frames at a time: each part joins the history, is learnt from, and
    // is replaced by the filtered history Reach frames back.
    for (std::size_t first = 0; first < count; first += Hop) {
        const std::size_t part = std::min<std::size_t>(Hop, count - first);
        // Into the ring at its head, in at most two runs (the part may wrap around).
        const auto join = [&](std::size_t from, std::size_t at, std::size_t length) {
            const double dcRight = DcRight_;
            const double dcLeft = DcLeft_;
            for (std::size_t j = 0; j < length; ++j) {
                const double r = frames[2 * (from + j) + 1] - dcRight;
                const double l = frames[2 * (from + j)] - dcLeft;
                HistoryRe_[at + j] = r;
                HistoryIm_[at + j] = a * l + b * r;
            }
        };
        const std::size_t run = std::min(part, N - Head_);
        join(first, Head_, run);
        join(first + run, 0, part - run);
        Head_ = (Head_ + part) & (N - 1);
        // The history in time order, oldest first, is the ring from its head on.
        const auto head = static_cast<std::ptrdiff_t>(Head_);
        std::copy(HistoryRe_.begin() + head, HistoryRe_.end(), SpecRe_.begin());
        std::copy(HistoryRe_.begin(), HistoryRe_.begin() + head, SpecRe_.end() - head);
        std::copy(HistoryIm_.begin() + head, HistoryIm_.end(), SpecIm_.begin());
        std::copy(HistoryIm_.begin(), HistoryIm_.begin() + head, SpecIm_.end() - head);
        rxDSP::FFT(SpecRe_, SpecIm_, Transform, Plan_);
        // The moments from one transform every other block are enough: they are averaged
        // over many.
        SinceLearnt_ += part;
        if (first + part == count && (SinceLearnt_ >= LearnFrames || !Learnt_)) {
            Learn(static_cast<double>(SinceLearnt_));
            SinceLearnt_ = 0;
        }
        Filter(frames, first, part);
    }
    // W follows the moments, which move over half a second: solving for it every few blocks
    // is enough, and costs an eighth.
    SinceSolved_ += count;
    if (SinceSolved_ >= SolveFrames || !Solved_) {
        Solve();
        SinceSolved_ = 0;
        Solved_ = true;
    }
}

// The moments of the bins, from the latest transform with a Hann window (three bins'
// weighted sum, the window's own transform), averaged over MomentSeconds.
void IqCorrector::Learn(double frames) {
    const double step = Learnt_ ? 1.0 - std::exp(-frames / (MomentSeconds * SampleRate)) : 1.0;
    Learnt_ = true;
    const auto hann = [this](std::size_t k, std::size_t below, std::size_t above) {
        WorkRe_[k] = 0.5 * SpecRe_[k] - 0.25 * (SpecRe_[below] + SpecRe_[above]);
        WorkIm_[k] = 0.5 * SpecIm_[k] - 0.25 * (SpecIm_[below] + SpecIm_[above]);
    };
    hann(0, N - 1, 1);
    for (std::size_t k = 1; k < N - 1; ++k) {
        hann(k, k - 1, k + 1);
    }
    hann(N - 1, N - 2, 0);
    for (std::size_t k = 0; k < N; ++k) {
        const double p = WorkRe_[k] * WorkRe_[k] + WorkIm_[k] * WorkIm_[k];
        Power_[k] += step * (p - Power_[k]);
    }
    const auto pair = [this, step](std::size_t k, std::size_t m) {
        const double re = WorkRe_[k] * WorkRe_[m] - WorkIm_[k] * WorkIm_[m];
        const double im = WorkRe_[k] * WorkIm_[m] + WorkIm_[k] * WorkRe_[m];
        PairRe_[k] += step * (re - PairRe_[k]);
        PairIm_[k] += step * (im - PairIm_[k]);
    };
    for (std::size_t k = 1; k < N / 2; ++k) { // bin 0 is its own mirror: nothing to pair
        pair(k, N - k);
    }
}

// Z'(k) = Z(k) + W(k) conj(Z(-k)) over the whole history; the newest `count` frames that the
// circular transform gets right (Reach frames from either end) go back as 16-bit samples.
void IqCorrector::Filter(std::span<std::int16_t> frames, std::size_t first, std::size_t count) {
    // Conjugated: the forward transform of the conjugate is the conjugate of the inverse.
    Plan_.WidelyLinear(SpecRe_, SpecIm_, AppliedRe_, AppliedIm_, WorkRe_, WorkIm_, Transform);
    rxDSP::FFT(WorkRe_, WorkIm_, Transform, Plan_);
    const std::size_t from = N - count - Reach;
    const std::span<double> right = std::span(WorkRe_).subspan(from, count);
    const std::span<double> left = std::span(WorkIm_).subspan(from, count);
    Plan_.Rounded16(right, InverseLength, right);
    Plan_.Rounded16(left, -InverseLength, left);
    for (std::size_t j = 0; j < count; ++j) {
        frames[2 * (first + j)] = static_cast<std::int16_t>(left[j]);
        frames[2 * (first + j) + 1] = static_cast<std::int16_t>(right[j]);
    }
}

// One Newton step per bin pair towards E[Z'(k) Z'(-k)] = 0 on the averaged moments, the
// smallest change that gets there: a station at +f with only noise at -f moves W(-f), the
// coefficient that puts its image there. Then the smoothing.
void IqCorrector::Solve() {
    if (!Learnt_) {
        return;
    }
    // In real arithmetic: std::complex's operators guard against infinities at a cost that
    // here would be most of the work.
    for (std::size_t k = 1; k < N / 2; ++k) {
        const std::size_t m = Mirror(k);
        const double pk = Power_[k];
        const double pm = Power_[m];
        const double cr = PairRe_[k];
        const double ci = PairIm_[k];
        double kr = SolvedRe_[k];
        double ki = SolvedIm_[k];
        double mr = SolvedRe_[m];
        double mi = SolvedIm_[m];
        // The moments after the filter as it stands: E|Z'(k)|^2, E|Z'(-k)|^2, E[Z'(k) Z'(-k)].
        const double yk = pk + (kr * kr + ki * ki) * pm + 2.0 * (kr * cr + ki * ci);
        const double ym = pm + (mr * mr + mi * mi) * pk + 2.0 * (mr * cr + mi * ci);
        const double wwr = kr * mr - ki * mi; // W(k) W(-k), times conj(c) below
        const double wwi = kr * mi + ki * mr;
        const double yr = cr + mr * pk + kr * pm + (wwr * cr + wwi * ci);
        const double yi = ci + mi * pk + ki * pm + (wwi * cr - wwr * ci);
        const double d = yk * yk + ym * ym;
        if (!(d > 0.0)) {
            continue; // silence: nothing to learn
        }
        kr -= yr * (ym / d);
        ki -= yi * (ym / d);
        mr -= yr * (yk / d);
        mi -= yi * (yk / d);
        Limit(kr, ki);
        Limit(mr, mi);
        SolvedRe_[k] = kr;
        SolvedIm_[k] = ki;
        SolvedRe_[m] = mr;
        SolvedIm_[m] = mi;
    }
    // The smoothing: W weighted by the power it takes its image from, so that where a station
    // is, its own well-found W rules the neighbouring bins rather than the noise's guesses.
    for (std::size_t k = 0; k < N; ++k) {
        const double weight = Power_[Mirror(k)];
        WorkRe_[k] = weight * SolvedRe_[k];
        WorkIm_[k] = weight * SolvedIm_[k];
        SpecRe_[k] = weight;
        SpecIm_[k] = 0.0;
    }
    Smooth(WorkRe_, WorkIm_, WeightTaper_);
    Smooth(SpecRe_, SpecIm_, WeightTaper_);
    for (std::size_t k = 0; k < N; ++k) {
        const double weight = SpecRe_[k];
        double wr = weight > 0.0 ? WorkRe_[k] / weight : 0.0;
        double wi = weight > 0.0 ? WorkIm_[k] / weight : 0.0;
        Limit(wr, wi); // a weight that the average's side lobes nearly cancel
        AppliedRe_[k] = wr;
        AppliedIm_[k] = wi;
    }
    // The ratio is smooth but not short: cut it to what the transform holds, or the filter
    // would wrap around and spread a station's image over the bins near its mirror.
    Smooth(AppliedRe_, AppliedIm_, Taper_);
}

// Bins convolved with the taper's transform: the impulse response cut to +-Reach frames.
void IqCorrector::Smooth(Bins& re, Bins& im, const Bins& taper) const {
    // The inverse as the conjugate of the forward transform of the conjugate.
    for (std::size_t n = 0; n < N; ++n) {
        im[n] = -im[n];
    }
    rxDSP::FFT(re, im, Transform, Plan_);
    for (std::size_t n = 0; n < N; ++n) {
        re[n] *= taper[n] * InverseLength;
        im[n] *= -taper[n] * InverseLength;
    }
    rxDSP::FFT(re, im, Transform, Plan_);
}

} // namespace corvane
