// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The corvane program's own options, run as a user runs it: usage, no desktop, the device list
// and device names that do not exist (from the command line or the configuration file).
#include "PulseAudioSound.h"
#include "ToolsTestSupport.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace corvane::test {
namespace {

ProgramRun Corvane(const QStringList& args) {
    return RunProgram(CORVANE_APP, args);
}

TEST(CorvaneProgram, AnswersHelpAndVersionAndRefusesWhatItDoesNotKnow) {
    const ProgramRun help = Corvane({QStringLiteral("--help")});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("--list-devices"), std::string::npos) << help.Out;
    const ProgramRun version = Corvane({QStringLiteral("--version")});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "corvane 2.1\n");
    for (const QStringList& bad :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("--capture")},
          QStringList{QStringLiteral("--record-iq"), QString()},
          QStringList{QStringLiteral("--lo-frequency"), QStringLiteral("7.056")},
          QStringList{QStringLiteral("--lo-frequency"), QStringLiteral("100000000")}}) {
        const ProgramRun run = Corvane(bad);
        EXPECT_EQ(run.Status, 2) << bad.join(' ').toStdString() << ": " << run.Err;
        EXPECT_NE(run.Err.find("usage:"), std::string::npos) << run.Err;
    }
}

// No display named, or one named that does not answer: a plain message and status 1, from
// the receiver and from the demo alike, never Qt's abort.
TEST(CorvaneProgram, WithoutADesktopSaysSoInsteadOfAborting) {
    for (const char* program : {CORVANE_APP, CORVANE_DEMO}) {
        SCOPED_TRACE(program);
        const ProgramRun unset = RunProgram(program, {});
        EXPECT_EQ(unset.Status, 1);
        EXPECT_NE(unset.Err.find("no graphical desktop"), std::string::npos) << unset.Err;
        const ProgramRun dead = RunProgram(program, {}, {QStringLiteral("DISPLAY=:987")});
        EXPECT_EQ(dead.Status, 1);
        EXPECT_NE(dead.Err.find("no graphical desktop answers (DISPLAY=:987"), std::string::npos)
            << dead.Err;
        EXPECT_EQ(dead.Err.find("Reinstalling"), std::string::npos) << dead.Err;
    }
}

// A front end's frequency in the configuration file that is not one is refused at start with a
// message naming the file, as an unknown device is.
TEST(CorvaneProgram, RefusesAFrequencyInTheConfigurationThatIsNotOne) {
    ScratchDir config;
    std::filesystem::create_directories(config / "corvane");
    std::ofstream(config / "corvane" / "corvane.conf") << "[General]\nlo-frequency=7.056 MHz\n";
    const ProgramRun run = RunProgram(
        CORVANE_APP, {},
        {QStringLiteral("QT_QPA_PLATFORM=offscreen"),
         QStringLiteral("XDG_CONFIG_HOME=") + QString::fromStdString(config.Path.string())});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("lo-frequency=7.056 MHz in "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("corvane.conf is not a frequency"), std::string::npos) << run.Err;
}

// The demo takes Qt's options, and nothing else it does not know opens a window.
TEST(CorvaneProgram, DemoRefusesArgumentsItDoesNotKnow) {
    const ProgramRun run = RunProgram(CORVANE_DEMO, {QStringLiteral("--bogus")},
                                      {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find("unknown argument --bogus"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("usage:"), std::string::npos) << run.Err;
}

// With the tests' sound server (its default source is the monitor of the null sink "corvane").
TEST(CorvaneProgram, ListsTheDevicesAndNamesThemWhenOneDoesNotExist) {
    if (!PulseAudioSound::ServerReachable(2000)) {
        GTEST_SKIP() << "no sound server";
    }
    const ProgramRun list = Corvane({QStringLiteral("--list-devices")});
    ASSERT_EQ(list.Status, 0) << list.Err;
    EXPECT_NE(list.Out.find("Capture devices"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("  corvane.monitor\t"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("Playback devices"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("  corvane\t"), std::string::npos) << list.Out;

    const ProgramRun unknown =
        Corvane({QStringLiteral("--capture"), QStringLiteral("no-such-card")});
    EXPECT_EQ(unknown.Status, 1);
    EXPECT_NE(unknown.Err.find("There is no capture device \"no-such-card\""), std::string::npos)
        << unknown.Err;
    EXPECT_NE(unknown.Err.find("corvane.monitor"), std::string::npos) << unknown.Err;

    // The same choice from the configuration file, for starts from the desktop menu.
    ScratchDir config;
    std::filesystem::create_directories(config / "corvane");
    std::ofstream(config / "corvane" / "corvane.conf")
        << "[General]\ncapture=corvane.monitor\nplayback=no-such-speaker\n";
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path.string()));
    const ProgramRun configured = Corvane({});
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(configured.Status, 1);
    EXPECT_NE(configured.Err.find("There is no playback device \"no-such-speaker\""),
              std::string::npos)
        << configured.Err;
    EXPECT_NE(configured.Err.find("  corvane"), std::string::npos) << configured.Err;
}

} // namespace
} // namespace corvane::test
