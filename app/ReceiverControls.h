// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ModDsp.h"
#include "ReceiverSettings.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// The front end's frequency as the operator writes it (whole hertz, 24000..99976000): the
// value, or nothing when it is not one.
std::optional<std::int32_t> ParseLoFrequency(std::string_view text);

class frmReceiver;

enum class AgcChoice : std::uint8_t { Fast, Slow, Off };

// The operator's choices in words, made on the window's own controls: each one is a click, a
// slider move or a tick, so every handler runs exactly as for a person (corvane-replay drives
// the window through this, not through the controls' names).
class ReceiverControls {
public:
    explicit ReceiverControls(frmReceiver& window) : Window(window) {}

    void SelectAnalysisWindow(WindowKind kind);
    void SelectVideoFilter(std::int32_t blocks); // 1, 4, 8 or 16
    void SelectMode(DemodMode mode);
    void SelectAgc(AgcChoice agc);
    void SetGain(std::int32_t slider); // GAIN, 40..100
    void Tune(std::int32_t offsetHz);  // the tuning slider
    void SelectTest(TestSignal test);
    void SetPlus20(bool on);       // "+ 20dB"
    void SetIqCorrection(bool on); // "I/Q corr."
    void SetSwapIq(bool on);       // "Swap I/Q"
    void PowerOn();
    void PowerOff();

    // The frequency readout as shown, e.g. "07.056.25".
    QString Readout() const;

private:
    frmReceiver& Window;
};

} // namespace corvane
