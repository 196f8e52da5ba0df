// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "RemoteProtocol.h"

#include "ModeTable.h"
#include "Tuning.h"
#include "VuMeter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace corvane {

namespace {

// Hamlib's values (include/hamlib/rig.h).
constexpr std::uint64_t ModeCw = 1ULL << 1;      // RIG_MODE_CW
constexpr std::uint64_t ModeUsb = 1ULL << 2;     // RIG_MODE_USB
constexpr std::uint64_t ModeLsb = 1ULL << 3;     // RIG_MODE_LSB
constexpr std::uint64_t ModePktLsb = 1ULL << 10; // RIG_MODE_PKTLSB
constexpr std::uint64_t ModePktUsb = 1ULL << 11; // RIG_MODE_PKTUSB
constexpr std::uint64_t ModeSsb = ModeUsb | ModeLsb | ModePktLsb | ModePktUsb;
constexpr std::uint64_t ModesAll = ModeCw | ModeSsb;
constexpr std::uint64_t LevelAgc = 1ULL << 17;      // RIG_LEVEL_AGC
constexpr std::uint64_t LevelStrength = 1ULL << 30; // RIG_LEVEL_STRENGTH
constexpr std::uint32_t VfoA = 1U << 0;             // RIG_VFO_A
constexpr int AgcOff = 0;                           // RIG_AGC_OFF
constexpr int AgcFast = 2;                          // RIG_AGC_FAST
constexpr int AgcSlow = 3;                          // RIG_AGC_SLOW

// Hamlib's error codes, as rigctld sends them.
constexpr int ErrInvalid = -1;        // RIG_EINVAL
constexpr int ErrNotImplemented = -4; // RIG_ENIMPL
constexpr int ErrNotAvailable = -11;  // RIG_ENAVAIL

enum class Cmd : std::uint8_t {
    GetFreq,
    SetFreq,
    GetMode,
    SetMode,
    GetVfo,
    SetVfo,
    GetSplitVfo,
    SetSplitVfo,
    GetPtt,
    SetPtt,
    GetLevel,
    SetLevel,
    GetPowerstat,
    ChkVfo,
    DumpState,
    GetLockMode,
    SetVfoOpt,
};

// A command as rigctld's table (tests/rigctl_parse.c) has it: short letter, long name, whether
// it takes a VFO argument in VFO mode, whether its output is its whole answer (ARG_OUT: no
// "RPRT 0" after the values), and the labels of its values in the extended form.
struct CommandEntry {
    char Short; // 0: long name only
    std::string_view Name;
    Cmd What;
    bool TakesVfo;
    bool OutputOnly;
    std::array<std::string_view, 2> Labels;
};

constexpr std::array<CommandEntry, 17> Commands{{
    {'f', "get_freq", Cmd::GetFreq, true, true, {"Frequency", ""}},
    {'F', "set_freq", Cmd::SetFreq, true, false, {}},
    {'m', "get_mode", Cmd::GetMode, true, true, {"Mode", "Passband"}},
    {'M', "set_mode", Cmd::SetMode, true, false, {}},
    {'v', "get_vfo", Cmd::GetVfo, false, true, {"VFO", ""}},
    {'V', "set_vfo", Cmd::SetVfo, false, false, {}},
    {'s', "get_split_vfo", Cmd::GetSplitVfo, true, true, {"Split", "TX VFO"}},
    {'S', "set_split_vfo", Cmd::SetSplitVfo, true, false, {}},
    {'t', "get_ptt", Cmd::GetPtt, true, true, {"PTT", ""}},
    {'T', "set_ptt", Cmd::SetPtt, true, false, {}},
    // get_level's value has no label in the extended form (rigctl_parse.c prints it only at
    // the interactive prompt).
    {'l', "get_level", Cmd::GetLevel, true, true, {"", ""}},
    {'L', "set_level", Cmd::SetLevel, true, false, {}},
    {0, "get_powerstat", Cmd::GetPowerstat, false, true, {"Power Status", ""}},
    {0, "chk_vfo", Cmd::ChkVfo, false, true, {"ChkVFO", ""}},
    {0, "dump_state", Cmd::DumpState, false, true, {"", ""}},
    {0, "get_lock_mode", Cmd::GetLockMode, false, false, {"Locked", ""}},
    {0, "set_vfo_opt", Cmd::SetVfoOpt, false, false, {}},
}};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// ispunct in the C locale, without the locale.
bool IsPunct(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x21 && u <= 0x2f) || (u >= 0x3a && u <= 0x40) || (u >= 0x5b && u <= 0x60) ||
           (u >= 0x7b && u <= 0x7e);
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !IsSpace(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

std::optional<long long> WholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> Number(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The VFO names this receiver answers to: its one VFO and the ways of saying "the current one".
bool OurVfo(std::string_view vfo) {
    return vfo == "VFOA" || vfo == "currVFO" || vfo == "VFO" || vfo == "Main" || vfo == "MainA";
}

// Hamlib's names of VFOs (rig_strvfo), for telling a VFO argument from another.
bool VfoName(std::string_view word) {
    static constexpr std::array<std::string_view, 17> names{
        "VFOA", "VFOB",  "VFOC",  "currVFO", "VFO",  "MEM",  "Main", "Sub", "TX",
        "RX",   "MainA", "MainB", "MainC",   "SubA", "SubB", "SubC", "None"};
    return std::find(names.begin(), names.end(), word) != names.end();
}

std::int32_t WidthOf(DemodMode mode) {
    const ModeBands bands = BandsFor(mode);
    return bands.PassHigh - bands.PassLow;
}

const char* ModeName(DemodMode mode) {
    switch (mode) {
    case DemodMode::Cw100:
    case DemodMode::Cw500:
        return "CW";
    case DemodMode::Usb:
        return "USB";
    case DemodMode::Lsb:
        return "LSB";
    }
    return "CW";
}

int AgcValue(AgcChoice agc) {
    switch (agc) {
    case AgcChoice::Off:
        return AgcOff;
    case AgcChoice::Slow:
        return AgcSlow;
    case AgcChoice::Fast:
        break;
    }
    return AgcFast;
}

bool IsCw(DemodMode mode) {
    return mode == DemodMode::Cw100 || mode == DemodMode::Cw500;
}

// The mode a set_mode asks for, or an error code.
std::optional<DemodMode> ModeFor(std::string_view name, long long width, DemodMode now) {
    if (width < -1) {
        return std::nullopt;
    }
    if (SameText(name, "USB") || SameText(name, "PKTUSB")) {
        return DemodMode::Usb;
    }
    if (SameText(name, "LSB") || SameText(name, "PKTLSB")) {
        return DemodMode::Lsb;
    }
    if (SameText(name, "CW")) {
        if (width == -1) { // unchanged: the CW filter in use, or the normal one
            return IsCw(now) ? now : DemodMode::Cw500;
        }
        return (width > 0 && width <= 300) ? DemodMode::Cw100 : DemodMode::Cw500;
    }
    return std::nullopt;
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// The outcome of one command: its values (label and text) or an error code.
struct Outcome {
    int Code = 0;
    std::vector<std::pair<std::string_view, std::string>> Values;
    std::string Raw; // dump_state: a block of lines as it is
};

// rigctld's last line: "RPRT 0", or the error.
std::string Report(int code) {
    std::string line = "RPRT ";
    line += std::to_string(code);
    line += '\n';
    return line;
}

Outcome Fail(int code) {
    Outcome o;
    o.Code = code;
    return o;
}

} // namespace

bool RemoteEndpoint::Loopback() const {
    return Address.rfind("127.", 0) == 0;
}

std::string RemoteEndpoint::Text() const {
    return Address + ":" + std::to_string(Port);
}

std::optional<RemoteEndpoint> ParseRemoteEndpoint(std::string_view text) {
    RemoteEndpoint at;
    std::string_view port = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        const std::string_view address = text.substr(0, colon);
        port = text.substr(colon + 1);
        at.Named = true;
        if (address == "localhost") {
            at.Address = "127.0.0.1";
        } else {
            // Four decimal bytes, each 1 to 3 digits.
            std::string dotted;
            std::size_t start = 0;
            for (int part = 0; part < 4; ++part) {
                const std::size_t dot = part < 3 ? address.find('.', start) : address.size();
                if (dot == std::string_view::npos) {
                    return std::nullopt;
                }
                const std::string_view byte = address.substr(start, dot - start);
                unsigned value = 0;
                const auto [end, ec] =
                    std::from_chars(byte.data(), byte.data() + byte.size(), value);
                if (byte.empty() || byte.size() > 3 || ec != std::errc() ||
                    end != byte.data() + byte.size() || value > 255) {
                    return std::nullopt;
                }
                if (part > 0) {
                    dotted += '.';
                }
                dotted += std::to_string(value);
                start = dot + 1;
            }
            at.Address = dotted;
        }
    }
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || port.size() > 5 || ec != std::errc() || end != port.data() + port.size() ||
        number < 1 || number > 65535) {
        return std::nullopt;
    }
    at.Port = static_cast<std::uint16_t>(number);
    return at;
}

std::string RemoteStartNotice(const RemoteEndpoint& at) {
    if (!at.Named) {
        return {};
    }
    if (at.Loopback()) {
        return std::string("remote control (Hamlib NET rigctl) listening on ") + at.Text();
    }
    return std::string("warning: remote control (Hamlib NET rigctl) listening on ") + at.Text() +
           ", which is not a loopback address: whoever reaches this machine on that port can "
           "tune the receiver";
}

std::int32_t StrengthDb(double smeterLevel) {
    // The needle's rules: below 0 at rest, from full scale up (and not-a-number) pinned.
    constexpr double full = VuMeter::FullScaleLevel; // 0 dB; level 0 is -140 dB
    double level = smeterLevel;
    if (!(level < full)) {
        level = full;
    }
    level = std::max(level, 0.0);
    const double meterDb = level * 140.0 / full - 140.0;         // the meter's own dB
    const double overS9 = meterDb + 40.0;                        // S9 is -40 dB on it
    const double strength = overS9 >= 0 ? overS9 : overS9 * 0.6; // 10 dB an S-unit -> 6
    return static_cast<std::int32_t>(std::nearbyint(strength));
}

std::string DumpState(std::int32_t loHz) {
    char range[128];
    std::snprintf(range, sizeof range, "%.6f %.6f %s -1 -1 %s 0x0\n",
                  static_cast<double>(loHz - TuningLimitHz),
                  static_cast<double>(loHz + TuningLimitHz), Hex(ModesAll).c_str(),
                  Hex(VfoA).c_str());
    std::string s;
    s += "1\n"; // protocol version
    s += "2\n"; // rig model: NET rigctl
    s += "0\n"; // ITU region (deprecated)
    s += range; // receive range: the band
    s += "0 0 0 0 0 0 0\n";
    s += "0 0 0 0 0 0 0\n";       // no transmit range
    s += Hex(ModesAll) + " 10\n"; // tuning step
    s += "0 0\n";
    s += Hex(ModeSsb) + " " + std::to_string(WidthOf(DemodMode::Usb)) + "\n"; // filters
    s += Hex(ModeCw) + " " + std::to_string(WidthOf(DemodMode::Cw500)) + "\n";
    s += Hex(ModeCw) + " " + std::to_string(WidthOf(DemodMode::Cw100)) + "\n";
    s += "0 0\n";
    s += "0\n0\n0\n0\n"; // max RIT, max XIT, max IF shift, announces
    s += "\n\n";         // preamps, attenuators
    s += "0x0\n0x0\n";   // get and set functions
    s += Hex(LevelStrength | LevelAgc) + "\n";
    s += Hex(LevelAgc) + "\n";
    s += "0x0\n0x0\n"; // get and set parameters
    s += "vfo_ops=0x0\n"
         "ptt_type=0x0\n"
         "targetable_vfo=0x0\n"
         "has_set_vfo=0\n"
         "has_get_vfo=1\n"
         "has_set_freq=1\n"
         "has_get_freq=1\n"
         "has_set_conf=0\n"
         "has_get_conf=0\n"
         "has_power2mW=0\n"
         "has_mW2power=0\n"
         "has_get_ant=0\n"
         "has_set_ant=0\n"
         "timeout=0\n"
         "rig_model=2\n"
         "done\n";
    return s;
}

RemoteAnswer AnswerRemoteRequest(std::string_view line, const RemoteState& state,
                                 RemoteSession& session) {
    RemoteAnswer answer;
    while (!line.empty() && IsSpace(line.back())) {
        line.remove_suffix(1);
    }
    while (!line.empty() && IsSpace(line.front())) {
        line.remove_prefix(1);
    }
    if (line.empty()) {
        return answer; // rigctld skips empty lines
    }
    // The extended form: a leading '+' (lines separated by newlines), or a punctuation mark
    // other than \ _ # ( ) (separated by that mark), as rigctl_parse.c reads them.
    bool extended = false;
    char sep = '\n';
    if (line.front() == '+') {
        extended = true;
        line.remove_prefix(1);
    }
    if (!line.empty() && IsPunct(line.front()) && line.front() != '\\' && line.front() != '_' &&
        line.front() != '#' && line.front() != '(' && line.front() != ')') {
        extended = true;
        sep = line.front();
        line.remove_prefix(1);
    }
    if (line.empty()) {
        answer.Reply = Report(ErrNotImplemented);
        return answer;
    }

    // The command: a long name after a backslash, else one letter.
    const CommandEntry* entry = nullptr;
    std::string_view rest;
    if (line.front() == '\\') {
        std::size_t end = 1;
        while (end < line.size() && !IsSpace(line[end])) {
            ++end;
        }
        const std::string_view name = line.substr(1, end - 1);
        rest = line.substr(end);
        for (const CommandEntry& e : Commands) {
            if (e.Name == name) {
                entry = &e;
            }
        }
    } else {
        const char letter = line.front();
        rest = line.substr(1);
        if (letter == 'q' || letter == 'Q') {
            answer.Reply = "RPRT 0\n";
            answer.Close = true;
            return answer;
        }
        for (const CommandEntry& e : Commands) {
            if (e.Short != 0 && e.Short == letter) {
                entry = &e;
            }
        }
    }
    if (entry == nullptr) {
        answer.Reply = Report(ErrNotImplemented);
        return answer;
    }

    std::vector<std::string_view> args = Words(rest);
    std::string header;
    if (extended && entry->What != Cmd::ChkVfo) { // rigctld sends no header for \chk_vfo
        header = std::string(entry->Name) + ":";
        for (const std::string_view a : args) {
            header += " ";
            header += a;
        }
        header += sep;
    }

    // A VFO argument first: always in VFO mode, and otherwise when one more word than the
    // command takes begins with a VFO's name.
    std::size_t wanted = 0;
    switch (entry->What) {
    case Cmd::SetFreq:
    case Cmd::SetVfo:
    case Cmd::SetPtt:
    case Cmd::GetLevel:
    case Cmd::SetVfoOpt:
        wanted = 1;
        break;
    case Cmd::SetMode:
    case Cmd::SetSplitVfo:
    case Cmd::SetLevel:
        wanted = 2;
        break;
    default:
        break;
    }
    Outcome out;
    bool vfoOk = true;
    if (entry->TakesVfo &&
        (session.VfoOpt || (args.size() == wanted + 1 && VfoName(args.front())))) {
        if (args.empty()) {
            out = Fail(ErrInvalid);
        } else {
            vfoOk = OurVfo(args.front());
            args.erase(args.begin());
        }
    }
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string_view(); };

