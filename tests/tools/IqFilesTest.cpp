// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The replay's files: what goes in comes out, whatever the sizes of the pieces; float samples
// become what a 16-bit card would deliver.
#include "IqFiles.h"
#include "IqRecorder.h"
#include "ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <numeric>

namespace corvane::test {
namespace {

TEST(AudioWriter, PiecesOfAnySizeComeBackInOrderAndIntact) {
    ScratchDir dir;
    // A frame, blocks that fill the gathering buffer exactly and overflow it, and one piece
    // larger than the buffer.
    const std::vector<std::size_t> pieces = {2,
                                             corvane::BlockSamples,
                                             31 * corvane::BlockSamples - 2,
                                             corvane::BlockSamples,
                                             40 * corvane::BlockSamples,
                                             6};
    const std::size_t total = std::accumulate(pieces.begin(), pieces.end(), std::size_t{0});
    std::vector<std::int16_t> samples(total);
    for (std::size_t i = 0; i < total; ++i) {
        samples[i] = static_cast<std::int16_t>(i * 7919 % 65536);
    }

    tools::AudioWriter writer(dir / "out.wav");
    ASSERT_EQ(writer.Open(), "");
    std::size_t at = 0;
    for (const std::size_t n : pieces) {
        ASSERT_EQ(writer.Write(std::span<const std::int16_t>(samples).subspan(at, n)), "");
        at += n;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav")) << "not under its name before Finish";
    ASSERT_EQ(writer.Finish(), "");
    EXPECT_EQ(writer.Write(std::span<const std::int16_t>(samples).first(2)), "not open");

    std::int32_t rate = 0;
    EXPECT_EQ(tools::ReadAllFrames(dir / "out.wav", rate), samples);
    EXPECT_EQ(rate, 48000);
}

// The I/Q recorder and the replay's audio write one kind of file: the same samples give the same
// bytes.
TEST(AudioWriter, WritesTheBytesTheIqRecorderWrites) {
    ScratchDir dir;
    constexpr std::size_t Blocks = 20;
    std::vector<std::int16_t> samples(Blocks * BlockSamples);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<int>(i * 7919 % 65536) - 32768);
    }
    IqRecorder recorder;
    ASSERT_EQ(recorder.Start((dir / "recorded.wav").string()), "");
    for (std::size_t k = 0; k < Blocks; ++k) {
        recorder.Captured(
            std::span<const std::int16_t>(samples).subspan(k * BlockSamples, BlockSamples));
    }
    ASSERT_EQ(recorder.Stop(), "");
    ASSERT_EQ(tools::WriteIqWav(dir / "written.wav", samples), "");

    const auto bytes = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string recorded = bytes(dir / "recorded.wav");
    EXPECT_EQ(recorded.size(), 44 + 2 * samples.size());
    EXPECT_TRUE(recorded == bytes(dir / "written.wav"));
}

// Float recordings can hold values no sound card delivers; each becomes a defined 16-bit value.
TEST(CardSample, ValuesOutsideTheCardsRangeAreDefined) {
    EXPECT_EQ(tools::CardSample(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(tools::CardSample(-std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(tools::CardSample(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(tools::CardSample(-std::numeric_limits<float>::infinity()), -32768);
    EXPECT_EQ(tools::CardSample(1.0f), 32767);
    EXPECT_EQ(tools::CardSample(-1.0f), -32768);
    EXPECT_EQ(tools::CardSample(1e30f), 32767);
}

} // namespace
} // namespace corvane::test
