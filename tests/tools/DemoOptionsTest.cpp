// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-demo's command line, line by line: which form each picks and what it carries, what is
// refused, and which words are left for Qt.
#include "DemoOptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace corvane::test {
namespace {

using tools::DemoCommandLine;

std::vector<std::string> Demo(const std::vector<std::string>& words) {
    std::vector<std::string> line{"corvane-demo"};
    line.insert(line.end(), words.begin(), words.end());
    return line;
}

std::string Shown(const std::vector<std::string>& words) {
    std::string shown;
    for (const std::string& word : words) {
        shown += "[" + word + "] ";
    }
    return shown;
}

// A line's reading in a few words: "window" (with "lo=HZ" when given, and where Qt's words
// stand), "help", "probe", "probe with more", "write FILE for SECONDS s" or "refused: <problem>".
std::string Reading(const DemoCommandLine& line) {
    switch (line.What) {
    case DemoCommandLine::Action::Window: {
        std::string reading = "window";
        if (line.LoHz) {
            reading += " lo=";
            reading += std::to_string(*line.LoHz);
        }
        if (line.Remote) {
            reading += " remote=";
            reading += line.Remote->Text();
        }
        for (std::size_t k = 0; k < line.QtWords.size(); ++k) {
            reading += k == 0 ? " qt=" : ",";
            reading += std::to_string(line.QtWords[k]);
        }
        return reading;
    }
    case DemoCommandLine::Action::Help:
        return "help";
    case DemoCommandLine::Action::ProbeCapture:
        return line.ProbeAlone ? "probe" : "probe with more";
    case DemoCommandLine::Action::WriteBand: {
        std::ostringstream text;
        text << "write " << line.BandFile << " for " << line.Seconds << " s";
        return text.str();
    }
    case DemoCommandLine::Action::UsageError:
        return "refused: " + line.Problem;
    }
    return "?";
}

TEST(DemoCommandLine, PicksTheFormByItsFirstWordAndReadsWhatThatFormTakes) {
    const std::string lo = "refused: --lo-frequency needs a whole number of Hz from 24000 to "
                           "99976000";
    const std::string together = "refused: --write-band FILE.wav and --seconds N go together";
    const std::string seconds = "refused: --seconds must be a number of seconds above 0, not ";
    const std::string remote = "refused: --remote must be a port from 1 to 65535, alone or after "
                               "an IPv4 address or localhost and a colon (4532, 127.0.0.1:4532, "
                               "0.0.0.0:4532)";
    // The words after the program's name, and their reading.
    const std::vector<std::pair<std::vector<std::string>, std::string>> lines{
        // The window: --lo-frequency comes off the line, everything else is left for Qt.
        {{}, "window"},
        {{"-platform", "offscreen", "stray", "--bogus"}, "window qt=1,2,3,4"},
        {{"--lo-frequency", "14060000"}, "window lo=14060000"},
        {{"--lo-frequency=24000"}, "window lo=24000"},
        {{"-platform", "offscreen", "--lo-frequency", "99976000", "-style=fusion"},
         "window lo=99976000 qt=1,2,5"},
        {{"--lo-frequency", "14060000", "--lo-frequency=7000000"}, "window lo=7000000"},
        {{"-lo-frequency", "1"}, "window qt=1,2"}, // one dash: not the demo's option
        {{"--", "--lo-frequency", "14060000", "--seconds"}, "window lo=14060000 qt=1,4"},
        {{"--lo-frequency"}, lo},
        {{"--lo-frequency="}, lo},
        {{"--lo-frequency", "7.056"}, lo},
        {{"--lo-frequency", "100000000"}, lo},
        {{"--lo-frequency", "1", "--lo-frequency", "14060000"}, lo},
        {{"--lo-frequency", "14060000", "--lo-frequency"}, lo},
        {{"--lo-frequency", "--lo-frequency", "14060000"}, lo},
        {{"--", "--lo-frequency", "5"}, lo},
        {{"-platform", "offscreen", "--seconds", "--lo-frequency", "5"}, lo},
        // The remote control, anywhere on the window's line.
        {{"--remote", "4532"}, "window remote=127.0.0.1:4532"},
        {{"--remote=localhost:4533", "--lo-frequency", "14060000"},
         "window lo=14060000 remote=127.0.0.1:4533"},
        {{"-platform", "offscreen", "--remote", "0.0.0.0:4532"},
         "window remote=0.0.0.0:4532 qt=1,2"},
        {{"--remote", "1", "--remote=4532"}, "window remote=127.0.0.1:4532"},
        {{"--remote"}, remote},
        {{"--remote="}, remote + ", not \"\""},
        {{"--remote", "0"}, remote + ", not \"0\""},
        {{"--remote", "host:4532"}, remote + ", not \"host:4532\""},
        {{"--remote", "4532", "--remote"}, remote},
        {{"-remote", "4532"}, "window qt=1,2"},
        // Help and the capture probe, only as the first word.
        {{"--help"}, "help"},
        {{"-h", "--bogus"}, "help"},
        {{"--help=1"}, "window qt=1"},
        {{"--lo-frequency", "14060000", "--help"}, "window lo=14060000 qt=3"},
        {{"--probe-capture"}, "probe"},
        {{"--probe-capture", "now"}, "probe with more"},
        {{"--lo-frequency", "14060000", "--probe-capture"}, "window lo=14060000 qt=3"},
        // The band as a recording: both options, each once, and nothing else.
        {{"--write-band", "band.wav", "--seconds", "60"}, "write band.wav for 60 s"},
        {{"--seconds=0.5", "--write-band=band.wav"}, "write band.wav for 0.5 s"},
        {{"--write-band", "-x.wav", "--seconds", "86400"}, "write -x.wav for 86400 s"},
        {{"--write-band", "\xe9t\xe9.wav", "--seconds", "1"}, "write \xe9t\xe9.wav for 1 s"},
        {{"--write-band", "band.wav"}, together},
        {{"--seconds", "4"}, together},
        {{"--write-band", "band.wav", "--seconds"}, together},
        {{"--write-band", "a.wav", "--write-band", "b.wav"}, together},
        {{"--write-band", "", "--seconds", "4"}, together},
        {{"--write-band", "band.wav", "--seconds", "4", "--lo-frequency", "14060000"}, together},
        {{"--write-band", "band.wav", "--seconds", "4", "-platform", "offscreen"}, together},
        {{"--write-band", "band.wav", "--seconds", "4", "--seconds", "5"}, together},
        {{"--write-band", "band.wav", "--seconds", "4", "extra"}, together},
        {{"--write-band", "band.wav", "--seconds", "soon"}, seconds + "\"soon\""},
        {{"--write-band", "band.wav", "--seconds=0"}, seconds + "\"0\""},
        {{"--write-band", "band.wav", "--seconds", "-1"}, seconds + "\"-1\""},
        {{"--write-band", "band.wav", "--seconds", "86401"}, seconds + "\"86401\""},
        {{"--write-band", "band.wav", "--seconds", "nan"}, seconds + "\"nan\""},
        {{"--write-band", "band.wav", "--seconds", "4s"}, seconds + "\"4s\""},
    };
    for (const auto& [words, reading] : lines) {
        EXPECT_EQ(Reading(tools::ParseDemoCommandLine(Demo(words))), reading) << Shown(words);
    }
}

} // namespace
} // namespace corvane::test
