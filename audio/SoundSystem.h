// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "NotificationQueue.h"
#include "SoundTypes.h"

#include <cstdint>
#include <span>

namespace corvane {

// The sound system the receiver talks to: the default playback and capture devices, a looping
// capture buffer of 16384 bytes with notification positions, a looping playback buffer of
// 32768 bytes whose play and write positions can be read and whose play position can be set.
//
// Every call is made on the UI thread. Notifications travel through Notifications(): the device
// side pushes the event id, the UI thread pops it (see NotificationPump). Every operation returns
// a status that names what failed in words the operator can read.
class SoundSystem {
public:
    // Pushed instead of an event id when the running stream dies (device removed, sound server
    // gone); StreamError() says what happened.
    static constexpr std::int32_t StreamFailedEvent = -1;

    virtual ~SoundSystem() = default;

    // Devices: the system's default playback and capture device.
    virtual SoundStatus CreatePlayDevice() = 0;
    virtual SoundStatus CreateCaptureDevice() = 0;

    // Buffers: only the receiver's format (PCM, 2 channels, 48000 Hz, 16 bits) and sizes
    // (capture 16384, playback 32768 bytes) are offered.
    virtual SoundStatus CreateCaptureBuffer(const BufferDesc& desc) = 0;
    virtual SoundStatus CreatePlayBuffer(const BufferDesc& desc) = 0;

    // Notification events: nonzero ids, signalled when capture passes an armed position.
    virtual SoundStatus CreateEvent(std::int32_t& eventId) = 0;
    virtual SoundStatus SetNotificationPositions(std::span<const NotifyPosition> positions) = 0;
    virtual SoundStatus DestroyEvent(std::int32_t eventId) = 0;

    // Capture, always looping.
    virtual SoundStatus StartCapture() = 0;
    virtual SoundStatus StopCapture() = 0;
    // dest.size() / 2 frames from the byte offset (a whole frame), wrapping at the end.
    virtual SoundStatus ReadCapture(std::int32_t offset, std::span<std::int16_t> dest) = 0;

    // Playback, always looping.
    virtual SoundStatus GetPlayPositions(PlayPositions& positions) = 0;
    virtual SoundStatus WritePlay(std::int32_t offset, std::span<const std::int16_t> src) = 0;
    virtual SoundStatus SetPlayPosition(std::int32_t offset) = 0;
    virtual SoundStatus StartPlay() = 0;
    virtual SoundStatus StopPlay() = 0;

    // Drops one object; the library is shut down once all five are dropped.
    virtual void Release(SoundObject object) = 0;

    virtual NotificationQueue& Notifications() = 0;
    virtual SoundStatus StreamError() const = 0;

    // The UI thread took this id from Notifications(). False: a newer notification of the same
    // event is queued behind it, so this one is stale and must not be handled.
    virtual bool TakeNotification(std::int32_t eventId) = 0;

    // What was lost on the way, counted since the sound system was made (any thread).
    virtual SoundCounters Counters() const = 0;
    // The device runs on a real clock, so a stream that stops notifying has stalled. False for
    // clocks that run only as the receiver asks (tests, replay).
    virtual bool RealTimeClock() const = 0;
    // The longest a healthy capture stream may go without delivering, in seconds: its
    // fragment, or its source's latency where the source delivers only as often as that.
    // Longer silence is a stall.
    virtual double CaptureGapSeconds() const { return 0.0; }
};

} // namespace corvane
