// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The lock-free pieces the audio callback uses: the notification queue and the sound rings.
#include "NotificationQueue.h"
#include "SoundRings.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace corvane {
namespace {

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

// Whether a play-ring position (bytes) lies in a segment: the block exchange's collision test
// before it writes that segment.
bool InSegment(std::int32_t position, std::int32_t segment) {
    const std::int32_t first = segment * SoundRings::SegmentFrames * FrameBytes;
    return first <= position && position < first + SoundRings::SegmentFrames * FrameBytes;
}

// One segment of playback frames, both channels holding base + the frame's number in the ring
// (from `first` on), so that what a request takes shows where in the ring it came from.
std::vector<std::int16_t> NumberedSegment(std::int32_t first, std::int32_t base = 0) {
    std::vector<std::int16_t> s(2 * SoundRings::SegmentFrames);
    for (std::size_t j = 0; j < s.size(); ++j) {
        s[j] = static_cast<std::int16_t>(base + first + static_cast<std::int32_t>(j / 2));
    }
    return s;
}

TEST(NotificationQueue, KeepsOrderWakesAndCountsOverflow) {
    NotificationQueue q;
    ASSERT_TRUE(q.Valid());
    EXPECT_FALSE(Readable(q.WakeFd()));
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(NotificationQueue::Capacity) + 5; ++i) {
        q.Push(i);
    }
    EXPECT_TRUE(Readable(q.WakeFd()));
    q.ClearWake();
    EXPECT_FALSE(Readable(q.WakeFd()));
    EXPECT_EQ(q.Dropped(), 5u);
    std::int32_t id = 0;
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(NotificationQueue::Capacity); ++i) {
        ASSERT_TRUE(q.Pop(id));
        EXPECT_EQ(id, i); // the first ones stay, the overflow is what was dropped
    }
    EXPECT_FALSE(q.Pop(id));
}

