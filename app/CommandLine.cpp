// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "CommandLine.h"

#include "ReceiverControls.h"
#include "RemoteProtocol.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <utility>

namespace corvane {

const char* const CorvaneUsage =
    "usage: corvane [options] [Qt options such as -platform xcb]\n"
    "  --capture NAME      the capture device (the front end's I/Q input)\n"
    "  --playback NAME     the playback device (the receiver's audio)\n"
    "  --list-devices      print the capture and playback devices and their names\n"
    "  --record-iq FILE    record the captured I/Q to FILE (WAV) from the first ON\n"
    "  --lo-frequency HZ   the front end's frequency, shown by the readout (24000..99976000,\n"
    "                      default 7056000)\n"
    "  --verbose           print the loss counters on stderr at every OFF and at exit\n"
    "  --remember          restore the settings of the last session and save them at closing\n"
    "  --remote [ADDRESS:]PORT\n"
    "                      remote control over Hamlib's network protocol (rigctld, rig model\n"
    "                      2, usually port 4532) for WSJT-X, fldigi, gpredict, rigctl; on\n"
    "                      127.0.0.1 unless ADDRESS (IPv4 or localhost) is given\n"
    "  --help, --version\n"
    "Without --capture, --playback, --lo-frequency, --remember or --remote the keys capture=,\n"
    "playback=, lo-frequency=, remember= (true or false) and remote= of\n"
    "~/.config/corvane/corvane.conf apply, and without those the defaults (no remote control).\n"
    "Exit status: 0 done; 1 no sound device, an unknown device, a value in the configuration\n"
    "file that is not one, the remote port in use, or no display; 2 usage error.\n";

namespace {

CommandLine Answer(CommandLine::Action what, const QString& problem = {}) {
    CommandLine line;
    line.What = what;
    line.Problem = WordBytes(problem);
    return line;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
    using Action = CommandLine::Action;
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption listDevices(QStringLiteral("list-devices"));
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    const QCommandLineOption remember(QStringLiteral("remember"));
    const QCommandLineOption capture(QStringLiteral("capture"), {}, QStringLiteral("NAME"));
    const QCommandLineOption playback(QStringLiteral("playback"), {}, QStringLiteral("NAME"));
    const QCommandLineOption recordIq(QStringLiteral("record-iq"), {}, QStringLiteral("FILE"));
    const QCommandLineOption loFrequency(QStringLiteral("lo-frequency"), {}, QStringLiteral("HZ"));
    const QCommandLineOption remote(QStringLiteral("remote"), {}, QStringLiteral("PORT"));
    QCommandLineParser parser;
    parser.addOptions({help, version, listDevices, verbose, remember, capture, playback, recordIq,
                       loFrequency, remote});

    CommandLine line;
    const std::pair<const QCommandLineOption*, std::string*> valued[] = {
        {&capture, &line.Capture},         {&playback, &line.Playback}, {&recordIq, &line.RecordIq},
        {&loFrequency, &line.LoFrequency}, {&remote, &line.Remote},
    };
    const auto takesValue = [&](const QString& word) {
        return std::any_of(std::begin(valued), std::end(valued), [&](const auto& option) {
            return word == QStringLiteral("--") + option.first->names().first();
        });
    };

    // One option at a time, left to right, so that the first one with something to say
    // answers. Words that do not begin with "--" are Qt's, but -h is short for --help; a value
    // written apart is the next word, whatever it looks like (--record-iq -x.wav).
    const QString program = words.empty() ? QString() : WordText(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const QString word = WordText(words[i]);
        if (word != QLatin1String("-h") && !word.startsWith(QLatin1String("--"))) {
            line.QtWords.push_back(i);
            continue;
        }
        QStringList option{program, word == QLatin1String("-h") ? QStringLiteral("--help") : word};
        if (takesValue(word) && i + 1 < words.size()) {
            option << WordText(words[++i]);
        }
        // Refused by the parser and not for a missing value: a name the receiver does not
        // know, a lone "--", or a switch given a value (--verbose=1).
        const bool read = parser.parse(option);
        const QString name = parser.optionNames().value(0);
        if (name.isEmpty() || !parser.unknownOptionNames().isEmpty() ||
            (!read && !takesValue(QStringLiteral("--") + name))) {
            return Answer(Action::UsageError, QStringLiteral("unknown option ") + word);
        }
        if (parser.isSet(help)) {
            return Answer(Action::Help);
        }
        if (parser.isSet(version)) {
            return Answer(Action::Version);
        }
        line.ListDevices = line.ListDevices || parser.isSet(listDevices);
        line.Verbose = line.Verbose || parser.isSet(verbose);
        line.Remember = line.Remember || parser.isSet(remember);
        for (const auto& [given, into] : valued) {
            if (!parser.isSet(*given)) {
                continue;
            }
            const QString value = parser.value(*given);
            if (value.isEmpty()) { // --capture "", --capture=, or the line ended
                return Answer(Action::UsageError,
                              QStringLiteral("--%1 needs a value").arg(given->names().first()));
            }
            if (given == &loFrequency && !ParseLoFrequency(WordBytes(value))) {
                return Answer(Action::UsageError,
                              QStringLiteral("--lo-frequency must be a whole number of Hz from "
                                             "24000 to 99976000, not \"%1\"")
                                  .arg(value));
            }
            if (given == &remote && !ParseRemoteEndpoint(WordBytes(value))) {
                return Answer(Action::UsageError, QString::fromLatin1(RemoteUsageProblem) +
                                                      QStringLiteral(", not \"%1\"").arg(value));
            }
            *into = WordBytes(value); // given twice, the last one counts
        }
    }
    return line;
}

} // namespace corvane
