// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Desktop.h"

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace corvane {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt's messages on the terminal as its own handler prints them; a platform that cannot start
// is told in the receiver's words ("Reinstalling the application may fix this problem" would
// send the operator the wrong way).
void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
        std::fprintf(stderr,
                     "%s: cannot open a window: no graphical desktop answers (DISPLAY=%s, "
                     "WAYLAND_DISPLAY=%s); the receiver needs one\n",
                     qPrintable(QCoreApplication::applicationName()),
                     Set("DISPLAY") ? std::getenv("DISPLAY") : "",
                     Set("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "");
        std::_Exit(1);
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

bool DesktopNamed() {
    return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

void ExitPlainlyWithoutDesktop() {
    qInstallMessageHandler(&Handler);
}

} // namespace corvane
