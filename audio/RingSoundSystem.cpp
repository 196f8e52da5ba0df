// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "RingSoundSystem.h"

#include <cstring>
#include <string>
#include <string_view>

namespace corvane {

namespace {

SoundStatus Fail(SoundOp op, std::string_view why) {
    return SoundStatus::Unable(op, why);
}

// The only format offered: PCM, two channels, 48000 Hz, 16 bits, 4-byte frames.
bool IsReceiverFormat(const WaveFormat& f) {
    return f.FormatTag == 1 && f.Channels == StreamChannels && f.SamplesPerSecond == SampleRate &&
           f.BitsPerSample == 16 && f.BlockAlign == FrameBytes &&
           f.AvgBytesPerSecond == SampleRate * FrameBytes;
}

// A transfer of whole frames inside a buffer of `bufferBytes`.
bool FitsBuffer(std::int32_t offset, std::size_t samples, std::int32_t bufferBytes) {
    return offset >= 0 && offset < bufferBytes && offset % FrameBytes == 0 && samples % 2 == 0 &&
           samples * 2 <= static_cast<std::size_t>(bufferBytes);
}

} // namespace

SoundStatus RingSoundSystem::Guard(SoundOp op, Needs needs) {
    if (auto st = Enter(op); !st.Ok()) {
        return st;
    }
    switch (needs) {
    case Needs::Nothing:
        break;
    case Needs::CaptureDevice:
        return CaptureDevice_ ? SoundStatus{} : Fail(op, "there is no capture device");
    case Needs::PlayDevice:
        return PlayDevice_ ? SoundStatus{} : Fail(op, "there is no playback device");
    case Needs::CaptureBuffer:
        return CaptureBuffer_ ? SoundStatus{} : Fail(op, "there is no capture buffer");
    case Needs::PlayBuffer:
        return PlayBuffer_ ? SoundStatus{} : Fail(op, "there is no playback buffer");
    }
    return {};
}

SoundStatus RingSoundSystem::Make(Hook hook, bool& made) {
    if (auto st = (this->*hook)(); !st.Ok()) {
        return st;
    }
    made = true;
    return {};
}

SoundStatus RingSoundSystem::EnsureRoot() {
    if (RootOpen_) {
        return {};
    }
    if (auto st = Guard(SoundOp::CreateRoot); !st.Ok()) {
        return st;
    }
    return Make(&RingSoundSystem::OpenRoot, RootOpen_);
}

SoundStatus RingSoundSystem::CreateDevice(SoundOp op, Hook openDevice, bool& made) {
    if (auto st = EnsureRoot(); !st.Ok()) {
        return st;
    }
    if (auto st = Guard(op); !st.Ok()) {
        return st;
    }
    return Make(openDevice, made);
}

SoundStatus RingSoundSystem::CreateBuffer(SoundOp op, Needs device, const BufferDesc& desc,
                                          std::int32_t bytes, std::string_view refusal,
                                          bool& made) {
    if (auto st = Guard(op, device); !st.Ok()) {
        return st;
    }
    if (!IsReceiverFormat(desc.Format) || desc.Bytes != bytes) {
        return Fail(op, refusal);
    }
    return Make(&RingSoundSystem::CheckFormat, made);
}

SoundStatus RingSoundSystem::CreatePlayDevice() {
    return CreateDevice(SoundOp::CreatePlayDevice, &RingSoundSystem::OpenPlayDevice, PlayDevice_);
}

SoundStatus RingSoundSystem::CreateCaptureDevice() {
    return CreateDevice(SoundOp::CreateCaptureDevice, &RingSoundSystem::OpenCaptureDevice,
                        CaptureDevice_);
}

SoundStatus RingSoundSystem::CreateCaptureBuffer(const BufferDesc& desc) {
    return CreateBuffer(SoundOp::CreateCaptureBuffer, Needs::CaptureDevice, desc, CaptureRingBytes,
                        "only 16384 bytes of 48000 Hz 16-bit stereo are offered", CaptureBuffer_);
}

SoundStatus RingSoundSystem::CreatePlayBuffer(const BufferDesc& desc) {
    return CreateBuffer(SoundOp::CreatePlayBuffer, Needs::PlayDevice, desc, PlayRingBytes,
                        "only 32768 bytes of 48000 Hz 16-bit stereo are offered", PlayBuffer_);
}

bool RingSoundSystem::EventAlive(std::int32_t id) const {
    if (id == 0) {
        return false;
    }
    for (const std::int32_t e : Events_) {
        if (e == id) {
            return true;
        }
    }
    return false;
}

SoundStatus RingSoundSystem::CreateEvent(std::int32_t& eventId) {
    const SoundOp op = SoundOp::CreateEvent;
    eventId = 0;
    if (auto st = EnsureRoot(); !st.Ok()) {
        return st;
    }
    if (auto st = Guard(op); !st.Ok()) {
        return st;
    }
    if (!Queue_.Valid()) {
        return Fail(op, std::string("no wake-up descriptor (") +
                            std::strerror(Queue_.CreateError()) + ")");
    }
    for (std::int32_t& slot : Events_) {
        if (slot == 0) {
            slot = NextEventId_++;
            eventId = slot;
            return {};
        }
    }
    return Fail(op, "too many notification events");
}

SoundStatus RingSoundSystem::SetNotificationPositions(std::span<const NotifyPosition> positions) {
    const SoundOp op = SoundOp::SetNotificationPositions;
    if (auto st = Guard(op, Needs::CaptureBuffer); !st.Ok()) {
        return st;
    }
    if (Rings_.Capturing()) {
        return Fail(op, "capture is running");
    }
    if (positions.size() > static_cast<std::size_t>(SoundRings::MaxNotifications)) {
        return Fail(op, "too many positions");
    }
    for (const NotifyPosition& p : positions) {
        if (p.Offset < 0 || p.Offset >= CaptureRingBytes || !EventAlive(p.EventId)) {
            return Fail(op, "a position or its event is not valid");
        }
    }
    Rings_.SetNotifications(positions);
    return {};
}

SoundStatus RingSoundSystem::DestroyEvent(std::int32_t eventId) {
    const SoundOp op = SoundOp::DestroyEvent;
    if (auto st = Guard(op); !st.Ok()) {
        return st;
    }
    for (std::int32_t& slot : Events_) {
        if (slot != 0 && slot == eventId) {
            slot = 0;
            Rings_.ForgetEvent(eventId);
            return {};
        }
    }
    return Fail(op, "no such event");
}

SoundStatus RingSoundSystem::UpdateDevice() {
    const bool want = Rings_.Capturing() || Rings_.Playing();
    if (want && !DeviceRunning_) {
        // Read and clear together: a stream that died must be made afresh, not restarted.
        const bool afterFailure = StreamFailed_.exchange(false, std::memory_order_acq_rel);
        if (auto st = RunDevice(afterFailure); !st.Ok()) {
            return st;
        }
        DeviceRunning_ = true;
        PlayedThisRun_ = false;
    } else if (!want && DeviceRunning_) {
        DeviceRunning_ = false;
        return HaltDevice();
    }
    return {};
}

SoundStatus RingSoundSystem::StartCapture() {
    const SoundOp op = SoundOp::StartCapture;
    if (auto st = Guard(op, Needs::CaptureBuffer); !st.Ok()) {
        return st;
    }
    const bool was = Rings_.Capturing();
    if (!was) {
        // Whatever the last run left queued (a late notification, an old failure) is void.
        std::int32_t stale = 0;
        while (Queue_.Pop(stale)) {
            Queue_.Acknowledge();
        }
        Queue_.ClearWake();
    }
    Rings_.SetCapturing(true);
    if (auto st = UpdateDevice(); !st.Ok()) {
        Rings_.SetCapturing(was);
        return st;
    }
    return {};
}

SoundStatus RingSoundSystem::StopCapture() {
    const SoundOp op = SoundOp::StopCapture;
    if (auto st = Guard(op); !st.Ok()) {
        return st;
    }
    Rings_.SetCapturing(false);
    return UpdateDevice();
}

SoundStatus RingSoundSystem::ReadCapture(std::int32_t offset, std::span<std::int16_t> dest) {
    const SoundOp op = SoundOp::ReadCapture;
    if (auto st = Guard(op, Needs::CaptureBuffer); !st.Ok()) {
        return st;
    }
    if (!FitsBuffer(offset, dest.size(), CaptureRingBytes)) {
        return Fail(op, "the range lies outside the capture buffer");
    }
    Rings_.ReadCapture(offset / FrameBytes, dest);
    CaptureReleased();
    return {};
}

SoundStatus RingSoundSystem::GetPlayPositions(PlayPositions& positions) {
    const SoundOp op = SoundOp::GetPlayPositions;
    if (auto st = Guard(op, Needs::PlayBuffer); !st.Ok()) {
        return st;
    }
    BeforePlayPositions();
    positions = Rings_.Positions();
    return {};
}

SoundStatus RingSoundSystem::WritePlay(std::int32_t offset, std::span<const std::int16_t> src) {
    const SoundOp op = SoundOp::WritePlay;
    if (auto st = Guard(op, Needs::PlayBuffer); !st.Ok()) {
        return st;
    }
    if (!FitsBuffer(offset, src.size(), PlayRingBytes)) {
        return Fail(op, "the range lies outside the playback buffer");
    }
    Rings_.WritePlay(offset / FrameBytes, src);
    return {};
}

SoundStatus RingSoundSystem::SetPlayPosition(std::int32_t offset) {
    const SoundOp op = SoundOp::SetPlayPosition;
    if (auto st = Guard(op, Needs::PlayBuffer); !st.Ok()) {
        return st;
    }
    if (!FitsBuffer(offset, 0, PlayRingBytes)) {
        return Fail(op, "the position lies outside the playback buffer");
    }
    Rings_.SetPlayPosition(offset / FrameBytes);
    return {};
}

SoundStatus RingSoundSystem::StartPlay() {
    const SoundOp op = SoundOp::StartPlay;
    if (auto st = Guard(op, Needs::PlayBuffer); !st.Ok()) {
        return st;
    }
    const bool was = Rings_.Playing();
    const bool running = DeviceRunning_;
    Rings_.SetPlaying(true);
    if (auto st = UpdateDevice(); !st.Ok()) {
        Rings_.SetPlaying(was);
        return st;
    }
    if (!was && running && PlayedThisRun_) {
        PlaybackResumed();
    }
    PlayedThisRun_ = PlayedThisRun_ || DeviceRunning_;
    return {};
}

SoundStatus RingSoundSystem::StopPlay() {
    const SoundOp op = SoundOp::StopPlay;
    if (auto st = Guard(op); !st.Ok()) {
        return st;
    }
    Rings_.SetPlaying(false);
    return UpdateDevice();
}

void RingSoundSystem::Release(SoundObject object) {
    static constexpr SoundOp Ops[] = {SoundOp::ReleaseRoot, SoundOp::ReleasePlayDevice,
                                      SoundOp::ReleaseCaptureDevice, SoundOp::ReleasePlayBuffer,
                                      SoundOp::ReleaseCaptureBuffer};
    const auto index = static_cast<std::size_t>(object);
    [[maybe_unused]] const SoundStatus ignored = Enter(Ops[index]); // releasing cannot fail
    Released_[index] = true;
    switch (object) {
    case SoundObject::PlayDevice:
        PlayDevice_ = false;
        break;
    case SoundObject::CaptureDevice:
        CaptureDevice_ = false;
        break;
    case SoundObject::PlayBuffer:
        PlayBuffer_ = false;
        break;
    case SoundObject::CaptureBuffer:
        CaptureBuffer_ = false;
        break;
    case SoundObject::Root:
        break;
    }
    for (const bool released : Released_) {
        if (!released) {
            return;
        }
    }
    Shutdown(); // nothing refers to the library any more
}

void RingSoundSystem::Shutdown() {
    Rings_.SetCapturing(false);
    Rings_.SetPlaying(false);
    if (DeviceRunning_) {
        DeviceRunning_ = false;
        [[maybe_unused]] const SoundStatus ignored = HaltDevice();
    }
    if (RootOpen_) {
        RootOpen_ = false;
        CloseRoot();
    }
}

void RingSoundSystem::SignalStreamFailure() noexcept {
    if (!StreamFailed_.exchange(true, std::memory_order_acq_rel)) {
        Queue_.Push(StreamFailedEvent);
    }
}

SoundStatus RingSoundSystem::StreamError() const {
    if (!StreamFailed()) {
        return {};
    }
    return SoundStatus::Fail(SoundOp::Stream, StreamFailureText());
}

SoundCounters RingSoundSystem::Counters() const {
    SoundCounters c;
    c.CaptureOverruns = Rings_.CaptureOverruns();
    c.MergedNotifications = Rings_.MergedNotifications();
    c.DroppedNotifications = Queue_.Dropped();
    c.DeviceXruns = DeviceXruns();
    c.FramesCaptured = Rings_.FramesCaptured();
    c.LeadSlips = Rings_.LeadSlips();
    c.DryFills = Rings_.DryFills();
    return c;
}

} // namespace corvane
