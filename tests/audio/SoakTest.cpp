// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// A long run of the exchange on the virtual card: device time runs in random periods and the
// UI thread stalls for random stretches shorter than one block before it handles each
// notification. The played audio must hold every processed block once, in capture order.
//
// The stall stays below one block less the card's latency: the collision test also looks at
// the play position, which trails the write position by the latency, so a longer stall at the
// moment playback restarts would later count as a collision and restart playback again.
#include "AudioTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace corvane {
namespace {

using test::CountingSource;
using test::RunEvents;
using test::SequenceSink;
using test::TestClient;

std::int64_t SoakBlocks() {
    if (const char* env = std::getenv("CORVANE_SOAK_BLOCKS"); env != nullptr) {
        return std::atoll(env);
    }
#if defined(__SANITIZE_THREAD__)
    return 10000; // every ring access is instrumented: the full run takes too long here
#else
    return 100000; // about 70 minutes of audio
#endif
}

TEST(Soak, StallsShorterThanABlockLoseNothing) {
    const std::int64_t blocks = SoakBlocks();
    constexpr std::int32_t Latency = 256;
    CountingSource source;
    SequenceSink sink;
    TestClient client;
    VirtualSoundCard card(source, sink, {CardClock::Caller, 256, Latency});
    BlockExchange exchange(card, client);
    ASSERT_TRUE(exchange.CreateDevices().Ok());
    ASSERT_TRUE(exchange.SetEvents().Ok());
    ASSERT_TRUE(exchange.StartCapture().Ok());

    std::mt19937 rng(20240607);
    std::uniform_int_distribution<std::int32_t> period(32, 1024);
    constexpr std::int32_t MaxDelay = 2047 - Latency; // frames from notification to handling
    std::uniform_int_distribution<std::int32_t> stall(0, MaxDelay);
    NotificationQueue& queue = card.Notifications();
    const auto start = std::chrono::steady_clock::now();
    std::int64_t stalls = 0;
    while (static_cast<std::int64_t>(queue.Handled()) < blocks) {
        // Run the device in random periods until it signals the next notification...
        const std::uint64_t pushed = queue.Pushed();
        std::int32_t overshoot = 0;
        while (queue.Pushed() == pushed) {
            const std::int32_t n = period(rng);
            const std::int64_t before = card.FramesRun();
            card.Advance(n, n);
            overshoot = static_cast<std::int32_t>(card.FramesRun() - before);
        }
        // ...then keep it running while the UI thread is busy elsewhere, for less than what
        // remains of the next block (the notification itself may lie anywhere in the period).
        const std::int32_t extra = std::min(stall(rng), MaxDelay - overshoot);
        if (extra > 0) {
            card.Advance(extra, extra);
            ++stalls;
        }
        RunEvents();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(exchange.StopBuffers().Ok());

    EXPECT_EQ(sink.Breaks.load(), 0);
    EXPECT_TRUE(client.Failures.empty());
    EXPECT_EQ(queue.Dropped(), 0u);
    EXPECT_EQ(client.MaxDepth, 1);
    // Playback stays 3 to 4 blocks behind capture and everything up to there was played.
    EXPECT_GE(sink.Lag, 3 * 2048);
    EXPECT_LT(sink.Lag, 4 * 2048);
    EXPECT_GE(sink.BlocksPlayed.load(), client.Processed - 4);
    EXPECT_GT(stalls, blocks / 2);
    std::printf("soak: %lld blocks (%.1f min of audio) in %.2f s: %.0f blocks/s, lag %lld "
                "frames\n",
                static_cast<long long>(blocks), static_cast<double>(blocks) * 2048 / 48000 / 60,
                seconds, static_cast<double>(blocks) / seconds, static_cast<long long>(sink.Lag));
    std::fflush(stdout);
}

} // namespace
} // namespace corvane
