// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <signal.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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

// What the command line asks for. Control settings are given as the operator's choices and
// applied in this order after start-up.
struct ReplayOptions {
    std::filesystem::path Input;
    std::filesystem::path Output;
    std::string Window = "bh";          // none | bh | hann
    std::int32_t Video = 4;             // 1 | 4 | 8 | 16
    std::string Mode = "cw500";         // cw100 | cw500 | usb | lsb
    std::string Agc = "fast";           // fast | slow | off
    std::int32_t Gain = 70;             // GAIN slider, 40..100
    std::optional<std::int32_t> Offset; // tuning slider, Hz
    std::string Test = "none";          // none | iq | i-q | i
    bool Plus20 = false;
    bool SwapIq = false;              // the front end's I and Q exchanged
    bool IqCorrect = false;           // blind I/Q balance and DC correction
    std::optional<std::int32_t> LoHz; // the front end's frequency, for the readout
    std::filesystem::path Screenshot; // empty: none
    std::filesystem::path Stats;      // empty: none
    bool Quiet = false;
};

// Parses the arguments after the program name. On a usage error returns nullopt and sets
// `error`; `help` is set for --help.
std::optional<ReplayOptions> ParseReplayOptions(const std::vector<std::string>& args,
                                                std::string& error, bool& help);

std::string ReplayUsage();

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

// A double in the shortest form that reads back to the same value; "null" when not finite.
std::string ShortestDouble(double value);

} // namespace corvane::tools
