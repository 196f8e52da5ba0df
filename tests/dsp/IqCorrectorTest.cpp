// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The blind I/Q correction against a front end simulated here: stations with known frequencies,
// a gain and phase error on the left channel, DC on both, 16-bit samples. Image rejection is
// measured the way a receiver hears it: the correlation of the corrected complex signal with
// the station's frequency and with its mirror, over the last second (a whole number of cycles
// of every station, so the two do not leak into each other).
#include "IqCorrector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace corvane::test {
namespace {

constexpr double Rate = 48000.0;
constexpr std::size_t Block = 2048;

struct Station {
    double Hz;
    double Amplitude;
};

// Gain (dB) and phase (degrees) of the left channel against the right one, as functions of the
// time in seconds, and each channel's DC in LSB.
struct FrontEnd {
    double GainDb0 = 0.0, GainDb1 = 0.0; // from, to over the recording
    double PhaseDeg0 = 0.0, PhaseDeg1 = 0.0;
    double DcLeft = 0.0, DcRight = 0.0;
    double SkewSamples = 0.0; // the left channel sampled this late (a fractional delay)
    double SlopeDb = 0.0;     // and its gain falling by this much more from 0 Hz to 24 kHz
};

// Interleaved (left, right) frames of `seconds` of the stations through the front end, with
// noise of `noise` LSB rms in each part; right = Re, left = Im of the complex signal.
std::vector<std::int16_t> Record(const std::vector<Station>& stations, const FrontEnd& fe,
                                 double seconds, double noise = 20.0) {
    const auto frames = static_cast<std::size_t>(seconds * Rate);
    std::vector<std::int16_t> out(2 * frames);
    std::mt19937 random(7);
    std::normal_distribution<double> hiss(0.0, noise);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / Rate;
        const double share = t / seconds;
        const double g = std::pow(10.0, (fe.GainDb0 + (fe.GainDb1 - fe.GainDb0) * share) / 20.0);
        const double phi =
            (fe.PhaseDeg0 + (fe.PhaseDeg1 - fe.PhaseDeg0) * share) * std::numbers::pi / 180.0;
        double re = hiss(random);
        double im = hiss(random);
        double left = g * (im * std::cos(phi) + re * std::sin(phi)) + fe.DcLeft;
        for (const Station& s : stations) {
            const double w = 2.0 * std::numbers::pi * s.Hz * t;
            re += s.Amplitude * std::cos(w);
            // The left channel's own filter acts alike on +f and -f: a real one.
            const double late = w - 2.0 * std::numbers::pi * s.Hz * fe.SkewSamples / Rate;
            const double tilt = std::pow(10.0, -fe.SlopeDb * std::abs(s.Hz) / 24000.0 / 20.0);
            left += g * tilt * s.Amplitude * std::sin(late + phi);
        }
        const double right = re + fe.DcRight;
        out[2 * n] = static_cast<std::int16_t>(std::clamp(std::nearbyint(left), -32768.0, 32767.0));
        out[2 * n + 1] =
            static_cast<std::int16_t>(std::clamp(std::nearbyint(right), -32768.0, 32767.0));
    }
    return out;
}

// Runs the recording through a corrector block by block, as the receiver does.
std::vector<std::int16_t> Corrected(std::vector<std::int16_t> frames, IqCorrector& corrector) {
    for (std::size_t at = 0; at < frames.size(); at += 2 * Block) {
        const std::size_t n = std::min(2 * Block, frames.size() - at);
        corrector.Correct(std::span<std::int16_t>(frames).subspan(at, n));
    }
    return frames;
}

// How far below the station (dB) its mirror is, over the last second.
double ImageRejectionDb(const std::vector<std::int16_t>& frames, double hz) {
    const std::size_t total = frames.size() / 2;
    const auto window = static_cast<std::size_t>(Rate);
    std::complex<double> wanted = 0.0;
    std::complex<double> image = 0.0;
    for (std::size_t n = total - window; n < total; ++n) {
        const std::complex<double> x(frames[2 * n + 1], frames[2 * n]);
        const double w = 2.0 * std::numbers::pi * hz * static_cast<double>(n) / Rate;
        wanted += x * std::polar(1.0, -w);
        image += x * std::polar(1.0, w);
    }
    return 20.0 * std::log10(std::abs(wanted) / std::abs(image));
}

const std::vector<Station> Band{{1500.0, 3000.0}, {-7000.0, 1000.0}, {21000.0, 800.0}};

