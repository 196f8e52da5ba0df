// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "SoundRings.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvane {

namespace {

std::uint32_t PackFrame(std::int16_t left, std::int16_t right) {
    return static_cast<std::uint16_t>(left) |
           (static_cast<std::uint32_t>(static_cast<std::uint16_t>(right)) << 16);
}

std::int16_t LeftOf(std::uint32_t frame) {
    return static_cast<std::int16_t>(frame & 0xffffu);
}

std::int16_t RightOf(std::uint32_t frame) {
    return static_cast<std::int16_t>(frame >> 16);
}

// How many frames the capture ring's frame `at` lies ahead of frame `from`, going round.
std::int32_t FramesAhead(std::int32_t at, std::int32_t from) {
    return ((at - from) % CaptureRingFrames + CaptureRingFrames) % CaptureRingFrames;
}

std::uint64_t PackPlayState(std::uint32_t fetch, std::uint32_t fetchedSinceSet) {
    return fetch | (static_cast<std::uint64_t>(fetchedSinceSet) << 32);
}

} // namespace

void SoundRings::SetNotifications(std::span<const NotifyPosition> positions) {
    for (std::int32_t i = 0; i < MaxNotifications; ++i) {
        NotifyEvent_[i].store(0, std::memory_order_relaxed);
    }
    const std::size_t n = std::min<std::size_t>(positions.size(), MaxNotifications);
    for (std::size_t i = 0; i < n; ++i) {
        NotifyFrame_[i].store(positions[i].Offset / FrameBytes, std::memory_order_relaxed);
        NotifyEvent_[i].store(positions[i].EventId, std::memory_order_release);
    }
}

void SoundRings::ForgetEvent(std::int32_t eventId) {
    for (auto& event : NotifyEvent_) {
        std::int32_t expected = eventId;
        event.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    }
}

void SoundRings::SetCapturing(bool on) {
    if (on && !Capturing()) {
        for (auto& queued : Queued_) {
            queued.store(0, std::memory_order_relaxed);
        }
    }
    Capturing_.store(on, std::memory_order_release);
}

