// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The block exchange on the virtual card, clocked by the test: start-up, the capture handler
// step by step, the playback restart, the "Run mS" caption, failures and closing.
#include "AudioTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace corvane {
namespace {

using test::CountingSource;
using test::RunEvents;
using test::SequenceSink;
using test::TestClient;

// A receiver reduced to its sound part, owned the way the window owns it.
// Test names from operation names: "read captured data" -> "read_captured_data".
std::string OpTestName(const ::testing::TestParamInfo<SoundOp>& info) {
    std::string name(SoundOpName(info.param));
    for (char& ch : name) {
        ch = ch == ' ' ? '_' : ch;
    }
    return name;
}

struct Receiver {
    explicit Receiver(VirtualCardOptions options = {})
        : card(source, sink, options), exchange(card, client) {}

    void StartUp() {
        ASSERT_TRUE(exchange.CreateDevices().Ok());
        ASSERT_TRUE(exchange.SetEvents().Ok());
    }
    void On() { ASSERT_TRUE(exchange.StartCapture().Ok()); }
    // One block of device time, then the event loop delivers what it signalled.
    void Block() {
        card.Advance(2048);
        RunEvents();
    }
    std::size_t Count(SoundOp op) const {
        return static_cast<std::size_t>(std::count(card.Log().begin(), card.Log().end(), op));
    }

