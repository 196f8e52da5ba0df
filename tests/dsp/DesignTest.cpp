// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Filter design, analysis windows, oscillator setup and the tuning arithmetic.
#include "ModDsp.h"
#include "RxDsp.h"
#include "TuningModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <numeric>
#include <vector>

namespace corvane::test {
namespace {

struct Dsp {
    ReceiverSettings settings;
    NullDisplaySink displays;
    std::unique_ptr<modDSP> dsp = std::make_unique<modDSP>(settings, displays);
};

// Amplitude response of real taps at a frequency (Hz), evaluated directly.
double Response(const std::vector<double>& taps, double hz) {
    std::complex<double> sum = 0;
    for (std::size_t k = 0; k < taps.size(); ++k) {
        sum +=
            taps[k] * std::polar(1.0, -2 * std::numbers::pi * hz / 48000 * static_cast<double>(k));
    }
    return std::abs(sum);
}

TEST(AnalysisWindow, ShapesSymmetryAndGain) {
    Dsp d;
    d.dsp->MakeWindow(1, 2048);
    EXPECT_EQ(d.dsp->WindowGain, 2.8);
    EXPECT_NEAR(d.dsp->Window[0], 6.0e-5, 1e-9);
    EXPECT_NEAR(d.dsp->Window[1023], 0.9999945, 1e-7);
    EXPECT_NEAR(d.dsp->Window[512], 0.21747, 1e-5);
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(d.dsp->Window[i], d.dsp->Window[2047 - i]) << i;
    }

    d.dsp->MakeWindow(2, 2048);
    EXPECT_EQ(d.dsp->WindowGain, 2.0);
    EXPECT_EQ(d.dsp->Window[0], 0.0);
    EXPECT_EQ(d.dsp->Window[2047], 0.0);
    EXPECT_EQ(d.dsp->Window[1], d.dsp->Window[2046]);
    EXPECT_NEAR(d.dsp->Window[1024], 0.9999976, 1e-7);
    EXPECT_EQ(d.dsp->Window[1023], d.dsp->Window[1024]);

    d.dsp->MakeWindow(0, 2048);
    EXPECT_EQ(d.dsp->WindowGain, 1.0);
    for (std::size_t i = 0; i < 2048; ++i) {
        ASSERT_EQ(d.dsp->Window[i], 1.0);
    }

