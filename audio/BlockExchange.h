// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "NotificationPump.h"
#include "SoundSystem.h"
#include "SoundTypes.h"

#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace corvane {

enum class InputState { Flowing, Waiting, Missing };

// What the capture handler calls out to. The receiver window implements it: ProcessBlock runs
// modDSP's chain with the window's VideoFilter, DoEvents is one pass of the Qt event loop.
class ExchangeClient {
public:
    virtual ~ExchangeClient() = default;
    // InBlock: 4096 samples, I left and Q right; OutBlock: 4096 samples of audio, L = R.
    virtual void ProcessBlock(std::span<const std::int16_t> InBlock,
                              std::span<std::int16_t> OutBlock) = 0;
    // Let pending window events run once (QCoreApplication::processEvents()).
    virtual void DoEvents() = 0;
    // The mean time a block took, in seconds, over the last 100 blocks (for "Run mS").
    virtual void ShowRunTime(double meanSeconds) = 0;
    // A sound operation failed while the receiver was on. Capture and playback have been
    // stopped and no further notification is handled; the window shows the message and returns
    // to OFF. ON may be pressed again.
    virtual void SoundFailed(const SoundStatus& status) = 0;
    // The loss counters changed (they are shown beside the "Run mS" figure). stalledBlocks:
    // the time the input was missing in stalls that healed, in blocks.
    virtual void ShowCounters(const SoundCounters& /*sound*/, std::uint64_t /*restarts*/,
                              std::uint64_t /*stalledBlocks*/) {}
    // Whether captured data arrive: waiting for the first after ON, flowing, or missing for
    // longer than the stream's own rhythm explains (the receiver stays on meanwhile).
    virtual void ShowInputState(InputState /*state*/) {}
};

// Sees every captured block as the handler reads it, before processing (the I/Q recorder).
// Called on the UI thread inside the capture handler: it must neither block nor allocate.
class CaptureTap {
public:
    virtual ~CaptureTap() = default;
    virtual void Captured(std::span<const std::int16_t> block) noexcept = 0;
};

// Sees every block the handler writes to playback, as it is written (corvane-replay's output:
// what the receiver plays, whatever the device later does with it). Called on the UI thread
// inside the capture handler: it must neither block nor allocate.
class PlaybackTap {
public:
    virtual ~PlaybackTap() = default;
    virtual void Played(std::span<const std::int16_t> block) noexcept = 0;
};

// The receiver's sound objects and the block exchange between capture, processing and
// playback: the window's fields and routines for the sound system, owned by the window.
//
// Start-up calls CreateDevices then SetEvents; ON calls StartCapture, OFF StopBuffers, closing
// Release. Notifications arrive by themselves through the Qt event loop and run
// DirectXEvent8_DXCallback, one at a time. Everything runs on the UI thread.
class BlockExchange {
public:
    static constexpr std::int32_t WarmupBlocks = 10; // notifications before processing starts
    static constexpr std::int32_t ResyncDelay = 3;   // notifications from collision to restart
    static constexpr std::int32_t RunWindow = 100;   // notifications per "Run mS" average
    // A device on a real clock that captures nothing for this long beyond its own rhythm
    // (SoundSystem::CaptureGapSeconds) has stalled: the window says the input is missing, and
    // reception goes on by itself when data come again (a server stopped and continued, a
    // machine that paused). Only a stall of StallFailMs ends the run with a message. The first
    // data after ON may take FirstDataGraceMs (a sink that wakes late, a source with a long
    // fixed latency) before the wait counts as a stall. Checked every WatchdogTickMs, so
    // either is seen within half a second.
    static constexpr int StallMs = 400;
    static constexpr int StallFailMs = 10000;
    static constexpr int FirstDataGraceMs = 5000;
    static constexpr int WatchdogTickMs = 100;

    BlockExchange(SoundSystem& sound, ExchangeClient& client);
    BlockExchange(const BlockExchange&) = delete;
    BlockExchange& operator=(const BlockExchange&) = delete;
    ~BlockExchange();

    // Opens the default devices and makes both buffers. A missing device gives a status for
    // which EndsProgram() is true and whose message is NoSoundDeviceMessage; any other failure
    // names what failed, the receiver stays usable and ON tries the missing pieces again.
    SoundStatus CreateDevices();
    // Makes the two notification events and arms them at bytes 8191 and 16383 of capture.
    SoundStatus SetEvents();
    static bool EndsProgram(const SoundStatus& status);

    // The sound part of ON: makes whatever start-up could not, starts capture (looping), asks
    // for a playback restart and goes back to segment 0.
    SoundStatus StartCapture();
    // The sound part of OFF: cancels a pending restart, stops capture and playback.
    SoundStatus StopBuffers();
    // Closing: destroys the two events (one event-loop pass before each), then drops the sound
    // objects in the order root, playback device, capture device, playback buffer, capture
    // buffer.
    void Release();

    // The capture notification handler ("DirectXEvent8" was the sound system's callback
    // interface; the name is kept). EventId is one of EventHandle.
    void DirectXEvent8_DXCallback(std::int32_t EventId);
    void StartTimer();
    void StopTimer();