// One thread pushes, another pops: nothing lost, nothing reordered (and clean under TSan).
TEST(NotificationQueue, CrossThreadDeliveryIsComplete) {
    NotificationQueue q;
    constexpr std::int32_t Count = 200000;
    std::thread producer([&] {
        for (std::int32_t i = 1; i <= Count; ++i) {
            while (q.Pushed() - q.Handled() >= NotificationQueue::Capacity) {
                std::this_thread::yield();
            }
            q.Push(i);
        }
    });
    std::int32_t expected = 1;
    std::int32_t id = 0;
    while (expected <= Count) {
        if (q.Pop(id)) {
            ASSERT_EQ(id, expected);
            ++expected;
            q.Acknowledge();
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(q.Dropped(), 0u);
}

// Capture through the rings in random period sizes against the notification offsets the
// receiver arms (the last byte of each half): each event fires exactly once per pass of its
// frame, in order, and the half it announces already holds the frames.
TEST(SoundRings, NotificationsFireAtTheLastFrameOfEachHalfForAnyPeriod) {
    NotificationQueue q;
    SoundRings rings(q);
    const NotifyPosition positions[] = {{8191, 11}, {16383, 22}};
    rings.SetNotifications(positions);
    rings.SetCapturing(true);

    std::mt19937 rng(1234);
    std::uniform_int_distribution<std::int32_t> period(1, 1500);
    std::vector<std::int16_t> in;
    std::int64_t frame = 0;
    std::int32_t events = 0;
    std::vector<std::int16_t> half(4096);
    while (frame < 40 * 2048) {
        const std::int32_t n = period(rng);
        in.resize(static_cast<std::size_t>(2 * n));
        for (std::int32_t j = 0; j < n; ++j) {
            in[2 * j] = static_cast<std::int16_t>((frame + j) % 30000);
            in[2 * j + 1] = static_cast<std::int16_t>(-((frame + j) % 30000));
        }
        rings.Transfer(in.data(), nullptr, n);
        const std::int64_t end = frame + n;
        // Every half completed inside this period must be announced, in order.
        for (std::int64_t last = (frame / 2048) * 2048 + 2047; last < end; last += 2048) {
            if (last < frame) {
                continue;
            }
            std::int32_t id = 0;
            ASSERT_TRUE(q.Pop(id)) << "frame " << last;
            const std::int32_t h = static_cast<std::int32_t>((last / 2048) % 2);
            EXPECT_EQ(id, h == 0 ? 11 : 22);
            ++events;
            if (end - last <= 2048) { // not yet overwritten by the next pass
                rings.ReadCapture(h * 2048, half);
                const std::int64_t first = last - 2047;
                EXPECT_EQ(half[0], static_cast<std::int16_t>(first % 30000));
                EXPECT_EQ(half[4095], static_cast<std::int16_t>(-(last % 30000)));
            }
        }
        std::int32_t extra = 0;
        ASSERT_FALSE(q.Pop(extra)) << "unexpected event " << extra;
        frame = end;
    }
    EXPECT_EQ(events, 40);
    // A destroyed event is never signalled again.
    rings.ForgetEvent(11);
    std::vector<std::int16_t> silence(2 * 4096);
    rings.Transfer(silence.data(), nullptr, 4096);
    std::int32_t id = 0;
    ASSERT_TRUE(q.Pop(id));
    EXPECT_EQ(id, 22);
    EXPECT_FALSE(q.Pop(id));
}

TEST(SoundRings, PlayPositionLagsWritePositionByTheLatencyAndWraps) {
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetLatencyFrames(300);
    std::vector<std::int16_t> block(2 * 8192);
    for (std::size_t j = 0; j < block.size(); ++j) {
        block[j] = static_cast<std::int16_t>(j);
    }
    rings.WritePlay(0, block);
    rings.SetPlayPosition(8000);
    rings.SetPlaying(true);
    std::vector<std::int16_t> out(2 * 100);
    rings.Transfer(nullptr, out.data(), 100);
    // Just started: nothing fetched has been heard yet, but the play position never reaches
    // back before where playback was started.
    EXPECT_EQ(rings.Positions().Play, 8000 * 4);
    EXPECT_EQ(rings.Positions().Write, 8100 * 4);
    EXPECT_EQ(out[0], 16000);
    EXPECT_EQ(out[1], 16001);
    rings.Transfer(nullptr, out.data(), 100); // fetch wraps past the end of the ring
    EXPECT_EQ(rings.Positions().Write, 8 * 4);
    EXPECT_EQ(rings.Positions().Play, (8192 + 8 - 200) * 4);
    rings.Transfer(nullptr, out.data(), 100);
    EXPECT_EQ(rings.Positions().Play, (108 - 300 + 8192) * 4);
    EXPECT_EQ(out[0], 16);

    rings.SetPlaying(false); // stopped: silence, positions stay
    const PlayPositions before = rings.Positions();
    rings.Transfer(nullptr, out.data(), 100);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(rings.Positions().Write, before.Write);
}

// A server's sink takes frames in steps of its own (here 2304 frames, more than a block, as a
// PulseAudio null sink that rewinds does) and may start a stream seconds late. The play
// position must keep time between the steps and through the late start, and the frames taken
// must be those the position says.
TEST(SoundRings, ClockFollowingPlayerKeepsTimeBetweenLargeStepsAndThroughALateStart) {
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetFollowsClock(true);
    std::vector<std::int16_t> ring(2 * 8192);
    for (std::size_t j = 0; j < ring.size(); ++j) {
        ring[j] = static_cast<std::int16_t>(j / 2); // left and right: the frame's number
    }
    rings.WritePlay(0, ring);
    // The writer two blocks ahead of frame `at`.
    const auto keepAhead = [&](std::int32_t at) {
        std::vector<std::int16_t> ahead(2 * 4096);
        for (std::size_t j = 0; j < ahead.size(); ++j) {
            ahead[j] = static_cast<std::int16_t>((at + static_cast<std::int32_t>(j / 2)) % 8192);
        }
        rings.WritePlay(at, ahead);
    };
    constexpr std::int64_t Ms = 1000000; // ns
    const auto frameAt = [&](std::int64_t ns) { return rings.PositionsAt(ns).Play / 4; };

    // Set at t = 0, but the server takes nothing for 2 s: the player runs on the clock.
    rings.SetPlaying(true);
    rings.SetPlayPositionAt(0, 0);
    EXPECT_EQ(frameAt(0), 0);
    EXPECT_EQ(frameAt(10 * Ms), 480);
    EXPECT_EQ(frameAt(1000 * Ms), 48000 % 8192);
    EXPECT_EQ(rings.PositionsAt(1000 * Ms).Write, rings.PositionsAt(1000 * Ms).Play);

    // Its first request, at 2 s, starts where the clock has got to, less the half block any
    // running stream's first request may take.
    std::vector<std::int16_t> out(2 * 2304);
    const std::int32_t start = (96000 - 1024) % 8192;
    keepAhead(start);
    EXPECT_EQ(rings.FetchAt(out.data(), 2304, 2000 * Ms), 2304);
    EXPECT_EQ(out[0], start);
    EXPECT_EQ(out[2 * 2303], (start + 2303) % 8192);
    EXPECT_EQ(frameAt(2000 * Ms), start);
    EXPECT_EQ(rings.PositionsAt(2000 * Ms).Write / 4, (start + 2304) % 8192);
    // Between requests it moves with the clock through what was taken, and no further.
    EXPECT_EQ(frameAt(2024 * Ms), (start + 1152) % 8192);
    EXPECT_EQ(frameAt(2048 * Ms), (start + 2304) % 8192);
    EXPECT_EQ(frameAt(2100 * Ms), (start + 2304) % 8192); // the next request is late
    // The next request, early or late, continues from where the last one ended.
    // A server that asks for more than the writer has written gets only what was written.
    EXPECT_EQ(rings.FetchAt(out.data(), 2304, 2100 * Ms), 4096 - 2304);
    EXPECT_EQ(out[0], (start + 2304) % 8192);
    EXPECT_EQ(frameAt(2100 * Ms), (start + 2304) % 8192);
    EXPECT_EQ(frameAt(2200 * Ms), (start + 4096) % 8192);
    keepAhead((start + 4096) % 8192);
    rings.FetchAt(out.data(), 2304, 2100 * Ms);
    EXPECT_EQ(out[0], (start + 4096) % 8192);
    EXPECT_EQ(frameAt(2100 * Ms), (start + 4096) % 8192);
    EXPECT_EQ(frameAt(2124 * Ms), (start + 4096 + 1152) % 8192);

    // Over many regular requests the position never jumps by more than the clock moved.
    std::int64_t t = 2148 * Ms;
    std::int32_t last = frameAt(t);
    for (int k = 0; k < 400; ++k) {
        keepAhead(rings.PositionsAt(t).Write / 4);
        ASSERT_EQ(rings.FetchAt(out.data(), 2304, t), 2304);
        for (int step = 1; step <= 12; ++step) {
            const std::int64_t now = t + step * 4 * Ms;
            const std::int32_t at = frameAt(now);
            EXPECT_LE((at - last + 8192) % 8192, 192 + 1) << k;
            last = at;
        }
        t += 48 * Ms;
    }

    // A request soon after a set begins exactly at the set frame: nothing is dropped.
    rings.SetPlayPositionAt(4000, t);
    keepAhead(4000);
    rings.FetchAt(out.data(), 256, t + 20 * Ms);
    EXPECT_EQ(out[0], 4000);
    EXPECT_EQ(frameAt(t + 20 * Ms), 4000);
    t += 20 * Ms;

    // Stopped: silence, and the position holds.
    rings.SetPlaying(false);
    const std::int32_t held = frameAt(t + 10 * Ms); // the last request played out
    rings.FetchAt(out.data(), 100, t + 500 * Ms);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(frameAt(t + 900 * Ms), held);
}

// A writer on the capture's clock and a server sink on its own, requests of `request` frames
// (48 ms unless given), for ten minutes of blocks: each block the lead is kept and then checked
// as the block exchange does before it writes (the player must stay out of the segment written
// next). The sink's clock off by `ppm`; returns the frames the server got (left channel: the
// writer's frame count, modulo Count), whether the check ever failed and whether the server ever
// went short.
struct DriftRun {
    std::vector<std::int32_t> Heard;
    bool Collided = false;
    bool Starved = false; // a request got less than it asked for (a gap in the sound)
    std::uint64_t Slips = 0;
};
constexpr std::int32_t Count = 30000;
DriftRun RunAgainstADriftingSink(double ppm, bool keepLead, std::int32_t request = 2304,
                                 std::int64_t lateFrom = -1) {
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetFollowsClock(true);
    constexpr std::int64_t Second = 1000000000;
    // From block lateFrom on (if any), every block comes one block later.
    const auto blockAt = [&](std::int64_t k) {
        return (k + (lateFrom >= 0 && k >= lateFrom ? 1 : 0)) * 2048 * Second / 48000;
    };
    const double sinkRate = 48000.0 * (1.0 + ppm * 1e-6);
    const auto requestAt = [&](std::int64_t j) {
        return static_cast<std::int64_t>(static_cast<double>(j) * request / sinkRate * 1e9);
    };
    std::int32_t counted = 0; // frames written so far
    std::int32_t segment = 0;
    const auto writeBlock = [&] {
        std::vector<std::int16_t> block(2 * 2048);
        for (std::size_t j = 0; j < 2048; ++j) {
            block[2 * j] =
                static_cast<std::int16_t>((counted + static_cast<std::int32_t>(j)) % Count);
        }
        rings.WritePlay(segment * 2048, block);
        counted += 2048;
        segment = (segment + 1) % 4;
    };
    for (int k = 0; k < 3; ++k) {
        writeBlock();
    }
    rings.SetPlaying(true);
    rings.SetPlayPositionAt(0, blockAt(2));
    DriftRun run;
    std::vector<std::int16_t> out(2 * static_cast<std::size_t>(request));
    std::int64_t k = 3;
    std::int64_t j = static_cast<std::int64_t>(
        std::ceil(static_cast<double>(blockAt(2)) * sinkRate * 1e-9 / request));
    while (k < 14000) {
        if (requestAt(j) < blockAt(k)) {
            const std::int32_t got = rings.FetchAt(out.data(), request, requestAt(j));
            run.Starved = run.Starved || got < request;
            for (std::int32_t f = 0; f < got; ++f) {
                run.Heard.push_back(out[2 * static_cast<std::size_t>(f)]);
            }
            ++j;
            continue;
        }
        if (keepLead) {
            rings.KeepLead(blockAt(k));
        }
        if (InSegment(rings.PositionsAt(blockAt(k)).Play, segment)) {
            run.Collided = true;
            break;
        }
        writeBlock();
        ++k;
    }
    run.Slips = rings.LeadSlips();
    return run;
}

// Two clocks 200 ppm apart either way: left alone, within the ten minutes a slow sink lets the
// writer lap the player (a restart) and a fast one runs dry (gaps); kept, neither, and what the
// server hears is the written stream with single frames skipped (slow sink) or repeated (fast
// one), about as many as the clocks part (200 ppm of ten minutes is 5760 frames). On one clock
// nothing is ever skipped or repeated.
TEST(SoundRings, KeepsTheLeadOfAWriterOnAnotherClock) {
    for (const double ppm : {200.0, -200.0}) {
        SCOPED_TRACE(ppm);
        const DriftRun alone = RunAgainstADriftingSink(ppm, false);
        EXPECT_TRUE(ppm > 0 ? alone.Starved : alone.Collided);
        const DriftRun run = RunAgainstADriftingSink(ppm, true);
        EXPECT_FALSE(run.Collided);
        EXPECT_FALSE(run.Starved);
        EXPECT_GT(run.Slips, 4000u);
        EXPECT_LT(run.Slips, 7000u);
        std::uint64_t skips = 0;
        std::uint64_t repeats = 0;
        for (std::size_t f = 1; f < run.Heard.size(); ++f) {
            const std::int32_t step = (run.Heard[f] - run.Heard[f - 1] + Count) % Count;
            ASSERT_TRUE(step == 1 || step == 2 || step == 0) << "at frame " << f << ": " << step;
            skips += step == 2 ? 1u : 0u;
            repeats += step == 0 ? 1u : 0u;
        }
        EXPECT_EQ(ppm > 0 ? skips : repeats, 0u); // a faster sink needs frames repeated
        EXPECT_EQ(skips + repeats, run.Slips);
    }
    const DriftRun same = RunAgainstADriftingSink(0.0, true);
    EXPECT_FALSE(same.Collided);
    EXPECT_FALSE(same.Starved);
    EXPECT_EQ(same.Slips, 0u);
    for (std::size_t f = 1; f < same.Heard.size(); ++f) {
        ASSERT_EQ((same.Heard[f] - same.Heard[f - 1] + Count) % Count, 1) << f;
    }
}

// The writer falls a block behind for good on the sink's own clock (a PipeWire record stream
// moved to another source delivers from then on a block later), and the server asks for 4096
// frames at a time, more than the writer is then ahead of it: the lead is rebuilt by repeating
// single frames, about a block of them, while the server never goes short and the player never
// runs into the segment written next.
TEST(SoundRings, RebuildsTheLeadAfterTheWriterFellABlockBehind) {
    for (const std::int64_t lateFrom : {400, 1000}) {
        SCOPED_TRACE(lateFrom);
        const DriftRun run = RunAgainstADriftingSink(0.0, true, 4096, lateFrom);
        EXPECT_FALSE(run.Collided);
        EXPECT_FALSE(run.Starved);
        EXPECT_GT(run.Slips, 1900u);
        EXPECT_LT(run.Slips, 2300u);
        for (std::size_t f = 1; f < run.Heard.size(); ++f) {
            const std::int32_t step = (run.Heard[f] - run.Heard[f - 1] + Count) % Count;
            ASSERT_TRUE(step == 1 || step == 0) << "at frame " << f << ": " << step;
        }
    }
}

// A server that takes all it can (a PulseAudio stream moved to another sink runs dry there and
// refills) must not put its position on the segment the writer writes next: the block exchange
// would take that for a player that overran the writer and restart playback, a jump, though
// nothing stale was played. Holding back the last frame written keeps it off; without, it lands
// there.
TEST(SoundRings, AServerThatTakesAllThatIsWrittenStaysOffTheSegmentWrittenNext) {
    constexpr std::int64_t Ms = 1000000; // ns
    constexpr std::int32_t Segment = SoundRings::SegmentFrames;
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "the last frame kept back" : "all taken");
        NotificationQueue q;
        SoundRings rings(q);
        rings.SetFollowsClock(true);
        rings.SetKeepsLastFrame(keep);
        const auto write = [&](std::int32_t index) {
            rings.WritePlay(index * Segment, NumberedSegment(index * Segment));
        };
        // The exchange's test before it writes segment `next`: neither position inside it.
        const auto offNext = [&](std::int32_t next, std::int64_t ns) {
            const PlayPositions at = rings.PositionsAt(ns);
            return !InSegment(at.Play, next) && !InSegment(at.Write, next);
        };
        for (std::int32_t k = 0; k < 3; ++k) {
            write(k);
        }
        rings.SetPlaying(true);
        rings.SetPlayPositionAt(0, 0);
        std::vector<std::int16_t> out(2 * 8192);
        // One request for the whole ring: what was written, less the last frame when kept.
        ASSERT_EQ(rings.FetchAt(out.data(), 8192, 1 * Ms), 3 * Segment - (keep ? 1 : 0));
        EXPECT_EQ(offNext(3, 2000 * Ms), keep);
        if (!keep) {
            continue;
        }
        for (const std::int64_t ns : {1 * Ms, 20 * Ms, 200 * Ms}) {
            EXPECT_TRUE(offNext(3, ns)) << ns;
        }
        // And again a lap on, over the ring's end: the frame held back comes first.
        write(3);
        ASSERT_EQ(rings.FetchAt(out.data(), 8192, 2001 * Ms), Segment);
        EXPECT_EQ(out[0], 3 * Segment - 1);
        EXPECT_EQ(out[2 * (Segment - 1)], 4 * Segment - 2);
        for (const std::int64_t ns : {2001 * Ms, 2100 * Ms, 4000 * Ms}) {
            EXPECT_TRUE(offNext(0, ns)) << ns;
        }
    }
}

