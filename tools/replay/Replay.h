// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "ReplayOptions.h"

#include <signal.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace corvane::tools {

// Exit statuses of corvane-replay.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;        // the output could not be written, or the run stopped
inline constexpr int ExitUsage = 2;         // the command line is wrong
inline constexpr int ExitBadInput = 3;      // the recording cannot be used
inline constexpr int ExitInterrupted = 130; // a signal asked the run to stop

// The signals that end a run early (Ctrl-C, a closed terminal, a kill, a broken pipe, ...).
// corvane-replay blocks them before anything starts, and the block loop looks for them between
// blocks, so that unfinished outputs are removed rather than left half-written.
sigset_t StoppingSignals();

// What a finished replay reports.
struct ReplayResult {
    int Status = ExitOk;
    std::string Readout;     // the frequency display, e.g. "07.056.25"
    std::int64_t Blocks = 0; // input blocks fed (and output blocks written)
    double Seconds = 0.0;    // wall time of the block loop
    double RealTimeFactor = 0.0;
};

// Runs the receiver window over the recording. Needs a QApplication. Messages (naming the file
// and what is wrong) go to `err`, the progress bar too when `progress` is set.
ReplayResult RunReplay(const ReplayOptions& options, std::ostream& err, bool progress);

} // namespace corvane::tools
