// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ModDsp.h"
#include "ModeTable.h"

#include <cstdint>

namespace corvane {

// Pure tuning arithmetic shared by the window's handlers, the tools and the tests.

inline constexpr std::int32_t TuningLimitHz = 23800; // the tuning slider's range is +-23800 Hz

// GAIN slider value (40..100) to the AGC gain ceiling: round(exp((120 - v) / 20 * 2.3)),
// about 10^((120 - v) / 20).
std::int32_t GainCeiling(std::int32_t sliderValue);

// A requested offset (Hz) as the tuning routine leaves it: truncated toward 0 to a multiple of
// 10 Hz, the pass band of width `width` kept inside +-24000 Hz and clear of 0 Hz (0 becomes
// +width/2). The sign is kept.
std::int32_t NormaliseOffset(std::int32_t requested, std::int32_t width);

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

// The chain's side of tuning to an already normalised offset in a mode: channel filter, the
// mode's filters for the IF that the offset needs, and the oscillators. The settings record the
// chain reads must already hold `mode`.
void TuneChain(modDSP& dsp, DemodMode mode, std::int32_t offset);

// The chain as start-up leaves it: Blackman-Harris window, CW 500 Hz for the 18000 Hz IF, tuned
// to +250 Hz, fast AGC with the gain ceiling of GAIN 70 (314). The settings record must hold
// the start-up mode (CW 500 Hz).
void ApplyStartupState(modDSP& dsp);

inline constexpr std::int32_t StartupGainSlider = 70;

} // namespace corvane
