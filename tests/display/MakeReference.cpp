// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Writes the whole-frame reference picture of the display tests. Run it only when the picture is
// meant to change, look at the result, and commit it with the change that explains it:
//   corvane_display_reference [output.png]   (default: the reference in the source tree)
#include "DisplayHarness.h"

#include <QGuiApplication>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString::fromUtf8(CORVANE_DISPLAY_REFERENCE);
    if (!corvane::RenderReferenceFrame().SavePng(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
        return 1;
    }
    std::printf("wrote %s\n", path.toLocal8Bit().constData());
    return 0;
}