    // An unknown kind keeps the first half and the gain and only mirrors.
    d.dsp->MakeWindow(1, 2048);
    const ChainArray before = d.dsp->Window;
    d.dsp->MakeWindow(7, 2048);
    EXPECT_EQ(d.dsp->Window, before);
    EXPECT_EQ(d.dsp->WindowGain, 2.8);
}

TEST(BandPassDesign, SymmetricTapsAndEdgeCases) {
    std::vector<double> h(4097, 7.0);
    rxDSP::DesignBandPass(1000 / 48000.0, 2000 / 48000.0, h, 2048);
    for (std::size_t k = 1; k <= 1024; ++k) {
        ASSERT_EQ(h[1024 - k], h[1024 + k]) << k;
    }
    EXPECT_EQ(h[2049], 7.0); // beyond the order nothing is touched
    EXPECT_EQ(h[1024], 2 * ((2000 / 48000.0 - 1000 / 48000.0) * 3.1415926536) / 3.1415926536);

    // The outermost taps carry the window's end weight 0.00006.
    const double s = (1000 / 48000.0 + 2000 / 48000.0) * 3.1415926536;
    const double d = (2000 / 48000.0 - 1000 / 48000.0) * 3.1415926536;
    const double ideal = std::cos(1024 * s) * 2 * std::sin(1024 * d) / (1024 * 3.1415926536);
    EXPECT_NEAR(h[0] / ideal, 0.35875 - 0.48829 + 0.14128 - 0.01168, 1e-9);

    std::vector<double> zero(2049, 1.0);
    rxDSP::DesignBandPass(0.1, 0.1, zero, 2048);
    for (double v : zero) {
        ASSERT_EQ(v, 0.0);
    }

    std::vector<double> untouched(2049, 3.0);
    rxDSP::DesignBandPass(0.1, 0.2, untouched, 2047); // odd order
    rxDSP::DesignBandPass(0.1, 0.2, untouched, 4096); // array too short
    rxDSP::DesignBandPass(0.1, 0.2, std::span(untouched).first(10), 2048);
    for (double v : untouched) {
        ASSERT_EQ(v, 3.0);
    }
}

TEST(BandPassDesign, PassesItsBandAndRejectsTheRest) {
    std::vector<double> h(2049, 0.0);
    rxDSP::DesignBandPass(17990 / 48000.0, 18510 / 48000.0, h, 2048);
    EXPECT_NEAR(Response(h, 18250), 1.0, 0.01);  // middle of the band
    EXPECT_NEAR(Response(h, -18250), 1.0, 0.01); // real taps pass the mirror band too
    EXPECT_NEAR(Response(h, 17990), 0.5, 0.02);  // half gain at each design edge
    EXPECT_NEAR(Response(h, 18510), 0.5, 0.02);
    for (double stop : {0.0, 6000.0, 17700.0, 18800.0, 23000.0}) {
        EXPECT_LT(20 * std::log10(Response(h, stop)), -90.0) << stop << " Hz";
    }
}

TEST(FilterDesign, SpectraFollowTheirIndex) {
    Dsp d;
    d.dsp->DesignFilter(0, 951, 1050);
    // Bin 0 is the sum of the taps; for a band away from 0 Hz that is close to zero.
    std::vector<double> taps(4097, 0.0);
    rxDSP::DesignBandPass(951 / 48000.0, 1050 / 48000.0, taps, 2048);
    EXPECT_NEAR(d.dsp->ChanFilterRe[0], std::accumulate(taps.begin(), taps.end(), 0.0), 1e-12);
    EXPECT_NEAR(d.dsp->ChanFilterRe[0], 0.0, 1e-6);
    // 11.71875 Hz per bin: bin 42 (492 Hz) lies outside the band, bin 86 (1008 Hz) inside.
    EXPECT_LT(std::hypot(d.dsp->ChanFilterRe[42], d.dsp->ChanFilterIm[42]), 1e-3);
    EXPECT_GT(std::hypot(d.dsp->ChanFilterRe[86], d.dsp->ChanFilterIm[86]), 0.9); // narrow: ~0.94

    d.dsp->DesignFilter(1, 17990, 18510);
    d.dsp->DesignFilter(2, 565, 1085);
    const ChainArray chan = d.dsp->ChanFilterRe, ifs = d.dsp->IFFilterRe,
                     audio = d.dsp->AudioFilterRe;
    d.dsp->DesignFilter(3, 100, 200); // no such filter: only the edges change
    EXPECT_EQ(d.dsp->ChanFilterRe, chan);
    EXPECT_EQ(d.dsp->IFFilterRe, ifs);
    EXPECT_EQ(d.dsp->AudioFilterRe, audio);
    EXPECT_EQ(d.dsp->EdgeLow, 100 / 48000.0);
    EXPECT_EQ(d.dsp->EdgeHigh, 200 / 48000.0);
}

TEST(Oscillators, WorkedFrequencyPlan) {
    struct Case {
        DemodMode mode;
        std::int32_t offset;
        double lo1Hz, bfoHz;
        std::int16_t negative, highSide;
    };
    // Positive offsets as planned; below 0 Hz the beat oscillator sits on the other side.
    for (const Case c : {Case{DemodMode::Cw500, 250, 18000, 17425, 0, 0},
                         Case{DemodMode::Usb, -1350, 18000, 21000, -1, 0},
                         Case{DemodMode::Lsb, 20000, 12650, 9000, 0, -1},
                         Case{DemodMode::Cw100, -15000, 8950, 6875, -1, -1},
                         Case{DemodMode::Lsb, -5000, 14350, 17700, -1, 0},
                         Case{DemodMode::Usb, 22650, 15300, 5700, 0, -1}}) {
        Dsp d;
        d.settings.Mode = c.mode;
        TuneChain(*d.dsp, c.mode, c.offset);
        EXPECT_NEAR(d.dsp->Lo1Step * 48000 / TwoPi, c.lo1Hz, 1e-9) << c.offset;
        EXPECT_NEAR(d.dsp->BfoStep * 48000 / TwoPi, c.bfoHz, 1e-9) << c.offset;
        EXPECT_NEAR(d.dsp->TestStep * 48000 / TwoPi, 10000, 1e-9);
        EXPECT_EQ(d.dsp->NegativeOffset, c.negative) << c.offset;
        EXPECT_EQ(d.dsp->HighSide, c.highSide) << c.offset;
    }
}

TEST(Oscillators, PhaseWrapsOnceAtTheDecimalTwoPi) {
    EXPECT_EQ(AdvancePhase(6.2, 0.1), 6.3 - 6.2831853072);
    EXPECT_EQ(AdvancePhase(6.2831853072 - 0.5, 0.5), 0.0); // reaching the limit exactly wraps
    EXPECT_EQ(AdvancePhase(1.0, 0.25), 1.25);
}

TEST(TuningArithmetic, SnapsAndLimitsOffsets) {
    EXPECT_EQ(NormaliseOffset(0, 500), 250);
    EXPECT_EQ(NormaliseOffset(0, 2700), 1350);
    EXPECT_EQ(NormaliseOffset(-25, 500), -250); // truncated to -20, then kept 250 clear of 0 Hz
    EXPECT_EQ(NormaliseOffset(4824, 500), 4820);
    EXPECT_EQ(NormaliseOffset(-4824, 500), -4820);
    EXPECT_EQ(NormaliseOffset(23800, 2700), 22650);
    EXPECT_EQ(NormaliseOffset(-23800, 2700), -22650);
    EXPECT_EQ(NormaliseOffset(23800, 100), 23800);
    EXPECT_EQ(NormaliseOffset(1010, 500), 1010);

    const BandEdges cw100 = ChannelFilterEdges(1000, 100);
    EXPECT_EQ(cw100.Low, 951);
    EXPECT_EQ(cw100.High, 1050);
    const BandEdges ssb = ChannelFilterEdges(1350, 2700);
    EXPECT_EQ(ssb.Low, 1);
    EXPECT_EQ(ssb.High, 2700);

    EXPECT_EQ(IntermediateFrequency(14990), 18000);
    EXPECT_EQ(IntermediateFrequency(15000), 6000);

    const std::int32_t slider[] = {40, 50, 60, 70, 80, 90, 100};
    const std::int32_t ceiling[] = {9897, 3134, 992, 314, 99, 32, 10};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(GainCeiling(slider[i]), ceiling[i]) << slider[i];
    }
}

} // namespace
} // namespace corvane::test
