// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-demo: the receiver window, live, on a virtual sound card fed in real time by a
// synthetic band, for trying the receiver without a front end.
#include "DemoBand.h"
#include "Desktop.h"
#include "IqFiles.h"
#include "PortAudioSound.h"
#include "ReceiverControls.h"
#include "VirtualSoundCard.h"
#include "frmReceiver.h"

#include <QApplication>

#include <portaudio.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: corvane-demo [--lo-frequency HZ]    the receiver on a built-in synthetic band\n"
    "                                           (HZ: the readout's centre, 24000..99976000)\n"
    "       corvane-demo --write-band FILE.wav --seconds N\n"
    "                                           the same band as an I/Q recording\n"
    "       corvane-demo --probe-capture        exit 0 when a sound capture device exists\n"
    "Qt's own options (such as -platform xcb) are accepted in the first form.\n";

// The receiver's audio to the default output device, as the virtual card plays it. Called on
// the card's clock thread; the blocking write paces nothing, the card's clock does.
class SpeakerSink final : public corvane::PlaybackSink {
public:
    explicit SpeakerSink(PaStream* stream) : Stream(stream) {}
    void Take(std::span<const std::int16_t> frames) override {
        if (Stream != nullptr) {
            Pa_WriteStream(Stream, frames.data(), static_cast<unsigned long>(frames.size() / 2));
        }
    }

private:
    PaStream* Stream;
};

int WriteBand(const std::string& path, const std::string& secondsText) {
    double seconds = 0.0;
    const auto [end, ec] =
        std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), seconds);
    if (ec != std::errc() || end != secondsText.data() + secondsText.size() || !(seconds > 0.0) ||
        seconds > 24 * 3600.0) {
        std::cerr << "corvane-demo: --seconds must be a number of seconds above 0, not \""
                  << secondsText << "\"\n"
                  << Usage;
        return 2;
    }
    corvane::tools::DemoBand band;
    corvane::tools::AudioWriter writer(path);
    std::string failed = writer.Open();
    std::vector<std::int16_t> chunk(2 * 4800);
    auto frames = static_cast<std::int64_t>(seconds * corvane::tools::RecordingRate);
    while (failed.empty() && frames > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(frames, 4800));
        band.Fill(std::span(chunk).first(2 * n));
        failed = writer.Write(std::span(chunk).first(2 * n));
        frames -= static_cast<std::int64_t>(n);
    }
    if (failed.empty()) {
        failed = writer.Finish();
    }
    if (!failed.empty()) {
        std::cerr << "corvane-demo: " << path << ": cannot be written: " << failed << '\n';
        return 1;
    }
    return 0;
}

bool CaptureDeviceExists() {
    corvane::PortAudioSound::QuietLibraries();
    if (Pa_Initialize() != paNoError) {
        return false;
    }
    const bool found = Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    return found;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << Usage;
        return 0;
    }
    if (!args.empty() && args[0] == "--probe-capture") {
        return args.size() == 1 && CaptureDeviceExists() ? 0 : 1;
    }
    if (!args.empty() && (args[0] == "--write-band" || args[0] == "--seconds")) {
        std::string path;
        std::string seconds;
        for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
            (args[i] == "--write-band" ? path
             : args[i] == "--seconds"  ? seconds
                                       : path) = args[i + 1];
            if (args[i] != "--write-band" && args[i] != "--seconds") {
                path.clear();
                break;
            }
        }
        if (path.empty() || seconds.empty() || args.size() != 4) {
            std::cerr << "corvane-demo: --write-band FILE.wav and --seconds N go together\n"
                      << Usage;
            return 2;
        }
        return WriteBand(path, seconds);
    }

    // The readout's centre: taken out of the arguments before Qt sees them.
    std::optional<std::int32_t> lo;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--lo-frequency") {
            continue;
        }
        lo = i + 1 < argc ? corvane::ParseLoFrequency(argv[i + 1]) : std::nullopt;
        if (!lo) {
            std::cerr << "corvane-demo: --lo-frequency needs a whole number of Hz from 24000 to "
                         "99976000\n"
                      << Usage;
            return 2;
        }
        for (int j = i; j + 2 <= argc; ++j) {
            argv[j] = argv[j + 2];
        }
        argc -= 2;
        --i;
    }
    if (!corvane::DesktopNamed()) {
        std::cerr << "corvane-demo: no graphical desktop (DISPLAY or WAYLAND_DISPLAY is not set): "
                     "the demo needs one for its window\n";
        return 1;
    }
    corvane::ExitPlainlyWithoutDesktop();
    QApplication app(argc, argv);
    // Qt has taken its own options out of the arguments; anything left is not understood.
    if (argc > 1) {
        std::cerr << "corvane-demo: unknown argument " << argv[1] << '\n' << Usage;
        return 2;
    }
    PaStream* stream = nullptr;
    corvane::PortAudioSound::QuietLibraries();
    const bool audio = Pa_Initialize() == paNoError;
    if (audio && Pa_GetDefaultOutputDevice() != paNoDevice &&
        Pa_OpenDefaultStream(&stream, 0, 2, paInt16, corvane::tools::RecordingRate, 256, nullptr,
                             nullptr) == paNoError) {
        if (Pa_StartStream(stream) != paNoError) {
            Pa_CloseStream(stream);
            stream = nullptr;
        }
    }
    int status = 0;
    {
        corvane::tools::DemoBand band;
        SpeakerSink speaker(stream); // silent without an output device
        corvane::VirtualSoundCard card(band, speaker, {corvane::CardClock::RealTime, 256, 256});
        corvane::frmReceiver window(card);
        window.setWindowTitle(window.windowTitle() + QStringLiteral(" - demo band"));
        if (window.Form_Load()) {
            if (lo) {
                window.SetLoFrequency(*lo);
            }
            window.show();
            status = app.exec();
        } else {
            status = 1;
        }
    }
    if (stream != nullptr) {
        Pa_StopStream(stream);
        Pa_CloseStream(stream);
    }
    if (audio) {
        Pa_Terminate();
    }
    return status;
}