    CountingSource source;
    SequenceSink sink;
    TestClient client;
    VirtualSoundCard card;
    BlockExchange exchange;
};

TEST(BlockExchange, StartUpMakesTheBuffersAndArmsTheLastByteOfEachHalf) {
    Receiver rx;
    rx.StartUp();
    const BlockExchange& ex = rx.exchange;
    EXPECT_EQ(ex.CaptureDesc.Bytes, 16384);
    EXPECT_EQ(ex.PlayDesc.Bytes, 2 * ex.CaptureDesc.Bytes);
    EXPECT_EQ(ex.HalfBytes, 8192);
    EXPECT_EQ(ex.SoundFormat.AvgBytesPerSecond, 192000);
    EXPECT_NE(ex.EventHandle[0], 0);
    EXPECT_NE(ex.EventHandle[1], ex.EventHandle[0]);
    EXPECT_EQ(ex.NotifyPos[0].Offset, 8191);
    EXPECT_EQ(ex.NotifyPos[0].EventId, ex.EventHandle[0]);
    EXPECT_EQ(ex.NotifyPos[1].Offset, 16383);
    EXPECT_EQ(ex.NotifyPos[1].EventId, ex.EventHandle[1]);
    const std::vector<SoundOp> expected = {
        SoundOp::CreateRoot,          SoundOp::CreatePlayDevice,
        SoundOp::CreateCaptureDevice, SoundOp::CreateCaptureBuffer,
        SoundOp::CreatePlayBuffer,    SoundOp::CreateEvent,
        SoundOp::CreateEvent,         SoundOp::SetNotificationPositions};
    EXPECT_EQ(rx.card.Log(), expected);

    // Nothing plays and no notification arrives before the first ON.
    rx.Block();
    rx.Block();
    EXPECT_EQ(rx.card.FramesRun(), 0);
    EXPECT_EQ(rx.card.Notifications().Pushed(), 0u);
}

class MissingDevice : public ::testing::TestWithParam<SoundOp> {};

TEST_P(MissingDevice, GivesTheMessageThatEndsTheProgram) {
    Receiver rx;
    rx.card.FailOperation(GetParam(), "no card");
    const SoundStatus st = rx.exchange.CreateDevices();
    EXPECT_FALSE(st.Ok());
    EXPECT_TRUE(BlockExchange::EndsProgram(st));
    EXPECT_EQ(st.Message, "Unable to start DirectSound. Check proper sound card installation");
}

INSTANTIATE_TEST_SUITE_P(Devices, MissingDevice,
                         ::testing::Values(SoundOp::CreateRoot, SoundOp::CreatePlayDevice,
                                           SoundOp::CreateCaptureDevice),
                         OpTestName);

// A buffer, the notifications or the stream cannot be made: a message naming it, the receiver
// stays off, and ON works once the cause is gone.
class StartFailure : public ::testing::TestWithParam<SoundOp> {};

TEST_P(StartFailure, IsReportedLeavesTheReceiverOffAndOnCanBeTriedAgain) {
    const SoundOp op = GetParam();
    Receiver rx;
    rx.card.FailOperation(op, "refused");
    SoundStatus st = rx.exchange.CreateDevices();
    if (st.Ok()) {
        st = rx.exchange.SetEvents();
    }
    if (st.Ok()) {
        st = rx.exchange.StartCapture();
    }
    ASSERT_FALSE(st.Ok());
    EXPECT_EQ(st.Failed, op);
    EXPECT_FALSE(BlockExchange::EndsProgram(st));
    EXPECT_EQ(st.Message, "Unable to " + std::string(SoundOpName(op)) + ": refused.");
    // Pressing ON while the cause persists fails the same way and changes nothing.
    const SoundStatus again = rx.exchange.StartCapture();
    EXPECT_EQ(again.Failed, op);
    EXPECT_FALSE(rx.exchange.Capturing());
    EXPECT_FALSE(rx.card.DeviceRunning());

    rx.card.ClearFailures();
    rx.On();
    for (int i = 0; i < 14; ++i) {
        rx.Block();
    }
    EXPECT_EQ(rx.client.Processed, 4);
    EXPECT_TRUE(rx.client.Failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Operations, StartFailure,
                         ::testing::Values(SoundOp::CreateCaptureBuffer, SoundOp::CreatePlayBuffer,
                                           SoundOp::CreateEvent, SoundOp::SetNotificationPositions,
                                           SoundOp::StartCapture),
                         OpTestName);

// A sound operation of the handler fails while on, or the stream dies: one message, both
// buffers stopped, later notifications ignored, and ON starts again cleanly.
class RunningFailure : public ::testing::TestWithParam<SoundOp> {};

TEST_P(RunningFailure, StopsTheReceiverOnceAndOnRestartsIt) {
    const SoundOp op = GetParam();
    Receiver rx;
    rx.StartUp();
    if (op != SoundOp::Stream) {
        rx.card.FailOperation(op, "lost");
    }
    rx.On();
    for (int i = 0; i < 5; ++i) {
        if (op == SoundOp::Stream && i == 3) {
            rx.card.FailStream("server gone");
        }
        rx.Block();
    }
    ASSERT_EQ(rx.client.Failures.size(), 1u);
    EXPECT_EQ(rx.client.Failures[0].Failed, op);
    EXPECT_FALSE(rx.client.Failures[0].Message.empty());
    EXPECT_FALSE(rx.exchange.Capturing());
    EXPECT_FALSE(rx.exchange.Resync);
    EXPECT_FALSE(rx.card.DeviceRunning());

    rx.card.ClearFailures();
    rx.On();
    for (int i = 0; i < 14; ++i) {
        rx.Block();
    }
    EXPECT_EQ(rx.client.Failures.size(), 1u);
    EXPECT_GT(rx.client.Processed, 0);
    EXPECT_EQ(rx.sink.Breaks.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Operations, RunningFailure,
                         ::testing::Values(SoundOp::ReadCapture, SoundOp::GetPlayPositions,
                                           SoundOp::WritePlay, SoundOp::SetPlayPosition,
                                           SoundOp::StartPlay, SoundOp::Stream),
                         OpTestName);

// What corvane-replay writes out: every block as it is written to playback, once, in order (the
// warm-up's silence too), and nothing for a write that failed or after the tap is taken away.
TEST(BlockExchange, PlaybackTapSeesEachBlockWrittenToPlaybackOnce) {
    class Seen final : public PlaybackTap {
    public:
        void Played(std::span<const std::int16_t> block) noexcept override {
            Blocks.emplace_back(block.begin(), block.end());
        }
        std::vector<std::vector<std::int16_t>> Blocks;
    };
    Seen seen;
    Receiver rx;
    rx.exchange.SetPlaybackTap(&seen);
    rx.StartUp();
    rx.On();
    for (int i = 0; i < 14; ++i) {
        rx.Block();
    }
    ASSERT_EQ(seen.Blocks.size(), 14u);
    for (std::size_t k = 0; k < seen.Blocks.size(); ++k) {
        const std::vector<std::int16_t>& block = seen.Blocks[k];
        ASSERT_EQ(block.size(), 4096u);
        // The client plays what it gets: block k carries its number + 1 on the left.
        const std::int16_t left = k < 10 ? 0 : static_cast<std::int16_t>(k + 1);
        EXPECT_EQ(block[0], left) << "block " << k;
        EXPECT_EQ(block[4094], left) << "block " << k;
        EXPECT_EQ(block[4095], k < 10 ? 0 : 2047) << "block " << k;
    }

    rx.card.FailOperation(SoundOp::WritePlay, "lost");
    rx.Block();
    EXPECT_EQ(rx.client.Failures.size(), 1u);
    EXPECT_EQ(seen.Blocks.size(), 14u);

    rx.card.ClearFailures();
    rx.exchange.SetPlaybackTap(nullptr);
    rx.On();
    const int processed = rx.client.Processed;
    rx.Block();
    EXPECT_EQ(rx.client.Processed, processed + 1);
    EXPECT_EQ(seen.Blocks.size(), 14u);
}

TEST(BlockExchange, HalvesAlternateAndAnUnknownEventRereadsTheLastHalf) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    std::vector<std::int32_t> halves;
    std::vector<std::int16_t> blocks;
    for (int i = 0; i < 4; ++i) {
        rx.Block();
        halves.push_back(rx.exchange.CaptureHalf);
        blocks.push_back(rx.exchange.CaptureBlock[0]);
        EXPECT_EQ(rx.exchange.CaptureBlock[4095], 2047); // last frame of its block
    }
    EXPECT_EQ(halves, (std::vector<std::int32_t>{0, 1, 0, 1}));
    EXPECT_EQ(blocks, (std::vector<std::int16_t>{1, 2, 3, 4})); // captured blocks in order

    // The same event twice reads the same half twice; an unknown one keeps the half.
    rx.exchange.DirectXEvent8_DXCallback(rx.exchange.EventHandle[0]);
    EXPECT_EQ(rx.exchange.CaptureHalf, 0);
    EXPECT_EQ(rx.exchange.CaptureBlock[0], 3);
    rx.exchange.DirectXEvent8_DXCallback(rx.exchange.EventHandle[0]);
    EXPECT_EQ(rx.exchange.CaptureBlock[0], 3);
    rx.exchange.DirectXEvent8_DXCallback(rx.exchange.EventHandle[1] + 1000);
    EXPECT_EQ(rx.exchange.CaptureHalf, 0);
}

TEST(BlockExchange, WarmUpPlaysTenSilentBlocksOnceInTheProgramsLife) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    for (int i = 0; i < 10; ++i) {
        rx.Block();
    }
    EXPECT_EQ(rx.client.Processed, 0);
    EXPECT_EQ(rx.client.EventPasses, 0); // no event-loop pass without a processed block
    rx.Block();
    EXPECT_EQ(rx.client.Processed, 1);
    EXPECT_EQ(rx.client.EventPasses, 1);
    for (int i = 0; i < 6; ++i) {
        rx.Block();
    }
    // What played before the first processed block (captured block 11) was silence.
    ASSERT_TRUE(rx.sink.Started);
    EXPECT_EQ(rx.sink.FirstBlock, 11);

    // OFF and ON again: no second warm-up.
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
    rx.On();
    const int before = rx.client.Processed;
    rx.Block();
    EXPECT_EQ(rx.client.Processed, before + 1);
}

TEST(BlockExchange, SegmentsRunInOrderAndPlaybackStartsAtTheThirdNotification) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    std::vector<std::int32_t> index;
    std::vector<std::int32_t> start;
    std::vector<std::size_t> playStarts;
    for (int i = 0; i < 9; ++i) {
        rx.Block();
        index.push_back(rx.exchange.PlayIndex);
        start.push_back(rx.exchange.WriteStart);
        playStarts.push_back(rx.Count(SoundOp::StartPlay));
    }
    EXPECT_EQ(index, (std::vector<std::int32_t>{1, 2, 3, 0, 1, 2, 3, 0, 1}));
    EXPECT_EQ(start, (std::vector<std::int32_t>{0, 8192, 16384, 24576, 0, 8192, 16384, 24576, 0}));
    EXPECT_EQ(playStarts, (std::vector<std::size_t>{0, 0, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(rx.Count(SoundOp::SetPlayPosition), 1u);
    EXPECT_FALSE(rx.exchange.Resync);
}

// Collision ranges: before segment 0 the positions 0..8191 collide, before segment 1 only
// 8192 does (the segment number plus 8191 is the upper end), before 2 and 3 none.
TEST(BlockExchange, CollisionRangesFollowTheSegmentNumberRule) {
    const std::int32_t positions[] = {0, 4, 4096, 8188, 8192, 8196, 16384, 24576, 32764};
    for (std::int32_t segment = 0; segment < 4; ++segment) {
        for (const std::int32_t at : positions) {
            SCOPED_TRACE(testing::Message() << "segment " << segment << " position " << at);
            Receiver rx;
            rx.StartUp();
            rx.On();
            rx.exchange.Resync = false;
            rx.exchange.PlayIndex = segment;
            ASSERT_TRUE(rx.card.SetPlayPosition(at).Ok()); // stopped: play = write = at
            rx.exchange.DirectXEvent8_DXCallback(rx.exchange.EventHandle[0]);
            const bool collides = (segment == 0 && at <= 8191) || (segment == 1 && at == 8192);
            EXPECT_EQ(rx.exchange.Resync, collides);
            EXPECT_EQ(rx.exchange.WriteStart, collides ? 0 : segment * 8192);
            EXPECT_EQ(rx.exchange.PlayIndex, collides ? 1 : (segment + 1) % 4);
            EXPECT_EQ(rx.exchange.WriteEnd, segment + 8191);
        }
    }
}

// After ON the player stands where it stopped. Standing exactly at byte 8192 it would collide
// before every write of segment 1 and send the block over the one just written to segment 0:
// while a restart is pending no collision redirects a block, so the first three blocks lie in
// segments 0, 1 and 2, and nothing counts as a restart.
TEST(BlockExchange, PlayerStoppedAtSegmentOneLosesNoBlockAfterOn) {
    Receiver rx;
    rx.StartUp();
    ASSERT_TRUE(rx.card.SetPlayPosition(8192).Ok());
    rx.On();
    std::vector<std::int32_t> start;
    for (int i = 0; i < 3; ++i) {
        rx.Block();
        start.push_back(rx.exchange.WriteStart);
    }
    EXPECT_EQ(start, (std::vector<std::int32_t>{0, 8192, 16384}));
    EXPECT_EQ(rx.Count(SoundOp::StartPlay), 1u);
    EXPECT_EQ(rx.exchange.PlaybackRestarts(), 0u);
}

// The two positions are tested separately: either one inside the range is a collision.
TEST(BlockExchange, EitherThePlayOrTheWritePositionCollides) {
    struct Case {
        std::int32_t startFrame; // where playback is started, then it runs 256 frames
        bool collides;
    };
    // Latency 256 frames: play = write - 1024 bytes once 256 frames have run.
    const Case cases[] = {
        {1920, true},  // write 8704 outside, play 7680 inside: the play position collides
        {8000, true},  // write 256 inside, play 32000 outside: the write position collides
        {2048, false}, // write 9216, play 8192: both outside
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start frame " << c.startFrame);
        Receiver rx;
        rx.StartUp();
        rx.On();
        ASSERT_TRUE(rx.card.StopCapture().Ok()); // the card only plays from here on
        rx.exchange.Resync = false;
        ASSERT_TRUE(rx.card.SetPlayPosition(c.startFrame * 4).Ok());
        ASSERT_TRUE(rx.card.StartPlay().Ok());
        rx.card.Advance(256);
        rx.exchange.DirectXEvent8_DXCallback(rx.exchange.EventHandle[0]);
        EXPECT_EQ(rx.exchange.Resync, c.collides);
        EXPECT_EQ(rx.exchange.PlayCursor, (c.startFrame * 4) % 32768);
        EXPECT_EQ(rx.exchange.WriteCursor, ((c.startFrame + 256) * 4) % 32768);
    }
}

TEST(BlockExchange, ACollisionRestartsPlaybackFromByteZeroThreeNotificationsLater) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    for (int i = 0; i < 8; ++i) {
        rx.Block(); // playing since the third
    }
    rx.card.ClearLog();
    // Drift: when segment 0 is next written, the player has just entered it (frame 500).
    ASSERT_EQ(rx.exchange.PlayIndex, 0);
    ASSERT_TRUE(rx.card.SetPlayPosition((8192 - 2048 + 500) * 4).Ok());
    rx.Block();
    EXPECT_TRUE(rx.exchange.Resync);
    EXPECT_EQ(rx.exchange.WriteCursor, 500 * 4);
    EXPECT_EQ(rx.exchange.WriteStart, 0);
    rx.Block();
    EXPECT_EQ(rx.Count(SoundOp::StartPlay), 0u);
    rx.Block(); // the third notification counted
    EXPECT_EQ(rx.Count(SoundOp::StartPlay), 1u);
    EXPECT_EQ(rx.Count(SoundOp::SetPlayPosition), 2u); // the test's own, then the restart
    EXPECT_FALSE(rx.exchange.Resync);
    EXPECT_EQ(rx.exchange.ResyncCount, 0);
}

TEST(BlockExchange, OffWithTwoCountedRestartsAtTheFirstNotificationAfterOn) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    rx.Block();
    rx.Block();
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
    EXPECT_FALSE(rx.exchange.Resync);
    EXPECT_EQ(rx.exchange.ResyncCount, 2);
    EXPECT_FALSE(rx.card.DeviceRunning());
    rx.On();
    rx.Block();
    EXPECT_EQ(rx.Count(SoundOp::StartPlay), 1u);
    EXPECT_EQ(rx.exchange.ResyncCount, 0);
}

// Every notification takes 12.34 ms on a fake clock. The first mean averages 99 intervals over
// 100 (12.2166 ms); every later one is the exact mean of 100.
TEST(BlockExchange, CaptionComesEveryHundredthNotification) {
    Receiver rx;
    rx.StartUp();
    std::int64_t reads = 0;
    rx.exchange.Clock = [&reads] {
        const std::int64_t n = reads++;
        return static_cast<double>(n / 2) + (n % 2 == 1 ? 0.01234 : 0.0);
    };
    rx.On();
    for (int i = 0; i < 99; ++i) {
        rx.Block();
    }
    EXPECT_TRUE(rx.client.RunTimes.empty());
    EXPECT_EQ(rx.exchange.RunCount, 99);
    rx.Block();
    ASSERT_EQ(rx.client.RunTimes.size(), 1u);
    EXPECT_NEAR(rx.client.RunTimes[0], 0.0122166, 1e-9);
    EXPECT_EQ(rx.exchange.RunCount, 0);
    for (int i = 0; i < 100; ++i) {
        rx.Block();
    }
    ASSERT_EQ(rx.client.RunTimes.size(), 2u);
    EXPECT_NEAR(rx.client.RunTimes[1], 0.01234, 1e-9);
}

TEST(BlockExchange, SteadyStatePlaysEveryBlockOnceThreeBlocksBehindCapture) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    for (int i = 0; i < 400; ++i) {
        rx.Block();
    }
    EXPECT_EQ(rx.sink.Lag, 3 * 2048);
    EXPECT_EQ(rx.sink.Breaks.load(), 0);
    // Every processed block but the newest few (still in the ring) has been played.
    EXPECT_GE(rx.sink.BlocksPlayed.load(), rx.client.Processed - 3);
    EXPECT_EQ(rx.Count(SoundOp::StartPlay), 1u); // no collision in steady state
}

