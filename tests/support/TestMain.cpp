// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The test programs' main: the Qt application each layer needs on the test's thread, then
// GoogleTest. CORVANE_TEST_QT says which: 0 core (event loop only: the notification pump),
// 1 gui (the font database of the displays), 2 widgets (the window). Pictures are always made
// off-screen unless the environment chose a platform.
#if CORVANE_TEST_QT == 2
#include <QApplication>
using TestApplication = QApplication;
#elif CORVANE_TEST_QT == 1
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (CORVANE_TEST_QT > 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
