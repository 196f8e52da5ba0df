// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReplayOutputs.h"

#include <system_error>
#include <vector>

namespace corvane::tools {

namespace {

OutputFailure CannotWrite(const std::filesystem::path& file, const std::string& why) {
    return {file, "cannot be written: " + why};
}

} // namespace

ReplayOutputs::ReplayOutputs(std::filesystem::path audio, std::filesystem::path stats,
                             std::filesystem::path screenshot, std::filesystem::path waterfall)
    : AudioName(std::move(audio)), StatsName(std::move(stats)),
      ScreenshotName(std::move(screenshot)), WaterfallName(std::move(waterfall)), Audio(AudioName),
      StatsFile(StatsName), Screenshot(ScreenshotName), WaterfallPicture(WaterfallName) {}

std::optional<OutputFailure> ReplayOutputs::Create() {
    for (const std::filesystem::path* named :
         {&AudioName, &StatsName, &ScreenshotName, &WaterfallName}) {
        std::error_code ec;
        if (!named->empty() && std::filesystem::is_directory(*named, ec)) {
            return CannotWrite(*named, "it is a directory");
        }
    }
    if (std::string failed = Audio.Open(); !failed.empty()) {
        return CannotWrite(AudioName, failed);
    }
    if (!StatsName.empty()) {
        if (std::string failed = StatsFile.Open(); !failed.empty()) {
            return CannotWrite(StatsName, failed);
        }
    }
    if (!ScreenshotName.empty()) {
        if (std::string failed = Screenshot.Create(); !failed.empty()) {
            return CannotWrite(ScreenshotName, failed);
        }
    }
    if (!WaterfallName.empty()) {
        if (std::string failed = WaterfallPicture.Create(); !failed.empty()) {
            return CannotWrite(WaterfallName, failed);
        }
    }
    return std::nullopt;
}

std::optional<OutputFailure> ReplayOutputs::WriteAudio(std::span<const std::int16_t> block) {
    if (std::string failed = Audio.Write(block); !failed.empty()) {
        return CannotWrite(AudioName, failed);
    }
    return std::nullopt;
}

std::optional<OutputFailure> ReplayOutputs::SaveScreenshot(const QImage& picture) {
    if (std::string failed = SavePng(picture, Screenshot); !failed.empty()) {
        return CannotWrite(ScreenshotName, failed);
    }
    return std::nullopt;
}

std::optional<OutputFailure> ReplayOutputs::SaveWaterfall(const QImage& picture) {
    if (std::string failed = SavePng(picture, WaterfallPicture); !failed.empty()) {
        return CannotWrite(WaterfallName, failed);
    }
    return std::nullopt;
}

std::optional<OutputFailure> ReplayOutputs::Publish() {
    // Everything is complete before anything takes its final name.
    if (!StatsName.empty()) {
        if (std::string failed = StatsFile.Close(); !failed.empty()) {
            return CannotWrite(StatsName, failed);
        }
    }
    if (std::string failed = Audio.Close(); !failed.empty()) {
        return CannotWrite(AudioName, failed);
    }
    std::vector<std::filesystem::path> published;
    for (const std::filesystem::path* name :
         {&StatsName, &ScreenshotName, &WaterfallName, &AudioName}) {
        if (name->empty()) {
            continue;
        }
        const std::string failed = name == &StatsName        ? StatsFile.Commit()
                                   : name == &ScreenshotName ? Screenshot.Commit()
                                   : name == &WaterfallName  ? WaterfallPicture.Commit()
                                                             : Audio.Commit();
        if (!failed.empty()) {
            for (const std::filesystem::path& done : published) {
                std::error_code ec;
                std::filesystem::remove(done, ec);
            }
            return CannotWrite(*name, failed);
        }
        published.push_back(*name);
    }
    return std::nullopt;
}

} // namespace corvane::tools
