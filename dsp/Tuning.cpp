// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Tuning.h"

#include <cmath>
#include <cstdlib>

namespace corvane {

std::int32_t GainCeiling(std::int32_t sliderValue) {
    return static_cast<std::int32_t>(std::nearbyint(std::exp((120 - sliderValue) / 20.0 * 2.3)));
}

std::int32_t NormaliseOffset(std::int32_t requested, std::int32_t width) {
    std::int32_t slider = requested - requested % 10;
    const std::int32_t f = slider;
    double a = std::abs(f);
    const std::int32_t h = width / 2;
    const auto signedValue = [f](double magnitude) {
        const auto rounded = static_cast<std::int32_t>(std::nearbyint(magnitude));
        return f < 0 ? -rounded : rounded;
    };
    if (h + a >= 24000) {
        a = 24000 - h;
        slider = signedValue(a);
    }
    if (a - width / 2.0 < 0) {
        a = width / 2.0;
        slider = signedValue(a);
    }
    return slider;
}

BandEdges ChannelFilterEdges(double a, std::int32_t width) {
    return {static_cast<std::int32_t>(std::nearbyint(a + 1 - width / 2.0)),
            static_cast<std::int32_t>(std::nearbyint(width / 2.0 + a))};
}

std::int32_t IntermediateFrequency(double a) {
    return a >= IfSplitHz ? LowIfHz : HighIfHz;
}

void DesignModeFilters(modDSP& dsp, DemodMode mode, bool lowIf) {
    const ModeBands bands = BandsFor(mode);
    if (lowIf) {
        dsp.DesignFilter(1, bands.LowIfLow, bands.LowIfHigh);
    } else {
        dsp.DesignFilter(1, bands.HighIfLow, bands.HighIfHigh);
    }
    dsp.DesignFilter(2, bands.AudioLow, bands.AudioHigh);
}

void TuneChain(modDSP& dsp, DemodMode mode, std::int32_t offset) {
    const ModeBands bands = BandsFor(mode);
    const std::int32_t width = bands.PassHigh - bands.PassLow;
    const double a = std::abs(offset);
    const BandEdges channel = ChannelFilterEdges(a, width);
    const std::int32_t intermediate = IntermediateFrequency(a);
    DesignModeFilters(dsp, mode, intermediate == LowIfHz);
    dsp.DesignFilter(0, channel.Low, channel.High);
    const std::int16_t sign = offset < 0 ? -1 : (offset > 0 ? 1 : 0);
    dsp.SetOscillators(a, sign, IfSplitHz, intermediate, bands.PassLow, bands.PassHigh);
}

void ApplyStartupState(modDSP& dsp) {
    dsp.MakeWindow(1, BlockFrames);
    const ModeBands cw500 = BandsFor(DemodMode::Cw500);
    TuneChain(dsp, DemodMode::Cw500, NormaliseOffset(0, cw500.PassHigh - cw500.PassLow));
    dsp.AgcOn = -1;
    dsp.AgcLength = 4;
    dsp.MaxGain = GainCeiling(StartupGainSlider);
}

} // namespace corvane
