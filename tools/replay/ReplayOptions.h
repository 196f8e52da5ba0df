// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::tools {

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
    std::filesystem::path Waterfall;  // empty: none
    bool Quiet = false;
};

// Parses the arguments after the program name. On a usage error returns nullopt and sets
// `error` to the first thing wrong, reading from the left; `help` is set for --help (or -h)
// when nothing wrong comes before it.
std::optional<ReplayOptions> ParseReplayOptions(const std::vector<std::string>& args,
                                                std::string& error, bool& help);

std::string ReplayUsage();

} // namespace corvane::tools
