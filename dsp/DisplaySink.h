// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>
#include <span>

namespace corvane {

// Where the block chain hands its spectra and level. The display layer implements it; tests and
// benchmarks use NullDisplaySink or a recorder. The chain uses nothing these calls return or
// change.
class DisplaySink {
public:
    virtual ~DisplaySink() = default;

    // specBuf: 2048 normalised magnitudes of the complex input, 1.0 = 0 dBV.
    virtual void DrawWideSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                                  std::int32_t videoFilter) = 0;
    // specBuf[0..199]: audio bins at 23.4375 Hz; entries 200..2047 still hold the wide spectrum.
    virtual void DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                                   std::int32_t videoFilter) = 0;
    // level: 0 at -140 dB, 1000 at 0 dB, unbounded above.
    virtual void DrawMeter(double smeterLevel) = 0;
};

class NullDisplaySink final : public DisplaySink {
public:
    void DrawWideSpectrum(std::span<const double>, std::int32_t, std::int32_t) override {}
    void DrawAudioSpectrum(std::span<const double>, std::int32_t, std::int32_t) override {}
    void DrawMeter(double) override {}
};

} // namespace corvane
