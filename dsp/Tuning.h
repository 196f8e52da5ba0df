// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ModDsp.h"
#include "ModeTable.h"

#include <cstdint>

namespace corvane {

// Tuning arithmetic the window's handlers use (and the tests' model of them, in
// tests/dsp/TuningModel.h).

inline constexpr std::int32_t TuningLimitHz = 23800; // the tuning slider's range is +-23800 Hz

// GAIN slider value (40..100) to the AGC gain ceiling: round(exp((120 - v) / 20 * 2.3)),
// about 10^((120 - v) / 20).
std::int32_t GainCeiling(std::int32_t sliderValue);

struct BandEdges {
    std::int32_t Low, High; // Hz
};

// Channel filter around absolute offset a for a pass band of width `width`:
// round(a + 1 - width/2) to round(width/2 + a).
BandEdges ChannelFilterEdges(double a, std::int32_t width);

// 6000 Hz from an absolute offset of 15000 Hz up, else 18000 Hz.
std::int32_t IntermediateFrequency(double a);

// IF and audio filters of a mode for the IF in use (what a mode button designs).
void DesignModeFilters(modDSP& dsp, DemodMode mode, bool lowIf);

} // namespace corvane
