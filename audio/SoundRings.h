// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "NotificationQueue.h"
#include "SoundTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace corvane {

// The capture ring (16384 bytes) and the playback ring (32768 bytes) shared by the device side
// (one thread: the audio callback or the virtual card's clock) and the UI thread.
//
// Each frame is one 32-bit atomic (left in the low half, right in the high half) accessed with
// relaxed ordering, so a segment written while the player happens to be inside it (which the
// block exchange allows right after a collision) is never a data race. The capture position is
// published with release stores, and a notification is pushed only after the frames it
// announces are stored.
class SoundRings {
public:
    static constexpr std::int32_t MaxNotifications = 4;
    static constexpr std::int32_t NoFrame = -1;

    explicit SoundRings(NotificationQueue& queue) : Queue_(queue) {}
    SoundRings(const SoundRings&) = delete;
    SoundRings& operator=(const SoundRings&) = delete;

    // --- UI side -----------------------------------------------------------------------------
    // Arms the notifications: event positions[i].EventId fires when frame Offset/4 is captured.
    // Only while capture is stopped.
    void SetNotifications(std::span<const NotifyPosition> positions);
    void ForgetEvent(std::int32_t eventId); // a destroyed event is never signalled again

    // Starting capture forgets what was pending from an earlier run.
    void SetCapturing(bool on);
    void SetPlaying(bool on) { Playing_.store(on, std::memory_order_release); }
    bool Capturing() const { return Capturing_.load(std::memory_order_acquire); }
    bool Playing() const { return Playing_.load(std::memory_order_acquire); }

    // Frames from the capture ring starting at a frame, wrapping; dest holds L,R pairs. A
    // notification whose frame lies in the range read is done with: its half may be
    // overwritten from now on.
    void ReadCapture(std::int32_t frame, std::span<std::int16_t> dest);
    // The UI thread took this notification from the queue. False when a newer one of the same
    // event is queued behind it: like an auto-reset event, a backlog holds at most one live
    // notification per half, so a stale half is never handled and the order stays that of
    // capture. Ids that are not armed notifications are always live.
    bool TakeNotification(std::int32_t eventId);
    // Frames into the playback ring starting at a frame, wrapping; src holds L,R pairs.
    void WritePlay(std::int32_t frame, std::span<const std::int16_t> src);
    // Play position lags the fetch position by the device's latency, but never reaches back
    // before the frame playback was last started from.
    PlayPositions Positions() const;
    void SetPlayPosition(std::int32_t frame);
    // For a device that takes frames in large, irregular steps on its own timeline (a sound
    // server's sink takes as much as it renders at once, which can be more than a block, and
    // starts a stream only when it next wakes, which can be seconds after it was connected):
    // the play position then moves with the clock between the device's requests instead of
    // in its steps, so that the block exchange sees a player that keeps time. See FetchAt.
    // Set once, before the device runs.
    void SetFollowsClock(bool on) { FollowsClock_ = on; }
    // A request never takes the last frame written, which then begins the next one: a server
    // that took all that was written would have its position on the segment the writer writes
    // next (see FetchAt). Set while the device does not run.
    void SetKeepsLastFrame(bool on) { KeepsLastFrame_.store(on, std::memory_order_relaxed); }
    // Frames the device holds between fetching and sounding them.
    void SetLatencyFrames(std::int32_t frames) {
        LatencyFrames_.store(frames, std::memory_order_relaxed);
    }
    std::int32_t LatencyFrames() const { return LatencyFrames_.load(std::memory_order_relaxed); }
    std::int32_t CaptureFrame() const { return CaptureFrame_.load(std::memory_order_acquire); }

    // Halves the device began to overwrite while their notification was still unread.
    std::uint64_t CaptureOverruns() const { return Overruns_.load(std::memory_order_relaxed); }
    // Notifications taken from the queue and dropped because a newer one of the same event
    // followed (see TakeNotification).
    std::uint64_t MergedNotifications() const { return Merged_.load(std::memory_order_relaxed); }
    std::uint64_t FramesCaptured() const { return Captured_.load(std::memory_order_relaxed); }

