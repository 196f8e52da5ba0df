// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Saves what the X server's screen shows (for the README picture of the real window):
//   corvane_screen_grab out.png [width height]   with DISPLAY set, e.g. under Xvfb; the optional
//   size keeps only that much of the screen's top-left corner (a window placed there).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvane_screen_grab out.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    const int width = argc > 3 ? std::atoi(argv[2]) : -1;
    const int height = argc > 3 ? std::atoi(argv[3]) : -1;
    if (screen == nullptr ||
        !screen->grabWindow(0, 0, 0, width, height).save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
