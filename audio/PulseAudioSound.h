// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "CapturePacer.h"
#include "RingSoundSystem.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace corvane {

// The sound card through a PulseAudio server (PulseAudio itself, or PipeWire's PulseAudio
// server): one record stream for the I/Q input and one playback stream for the audio, each on
// its own device if the operator chose two, at 48000 Hz, 16-bit, two channels.
//
// The server's client library runs its own thread (a threaded main loop). Its record and
// playback callbacks only move frames between the streams and the rings and push the
// notifications they pass. Every call from the UI thread is asynchronous: starting and stopping
// only queue requests to the server, so a server that hangs or dies cannot freeze the window;
// a connection or stream that fails later arrives as a stream failure.
class PulseAudioSound final : public RingSoundSystem {
public:
    // Empty names: the server's default source and sink.
    explicit PulseAudioSound(std::string captureDevice = {}, std::string playbackDevice = {});
    ~PulseAudioSound() override;
    PulseAudioSound(const PulseAudioSound&) = delete;
    PulseAudioSound& operator=(const PulseAudioSound&) = delete;

    // Whether a server answers within the time given, took the connection and did not answer
    // (stopped, or stuck), or is not there at all. The program uses this back end unless none is
    // there: ALSA's route to a silent server (the pulse plug-in, PortAudio's default device)
    // waits on it without end, where this back end says the server did not answer.
    enum class ServerAnswer { Answers, Silent, Absent };
    static ServerAnswer ProbeServer(int timeoutMs);
    static bool ServerReachable(int timeoutMs); // it answers

    // The server's sources (capture, monitors included) and sinks (playback).
    static SoundStatus ListDevices(std::vector<SoundDeviceInfo>& capture,
                                   std::vector<SoundDeviceInfo>& playback);

    bool RealTimeClock() const override { return true; }
    double CaptureGapSeconds() const override {
        return static_cast<double>(CaptureGapUs_.load(std::memory_order_relaxed)) / 1e6;
    }
    // For the record: the devices asked for and the latency the server granted.
    std::string DeviceNames() const;
    double OutputLatencySeconds() const;

    struct Hooks; // the client library's callbacks, defined beside its calls

private:
    SoundStatus OpenRoot() override;
    void CloseRoot() override;
    SoundStatus OpenPlayDevice() override { return {}; }
    SoundStatus OpenCaptureDevice() override { return {}; }
    SoundStatus RunDevice(bool afterFailure) override;
    SoundStatus HaltDevice() override;
    std::string StreamFailureText() const override;
    std::uint64_t DeviceXruns() const override { return Xruns_.load(std::memory_order_relaxed); }
    void CaptureReleased() override;
    void BeforePlayPositions() override;
    void PlaybackResumed() override;

    // With the main loop locked.
    void NewContext();
    void DropContext();
    void ConnectStreams();
    void DropStreams();
    void StreamsFailed(int error, const char* where);
    void NoteCaptureGap(std::uint64_t us); // main loop thread
    void PaceLater(std::int32_t frames);

    const std::string CaptureDevice_;
    const std::string PlaybackDevice_;
    pa_threaded_mainloop* Loop_ = nullptr;
    pa_context* Context_ = nullptr;
    pa_stream* Record_ = nullptr;
    pa_stream* Playback_ = nullptr;
    bool Wanted_ = false;     // the device should run (guarded by the main loop's lock)
    bool OnPipeWire_ = false; // the server is PipeWire's (fragment sizes follow it)
    // The captured fragment being stored into the ring (main loop thread only): the server
    // keeps it until it is dropped, so a fragment can be stored in parts.
    const void* Fragment_ = nullptr;
    std::size_t FragmentBytes_ = 0;
    std::size_t FragmentDone_ = 0;
    bool HaveFragment_ = false;
    bool PlaybackUncorked_ = false; // the playback stream's first queue has been written
    // A playback stream that has not asked for WatchServerAfterNs has its server's read
    // position looked at once a block: one that moved on since the last look shows a server
    // that plays from what it holds (see SoundRings::NoteDevicePlaying).
    static constexpr std::int64_t WatchServerAfterNs = 100'000'000;
    bool TimingAsked_ = false; // a look is under way
    bool ReadIndexKnown_ = false;
    std::int64_t ReadIndex_ = 0; // bytes, the server's read position at the last look
    // Capture waits for the UI thread to read a half: it then wakes the main loop through this
    // descriptor, so that what the server holds moves on at once rather than at the next
    // fragment.
    std::atomic<bool> ReaderWaiting_{false};
    int WakeFd_ = -1;
    void* WakeEvent_ = nullptr; // pa_io_event
    // A source that delivers in bursts is let into the ring at the clock's pace (main loop
    // thread); the timer wakes the record side when the next frames may go.
    CapturePacer Pacer_;
    bool SourceKnown_ = false;  // the source's latency has been asked and answered
    void* PaceEvent_ = nullptr; // pa_time_event
    std::atomic<int> FailureError_{0};
    std::atomic<const char*> FailureWhere_{"the sound server"};
    std::atomic<std::int32_t> GrantedLatencyFrames_{0};
    // The capture stream's fragment or its source's latency, whichever is longer, as granted.
    std::atomic<std::int64_t> CaptureGapUs_{0};
    std::atomic<std::uint64_t> Xruns_{0};
};

} // namespace corvane
