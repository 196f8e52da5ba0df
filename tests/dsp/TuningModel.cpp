// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "TuningModel.h"

#include <cmath>
#include <cstdlib>

namespace corvane {

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

void TuneChain(modDSP& dsp, DemodMode mode, std::int32_t offset) {
    const ModeBands bands = BandsFor(mode);
    const std::int32_t width = bands.PassHigh - bands.PassLow;
    const double a = std::abs(offset);
    const BandEdges channel = ChannelFilterEdges(a, width);
    const std::int32_t intermediate = IntermediateFrequency(a);
    DesignModeFilters(dsp, mode, intermediate == LowIfHz);
    dsp.DesignFilter(FilterIndex::Channel, channel.Low, channel.High);
    const std::int16_t sign = offset < 0 ? -1 : (offset > 0 ? 1 : 0);
    dsp.SetOscillators(a, sign, IfSplitHz, intermediate, bands.PassLow, bands.PassHigh);
}

void ApplyStartupState(modDSP& dsp) {
    constexpr std::int32_t StartupGainSlider = 70; // GAIN in the middle of 40..100
    dsp.MakeWindow(WindowKind::BlackmanHarris, BlockFrames);
    const ModeBands cw500 = BandsFor(DemodMode::Cw500);
    TuneChain(dsp, DemodMode::Cw500, NormaliseOffset(0, cw500.PassHigh - cw500.PassLow));
    dsp.AgcOn = -1;
    dsp.AgcLength = 4;
    dsp.MaxGain = GainCeiling(StartupGainSlider);
}

} // namespace corvane
