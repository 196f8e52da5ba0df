// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// What the sound path loses, counted honestly on the virtual card: a backlog of notifications
// (merged, never replayed stale), halves overwritten before they were read, forced playback
// restarts when capture and playback run on two clocks, and a device that stops without a word.
#include "AudioTestSupport.h"
#include "EventWait.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace corvane {
namespace {

using test::CountingSource;
using test::RunEvents;
using test::SequenceSink;
using test::TestClient;

struct Receiver {
    explicit Receiver(VirtualCardOptions options = {})
        : card(source, sink, options), exchange(card, client) {
        EXPECT_TRUE(exchange.CreateDevices().Ok());
        EXPECT_TRUE(exchange.SetEvents().Ok());
    }
    CountingSource source;
    SequenceSink sink;
    TestClient client;
    VirtualSoundCard card;
    BlockExchange exchange;
};

TEST(LossAccounting, HealthyRunCountsNothing) {
    Receiver rx;
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    for (int k = 0; k < 300; ++k) {
        rx.card.Advance(2048, 256);
        RunEvents();
    }
    const SoundCounters c = rx.card.Counters();
    EXPECT_EQ(c.CaptureOverruns, 0u);
    EXPECT_EQ(c.MergedNotifications, 0u);
    EXPECT_EQ(c.DroppedNotifications, 0u);
    EXPECT_EQ(c.DeviceXruns, 0u);
    EXPECT_EQ(c.FramesCaptured, 300u * 2048u);
    EXPECT_EQ(rx.exchange.PlaybackRestarts(), 0u);
    EXPECT_EQ(rx.sink.Breaks.load(), 0);
}

// The handler falls behind by five blocks: each half has at most one notification waiting, so
// only the two newest halves are handled (no stale block is replayed), and the loss shows.
TEST(LossAccounting, BacklogIsMergedPerHalfAndCountedAsOverruns) {
    Receiver rx;
    rx.exchange.WarmupCount = BlockExchange::WarmupBlocks;
    std::vector<std::int16_t> firstSamples;
    rx.client.Process = [&](std::span<const std::int16_t> in, std::span<std::int16_t> out) {
        firstSamples.push_back(in[0]); // CountingSource: the block number
        std::copy(in.begin(), in.end(), out.begin());
    };
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    rx.card.Advance(2048);
    RunEvents();
    ASSERT_EQ(firstSamples.size(), 1u);

    rx.card.Advance(5 * 2048, 256); // blocks 2..6 arrive while the UI thread is busy
    EXPECT_EQ(rx.card.Counters().CaptureOverruns, 3u); // blocks 2, 3, 4 overwritten unread
    RunEvents();
    EXPECT_EQ(rx.card.Counters().MergedNotifications, 3u); // their notifications were stale
    // Two notifications, in arrival order, each reading its half as it is now: blocks 5, 6.
    ASSERT_EQ(firstSamples.size(), 3u);
    EXPECT_EQ(firstSamples[1], 5);
    EXPECT_EQ(firstSamples[2], 6);

    // Caught up: nothing more is counted.
    for (int k = 0; k < 20; ++k) {
        rx.card.Advance(2048);
        RunEvents();
    }
    EXPECT_EQ(rx.card.Counters().CaptureOverruns, 3u);
    EXPECT_EQ(rx.card.Counters().MergedNotifications, 3u);
    EXPECT_EQ(firstSamples.size(), 23u);
}

// OFF with a notification still queued, then ON: the stale one is dropped, and the first half
// of the new run is neither merged nor counted as lost.
TEST(LossAccounting, StaleNotificationFromTheLastRunIsNotHandledAfterOn) {
    Receiver rx;
    rx.exchange.WarmupCount = BlockExchange::WarmupBlocks;
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    rx.card.Advance(2048); // signalled, not yet delivered
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    RunEvents();
    EXPECT_EQ(rx.client.Processed, 0);
    rx.card.Advance(2048);
    RunEvents();
    EXPECT_EQ(rx.client.Processed, 1);
    EXPECT_EQ(rx.card.Counters().MergedNotifications, 0u);
    EXPECT_EQ(rx.card.Counters().CaptureOverruns, 0u);
}

// Capture and playback on two devices whose clocks differ by 0.01 %, for an hour of audio:
// the exchange's collision test restarts playback now and then, and the audio keeps flowing.
class TwoClocks : public ::testing::TestWithParam<double> {};

TEST_P(TwoClocks, AnHourOfAudioKeepsFlowingWithFewRestarts) {
    VirtualCardOptions options;
    options.PlaybackRatio = GetParam();
    Receiver rx(options);
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    constexpr std::int64_t Blocks = 3600LL * 48000 / 2048; // one hour
    for (std::int64_t k = 0; k < Blocks; ++k) {
        rx.card.Advance(2048, 512);
        RunEvents();
    }
    const std::uint64_t restarts = rx.exchange.PlaybackRestarts();
    const std::int64_t played = rx.sink.BlocksPlayed.load();
    const std::int64_t breaks = rx.sink.Breaks.load();
    std::printf("playback clock x%.4f: %lld blocks captured, %lld played whole, %llu restarts, "
                "%lld breaks in the audio\n",
                GetParam(), static_cast<long long>(Blocks), static_cast<long long>(played),
                static_cast<unsigned long long>(restarts), static_cast<long long>(breaks));
    // 0.36 s of drift in the hour is about 8.4 blocks: a restart for every block or two of it,
    // each a short jump, and otherwise unbroken audio.
    EXPECT_GE(restarts, 1u);
    EXPECT_LE(restarts, 40u);
    EXPECT_LE(breaks, 2 * static_cast<std::int64_t>(restarts));
    EXPECT_GE(played, Blocks - 40 - 4 * static_cast<std::int64_t>(restarts));
    EXPECT_EQ(rx.card.Counters().CaptureOverruns, 0u);
}

INSTANTIATE_TEST_SUITE_P(PlaybackFasterAndSlower, TwoClocks, ::testing::Values(1.0001, 0.9999));

// A real-time device that stops moving frames without a word (a stopped sound server) is
// reported and the exchange is off within a second; a test clock that simply waits is not.
TEST(LossAccounting, StalledRealTimeStreamIsReportedWithinASecond) {
    VirtualCardOptions options;
    options.Clock = CardClock::RealTime;
    Receiver rx(options);
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    QElapsedTimer timer;
    timer.start();
    while (rx.client.Processed + 0 < 1 && rx.exchange.WarmupCount < 5 && timer.elapsed() < 3000) {
        test::RunEventsFor(5);
    }
    ASSERT_GE(rx.exchange.WarmupCount, 5);
    ASSERT_TRUE(rx.client.Failures.empty());
    rx.card.StallStream();
    timer.restart();
    while (rx.client.Failures.empty() && timer.elapsed() < 3000) {
        test::RunEventsFor(5);
    }
    ASSERT_EQ(rx.client.Failures.size(), 1u);
    EXPECT_LE(timer.elapsed(), 1000);
    EXPECT_EQ(rx.client.Failures[0].Failed, SoundOp::Stream);
    EXPECT_NE(rx.client.Failures[0].Message.find("stalled"), std::string::npos);
    EXPECT_FALSE(rx.exchange.Capturing());

    // ON again: the stream runs again and nothing is reported.
    rx.client.Failures.clear();
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    const int warm = rx.exchange.WarmupCount;
    timer.restart();
    while (rx.exchange.WarmupCount < warm + 3 && timer.elapsed() < 3000) {
        test::RunEventsFor(5);
    }
    EXPECT_GE(rx.exchange.WarmupCount, warm + 3);
    EXPECT_TRUE(rx.client.Failures.empty());
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
}

TEST(LossAccounting, CallerClockThatWaitsIsNotAStall) {
    Receiver rx;
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 800) {
        test::RunEventsFor(20);
    }
    EXPECT_TRUE(rx.client.Failures.empty());
    EXPECT_TRUE(rx.exchange.Capturing());
}

} // namespace
} // namespace corvane
