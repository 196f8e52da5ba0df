// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "CapturePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t Ms = 1'000'000; // ns
constexpr std::int64_t Block = 2048;

// A source that delivers `burst` frames every `periodNs` (the first delivery `first` frames at
// `firstNs`), read the way the back end reads: at every delivery and on a 5 ms timer, storing
// what the pacer allows. Returns when each block was complete (ns), and the most frames held.
struct PacedRun {
    std::vector<std::int64_t> BlockTimes;
    std::int64_t MostHeld = 0;
};
PacedRun Simulate(CapturePacer& pacer, std::int64_t first, std::int64_t firstNs, std::int64_t burst,
                  std::int64_t periodNs, std::int64_t untilNs, std::int64_t jitterNs = 0) {
    PacedRun run;
    std::int64_t held = 0;
    std::int64_t stored = 0;
    std::int64_t nextDelivery = firstNs;
    std::int64_t deliveries = 0;
    for (std::int64_t now = 0; now < untilNs; now += Ms / 4) {
        bool look = now % (5 * Ms) == 0;
        if (now >= nextDelivery) {
            held += deliveries == 0 ? first : burst;
            ++deliveries;
            // Late by up to jitterNs now and then, on the source's own steady period.
            nextDelivery = firstNs + deliveries * periodNs + (deliveries % 3 == 1 ? jitterNs : 0);
            look = true;
        }
        if (!look || held == 0) {
            continue;
        }
        const std::int64_t n = pacer.Allowed(now, held);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, held);
        pacer.Took(n);
        held -= n;
        for (std::int64_t b = stored / Block; b < (stored + n) / Block; ++b) {
            run.BlockTimes.push_back(now);
        }
        stored += n;
        run.MostHeld = std::max(run.MostHeld, held);
    }
    return run;
}

void ExpectClockPace(const PacedRun& run, std::int64_t fromBlock) {
    ASSERT_GT(static_cast<std::int64_t>(run.BlockTimes.size()), fromBlock + 100);
    std::int64_t shortest = INT64_MAX;
    std::int64_t longest = 0;
    for (std::size_t i = static_cast<std::size_t>(fromBlock) + 1; i < run.BlockTimes.size(); ++i) {
        const std::int64_t d = run.BlockTimes[i] - run.BlockTimes[i - 1];
        shortest = std::min(shortest, d);
        longest = std::max(longest, d);
    }
    // 42.7 ms a block; a 5 ms look and the small credit move a block by a little either way.
    EXPECT_GE(shortest, 25 * Ms);
    EXPECT_LE(longest, 55 * Ms);
}

TEST(CapturePacer, LetsASourceOnTheClockThroughAtOnce) {
    CapturePacer pacer;
    pacer.Start();
    for (const std::int64_t latency : {0, 256, 2048, 3 * 2048}) {
        pacer.SetBurst(latency);
        EXPECT_FALSE(pacer.Pacing()) << latency;
        EXPECT_EQ(pacer.Allowed(0, 100000), 100000);
        EXPECT_EQ(pacer.Allowed(1, 7), 7);
    }
}

TEST(CapturePacer, TurnsTwoSecondBurstsIntoBlocksAtTheClocksPace) {
    // The first delivery short or long (the source's phase), bursts on time or up to 20 ms late.
    // A source woken from suspend gave 4.2 s at first: that stays the latency, nothing jumps.
    for (const std::int64_t first : {20000, 80000, 96000, 112000, 200000}) {
        for (const std::int64_t jitter : {0 * Ms, 20 * Ms}) {
            CapturePacer pacer;
            pacer.Start();
            pacer.SetBurst(96000);
            ASSERT_TRUE(pacer.Pacing());
            const PacedRun run =
                Simulate(pacer, first, 1900 * Ms, 96000, 2000 * Ms, 60'000 * Ms, jitter);
            SCOPED_TRACE(testing::Message() << "first " << first << " jitter " << jitter);
            ExpectClockPace(run, 0);
            // Held: at most a burst and the first delivery's excess (the latency it costs).
            EXPECT_LE(run.MostHeld, 96000 + std::max<std::int64_t>(first, 96000) + 2 * Block);
            // Nothing left behind: all but the latest burst went into the ring.
            EXPECT_GE(static_cast<std::int64_t>(run.BlockTimes.size()) * Block,
                      first + 28 * 96000 - 96000 - 4 * Block);
        }
    }
}

TEST(CapturePacer, KeepsTheBlocksEvenOnASourceOnAnotherClock) {
    // 500 ppm fast or slow for ten minutes: 0.3 s more or less than the stream's rate by then.
    for (const std::int64_t burst : {96048, 95952}) {
        CapturePacer pacer;
        pacer.Start();
        pacer.SetBurst(96000);
        const PacedRun run = Simulate(pacer, 96000, 100 * Ms, burst, 2000 * Ms, 600'000 * Ms);
        SCOPED_TRACE(burst);
        ExpectClockPace(run, 0);
        EXPECT_LE(run.MostHeld, 2 * 96048 + 2 * Block);
        EXPECT_GE(static_cast<std::int64_t>(run.BlockTimes.size()) * Block,
                  96000 + 298 * burst - 96000 - 2 * Block - 300 * 48); // 0.3 s behind at most
    }
}

TEST(CapturePacer, LetsABacklogGoRatherThanKeepItAsLatency) {
    CapturePacer pacer;
    pacer.Start();
    pacer.SetBurst(96000);
    // Steady first, then a source that ran ahead delivers 5 s at once.
    EXPECT_EQ(pacer.Allowed(0, 96000 + Block), 0);
    const std::int64_t later = pacer.Allowed(2 * Ms, 5 * 48000);
    EXPECT_GE(5 * 48000 - later, 2 * 96000);
    EXPECT_LE(5 * 48000 - later, 2 * 96000 + CapturePacer::CreditFrames);
    pacer.Took(later);
    // Then the pace again: about 48 frames a millisecond, never a rush.
    EXPECT_LE(pacer.Allowed(12 * Ms, 2 * 96000), 10 * 48);
}

TEST(CapturePacer, HoldsTheFirstDeliveryCountingEveryPieceOfIt) {
    CapturePacer pacer;
    pacer.Start();
    pacer.SetBurst(96000);
    EXPECT_EQ(pacer.Allowed(0, 30000), 0);
    EXPECT_NEAR(static_cast<double>(pacer.WaitNs(256)), (98048.0 - 30000) / 48000 * 1e9, 1e5);
    // The rest of the delivery comes in more packets: it goes once a burst and a block wait.
    EXPECT_EQ(pacer.Allowed(1 * Ms, 90000), 0);
    EXPECT_GT(pacer.Allowed(2 * Ms, 100000), 0);
}

TEST(CapturePacer, WaitsAsLongAsTheCreditNeeds) {
    CapturePacer pacer;
    pacer.Start();
    pacer.SetBurst(96000);
    const std::int64_t n = pacer.Allowed(0, 3 * 96000);
    pacer.Took(n);
    EXPECT_EQ(pacer.Allowed(0, 3 * 96000 - n), 0);
    const std::int64_t wait = pacer.WaitNs(256);
    EXPECT_NEAR(static_cast<double>(wait), 256.0 / 48000 * 1e9, 1e3);
    EXPECT_GE(pacer.Allowed(wait, 3 * 96000 - n), 256);
    EXPECT_LT(pacer.Allowed(wait, 3 * 96000 - n), 260);
}

} // namespace
} // namespace corvane
