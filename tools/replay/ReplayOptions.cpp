// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReplayOptions.h"

#include "CommandLine.h"
#include "ReceiverControls.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <sys/stat.h>

#include <array>
#include <charconv>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace corvane::tools {

namespace {

constexpr std::array<const char*, 11> ValueOptions{
    "window", "video",        "mode",       "agc",   "gain",     "offset",
    "test",   "lo-frequency", "screenshot", "stats", "waterfall"};
constexpr std::array<const char*, 4> Ticks{"plus20", "swap-iq", "iq-correct", "quiet"};

std::optional<std::int32_t> ParseInt(const std::string& text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed) {
        if (value == a) {
            return true;
        }
    }
    return false;
}

// Takes a value of the option `name` into `o`: empty when it is one the receiver accepts,
// otherwise what is wrong with it.
std::string TakeValue(ReplayOptions& o, const std::string& name, const std::string& value) {
    const std::string option = "--" + name;
    const std::string quoted = "\"" + value + "\"";
    if (name == "window" || name == "mode" || name == "agc" || name == "test") {
        const bool known = name == "window" ? OneOf(value, {"none", "bh", "hann"})
                           : name == "mode" ? OneOf(value, {"cw100", "cw500", "usb", "lsb"})
                           : name == "agc"  ? OneOf(value, {"fast", "slow", "off"})
                                            : OneOf(value, {"none", "iq", "i-q", "i"});
        if (!known) {
            return option + ": unknown choice " + quoted;
        }
        (name == "window" ? o.Window
         : name == "mode" ? o.Mode
         : name == "agc"  ? o.Agc
                          : o.Test) = value;
    } else if (name == "lo-frequency") {
        const std::optional<std::int32_t> hz = ParseLoFrequency(value);
        if (!hz) {
            return option + " must be a whole number of Hz from 24000 to 99976000, not " + quoted;
        }
        o.LoHz = *hz;
    } else if (name == "video") {
        const std::optional<std::int32_t> n = ParseInt(value);
        if (!n || (*n != 1 && *n != 4 && *n != 8 && *n != 16)) {
            return option + " must be 1, 4, 8 or 16, not " + quoted;
        }
        o.Video = *n;
    } else if (name == "gain") {
        const std::optional<std::int32_t> n = ParseInt(value);
        if (!n || *n < 40 || *n > 100) {
            return option + " must be a whole number from 40 to 100, not " + quoted;
        }
        o.Gain = *n;
    } else if (name == "offset") {
        const std::optional<std::int32_t> n = ParseInt(value);
        if (!n || *n < -23800 || *n > 23800) {
            return option + " must be a whole number of Hz from -23800 to 23800, not " + quoted;
        }
        o.Offset = *n;
    } else { // --screenshot, --stats, --waterfall
        if (value.empty()) {
            return option + " needs a file name";
        }
        (name == "stats" ? o.Stats : name == "waterfall" ? o.Waterfall : o.Screenshot) = value;
    }
    return {};
}

// What a file name stands for on disk, so that two names for one file (a link, a bind mount)
// are seen to be one: the file's device and inode, or, for a file not there yet, its folder's
// and its own name.
struct FileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Name; // empty when the file exists
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) == 0) {
        return FileIdentity{seen.st_dev, seen.st_ino, {}};
    }
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (::stat(folder.c_str(), &seen) == 0) {
        return FileIdentity{seen.st_dev, seen.st_ino, path.filename().string()};
    }
    return std::nullopt; // a folder that is not there: nothing can be written over
}

// Every file written would replace the recording, or one another, at the final rename: empty
// when none does, otherwise which.
std::string WrittenOver(const ReplayOptions& o) {
    std::vector<std::filesystem::path> written{o.Output};
    if (!o.Screenshot.empty()) {
        written.push_back(o.Screenshot);
    }
    if (!o.Stats.empty()) {
        written.push_back(o.Stats);
    }
    if (!o.Waterfall.empty()) {
        written.push_back(o.Waterfall);
    }
    const auto same = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        const std::optional<FileIdentity> ia = IdentityOf(a);
        return ia && ia == IdentityOf(b);
    };
    for (std::size_t a = 0; a < written.size(); ++a) {
        if (same(written[a], o.Input)) {
            return written[a].string() + " is the input recording; it would be overwritten";
        }
        for (std::size_t b = a + 1; b < written.size(); ++b) {
            if (same(written[a], written[b])) {
                return written[a].string() + " is named for two outputs";
            }
        }
    }
    return {};
}

} // namespace

