// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The chain against values derived independently by golden/derive_golden.py (bit for bit).
#include "ChainHarness.h"
#include "Tuning.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace corvane::test {
namespace {

class Golden : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Values = new std::map<std::string, std::vector<std::string>>(LoadGolden());
    }
    static void TearDownTestSuite() {
        delete Values;
        Values = nullptr;
    }
    static const std::vector<std::string>& At(const std::string& key) {
        const auto it = Values->find(key);
        if (it == Values->end()) {
            throw std::runtime_error("golden file has no " + key);
        }
        return it->second;
    }
    static void ExpectBits(double actual, const std::string& expected, const std::string& what) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(actual),
                  std::bit_cast<std::uint64_t>(HexDouble(expected)))
            << what << ": got " << std::hexfloat << actual << ", want " << expected;
    }
    static std::map<std::string, std::vector<std::string>>* Values;
};
std::map<std::string, std::vector<std::string>>* Golden::Values = nullptr;

TEST_F(Golden, AnalysisWindowsAndGain) {
    ReceiverSettings settings;
    NullDisplaySink displays;
    auto dsp = std::make_unique<modDSP>(settings, displays);
    for (int kind : {1, 2}) {
        dsp->MakeWindow(kind, 2048);
        const auto& g = At("window." + std::to_string(kind));
        ExpectBits(dsp->WindowGain, g[0], "gain");
        const int index[] = {0, 1, 512, 1023, 1024, 2047};
        for (int i = 0; i < 6; ++i) {
            ExpectBits(dsp->Window[static_cast<std::size_t>(index[i])],
                       g[static_cast<std::size_t>(i) + 1],
                       "window " + std::to_string(kind) + " at " + std::to_string(index[i]));
        }
    }
}

TEST_F(Golden, BandPassTaps) {
    std::vector<double> taps(4097, 0.0);
    rxDSP::DesignBandPass(17990 / 48000.0, 18510 / 48000.0, taps, 2048);
    const auto& g = At("bandpass.if18k_cw500");
    const int index[] = {0, 1, 500, 1023, 1024, 1025, 2048};
    for (int i = 0; i < 7; ++i) {
        ExpectBits(taps[static_cast<std::size_t>(index[i])], g[static_cast<std::size_t>(i)],
                   "tap " + std::to_string(index[i]));
    }
}

TEST_F(Golden, ForwardTransformSmallSizesOnEveryPath) {
    for (rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (int n : {8, 16}) {
            std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                re[static_cast<std::size_t>(i)] = std::sin(0.37 * i) * 100 + i;
                im[static_cast<std::size_t>(i)] = std::cos(1.3 * i) * 50 - i;
            }
            rxDSP::FFT(re, im, n, plan);
            const auto& g = At("fft." + std::to_string(n));
            for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
                ExpectBits(re[k], g[2 * k], "re " + std::to_string(k));
                ExpectBits(im[k], g[2 * k + 1], "im " + std::to_string(k));
            }
        }
    }
}

TEST_F(Golden, ChannelFilterSpectrum) {
    ReceiverSettings settings;
    NullDisplaySink displays;
    auto dsp = std::make_unique<modDSP>(settings, displays);
    dsp->DesignFilter(0, 1, 500);
    const auto& g = At("spectrum.chan_1_500");
    const int bins[] = {0, 1, 21, 42, 2048, 4095};
    for (std::size_t i = 0; i < 6; ++i) {
        ExpectBits(dsp->ChanFilterRe[static_cast<std::size_t>(bins[i])], g[2 * i],
                   "re bin " + std::to_string(bins[i]));
        ExpectBits(dsp->ChanFilterIm[static_cast<std::size_t>(bins[i])], g[2 * i + 1],
                   "im bin " + std::to_string(bins[i]));
    }
}

TEST_F(Golden, OscillatorSteps) {
    struct Case {
        DemodMode mode;
        const char* name;
        std::int32_t offset;
    };
    for (const Case c :
         {Case{DemodMode::Cw500, "cw500", 250}, Case{DemodMode::Usb, "usb", -1350},
          Case{DemodMode::Lsb, "lsb", 20000}, Case{DemodMode::Cw100, "cw100", -15000},
          Case{DemodMode::Usb, "usb", 5000}}) {
        TestChain chain;
        chain.Tune(c.mode, c.offset);
        const auto& g = At(std::string("osc.") + c.name + "." + std::to_string(c.offset));
        ExpectBits(chain.Dsp->Lo1Step, g[0], "Lo1Step");
        ExpectBits(chain.Dsp->BfoStep, g[1], "BfoStep");
        ExpectBits(chain.Dsp->TestStep, g[2], "TestStep");
        EXPECT_EQ(chain.Dsp->NegativeOffset, std::stoi(g[3]));
        EXPECT_EQ(chain.Dsp->HighSide, std::stoi(g[4]));
    }
}