bool SoundRings::TakeNotification(std::int32_t eventId) {
    for (std::int32_t i = 0; i < MaxNotifications; ++i) {
        if (eventId == 0 || NotifyEvent_[i].load(std::memory_order_acquire) != eventId) {
            continue;
        }
        if (Queued_[i].load(std::memory_order_acquire) > 1) {
            Queued_[i].fetch_sub(1, std::memory_order_acq_rel);
            Merged_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        return true; // it leaves when its half has been read
    }
    return true;
}

void SoundRings::ReadCapture(std::int32_t frame, std::span<std::int16_t> dest) {
    const std::size_t frames = dest.size() / 2;
    for (std::size_t j = 0; j < frames; ++j) {
        const std::uint32_t v =
            Capture_[(static_cast<std::size_t>(frame) + j) % CaptureRingFrames].load(
                std::memory_order_relaxed);
        dest[2 * j] = LeftOf(v);
        dest[2 * j + 1] = RightOf(v);
    }
    for (std::int32_t i = 0; i < MaxNotifications; ++i) {
        const std::int32_t at = NotifyFrame_[i].load(std::memory_order_relaxed);
        if (static_cast<std::size_t>(FramesAhead(at, frame)) >= frames) {
            continue;
        }
        std::int32_t queued = Queued_[i].load(std::memory_order_acquire);
        while (queued > 0 &&
               !Queued_[i].compare_exchange_weak(queued, queued - 1, std::memory_order_seq_cst)) {
        }
    }
}

void SoundRings::WritePlay(std::int32_t frame, std::span<const std::int16_t> src) {
    const std::size_t frames = src.size() / 2;
    for (std::size_t j = 0; j < frames; ++j) {
        Play_[(static_cast<std::size_t>(frame) + j) % PlayRingFrames].store(
            PackFrame(src[2 * j], src[2 * j + 1]), std::memory_order_relaxed);
    }
    WrittenEnd_.store(
        static_cast<std::int32_t>((static_cast<std::size_t>(frame) + frames) % PlayRingFrames),
        std::memory_order_release);
}

PlayPositions SoundRings::Positions() const {
    if (FollowsClock_) {
        return PositionsAt(SteadyNowNs());
    }
    const std::uint64_t state = PlayState_.load(std::memory_order_acquire);
    const auto fetch = static_cast<std::int32_t>(state & 0xffffffffu);
    const auto since = static_cast<std::int64_t>(state >> 32);
    const std::int64_t lag = std::min<std::int64_t>(since, LatencyFrames());
    const auto play = static_cast<std::int32_t>(((fetch - lag) % PlayRingFrames + PlayRingFrames) %
                                                PlayRingFrames);
    return {play * FrameBytes, fetch * FrameBytes};
}

void SoundRings::SetPlayPosition(std::int32_t frame) {
    if (FollowsClock_) {
        SetPlayPositionAt(frame, SteadyNowNs());
        return;
    }
    PlayState_.store(PackPlayState(static_cast<std::uint32_t>(frame % PlayRingFrames), 0),
                     std::memory_order_release);
}

void SoundRings::StoreCaptured(const std::int16_t* in, std::int32_t frames) noexcept {
    Captured_.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
    std::int32_t pos = CaptureFrame_.load(std::memory_order_relaxed);
    while (frames > 0) {
        // Up to the ring's end or the first notification frame inside this stretch, inclusive.
        std::int32_t n = std::min(frames, CaptureRingFrames - pos);
        const Notice next = NextNotification(pos); // the one that closes the stretch written
        const bool closes = next.Slot >= 0 && next.Ahead < n;
        if (closes) {
            n = next.Ahead + 1;
        }
        if (next.Slot >= 0 && !OverrunCounted_[next.Slot] &&
            Queued_[next.Slot].load(std::memory_order_acquire) > 0) {
            OverrunCounted_[next.Slot] = true; // its half is being overwritten unread
            Overruns_.fetch_add(1, std::memory_order_relaxed);
        }
        for (std::int32_t j = 0; j < n; ++j) {
            const std::uint32_t v = in != nullptr ? PackFrame(in[2 * j], in[2 * j + 1]) : 0u;
            Capture_[static_cast<std::size_t>(pos + j)].store(v, std::memory_order_relaxed);
        }
        if (in != nullptr) {
            in += 2 * n;
        }
        pos = (pos + n) % CaptureRingFrames;
        CaptureFrame_.store(pos, std::memory_order_release);
        if (closes) {
            OverrunCounted_[next.Slot] = false;
            Queued_[next.Slot].fetch_add(1, std::memory_order_acq_rel);
            Queue_.Push(next.Event);
        }
        frames -= n;
    }
}

SoundRings::Notice SoundRings::NextNotification(std::int32_t pos) const noexcept {
    Notice next{-1, CaptureRingFrames, 0};
    for (std::int32_t i = 0; i < MaxNotifications; ++i) {
        const std::int32_t id = NotifyEvent_[i].load(std::memory_order_acquire);
        if (id == 0) {
            continue;
        }
        const std::int32_t ahead =
            FramesAhead(NotifyFrame_[i].load(std::memory_order_relaxed), pos);
        if (ahead < next.Ahead) {
            next = {i, ahead, id};
        }
    }
    return next;
}

std::int32_t SoundRings::CaptureRoom() const noexcept {
    const Notice next = NextNotification(CaptureFrame_.load(std::memory_order_relaxed));
    if (next.Slot < 0) {
        return CaptureRingFrames;
    }
    // The stretch up to the next notification is that notification's half: unread, it waits.
    return Queued_[next.Slot].load(std::memory_order_acquire) > 0 ? 0 : next.Ahead + 1;
}

void SoundRings::Transfer(const std::int16_t* in, std::int16_t* out, std::int32_t frames) noexcept {
    Capture(in, frames);
    if (out != nullptr) {
        Fetch(out, frames);
    }
}

void SoundRings::Capture(const std::int16_t* in, std::int32_t frames) noexcept {
    if (Capturing_.load(std::memory_order_acquire)) {
        StoreCaptured(in, frames);
    }
}

void SoundRings::Fetch(std::int16_t* out, std::int32_t frames) noexcept {
    if (FollowsClock_) {
        const std::int32_t taken = FetchAt(out, frames, SteadyNowNs());
        std::fill(out + 2 * taken, out + 2 * frames, std::int16_t{0});
        return;
    }
    if (!Playing_.load(std::memory_order_acquire)) {
        std::fill(out, out + 2 * frames, std::int16_t{0});
        return;
    }
    std::uint64_t state = PlayState_.load(std::memory_order_acquire);
    const auto fetch = static_cast<std::uint32_t>(state & 0xffffffffu);
    const auto since = static_cast<std::uint32_t>(state >> 32);
    for (std::int32_t j = 0; j < frames; ++j) {
        const std::uint32_t v =
            Play_[(fetch + static_cast<std::uint32_t>(j)) % PlayRingFrames].load(
                std::memory_order_relaxed);
        out[2 * j] = LeftOf(v);
        out[2 * j + 1] = RightOf(v);
    }
    const std::uint32_t next = (fetch + static_cast<std::uint32_t>(frames)) % PlayRingFrames;
    const std::uint32_t fetched = since > 0x7fffffffu - static_cast<std::uint32_t>(frames)
                                      ? 0x7fffffffu
                                      : since + static_cast<std::uint32_t>(frames);
    // If the UI thread set a new play position meanwhile, its value wins: the next period
    // plays from there.
    PlayState_.compare_exchange_strong(state, PackPlayState(next, fetched),
                                       std::memory_order_acq_rel);
}

std::int64_t SoundRings::SteadyNowNs() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// Frames that play in `ns` nanoseconds (none for a negative time).
std::int64_t FramesIn(std::int64_t ns) {
    return ns > 0 ? ns / 1000 * SampleRate / 1000000 : 0;
}

std::int32_t PlayFrameOf(std::int64_t frame) {
    return static_cast<std::int32_t>((frame % PlayRingFrames + PlayRingFrames) % PlayRingFrames);
}

constexpr std::uint64_t PendingBit = std::uint64_t{1} << 32;
constexpr std::int64_t LateStartFrames = 1024; // half a block

} // namespace