std::string ReplayUsage() {
    return "usage: corvane-replay [options] INPUT OUTPUT\n"
           "  INPUT    I/Q recording: 2 channels (I left, Q right), 48000 Hz, any format\n"
           "           libsndfile reads (float samples are clipped to 16 bits)\n"
           "  OUTPUT   the receiver's audio: WAV, 48000 Hz, 16-bit, 2 equal channels\n"
           "options (set after start-up, in this order, as the operator would):\n"
           "  --window none|bh|hann      analysis window, default bh\n"
           "  --video 1|4|8|16           video filter, default 4\n"
           "  --mode cw100|cw500|usb|lsb mode, default cw500\n"
           "  --agc fast|slow|off        AGC, default fast\n"
           "  --gain N                   GAIN slider 40..100, default 70\n"
           "  --offset HZ                tuning offset -23800..23800 Hz\n"
           "  --test none|iq|i-q|i       test selection, default none\n"
           "  --plus20                   tick \"+ 20dB\"\n"
           "  --swap-iq                  tick \"Swap I/Q\" (I and Q wired the other way)\n"
           "  --iq-correct               tick \"I/Q corr.\" (blind I/Q balance and DC correction)\n"
           "  --lo-frequency HZ          the front end's frequency for the readout,\n"
           "                             24000..99976000, default 7056000\n"
           "  --screenshot FILE.png      the whole window after the last block\n"
           "  --stats FILE.jsonl         one JSON line per block\n"
           "  --waterfall FILE.png       the recording's waterfall, one row per block\n"
           "  --quiet                    no progress bar\n"
           "  --help                     this text\n"
           "exit status: 0 done, 1 output not written, 2 usage error, 3 input unusable,\n"
           "             130 stopped by a signal (Ctrl-C, a kill, a closed terminal)\n";
}

std::optional<ReplayOptions> ParseReplayOptions(const std::vector<std::string>& args,
                                                std::string& error, bool& help) {
    help = false;
    QCommandLineParser parser;
    for (const char* name : ValueOptions) {
        parser.addOption(
            QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value")));
    }
    for (const char* name : Ticks) {
        parser.addOption(QCommandLineOption(QLatin1String(name)));
    }
    // Not -h: Qt would take -hx for -h -x, so -h is looked for below, as it is written.
    parser.addOption(QCommandLineOption(QStringLiteral("help")));

    // Qt's parser reads the whole line at once, but the operator is told of the first thing
    // wrong from the left, and --help counts only with nothing wrong before it: so the line is
    // read again with each argument added. The arguments go in byte for byte (as Latin-1), so
    // that file names in any encoding come out as they were given.
    ReplayOptions o;
    QStringList line{QStringLiteral("corvane-replay")};
    qsizetype files = 0;
    bool valueNext = false; // the last option takes the next argument as its value
    std::string option;     // the last option as written, less any "=value"
    for (const std::string& arg : args) {
        line << WordText(arg);
        const bool read = parser.parse(line);
        const bool isValue = std::exchange(valueNext, false);
        if (!isValue && parser.positionalArguments().size() == files) { // an option
            option = arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : arg;
            if (option == "--help" || option == "-h") {
                help = true;
                return std::nullopt;
            }
            if (option == "--") { // "--=anything" ends the options too
                line.back() = QStringLiteral("--");
                continue;
            }
            // Of the words with a single dash only -h is known: -gain is not --gain.
            if (option[1] != '-' || !parser.unknownOptionNames().isEmpty()) {
                error = "unknown option " + option;
                return std::nullopt;
            }
            if (!read) {
                if (option.size() < arg.size()) {
                    error = option + " takes no value";
                    return std::nullopt;
                }
                valueNext = true;
                continue;
            }
        }
        files = parser.positionalArguments().size();
        for (const char* name : ValueOptions) {
            for (const QString& value : parser.values(QLatin1String(name))) {
                error = TakeValue(o, name, WordBytes(value));
                if (!error.empty()) {
                    return std::nullopt;
                }
            }
        }
    }
    if (valueNext) {
        error = option + " needs a value";
        return std::nullopt;
    }
    parser.parse(line); // the whole line, for the ticks and the file names
    o.Plus20 = parser.isSet(QStringLiteral("plus20"));
    o.SwapIq = parser.isSet(QStringLiteral("swap-iq"));
    o.IqCorrect = parser.isSet(QStringLiteral("iq-correct"));
    o.Quiet = parser.isSet(QStringLiteral("quiet"));
    const QStringList names = parser.positionalArguments();
    if (names.size() != 2) {
        error = names.size() < 2 ? "INPUT and OUTPUT are needed" : "too many file names";
        return std::nullopt;
    }
    o.Input = WordBytes(names[0]);
    o.Output = WordBytes(names[1]);
    error = WrittenOver(o);
    if (!error.empty()) {
        return std::nullopt;
    }
    return o;
}

} // namespace corvane::tools
