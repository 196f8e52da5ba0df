// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Writes the reference pictures of the window's screenshot test. Run it only when the window is
// meant to look different, look at both pictures, and commit them with the change that explains
// them:   corvane_app_reference [directory]   (default: the references in the source tree)
#include "WindowHarness.h"

#include <QApplication>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString::fromUtf8(CORVANE_APP_REFERENCE_DIR);
    const struct {
        const char* Name;
        QImage Picture;
    } pictures[] = {{"window-startup.png", corvane::test::RenderStartup()},
                    {"window-blocks.png", corvane::test::RenderAfterBlocks()}};
    for (const auto& p : pictures) {
        const QString path = dir + "/" + p.Name;
        if (p.Picture.isNull() || !p.Picture.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
        std::printf("wrote %s\n", path.toLocal8Bit().constData());
    }
    return 0;
}