// A notification that arrives during the handler's event-loop pass runs after the handler,
// never inside it; otherwise the outer block would be overwritten before it is played.
TEST(BlockExchange, ANotificationDuringTheEventPassWaitsForTheCurrentOne) {
    Receiver rx;
    rx.StartUp();
    int passes = 0;
    int nestedArrivals = 0;
    rx.client.BeforeEvents = [&] {
        if (++passes % 3 == 0) {
            const std::uint64_t before = rx.card.Notifications().Pushed();
            rx.card.Advance(2048); // the next half completes during the pass
            nestedArrivals += rx.card.Notifications().Pushed() > before ? 1 : 0;
        }
    };
    rx.On();
    for (int i = 0; i < 300; ++i) {
        rx.Block();
    }
    EXPECT_GT(nestedArrivals, 50);
    EXPECT_EQ(rx.client.MaxDepth, 1); // ProcessBlock never ran inside the event pass
    EXPECT_EQ(rx.sink.Breaks.load(), 0);
    EXPECT_EQ(rx.card.Notifications().Handled(), rx.card.Notifications().Pushed());
}

TEST(BlockExchange, ReleaseDestroysTheEventsThenDropsObjectsInOrder) {
    Receiver rx;
    rx.StartUp();
    rx.On();
    for (int i = 0; i < 3; ++i) {
        rx.Block();
    }
    ASSERT_TRUE(rx.exchange.StopBuffers().Ok());
    rx.card.ClearLog();
    std::vector<std::size_t> logAtEventPass;
    rx.client.BeforeEvents = [&] { logAtEventPass.push_back(rx.card.Log().size()); };
    rx.exchange.Release();
    const std::vector<SoundOp> expected = {
        SoundOp::DestroyEvent,        SoundOp::DestroyEvent,         SoundOp::ReleaseRoot,
        SoundOp::ReleasePlayDevice,   SoundOp::ReleaseCaptureDevice, SoundOp::ReleasePlayBuffer,
        SoundOp::ReleaseCaptureBuffer};
    EXPECT_EQ(rx.card.Log(), expected);
    EXPECT_EQ(logAtEventPass, (std::vector<std::size_t>{0, 1})); // one pass before each destroy
    EXPECT_EQ(rx.exchange.EventHandle, (std::array<std::int32_t, 2>{0, 0}));
}

} // namespace
} // namespace corvane
