// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane: the receiver on a sound card. Through the PulseAudio server when one answers (which
// PipeWire desktops provide too), otherwise through PortAudio (plain ALSA, JACK).
#include "Desktop.h"
#include "PortAudioSound.h"
#include "PulseAudioSound.h"
#include "ReceiverControls.h"
#include "frmReceiver.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: corvane [options] [Qt options such as -platform xcb]\n"
    "  --capture NAME      the capture device (the front end's I/Q input)\n"
    "  --playback NAME     the playback device (the receiver's audio)\n"
    "  --list-devices      print the capture and playback devices and their names\n"
    "  --record-iq FILE    record the captured I/Q to FILE (WAV) from the first ON\n"
    "  --lo-frequency HZ   the front end's frequency, shown by the readout (24000..99976000,\n"
    "                      default 7056000)\n"
    "  --verbose           print the loss counters on stderr at every OFF and at exit\n"
    "  --help, --version\n"
    "Without --capture, --playback or --lo-frequency the keys capture=, playback= and\n"
    "lo-frequency= of ~/.config/corvane/corvane.conf apply, and without those the defaults.\n"
    "Exit status: 0 done; 1 no sound device, an unknown device, a frequency in the\n"
    "configuration file that is not one, or no display; 2 usage error.\n";

struct Options {
    std::string Capture;
    std::string Playback;
    std::string RecordIq;
    std::string LoFrequency; // as written; checked once the configuration file is read too
    bool ListDevices = false;
    bool Verbose = false;
    bool CaptureGiven = false;
    bool PlaybackGiven = false;
};

// Our options are taken out of argv; Qt's own are left for QApplication. Returns -1 to go on,
// else the exit status.
int ParseOptions(int& argc, char** argv, Options& options) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into, bool* given) {
            if (i + 1 >= argc || std::strlen(argv[i + 1]) == 0) {
                std::fprintf(stderr, "corvane: %s needs a value\n%s", arg.c_str(), Usage);
                return false;
            }
            into = argv[++i];
            if (given != nullptr) {
                *given = true;
            }
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("corvane 2.1");
            return 0;
        }
        if (arg == "--capture") {
            if (!value(options.Capture, &options.CaptureGiven)) {
                return 2;
            }
        } else if (arg == "--playback") {
            if (!value(options.Playback, &options.PlaybackGiven)) {
                return 2;
            }
        } else if (arg == "--record-iq") {
            if (!value(options.RecordIq, nullptr)) {
                return 2;
            }
        } else if (arg == "--lo-frequency") {
            if (!value(options.LoFrequency, nullptr)) {
                return 2;
            }
            if (!corvane::ParseLoFrequency(options.LoFrequency)) {
                std::fprintf(stderr,
                             "corvane: --lo-frequency must be a whole number of Hz from 24000 "
                             "to 99976000, not \"%s\"\n%s",
                             options.LoFrequency.c_str(), Usage);
                return 2;
            }
        } else if (arg == "--list-devices") {
            options.ListDevices = true;
        } else if (arg == "--verbose") {
            options.Verbose = true;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "corvane: unknown option %s\n%s", arg.c_str(), Usage);
            return 2;
        } else {
            argv[kept++] = argv[i]; // Qt's
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return -1;
}

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
    Options options;
    if (const int status = ParseOptions(argc, argv, options); status >= 0) {
        return status;
    }
    // The operator's standing choice, for starts from the desktop menu.
    QSettings config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/corvane/corvane.conf"),
                     QSettings::IniFormat);
    if (!options.CaptureGiven) {
        options.Capture = config.value(QStringLiteral("capture")).toString().toStdString();
    }
    if (!options.PlaybackGiven) {
        options.Playback = config.value(QStringLiteral("playback")).toString().toStdString();
    }
    if (options.LoFrequency.empty()) {
        options.LoFrequency =
            config.value(QStringLiteral("lo-frequency")).toString().trimmed().toStdString();
    }

    const bool pulse = corvane::PulseAudioSound::ServerReachable(2000);
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
    if (!window.Form_Load()) {
        return 1; // no sound card: the operator has been told
    }
    if (!options.RecordIq.empty()) {
        window.StartIqRecording(options.RecordIq); // a failure is shown; reception goes on
    }
    window.show();
    return app.exec();
}
