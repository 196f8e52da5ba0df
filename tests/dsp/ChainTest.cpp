// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Block-level behaviour of the chain: test tone, spectra handed to the displays, output block,
// S-meter, robustness on any 16-bit input.
#include "ChainHarness.h"
#include "TuningModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace corvane::test {
namespace {

const std::vector<std::int16_t> Silence(BlockSamples, 0);

std::size_t PeakBin(const std::vector<double>& spectrum, std::size_t from, std::size_t to) {
    return static_cast<std::size_t>(
        std::max_element(spectrum.begin() + static_cast<std::ptrdiff_t>(from),
                         spectrum.begin() + static_cast<std::ptrdiff_t>(to)) -
        spectrum.begin());
}

double Db(double magnitude) {
    return 20 * std::log10(magnitude);
}

TEST(Chain, SilenceGivesSilenceAndAnIdleMeter) {
    TestChain chain;
    const auto out = chain.Process(Silence);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }));
    EXPECT_EQ(chain.Dsp->AgcPeak, 1.1e-7);
    EXPECT_EQ(chain.Dsp->SmeterLevel, 0.0);
    EXPECT_EQ(chain.Displays.Meter, 0.0);
}

TEST(Chain, TestToneLandsAtPlusOrMinusTenKilohertz) {
    // 10 kHz is bin 426.67 of the 2048-bin spectrum; negative frequencies sit at 2048 - k.
    struct Case {
        TestSignal test;
        bool positive, negative;
    };
    for (const Case c :
         {Case{TestSignal::IPlusQ, true, false}, Case{TestSignal::IMinusQ, false, true},
          Case{TestSignal::IOnly, true, true}}) {
        TestChain chain;
        chain.Settings.Test = c.test;
        chain.Process(Silence);
        const auto& wide = chain.Displays.Wide;
        const double plus = std::max(wide[426], wide[427]);
        const double minus = std::max(wide[2048 - 426], wide[2048 - 427]);
        const double line = std::max(plus, minus);
        // The labels beside the Test buttons promise about -100 dB for the line.
        EXPECT_NEAR(Db(line), -100.0, 3.0);
        EXPECT_EQ(plus > line / 100, c.positive) << "+10 kHz";
        EXPECT_EQ(minus > line / 100, c.negative) << "-10 kHz";
        if (c.test == TestSignal::IOnly) {
            EXPECT_NEAR(plus / minus, 1.0, 1e-6); // two equal lines
        }
    }

    TestChain loud;
    loud.Settings.Test = TestSignal::IPlusQ;
    loud.Settings.TestPlus20dB = true;
    loud.Process(Silence);
    EXPECT_NEAR(Db(std::max(loud.Displays.Wide[426], loud.Displays.Wide[427])), -80.0, 3.0);
}

TEST(Chain, NoTestToneIgnoresThePlus20dBBox) {
    IqSource a(700.0, 5000, 100, 3), b(700.0, 5000, 100, 3);
    TestChain plain, ticked;
    ticked.Settings.TestPlus20dB = true;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(plain.Process(a.Block()), ticked.Process(b.Block()));
    }
    EXPECT_EQ(plain.Displays.Wide, ticked.Displays.Wide);
}

TEST(Chain, AudioSpectrumFollowsTheWideOneInTheSharedBuffer) {
    TestChain chain;
    IqSource source(300.0, 3000, 10, 5);
    for (int i = 0; i < 6; ++i) {
        chain.Process(source.Block());
    }
    // Entries from 200 on still hold this block's wide spectrum.
    for (std::size_t k = 200; k < 2048; ++k) {
        ASSERT_EQ(chain.Displays.Audio[k], chain.Displays.Wide[k]) << k;
    }
    // A carrier 50 Hz above the tuned 250 Hz is heard at 825 + 50 = 875 Hz: bin 37.3.
    const std::size_t audioPeak = PeakBin(chain.Displays.Audio, 1, 200);
    EXPECT_NEAR(static_cast<double>(audioPeak) * 23.4375, 875.0, 23.5);
    // The carrier itself shows at +300 Hz on the wide spectrum: bin 12.8.
    EXPECT_NEAR(static_cast<double>(PeakBin(chain.Displays.Wide, 1, 1024)) * 23.4375, 300.0, 23.5);
}

