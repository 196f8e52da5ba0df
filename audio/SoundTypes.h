// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "StreamFormat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace corvane {

inline constexpr std::int32_t BlockArrayElements = BlockSamples + 1; // one spare, as the chain's

// Shown when there is no default playback or capture device; the program ends after it.
inline constexpr std::string_view NoSoundDeviceMessage =
    "Unable to start DirectSound. Check proper sound card installation";

// The wave format of a buffer, filled in the order the receiver fills it.
struct WaveFormat {
    std::int16_t FormatTag = 0;         // 1: PCM
    std::int16_t Channels = 0;          // 2
    std::int32_t SamplesPerSecond = 0;  // 48000
    std::int16_t BitsPerSample = 0;     // 16
    std::int16_t BlockAlign = 0;        // bytes per frame: 4
    std::int32_t AvgBytesPerSecond = 0; // 192000
};

// What a buffer is made from.
struct BufferDesc {
    std::int32_t Flags = 0; // accepted and ignored: no focus or cursor modes exist here
    std::int32_t Bytes = 0;
    WaveFormat Format;
};

// A capture notification: the event signalled when the capture position passes Offset.
struct NotifyPosition {
    std::int32_t Offset = 0;  // byte in the capture buffer
    std::int32_t EventId = 0; // nonzero, from CreateEvent
};

// Every operation of the sound layer, so that a failure can name what failed (and a virtual
// card can be told to fail any of them).
enum class SoundOp {
    None,
    CreateRoot, // the sound library itself, made by the first operation that needs it
    CreatePlayDevice,
    CreateCaptureDevice,
    CreateCaptureBuffer,
    CreatePlayBuffer,
    CreateEvent,
    SetNotificationPositions,
    StartCapture,
    StopCapture,
    ReadCapture,
    GetPlayPositions,
    WritePlay,
    SetPlayPosition,
    StartPlay,
    StopPlay,
    DestroyEvent,
    Stream, // the running stream failed: device removed, sound server gone
    ReleaseRoot,
    ReleasePlayDevice,
    ReleaseCaptureDevice,
    ReleasePlayBuffer,
    ReleaseCaptureBuffer,
};

// A short English name of an operation, for messages and test output.
std::string_view SoundOpName(SoundOp op);

// The result of an operation: Ok, or which operation failed and a message for the operator.
struct SoundStatus {
    SoundOp Failed = SoundOp::None;
    std::string Message;

    bool Ok() const { return Failed == SoundOp::None; }
    static SoundStatus Fail(SoundOp op, std::string message) { return {op, std::move(message)}; }
    // Every failure the operator reads has one shape: "Unable to <action>: <why>." The action
    // is the operation's own words unless given.
    static SoundStatus Unable(SoundOp op, std::string_view why);
    static SoundStatus Unable(SoundOp op, std::string_view action, std::string_view why);
};

// The objects dropped, in a given order, when the window closes.
enum class SoundObject { Root, PlayDevice, CaptureDevice, PlayBuffer, CaptureBuffer };

// What went wrong on the way between the device and the receiver; all zero in a healthy run.
struct SoundCounters {
    std::uint64_t CaptureOverruns = 0;      // halves overwritten before they were read
    std::uint64_t MergedNotifications = 0;  // notifications folded into one still pending
    std::uint64_t DroppedNotifications = 0; // notifications the full queue could not take
    std::uint64_t DeviceXruns = 0;          // periods the device or server reported lost or missing
    std::uint64_t FramesCaptured = 0;       // frames the device stored (progress, not a fault)
    // Frames skipped or repeated to keep the lead of a player on another clock (a correction,
    // not a loss).
    std::uint64_t LeadSlips = 0;
    // Requests filled with silence after the player ran dry, to give it a lead again (a gap of
    // at most one request each; the run dry is counted in DeviceXruns).
    std::uint64_t DryFills = 0;

    // The same faults counted (the progress aside).
    bool SameFaults(const SoundCounters& other) const {
        return CaptureOverruns == other.CaptureOverruns &&
               MergedNotifications == other.MergedNotifications &&
               DroppedNotifications == other.DroppedNotifications &&
               DeviceXruns == other.DeviceXruns;
    }
};

// A capture or playback device as the sound system names it.
struct SoundDeviceInfo {
    std::string Name;        // what --capture / --playback take
    std::string Description; // for people
};

// Playback positions in bytes from the start of the playback buffer.
struct PlayPositions {
    std::int32_t Play = 0;  // being heard now
    std::int32_t Write = 0; // everything before it has been handed to the device
};

} // namespace corvane
