// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The receiver receives: synthetic signals on the band come out of the output block stream at
// the right pitch, in the right sideband, with the unwanted sideband and the image suppressed.
#include "ChainHarness.h"
#include "TuningModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace corvane::test {
namespace {

std::int32_t Normalised(DemodMode mode, std::int32_t offset) {
    const ModeBands bands = BandsFor(mode);
    return NormaliseOffset(offset, bands.PassHigh - bands.PassLow);
}

// Runs `blocks` blocks of a carrier at rfHz; returns the last two output blocks joined.
std::vector<std::int16_t> Receive(TestChain& chain, double rfHz, std::int32_t amplitude,
                                  int blocks = 8) {
    IqSource source(rfHz, amplitude, 0, 1);
    std::vector<std::int16_t> tail;
    for (int b = 0; b < blocks; ++b) {
        const auto out = chain.Process(source.Block());
        if (b >= blocks - 2) {
            tail.insert(tail.end(), out.begin(), out.end());
        }
    }
    return tail;
}

// Strongest audio bin below 4.7 kHz, taken before the 16-bit rounding (as the display sees it).
double AudioPeak(const TestChain& chain) {
    return *std::max_element(chain.Displays.Audio.begin() + 1, chain.Displays.Audio.begin() + 200);
}

struct CwCase {
    DemodMode mode;
    std::int32_t offset;
    double above; // carrier this far above the tuned frequency, Hz
};

class CwPitch : public ::testing::TestWithParam<CwCase> {};

TEST_P(CwPitch, CarrierIsHeardUprightAroundThePitch) {
    const CwCase c = GetParam();
    TestChain chain;
    const std::int32_t offset = Normalised(c.mode, c.offset);
    chain.Tune(c.mode, offset);
    const auto out = Receive(chain, offset + c.above, 3000);
    // Tuned exactly, a carrier sounds at 825 Hz; higher carriers sound higher on both halves
    // of the band and on both intermediate frequencies.
    EXPECT_NEAR(DominantFrequency(out), 825.0 + c.above, 2.0);
    EXPECT_GT(Rms(out), 5000.0) << "the AGC brings the carrier up to a loud tone";
}

INSTANTIATE_TEST_SUITE_P(
    BothHalvesBothIfs, CwPitch,
    ::testing::Values(CwCase{DemodMode::Cw500, 250, 100}, CwCase{DemodMode::Cw500, 1000, -150},
                      CwCase{DemodMode::Cw500, -1000, 100}, CwCase{DemodMode::Cw500, -1000, -150},
                      CwCase{DemodMode::Cw500, 14990, 200}, CwCase{DemodMode::Cw500, 15000, 200},
                      CwCase{DemodMode::Cw500, -15000, -200}, CwCase{DemodMode::Cw500, -20000, 120},
                      CwCase{DemodMode::Cw500, 23800, -100}, CwCase{DemodMode::Cw100, 3000, 30},
                      CwCase{DemodMode::Cw100, -3000, -30}, CwCase{DemodMode::Cw100, 18000, 20},
                      CwCase{DemodMode::Cw100, -18000, 20}));

struct SsbCase {
    DemodMode mode;
    std::int32_t offset;
};

class Sideband : public ::testing::TestWithParam<SsbCase> {};

// The suppressed carrier of the tuned sideband: the frequency that would be heard at 0 Hz.
double CarrierOf(const SsbCase& c) {
    return c.mode == DemodMode::Usb ? c.offset - 1650.0 : c.offset + 1650.0;
}

TEST_P(Sideband, PassesItsSidebandAndSuppressesTheOtherAndTheImage) {
    const SsbCase c = GetParam();
    const double carrier = CarrierOf(c);
    const double up = c.mode == DemodMode::Usb ? 1.0 : -1.0;
    const double wantedRf = carrier + up * 1000; // heard at 1000 Hz
    const double otherRf = carrier - up * 1000;  // the opposite sideband
    const double imageRf = -wantedRf;            // mirror image across the band centre

    // AGC off, so levels compare linearly.
    const auto run = [&](double rf, std::vector<std::int16_t>* audio) {
        TestChain chain;
        chain.Tune(c.mode, c.offset);
        chain.Dsp->AgcOn = 0;
        const auto out = Receive(chain, rf, 10000, 6);
        if (audio != nullptr) {
            *audio = out;
        }
        return AudioPeak(chain);
    };
    std::vector<std::int16_t> wantedAudio;
    const double wanted = run(wantedRf, &wantedAudio);
    const double other = run(otherRf, nullptr);
    const double image = run(imageRf, nullptr);

    EXPECT_NEAR(DominantFrequency(wantedAudio), 1000.0, 2.0);
    const double otherDb = 20 * std::log10(wanted / std::max(other, 1e-300));
    const double imageDb = 20 * std::log10(wanted / std::max(image, 1e-300));
    std::printf("%s at %+d Hz: opposite sideband -%.1f dB, image -%.1f dB\n",
                c.mode == DemodMode::Usb ? "USB" : "LSB", c.offset, otherDb, imageDb);
    RecordProperty("opposite_sideband_db", std::to_string(otherDb));
    RecordProperty("image_db", std::to_string(imageDb));
    EXPECT_GT(otherDb, 80.0);
    EXPECT_GT(imageDb, 80.0);
}

INSTANTIATE_TEST_SUITE_P(
    BothHalvesBothIfs, Sideband,
    ::testing::Values(SsbCase{DemodMode::Usb, 5000}, SsbCase{DemodMode::Usb, -5000},
                      SsbCase{DemodMode::Usb, 20000}, SsbCase{DemodMode::Usb, -20000},
                      SsbCase{DemodMode::Lsb, 5000}, SsbCase{DemodMode::Lsb, -5000},
                      SsbCase{DemodMode::Lsb, 20000}, SsbCase{DemodMode::Lsb, -20000},
                      SsbCase{DemodMode::Usb, 1350}, SsbCase{DemodMode::Lsb, -1350}));

TEST(Reception, VoiceBandKeepsItsOrderInUsbAndReversesInLsb) {
    // Two tones 850 Hz and 1850 Hz above the suppressed carrier: USB plays them at those
    // pitches; tuned to LSB on the mirror arrangement, the order is reversed.
    for (std::int32_t offset : {-5000, 5000, -20000, 20000}) {
        TestChain usb;
        usb.Tune(DemodMode::Usb, offset);
        IqSource low(offset - 1650.0 + 850, 4000, 0, 1), high(offset - 1650.0 + 1850, 2000, 0, 2);
        std::vector<std::int16_t> out;
        for (int b = 0; b < 8; ++b) {
            out = usb.Process(Sum(low.Block(), high.Block()));
        }
        EXPECT_NEAR(ToneAmplitude(out, 850) / ToneAmplitude(out, 1850), 2.0, 0.1) << offset;
        EXPECT_LT(ToneAmplitude(out, 2450) * 100, ToneAmplitude(out, 850)) << offset;
    }
}

TEST(Reception, FastAgcStaysSilentForThreeBlocksThenRampsUp) {
    TestChain chain; // start-up state: CW 500 Hz at +250 Hz, AGC fast
    IqSource source(250.0, 3000, 0, 1);
    for (int b = 0; b < 3; ++b) {
        const auto out = chain.Process(source.Block());
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }))
            << "block " << b;
    }
    chain.Process(source.Block());
    EXPECT_GT(chain.Dsp->AgcGain, 0.0) << "the fourth block fills the last slot in use";
    // The IF and audio filters delay by 1024 samples each, so the tone is heard a block later.
    EXPECT_GT(Rms(chain.Process(source.Block())), 1000.0);
}

} // namespace
} // namespace corvane::test
