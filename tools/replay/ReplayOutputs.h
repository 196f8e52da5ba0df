// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "IqFiles.h"
#include "ReplayStats.h"

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace corvane::tools {

// An output that cannot be written, and why, in words for the operator.
struct OutputFailure {
    std::filesystem::path File;
    std::string What; // "cannot be written: ..."
};

// What a replay leaves behind: the receiver's audio, and the stats, the screenshot and the
// waterfall picture when they are asked for. Each is written under a temporary name beside its own;
// Publish gives them their names together, and whatever was not published is removed when the set
// goes, after a failure, a signal or any other early end.
class ReplayOutputs {
public:
    // An empty name: that output is not wanted.
    ReplayOutputs(std::filesystem::path audio, std::filesystem::path stats,
                  std::filesystem::path screenshot, std::filesystem::path waterfall = {});

    // Checks every output and makes it under its temporary name. Done before the first block: a
    // run that could not publish its results is refused at once, not after the whole recording.
    std::optional<OutputFailure> Create();

    // One block of the receiver's audio. A failure to write may show only at a later block or
    // at Publish.
    std::optional<OutputFailure> WriteAudio(std::span<const std::int16_t> block);
    StatsWriter* Stats() { return StatsName.empty() ? nullptr : &StatsFile; } // null: none
    bool WantsScreenshot() const { return !ScreenshotName.empty(); }
    std::optional<OutputFailure> SaveScreenshot(const QImage& picture);
    bool WantsWaterfall() const { return !WaterfallName.empty(); }
    std::optional<OutputFailure> SaveWaterfall(const QImage& picture);

    // Completes every output, then renames each into place. One that cannot take its name takes
    // back those already renamed: all appear together or none does.
    std::optional<OutputFailure> Publish();

private:
    std::filesystem::path AudioName;
    std::filesystem::path StatsName;
    std::filesystem::path ScreenshotName;
    std::filesystem::path WaterfallName;
    AudioWriter Audio;
    StatsWriter StatsFile;
    PendingFile Screenshot;
    PendingFile WaterfallPicture;
};

} // namespace corvane::tools
