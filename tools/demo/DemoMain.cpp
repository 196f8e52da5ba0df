// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-demo: the receiver window, live, on a virtual sound card fed in real time by a
// synthetic band, for trying the receiver without a front end.
#include "DemoBand.h"
#include "DemoOptions.h"
#include "Desktop.h"
#include "IqFiles.h"
#include "PortAudioSound.h"
#include "VirtualSoundCard.h"
#include "frmReceiver.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <portaudio.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

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

int WriteBand(const std::string& path, double seconds) {
    corvane::tools::DemoBand band;
    corvane::tools::AudioWriter writer(path);
    std::string failed = writer.Open();
    std::vector<std::int16_t> chunk(2 * 4800);
    auto frames = static_cast<std::int64_t>(seconds * corvane::SampleRate);
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
    using corvane::tools::DemoCommandLine;
    using corvane::tools::DemoUsage;
    const DemoCommandLine line =
        corvane::tools::ParseDemoCommandLine(std::vector<std::string>(argv, argv + argc));
    switch (line.What) {
    case DemoCommandLine::Action::Help:
        std::cout << DemoUsage;
        return 0;
    case DemoCommandLine::Action::ProbeCapture:
        return line.ProbeAlone && CaptureDeviceExists() ? 0 : 1;
    case DemoCommandLine::Action::WriteBand:
        return WriteBand(line.BandFile, line.Seconds);
    case DemoCommandLine::Action::UsageError:
        std::cerr << "corvane-demo: " << line.Problem << '\n' << DemoUsage;
        return 2;
    case DemoCommandLine::Action::Window:
        break;
    }
    if (!corvane::DesktopNamed()) {
        std::cerr << "corvane-demo: no graphical desktop (DISPLAY or WAYLAND_DISPLAY is not set): "
                     "the demo needs one for its window\n";
        return 1;
    }
    // What the demo did not take is Qt's, in its order; anything Qt leaves is not understood.
    int kept = argc > 0 ? 1 : 0; // the program's name
    for (const std::size_t i : line.QtWords) {
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
    corvane::ExitPlainlyWithoutDesktop();
    QApplication app(argc, argv);
    if (argc > 1) {
        std::cerr << "corvane-demo: unknown argument " << argv[1] << '\n' << DemoUsage;
        return 2;
    }
    PaStream* stream = nullptr;
    corvane::PortAudioSound::QuietLibraries();
    const bool audio = Pa_Initialize() == paNoError;
    if (audio && Pa_GetDefaultOutputDevice() != paNoDevice &&
        Pa_OpenDefaultStream(&stream, 0, 2, paInt16, corvane::SampleRate, 256, nullptr, nullptr) ==
            paNoError) {
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
        std::string remoteProblem;
        if (line.Remote) {
            remoteProblem = window.StartRemote(*line.Remote);
            if (!remoteProblem.empty()) {
                std::cerr << "corvane-demo: " << remoteProblem << '\n';
                if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
                    QMessageBox::critical(nullptr, window.windowTitle(),
                                          QString::fromStdString(remoteProblem));
                }
            } else if (const std::string notice = corvane::RemoteStartNotice(*line.Remote);
                       !notice.empty()) {
                std::cerr << "corvane-demo: " << notice << '\n';
            }
        }
        if (!remoteProblem.empty()) {
            status = 1;
        } else if (window.Form_Load()) {
            if (line.LoHz) {
                window.SetLoFrequency(*line.LoHz);
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
