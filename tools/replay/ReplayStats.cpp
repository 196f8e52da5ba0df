// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReplayStats.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace corvane::tools {

namespace {

// Appends `value` in its shortest round-trip form.
char* PutDouble(char* at, char* end, double value) {
    if (!std::isfinite(value)) {
        constexpr std::string_view null = "null";
        return std::copy(null.begin(), null.end(), at);
    }
    return std::to_chars(at, end, value).ptr;
}

char* Put(char* at, std::string_view text) {
    return std::copy(text.begin(), text.end(), at);
}

} // namespace

std::string ShortestDouble(double value) {
    std::array<char, 64> text{};
    return std::string(text.data(), PutDouble(text.data(), text.data() + text.size(), value));
}

StatsWriter::~StatsWriter() {
    if (File != nullptr) {
        std::fclose(File);
    }
}

std::string StatsWriter::Open() {
    if (std::string failed = Pending.Create(); !failed.empty()) {
        return failed;
    }
    File = ::fdopen(Pending.Descriptor(), "w");
    if (File == nullptr) {
        return std::system_category().message(errno);
    }
    Pending.ReleaseDescriptor();
    return {};
}

void StatsWriter::Write(std::int64_t index, const BlockExchange::BlockStatistics& block,
                        double agcPeak, double smeterLevel) {
    char* at = Line.data();
    char* const end = Line.data() + Line.size();
    at = Put(at, "{\"index\":");
    at = std::to_chars(at, end, index).ptr;
    at = Put(at, block.Processed ? ",\"processed\":true,\"AgcPeak\":"
                                 : ",\"processed\":false,\"AgcPeak\":");
    at = PutDouble(at, end, agcPeak);
    at = Put(at, ",\"SmeterLevel\":");
    at = PutDouble(at, end, smeterLevel);
    at = Put(at, ",\"ms\":");
    at = PutDouble(at, end, block.Seconds * 1000.0);
    // The loss counters so far, as the window shows them: all 0 in a replay unless the
    // receiver itself dropped something.
    const SoundCounters& counters = block.Counters;
    at = Put(at, ",\"lost\":");
    at = std::to_chars(at, end, counters.CaptureOverruns + counters.DroppedNotifications).ptr;
    at = Put(at, ",\"merged\":");
    at = std::to_chars(at, end, counters.MergedNotifications).ptr;
    at = Put(at, ",\"restarts\":");
    at = std::to_chars(at, end, block.PlaybackRestarts).ptr;
    at = Put(at, ",\"xruns\":");
    at = std::to_chars(at, end, counters.DeviceXruns).ptr;
    at = Put(at, "}\n");
    std::fwrite(Line.data(), 1, static_cast<std::size_t>(at - Line.data()), File);
}

std::string StatsWriter::Close() {
    errno = 0;
    int reason = 0;
    if (std::fflush(File) != 0 || std::ferror(File) != 0) {
        reason = errno != 0 ? errno : EIO;
    }
    if (std::fclose(File) != 0 && reason == 0) {
        reason = errno != 0 ? errno : EIO;
    }
    File = nullptr;
    return reason != 0 ? std::system_category().message(reason) : std::string();
}

} // namespace corvane::tools
