// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ModDsp.h"
#include "ModeTable.h"
#include "Tuning.h"

#include <cstdint>

// The declared model of the window's tuning and start-up, for the tests and the benchmarks. The
// window reaches the same state step by step through its controls (each slider write runs its
// handler again, which the model does not need); the tests check the window against this model
// and drive the chain directly with it.
namespace corvane {

// A requested offset (Hz) as the tuning routine leaves it: truncated toward 0 to a multiple of
// 10 Hz, the pass band of width `width` kept inside +-24000 Hz and clear of 0 Hz (0 becomes
// +width/2). The sign is kept.
std::int32_t NormaliseOffset(std::int32_t requested, std::int32_t width);

// The chain's side of tuning to an already normalised offset in a mode: channel filter, the
// mode's filters for the IF that the offset needs, and the oscillators. The settings record the
// chain reads must already hold `mode`.
void TuneChain(modDSP& dsp, DemodMode mode, std::int32_t offset);

// The chain as start-up leaves it: Blackman-Harris window, CW 500 Hz for the 18000 Hz IF, tuned
// to +250 Hz, fast AGC with the gain ceiling of GAIN 70 (314). The settings record must hold
// the start-up mode (CW 500 Hz).
void ApplyStartupState(modDSP& dsp);

} // namespace corvane
