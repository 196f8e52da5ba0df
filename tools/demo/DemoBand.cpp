// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "DemoBand.h"

#include "StreamFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane::tools {

namespace {

constexpr double Rate = SampleRate;
constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double RampSamples = 0.005 * Rate; // keying rise and fall, 5 ms

std::string_view MorseCode(char c) {
    static constexpr std::array<std::string_view, 26> Letters{
        ".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
        ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
        "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--.."};
    static constexpr std::array<std::string_view, 10> Digits{
        "-----", ".----", "..---", "...--", "....-", ".....", "-....", "--...", "---..", "----."};
    if (c >= 'A' && c <= 'Z') {
        return Letters[static_cast<std::size_t>(c - 'A')];
    }
    if (c >= 'a' && c <= 'z') {
        return Letters[static_cast<std::size_t>(c - 'a')];
    }
    if (c >= '0' && c <= '9') {
        return Digits[static_cast<std::size_t>(c - '0')];
    }
    if (c == '?') {
        return "..--..";
    }
    if (c == '/') {
        return "-..-.";
    }
    return {};
}

// The phase one sample on at `hz` (either sign), kept within 0..2 pi.
double Turn(double phase, double hz) {
    const double next = phase + TwoPi * hz / Rate;
    return next - TwoPi * std::floor(next / TwoPi);
}

// Vowels as their first two formants, Hz: a, e, i, o, u.
constexpr std::array<std::array<double, 2>, 5> Formants{
    {{800.0, 1200.0}, {500.0, 1900.0}, {300.0, 2300.0}, {500.0, 900.0}, {350.0, 800.0}}};
constexpr std::array<int, 12> Vowels{0, 2, 1, 3, 0, 4, 2, 0, 1, 3, 2, 4};
constexpr double SyllableSeconds = 0.28; // one vowel, then a short gap
constexpr double PhraseSeconds = 12 * SyllableSeconds + 0.8;
constexpr int Harmonics = 16;

// "Frère Jacques", note numbers above C5 (semitones), each a quarter of 0.4 s; -1 is a rest.
constexpr std::array<int, 32> Melody{0, 2, 4, 0, 0, 2, 4,  0,  4, 5,  7, -1, 4, 5,  7, -1,
                                     7, 9, 7, 5, 4, 0, -1, -1, 0, -5, 0, -1, 0, -5, 0, -1};
constexpr double NoteSeconds = 0.4;

} // namespace

std::vector<std::uint8_t> MorseKeying(std::string_view text) {
    std::vector<std::uint8_t> units;
    const auto gap = [&units](int n) { units.insert(units.end(), static_cast<std::size_t>(n), 0); };
    for (char c : text) {
        const std::string_view code = MorseCode(c);
        if (code.empty()) {
            gap(4); // with the 3 units after the last character: a word space of 7
            continue;
        }
        for (char element : code) {
            units.insert(units.end(), element == '-' ? 3u : 1u, 1);
            gap(1);
        }
        gap(2); // a character space of 3
    }
    gap(4); // with the last character space: a word space before the text repeats
    return units;
}

DemoBand::DemoBand() {
    for (std::size_t s = 0; s < DemoCwStations.size(); ++s) {
        Keyer& k = Keyers[s];
        k.Keying = MorseKeying(DemoCwStations[s].Text);
        k.SamplesPerUnit = 1.2 / DemoCwStations[s].Wpm * Rate; // PARIS timing
    }
}