    // --- Device side -------------------------------------------------------------------------
    // One period of the device: stores `in` (may be null: silence) into the capture ring while
    // capturing, signalling the notifications it passes, and fills `out` from the playback ring
    // while playing (zeros otherwise). No locks, no allocation, no system call but the wake-up.
    void Transfer(const std::int16_t* in, std::int16_t* out, std::int32_t frames) noexcept;
    // Frames the device may store before it would overwrite a half whose notification is still
    // unread (0: it must wait). A back end whose server can hold data back (a PulseAudio record
    // stream) stores no more than this, so a busy UI thread delays blocks instead of losing
    // them. Device side only.
    std::int32_t CaptureRoom() const noexcept;
    // The two halves of Transfer, for back ends whose capture and playback run separately.
    void Capture(const std::int16_t* in, std::int32_t frames) noexcept;
    void Fetch(std::int16_t* out, std::int32_t frames) noexcept;
    // Fetch for a device that follows the clock, at monotonic time `nowNs`: at most up to the
    // end of the last write (less its last frame with SetKeepsLastFrame), but all it asked for
    // after NoteRanDry. Returns the frames it gave.
    std::int32_t FetchAt(std::int16_t* out, std::int32_t frames, std::int64_t nowNs) noexcept;
    // The positions at monotonic time `nowNs` (the device follows the clock).
    PlayPositions PositionsAt(std::int64_t nowNs) const;
    // SetPlayPosition at monotonic time `nowNs` (the device follows the clock).
    void SetPlayPositionAt(std::int32_t frame, std::int64_t nowNs);
    // Frames the device has not taken yet in the segment the writer writes next, and one
    // more, at monotonic time `nowNs` (the device follows the clock): a server whose sink
    // rewound holds enough and stops asking for a while, and the writer is about to lap it.
    // The back end hands them over (HandOver) before the play positions are read and the
    // segment is written, so nothing is overwritten untaken and the play position stays out
    // of that segment. The frame more: untaken frames filling the whole ring would read as
    // none. None while a set position is pending, or when the device has neither asked for
    // anything nor been seen playing (NoteDevicePlaying) for StaleRequestNs (a stopped server
    // is not fed).
    // At least one frame, when there is one to give, while the play position lies in that
    // segment although the device has taken all of it: the server's queue grew (a sink input
    // moved to another sink is rewound there) and it now asks for each request so far behind
    // the writer that the play position, walking through the request with the clock, starts
    // in frames the server took long ago. A hand-over puts the play position where the
    // server's taking is, as every hand-over does, so the exchange does not restart playback
    // over frames that are safe in the server's queue.
    static constexpr std::int32_t SegmentFrames = BlockBytes / FrameBytes;
    static constexpr std::int64_t StaleRequestNs = 250'000'000;
    std::int32_t UntakenAtRisk(std::int64_t nowNs) const noexcept;
    // The device was seen playing on its own timeline (a server's read position moved on)
    // though it asked for nothing: it holds enough, it has not stopped, and what the writer is
    // about to lap is handed over as after a request. A PulseAudio stream fed unasked in one
    // sink and moved back to another stops asking for longer than StaleRequestNs while its
    // queue drains; left unfed, the writer lapped the position of its last hand-over and
    // playback restarted. Device side.
    void NoteDevicePlaying(std::int64_t nowNs) noexcept {
        HeardAtNs_.store(nowNs, std::memory_order_relaxed);
    }
    // The device has neither asked for anything nor been seen playing for more than `ns`.
    bool DeviceQuietFor(std::int64_t nowNs, std::int64_t ns) const noexcept {
        return nowNs - HeardAtNs_.load(std::memory_order_relaxed) > ns;
    }
    // A device on another clock than capture (a second card; two sound-server sinks whose
    // timers round differently: two stock PulseAudio null sinks run 74 ppm apart) takes frames
    // a little faster or slower than the blocks come, and the writer's lead over the player
    // walks until the block exchange's collision test restarts playback, a jump every few
    // minutes. KeepLead, called once a block before the positions are read, averages the lead
    // over LeadWindowBlocks blocks; the second average after playback starts is kept (the first
    // may hold the start's settling), and when a later one is more than LeadDriftFrames from it
    // the device's next requests skip (or repeat) one frame each until the lead is back: one
    // frame at a time, instead of a jump. A device on the capture's own clock stays within
    // that, and loses or repeats nothing: its output stays frame-exact.
    static constexpr std::int32_t LeadWindowBlocks = 64;
    static constexpr std::int32_t LeadDriftFrames = 256;
    void KeepLead(std::int64_t nowNs);
    // Frames skipped or repeated so far to keep the lead.
    std::uint64_t LeadSlips() const { return Slips_.load(std::memory_order_relaxed); }
    // The device ran dry (a server's underflow): the writer's lead over it is gone, as when a
    // stream moved to another sink or source comes back later on the server's timeline. A
    // server that keeps its time through an underflow (no prebuffering) drops as much of what
    // comes late, and with no lead left it runs dry again at nearly every request: short
    // losses again and again. So the next request that finds fewer frames written than it asks
    // for gets silence for the rest, once: a gap of at most one request, and the silence is
    // the lead again. Device side.
    void NoteRanDry() noexcept { RanDry_.store(true, std::memory_order_relaxed); }
    // Requests filled with silence after the device ran dry.
    std::uint64_t DryFills() const { return DryFills_.load(std::memory_order_relaxed); }
    // FetchAt for frames the device did not ask for: taken at once, so the play position is
    // where they end. Device side.
    std::int32_t HandOver(std::int16_t* out, std::int32_t frames, std::int64_t nowNs) noexcept;
    static std::int64_t SteadyNowNs() noexcept;

private:
    std::int32_t Take(std::int16_t* out, std::int32_t frames, std::int64_t nowNs,
                      bool asked) noexcept;
    void StoreCaptured(const std::int16_t* in, std::int32_t frames) noexcept;
    // The notification whose frame comes next from capture frame `pos` on (pos included).
    struct Notice {
        std::int32_t Slot = -1; // -1: none is set
        std::int32_t Ahead = 0; // frames from pos to it
        std::int32_t Event = 0;
    };
    Notice NextNotification(std::int32_t pos) const noexcept;

