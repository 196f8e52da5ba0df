// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ChainHarness.h"

#include "TuningModel.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

namespace corvane::test {

void RecordingDisplays::DrawWideSpectrum(std::span<const double> specBuf, std::int32_t,
                                         std::int32_t) {
    std::copy_n(specBuf.begin(), Wide.size(), Wide.begin());
}

void RecordingDisplays::DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t,
                                          std::int32_t) {
    std::copy_n(specBuf.begin(), Audio.size(), Audio.begin());
}

TestChain::TestChain(const ChainOptions& options)
    : Dsp(std::make_unique<modDSP>(Settings, Displays, options)) {
    ApplyStartupState(*Dsp);
}

void TestChain::Tune(DemodMode mode, std::int32_t offset) {
    Settings.Mode = mode;
    Settings.TuningOffset = offset;
    TuneChain(*Dsp, mode, offset);
}

std::vector<std::int16_t> TestChain::Process(std::span<const std::int16_t> in) {
    std::vector<std::int16_t> out(BlockSamples);
    Dsp->ProcessBlock(in, out, 4);
    return out;
}

IqSource::IqSource(double freqHz, std::int32_t amplitude, std::int32_t noise, std::uint32_t seed,
                   bool square)
    : Freq(freqHz), Amp(amplitude), Noise(noise), State(seed), Square(square) {}

std::int32_t IqSource::Rand() {
    State = (State * 1103515245 + 12345) % 2147483648;
    if (Noise == 0) {
        return 0;
    }
    return static_cast<std::int32_t>((State >> 16) % static_cast<std::uint64_t>(2 * Noise + 1)) -
           Noise;
}

std::vector<std::int16_t> IqSource::Block() {
    std::vector<std::int16_t> out(BlockSamples);
    const auto clamp16 = [](std::int64_t v) {
        return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
    };
    for (std::size_t j = 0; j < static_cast<std::size_t>(BlockFrames); ++j) {
        const double p = 2 * std::numbers::pi * Freq * static_cast<double>(N) / 48000;
        std::int64_t i = 0;
        std::int64_t q = 0;
        if (Square) {
            i = std::sin(p) >= 0 ? Amp : -Amp;
            q = std::cos(p) >= 0 ? Amp : -Amp;
        } else {
            i = static_cast<std::int64_t>(std::nearbyint(Amp * std::sin(p)));
            q = static_cast<std::int64_t>(std::nearbyint(Amp * std::cos(p)));
        }
        out[2 * j] = clamp16(i + Rand());
        out[2 * j + 1] = clamp16(q + Rand());
        ++N;
    }
    return out;
}

std::vector<std::int16_t> Sum(std::span<const std::int16_t> a, std::span<const std::int16_t> b) {
    std::vector<std::int16_t> out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        out[i] = static_cast<std::int16_t>(std::clamp(a[i] + b[i], -32768, 32767));
    }
    return out;
}

std::uint32_t Fnv1a(std::span<const std::int16_t> samples) {
    std::uint32_t h = 2166136261u;
    for (std::int16_t s : samples) {
        const auto v = static_cast<std::uint16_t>(s);
        for (std::uint32_t byte : {v & 0xFFu, static_cast<std::uint32_t>(v >> 8)}) {
            h ^= byte;
            h *= 16777619u;
        }
    }
    return h;
}

double ToneAmplitude(std::span<const std::int16_t> interleaved, double freqHz) {
    // Single-bin DFT of the left channel with a Hann window, scaled to the tone's amplitude.
    const std::size_t frames = interleaved.size() / 2;
    double re = 0.0;
    double im = 0.0;
    double windowSum = 0.0;
    for (std::size_t j = 0; j < frames; ++j) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(j) /
                                              static_cast<double>(frames));
        const double p = 2 * std::numbers::pi * freqHz * static_cast<double>(j) / 48000;
        re += w * interleaved[2 * j] * std::cos(p);
        im += w * interleaved[2 * j] * std::sin(p);
        windowSum += w;
    }
    return 2 * std::hypot(re, im) / windowSum;
}

double DominantFrequency(std::span<const std::int16_t> interleaved) {
    double best = 0.0;
    double bestAmp = -1.0;
    for (double f = 100; f <= 4000; f += 10) {
        const double amp = ToneAmplitude(interleaved, f);
        if (amp > bestAmp) {
            bestAmp = amp;
            best = f;
        }
    }
    const double coarse = best;
    for (double f = coarse - 10; f <= coarse + 10; f += 1) {
        const double amp = ToneAmplitude(interleaved, f);
        if (amp > bestAmp) {
            bestAmp = amp;
            best = f;
        }
    }
    return best;
}

double Rms(std::span<const std::int16_t> interleaved) {
    double sum = 0.0;
    for (std::size_t j = 0; j < interleaved.size(); j += 2) {
        sum += static_cast<double>(interleaved[j]) * interleaved[j];
    }
    return std::sqrt(sum / static_cast<double>(interleaved.size() / 2));
}

std::map<std::string, std::vector<std::string>> LoadGolden() {
    std::ifstream file(CORVANE_GOLDEN_FILE);
    if (!file) {
        throw std::runtime_error("cannot open " CORVANE_GOLDEN_FILE);
    }
    std::map<std::string, std::vector<std::string>> values;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        std::vector<std::string> rest;
        for (std::string f; fields >> f;) {
            rest.push_back(f);
        }
        values[key] = rest;
    }
    return values;
}

double HexDouble(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

} // namespace corvane::test
