// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// What a replay leaves behind, without running one: the stats lines as they are written, and
// the outputs appearing all together at the end or not at all.
#include "ReplayOutputs.h"
#include "ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>

namespace corvane::test {
namespace {

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(StatsWriter, OneLinePerBlockInShortestFormAndNullForWhatIsNotANumber) {
    ScratchDir dir;
    tools::StatsWriter stats(dir / "s.jsonl");
    ASSERT_EQ(stats.Open(), "");
    BlockExchange::BlockStatistics block;
    stats.Write(0, block, 0.0, 0.0);
    block.Processed = true;
    block.Seconds = 0.015625;
    block.Counters.CaptureOverruns = 2;
    block.Counters.DroppedNotifications = 3;
    block.Counters.MergedNotifications = 4;
    block.Counters.DeviceXruns = 6;
    block.PlaybackRestarts = 5;
    stats.Write(123456789012, block, 0.1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(std::filesystem::exists(dir / "s.jsonl")) << "not under its name before Commit";
    ASSERT_EQ(stats.Close(), "");
    ASSERT_EQ(stats.Commit(), "");
    EXPECT_EQ(Contents(dir / "s.jsonl"),
              "{\"index\":0,\"processed\":false,\"AgcPeak\":0,\"SmeterLevel\":0,\"ms\":0,"
              "\"lost\":0,\"merged\":0,\"restarts\":0,\"xruns\":0}\n"
              "{\"index\":123456789012,\"processed\":true,\"AgcPeak\":0.1,\"SmeterLevel\":null,"
              "\"ms\":15.625,\"lost\":5,\"merged\":4,\"restarts\":5,\"xruns\":6}\n");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"s.jsonl"});
    EXPECT_EQ(tools::ShortestDouble(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(tools::ShortestDouble(-std::numeric_limits<double>::infinity()), "null");
}

// A stats file given up before it is complete (a failure, a signal) is closed and removed.
TEST(StatsWriter, GivenUpLeavesNothing) {
    ScratchDir dir;
    {
        tools::StatsWriter stats(dir / "s.jsonl");
        ASSERT_EQ(stats.Open(), "");
        stats.Write(0, {}, 1.0, 2.0);
        EXPECT_EQ(dir.Names().size(), 1u); // under its temporary name
    }
    EXPECT_TRUE(dir.Names().empty());
}

const std::vector<std::int16_t> Block(corvane::BlockSamples, 1000);

TEST(ReplayOutputs, AllAppearTogetherAtPublish) {
    ScratchDir dir;
    tools::ReplayOutputs outputs(dir / "out.wav", dir / "s.jsonl", dir / "p.png");
    ASSERT_FALSE(outputs.Create().has_value());
    EXPECT_EQ(dir.Names().size(), 3u); // each under its temporary name
    ASSERT_FALSE(outputs.WriteAudio(Block).has_value());
    ASSERT_NE(outputs.Stats(), nullptr);
    outputs.Stats()->Write(0, {}, 1.0, 2.0);
    ASSERT_TRUE(outputs.WantsScreenshot());
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::green);
    ASSERT_FALSE(outputs.SaveScreenshot(picture).has_value());
    for (const std::string& name : dir.Names()) {
        EXPECT_NE(name.find(".partial-"), std::string::npos) << name;
    }
    ASSERT_FALSE(outputs.Publish().has_value());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"out.wav", "p.png", "s.jsonl"}));
    std::int32_t rate = 0;
    EXPECT_EQ(tools::ReadAllFrames(dir / "out.wav", rate), Block);
    EXPECT_EQ(QImage(QString::fromStdString((dir / "p.png").string())).size(), QSize(4, 3));
    EXPECT_NE(Contents(dir / "s.jsonl").find("\"AgcPeak\":1,\"SmeterLevel\":2"), std::string::npos);
}

// Only the outputs asked for are made.
TEST(ReplayOutputs, WithoutStatsOrScreenshotOnlyTheAudio) {
    ScratchDir dir;
    tools::ReplayOutputs outputs(dir / "out.wav", {}, {});
    ASSERT_FALSE(outputs.Create().has_value());
    EXPECT_EQ(outputs.Stats(), nullptr);
    EXPECT_FALSE(outputs.WantsScreenshot());
    ASSERT_FALSE(outputs.WriteAudio(Block).has_value());
    ASSERT_FALSE(outputs.Publish().has_value());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.wav"});
}

// One output that cannot take its name takes back those renamed before it, and the others never
// appear: all or none.
TEST(ReplayOutputs, OneThatCannotTakeItsNameTakesTheOthersBack) {
    ScratchDir dir;
    {
        tools::ReplayOutputs outputs(dir / "out.wav", dir / "s.jsonl", dir / "p.png");
        ASSERT_FALSE(outputs.Create().has_value());
        ASSERT_FALSE(outputs.WriteAudio(Block).has_value());
        outputs.Stats()->Write(0, {}, 1.0, 2.0);
        ASSERT_FALSE(outputs.SaveScreenshot(QImage(4, 3, QImage::Format_RGB32)).has_value());
        // The screenshot's name is taken by a folder meanwhile: it is renamed after the stats
        // and before the audio.
        std::filesystem::create_directories(dir / "p.png" / "in-the-way");
        const std::optional<tools::OutputFailure> failure = outputs.Publish();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->File, dir / "p.png");
        EXPECT_EQ(failure->What.rfind("cannot be written: ", 0), 0u) << failure->What;
        EXPECT_FALSE(std::filesystem::exists(dir / "s.jsonl"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"p.png"}); // temporaries gone too
}

// A run that ends early (a failure, a signal) leaves none of its outputs.
TEST(ReplayOutputs, GivenUpLeavesNothing) {
    ScratchDir dir;
    {
        tools::ReplayOutputs outputs(dir / "out.wav", dir / "s.jsonl", dir / "p.png");
        ASSERT_FALSE(outputs.Create().has_value());
        ASSERT_FALSE(outputs.WriteAudio(Block).has_value());
        outputs.Stats()->Write(0, {}, 1.0, 2.0);
    }
    EXPECT_TRUE(dir.Names().empty());
}

// Every output is checked before anything is made: a folder where a file should go is named,
// and nothing is left.
TEST(ReplayOutputs, AFolderInTheWayIsRefusedBeforeAnythingIsMade) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "d");
    {
        tools::ReplayOutputs outputs(dir / "out.wav", dir / "s.jsonl", dir / "d");
        const std::optional<tools::OutputFailure> failure = outputs.Create();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->File, dir / "d");
        EXPECT_EQ(failure->What, "cannot be written: it is a directory");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"d"});
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"d"});
}

} // namespace
} // namespace corvane::test
