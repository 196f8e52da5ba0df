// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The fast-convolution stages against direct convolution, and the AGC's gain rules.
#include "ModDsp.h"
#include "RxDsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace corvane::test {
namespace {

constexpr std::size_t Block = 2048;

struct Stages {
    ReceiverSettings settings;
    NullDisplaySink displays;
    std::unique_ptr<modDSP> dsp = std::make_unique<modDSP>(settings, displays);
    std::vector<double> taps = std::vector<double>(4097, 0.0);

    // Designs every stage for the same band so the oracle needs one set of taps.
    Stages(std::int32_t lowHz, std::int32_t highHz) {
        for (std::int32_t index = 0; index < 3; ++index) {
            dsp->DesignFilter(index, lowHz, highHz);
        }
        rxDSP::DesignBandPass(lowHz / 48000.0, highHz / 48000.0, taps, 2048);
    }
    void Run(int stage, ChainArray& re, ChainArray& im) {
        if (stage == 0) {
            dsp->ChannelFilter(re, im);
        } else if (stage == 1) {
            dsp->IFFilter(re, im);
        } else {
            dsp->AudioFilter(re, im);
        }
    }
};

// One block of a complex tone at hz (positive frequency) with amplitude amp, from sample start.
void Tone(ChainArray& re, ChainArray& im, double hz, double amp, std::size_t start) {
    for (std::size_t j = 0; j < Block; ++j) {
        const double p = 2 * std::numbers::pi * hz * static_cast<double>(start + j) / 48000;
        re[j] = amp * std::cos(p);
        im[j] = amp * std::sin(p);
    }
}

double PeakMagnitude(const ChainArray& re, const ChainArray& im) {
    double peak = 0.0;
    for (std::size_t j = 0; j < Block; ++j) {
        peak = std::max(peak, std::hypot(re[j], im[j]));
    }
    return peak;
}

TEST(FastConvolution, ImpulseGivesTheTapsAcrossTwoBlocks) {
    for (int stage = 0; stage < 3; ++stage) {
        Stages s(3000, 5000);
        ChainArray re{}, im{};
        re[0] = 1.0; // real impulse
        im[1] = 1.0; // imaginary impulse one sample later
        s.Run(stage, re, im);
        for (std::size_t i = 0; i < Block; ++i) {
            ASSERT_NEAR(re[i], s.taps[i], 1e-10) << "stage " << stage << " sample " << i;
            const double imagTap = i >= 1 ? s.taps[i - 1] : 0.0;
            ASSERT_NEAR(im[i], -imagTap, 1e-10) << "imaginary output is negated";
        }
        re.fill(0.0);
        im.fill(0.0);
        s.Run(stage, re, im);
        EXPECT_NEAR(re[0], s.taps[2048], 1e-10);
        EXPECT_NEAR(im[1], -s.taps[2048], 1e-10);
        for (std::size_t i = 1; i < Block; ++i) {
            ASSERT_NEAR(re[i], 0.0, 1e-10);
        }
    }
}

TEST(FastConvolution, BlockwiseOutputEqualsOneLongConvolution) {
    constexpr std::size_t blocks = 3;
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> dist(-20000.0, 20000.0);
    std::vector<std::complex<double>> x(blocks * Block);
    for (auto& v : x) {
        v = {dist(rng), dist(rng)};
    }
    for (int stage = 0; stage < 3; ++stage) {
        Stages s(1, 2700);
        // Oracle: direct linear convolution in long double, imaginary part negated.
        std::vector<std::complex<long double>> y(x.size());
        for (std::size_t n = 0; n < x.size(); ++n) {
            std::complex<long double> acc = 0;
            for (std::size_t k = 0; k <= 2048 && k <= n; ++k) {
                acc += static_cast<long double>(s.taps[k]) * std::complex<long double>(x[n - k]);
            }
            y[n] = std::conj(acc);
        }
        for (std::size_t b = 0; b < blocks; ++b) {
            ChainArray re{}, im{};
            for (std::size_t j = 0; j < Block; ++j) {
                re[j] = x[b * Block + j].real();
                im[j] = x[b * Block + j].imag();
            }
            s.Run(stage, re, im);
            for (std::size_t j = 0; j < Block; ++j) {
                ASSERT_NEAR(re[j], static_cast<double>(y[b * Block + j].real()), 1e-6)
                    << "stage " << stage << " block " << b << " sample " << j;
                ASSERT_NEAR(im[j], static_cast<double>(y[b * Block + j].imag()), 1e-6);
            }
        }
    }
}

// Channel filter with the AGC beside the same filter without it, on the same input.
struct AgcPair {
    Stages agc{200, 700};
    Stages plain{200, 700};
    ChainArray re{}, im{}, refRe{}, refIm{};
    std::size_t sample = 0;