// A position set while the device follows the clock takes effect on the device's timeline:
// the player is taken to start from it at once, as a card does, so until the device's next
// request the position moves with the clock from there, and a request that comes late begins
// where the clock has got to. A server that starts a stream late (a null sink wakes only after the
// block it was sleeping for, up to 2 s) thus costs the frames it did not play, as a card that was
// started late would, instead of holding the player still while the writer laps it.
void SoundRings::SetPlayPositionAt(std::int32_t frame, std::int64_t nowNs) {
    // A new start: the lead it sets is the one to keep.
    LeadSum_ = 0;
    LeadCount_ = 0;
    LeadStartWindows_ = 0;
    Slip_.store(0, std::memory_order_relaxed);
    const std::uint64_t old = PendingSet_.load(std::memory_order_relaxed);
    const std::uint64_t generation = ((old >> 32) | 1u) + 2u; // odd: pending
    PendingAtNs_.store(nowNs, std::memory_order_relaxed);
    PendingSet_.store((generation << 32) | static_cast<std::uint32_t>(frame % PlayRingFrames),
                      std::memory_order_release);
}

// Between requests the player moves on with the clock through the frames the device took at
// its last request, and stops at their end if the next request is late: it never claims more
// than the device has taken, and it starts again from the device's own word at every request,
// so it keeps the device's timeline, not this machine's.
PlayPositions SoundRings::PositionsAt(std::int64_t nowNs) const {
    const std::uint64_t pending = PendingSet_.load(std::memory_order_acquire);
    if ((pending & PendingBit) != 0) {
        const std::int64_t since = nowNs - PendingAtNs_.load(std::memory_order_relaxed);
        const std::int32_t play =
            PlayFrameOf(static_cast<std::int64_t>(pending & 0xffffffffu) + FramesIn(since));
        return {play * FrameBytes, play * FrameBytes};
    }
    std::int32_t fetch = 0;
    std::int32_t step = 0;
    std::int64_t at = 0;
    for (;;) {
        const std::uint32_t seq = TimedSeq_.load(std::memory_order_acquire);
        if ((seq & 1u) != 0) {
            std::this_thread::yield(); // the device is writing: a few stores, then it is done
            continue;
        }
        // Acquire loads: a value from a newer write brings that write's odd count with it,
        // so the second look at the count sees the change.
        fetch = TimedFetch_.load(std::memory_order_acquire);
        step = TimedStep_.load(std::memory_order_acquire);
        at = TimedAtNs_.load(std::memory_order_acquire);
        if (TimedSeq_.load(std::memory_order_relaxed) == seq) {
            break;
        }
    }
    const std::int64_t moved = std::min<std::int64_t>(FramesIn(nowNs - at), step);
    return {PlayFrameOf(static_cast<std::int64_t>(fetch) - step + moved) * FrameBytes,
            fetch * FrameBytes};
}

