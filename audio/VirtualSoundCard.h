// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "RingSoundSystem.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvane {

// Where the virtual card's capture comes from: interleaved L,R frames, called on the card's
// clock (the caller's thread or the card's own thread), one period at a time.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    virtual void Fill(std::span<std::int16_t> frames) = 0;
};

// Where the virtual card's output goes: every frame the device plays, zeros while stopped.
class PlaybackSink {
public:
    virtual ~PlaybackSink() = default;
    virtual void Take(std::span<const std::int16_t> frames) = 0;
};

class SilenceSource final : public CaptureSource {
public:
    void Fill(std::span<std::int16_t> frames) override;
};

class NullSink final : public PlaybackSink {
public:
    void Take(std::span<const std::int16_t>) override {}
};

// How the virtual card's time advances while its device runs.
enum class CardClock {
    Caller,            // only when the caller says so (Advance): deterministic tests
    RealTime,          // its own thread, 48000 frames per second of wall time: demos
    AsFastAsProcessed, // its own thread, the next block as soon as the last one is handled
};

struct VirtualCardOptions {
    CardClock Clock = CardClock::Caller;
    std::int32_t PeriodFrames = 256;  // frames moved per device period (threaded clocks), 1..1024
    std::int32_t LatencyFrames = 256; // frames between fetching and sounding (write vs play)
    // Playback frames per captured frame: 1 + 1e-4 is a playback clock 0.01 % faster than
    // capture's, as with two devices on two crystals.
    double PlaybackRatio = 1.0;
    // The stream starts stalled (ResumeStream lets it go): a source whose first data come late.
    bool StartStalled = false;
};

// A sound card in memory with the same interface and rules as the real one: capture fed by a
// source, playback drained by a sink. Any operation can be told to fail, and the running stream
// can be made to die, so that every failure path of the receiver can be tested.
class VirtualSoundCard final : public RingSoundSystem {
public:
    VirtualSoundCard(CaptureSource& source, PlaybackSink& sink, VirtualCardOptions options = {});
    ~VirtualSoundCard() override;
    VirtualSoundCard(const VirtualSoundCard&) = delete;
    VirtualSoundCard& operator=(const VirtualSoundCard&) = delete;

    // Caller clock: runs the device for `frames` frames now, in periods of at most
    // `maxPeriod`. Does nothing while the device is stopped (neither capture nor playback on).
    void Advance(std::int32_t frames, std::int32_t maxPeriod = 1024);

    // The operation fails, with this message, every time until cleared.
    void FailOperation(SoundOp op, std::string message = "simulated failure");
    void ClearFailures() { Failures_.clear(); }
    // The running stream dies: at once (caller clock) or at the next period (threaded clocks).
    void FailStream(std::string message = "the virtual sound stream died");

    // Every operation called, in order (UI thread only).
    const std::vector<SoundOp>& Log() const { return Log_; }
    void ClearLog() { Log_.clear(); }
    // The stream stops moving frames without a word, as a stopped sound server does.
    void StallStream() { Stalled_.store(true, std::memory_order_release); }
    void ResumeStream() { Stalled_.store(false, std::memory_order_release); } // after a stall
    // A device-reported xrun, as a real back end counts them.
    void CountXrun() { Xruns_.fetch_add(1, std::memory_order_relaxed); }
    bool RealTimeClock() const override { return Options_.Clock == CardClock::RealTime; }
    // Frames the device has run since it was made.
    std::int64_t FramesRun() const { return FramesRun_.load(std::memory_order_acquire); }

private:
    SoundStatus Enter(SoundOp op) override;
    SoundStatus OpenRoot() override { return {}; }
    void CloseRoot() override {}
    SoundStatus OpenPlayDevice() override { return {}; }
    SoundStatus OpenCaptureDevice() override { return {}; }
    SoundStatus RunDevice(bool afterFailure) override;
    SoundStatus HaltDevice() override;
    std::string StreamFailureText() const override { return StreamMessage_; }
    std::uint64_t DeviceXruns() const override { return Xruns_.load(std::memory_order_relaxed); }

    void Period(std::int32_t frames) noexcept; // device side
    void RunClock() noexcept;                  // the clock thread
    void StopClock();

    CaptureSource& Source_;
    PlaybackSink& Sink_;
    const VirtualCardOptions Options_;
    std::vector<SoundOp> Log_;
    std::vector<std::pair<SoundOp, std::string>> Failures_;
    std::string StreamMessage_;
    std::array<std::int16_t, 2 * 1024> In_{};  // one period of capture, L,R
    std::array<std::int16_t, 2 * 1024> Out_{}; // one period of playback, L,R
    std::atomic<std::int64_t> FramesRun_{0};
    std::atomic<bool> Running_{false};    // the device moves frames
    std::atomic<bool> Dead_{false};       // the stream died; nothing moves until restarted
    std::atomic<bool> KillStream_{false}; // FailStream asked a threaded clock to die
    std::atomic<bool> StopClock_{false};
    std::atomic<bool> Stalled_{false};
    std::atomic<std::uint64_t> Xruns_{0};
    double PlaybackDebt_ = 0.0; // device side: playback frames owed to the ratio
    std::thread Clock_;
};

} // namespace corvane
