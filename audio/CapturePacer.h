// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "SoundTypes.h"

#include <algorithm>
#include <cstdint>

namespace corvane {

// Lets captured frames into the capture ring at the clock's pace when the source delivers them
// in bursts. A source with a long fixed latency (a server's sine source, some virtual devices)
// hands over its whole latency at once, 2 s every 2 s; stored as they come, those frames would
// run the receiver through 47 blocks in a moment and its writer would lap the player many
// times over (78 playback restarts in 12 s). Held back at the server and let in at the
// stream's rate, the blocks come one every 42.7 ms as from a card, and the writer keeps its
// lead. What a source on the capture clock delivers a fragment at a time is never
// held: below BurstAboveFrames the pacer lets everything through at once, as before.
//
// A token count: credit grows at the stream's rate up to CreditFrames, a few milliseconds:
// credit saved while waiting for a burst that comes a little late is let through when it
// comes, and no more, so the blocks never come in a rush. The first delivery is held until a
// burst and a block could have come (it may be short: the source's first delivery comes at its
// own time), so the next burst is there before the first runs out; a source that starts
// delivering late therefore starts a burst later, with no gap after. Should more than two
// bursts (or the first delivery, if longer) and the credit wait (a source on a fast clock,
// after an hour or so at 500 ppm; a source that ran ahead, say after a stop), the excess goes
// at once: the latency stays bounded, at the cost of one jump. A source on a slow clock runs
// dry a little before each burst; the playback side keeps its lead on such a clock as on any
// other.
// Used by one thread (the capture side of a back end).
class CapturePacer {
public:
    static constexpr std::int64_t BurstAboveFrames =
        3 * BlockFrames; // 128 ms: beyond the ring's margin
    static constexpr std::int64_t CreditFrames = 512;
    static constexpr std::int64_t FirstMarginFrames = BlockFrames;
    static constexpr std::int64_t PaceRatePerSecond = SampleRate;

    // A new stream: nothing paced until SetBurst says the source delivers in bursts.
    void Start() {
        BurstFrames_ = 0;
        Holding_ = true;
        HoldStartNs_ = -1;
        FirstHeld_ = 0;
        CreditNano_ = 0;
    }
    // The longest stretch the source may deliver at once (its latency), in frames.
    void SetBurst(std::int64_t frames) { BurstFrames_ = frames > BurstAboveFrames ? frames : 0; }
    bool Pacing() const { return BurstFrames_ > 0; }

    // Frames of the `held` ones waiting that may be stored at monotonic time `nowNs`.
    std::int64_t Allowed(std::int64_t nowNs, std::int64_t held) {
        if (!Pacing()) {
            return held;
        }
        if (Holding_ && !Hold(nowNs, held)) {
            return 0;
        }
        Refill(nowNs);
        std::int64_t allowed = std::max<std::int64_t>(0, CreditNano_ / Nano);
        // The first delivery may be longer than a burst (a source woken from suspend gave two):
        // that is the stream's latency from then on, not a backlog to let go.
        const std::int64_t excess = held - (std::max(2 * BurstFrames_, FirstHeld_) + CreditFrames);
        if (excess > allowed) {
            allowed = excess;
        }
        return std::min(held, allowed);
    }
    // `frames` were stored. A backlog let go beyond the credit leaves no debt behind it.
    void Took(std::int64_t frames) {
        if (Pacing()) {
            CreditNano_ = std::max<std::int64_t>(0, CreditNano_ - frames * Nano);
        }
    }
    // Nanoseconds until `frames` more may be stored (0: now).
    std::int64_t WaitNs(std::int64_t frames) const {
        const std::int64_t missing = Holding_ ? HoldDeficit_ * Nano : frames * Nano - CreditNano_;
        return missing <= 0 ? 0 : (missing + PaceRatePerSecond - 1) / PaceRatePerSecond;
    }

private:
    static constexpr std::int64_t Nano = 1'000'000'000;

    // The first delivery waits until a burst and a block could have come since it began, as
    // many as are held now counting: true once it may go.
    bool Hold(std::int64_t nowNs, std::int64_t held) {
        if (HoldStartNs_ < 0) {
            HoldStartNs_ = nowNs;
        }
        FirstHeld_ = std::max(FirstHeld_, held);
        // Bounded before the product: a hold is never longer than a burst.
        const std::int64_t since = std::min<std::int64_t>(nowNs - HoldStartNs_, 60 * Nano);
        HoldDeficit_ = BurstFrames_ + FirstMarginFrames - held - since * PaceRatePerSecond / Nano;
        if (HoldDeficit_ > 0) {
            return false;
        }
        Holding_ = false;
        CreditNano_ = std::min(-HoldDeficit_, CreditFrames) * Nano;
        LastNs_ = nowNs;
        return true;
    }

    void Refill(std::int64_t nowNs) {
        if (nowNs > LastNs_) {
            // Bounded before the product, so a long pause cannot overflow it.
            const std::int64_t dt = std::min<std::int64_t>(nowNs - LastNs_, Nano);
            CreditNano_ = std::min(CreditFrames * Nano, CreditNano_ + dt * PaceRatePerSecond);
        }
        LastNs_ = nowNs;
    }

    std::int64_t BurstFrames_ = 0;
    bool Holding_ = true;           // the first delivery is being held
    std::int64_t HoldStartNs_ = -1; // when it came
    std::int64_t HoldDeficit_ = 0;  // frames still to wait for, at the last look
    std::int64_t FirstHeld_ = 0;    // the most held before the first frame went
    std::int64_t LastNs_ = 0;
    std::int64_t CreditNano_ = 0; // frames x 1e9
};

} // namespace corvane