    bool Capturing() const { return Capturing_; }

    // Playback restarts forced by a collision after playback had started (not the start after
    // ON): each one is a jump in the audio.
    std::uint64_t PlaybackRestarts() const { return PlaybackRestarts_; }
    // The time the input was missing in stalls that healed, in blocks (rounded up).
    std::uint64_t StalledBlocks() const { return StalledBlocks_; }
    InputState Input() const { return Input_; }
    // Every captured block goes to the tap too (null: none).
    void SetCaptureTap(CaptureTap* tap) { Tap_ = tap; }
    // Every block written to playback goes to the tap too (null: none).
    void SetPlaybackTap(PlaybackTap* tap) { PlayTap_ = tap; }
    SoundCounters Counters() const { return Sound_.Counters(); }

    // What a run's record of each block reads after the block: all from here, in one piece.
    struct BlockStatistics {
        bool Processed = false; // the block went through the chain (the warm-up was over)
        double Seconds = 0.0;   // how long its notification took
        SoundCounters Counters; // the loss counters so far
        std::uint64_t PlaybackRestarts = 0;
    };
    BlockStatistics Statistics() const {
        return {LastProcessed_, RunStop - RunStart, Counters(), PlaybackRestarts_};
    }

    // --- Sound objects and buffers ---------------------------------------------------------
    WaveFormat SoundFormat;
    BufferDesc CaptureDesc;
    BufferDesc PlayDesc;
    std::int32_t HalfBytes = 0;                // 8192 once the devices exist
    std::array<std::int32_t, 2> EventHandle{}; // end of capture half 0 and half 1
    std::array<NotifyPosition, 2> NotifyPos{};
    std::array<std::int16_t, BlockArrayElements> CaptureBlock{}; // I/Q block read from capture
    std::array<std::int16_t, BlockArrayElements> PlayBlock{};    // processed block to play

    // --- Block exchange state ---------------------------------------------------------------
    std::int32_t CaptureHalf = 0; // half (0, 1) the last notification completed
    std::int32_t PlayIndex = 0;   // playback segment (0..3) to be written next
    std::int32_t WriteStart = 0;  // byte offset of the segment about to be written
    std::int32_t WriteEnd = 0;    // upper end of the collision range
    std::int32_t PlayCursor = 0;  // playback play position in bytes, as last read
    std::int32_t WriteCursor = 0; // playback write position in bytes, as last read
    bool Resync = false;          // a restart of playback is pending
    std::int32_t ResyncCount = 0; // notifications counted while a restart is pending
    std::int32_t WarmupCount = 0; // notifications seen while warming up; processing starts at 10
    double RunStart = 0.0;        // seconds, clock at the start of the notification
    double RunStop = 0.0;         // seconds, clock at its end
    double RunTotal = 0.0;        // seconds accumulated in the current averaging window
    std::int32_t RunCount = 0;    // 0..99, position in the averaging window

    // Seconds from any fixed origin, millisecond resolution or better. Monotonic by default.
    std::function<double()> Clock;

private:
    void OnNotification(std::int32_t eventId);
    void Fail(const SoundStatus& status);
    void CheckStall();
    void ReportCounters();
    void SetInput(InputState state);
    void Heal(double now);
    bool CatchUp(std::int32_t eventId); // false: the block was let go

    SoundSystem& Sound_;
    ExchangeClient& Client_;
    std::unique_ptr<NotificationPump> Pump_;
    bool Capturing_ = false; // between ON and OFF (or a failure): notifications are handled
    bool DevicesReady_ = false;
    bool CaptureBufferReady_ = false;
    bool PlayBufferReady_ = false;
    bool EventsReady_ = false;
    std::uint64_t PlaybackRestarts_ = 0;
    bool LastProcessed_ = false; // the latest notification's block went through the chain
    CaptureTap* Tap_ = nullptr;
    PlaybackTap* PlayTap_ = nullptr;
    QTimer Watchdog_;
    std::uint64_t WatchedFrames_ = 0; // frames captured at the last sign of life
    double WatchedSince_ = 0.0;       // Clock() then
    InputState Input_ = InputState::Flowing;
    std::uint64_t StalledBlocks_ = 0;
    // After a stall: blocks that come faster than this after the one before are the server's
    // backlog and are let go. The backlog may pause within its burst for part of a block
    // (PipeWire delivers the held-back time in spurts), so it is over only when this many
    // blocks in a row have come in their own time; the first of them is let go too.
    static constexpr double CatchUpGapSeconds = 0.5 * BlockFrames / SampleRate;
    static constexpr std::int32_t CatchUpOnTimeBlocks = 2;
    bool CatchingUp_ = false;
    bool CatchUpFirst_ = false;      // the first block after the stall: always from the backlog
    double CatchUpLast_ = 0.0;       // Clock() at the last block while catching up
    std::int32_t CatchUpOnTime_ = 0; // blocks in a row that came in their own time
    SoundCounters ShownCounters_;    // as last handed to the client
    std::uint64_t ShownRestarts_ = 0;
    std::uint64_t ShownStalled_ = 0;
};

} // namespace corvane