// Both signs of gain and phase error, small and large, with DC: the mirror of every station
// falls from about 30 dB (or 20 dB for the large errors) to beyond 70 dB, and the DC is found.
TEST(IqCorrector, RemovesSteadyImbalanceOfEitherSignAndTheDc) {
    const FrontEnd cases[] = {
        {0.5, 0.5, 2.0, 2.0, 60.0, -40.0},   {-0.5, -0.5, -2.0, -2.0, -25.0, 35.0},
        {0.5, 0.5, -2.0, -2.0, 0.0, 0.0},    {1.0, 1.0, 5.0, 5.0, 60.0, -40.0},
        {-1.0, -1.0, -5.0, -5.0, 60.0, 0.0},
    };
    for (const FrontEnd& fe : cases) {
        SCOPED_TRACE(::testing::Message() << fe.GainDb0 << " dB, " << fe.PhaseDeg0 << " deg");
        const std::vector<std::int16_t> raw = Record(Band, fe, 5.0);
        EXPECT_LT(ImageRejectionDb(raw, 1500.0), 36.0) << "the front end is not imbalanced";
        IqCorrector corrector;
        const std::vector<std::int16_t> out = Corrected(raw, corrector);
        for (const Station& s : Band) {
            EXPECT_GT(ImageRejectionDb(out, s.Hz), 70.0) << s.Hz << " Hz";
        }
        // What is left of the DC: under 0.3 LSB, so a spike of 60 LSB at 0 Hz falls by more
        // than 46 dB.
        EXPECT_NEAR(corrector.DcLeft(), fe.DcLeft, 0.3);
        EXPECT_NEAR(corrector.DcRight(), fe.DcRight, 0.3);
        EXPECT_NEAR(20.0 * std::log10(corrector.Gain()), fe.GainDb0, 0.01);
        EXPECT_NEAR(corrector.Phase() * 180.0 / std::numbers::pi, fe.PhaseDeg0, 0.02);
    }
}

// Settles within a few seconds: after 3 s the mirror is already 60 dB down.
TEST(IqCorrector, SettlesWithinSeconds) {
    const std::vector<std::int16_t> raw = Record(Band, {1.0, 1.0, 5.0, 5.0, 60.0, -40.0}, 3.0);
    IqCorrector corrector;
    EXPECT_GT(ImageRejectionDb(Corrected(raw, corrector), 1500.0), 60.0);
}

// A front end drifting by 0.4 dB and 1 degree over 20 s is followed: 60 dB at the end.
TEST(IqCorrector, FollowsADrift) {
    const std::vector<std::int16_t> raw = Record(Band, {-0.2, 0.2, -0.5, 0.5, 60.0, -40.0}, 20.0);
    IqCorrector corrector;
    const std::vector<std::int16_t> out = Corrected(raw, corrector);
    EXPECT_GT(ImageRejectionDb(out, 1500.0), 60.0);
    EXPECT_GT(ImageRejectionDb(out, -7000.0), 60.0);
}

// A balanced front end stays balanced: what the correction itself leaves of a mirror is far
// below what the receiver's own filters let through (85 dB). Little noise, so that the
// measurement's own floor (about 95 dB for the weakest station) stays below that.
TEST(IqCorrector, LeavesABalancedFrontEndAlone) {
    const std::vector<std::int16_t> raw = Record(Band, {}, 5.0, 2.0);
    IqCorrector corrector;
    const std::vector<std::int16_t> out = Corrected(raw, corrector);
    for (const Station& s : Band) {
        EXPECT_GT(ImageRejectionDb(out, s.Hz), 85.0) << s.Hz << " Hz";
    }
    EXPECT_NEAR(corrector.Gain(), 1.0, 1e-3);
    EXPECT_NEAR(corrector.Phase(), 0.0, 1e-3);
}

// One station close to 0 Hz alone (the hardest case for the averages) and a strong one near
// full scale are handled too; silence passes through as silence and does not upset the
// estimates.
TEST(IqCorrector, NearZeroStrongSignalsAndSilence) {
    const FrontEnd fe{0.5, 0.5, 2.0, 2.0, 60.0, -40.0};
    IqCorrector nearZero;
    EXPECT_GT(ImageRejectionDb(Corrected(Record({{300.0, 3000.0}}, fe, 5.0), nearZero), 300.0),
              60.0);
    IqCorrector strong;
    EXPECT_GT(ImageRejectionDb(Corrected(Record({{-2500.0, 28000.0}}, fe, 5.0), strong), -2500.0),
              60.0);

    IqCorrector quiet;
    std::vector<std::int16_t> silence(2 * Block, 0);
    quiet.Correct(silence);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](std::int16_t v) { return v == 0; }));
    EXPECT_EQ(quiet.Gain(), 1.0);
    EXPECT_EQ(quiet.Phase(), 0.0);
}