    NotificationQueue& Queue_;
    std::array<std::atomic<std::uint32_t>, CaptureRingFrames> Capture_{}; // 16384 bytes
    std::array<std::atomic<std::uint32_t>, PlayRingFrames> Play_{};       // 32768 bytes
    std::atomic<std::int32_t> CaptureFrame_{0}; // next frame the device stores, 0..4095
    // Low 32 bits: next frame the device fetches (0..8191); high 32 bits: frames fetched since
    // the play position was last set (saturating). One word, so both change together.
    std::atomic<std::uint64_t> PlayState_{0};
    std::atomic<std::int32_t> LatencyFrames_{0};
    std::atomic<bool> Capturing_{false};
    std::atomic<bool> Playing_{false};
    std::array<std::atomic<std::int32_t>, MaxNotifications> NotifyFrame_{}; // frame index
    std::array<std::atomic<std::int32_t>, MaxNotifications> NotifyEvent_{}; // 0: none
    // Notifications of each event pushed by the device whose half the UI thread has not read
    // yet (stale ones leave when taken, the live one when its half is read).
    std::array<std::atomic<std::int32_t>, MaxNotifications> Queued_{};
    std::array<bool, MaxNotifications> OverrunCounted_{}; // device side only
    std::atomic<std::uint64_t> Overruns_{0};
    // A device that follows the clock. The device's last request: it took frames up to
    // TimedFetch_ (exclusive), TimedStep_ of them, at TimedAtNs_; written by the device only,
    // under the sequence count TimedSeq_ (odd while writing), so the UI thread reads the
    // three together without a lock. A position set by the UI thread waits in PendingSet_
    // (frame in the low half, a generation in the high half; the generation's low bit set
    // while pending) from PendingAtNs_ until the device's next request takes it.
    bool FollowsClock_ = false;
    std::atomic<bool> KeepsLastFrame_{false};
    std::atomic<std::uint32_t> TimedSeq_{0};
    std::atomic<std::int32_t> TimedFetch_{0};
    std::atomic<std::int32_t> TimedStep_{0};
    std::atomic<std::int64_t> TimedAtNs_{0};
    std::atomic<std::uint64_t> PendingSet_{0};
    std::atomic<std::int64_t> PendingAtNs_{0};
    // The device's last request (not a hand-over), or the last time it was seen playing.
    std::atomic<std::int64_t> HeardAtNs_{0};
    std::atomic<std::int32_t> WrittenEnd_{0}; // frame after the last one written
    std::atomic<std::uint64_t> Merged_{0};
    // Keeping the lead: frames the device is to skip (> 0) or repeat (< 0), one per request;
    // the UI thread's running sum and the reference average.
    std::atomic<std::int32_t> Slip_{0};
    std::atomic<std::uint64_t> Slips_{0};
    std::atomic<bool> RanDry_{false};
    std::atomic<std::uint64_t> DryFills_{0};
    std::int64_t LeadSum_ = 0;
    std::int32_t LeadCount_ = 0;
    std::int64_t LeadReference_ = 0;
    std::int32_t LeadStartWindows_ = 0; // averages taken since playback last started, up to 2
    std::atomic<std::uint64_t> Captured_{0};
};

} // namespace corvane
