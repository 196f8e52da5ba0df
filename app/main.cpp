// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane: the receiver on a sound card. Through the PulseAudio server when one answers (which
// PipeWire desktops provide too), otherwise through PortAudio (plain ALSA, JACK).
#include "CommandLine.h"
#include "Desktop.h"
#include "PortAudioSound.h"
#include "PulseAudioSound.h"
#include "ReceiverControls.h"
#include "RememberedSettings.h"
#include "RemoteProtocol.h"
#include "frmReceiver.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct DeviceLists {
    std::vector<corvane::SoundDeviceInfo> Capture;
    std::vector<corvane::SoundDeviceInfo> Playback;
};

corvane::SoundStatus ListDevices(bool pulse, DeviceLists& lists) {
    return pulse ? corvane::PulseAudioSound::ListDevices(lists.Capture, lists.Playback)
                 : corvane::PortAudioSound::ListDevices(lists.Capture, lists.Playback);
}

void PrintDevices(bool pulse, const DeviceLists& lists) {
    std::printf("Sound system: %s\n", pulse ? "PulseAudio server" : "PortAudio");
    std::printf("Capture devices (--capture NAME):\n");
    for (const auto& d : lists.Capture) {
        std::printf("  %s\t%s\n", d.Name.c_str(), d.Description.c_str());
    }
    std::printf("Playback devices (--playback NAME):\n");
    for (const auto& d : lists.Playback) {
        std::printf("  %s\t%s\n", d.Name.c_str(), d.Description.c_str());
    }
}

// Empty when `name` is one of the devices, else a message naming those that exist.
std::string CheckDevice(const std::string& name, const char* what,
                        const std::vector<corvane::SoundDeviceInfo>& devices) {
    std::string known;
    for (const auto& d : devices) {
        if (d.Name == name) {
            return {};
        }
        known += "\n  " + d.Name;
    }
    return std::string("There is no ") + what + " device \"" + name + "\". The " + what +
           " devices are:" + (known.empty() ? std::string("\n  (none)") : known);
}

} // namespace

