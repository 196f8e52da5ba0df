// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Tuning.h"

#include <cmath>

namespace corvane {

std::int32_t GainCeiling(std::int32_t sliderValue) {
    return static_cast<std::int32_t>(std::nearbyint(std::exp((120 - sliderValue) / 20.0 * 2.3)));
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
        dsp.DesignFilter(FilterIndex::If, bands.LowIfLow, bands.LowIfHigh);
    } else {
        dsp.DesignFilter(FilterIndex::If, bands.HighIfLow, bands.HighIfHigh);
    }
    dsp.DesignFilter(FilterIndex::Audio, bands.AudioLow, bands.AudioHigh);
}

} // namespace corvane