// A server whose sink rewound holds enough and stops asking for a while; the writer, a block
// a block, comes round to frames it has not taken. Those go to it first, and the play
// position then stays out of the segment the writer writes next.
TEST(SoundRings, FramesAWriterWouldLapAreHandedOverFirst) {
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetFollowsClock(true);
    constexpr std::int64_t Ms = 1000000; // ns
    for (std::int32_t k = 0; k < 3; ++k) {
        rings.WritePlay(k * 2048, NumberedSegment(k * 2048)); // the first lap: the frame's number
    }
    rings.SetPlaying(true);
    rings.SetPlayPositionAt(0, 0);
    std::vector<std::int16_t> out(2 * 8192);
    ASSERT_EQ(rings.FetchAt(out.data(), 256, 1 * Ms), 256);
    EXPECT_EQ(rings.UntakenAtRisk(1 * Ms), 0);
    rings.WritePlay(6144, NumberedSegment(6144));
    // 7936 frames written and not taken: the next segment (frames 0-2047 again) would
    // overwrite 1792 of them.
    EXPECT_EQ(rings.UntakenAtRisk(2 * Ms), 1792 + 1);
    // Not handed over when a position set waits, or when the server has stopped asking.
    EXPECT_EQ(rings.UntakenAtRisk(1 * Ms + SoundRings::StaleRequestNs + 1), 0);

    ASSERT_EQ(rings.HandOver(out.data(), 1793, 2 * Ms), 1793);
    EXPECT_EQ(out[0], 256);
    EXPECT_EQ(out[2 * 1792], 2048);
    EXPECT_EQ(rings.PositionsAt(2 * Ms).Play / 4, 2049); // taken at once
    EXPECT_EQ(rings.PositionsAt(2 * Ms).Write / 4, 2049);
    EXPECT_EQ(rings.UntakenAtRisk(2 * Ms), 0);
    // With the segment written, the rest of the first lap is still there to take, in order,
    // then the second lap.
    rings.WritePlay(0, NumberedSegment(0, 10000));
    EXPECT_EQ(rings.UntakenAtRisk(3 * Ms), 8191 - 6144 + 1); // the server still asks for nothing
    ASSERT_EQ(rings.FetchAt(out.data(), 8191, 3 * Ms), 8191);
    EXPECT_EQ(out[0], 2049);
    EXPECT_EQ(out[2 * (8191 - 2048)], 10000);
    EXPECT_EQ(out[2 * 8190], 10000 + 2047);
    EXPECT_EQ(rings.UntakenAtRisk(3 * Ms), 0);

    // A running stream that keeps up is never handed anything.
    rings.WritePlay(2048, NumberedSegment(2048, 10000));
    EXPECT_EQ(rings.UntakenAtRisk(4 * Ms), 0);
    rings.SetPlayPositionAt(0, 5 * Ms);
    rings.WritePlay(4096, NumberedSegment(4096, 10000));
    rings.WritePlay(6144, NumberedSegment(6144, 10000));
    EXPECT_EQ(rings.UntakenAtRisk(5 * Ms), 0);
}

