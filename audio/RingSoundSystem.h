// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "SoundRings.h"
#include "SoundSystem.h"

#include <array>
#include <atomic>
#include <string_view>

namespace corvane {

// What the PortAudio device and the virtual card share: buffer and notification bookkeeping on
// the rings, argument checks, and running the device only while capture or playback is on.
// A back end supplies the device hooks.
class RingSoundSystem : public SoundSystem {
public:
    SoundStatus CreatePlayDevice() override;
    SoundStatus CreateCaptureDevice() override;
    SoundStatus CreateCaptureBuffer(const BufferDesc& desc) override;
    SoundStatus CreatePlayBuffer(const BufferDesc& desc) override;
    SoundStatus CreateEvent(std::int32_t& eventId) override;
    SoundStatus SetNotificationPositions(std::span<const NotifyPosition> positions) override;
    SoundStatus DestroyEvent(std::int32_t eventId) override;
    SoundStatus StartCapture() override;
    SoundStatus StopCapture() override;
    SoundStatus ReadCapture(std::int32_t offset, std::span<std::int16_t> dest) override;
    SoundStatus GetPlayPositions(PlayPositions& positions) override;
    SoundStatus WritePlay(std::int32_t offset, std::span<const std::int16_t> src) override;
    SoundStatus SetPlayPosition(std::int32_t offset) override;
    SoundStatus StartPlay() override;
    SoundStatus StopPlay() override;
    void Release(SoundObject object) override;
    NotificationQueue& Notifications() override { return Queue_; }
    SoundStatus StreamError() const override;
    SoundCounters Counters() const override;
    bool TakeNotification(std::int32_t eventId) override {
        return Rings_.TakeNotification(eventId);
    }

    bool DeviceRunning() const { return DeviceRunning_; }

protected:
    RingSoundSystem() = default;

    // Called first by every operation; a non-OK status fails it (the virtual card's injection).
    virtual SoundStatus Enter(SoundOp) { return {}; }
    virtual SoundStatus OpenRoot() = 0;
    virtual void CloseRoot() = 0;
    virtual SoundStatus OpenPlayDevice() = 0;
    virtual SoundStatus OpenCaptureDevice() = 0;
    virtual SoundStatus CheckFormat() { return {}; } // both directions at 48000/16/2
    // Start moving frames; afterFailure: the stream died since it last ran and must be made
    // afresh.
    virtual SoundStatus RunDevice(bool afterFailure) = 0;
    virtual SoundStatus HaltDevice() = 0; // stop moving frames
    virtual std::string StreamFailureText() const = 0;
    virtual std::uint64_t DeviceXruns() const { return 0; }
    // The UI thread has read a half: a back end holding capture back may go on.
    virtual void CaptureReleased() {}
    // The UI thread is about to read the play positions (and then to write the next block).
    virtual void BeforePlayPositions() {}
    // Playback starts again while the device runs, after it was stopped in this run (a stall
    // of the input): whatever the device queued meanwhile is stale. Not at the first start of
    // a run: what is queued then is the little silence given before it, and a server that
    // fills an emptied queue at once from the first blocks (PipeWire took 5120 of the 6144
    // frames written) would leave the player a block from the writer, a restart in most starts.
    virtual void PlaybackResumed() {}

    // Device side: the stream died. Pushes StreamFailedEvent once per run.
    void SignalStreamFailure() noexcept;
    bool StreamFailed() const { return StreamFailed_.load(std::memory_order_acquire); }

    // Back ends call this from their destructors: stops the device and shuts the library.
    void Shutdown();

    NotificationQueue Queue_;
    SoundRings Rings_{Queue_};

private:
    // The object an operation needs besides the back end's word on it.
    enum class Needs { Nothing, CaptureDevice, PlayDevice, CaptureBuffer, PlayBuffer };
    // What every operation checks first: Enter, then that what it needs exists.
    SoundStatus Guard(SoundOp op, Needs needs = Needs::Nothing);
    static constexpr std::int32_t MaxEvents = 8;

    // The last step of every Create, after its checks: the back end's hook (an open, or its word
    // on the format), and once that succeeds the flag that later operations check.
    using Hook = SoundStatus (RingSoundSystem::*)();
    SoundStatus Make(Hook hook, bool& made);
    SoundStatus EnsureRoot();
    SoundStatus CreateDevice(SoundOp op, Hook openDevice, bool& made); // opens the root first
    SoundStatus CreateBuffer(SoundOp op, Needs device, const BufferDesc& desc, std::int32_t bytes,
                             std::string_view refusal, bool& made);
    SoundStatus UpdateDevice();
    bool EventAlive(std::int32_t id) const;

    bool RootOpen_ = false;
    bool PlayDevice_ = false;
    bool CaptureDevice_ = false;
    bool CaptureBuffer_ = false;
    bool PlayBuffer_ = false;
    bool DeviceRunning_ = false;
    bool PlayedThisRun_ = false;     // playback was started since the device last started
    std::array<bool, 5> Released_{}; // by SoundObject
    std::array<std::int32_t, MaxEvents> Events_{}; // live event ids, 0 = free slot
    std::int32_t NextEventId_ = 1;
    std::atomic<bool> StreamFailed_{false};
};

} // namespace corvane
