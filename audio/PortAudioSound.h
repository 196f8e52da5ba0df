// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "RingSoundSystem.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// The sound card through PortAudio: one full-duplex stream on the default input and output
// device (whatever the ALSA default is: normally the PulseAudio or PipeWire server), 48000 Hz,
// 16-bit, two channels. The stream runs while capture or playback is on. Its callback only moves
// frames between the device and the rings and pushes the notifications it passes.
class PortAudioSound final : public RingSoundSystem {
public:
    // Empty names: PortAudio's default input and output device.
    explicit PortAudioSound(std::string captureDevice = {}, std::string playbackDevice = {})
        : CaptureName_(std::move(captureDevice)), PlaybackName_(std::move(playbackDevice)) {}
    // Silences ALSA's and JACK's messages about every device they probe (a hundred lines at
    // each start); call before Pa_Initialize. PortAudio's own return codes say what matters.
    static void QuietLibraries();
    // The devices with at least two input (capture) or output (playback) channels.
    static SoundStatus ListDevices(std::vector<SoundDeviceInfo>& capture,
                                   std::vector<SoundDeviceInfo>& playback);
    ~PortAudioSound() override;
    PortAudioSound(const PortAudioSound&) = delete;
    PortAudioSound& operator=(const PortAudioSound&) = delete;

    // For the record: the devices chosen and the latency the stream reported.
    std::string DeviceNames() const;
    double OutputLatencySeconds() const { return OutputLatency_; }
    double InputLatencySeconds() const { return InputLatency_; }
    // Periods in which the device reported lost input or missing output.
    std::uint64_t Xruns() const { return Xruns_.load(std::memory_order_relaxed); }
    bool RealTimeClock() const override { return true; }

private:
    SoundStatus OpenRoot() override;
    void CloseRoot() override;
    SoundStatus OpenPlayDevice() override;
    SoundStatus OpenCaptureDevice() override;
    // The named device of one direction, or the default, if it has two channels.
    SoundStatus OpenDevice(bool input, int& chosen);
    SoundStatus CheckFormat() override;
    SoundStatus RunDevice(bool afterFailure) override;
    SoundStatus HaltDevice() override;
    std::string StreamFailureText() const override;
    std::uint64_t DeviceXruns() const override { return Xruns(); }

    void CloseStream();
    struct Hooks; // the PortAudio callbacks, defined beside the PortAudio calls
    friend struct Hooks;

    const std::string CaptureName_;
    const std::string PlaybackName_;
    bool Initialized_ = false;
    bool Abandoned_ = false; // a call into PortAudio never returned: it is not used again
    int OutputDevice_ = -1;  // PortAudio device index
    int InputDevice_ = -1;
    void* Stream_ = nullptr; // PaStream
    double OutputLatency_ = 0.0;
    double InputLatency_ = 0.0;
    std::atomic<bool> StopRequested_{false};
    std::atomic<std::uint64_t> Xruns_{0};
};

} // namespace corvane
