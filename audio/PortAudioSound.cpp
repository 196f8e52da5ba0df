// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "PortAudioSound.h"

#include <portaudio.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane {

namespace {

SoundStatus PaFail(SoundOp op, const std::string& what, PaError err) {
    return SoundStatus::Unable(op, what + " (" + Pa_GetErrorText(err) + ")");
}

SoundStatus Fail(SoundOp op, std::string_view why) {
    return SoundStatus::Unable(op, why);
}

constexpr double SuggestedLatency = 0.024; // seconds, each direction

PaStreamParameters Parameters(int device) {
    PaStreamParameters p{};
    p.device = device;
    p.channelCount = StreamChannels;
    p.sampleFormat = paInt16;
    // 24 ms: lower latencies lose periods through the sound server on a busy machine. Higher
    // ones crowd the block exchange: the play position trails the write position by this
    // latency, and a play position inside the segment about to be written counts as a
    // collision that restarts playback, so latency plus the jitter of the notifications must
    // stay below one block (42.67 ms).
    p.suggestedLatency = SuggestedLatency;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
}

// The hooks are looked up at run time: the libraries are there only as PortAudio's.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

} // namespace

void PortAudioSound::QuietLibraries() {
    using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetAlsaHandler = int (*)(AlsaHandler);
    using JackHandler = void (*)(const char*);
    using SetJackHandler = void (*)(JackHandler);
    if (void* f = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"); f != nullptr) {
        reinterpret_cast<SetAlsaHandler>(f)(&QuietAlsa);
    }
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* f = dlsym(RTLD_DEFAULT, name); f != nullptr) {
            reinterpret_cast<SetJackHandler>(f)(&QuietJack);
        }
    }
}

namespace {

// The device of that exact name with enough channels in that direction, or paNoDevice.
PaDeviceIndex FindDevice(const std::string& name, bool input) {
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || name != info->name) {
            continue;
        }
        if ((input ? info->maxInputChannels : info->maxOutputChannels) >= StreamChannels) {
            return i;
        }
    }
    return paNoDevice;
}

// How long the window waits for a PortAudio call that can hang on a sound server that stopped
// answering: opening and starting, then aborting and closing (a failure is reported within a
// second of the watchdog's).
constexpr int StartWaitMs = 3000;
constexpr int StopWaitMs = 200;

// Runs `call` on a thread of its own and waits up to the time given. False when it did not
// return in time: the thread is left to it, holding what it needs.
bool CallBounded(std::function<PaError()> call, PaError& result, int timeoutMs) {
    struct Outcome {
        std::mutex Lock;
        std::condition_variable Done;
        bool Finished = false;
        PaError Result = paNoError;
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread([outcome, call = std::move(call)] {
        const PaError r = call();
        const std::lock_guard lock(outcome->Lock);
        outcome->Result = r;
        outcome->Finished = true;
        outcome->Done.notify_all();
    }).detach();
    std::unique_lock lock(outcome->Lock);
    if (!outcome->Done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return outcome->Finished; })) {
        return false;
    }
    result = outcome->Result;
    return true;
}

SoundStatus Abandoned(SoundOp op) {
    return SoundStatus::Unable(op, "the sound stream stopped answering and was abandoned. "
                                   "Restart the receiver to use the sound card again");
}

} // namespace

SoundStatus PortAudioSound::ListDevices(std::vector<SoundDeviceInfo>& capture,
                                        std::vector<SoundDeviceInfo>& playback) {
    capture.clear();
    playback.clear();
    QuietLibraries();
    if (const PaError err = Pa_Initialize(); err != paNoError) {
        return PaFail(SoundOp::CreateRoot, "PortAudio did not start", err);
    }
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr) {
            continue;
        }
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        const std::string description = api != nullptr ? api->name : "";
        if (info->maxInputChannels >= StreamChannels) {
            capture.push_back({info->name, description});
        }
        if (info->maxOutputChannels >= StreamChannels) {
            playback.push_back({info->name, description});
        }
    }
    Pa_Terminate();
    return {};
}

