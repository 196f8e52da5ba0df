// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ReceiverSettings.h"

#include <cstdint>

namespace corvane {

// Fixed band edges of each mode, in Hz. The IF filter runs from 10 Hz below the intermediate
// frequency to 10 Hz above it plus the pass-band width; the numbers are fixed, not computed.
struct ModeBands {
    std::int32_t PassLow, PassHigh;     // audio pass band
    std::int32_t LowIfLow, LowIfHigh;   // IF filter for the 6000 Hz IF
    std::int32_t HighIfLow, HighIfHigh; // IF filter for the 18000 Hz IF
    std::int32_t AudioLow, AudioHigh;   // audio filter
    std::int32_t AudioScaleFlag;        // 1: CW audio scale (0..2 kHz), 0: SSB (0..4 kHz)
};

constexpr ModeBands BandsFor(DemodMode mode) {
    switch (mode) {
    case DemodMode::Cw100:
        return {775, 875, 5990, 6110, 17990, 18110, 765, 885, 1};
    case DemodMode::Cw500:
        return {575, 1075, 5990, 6510, 17990, 18510, 565, 1085, 1};
    case DemodMode::Usb:
    case DemodMode::Lsb:
        break;
    }
    return {300, 3000, 5990, 8710, 17990, 20710, 290, 3010, 0};
}

inline constexpr std::int32_t IfSplitHz = 15000; // absolute offsets from here up use the 6000 Hz IF
inline constexpr std::int32_t LowIfHz = 6000;
inline constexpr std::int32_t HighIfHz = 18000;

} // namespace corvane
