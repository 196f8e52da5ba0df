// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "DisplaySink.h"
#include "ReceiverSettings.h"
#include "Spectrum.h"
#include "VuMeter.h"

#include <cstdint>
#include <span>

namespace corvane {

// The receiver's three displays as the block chain sees them: the wide and audio traces go to
// Spectrum, the level to VuMeter. The window owns one, hands it to modDSP as its DisplaySink and
// initialises the displays with its boxes on the first timer tick:
//
//     Displays displays(settings);
//     modDSP dsp(settings, displays);
//     displays.Traces.InitWideDisplay(picture1, picture2);
//     displays.Traces.InitAudioDisplay(picture3, picture4);
//     displays.Meter.InitMeter(picture5);
class Displays final : public DisplaySink {
public:
    explicit Displays(const ReceiverSettings& settings) : Traces(settings) {}

    void DrawWideSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                          std::int32_t videoFilter) override {
        Traces.DrawWideSpectrum(specBuf, binCount, videoFilter);
    }
    void DrawAudioSpectrum(std::span<const double> specBuf, std::int32_t binCount,
                           std::int32_t videoFilter) override {
        Traces.DrawAudioSpectrum(specBuf, binCount, videoFilter);
    }
    void DrawMeter(double smeterLevel) override { Meter.DrawMeter(smeterLevel); }

    // The periodic redraw while no blocks arrive: both spectra, then the meter.
    void RefreshDisplays() {
        Traces.RefreshDisplays();
        Meter.RefreshMeter();
    }

    Spectrum Traces;
    VuMeter Meter;
};

} // namespace corvane