TEST(Chain, WindowChoiceShiftsSpectraAndMeterByItsGain) {
    IqSource a(300.0, 3000, 0, 1), b(300.0, 3000, 0, 1);
    TestChain bh, none;
    none.Dsp->MakeWindow(0, 2048);
    for (int i = 0; i < 6; ++i) {
        bh.Process(a.Block());
        none.Process(b.Block());
    }
    // Same AGC peak (the channel filter sees the unwindowed block), different normalisation.
    ASSERT_EQ(bh.Dsp->AgcPeak, none.Dsp->AgcPeak);
    const double shift = 20 * std::log10(2.8);
    EXPECT_NEAR((bh.Dsp->SmeterLevel - none.Dsp->SmeterLevel) * 140 / 1000, shift, 1e-9);
}

TEST(Chain, OutputChannelsAreEqualAndSaturateInsteadOfWrapping) {
    // The AGC brings the channel to 16384, the mixer and beat oscillator make that about 32768
    // at audio: the loudest samples must stick at the limits, never wrap to the other sign.
    TestChain chain;
    IqSource source(300.0, 20000, 0, 9);
    bool sawPositiveLimit = false;
    for (int i = 0; i < 12; ++i) {
        const auto out = chain.Process(source.Block());
        for (std::size_t j = 0; j < out.size(); j += 2) {
            ASSERT_EQ(out[j], out[j + 1]);
        }
        sawPositiveLimit |= std::find(out.begin(), out.end(), 32767) != out.end();
    }
    EXPECT_TRUE(sawPositiveLimit);
}

// Any 16-bit input in any mode: finite spectra and meter, no undefined behaviour.
TEST(Chain, ExtremeInputsStayFinite) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<std::vector<std::int16_t>> inputs;
    std::vector<std::int16_t> block(BlockSamples);
    for (std::int16_t dc : {std::int16_t(32767), std::int16_t(-32768)}) {
        std::fill(block.begin(), block.end(), dc);
        inputs.push_back(block);
    }
    for (std::size_t i = 0; i < block.size(); ++i) { // full-scale square waves, 1.5 kHz
        block[i] = (i / 32) % 2 ? std::int16_t(32767) : std::int16_t(-32768);
    }
    inputs.push_back(block);
    for (auto& v : block) {
        v = static_cast<std::int16_t>(any(rng));
    }
    inputs.push_back(block);

    for (DemodMode mode : {DemodMode::Cw100, DemodMode::Cw500, DemodMode::Usb, DemodMode::Lsb}) {
        for (std::int32_t offset : {250, -1350, 15000, -23800}) {
            for (std::int16_t agc : {std::int16_t(-1), std::int16_t(0)}) {
                TestChain chain;
                chain.Settings.Test = TestSignal::IOnly;
                chain.Settings.TestPlus20dB = true;
                const ModeBands bands = BandsFor(mode);
                chain.Tune(mode, NormaliseOffset(offset, bands.PassHigh - bands.PassLow));
                chain.Dsp->AgcOn = agc;
                for (int round = 0; round < 2; ++round) {
                    for (const auto& in : inputs) {
                        chain.Process(in);
                        ASSERT_TRUE(std::isfinite(chain.Dsp->AgcPeak));
                        ASSERT_TRUE(std::isfinite(chain.Displays.Meter));
                        for (std::size_t k = 0; k < 2048; ++k) {
                            ASSERT_TRUE(std::isfinite(chain.Displays.Wide[k]));
                            ASSERT_TRUE(std::isfinite(chain.Displays.Audio[k]));
                        }
                    }
                }
            }
        }
    }
}

TEST(Chain, ShortBlocksAreRefused) {
    TestChain chain;
    std::vector<std::int16_t> in(100, 5), out(100, 9);
    chain.Dsp->ProcessBlock(in, out, 4);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 9; }));
    EXPECT_EQ(chain.Displays.Meter, -1.0); // nothing was handed to the displays
}