void SoundRings::KeepLead(std::int64_t nowNs) {
    if (!FollowsClock_ || !Playing_.load(std::memory_order_acquire) ||
        (PendingSet_.load(std::memory_order_acquire) & PendingBit) != 0) {
        return;
    }
    const std::int32_t play = PositionsAt(nowNs).Play / FrameBytes;
    LeadSum_ +=
        (WrittenEnd_.load(std::memory_order_relaxed) - play + PlayRingFrames) % PlayRingFrames;
    if (++LeadCount_ < LeadWindowBlocks) {
        return;
    }
    const std::int64_t mean = LeadSum_ / LeadWindowBlocks;
    LeadSum_ = 0;
    LeadCount_ = 0;
    if (LeadStartWindows_ < 2) { // the first window may still hold the start's settling
        LeadReference_ = mean;
        ++LeadStartWindows_;
        return;
    }
    const std::int64_t drift = mean - LeadReference_;
    if (Slip_.load(std::memory_order_relaxed) == 0 &&
        (drift > LeadDriftFrames || drift < -LeadDriftFrames)) {
        Slip_.store(static_cast<std::int32_t>(drift), std::memory_order_relaxed);
    }
}

std::int32_t SoundRings::UntakenAtRisk(std::int64_t nowNs) const noexcept {
    if (!FollowsClock_ || !Playing_.load(std::memory_order_acquire) ||
        (PendingSet_.load(std::memory_order_acquire) & PendingBit) != 0 ||
        DeviceQuietFor(nowNs, StaleRequestNs)) {
        return 0;
    }
    const std::int32_t written = WrittenEnd_.load(std::memory_order_acquire);
    const std::int32_t untaken =
        (written - TimedFetch_.load(std::memory_order_acquire) + PlayRingFrames) % PlayRingFrames;
    const std::int32_t overwritten = untaken - (PlayRingFrames - SegmentFrames) + 1;
    if (overwritten > 0) {
        return overwritten;
    }
    // The play position's distance behind the end of the last write: more than three segments
    // puts it in the segment written next.
    const std::int32_t behind =
        (written - PositionsAt(nowNs).Play / FrameBytes + PlayRingFrames) % PlayRingFrames;
    const std::int32_t kept = KeepsLastFrame_.load(std::memory_order_relaxed) ? 1 : 0;
    return behind > PlayRingFrames - SegmentFrames && untaken > kept ? 1 : 0;
}

std::int32_t SoundRings::FetchAt(std::int16_t* out, std::int32_t frames,
                                 std::int64_t nowNs) noexcept {
    return Take(out, frames, nowNs, true);
}

std::int32_t SoundRings::HandOver(std::int16_t* out, std::int32_t frames,
                                  std::int64_t nowNs) noexcept {
    return Take(out, frames, nowNs, false);
}

