// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "VirtualSoundCard.h"

#include <array>
#include <complex>
#include <cstdint>
#include <random>
#include <span>
#include <string_view>
#include <vector>

namespace corvane::tools {

// A CW station of the demonstration band: its carrier's offset from the band centre, its peak
// level in 16-bit units, its keying speed and the text it sends over and over.
struct CwStation {
    double Hz;
    double Level;
    double Wpm;
    std::string_view Text;
};

inline constexpr std::array<CwStation, 5> DemoCwStations{{
    {1500.0, 3000.0, 18.0, "CQ CQ CQ DE IK0CVN IK0CVN K"},
    {-4200.0, 1200.0, 14.0, "QRL? DE DL2ABC"},
    {-650.0, 500.0, 24.0, "TEST DE F5XYZ TEST"},
    {16800.0, 2000.0, 25.0, "CQ DX DE OH1KV OH1KV K"},
    {-17500.0, 900.0, 12.0, "VVV DE G4ZZR"},
}};
inline constexpr double DemoUsbCarrierHz = 7000.0;  // suppressed carrier; the voice is above it
inline constexpr double DemoLsbCarrierHz = -9500.0; // a tune below it
inline constexpr double DemoSsbLevel = 2500.0;
inline constexpr double DemoNoiseLevel = 60.0; // standard deviation per channel, 16-bit units

// Morse keying of `text` in dot units, 1 = key down, with a word space at the end so that the
// text can repeat. Characters without a Morse code are sent as a word space.
std::vector<std::uint8_t> MorseKeying(std::string_view text);

// The demonstration band as a sound card delivers it: the CW stations above, a USB station
// with a voice-like sequence of vowels, an LSB station playing a tune, and band noise. The same
// samples every time it is made. The receiver forms its complex signal as right + i left, so a
// station at +f Hz has left = sin, right = cos.
class DemoBand final : public CaptureSource {
public:
    DemoBand();
    void Fill(std::span<std::int16_t> frames) override;

private:
    struct Keyer {
        std::vector<std::uint8_t> Keying; // dot units, 1 = key down
        double SamplesPerUnit = 0.0;
        double Phase = 0.0;    // carrier phase, radians
        double Envelope = 0.0; // 0..1, ramped to keep the keying free of clicks
    };
    std::complex<double> Voice(); // USB station, one sample
    std::complex<double> Tune();  // LSB station, one sample
    double Noise();

    std::array<Keyer, DemoCwStations.size()> Keyers;
    std::int64_t Sample = 0; // samples made since the band started
    double UsbCarrier = 0.0; // radians
    double VoicePitch = 0.0; // radians of the voice's fundamental
    double LsbCarrier = 0.0; // radians
    double TunePhase = 0.0;  // radians of the note
    std::mt19937 Random{20240607u};
};

} // namespace corvane::tools