    AgcPair() {
        agc.dsp->AgcOn = -1;
        agc.dsp->AgcLength = 4;
        agc.dsp->MaxGain = 1000;
    }
    void Step(double amp) {
        Tone(re, im, 450.0, amp, sample);
        refRe = re;
        refIm = im;
        sample += Block;
        agc.dsp->ChannelFilter(re, im);
        plain.dsp->ChannelFilter(refRe, refIm);
    }
};

TEST(Agc, StartsSilentThenRampsUpFromZero) {
    AgcPair p;
    double lowestCandidate = 1e300;
    for (int b = 0; b < 3; ++b) {
        p.Step(100.0);
        lowestCandidate = std::min(lowestCandidate, 16384 / p.plain.dsp->AgcPeak);
        EXPECT_EQ(p.agc.dsp->AgcGain, 0.0) << "slots not yet written hold 0";
        for (std::size_t j = 0; j < Block; ++j) {
            ASSERT_EQ(p.re[j], 0.0);
        }
    }
    p.Step(100.0); // fills slot 0: every slot in use now holds a candidate
    lowestCandidate = std::min(lowestCandidate, 16384 / p.plain.dsp->AgcPeak);
    const double gain = std::min(lowestCandidate, 1000.0);
    EXPECT_EQ(p.agc.dsp->AgcGain, gain);
    const double step = gain / 48;
    for (std::size_t i = 0; i < 48; ++i) {
        ASSERT_EQ(p.re[i], p.refRe[i] * (0.0 + static_cast<double>(i + 1) * step)) << i;
        ASSERT_EQ(p.im[i], p.refIm[i] * (0.0 + static_cast<double>(i + 1) * step)) << i;
    }
    for (std::size_t i = 48; i < Block; ++i) {
        ASSERT_EQ(p.re[i], p.refRe[i] * gain);
    }
}

TEST(Agc, SettlesASteadyCarrierAtFullScaleOrAtTheCeiling) {
    AgcPair strong;
    for (int b = 0; b < 8; ++b) {
        strong.Step(3000.0);
    }
    EXPECT_NEAR(PeakMagnitude(strong.re, strong.im), 16384.0, 16384.0 * 1e-3);

    AgcPair weak; // 16384 / 3 exceeds the ceiling of 1000
    for (int b = 0; b < 8; ++b) {
        weak.Step(3.0);
    }
    EXPECT_EQ(weak.agc.dsp->AgcGain, 1000.0);
    EXPECT_NEAR(PeakMagnitude(weak.re, weak.im), weak.plain.dsp->AgcPeak * 1000.0, 1e-6);
}

TEST(Agc, RampsDownOverTheFirst48Samples) {
    AgcPair p;
    p.agc.dsp->AgcHistory.fill(100.0); // a full history, so only the ceiling decides
    p.agc.dsp->AgcPrevGain = 2.0;
    p.agc.dsp->MaxGain = 1; // the ceiling makes the new gain 1.0
    p.Step(100.0);
    ASSERT_EQ(p.agc.dsp->AgcGain, 1.0);
    for (std::size_t i = 0; i < 48; ++i) {
        ASSERT_EQ(p.re[i], p.refRe[i] * (2.0 - static_cast<double>(i + 1) * (1.0 / 48))) << i;
    }
    EXPECT_EQ(p.re[47], p.refRe[47] * 1.0);
    for (std::size_t i = 48; i < Block; ++i) {
        ASSERT_EQ(p.re[i], p.refRe[i]);
    }
    EXPECT_EQ(p.agc.dsp->AgcPrevGain, 1.0);
}

TEST(Agc, OffPassesTheBlockAndKeepsItsState) {
    AgcPair p;
    for (int b = 0; b < 5; ++b) {
        p.Step(500.0);
    }
    const auto history = p.agc.dsp->AgcHistory;
    const std::int32_t index = p.agc.dsp->AgcIndex;
    const double prev = p.agc.dsp->AgcPrevGain;
    p.agc.dsp->AgcOn = 0;
    p.Step(800.0);
    EXPECT_EQ(p.re, p.refRe);
    EXPECT_EQ(p.im, p.refIm);
    EXPECT_EQ(p.agc.dsp->AgcPeak, p.plain.dsp->AgcPeak); // the peak is still measured
    EXPECT_EQ(p.agc.dsp->AgcHistory, history);
    EXPECT_EQ(p.agc.dsp->AgcIndex, index);
    EXPECT_EQ(p.agc.dsp->AgcPrevGain, prev);
}

TEST(Agc, SilentBlockKeepsHistoryAndUsesUnitGain) {
    AgcPair p;
    for (int b = 0; b < 5; ++b) {
        p.Step(500.0);
    }
    const auto history = p.agc.dsp->AgcHistory;
    // Enough silence for the filter's tail to die out: the peak is then exactly 0.
    p.Step(0.0);
    p.Step(0.0);
    ASSERT_EQ(p.agc.dsp->AgcPeak, 0.0);
    EXPECT_EQ(p.agc.dsp->AgcGain, 1.0);
    EXPECT_EQ(p.agc.dsp->AgcPrevGain, 1.0);
    EXPECT_EQ(p.agc.dsp->AgcHistory[0], history[0]);
}

TEST(Agc, SlowToFastWrapsTheHistoryIndex) {
    AgcPair p;
    p.agc.dsp->AgcLength = 9;
    p.agc.dsp->AgcIndex = 7;
    p.agc.dsp->AgcLength = 4; // fast again: 7 is not below 3, so the next slot is 0
    p.Step(500.0);
    EXPECT_EQ(p.agc.dsp->AgcIndex, 0);

    p.agc.dsp->AgcLength = 99; // beyond the history: used as its 25 slots, never past them
    for (int b = 0; b < 30; ++b) {
        p.Step(500.0);
        ASSERT_LT(p.agc.dsp->AgcIndex, modDSP::AgcSlots);
    }
}

} // namespace
} // namespace corvane::test
