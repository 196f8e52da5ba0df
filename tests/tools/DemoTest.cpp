// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The demonstration band: its Morse timing, and the band as a recording through the receiver.
#include "DemoBand.h"
#include "IqFiles.h"
#include "ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

TEST(DemoBand, MorseKeyingHasStandardTiming) {
    // "PARIS" with its word space is the 50 units that define the speed in words per minute.
    EXPECT_EQ(tools::MorseKeying("PARIS").size(), 50u);
    // E: dot, then a word space before the repeat; unknown characters are word spaces.
    EXPECT_EQ(tools::MorseKeying("E"), (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(tools::MorseKeying("T#T").size(), tools::MorseKeying("T T").size());
}

TEST(DemoBand, WrittenBandReplayedOnItsStationsGivesTheCwPitch) {
    ScratchDir dir;
    const ProgramRun written =
        RunProgram(CORVANE_DEMO, {QStringLiteral("--write-band"),
                                  QString::fromStdString((dir / "band.wav").string()),
                                  QStringLiteral("--seconds"), QStringLiteral("4")});
    ASSERT_EQ(written.Status, 0) << written.Err;
    std::int32_t rate = 0;
    EXPECT_EQ(tools::ReadAllFrames(dir / "band.wav", rate).size(), 2u * 4 * 48000);
    EXPECT_EQ(rate, 48000);
    // The loudest station near 0 Hz and the one beyond -15 kHz.
    for (const std::size_t station : {std::size_t{0}, std::size_t{4}}) {
        const tools::CwStation& cw = tools::DemoCwStations[station];
        SCOPED_TRACE(cw.Text);
        const ProgramRun run =
            RunProgram(CORVANE_REPLAY,
                       {QStringLiteral("--quiet"), QStringLiteral("--mode"),
                        QStringLiteral("cw100"), QStringLiteral("--offset"), QString::number(cw.Hz),
                        QString::fromStdString((dir / "band.wav").string()),
                        QString::fromStdString((dir / "cw.wav").string())});
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::vector<std::int16_t> out = tools::ReadAllFrames(dir / "cw.wav", rate);
        ASSERT_GT(out.size(), 2u * 3 * 48000);
        const std::span<const std::int16_t> settled = std::span(out).subspan(2 * 48000);
        EXPECT_NEAR(DominantHz(settled, 200, 3000), 825.0, 3.0);
    }
    const ProgramRun bad =
        RunProgram(CORVANE_DEMO, {QStringLiteral("--write-band"), QStringLiteral("x.wav"),
                                  QStringLiteral("--seconds"), QStringLiteral("soon")});
    EXPECT_EQ(bad.Status, 2);
}

} // namespace
} // namespace corvane::test