    if (out.Code == 0 && !vfoOk) {
        out = Fail(ErrNotAvailable);
    } else if (out.Code == 0 && args.size() != wanted &&
               !(entry->What == Cmd::SetMode && args.size() == 1)) {
        out = Fail(ErrInvalid); // "M USB" alone keeps the width (as -1)
    } else if (out.Code == 0) {
        switch (entry->What) {
        case Cmd::GetFreq:
            out.Values.emplace_back(entry->Labels[0],
                                    std::to_string(std::int64_t{state.LoHz} + state.OffsetHz));
            break;
        case Cmd::SetFreq: {
            const std::optional<double> hz = Number(arg(0));
            if (!hz) {
                out = Fail(ErrInvalid);
                break;
            }
            const double offset = *hz - state.LoHz;
            if (!(std::abs(offset) <= TuningLimitHz)) {
                out = Fail(ErrInvalid); // outside the band
                break;
            }
            answer.Action.What = RemoteAction::Kind::Tune;
            answer.Action.OffsetHz = offset;
            break;
        }
        case Cmd::GetMode:
            out.Values.emplace_back(entry->Labels[0], ModeName(state.Mode));
            out.Values.emplace_back(entry->Labels[1], std::to_string(WidthOf(state.Mode)));
            break;
        case Cmd::SetMode: {
            const std::optional<long long> width =
                args.size() < 2 ? std::optional<long long>(-1) : WholeNumber(arg(1));
            const std::optional<DemodMode> mode =
                width ? ModeFor(arg(0), *width, state.Mode) : std::nullopt;
            if (!mode) {
                out = Fail(ErrInvalid);
                break;
            }
            answer.Action.What = RemoteAction::Kind::Mode;
            answer.Action.Mode = *mode;
            break;
        }
        case Cmd::GetVfo:
            out.Values.emplace_back(entry->Labels[0], "VFOA");
            break;
        case Cmd::SetVfo:
            out = Fail(OurVfo(arg(0)) ? 0 : ErrNotAvailable);
            break;
        case Cmd::GetSplitVfo:
            out.Values.emplace_back(entry->Labels[0], "0");
            out.Values.emplace_back(entry->Labels[1], "VFOA");
            break;
        case Cmd::SetSplitVfo: {
            const std::optional<long long> split = WholeNumber(arg(0));
            out = Fail(!split || !VfoName(arg(1)) ? ErrInvalid : *split != 0 ? ErrNotAvailable : 0);
            break;
        }
        case Cmd::GetPtt:
            out.Values.emplace_back(entry->Labels[0], "0");
            break;
        case Cmd::SetPtt: {
            const std::optional<long long> ptt = WholeNumber(arg(0));
            out = Fail(!ptt ? ErrInvalid : *ptt != 0 ? ErrNotAvailable : 0); // a receiver
            break;
        }
        case Cmd::GetLevel:
            if (arg(0) == "STRENGTH") {
                out.Values.emplace_back(entry->Labels[0],
                                        std::to_string(StrengthDb(state.SmeterLevel)));
            } else if (arg(0) == "AGC") {
                out.Values.emplace_back(entry->Labels[0], std::to_string(AgcValue(state.Agc)));
            } else {
                out = Fail(ErrNotAvailable);
            }
            break;
        case Cmd::SetLevel: {
            if (arg(0) != "AGC") {
                out = Fail(ErrNotAvailable);
                break;
            }
            const std::optional<long long> agc = WholeNumber(arg(1));
            if (!agc || (*agc != AgcOff && *agc != AgcFast && *agc != AgcSlow)) {
                out = Fail(ErrInvalid);
                break;
            }
            answer.Action.What = RemoteAction::Kind::Agc;
            answer.Action.Agc = *agc == AgcOff    ? AgcChoice::Off
                                : *agc == AgcSlow ? AgcChoice::Slow
                                                  : AgcChoice::Fast;
            break;
        }
        case Cmd::GetPowerstat:
            out.Values.emplace_back(entry->Labels[0], "1");
            break;
        case Cmd::ChkVfo:
            out.Values.emplace_back(entry->Labels[0], session.VfoOpt ? "1" : "0");
            break;
        case Cmd::DumpState:
            out.Raw = DumpState(state.LoHz);
            break;
        case Cmd::GetLockMode:
            out.Values.emplace_back(entry->Labels[0], "0");
            break;
        case Cmd::SetVfoOpt: {
            const std::optional<long long> opt = WholeNumber(arg(0));
            if (!opt) {
                out = Fail(ErrInvalid);
                break;
            }
            session.VfoOpt = *opt != 0;
            break;
        }
        }
    }

    std::string& reply = answer.Reply;
    reply = header;
    if (out.Code != 0) {
        answer.Action = {};
        reply += Report(out.Code);
        return answer;
    }
    reply += out.Raw;
    for (const auto& [label, value] : out.Values) {
        if (extended && !label.empty()) {
            reply += label;
            reply += ": ";
        }
        reply += value;
        // \chk_vfo and \get_lock_mode end their value with a newline whatever the separator.
        reply += (entry->What == Cmd::ChkVfo || entry->What == Cmd::GetLockMode ||
                  entry->What == Cmd::GetPowerstat)
                     ? '\n'
                     : sep;
    }
    if (entry->What != Cmd::ChkVfo && (extended || !entry->OutputOnly)) {
        reply += "RPRT 0\n";
    }
    return answer;
}

} // namespace corvane