std::int32_t SoundRings::Take(std::int16_t* out, std::int32_t frames, std::int64_t nowNs,
                              bool asked) noexcept {
    if (!Playing_.load(std::memory_order_acquire)) {
        std::fill(out, out + 2 * frames, std::int16_t{0});
        return frames;
    }
    std::int32_t from = TimedFetch_.load(std::memory_order_relaxed);
    std::uint64_t pending = PendingSet_.load(std::memory_order_acquire);
    const bool taken = (pending & PendingBit) != 0;
    if (taken) {
        // A request within half a block of the set begins exactly there, as a running stream's
        // next request always does, so nothing is dropped; only the part of a late start
        // beyond that goes unplayed.
        const std::int64_t late =
            FramesIn(nowNs - PendingAtNs_.load(std::memory_order_relaxed)) - LateStartFrames;
        from = PlayFrameOf(static_cast<std::int64_t>(pending & 0xffffffffu) +
                           std::max<std::int64_t>(late, 0));
    }
    // Keeping the lead (KeepLead): one frame skipped or repeated at the start of an ordinary
    // request. A skip only while the writer is well ahead (never beyond what it wrote); a
    // repeat at any request, for it asks nothing more of the writer: a server that asks for
    // more than the writer is ahead of it (PipeWire after the writer fell a block behind) would
    // otherwise never get the repeats that rebuild the lead, and runs short.
    if (std::int32_t slip = Slip_.load(std::memory_order_relaxed);
        slip != 0 && asked && !taken &&
        (slip < 0 ||
         (WrittenEnd_.load(std::memory_order_acquire) - from + PlayRingFrames) % PlayRingFrames >
             frames) &&
        Slip_.compare_exchange_strong(slip, slip > 0 ? slip - 1 : slip + 1,
                                      std::memory_order_relaxed)) {
        from = (from + (slip > 0 ? 1 : PlayRingFrames - 1)) % PlayRingFrames;
        Slips_.fetch_add(1, std::memory_order_relaxed);
    }
    // Never past the end of what the writer wrote last: a server that suddenly asks for more
    // (its queue made longer when the stream moves to another sink, or run dry there) would
    // get segments from the last lap. It gets the rest at its next request, when the writer
    // has gone on. With SetKeepsLastFrame the last frame written stays too: taken, it would
    // put the server's position on the first frame of the segment written next, which the
    // block exchange takes for a player that overran the writer, and playback would restart
    // (a jump) although nothing stale was played. Held back, it begins the next request.
    const std::int32_t written =
        (WrittenEnd_.load(std::memory_order_acquire) - from + PlayRingFrames) % PlayRingFrames;
    const std::int32_t kept = KeepsLastFrame_.load(std::memory_order_relaxed) ? 1 : 0;
    const std::int32_t askedFor = frames;
    frames = std::min(frames, std::max(written - kept, 0));
    // The first request after the device ran dry; if the writer is ahead again by then, the
    // lead came back by itself and nothing is filled.
    const bool ranDry = asked && RanDry_.exchange(false, std::memory_order_relaxed);
    std::int32_t silence = 0; // after the frames from the ring
    if (ranDry && frames < askedFor) {
        silence = askedFor - frames;
        DryFills_.fetch_add(1, std::memory_order_relaxed);
    }
    std::fill(out + 2 * frames, out + 2 * (frames + silence), std::int16_t{0});
    for (std::int32_t j = 0; j < frames; ++j) {
        const std::uint32_t v = Play_[static_cast<std::size_t>((from + j) % PlayRingFrames)].load(
            std::memory_order_relaxed);
        out[2 * j] = LeftOf(v);
        out[2 * j + 1] = RightOf(v);
    }
    const std::uint32_t seq = TimedSeq_.load(std::memory_order_relaxed);
    TimedSeq_.store(seq + 1, std::memory_order_relaxed);
    TimedFetch_.store((from + frames) % PlayRingFrames, std::memory_order_release);
    TimedStep_.store(asked ? std::min(frames, PlayRingFrames) : 0, std::memory_order_release);
    TimedAtNs_.store(nowNs, std::memory_order_release);
    TimedSeq_.store(seq + 2, std::memory_order_release);
    if (asked) {
        HeardAtNs_.store(nowNs, std::memory_order_relaxed);
    }
    if (taken) {
        // Only now, so that the UI thread sees either the pending position or the request that
        // took it; a position set meanwhile stays pending for the next request.
        PendingSet_.compare_exchange_strong(pending, pending & ~PendingBit,
                                            std::memory_order_acq_rel);
    }
    return frames + silence;
}

} // namespace corvane
