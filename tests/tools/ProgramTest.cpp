// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The corvane and corvane-demo programs run as a user runs them: for each, a table of command
// lines with the exit status and what the program says (usage, usage errors, no desktop, a
// frequency in the configuration file that is not one, Qt's own options passed on); and the
// device list with the tests' sound server.
#include "CommandLine.h"
#include "DemoOptions.h"
#include "PulseAudioSound.h"
#include "ToolsTestSupport.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

namespace corvane::test {
namespace {

ProgramRun Corvane(const QStringList& args) {
    return RunProgram(CORVANE_APP, args);
}

// One command line and what must come of it. The program starts with no display and no Qt
// platform named, plus any "NAME=value" of Environment.
struct Expected {
    QStringList Args;
    int Status;
    std::string Out; // the whole of standard output
    std::string Err; // found on standard error
    QStringList Environment;
    std::string NeverErr; // never on standard error, when not empty
};

Expected Line(const QStringList& args, int status, const std::string& out, const std::string& err,
              const QStringList& environment = {}, const std::string& neverErr = {}) {
    return Expected{args, status, out, err, environment, neverErr};
}

void RunEach(const char* program, const std::vector<Expected>& lines) {
    for (const Expected& line : lines) {
        SCOPED_TRACE((line.Environment.join(QLatin1Char(' ')) + QLatin1Char(' ') +
                      QString::fromLocal8Bit(program) + QLatin1Char(' ') +
                      line.Args.join(QLatin1Char(' ')))
                         .toStdString());
        const ProgramRun run = RunProgram(program, line.Args, line.Environment);
        EXPECT_EQ(run.Status, line.Status) << run.Err;
        EXPECT_EQ(run.Out, line.Out);
        EXPECT_NE(run.Err.find(line.Err), std::string::npos) << run.Err;
        if (!line.NeverErr.empty()) {
            EXPECT_EQ(run.Err.find(line.NeverErr), std::string::npos) << run.Err;
        }
    }
}

// A configuration file with one line `key=value` that is not one, and the program's complaint
// about it, whose tail `why` says what the key wants.
struct WrongConfig {
    WrongConfig(std::string key, std::string value, std::string why)
        : Key(std::move(key)), Value(std::move(value)), Why(std::move(why)) {
        std::filesystem::create_directories(Dir / "corvane");
        std::ofstream(Dir / "corvane" / "corvane.conf") << "[General]\n"
                                                        << Key << "=" << Value << "\n";
    }
    QString Setting() const {
        return QStringLiteral("XDG_CONFIG_HOME=") + QString::fromStdString(Dir.Path.string());
    }
    std::string Complaint() const {
        return "corvane: " + Key + "=" + Value + " in " +
               (Dir.Path / "corvane" / "corvane.conf").string() + Why;
    }
    std::string Key;
    std::string Value;
    std::string Why;
    ScratchDir Dir;
};

TEST(CorvaneProgram, AnswersEachCommandLineWithItsStatusAndMessage) {
    const WrongConfig config("lo-frequency", "7.056 MHz",
                             " is not a frequency: give whole hertz from 24000 to 99976000.");
    const WrongConfig remember("remember", "yes please", " is not true or false.\n");
    const QString offscreen = QStringLiteral("QT_QPA_PLATFORM=offscreen");
    const QString deadDisplay = QStringLiteral("DISPLAY=:987");
    const std::string usage = "\nusage: corvane [options] [Qt options such as -platform xcb]\n";
    const std::string lo = "corvane: --lo-frequency must be a whole number of Hz from 24000 to "
                           "99976000, not ";
    const std::string noDesktop = "corvane: no graphical desktop (DISPLAY or WAYLAND_DISPLAY is "
                                  "not set): the receiver needs one for its window\n";
    RunEach(
        CORVANE_APP,
        {
            Line({QStringLiteral("--help")}, 0, CorvaneUsage, ""),
            Line({QStringLiteral("-h")}, 0, CorvaneUsage, ""),
            Line({QStringLiteral("--version")}, 0, "corvane 2.1\n", ""),
            Line({QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--version")},
                 0, "corvane 2.1\n", ""),
            Line({QStringLiteral("--bogus")}, 2, "", "corvane: unknown option --bogus" + usage),
            Line({QStringLiteral("--platform"), QStringLiteral("offscreen")}, 2, "",
                 "corvane: unknown option --platform" + usage),
            Line({QStringLiteral("--verbose=1")}, 2, "",
                 "corvane: unknown option --verbose=1" + usage),
            Line({QStringLiteral("--capture")}, 2, "", "corvane: --capture needs a value" + usage),
            Line({QStringLiteral("--record-iq"), QString()}, 2, "",
                 "corvane: --record-iq needs a value" + usage),
            Line({QStringLiteral("--playback=")}, 2, "",
                 "corvane: --playback needs a value" + usage),
            Line({QStringLiteral("--lo-frequency"), QStringLiteral("7.056")}, 2, "",
                 lo + "\"7.056\"" + usage),
            Line({QStringLiteral("--lo-frequency"), QStringLiteral("100000000")}, 2, "",
                 lo + "\"100000000\"" + usage),
            Line({QStringLiteral("--lo-frequency=23999")}, 2, "", lo + "\"23999\"" + usage),
            // Without a desktop, once nothing on the line is wrong.
            Line({}, 1, "", noDesktop),
            Line({QStringLiteral("--record-iq=band.wav"), QStringLiteral("--lo-frequency=14060000"),
                  QStringLiteral("--verbose")},
                 1, "", noDesktop),
            Line({}, 1, "",
                 "corvane: cannot open a window: no graphical desktop answers (DISPLAY=:987",
                 {deadDisplay}, "Reinstalling"),
            // The configuration file's frequency, unless the line gives one.
            Line({}, 1, "", config.Complaint(), {offscreen, config.Setting()}),
            Line({QStringLiteral("--lo-frequency=14060000")}, 1, "", noDesktop, {config.Setting()},
                 "is not a frequency"),
            // The configuration file's remember= must be true or false, unless the line says.
            Line({}, 1, "", remember.Complaint(), {offscreen, remember.Setting()}),
            Line({QStringLiteral("--remember")}, 1, "", noDesktop, {remember.Setting()},
                 "is not true or false"),
            Line({QStringLiteral("--remember=1")}, 2, "",
                 "corvane: unknown option --remember=1" + usage),
            // Qt takes -platform: the refusal is told on the offscreen platform, not by a dead X
            // display.
            Line({QStringLiteral("-platform"), QStringLiteral("offscreen")}, 1, "",
                 config.Complaint(), {deadDisplay, config.Setting()}, "no graphical desktop"),
        });
}

TEST(DemoProgram, AnswersEachCommandLineWithItsStatusAndMessage) {
    const ScratchDir dir;
    const QString band = QString::fromStdString((dir / "band.wav").string());
    const QString offscreen = QStringLiteral("QT_QPA_PLATFORM=offscreen");
    const QString deadDisplay = QStringLiteral("DISPLAY=:987");
    const std::string usage = "\nusage: corvane-demo [--lo-frequency HZ]";
    const std::string noDesktop = "corvane-demo: no graphical desktop (DISPLAY or WAYLAND_DISPLAY "
                                  "is not set): the demo needs one for its window\n";
    const std::string lo =
        "corvane-demo: --lo-frequency needs a whole number of Hz from 24000 to 99976000" + usage;
    const std::string together =
        "corvane-demo: --write-band FILE.wav and --seconds N go together" + usage;
    RunEach(CORVANE_DEMO,
            {
                Line({QStringLiteral("--help")}, 0, tools::DemoUsage, ""),
                Line({QStringLiteral("-h")}, 0, tools::DemoUsage, ""),
                // The window: without a desktop, and with anything Qt does not take refused.
                Line({}, 1, "", noDesktop),
                Line({QStringLiteral("--bogus")}, 1, "", noDesktop),
                Line({}, 1, "",
                     "corvane-demo: cannot open a window: no graphical desktop answers "
                     "(DISPLAY=:987",
                     {deadDisplay}, "Reinstalling"),
                Line({QStringLiteral("--bogus")}, 2, "",
                     "corvane-demo: unknown argument --bogus" + usage, {offscreen}),
                Line({QStringLiteral("--lo-frequency=14060000"), QStringLiteral("stray")}, 2, "",
                     "corvane-demo: unknown argument stray" + usage, {offscreen}),
                Line({QStringLiteral("--lo-frequency"), QStringLiteral("14060000"),
                      QStringLiteral("--help")},
                     2, "", "corvane-demo: unknown argument --help" + usage, {offscreen}),
                // Qt takes -platform: the stray word is refused on the offscreen platform, not by a
                // dead X display.
                Line({QStringLiteral("-platform"), QStringLiteral("offscreen"),
                      QStringLiteral("--bogus")},
                     2, "", "corvane-demo: unknown argument --bogus" + usage, {deadDisplay},
                     "no graphical desktop"),
                Line({QStringLiteral("--lo-frequency"), QStringLiteral("7.056")}, 2, "", lo),
                Line({QStringLiteral("--lo-frequency=100000000")}, 2, "", lo),
                Line({QStringLiteral("--lo-frequency")}, 2, "", lo),
                // The band as a recording.
                Line({QStringLiteral("--write-band=") + band, QStringLiteral("--seconds=0.5")}, 0,
                     "", ""),
                Line({QStringLiteral("--write-band"), band}, 2, "", together),
                Line({QStringLiteral("--write-band"), band, QStringLiteral("--seconds"),
                      QStringLiteral("1"), QStringLiteral("--lo-frequency"),
                      QStringLiteral("14060000")},
                     2, "", together),
                Line({QStringLiteral("--write-band"), band, QStringLiteral("--seconds"),
                      QStringLiteral("soon")},
                     2, "",
                     "corvane-demo: --seconds must be a number of seconds above 0, not \"soon\"" +
                         usage),
                Line({QStringLiteral("--write-band"), QStringLiteral("/nonexistent/band.wav"),
                      QStringLiteral("--seconds"), QStringLiteral("0.5")},
                     1, "", "corvane-demo: /nonexistent/band.wav: cannot be written: "),
                Line({QStringLiteral("--probe-capture"), QStringLiteral("now")}, 1, "", ""),
            });
    // Half a second of 16-bit stereo at 48000 Hz, and its header.
    ASSERT_TRUE(std::filesystem::is_regular_file(dir / "band.wav"));
    EXPECT_GT(std::filesystem::file_size(dir / "band.wav"), 2u * 2 * 24000);
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
