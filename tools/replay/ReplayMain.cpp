// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-replay: the receiver run headless over an I/Q recording, its audio written to a file.
#include "IqFiles.h"
#include "Replay.h"

#include <QApplication>
#include <QtGlobal>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Qt's messages on the terminal, as its own handler prints them, less one.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace corvane::tools;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    bool help = false;
    const auto options = ParseReplayOptions(args, error, help);
    if (help) {
        std::cout << ReplayUsage();
        return ExitOk;
    }
    if (!options) {
        std::cerr << "corvane-replay: " << error << "\n" << ReplayUsage();
        return ExitUsage;
    }

    // Ctrl-C, a closed terminal, a kill or a broken pipe are held back and noticed between
    // blocks, so that the unfinished outputs are removed rather than left half-written. Blocked
    // before Qt starts any thread, so that every thread inherits the mask.
    const sigset_t stopping = StoppingSignals();
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);

    // A headless run has no use for a runtime folder; Qt's complaint that the desktop set none
    // is noise on every run. Everything else Qt says still goes through.
    qInstallMessageHandler(&QuietHandler);

    // Headless: no display and no sound card are needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    const bool progress = !options->Quiet && isatty(STDERR_FILENO) == 1;
    const ReplayResult result = RunReplay(*options, std::cerr, progress);
    if (result.Status != ExitOk) {
        return result.Status;
    }
    std::printf("%s MHz, %lld blocks, %.1f s of recording in %.2f s: %.0fx real time\n",
                result.Readout.c_str(), static_cast<long long>(result.Blocks),
                static_cast<double>(result.Blocks) * corvane::BlockFrames / corvane::SampleRate,
                result.Seconds, result.RealTimeFactor);
    return ExitOk;
}
