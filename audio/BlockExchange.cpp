// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "BlockExchange.h"

#include <chrono>
#include <cmath>
#include <span>

namespace corvane {

namespace {

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

BlockExchange::BlockExchange(SoundSystem& sound, ExchangeClient& client)
    : Clock(SteadySeconds), Sound_(sound), Client_(client) {
    Watchdog_.setInterval(WatchdogTickMs);
    QObject::connect(&Watchdog_, &QTimer::timeout, [this] { CheckStall(); });
}

BlockExchange::~BlockExchange() = default;

bool BlockExchange::EndsProgram(const SoundStatus& status) {
    return status.Failed == SoundOp::CreateRoot || status.Failed == SoundOp::CreatePlayDevice ||
           status.Failed == SoundOp::CreateCaptureDevice;
}

SoundStatus BlockExchange::CreateDevices() {
    const SoundStatus play = Sound_.CreatePlayDevice();
    const SoundStatus capture = Sound_.CreateCaptureDevice();
    if (!play.Ok() || !capture.Ok()) {
        return {play.Ok() ? capture.Failed : play.Failed, std::string(NoSoundDeviceMessage)};
    }
    DevicesReady_ = true;
    // (The playback device's cooperative level has no counterpart here.)
    SoundFormat.FormatTag = 1;
    SoundFormat.Channels = StreamChannels;
    SoundFormat.SamplesPerSecond = SampleRate;
    SoundFormat.BitsPerSample = 16;
    SoundFormat.BlockAlign =
        static_cast<std::int16_t>(SoundFormat.BitsPerSample / 8 * SoundFormat.Channels);
    SoundFormat.AvgBytesPerSecond = SoundFormat.SamplesPerSecond * SoundFormat.BlockAlign;
    CaptureDesc.Flags = 0;
    CaptureDesc.Bytes = SoundFormat.BlockAlign * 4096;
    CaptureDesc.Format = SoundFormat;
    HalfBytes = CaptureDesc.Bytes / 2;

    SoundStatus first;
    SoundStatus st = Sound_.CreateCaptureBuffer(CaptureDesc);
    CaptureBufferReady_ = st.Ok();
    if (!st.Ok()) {
        first = st;
    }
    PlayDesc.Format = SoundFormat;
    PlayDesc.Bytes = CaptureDesc.Bytes * 2;
    PlayDesc.Flags = 0x18000; // accurate play position, keeps playing without focus
    st = Sound_.CreatePlayBuffer(PlayDesc);
    PlayBufferReady_ = st.Ok();
    if (!st.Ok() && first.Ok()) {
        first = st;
    }
    return first;
}

SoundStatus BlockExchange::SetEvents() {
    EventsReady_ = false;
    for (std::int32_t& handle : EventHandle) {
        if (handle != 0) { // left from an earlier attempt
            [[maybe_unused]] const SoundStatus ignored = Sound_.DestroyEvent(handle);
            handle = 0;
        }
    }
    for (std::int32_t& handle : EventHandle) {
        if (SoundStatus st = Sound_.CreateEvent(handle); !st.Ok()) {
            return st;
        }
    }
    NotifyPos[0] = {CaptureDesc.Bytes / 2 - 1, EventHandle[0]};
    NotifyPos[1] = {CaptureDesc.Bytes - 1, EventHandle[1]};
    if (SoundStatus st = Sound_.SetNotificationPositions(NotifyPos); !st.Ok()) {
        return st;
    }
    if (!Pump_) {
        Pump_ = std::make_unique<NotificationPump>(Sound_.Notifications(),
                                                   [this](std::int32_t id) { OnNotification(id); });
    }
    EventsReady_ = true;
    return {};
}

SoundStatus BlockExchange::StartCapture() {
    if (!DevicesReady_) {
        if (SoundStatus st = CreateDevices(); !st.Ok()) {
            return st;
        }
    }
    if (!CaptureBufferReady_) {
        SoundStatus st = Sound_.CreateCaptureBuffer(CaptureDesc);
        if (!st.Ok()) {
            return st;
        }
        CaptureBufferReady_ = true;
    }
    if (!PlayBufferReady_) {
        SoundStatus st = Sound_.CreatePlayBuffer(PlayDesc);
        if (!st.Ok()) {
            return st;
        }
        PlayBufferReady_ = true;
    }
    if (!EventsReady_) {
        if (SoundStatus st = SetEvents(); !st.Ok()) {
            return st;
        }
    }
    if (SoundStatus st = Sound_.StartCapture(); !st.Ok()) {
        return st;
    }
    Resync = true;
    PlayIndex = 0;
    Capturing_ = true;
    if (Sound_.RealTimeClock()) {
        WatchedFrames_ = Sound_.Counters().FramesCaptured;
        WatchedSince_ = Clock();
        Input_ = InputState::Waiting;
        Watchdog_.start();
    }
    return {};
}

SoundStatus BlockExchange::StopBuffers() {
    Resync = false;
    Capturing_ = false;
    CatchingUp_ = false;
    Watchdog_.stop();
    SetInput(InputState::Flowing); // nothing is expected while off
    const SoundStatus capture = Sound_.StopCapture();
    const SoundStatus play = Sound_.StopPlay();
    return capture.Ok() ? play : capture;
}

void BlockExchange::Release() {
    for (std::int32_t& handle : EventHandle) {
        Client_.DoEvents();
        if (handle != 0) {
            [[maybe_unused]] const SoundStatus ignored = Sound_.DestroyEvent(handle);
            handle = 0;
        }
    }
    Pump_.reset();
    Sound_.Release(SoundObject::Root);
    Sound_.Release(SoundObject::PlayDevice);
    Sound_.Release(SoundObject::CaptureDevice);
    Sound_.Release(SoundObject::PlayBuffer);
    Sound_.Release(SoundObject::CaptureBuffer);
    DevicesReady_ = CaptureBufferReady_ = PlayBufferReady_ = EventsReady_ = false;
}

void BlockExchange::OnNotification(std::int32_t eventId) {
    if (!Capturing_) {
        return; // capture was stopped: what the device signalled before that is void
    }
    if (eventId == SoundSystem::StreamFailedEvent) {
        Fail(Sound_.StreamError());
        return;
    }
    if (!Sound_.TakeNotification(eventId)) {
        return; // a newer notification of this half follows: its data are the half's now
    }
    if (Input_ == InputState::Missing) {
        Heal(Clock()); // this block is the first after the stall
    }
    if (CatchingUp_ && !CatchUp(eventId)) {
        return;
    }
    DirectXEvent8_DXCallback(eventId);
}

// After a stall a server may deliver what it held back all at once (PulseAudio renders the
// missed time of a null sink's monitor in one go): blocks from the past, faster than real
// time. Played, they would lap the player and replay stale segments; so they are read and
// let go (their time is already counted as missing), until a block comes in its own time,
// and playback then starts again from segment 0 as after ON.
bool BlockExchange::CatchUp(std::int32_t eventId) {
    const double now = Clock();
    const double since = now - CatchUpLast_;
    CatchUpLast_ = now;
    CatchUpOnTime_ = !CatchUpFirst_ && since >= CatchUpGapSeconds ? CatchUpOnTime_ + 1 : 0;
    if (CatchUpOnTime_ >= CatchUpOnTimeBlocks) {
        CatchingUp_ = false;
        Resync = true;
        ResyncCount = 0;
        PlayIndex = 0;
        return true;
    }
    CatchUpFirst_ = false;
    const std::int32_t half = eventId == EventHandle[1] ? 1 : 0;
    if (SoundStatus st = Sound_.ReadCapture(half * HalfBytes, std::span(CaptureBlock).first(4096));
        !st.Ok()) {
        Fail(st);
    }
    return false;
}

void BlockExchange::Heal(double now) {
    // The time without input, as lost blocks: what was never captured, or came so late that
    // it cannot be played in its time.
    const double blockSeconds = static_cast<double>(BlockBytes / FrameBytes) / SampleRate;
    StalledBlocks_ += static_cast<std::uint64_t>(std::ceil((now - WatchedSince_) / blockSeconds));
    WatchedFrames_ = Sound_.Counters().FramesCaptured;
    WatchedSince_ = now;
    CatchingUp_ = true;
    CatchUpFirst_ = true;
    CatchUpOnTime_ = 0;
    CatchUpLast_ = now;
    SetInput(InputState::Flowing);
    ReportCounters();
}

void BlockExchange::CheckStall() {
    if (!Capturing_) {
        Watchdog_.stop();
        return;
    }
    const std::uint64_t frames = Sound_.Counters().FramesCaptured;
    const double now = Clock();
    // Blocks still waiting for this thread mean the device is alive and waits for us (a back
    // end that holds capture back rather than overwrite unread halves).
    const NotificationQueue& queue = Sound_.Notifications();
    if (frames != WatchedFrames_ || queue.Pushed() != queue.Handled()) {
        if (Input_ == InputState::Missing) {
            Heal(now);
        }
        WatchedFrames_ = frames;
        WatchedSince_ = now;
        SetInput(InputState::Flowing); // the first data after ON
        return;
    }
    const double silent = now - WatchedSince_;
    const double gap = Sound_.CaptureGapSeconds();
    if (silent >= StallFailMs / 1000.0 + gap) {
        Fail(SoundStatus::Fail(SoundOp::Stream,
                               "The sound stream stalled: nothing was captured for " +
                                   std::to_string(StallFailMs / 1000) +
                                   " s. The sound server may have stopped or the device was "
                                   "removed."));
        return;
    }
    if (Input_ == InputState::Waiting) {
        if (silent >= FirstDataGraceMs / 1000.0 + gap) {
            SetInput(InputState::Missing);
        } else {
            Client_.ShowInputState(InputState::Waiting);
        }
    } else if (silent >= StallMs / 1000.0 + gap) {
        SetInput(InputState::Missing);
    }
}

void BlockExchange::SetInput(InputState state) {
    if (state == Input_) {
        return;
    }
    Input_ = state;
    if (state == InputState::Missing && Capturing_) {
        // Nothing new to play: silence rather than the last four blocks over and over.
        if (SoundStatus st = Sound_.StopPlay(); !st.Ok()) {
            Fail(st);
            return;
        }
    }
    Client_.ShowInputState(state);
}

void BlockExchange::ReportCounters() {
    const SoundCounters now = Sound_.Counters();
    if (!now.SameFaults(ShownCounters_) || PlaybackRestarts_ != ShownRestarts_ ||
        StalledBlocks_ != ShownStalled_) {
        ShownCounters_ = now;
        ShownRestarts_ = PlaybackRestarts_;
        ShownStalled_ = StalledBlocks_;
        Client_.ShowCounters(now, PlaybackRestarts_, StalledBlocks_);
    }
}

void BlockExchange::Fail(const SoundStatus& status) {
    [[maybe_unused]] const SoundStatus ignored = StopBuffers();
    Client_.SoundFailed(status);
}

void BlockExchange::DirectXEvent8_DXCallback(std::int32_t EventId) {
    StartTimer();
    if (EventId == EventHandle[0]) {
        CaptureHalf = 0;
    } else if (EventId == EventHandle[1]) {
        CaptureHalf = 1;
    }
    const std::span<std::int16_t> captured = std::span(CaptureBlock).first(4096);
    const std::span<std::int16_t> played = std::span(PlayBlock).first(4096);
    if (SoundStatus st = Sound_.ReadCapture(CaptureHalf * HalfBytes, captured); !st.Ok()) {
        Fail(st);
        return;
    }
    if (Tap_ != nullptr) {
        Tap_->Captured(captured);
    }
    LastProcessed_ = WarmupCount >= WarmupBlocks;
    if (WarmupCount < WarmupBlocks) {
        WarmupCount = WarmupCount + 1;
    } else {
        Client_.ProcessBlock(captured, played);
        Client_.DoEvents();
    }
    WriteStart = PlayIndex * HalfBytes;
    WriteEnd = PlayIndex + HalfBytes - 1; // the segment number, not WriteStart, plus 8191
    PlayPositions positions;
    if (SoundStatus st = Sound_.GetPlayPositions(positions); !st.Ok()) {
        Fail(st);
        return;
    }
    PlayCursor = positions.Play;
    WriteCursor = positions.Write;
    // While a restart is pending the player is about to be set to segment 0 and the blocks go
    // to segments 0, 1, 2 in order; a collision now (a stopped player's old position, exactly
    // 8192 before segment 1) would send this block over the one just written to segment 0.
    if (!Resync) {
        if (WriteStart <= WriteCursor && WriteCursor <= WriteEnd) {
            Resync = true;
            PlayIndex = 0;
            WriteStart = 0;
        }
        if (WriteStart <= PlayCursor && PlayCursor <= WriteEnd) {
            Resync = true;
            PlayIndex = 0;
            WriteStart = 0;
        }
        if (Resync) {
            ++PlaybackRestarts_;
        }
    }
    if (SoundStatus st = Sound_.WritePlay(WriteStart, played); !st.Ok()) {
        Fail(st);
        return;
    }
    if (PlayTap_ != nullptr) {
        PlayTap_->Played(played);
    }
    PlayIndex = PlayIndex >= 3 ? 0 : PlayIndex + 1;
    if (Resync) {
        ResyncCount = ResyncCount + 1;
        if (ResyncCount == ResyncDelay) {
            Resync = false;
            ResyncCount = 0;
            SoundStatus st = Sound_.SetPlayPosition(0);
            if (st.Ok()) {
                st = Sound_.StartPlay();
            }
            if (!st.Ok()) {
                Fail(st);
                return;
            }
        }
    }
    ReportCounters();
    StopTimer();
}

void BlockExchange::StartTimer() {
    RunStart = Clock();
}

void BlockExchange::StopTimer() {
    RunStop = Clock();
    RunCount = RunCount == RunWindow - 1 ? 0 : RunCount + 1;
    if (RunCount != 0) {
        RunTotal = RunTotal + (RunStop - RunStart);
    }
    if (RunCount == 0) {
        RunTotal = RunTotal / RunWindow;
        Client_.ShowRunTime(RunTotal);
        RunTotal = RunStop - RunStart;
    }
}

} // namespace corvane
