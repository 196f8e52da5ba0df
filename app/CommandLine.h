// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane's command line. The receiver's options begin with "--" (and -h); every other word is
// Qt's (-platform xcb, -display :1) and is left, in its order, for QApplication.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace corvane {

// A command-line word and back, byte for byte: Latin-1 gives every byte a character of its own,
// so device and file names in any encoding pass through Qt's parser untouched. Every program's
// parser uses these.
inline QString WordText(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string WordBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// What --help prints, and what follows the message of every usage error.
extern const char* const CorvaneUsage;

struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action What = Action::Run;
    std::string Problem; // UsageError: what is wrong, printed as "corvane: <Problem>"
    // Run: what was given; empty when not (the configuration file may then say).
    std::string Capture;
    std::string Playback;
    std::string RecordIq;
    std::string LoFrequency; // a valid frequency, as written
    std::string Remote;      // a valid [ADDRESS:]PORT for the remote control, as written
    bool ListDevices = false;
    bool Verbose = false;
    bool Remember = false; // --remember: keep the operator's choices from one start to the next
    std::vector<std::size_t> QtWords; // Qt's words, by their place on the line, in order
};

// `words` is argv as it came, the program's name first. Words are taken byte for byte, so a
// device or file name in any encoding comes back unchanged.
CommandLine ParseCommandLine(const std::vector<std::string>& words);

} // namespace corvane
