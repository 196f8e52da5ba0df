// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-demo's command line. Its first word picks the form, as the usage shows them; only the
// window takes Qt's own options (-platform xcb). QApplication takes those off what the window
// leaves it, and whatever Qt leaves in turn is refused.
#pragma once

#include "RemoteProtocol.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::tools {

// What --help prints, and what follows the message of every usage error.
extern const char* const DemoUsage;

struct DemoCommandLine {
    enum class Action { Window, Help, ProbeCapture, WriteBand, UsageError };
    Action What = Action::Window;
    std::string Problem;                  // UsageError: printed as "corvane-demo: <Problem>"
    std::optional<std::int32_t> LoHz;     // Window: the readout's centre, when given
    std::optional<RemoteEndpoint> Remote; // Window: the remote control's address, when given
    std::vector<std::size_t> QtWords; // Window: the rest, by place on the line, for QApplication
    bool ProbeAlone = false;          // ProbeCapture: nothing follows (else the answer is no)
    std::string BandFile;             // WriteBand
    double Seconds = 0.0;             // WriteBand: above 0, at most a day
};

// `words` is argv as it came, the program's name first, byte for byte.
DemoCommandLine ParseDemoCommandLine(const std::vector<std::string>& words);

} // namespace corvane::tools
