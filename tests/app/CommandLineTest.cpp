// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane's command line, line by line: what each asks for, what is refused and with which
// words, and which words are left for Qt.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace corvane::test {
namespace {

// A line's reading in a few words: "help", "version", "refused: <problem>", or what the receiver
// runs with ("" for nothing given) and where Qt's words stand.
std::string Reading(const CommandLine& line) {
    switch (line.What) {
    case CommandLine::Action::Help:
        return "help";
    case CommandLine::Action::Version:
        return "version";
    case CommandLine::Action::UsageError:
        return "refused: " + line.Problem;
    case CommandLine::Action::Run:
        break;
    }
    std::string reading;
    const auto add = [&](const std::string& piece) {
        reading += reading.empty() ? "" : " ";
        reading += piece;
    };
    for (const auto& [name, value] : {std::pair{"capture", line.Capture},
                                      {"playback", line.Playback},
                                      {"record-iq", line.RecordIq},
                                      {"lo-frequency", line.LoFrequency},
                                      {"remote", line.Remote}}) {
        if (!value.empty()) {
            add(std::string(name) + "=" + value);
        }
    }
    if (line.ListDevices) {
        add("list-devices");
    }
    if (line.Verbose) {
        add("verbose");
    }
    if (line.Remember) {
        add("remember");
    }
    if (!line.QtWords.empty()) {
        std::string places;
        for (const std::size_t i : line.QtWords) {
            places += places.empty() ? "" : ",";
            places += std::to_string(i);
        }
        add("qt=" + places);
    }
    return reading;
}

std::string Shown(const std::vector<std::string>& words) {
    std::string shown = "corvane";
    for (const std::string& word : words) {
        shown += " [" + word + "]";
    }
    return shown;
}

TEST(CorvaneCommandLine, ReadsEachLineOptionByOptionAndLeavesQtItsWords) {
    const std::string lo = "refused: --lo-frequency must be a whole number of Hz from 24000 to "
                           "99976000, not ";
    const std::string remote = "refused: --remote must be a port from 1 to 65535, alone or after "
                               "an IPv4 address or localhost and a colon (4532, 127.0.0.1:4532, "
                               "0.0.0.0:4532), not ";
    // The words after the program's name, and their reading.
    const std::vector<std::pair<std::vector<std::string>, std::string>> lines{
        {{}, ""},
        // What the operator asks for, with the value apart or after "=".
        {{"--capture", "hw:1", "--playback", "hw:2"}, "capture=hw:1 playback=hw:2"},
        {{"--capture=hw:1", "--playback=hw:2"}, "capture=hw:1 playback=hw:2"},
        {{"--record-iq", "band.wav", "--verbose", "--list-devices"},
         "record-iq=band.wav list-devices verbose"},
        {{"--record-iq=band.wav"}, "record-iq=band.wav"},
        {{"--lo-frequency", "14060000"}, "lo-frequency=14060000"},
        {{"--lo-frequency=24000"}, "lo-frequency=24000"},
        {{"--remember", "--verbose"}, "verbose remember"},
        {{"--remember", "--remember"}, "remember"},
        {{"--lo-frequency", "99976000"}, "lo-frequency=99976000"},
        {{"--capture", "a", "--capture=b"}, "capture=b"}, // the last one counts
        // A value written apart is the next word, whatever it looks like.
        {{"--record-iq", "-reverse"}, "record-iq=-reverse"},
        {{"--capture", "--verbose"}, "capture=--verbose"},
        {{"--capture", "--"}, "capture=--"},
        // Names pass byte for byte, whatever their encoding.
        {{"--record-iq", "\xe9t\xe9.wav"}, "record-iq=\xe9t\xe9.wav"},
        // Qt's words, in their order; single-dash spellings of ours are Qt's too.
        {{"-platform", "xcb", "--verbose", "-display", ":1", "-reverse"}, "verbose qt=1,2,4,5,6"},
        {{"-style=fusion", "--capture", "hw:1", "stray"}, "capture=hw:1 qt=1,4"},
        {{"-verbose", "-capture", "hw:1", "-help", "-version"}, "qt=1,2,3,4,5"},
        // --help and --version, and which of them answers first.
        {{"--help"}, "help"},
        {{"-h"}, "help"},
        {{"-platform", "xcb", "--capture", "hw:1", "--help"}, "help"},
        {{"--version"}, "version"},
        {{"--help", "--version"}, "help"},
        {{"--version", "--help"}, "version"},
        {{"--help", "--capture"}, "help"},
        {{"--help", "--bogus"}, "help"},
        {{"--bogus", "--help"}, "refused: unknown option --bogus"},
        {{"--version", "--lo-frequency", "7.056"}, "version"},
        {{"--lo-frequency", "7.056", "--help"}, lo + "\"7.056\""},
        {{"--capture", "", "--version"}, "refused: --capture needs a value"},
        // Usage errors, each with the words that say what is wrong.
        {{"--bogus"}, "refused: unknown option --bogus"},
        {{"--bogus=1"}, "refused: unknown option --bogus=1"},
        {{"--platform", "xcb"}, "refused: unknown option --platform"},
        {{"--h"}, "refused: unknown option --h"},
        {{"--"}, "refused: unknown option --"},
        {{"--verbose=1"}, "refused: unknown option --verbose=1"},
        {{"--help=1"}, "refused: unknown option --help=1"},
        {{"--remember=true"}, "refused: unknown option --remember=true"},
        {{"-remember"}, "qt=1"},
        {{"--verbose", "--bogus", "--lo-frequency", "1"}, "refused: unknown option --bogus"},
        {{"--lo-frequency", "1", "--bogus"}, lo + "\"1\""},
        {{"--capture"}, "refused: --capture needs a value"},
        {{"--record-iq", ""}, "refused: --record-iq needs a value"},
        {{"--playback="}, "refused: --playback needs a value"},
        {{"--lo-frequency"}, "refused: --lo-frequency needs a value"},
        {{"--lo-frequency", "7.056"}, lo + "\"7.056\""},
        {{"--lo-frequency=100000000"}, lo + "\"100000000\""},
        {{"--lo-frequency", "23999"}, lo + "\"23999\""},
        {{"--lo-frequency", "14060000", "--lo-frequency", "7 MHz"}, lo + "\"7 MHz\""},
        {{"--record-iq", "band.wav", "--bogus\xff"}, "refused: unknown option --bogus\xff"},
        // The remote control: a port, or an IPv4 address or localhost and a port.
        {{"--remote", "4532"}, "remote=4532"},
        {{"--remote=127.0.0.1:4532"}, "remote=127.0.0.1:4532"},
        {{"--remote", "localhost:4533", "--verbose"}, "remote=localhost:4533 verbose"},
        {{"--remote", "0.0.0.0:65535"}, "remote=0.0.0.0:65535"},
        {{"--remote", "1", "--remote", "4532"}, "remote=4532"},
        {{"--remote"}, "refused: --remote needs a value"},
        {{"--remote="}, "refused: --remote needs a value"},
        {{"--remote", "0"}, remote + "\"0\""},
        {{"--remote", "65536"}, remote + "\"65536\""},
        {{"--remote", "rig.local:4532"}, remote + "\"rig.local:4532\""},
        {{"--remote", "127.0.0.1"}, remote + "\"127.0.0.1\""},
        {{"--remote", "[::1]:4532"}, remote + "\"[::1]:4532\""},
        {{"--remote", "4532", "--remote", "x"}, remote + "\"x\""},
        {{"--remote", "x", "--help"}, remote + "\"x\""},
        {{"--help", "--remote", "x"}, "help"},
    };
    for (const auto& [after, reading] : lines) {
        std::vector<std::string> words{"corvane"};
        words.insert(words.end(), after.begin(), after.end());
        EXPECT_EQ(Reading(ParseCommandLine(words)), reading) << Shown(after);
    }
}

} // namespace
} // namespace corvane::test