PortAudioSound::~PortAudioSound() {
    Shutdown();
    CloseStream();
    if (Initialized_ && !Abandoned_) { // a call still stuck inside PortAudio would hang this
        Pa_Terminate();
        Initialized_ = false;
    }
}

SoundStatus PortAudioSound::OpenRoot() {
    QuietLibraries();
    const PaError err = Pa_Initialize();
    if (err != paNoError) {
        return PaFail(SoundOp::CreateRoot, "PortAudio did not start", err);
    }
    Initialized_ = true;
    return {};
}

void PortAudioSound::CloseRoot() {
    CloseStream();
    if (Initialized_ && !Abandoned_) {
        Pa_Terminate();
        Initialized_ = false;
    }
}

SoundStatus PortAudioSound::OpenPlayDevice() {
    return OpenDevice(false, OutputDevice_);
}

SoundStatus PortAudioSound::OpenCaptureDevice() {
    return OpenDevice(true, InputDevice_);
}

SoundStatus PortAudioSound::OpenDevice(bool input, int& chosen) {
    const SoundOp op = input ? SoundOp::CreateCaptureDevice : SoundOp::CreatePlayDevice;
    const std::string& name = input ? CaptureName_ : PlaybackName_;
    const std::string kind = input ? "input" : "output";
    const PaDeviceIndex device = !name.empty() ? FindDevice(name, input)
                                 : input       ? Pa_GetDefaultInputDevice()
                                               : Pa_GetDefaultOutputDevice();
    if (device == paNoDevice) {
        return Fail(op, name.empty() ? "there is no default " + kind + " device"
                                     : "there is no stereo " + kind + " device \"" + name + "\"");
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    const int channels = info == nullptr ? 0
                         : input         ? info->maxInputChannels
                                         : info->maxOutputChannels;
    if (channels < StreamChannels) {
        return Fail(op, (name.empty() ? "the default " : "the ") + kind + " device is not stereo");
    }
    chosen = device;
    return {};
}

SoundStatus PortAudioSound::CheckFormat() {
    if (InputDevice_ < 0 || OutputDevice_ < 0) {
        return {}; // checked again once both devices are there
    }
    const PaStreamParameters in = Parameters(InputDevice_);
    const PaStreamParameters out = Parameters(OutputDevice_);
    const PaError err = Pa_IsFormatSupported(&in, &out, SampleRate);
    if (err != paFormatIsSupported) {
        return PaFail(SoundOp::CreateCaptureBuffer,
                      "the default device does not offer 48000 Hz 16-bit stereo in both "
                      "directions",
                      err);
    }
    return {};
}

struct PortAudioSound::Hooks {
    // The real-time callback: copies frames and pushes notifications, nothing else.
    static int Period(const void* input, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo* /*timeInfo*/, PaStreamCallbackFlags flags,
                      void* self) {
        auto* sound = static_cast<PortAudioSound*>(self);
        if ((flags & (paInputOverflow | paOutputUnderflow)) != 0) {
            sound->Xruns_.fetch_add(1, std::memory_order_relaxed);
        }
        sound->Rings_.Transfer(static_cast<const std::int16_t*>(input),
                               static_cast<std::int16_t*>(output),
                               static_cast<std::int32_t>(frames));
        return paContinue;
    }

    // The stream ended. Unless we stopped it, it died under us.
    static void Finished(void* self) {
        auto* sound = static_cast<PortAudioSound*>(self);
        if (!sound->StopRequested_.load(std::memory_order_acquire)) {
            sound->SignalStreamFailure();
        }
    }
};

SoundStatus PortAudioSound::RunDevice(bool afterFailure) {
    if (Abandoned_) {
        return Abandoned(SoundOp::StartCapture);
    }
    if (Stream_ != nullptr && afterFailure) {
        CloseStream(); // a dead stream is opened afresh
    }
    if (Stream_ == nullptr && !Abandoned_) {
        const PaStreamParameters in = Parameters(InputDevice_);
        const PaStreamParameters out = Parameters(OutputDevice_);
        auto opened = std::make_shared<PaStream*>(nullptr);
        PaError err = paNoError;
        if (!CallBounded(
                [opened, in, out, this] {
                    return Pa_OpenStream(opened.get(), &in, &out, SampleRate,
                                         paFramesPerBufferUnspecified, paClipOff | paDitherOff,
                                         &Hooks::Period, this);
                },
                err, StartWaitMs)) {
            Abandoned_ = true;
            return Abandoned(SoundOp::StartCapture);
        }
        if (err != paNoError) {
            return PaFail(SoundOp::StartCapture, "the sound stream could not be opened", err);
        }
        PaStream* stream = *opened;
        Stream_ = stream;
        err = Pa_SetStreamFinishedCallback(stream, &Hooks::Finished);
        if (err != paNoError) {
            CloseStream();
            return PaFail(SoundOp::StartCapture, "the sound stream could not be watched", err);
        }
        if (const PaStreamInfo* info = Pa_GetStreamInfo(stream); info != nullptr) {
            OutputLatency_ = info->outputLatency;
            InputLatency_ = info->inputLatency;
        }
        const auto latency = static_cast<std::int32_t>(std::lround(OutputLatency_ * SampleRate));
        Rings_.SetLatencyFrames(std::min(latency, PlayRingFrames - 1));
    }
    if (Abandoned_) {
        return Abandoned(SoundOp::StartCapture);
    }
    StopRequested_.store(false, std::memory_order_release);
    auto* stream = static_cast<PaStream*>(Stream_);
    PaError err = paNoError;
    if (!CallBounded([stream] { return Pa_StartStream(stream); }, err, StartWaitMs)) {
        Stream_ = nullptr;
        Abandoned_ = true;
        return Abandoned(SoundOp::StartCapture);
    }
    if (err != paNoError) {
        StopRequested_.store(true, std::memory_order_release);
        CloseStream();
        return PaFail(SoundOp::StartCapture, "the sound stream could not be started", err);
    }
    return {};
}

SoundStatus PortAudioSound::HaltDevice() {
    if (Stream_ == nullptr) {
        return {};
    }
    StopRequested_.store(true, std::memory_order_release);
    auto* stream = static_cast<PaStream*>(Stream_);
    if (Pa_IsStreamStopped(stream) == 1) {
        return {};
    }
    // Abort rather than drain: stopping is immediate, like stopping a sound buffer. A stream
    // whose thread is stuck in a server that stopped answering is abandoned, never waited for.
    PaError err = paNoError;
    if (!CallBounded([stream] { return Pa_AbortStream(stream); }, err, StopWaitMs)) {
        Stream_ = nullptr;
        Abandoned_ = true;
        return Abandoned(SoundOp::StopCapture);
    }
    if (err != paNoError && !StreamFailed()) {
        CloseStream();
        return PaFail(SoundOp::StopCapture, "the sound stream did not stop", err);
    }
    return {};
}

void PortAudioSound::CloseStream() {
    if (Stream_ != nullptr) {
        StopRequested_.store(true, std::memory_order_release);
        auto* stream = static_cast<PaStream*>(Stream_);
        Stream_ = nullptr;
        PaError err = paNoError;
        if (!CallBounded([stream] { return Pa_CloseStream(stream); }, err, StopWaitMs)) {
            Abandoned_ = true;
        }
    }
}

std::string PortAudioSound::StreamFailureText() const {
    return "The sound stream stopped unexpectedly: the sound device was removed or the sound "
           "server went away.";
}

std::string PortAudioSound::DeviceNames() const {
    std::string names;
    for (const int device : {InputDevice_, OutputDevice_}) {
        const PaDeviceInfo* info = device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
        const PaHostApiInfo* api = info != nullptr ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
        names += names.empty() ? "in: " : ", out: ";
        names += info != nullptr ? info->name : "none";
        if (api != nullptr) {
            names += std::string(" (") + api->name + ")";
        }
    }
    return names;
}

} // namespace corvane
