// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>

namespace corvane {

// Test signal added to the input: "No T.", "I + Q", "I - Q", "I".
enum class TestSignal : std::uint8_t { None, IPlusQ, IMinusQ, IOnly };

// Demodulation mode buttons: "CW 100Hz", "CW 500Hz", "USB2.7kHz", "LSB2.7kHz".
enum class DemodMode : std::uint8_t { Cw100, Cw500, Usb, Lsb };

// Operator settings that the chain and the displays read while a block is processed. The window
// writes this record from its controls; the DSP and display layers never see a widget.
struct ReceiverSettings {
    TestSignal Test = TestSignal::None; // selected test signal
    bool TestPlus20dB = false;          // "+ 20dB" ticked: tone 3.6 instead of 0.36
    DemodMode Mode = DemodMode::Cw500;  // selected mode button
    std::int32_t TuningOffset = 0;      // tuning slider value, Hz, -23800..23800

    bool IsCw() const { return Mode == DemodMode::Cw100 || Mode == DemodMode::Cw500; }
};

} // namespace corvane
