// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

// Shared pieces of the DSP tests: a chain with recording displays, the deterministic I/Q source
// that the golden-value script also implements, and a few measurements on audio blocks.
#include "DisplaySink.h"
#include "ModDsp.h"
#include "ReceiverSettings.h"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace corvane::test {

// Keeps what the chain hands to the displays in the latest block (storage sized once).
class RecordingDisplays final : public DisplaySink {
public:
    RecordingDisplays() : Wide(2048), Audio(2048) {}
    void DrawWideSpectrum(std::span<const double> specBuf, std::int32_t, std::int32_t) override;
    void DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t, std::int32_t) override;
    void DrawMeter(double level) override { Meter = level; }

    std::vector<double> Wide;  // 2048 bins as handed over
    std::vector<double> Audio; // 2048 entries as handed over (0..199 audio)
    double Meter = -1.0;
};

struct TestChain {
    explicit TestChain(const ChainOptions& options = {});
    // Tunes as the receiver would for an already normalised offset (mode goes into the settings).
    void Tune(DemodMode mode, std::int32_t offset);
    std::vector<std::int16_t> Process(std::span<const std::int16_t> in);

    ReceiverSettings Settings;
    RecordingDisplays Displays;
    std::unique_ptr<modDSP> Dsp;
};

// Carrier (sine on I, cosine on Q: positive frequency) plus integer noise from a 31-bit LCG.
class IqSource {
public:
    IqSource(double freqHz, std::int32_t amplitude, std::int32_t noise, std::uint32_t seed,
             bool square = false);
    std::vector<std::int16_t> Block();

private:
    std::int32_t Rand();
    double Freq;
    std::int32_t Amp, Noise;
    std::uint64_t State;
    bool Square;
    std::int64_t N = 0;
};

// Mixes two or more sources sample by sample with 16-bit saturation.
std::vector<std::int16_t> Sum(std::span<const std::int16_t> a, std::span<const std::int16_t> b);

std::uint32_t Fnv1a(std::span<const std::int16_t> samples);

// Power of one channel of consecutive output blocks at a frequency (Goertzel), as an amplitude.
double ToneAmplitude(std::span<const std::int16_t> interleaved, double freqHz);
// Frequency of the strongest component of the left channel, by a 1 Hz scan of 100..4000 Hz
// refined from a coarse 10 Hz scan.
double DominantFrequency(std::span<const std::int16_t> interleaved);
double Rms(std::span<const std::int16_t> interleaved);

// key -> fields of the golden file derived by the independent script.
std::map<std::string, std::vector<std::string>> LoadGolden();
double HexDouble(const std::string& text);

} // namespace corvane::test
