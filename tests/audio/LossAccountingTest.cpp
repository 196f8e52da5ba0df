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

// Runs the events until `done` or `ms` have passed; whether done.
template <typename Done> bool RunUntil(int ms, Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        test::RunEventsFor(5);
    }
    return done();
}

// A real-time device that stops moving frames without a word (a stopped sound server): within
// a second the window hears that the input is missing, the receiver stays on, and when frames
// come again reception goes on by itself, the missing time counted in blocks. Only a stall of
// ten seconds ends the run with a message; ON then works again.
TEST(LossAccounting, StallIsShownHealsByItselfAndFailsOnlyWhenLong) {
    VirtualCardOptions options;
    options.Clock = CardClock::RealTime;
    Receiver rx(options);
    double skipped = 0.0; // seconds the exchange's clock is put forward
    const auto steady = rx.exchange.Clock;
    rx.exchange.Clock = [&] { return steady() + skipped; };
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    ASSERT_TRUE(RunUntil(3000, [&] { return rx.exchange.WarmupCount >= 5; }));
    ASSERT_TRUE(RunUntil(500, [&] { return rx.client.Input == InputState::Flowing; }));

    rx.card.StallStream();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(RunUntil(2000, [&] { return rx.client.Input == InputState::Missing; }));
    EXPECT_LE(timer.elapsed(), 1000);
    test::RunEventsFor(500); // missing for a while longer: still on, nothing said
    EXPECT_TRUE(rx.client.Failures.empty());
    EXPECT_TRUE(rx.exchange.Capturing());
    EXPECT_EQ(rx.exchange.StalledBlocks(), 0u);

    rx.card.ResumeStream();
    timer.restart();
    const int before = rx.exchange.WarmupCount + rx.client.Processed;
    ASSERT_TRUE(RunUntil(2000, [&] { return rx.client.Input == InputState::Flowing; }));
    EXPECT_LE(timer.elapsed(), 1000);
    ASSERT_TRUE(
        RunUntil(2000, [&] { return rx.exchange.WarmupCount + rx.client.Processed > before + 3; }));
    // About a second was missing: 23 blocks or so, counted once and shown.
    EXPECT_GE(rx.exchange.StalledBlocks(), 15u);
    EXPECT_LE(rx.exchange.StalledBlocks(), 60u);
    EXPECT_EQ(rx.client.StalledBlocks, rx.exchange.StalledBlocks());
    EXPECT_TRUE(rx.client.Failures.empty());

    // A stall that lasts: the message, and OFF.
    rx.card.StallStream();
    ASSERT_TRUE(RunUntil(2000, [&] { return rx.client.Input == InputState::Missing; }));
    EXPECT_TRUE(rx.client.Failures.empty());
    skipped = BlockExchange::StallFailMs / 1000.0;
    timer.restart();
    ASSERT_TRUE(RunUntil(2000, [&] { return !rx.client.Failures.empty(); }));
    EXPECT_LE(timer.elapsed(), 1000);
    ASSERT_EQ(rx.client.Failures.size(), 1u);
    EXPECT_EQ(rx.client.Failures[0].Failed, SoundOp::Stream);
    EXPECT_NE(rx.client.Failures[0].Message.find("stalled"), std::string::npos);
    EXPECT_FALSE(rx.exchange.Capturing());
    EXPECT_EQ(rx.client.Input, InputState::Flowing); // OFF: nothing is expected

    // ON again: the stream runs again and nothing is reported.
    rx.client.Failures.clear();
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    const int warm = rx.exchange.WarmupCount + rx.client.Processed;
    EXPECT_TRUE(
        RunUntil(3000, [&] { return rx.exchange.WarmupCount + rx.client.Processed >= warm + 3; }));
    EXPECT_TRUE(rx.client.Failures.empty());
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
}

// A source whose first data come late (a sink that wakes after the block it slept for, a
// source with a long fixed latency): the window says it waits, and then it starts as usual;
// the wait is not lost time.
TEST(LossAccounting, LateFirstDataAreWaitedForNotLost) {
    VirtualCardOptions options;
    options.Clock = CardClock::RealTime;
    options.StartStalled = true;
    Receiver rx(options);
    ASSERT_TRUE(rx.exchange.StartCapture().Ok());
    test::RunEventsFor(300);
    EXPECT_EQ(rx.client.Input, InputState::Waiting);
    test::RunEventsFor(1200);
    EXPECT_EQ(rx.client.Input, InputState::Waiting);
    EXPECT_TRUE(rx.client.Failures.empty());
    rx.card.ResumeStream();
    ASSERT_TRUE(RunUntil(2000, [&] { return rx.exchange.WarmupCount >= 5; }));
    EXPECT_EQ(rx.client.Input, InputState::Flowing);
    EXPECT_EQ(rx.exchange.StalledBlocks(), 0u);
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
