// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The virtual sound card: the rules of the sound interface, failure injection and its clocks.
#include "AudioTestSupport.h"
#include "EventWait.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvane {
namespace {

using test::CountingSource;
using test::RunEvents;
using test::SequenceSink;
using test::TestClient;

BufferDesc Desc(std::int32_t bytes) {
    BufferDesc d;
    d.Bytes = bytes;
    d.Format = {1, 2, 48000, 16, 4, 192000};
    return d;
}

TEST(VirtualCard, RefusesWhatTheReceiverNeverAsksFor) {
    SilenceSource source;
    NullSink sink;
    VirtualSoundCard card(source, sink);
    // Nothing exists yet.
    EXPECT_EQ(card.CreateCaptureBuffer(Desc(16384)).Failed, SoundOp::CreateCaptureBuffer);
    std::vector<std::int16_t> block(4096);
    EXPECT_FALSE(card.ReadCapture(0, block).Ok());
    EXPECT_FALSE(card.StartCapture().Ok());

    ASSERT_TRUE(card.CreatePlayDevice().Ok());
    ASSERT_TRUE(card.CreateCaptureDevice().Ok());
    EXPECT_FALSE(card.CreateCaptureBuffer(Desc(8192)).Ok());
    EXPECT_FALSE(card.CreatePlayBuffer(Desc(16384)).Ok());
    BufferDesc mono = Desc(16384);
    mono.Format.Channels = 1;
    EXPECT_FALSE(card.CreateCaptureBuffer(mono).Ok());
    ASSERT_TRUE(card.CreateCaptureBuffer(Desc(16384)).Ok());
    ASSERT_TRUE(card.CreatePlayBuffer(Desc(32768)).Ok());

    // Transfers must be whole frames inside the buffer.
    EXPECT_TRUE(card.ReadCapture(8192, block).Ok());
    EXPECT_FALSE(card.ReadCapture(2, block).Ok());
    EXPECT_FALSE(card.ReadCapture(16384, block).Ok());
    EXPECT_TRUE(card.WritePlay(24576, block).Ok());
    EXPECT_FALSE(card.WritePlay(32768, block).Ok());
    EXPECT_FALSE(card.SetPlayPosition(-4).Ok());

    // Notification positions need live events and may not change while capturing.
    std::int32_t a = 0;
    ASSERT_TRUE(card.CreateEvent(a).Ok());
    EXPECT_NE(a, 0);
    const NotifyPosition bad[] = {{8191, a + 100}};
    EXPECT_FALSE(card.SetNotificationPositions(bad).Ok());
    const NotifyPosition good[] = {{8191, a}};
    EXPECT_TRUE(card.SetNotificationPositions(good).Ok());
    ASSERT_TRUE(card.StartCapture().Ok());
    EXPECT_FALSE(card.SetNotificationPositions(good).Ok());
    EXPECT_TRUE(card.StopCapture().Ok());
    EXPECT_FALSE(card.DestroyEvent(a + 100).Ok());
    EXPECT_TRUE(card.DestroyEvent(a).Ok());

    // The library is made once, by whichever operation needed it first.
    EXPECT_EQ(std::count(card.Log().begin(), card.Log().end(), SoundOp::CreateRoot), 1);
}

TEST(VirtualCard, InjectedFailuresNameTheOperationUntilCleared) {
    SilenceSource source;
    NullSink sink;
    VirtualSoundCard card(source, sink);
    card.FailOperation(SoundOp::CreateCaptureDevice, "unplugged");
    ASSERT_TRUE(card.CreatePlayDevice().Ok());
    const SoundStatus st = card.CreateCaptureDevice();
    EXPECT_EQ(st.Failed, SoundOp::CreateCaptureDevice);
    EXPECT_EQ(st.Message, "Unable to open the capture device: unplugged.");
    EXPECT_FALSE(card.CreateCaptureDevice().Ok());
    card.ClearFailures();
    EXPECT_TRUE(card.CreateCaptureDevice().Ok());
}

TEST(VirtualCard, DeviceRunsOnlyWhileCaptureOrPlaybackIsOn) {
    CountingSource source;
    NullSink sink;
    VirtualSoundCard card(source, sink);
    ASSERT_TRUE(card.CreatePlayDevice().Ok());
    ASSERT_TRUE(card.CreateCaptureDevice().Ok());
    ASSERT_TRUE(card.CreateCaptureBuffer(Desc(16384)).Ok());
    ASSERT_TRUE(card.CreatePlayBuffer(Desc(32768)).Ok());
    card.Advance(5000);
    EXPECT_EQ(card.FramesRun(), 0);
    ASSERT_TRUE(card.StartPlay().Ok());
    EXPECT_TRUE(card.DeviceRunning());
    card.Advance(5000);
    EXPECT_EQ(card.FramesRun(), 5000);
    ASSERT_TRUE(card.StartCapture().Ok());
    ASSERT_TRUE(card.StopPlay().Ok());
    EXPECT_TRUE(card.DeviceRunning());
    ASSERT_TRUE(card.StopCapture().Ok());
    EXPECT_FALSE(card.DeviceRunning());
}

// The exchange on the card's own clocks: real time and as fast as blocks are handled. Both
// move frames on another thread, so this is also the ThreadSanitizer check of the card.
struct ClockedRun {
    explicit ClockedRun(CardClock clock)
        : card(source, sink, {clock, 256, 256}), exchange(card, client) {
        EXPECT_TRUE(exchange.CreateDevices().Ok());
        EXPECT_TRUE(exchange.SetEvents().Ok());
    }
    // Runs the Qt event loop until `blocks` blocks were played or the time is up.
    void RunUntilPlayed(std::int64_t blocks, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (sink.BlocksPlayed.load() < blocks && timer.elapsed() < timeoutMs) {
            test::RunEventsFor(5);
        }
    }
    CountingSource source;
    SequenceSink sink;
    TestClient client;
    VirtualSoundCard card;
    BlockExchange exchange;
};

TEST(VirtualCard, RealTimeClockKeepsTime) {
    ClockedRun run(CardClock::RealTime);
    ASSERT_TRUE(run.exchange.StartCapture().Ok());
    QElapsedTimer timer;
    timer.start();
    run.RunUntilPlayed(12, 5000); // 10 of warm-up, then processed blocks
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    ASSERT_TRUE(run.exchange.StopBuffers().Ok());
    // (No check of the played sequence here: on a loaded machine the UI thread may stall for
    // longer than a block, which real time does not forgive. The fast clock checks it.)
    ASSERT_GE(run.sink.BlocksPlayed.load(), 12);
    const double rate = static_cast<double>(run.card.FramesRun()) / seconds;
    EXPECT_GT(rate, 48000 * 0.8);
    EXPECT_LT(rate, 48000 * 1.2);
    EXPECT_EQ(run.client.MaxDepth, 1);
}

TEST(VirtualCard, FastClockRunsAsFastAsBlocksAreHandled) {
    ClockedRun run(CardClock::AsFastAsProcessed);
    ASSERT_TRUE(run.exchange.StartCapture().Ok());
    QElapsedTimer timer;
    timer.start();
    run.RunUntilPlayed(300, 20000);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    const std::int64_t breaks = run.sink.Breaks.load(); // what OFF cuts off is no break
    ASSERT_TRUE(run.exchange.StopBuffers().Ok());
    ASSERT_GE(run.sink.BlocksPlayed.load(), 300);
    EXPECT_LT(seconds, 300 * 2048.0 / 48000); // faster than real time
    EXPECT_EQ(breaks, 0) << "first at " << run.sink.FirstBreak << " frame "
                         << run.sink.FirstBreakFrame << " lag " << run.sink.Lag;
    // Each block waits for the previous one: no notification was ever left behind.
    EXPECT_EQ(run.card.Notifications().Dropped(), 0u);
    EXPECT_EQ(run.client.Processed + BlockExchange::WarmupBlocks,
              static_cast<int>(run.card.Notifications().Handled()));
}

TEST(VirtualCard, StreamDeathOnAThreadedClockReachesTheReceiver) {
    ClockedRun run(CardClock::RealTime);
    ASSERT_TRUE(run.exchange.StartCapture().Ok());
    run.RunUntilPlayed(1, 3000);
    run.card.FailStream("server gone");
    QElapsedTimer timer;
    timer.start();
    while (run.client.Failures.empty() && timer.elapsed() < 3000) {
        test::RunEventsFor(5);
    }
    ASSERT_EQ(run.client.Failures.size(), 1u);
    EXPECT_EQ(run.client.Failures[0].Failed, SoundOp::Stream);
    EXPECT_EQ(run.client.Failures[0].Message, "server gone");
    EXPECT_FALSE(run.exchange.Capturing());
    EXPECT_FALSE(run.card.DeviceRunning());
    // ON again: the stream is made anew and blocks flow.
    const std::int64_t before = run.sink.BlocksPlayed.load();
    ASSERT_TRUE(run.exchange.StartCapture().Ok());
    run.RunUntilPlayed(before + 3, 3000);
    EXPECT_GE(run.sink.BlocksPlayed.load(), before + 3);
    ASSERT_TRUE(run.exchange.StopBuffers().Ok());
}

} // namespace
} // namespace corvane
