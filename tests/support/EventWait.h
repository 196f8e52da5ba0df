// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <QEventLoop>
#include <QTimer>

namespace corvane::test {

// Runs the event loop for `ms` milliseconds, asleep while nothing happens. processEvents with a
// time limit spins a core instead, which on a 2-core machine starves the sound server a live
// test is measuring.
inline void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace corvane::test