// Front ends whose error changes across the band: the left channel sampled a fraction of a
// sample late and its filter falling off faster, with a gain and phase error, every sign. One
// gain and phase for the whole band leaves the mirrors 10 to 35 dB down; the correction puts
// every one beyond 65 dB within seconds, on both halves of the band and near its edge.
TEST(IqCorrector, RemovesAnImbalanceThatChangesAcrossTheBand) {
    const std::vector<Station> spread{
        {1000.0, 2000.0}, {-6000.0, 2000.0}, {12000.0, 2000.0}, {-20000.0, 2000.0}};
    FrontEnd cases[] = {{0.5, 0.5, 2.0, 2.0}, {-0.5, -0.5, -2.0, -2.0}, {0.5, 0.5, -2.0, -2.0}};
    cases[0].SkewSamples = 0.25;
    cases[0].SlopeDb = 0.3;
    cases[1].SkewSamples = -0.25;
    cases[1].SlopeDb = -0.3;
    cases[2].SkewSamples = 0.1;
    cases[2].SlopeDb = 0.3;
    cases[2].DcLeft = 60.0;
    cases[2].DcRight = -40.0;
    for (const FrontEnd& fe : cases) {
        SCOPED_TRACE(::testing::Message() << fe.SkewSamples << " sample, " << fe.SlopeDb << " dB");
        const std::vector<std::int16_t> raw = Record(spread, fe, 5.0, 2.0);
        EXPECT_LT(ImageRejectionDb(raw, -20000.0), 30.0) << "the front end is not imbalanced";
        IqCorrector corrector;
        const std::vector<std::int16_t> out = Corrected(raw, corrector);
        for (const Station& s : spread) {
            EXPECT_GT(ImageRejectionDb(out, s.Hz), 65.0) << s.Hz << " Hz";
        }
    }
}

// What the correction does to a balanced, noiseless station is little more than the delay: the
// output is the input Reach frames later, to within what the first stage's averages wobble on a
// single tone (under 0.15 % of it; a frame off would be 40 % of it).
TEST(IqCorrector, PassesABalancedStationThroughReachFramesLate) {
    const std::vector<std::int16_t> raw = Record({{3100.0, 9000.0}}, {}, 3.0, 0.0);
    IqCorrector corrector;
    const std::vector<std::int16_t> out = Corrected(raw, corrector);
    const std::size_t late = IqCorrector::Reach;
    int worst = 0;
    for (std::size_t n = 48000; n < raw.size() / 2; ++n) {
        for (std::size_t c = 0; c < 2; ++c) {
            worst = std::max(worst, std::abs(out[2 * n + c] - raw[2 * (n - late) + c]));
        }
    }
    EXPECT_LE(worst, 12);
}

// Silence leaves what was learnt alone: the image coefficients stay (to the last steps of their
// own settling, a millionth), and when the band comes back its mirrors are as far down at once.
TEST(IqCorrector, HoldsTheEstimateThroughSilence) {
    const std::vector<Station> band{{2500.0, 2000.0}, {-15000.0, 2000.0}};
    FrontEnd fe{0.5, 0.5, 2.0, 2.0};
    fe.SkewSamples = 0.1;
    const std::vector<std::int16_t> raw = Record(band, fe, 5.0, 2.0);
    IqCorrector corrector;
    Corrected(raw, corrector);
    const std::complex<double> before = corrector.ImageCoefficient(15000.0);
    EXPECT_GT(std::abs(before), 0.01) << "nothing was learnt";
    std::vector<std::int16_t> silence(2 * 48000, 0);
    Corrected(silence, corrector);
    EXPECT_LT(std::abs(corrector.ImageCoefficient(15000.0) - before), 1e-5);
    const std::vector<std::int16_t> again = Corrected(Record(band, fe, 1.2, 2.0), corrector);
    EXPECT_GT(ImageRejectionDb(again, 2500.0), 65.0);
    EXPECT_GT(ImageRejectionDb(again, -15000.0), 65.0);
}

// A band of noise alone, nothing to lock on: the noise keeps its power and the coefficients
// stay small, so a station that then appears is not given an image.
TEST(IqCorrector, ANoiseOnlyBandDoesNoHarm) {
    const std::vector<std::int16_t> raw = Record({}, {}, 4.0, 50.0);
    IqCorrector corrector;
    const std::vector<std::int16_t> out = Corrected(raw, corrector);
    double in = 0.0;
    double put = 0.0;
    for (std::size_t i = raw.size() / 2; i < raw.size(); ++i) {
        in += static_cast<double>(raw[i]) * raw[i];
        put += static_cast<double>(out[i]) * out[i];
    }
    EXPECT_NEAR(10.0 * std::log10(put / in), 0.0, 0.2);
    double largest = 0.0;
    for (double hz = -23000.0; hz <= 23000.0; hz += 250.0) {
        largest = std::max(largest, std::abs(corrector.ImageCoefficient(hz)));
    }
    EXPECT_LT(largest, 0.1);
    const std::vector<std::int16_t> later =
        Corrected(Record({{-4000.0, 1000.0}}, {}, 2.0, 50.0), corrector);
    EXPECT_GT(ImageRejectionDb(later, -4000.0), 50.0);
}

} // namespace
} // namespace corvane::test