// A PulseAudio stream fed unasked in one sink and moved back to another holds more than it
// asks for and asks for nothing for longer than StaleRequestNs, while it plays on. Seen playing
// (its server's read position moving on), it goes on being handed what the writer is about to
// lap, and the play position stays out of the segment written next. Not seen, it is taken for
// a stopped server and not fed, and the writer comes round to where its taking ended.
TEST(SoundRings, AServerSeenPlayingIsFedThoughItDoesNotAsk) {
    constexpr std::int64_t Ms = 1000000; // ns
    constexpr std::int32_t Segment = SoundRings::SegmentFrames;
    const auto blockAt = [](std::int64_t k) { return k * Segment * 1'000'000'000LL / SampleRate; };
    for (const bool seen : {true, false}) {
        SCOPED_TRACE(seen ? "seen playing" : "not seen");
        NotificationQueue q;
        SoundRings rings(q);
        rings.SetFollowsClock(true);
        rings.SetKeepsLastFrame(true);
        std::int32_t base = 0; // the lap, so that stale frames would show
        const auto write = [&](std::int32_t index) {
            rings.WritePlay(index * Segment, NumberedSegment(index * Segment, base));
        };
        for (std::int32_t k = 0; k < 3; ++k) {
            write(k);
        }
        rings.SetPlaying(true);
        rings.SetPlayPositionAt(0, 0);
        std::vector<std::int16_t> out(2 * 8192);
        ASSERT_EQ(rings.FetchAt(out.data(), 8192, 1 * Ms), 3 * Segment - 1);
        std::int32_t expected = 3 * Segment - 1; // the next frame the server should get
        bool collided = false;
        for (std::int64_t k = 3; k < 40 && !collided; ++k) { // 1.7 s without a request
            const std::int64_t ns = blockAt(k);
            if (seen && k % 3 == 0) {
                rings.NoteDevicePlaying(ns);
            }
            if (const std::int32_t untaken = rings.UntakenAtRisk(ns); untaken > 0) {
                const std::int32_t given = rings.HandOver(out.data(), untaken, ns);
                for (std::int32_t f = 0; f < given; ++f, ++expected) {
                    ASSERT_EQ(out[2 * static_cast<std::size_t>(f)],
                              static_cast<std::int16_t>(expected))
                        << "block " << k;
                }
            }
            const std::int32_t next = static_cast<std::int32_t>(k % 4);
            collided = InSegment(rings.PositionsAt(ns).Play, next);
            if (next == 0) {
                base += 4 * Segment;
            }
            write(next);
        }
        EXPECT_EQ(collided, !seen);
        if (seen) {
            EXPECT_GT(expected, 36 * Segment); // all but the last frame written went out in order
        }
    }
}

// A sink input moved to another sink is rewound there: the server's queue grows, it stops
// asking for a while (the writer's frames are handed over meanwhile), and then asks for each
// request so far behind the writer that the play position, walking through the request with
// the clock, starts in the segment written next, in frames the server took long ago (traced:
// a request of 2306 frames at 2 ms before the write, the play position 576 frames into it).
// One frame handed over brings it to where the server's taking is; the server's frames stay
// in order.
TEST(SoundRings, AServerFarBehindTheWriterLeavesThePlayerOutOfTheSegmentWrittenNext) {
    constexpr std::int64_t Ms = 1000000; // ns
    constexpr std::int32_t Segment = SoundRings::SegmentFrames;
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "the last frame kept back" : "all taken");
        NotificationQueue q;
        SoundRings rings(q);
        rings.SetFollowsClock(true);
        rings.SetKeepsLastFrame(keep);
        const auto write = [&](std::int32_t index) {
            rings.WritePlay(index * Segment, NumberedSegment(index * Segment));
        };
        for (std::int32_t k = 0; k < 3; ++k) {
            write(k);
        }
        rings.SetPlaying(true);
        rings.SetPlayPositionAt(0, 0);
        std::vector<std::int16_t> out(2 * 8192);
        ASSERT_EQ(rings.FetchAt(out.data(), 484, 1 * Ms), 484);
        write(3);
        ASSERT_EQ(rings.FetchAt(out.data(), 2306, 40 * Ms), 2306);
        // Before segment 0 is written: the server has taken up to frame 2790, in segment 1,
        // but the play position is 484 + 96 frames into segment 0.
        const PlayPositions before = rings.PositionsAt(42 * Ms);
        ASSERT_EQ(before.Write / 4, 2790);
        ASSERT_LT(before.Play / 4, Segment);
        ASSERT_EQ(rings.UntakenAtRisk(42 * Ms), 1);
        ASSERT_EQ(rings.HandOver(out.data(), 1, 42 * Ms), 1);
        EXPECT_EQ(out[0], 2790);
        const PlayPositions after = rings.PositionsAt(42 * Ms);
        EXPECT_EQ(after.Play / 4, 2791);
        EXPECT_EQ(after.Write / 4, 2791);
        EXPECT_EQ(rings.UntakenAtRisk(42 * Ms), 0);
        // The next request goes on from there.
        write(0);
        ASSERT_EQ(rings.FetchAt(out.data(), 2048, 60 * Ms), 2048);
        EXPECT_EQ(out[0], 2791);
        EXPECT_EQ(out[2 * 2047], 2791 + 2047);
    }
    // A server that took all there is cannot be handed anything: nothing to give.
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetFollowsClock(true);
    std::vector<std::int16_t> block(2 * Segment, 1);
    for (std::int32_t k = 0; k < 3; ++k) {
        rings.WritePlay(k * Segment, block);
    }
    rings.SetPlaying(true);
    rings.SetPlayPositionAt(0, 0);
    std::vector<std::int16_t> out(2 * 8192);
    ASSERT_EQ(rings.FetchAt(out.data(), 100, 1 * Ms), 100);
    rings.WritePlay(3 * Segment, block);
    ASSERT_EQ(rings.FetchAt(out.data(), 8192, 2 * Ms), 8092);
    ASSERT_LT(rings.PositionsAt(2 * Ms).Play / 4, Segment);
    EXPECT_EQ(rings.UntakenAtRisk(2 * Ms), 0);
}

