// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "DemoOptions.h"

#include "CommandLine.h"
#include "ReceiverControls.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <charconv>

namespace corvane::tools {

const char* const DemoUsage =
    "usage: corvane-demo [--lo-frequency HZ] [--remote [ADDRESS:]PORT]\n"
    "                                           the receiver on a built-in synthetic band\n"
    "                                           (HZ: the readout's centre, 24000..99976000;\n"
    "                                           --remote: remote control over Hamlib's\n"
    "                                           network protocol, rigctld's, usually port\n"
    "                                           4532, on 127.0.0.1 unless ADDRESS is given)\n"
    "       corvane-demo --write-band FILE.wav --seconds N\n"
    "                                           the same band as an I/Q recording\n"
    "       corvane-demo --probe-capture        exit 0 when a sound capture device exists\n"
    "Qt's own options (such as -platform xcb) are accepted in the first form.\n";

namespace {

DemoCommandLine Answer(DemoCommandLine::Action what, const std::string& problem = {}) {
    DemoCommandLine line;
    line.What = what;
    line.Problem = problem;
    return line;
}

} // namespace

DemoCommandLine ParseDemoCommandLine(const std::vector<std::string>& words) {
    using Action = DemoCommandLine::Action;
    QStringList line;
    for (const std::string& word : words) {
        line << WordText(word);
    }
    const QString first = line.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        return Answer(Action::Help);
    }
    if (first == QLatin1String("--probe-capture")) {
        DemoCommandLine probe = Answer(Action::ProbeCapture);
        probe.ProbeAlone = line.size() == 2;
        return probe;
    }

    const QString firstOption = first.section(QLatin1Char('='), 0, 0);
    if (firstOption == QLatin1String("--write-band") || firstOption == QLatin1String("--seconds")) {
        const QCommandLineOption writeBand(QStringLiteral("write-band"), {},
                                           QStringLiteral("FILE"));
        const QCommandLineOption seconds(QStringLiteral("seconds"), {}, QStringLiteral("N"));
        QCommandLineParser parser;
        parser.addOptions({writeBand, seconds});
        const bool clean = parser.parse(line) && parser.positionalArguments().isEmpty();
        QStringList given = parser.optionNames();
        given.sort();
        const std::string file = WordBytes(parser.value(writeBand));
        const std::string time = WordBytes(parser.value(seconds));
        if (!clean ||
            given != QStringList{QStringLiteral("seconds"), QStringLiteral("write-band")} ||
            file.empty() || time.empty()) {
            return Answer(Action::UsageError, "--write-band FILE.wav and --seconds N go together");
        }
        DemoCommandLine band = Answer(Action::WriteBand);
        band.BandFile = file;
        const auto [end, ec] =
            std::from_chars(time.data(), time.data() + time.size(), band.Seconds);
        if (ec != std::errc() || end != time.data() + time.size() || !(band.Seconds > 0.0) ||
            band.Seconds > 24 * 3600.0) {
            return Answer(Action::UsageError,
                          "--seconds must be a number of seconds above 0, not \"" + time + "\"");
        }
        return band;
    }

    // The window. Its options come off the line wherever they stand, with a value written
    // apart whatever that looks like; every other word is left for Qt, which takes its own and
    // leaves the rest to be refused.
    const QCommandLineOption loFrequency(QStringLiteral("lo-frequency"), {}, QStringLiteral("HZ"));
    const QCommandLineOption remote(QStringLiteral("remote"), {}, QStringLiteral("PORT"));
    const QStringList options{QStringLiteral("--lo-frequency"), QStringLiteral("--remote")};
    DemoCommandLine window = Answer(Action::Window);
    QStringList ours{line.value(0)};
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QString name = line[i].section(QLatin1Char('='), 0, 0);
        if (options.contains(line[i])) {
            ours << line[i];
            if (i + 1 < line.size()) {
                ours << line[++i];
            }
        } else if (options.contains(name) && line[i].contains(QLatin1Char('='))) {
            ours << line[i];
        } else {
            window.QtWords.push_back(static_cast<std::size_t>(i));
        }
    }
    QCommandLineParser parser;
    parser.addOptions({loFrequency, remote});
    parser.parse(ours);
    // Each must be a frequency, the last one counts; more names than values: the line ended
    // where one was due.
    const QStringList centres = parser.values(loFrequency);
    const QStringList addresses = parser.values(remote);
    for (const QString& hz : centres) {
        window.LoHz = ParseLoFrequency(WordBytes(hz));
        if (!window.LoHz) {
            break;
        }
    }
    const QStringList given = parser.optionNames();
    const auto named = [&](const QString& option) {
        return static_cast<qsizetype>(std::count(given.begin(), given.end(), option));
    };
    if ((!centres.isEmpty() && !window.LoHz) ||
        named(QStringLiteral("lo-frequency")) > centres.size()) {
        return Answer(Action::UsageError,
                      "--lo-frequency needs a whole number of Hz from 24000 to 99976000");
    }
    for (const QString& at : addresses) {
        window.Remote = ParseRemoteEndpoint(WordBytes(at));
        if (!window.Remote) {
            return Answer(Action::UsageError,
                          std::string(RemoteUsageProblem) + ", not \"" + WordBytes(at) + "\"");
        }
    }
    if (named(QStringLiteral("remote")) > addresses.size()) {
        return Answer(Action::UsageError, std::string(RemoteUsageProblem));
    }
    return window;
}

} // namespace corvane::tools