TEST(Chain, EveryInstructionSetPathGivesTheSameBlocks) {
    for (const rxDSP::Isa isa : {rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        TestChain baseline({rxDSP::Isa::Baseline});
        TestChain fast({isa});
        IqSource a(-3000.0, 8000, 500, 11), b(-3000.0, 8000, 500, 11);
        for (TestChain* c : {&baseline, &fast}) {
            c->Tune(DemodMode::Usb, -2000);
            c->Settings.Test = TestSignal::IMinusQ;
        }
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(baseline.Process(a.Block()), fast.Process(b.Block()));
            for (std::size_t k = 0; k < 2048; ++k) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(baseline.Displays.Wide[k]),
                          std::bit_cast<std::uint64_t>(fast.Displays.Wide[k]));
            }
            ASSERT_EQ(baseline.Dsp->SmeterLevel, fast.Dsp->SmeterLevel);
        }
    }
}

// A stage reads the block straight into its transform and folds the transforms' reorderings
// into its own passes; overlap-add with the whole transforms (zero padding, forward, product,
// inverse, then the tail kept) must give the very same bits, block after block, in every stage
// as the receiver designs it, on every instruction-set path, signed zeros included. The tails
// show in the next block's output; a last block of silence brings out the final one.
TEST(Chain, FoldedReorderingGivesTheSameBlocksAsWholeTransforms) {
    TestChain chain;
    chain.Tune(DemodMode::Usb, -7000);
    std::mt19937 rng(29);
    std::uniform_real_distribution<double> value(-20000.0, 20000.0);
    constexpr auto block = static_cast<std::size_t>(BlockFrames);
    for (const rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (const FilterIndex index :
             {FilterIndex::Channel, FilterIndex::If, FilterIndex::Audio}) {
            const FilterStage& designed = chain.Dsp->Stage(index);
            auto folded = std::make_unique<FilterStage>(designed);
            auto freqRe = std::make_unique<ChainArray>();
            auto freqIm = std::make_unique<ChainArray>();
            // The whole transforms' frame and tail.
            auto workRe = std::make_unique<ChainArray>();
            auto workIm = std::make_unique<ChainArray>();
            std::vector<double> tailRe(block, 0.0), tailIm(block, 0.0);
            for (int b = 0; b < 4; ++b) {
                std::vector<double> re(block, 0.0), im(block, 0.0);
                if (b < 3) {
                    for (std::size_t i = 0; i < block; ++i) {
                        re[i] = i % 7 == 3 ? -0.0 : value(rng);
                        im[i] =
                            index == FilterIndex::Channel ? (i % 5 == 1 ? -0.0 : value(rng)) : 0.0;
                    }
                }
                std::vector<double> outRe(block), outIm(block);
                folded->Filter(re, im, plan, *freqRe, *freqIm, outRe, outIm);

                ChainArray& wRe = *workRe;
                ChainArray& wIm = *workIm;
                std::copy(re.begin(), re.end(), wRe.begin());
                std::copy(im.begin(), im.end(), wIm.begin());
                std::fill(wRe.begin() + BlockFrames, wRe.end(), 0.0);
                std::fill(wIm.begin() + BlockFrames, wIm.end(), 0.0);
                rxDSP::FFT(wRe, wIm, FilterFrame, plan);
                rxDSP::ComplexMultiply(wRe, wIm, designed.SpectrumRe(), designed.SpectrumIm(), wRe,
                                       wIm, FilterFrame);
                rxDSP::InverseFFT(wRe, wIm, FilterFrame, plan);
                for (std::size_t i = 0; i < block; ++i) {
                    wRe[i] = wRe[i] + tailRe[i];
                    wIm[i] = wIm[i] + tailIm[i];
                    tailRe[i] = wRe[block + i];
                    tailIm[i] = wIm[block + i];
                }
                for (std::size_t i = 0; i < block; ++i) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(outRe[i]),
                              std::bit_cast<std::uint64_t>(wRe[i]))
                        << "stage " << static_cast<int>(index) << " block " << b << " sample " << i;
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(outIm[i]),
                              std::bit_cast<std::uint64_t>(wIm[i]));
                }
            }
        }
    }
}

TEST(Chain, ResetReturnsToAFreshReceiver) {
    TestChain used, fresh;
    IqSource warmup(900.0, 4000, 30, 2);
    for (int i = 0; i < 4; ++i) {
        used.Process(warmup.Block());
    }
    used.Dsp->Reset();
    ApplyStartupState(*used.Dsp);
    IqSource a(1200.0, 4000, 30, 5), b(1200.0, 4000, 30, 5);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(used.Process(a.Block()), fresh.Process(b.Block())) << "block " << i;
    }
}

} // namespace
} // namespace corvane::test
