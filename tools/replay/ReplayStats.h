// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "BlockExchange.h"
#include "IqFiles.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace corvane::tools {

// A double in the shortest form that reads back to the same value; "null" when not finite.
std::string ShortestDouble(double value);

// corvane-replay's --stats file: one JSON object a line for each block. Written under a
// temporary name and renamed into place at Commit, as the audio is; the file is closed by
// Close or, on any early end, when the writer goes.
class StatsWriter {
public:
    explicit StatsWriter(std::filesystem::path destination) : Pending(std::move(destination)) {}
    ~StatsWriter();
    StatsWriter(const StatsWriter&) = delete;
    StatsWriter& operator=(const StatsWriter&) = delete;

    // Empty on success, otherwise the system's reason.
    std::string Open();
    // Block `index` as the exchange and the window show it after the block. Nothing is allocated;
    // a failure to write shows at Close.
    void Write(std::int64_t index, const BlockExchange::BlockStatistics& block, double agcPeak,
               double smeterLevel);
    // Everything written and the file closed under its temporary name (a full disk shows at the
    // latest here): empty on success, otherwise the system's reason.
    std::string Close();
    std::string Commit() { return Pending.Commit(); } // renamed into place

private:
    PendingFile Pending;
    std::FILE* File = nullptr;
    std::array<char, 512> Line{}; // one block's line, made in place
};

} // namespace corvane::tools