// A server that ran dry keeps its time: what comes late is dropped, and with no lead left it
// runs dry again at nearly every request (traced after a record stream was moved back: 241
// underflows in 10 s). The first short request after it ran dry is filled with silence, once,
// which is the lead again; a request the writer was ahead of again fills nothing.
TEST(SoundRings, ARequestAfterTheServerRanDryIsFilledWithSilenceOnce) {
    constexpr std::int64_t Ms = 1000000; // ns
    constexpr std::int32_t Segment = SoundRings::SegmentFrames;
    NotificationQueue q;
    SoundRings rings(q);
    rings.SetFollowsClock(true);
    std::vector<std::int16_t> block(2 * Segment, 7);
    rings.WritePlay(0, block);
    rings.SetPlaying(true);
    rings.SetPlayPositionAt(0, 0);
    std::vector<std::int16_t> out(2 * 8192, -1);
    ASSERT_EQ(rings.FetchAt(out.data(), 3074, 1 * Ms), Segment); // short, not yet dry
    rings.NoteRanDry();
    rings.WritePlay(Segment, block);
    std::fill(out.begin(), out.end(), -1);
    ASSERT_EQ(rings.FetchAt(out.data(), 3074, 43 * Ms), 3074);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2 * Segment - 1], 7);
    EXPECT_EQ(out[2 * Segment], 0);
    EXPECT_EQ(out[2 * 3074 - 1], 0);
    EXPECT_EQ(out[2 * 3074], -1); // nothing beyond the request
    EXPECT_EQ(rings.DryFills(), 1u);
    // The silence is no frame of the ring: the next block comes next, and only once filled.
    EXPECT_EQ(rings.PositionsAt(43 * Ms).Write / 4, 2 * Segment);
    EXPECT_EQ(rings.FetchAt(out.data(), 3074, 60 * Ms), 0);
    rings.WritePlay(2 * Segment, block);
    EXPECT_EQ(rings.FetchAt(out.data(), 3074, 86 * Ms), Segment);
    EXPECT_EQ(rings.DryFills(), 1u);
    // Dry, but the writer is ahead again at the next request: nothing filled then or later.
    rings.NoteRanDry();
    rings.WritePlay(3 * Segment, block);
    rings.WritePlay(0, block);
    EXPECT_EQ(rings.FetchAt(out.data(), 3000, 130 * Ms), 3000);
    EXPECT_EQ(rings.FetchAt(out.data(), 3000, 170 * Ms), 2 * Segment - 3000);
    EXPECT_EQ(rings.DryFills(), 1u);
}

} // namespace
} // namespace corvane