int main(int argc, char** argv) {
    corvane::CommandLine options =
        corvane::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    switch (options.What) {
    case corvane::CommandLine::Action::Help:
        std::fputs(corvane::CorvaneUsage, stdout);
        return 0;
    case corvane::CommandLine::Action::Version:
        std::puts("corvane 2.1");
        return 0;
    case corvane::CommandLine::Action::UsageError:
        std::fprintf(stderr, "corvane: %s\n%s", options.Problem.c_str(), corvane::CorvaneUsage);
        return 2;
    case corvane::CommandLine::Action::Run:
        break;
    }
    // Only Qt's own words are left for QApplication, in their order.
    int kept = argc > 0 ? 1 : 0; // the program's name
    for (const std::size_t i : options.QtWords) {
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;

    // The operator's standing choice, for starts from the desktop menu.
    QSettings config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/corvane/corvane.conf"),
                     QSettings::IniFormat);
    if (options.Capture.empty()) {
        options.Capture = config.value(QStringLiteral("capture")).toString().toStdString();
    }
    if (options.Playback.empty()) {
        options.Playback = config.value(QStringLiteral("playback")).toString().toStdString();
    }
    if (options.LoFrequency.empty()) {
        options.LoFrequency =
            config.value(QStringLiteral("lo-frequency")).toString().trimmed().toStdString();
    }
    if (options.Remote.empty()) {
        options.Remote = config.value(QStringLiteral("remote")).toString().trimmed().toStdString();
    }

    // Remembering is the operator's standing choice too; --remember turns it on for one start.
    const QString rememberWord = config.value(QStringLiteral("remember")).toString().trimmed();
    const bool rememberBad =
        !rememberWord.isEmpty() &&
        rememberWord.compare(QLatin1String("true"), Qt::CaseInsensitive) != 0 &&
        rememberWord.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
    if (!options.Remember) {
        options.Remember = rememberWord.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }

    const bool pulse = corvane::PulseAudioSound::ProbeServer(2000) !=
                       corvane::PulseAudioSound::ServerAnswer::Absent;
    DeviceLists lists;
    if (options.ListDevices) {
        const corvane::SoundStatus st = ListDevices(pulse, lists);
        if (!st.Ok()) {
            std::fprintf(stderr, "corvane: %s\n", st.Message.c_str());
            return 1;
        }
        PrintDevices(pulse, lists);
        return 0;
    }
    std::string problem;
    if (!options.LoFrequency.empty() && !corvane::ParseLoFrequency(options.LoFrequency)) {
        problem = "lo-frequency=" + options.LoFrequency + " in " + config.fileName().toStdString() +
                  " is not a frequency: give whole hertz from 24000 to 99976000.";
    }
    if (problem.empty() && rememberBad && !options.Remember) {
        problem = "remember=" + rememberWord.toStdString() + " in " +
                  config.fileName().toStdString() + " is not true or false.";
    }
    if (problem.empty() && !options.Remote.empty() &&
        !corvane::ParseRemoteEndpoint(options.Remote)) {
        problem = "remote=" + options.Remote + " in " + config.fileName().toStdString() +
                  " is not a remote-control address: give a port from 1 to 65535, alone or "
                  "after an IPv4 address or localhost and a colon (4532, 127.0.0.1:4532).";
    }
    if (problem.empty() && (!options.Capture.empty() || !options.Playback.empty())) {
        const corvane::SoundStatus st = ListDevices(pulse, lists);
        if (!st.Ok()) {
            problem = st.Message;
        } else if (!options.Capture.empty()) {
            problem = CheckDevice(options.Capture, "capture", lists.Capture);
        }
        if (problem.empty() && !options.Playback.empty()) {
            problem = CheckDevice(options.Playback, "playback", lists.Playback);
        }
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "corvane: %s\n", problem.c_str());
        if (corvane::DesktopNamed()) {
            corvane::ExitPlainlyWithoutDesktop();
            QApplication app(argc, argv);
            if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
                // Started from the desktop menu, the terminal is nowhere to be seen.
                QMessageBox::critical(nullptr, QStringLiteral("Corvane 2.1"),
                                      QString::fromStdString(problem));
            }
        }
        return 1;
    }
    if (!corvane::DesktopNamed()) {
        std::fprintf(stderr, "corvane: no graphical desktop (DISPLAY or WAYLAND_DISPLAY is not "
                             "set): the receiver needs one for its window\n");
        return 1;
    }

    corvane::ExitPlainlyWithoutDesktop();
    QApplication app(argc, argv);
    // The sound system outlives the window, which releases it when it closes.
    std::unique_ptr<corvane::SoundSystem> sound;
    if (pulse) {
        sound = std::make_unique<corvane::PulseAudioSound>(options.Capture, options.Playback);
    } else {
        sound = std::make_unique<corvane::PortAudioSound>(options.Capture, options.Playback);
    }
    corvane::frmReceiver window(*sound);
    window.LogCounters = options.Verbose;
    if (!options.LoFrequency.empty()) {
        window.SetLoFrequency(*corvane::ParseLoFrequency(options.LoFrequency));
    }
    if (!options.Remote.empty()) {
        // Asked for and not to be had (the port taken): said and ended like an unknown device,
        // so that WSJT-X and the like never talk unknowingly to whatever holds the port.
        const corvane::RemoteEndpoint at = *corvane::ParseRemoteEndpoint(options.Remote);
        if (const std::string why = window.StartRemote(at); !why.empty()) {
            std::fprintf(stderr, "corvane: %s\n", why.c_str());
            if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
                QMessageBox::critical(nullptr, QStringLiteral("Corvane 2.1"),
                                      QString::fromStdString(why));
            }
            return 1;
        }
        if (const std::string notice = corvane::RemoteStartNotice(at); !notice.empty()) {
            std::fprintf(stderr, "corvane: %s\n", notice.c_str());
        }
    }
    if (!window.Form_Load()) {
        return 1; // no sound card: the operator has been told
    }
    // The last session's choices, made on the controls once the window is up, as the
    // operator's first clicks would be (the displays then show them too).
    const corvane::RememberedSettings memory(corvane::RememberedSettings::DefaultPath());
    if (options.Remember) {
        window.Started = [&memory, &window] {
            for (const std::string& warning : memory.Restore(window)) {
                std::fprintf(stderr, "corvane: %s\n", warning.c_str());
            }
        };
        window.Closing = [&memory, &window] {
            if (const std::string failed = memory.Save(window); !failed.empty()) {
                std::fprintf(stderr, "corvane: %s\n", failed.c_str());
            }
        };
    }
    if (!options.RecordIq.empty()) {
        window.StartIqRecording(options.RecordIq); // a failure is shown; reception goes on
    }
    window.show();
    return app.exec();
}