std::complex<double> DemoBand::Voice() {
    const double t = std::fmod(static_cast<double>(Sample) / Rate, PhraseSeconds);
    const int syllable = static_cast<int>(t / SyllableSeconds);
    double amplitude = 0.0;
    double pitch = 120.0;
    std::array<double, 2> formant = Formants[0];
    if (syllable < static_cast<int>(Vowels.size())) {
        const double inSyllable = t - syllable * SyllableSeconds;
        constexpr double Voiced = 0.22;
        if (inSyllable < Voiced) {
            amplitude = std::sin(std::numbers::pi * inSyllable / Voiced);
        }
        // The pitch falls over the phrase and rises a little within each syllable.
        pitch = 170.0 - 50.0 * (t / PhraseSeconds) + 15.0 * inSyllable / SyllableSeconds;
        formant = Formants[static_cast<std::size_t>(Vowels[static_cast<std::size_t>(syllable)])];
    }
    VoicePitch = Turn(VoicePitch, pitch);
    UsbCarrier = Turn(UsbCarrier, DemoUsbCarrierHz);
    if (amplitude == 0.0) {
        return {};
    }
    const std::complex<double> step = std::polar(1.0, VoicePitch);
    std::complex<double> harmonic = step;
    std::complex<double> sum;
    double weights = 0.0;
    for (int n = 1; n <= Harmonics; ++n, harmonic *= step) {
        const double f = n * pitch;
        if (f > 2800.0) {
            break;
        }
        double w = 0.0;
        for (double centre : formant) {
            const double x = (f - centre) / 120.0;
            w += 1.0 / (1.0 + x * x);
        }
        sum += w * harmonic;
        weights += w;
    }
    return DemoSsbLevel * amplitude / std::max(weights, 1.0) * std::polar(1.0, UsbCarrier) * sum;
}

std::complex<double> DemoBand::Tune() {
    const double t = static_cast<double>(Sample) / Rate;
    const auto note = static_cast<std::size_t>(t / NoteSeconds) % Melody.size();
    const double inNote = std::fmod(t, NoteSeconds);
    LsbCarrier = Turn(LsbCarrier, DemoLsbCarrierHz);
    if (Melody[note] < 0) {
        return {};
    }
    const double hz = 523.25 * std::pow(2.0, Melody[note] / 12.0);
    TunePhase = Turn(TunePhase, hz);
    const double envelope = std::min(1.0, inNote / 0.02) * std::exp(-2.5 * inNote);
    // Below the carrier: the tone and its second harmonic, mirrored.
    const std::complex<double> tone =
        std::polar(1.0, -TunePhase) + 0.3 * std::polar(1.0, -2.0 * TunePhase);
    return DemoSsbLevel * envelope / 1.3 * std::polar(1.0, LsbCarrier) * tone;
}

double DemoBand::Noise() {
    // Box-Muller from the generator's own integers, the same on every library.
    const double u1 = (static_cast<double>(Random()) + 1.0) / 4294967296.0;
    const double u2 = static_cast<double>(Random()) / 4294967296.0;
    return DemoNoiseLevel * std::sqrt(-2.0 * std::log(u1)) * std::cos(TwoPi * u2);
}

void DemoBand::Fill(std::span<std::int16_t> frames) {
    for (std::size_t j = 0; j + 1 < frames.size(); j += 2, ++Sample) {
        std::complex<double> z = Voice() + Tune();
        for (std::size_t s = 0; s < Keyers.size(); ++s) {
            Keyer& k = Keyers[s];
            const auto unit =
                static_cast<std::size_t>(static_cast<double>(Sample) / k.SamplesPerUnit) %
                k.Keying.size();
            const double target = k.Keying[unit] != 0 ? 1.0 : 0.0;
            k.Envelope += std::clamp(target - k.Envelope, -1.0 / RampSamples, 1.0 / RampSamples);
            k.Phase = Turn(k.Phase, DemoCwStations[s].Hz);
            if (k.Envelope > 0.0) {
                z += DemoCwStations[s].Level * k.Envelope * std::polar(1.0, k.Phase);
            }
        }
        const double left = z.imag() + Noise();
        const double right = z.real() + Noise();
        frames[j] = static_cast<std::int16_t>(std::clamp(std::nearbyint(left), -32768.0, 32767.0));
        frames[j + 1] =
            static_cast<std::int16_t>(std::clamp(std::nearbyint(right), -32768.0, 32767.0));
    }
}

} // namespace corvane::tools