TEST_F(Golden, GainCeilingTable) {
    const auto& g = At("gain");
    const int slider[] = {40, 50, 60, 70, 80, 90, 100};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(GainCeiling(slider[i]), std::stoi(g[i])) << "slider " << slider[i];
    }
}

// Whole blocks through the chain: output samples, AGC, S-meter and both spectra.
struct Scenario {
    const char* name;
    std::int32_t windowKind;
    DemodMode mode;
    std::int32_t offset;
    std::int16_t agcOn;
    std::int32_t agcLength;
    TestSignal test;
    bool plus20;
    IqSource source;
    int blocks;
};

class GoldenChain : public Golden, public ::testing::WithParamInterface<rxDSP::Isa> {};

TEST_P(GoldenChain, BlocksMatchIndependentDerivation) {
    std::vector<Scenario> scenarios = {
        {"startup_cw500", 1, DemodMode::Cw500, 250, -1, 4, TestSignal::None, false,
         IqSource(300.0, 3000, 200, 1), 6},
        {"usb_negative_hann", 2, DemodMode::Usb, -5000, -1, 9, TestSignal::IPlusQ, true,
         IqSource(-4150.0, 2000, 50, 7), 4},
        {"lsb_high_side_square", 0, DemodMode::Lsb, 20000, 0, 4, TestSignal::IOnly, false,
         IqSource(19500.0, 32767, 0, 3, true), 3},
    };
    for (Scenario& s : scenarios) {
        TestChain chain({GetParam()});
        chain.Dsp->MakeWindow(s.windowKind, 2048);
        chain.Settings.Test = s.test;
        chain.Settings.TestPlus20dB = s.plus20;
        chain.Tune(s.mode, s.offset);
        chain.Dsp->AgcOn = s.agcOn;
        chain.Dsp->AgcLength = s.agcLength;
        for (int b = 0; b < s.blocks; ++b) {
            const auto out = chain.Process(s.source.Block());
            const std::string key = std::string(s.name) + "." + std::to_string(b);
            SCOPED_TRACE(key);
            EXPECT_EQ(Fnv1a(out), std::stoul(At(key + ".out_fnv1a")[0]));
            const auto& sample = At(key + ".out_sample");
            EXPECT_EQ(out[0], std::stoi(sample[0]));
            EXPECT_EQ(out[1234], std::stoi(sample[1]));
            EXPECT_EQ(out[4094], std::stoi(sample[2]));
            ExpectBits(chain.Dsp->AgcPeak, At(key + ".agc_peak")[0], "AgcPeak");
            ExpectBits(chain.Dsp->AgcGain, At(key + ".agc_gain")[0], "AgcGain");
            ExpectBits(chain.Dsp->SmeterLevel, At(key + ".smeter")[0], "SmeterLevel");
            ExpectBits(chain.Displays.Meter, At(key + ".smeter")[0], "meter handed over");
            const auto& wide = At(key + ".wide");
            ExpectBits(chain.Displays.Wide[5], wide[0], "wide 5");
            ExpectBits(chain.Displays.Wide[1500], wide[1], "wide 1500");
            ExpectBits(chain.Displays.Wide[427], wide[2], "wide 427");
            const auto& audio = At(key + ".audio");
            ExpectBits(chain.Displays.Audio[0], audio[0], "audio 0");
            ExpectBits(chain.Displays.Audio[37], audio[1], "audio 37");
            ExpectBits(chain.Displays.Audio[199], audio[2], "audio 199");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, GoldenChain,
                         ::testing::Values(rxDSP::Isa::Baseline, rxDSP::Isa::Avx2,
                                           rxDSP::Isa::Avx512),
                         [](const ::testing::TestParamInfo<rxDSP::Isa>& p) {
                             return p.param == rxDSP::Isa::Avx512 ? std::string("Avx512")
                                    : p.param == rxDSP::Isa::Avx2 ? std::string("Avx2")
                                                                  : std::string("Baseline");
                         });

} // namespace
} // namespace corvane::test
