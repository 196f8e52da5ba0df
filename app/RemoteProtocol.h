// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The remote control's protocol: Hamlib's network protocol as rigctld speaks it ("NET rigctl",
// rig model 2), as Hamlib 4.5-4.7 clients (rigctl -m 2, WSJT-X, fldigi, gpredict) use it. A
// pure function of one request line and the receiver's state: the whole reply, and what the
// receiver must do (tune, change mode, change AGC) before the reply is sent. No sockets here;
// RemoteServer carries the lines.
#pragma once

#include "ReceiverControls.h"
#include "ReceiverSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::uint16_t RemoteDefaultPort = 4532; // rigctld's
inline constexpr int RemoteMaxClients = 8;
inline constexpr std::size_t RemoteMaxLine = 1024; // bytes of one request, without its newline

// Where the server listens: [ADDRESS:]PORT, ADDRESS an IPv4 address or "localhost".
struct RemoteEndpoint {
    std::string Address = "127.0.0.1"; // dotted IPv4
    std::uint16_t Port = RemoteDefaultPort;
    bool Named = false; // the address was written (the program then says where it listens)
    bool Loopback() const;
    std::string Text() const; // "127.0.0.1:4532"
};

// "4532", "127.0.0.1:4532", "localhost:4532", "0.0.0.0:4532"; nothing when it is not one
// (port 1..65535 in decimal, the address four decimal bytes or localhost).
std::optional<RemoteEndpoint> ParseRemoteEndpoint(std::string_view text);

// What is wrong with a --remote that ParseRemoteEndpoint refuses (the value follows).
inline constexpr const char* RemoteUsageProblem =
    "--remote must be a port from 1 to 65535, alone or after an IPv4 address or localhost and "
    "a colon (4532, 127.0.0.1:4532, 0.0.0.0:4532)";

// What a program prints at start: empty when no address was named; a line saying where it
// listens; a warning when that is not a loopback address.
std::string RemoteStartNotice(const RemoteEndpoint& at);

// What a request reads of the receiver.
struct RemoteState {
    std::int32_t LoHz = 7056000; // the front end's frequency
    std::int32_t OffsetHz = 0;   // the tuning offset: the dial is LoHz + OffsetHz
    DemodMode Mode = DemodMode::Cw500;
    AgcChoice Agc = AgcChoice::Fast;
    double SmeterLevel = 0.0; // the chain's S-meter level: 0 at -140 dB, 1000 at 0 dB
};

// What a request asks the receiver to do, as the operator's controls would.
struct RemoteAction {
    enum class Kind : std::uint8_t { None, Tune, Mode, Agc };
    Kind What = Kind::None;
    double OffsetHz = 0.0; // Tune: the offset asked for (the window snaps and limits it)
    DemodMode Mode = DemodMode::Cw500;
    AgcChoice Agc = AgcChoice::Fast;
};

// One connection's own settings.
struct RemoteSession {
    bool VfoOpt = false; // \set_vfo_opt 1: requests carry a VFO argument
};

struct RemoteAnswer {
    std::string Reply;   // the whole reply, each line ending in '\n'; empty for an empty line
    RemoteAction Action; // done before the reply is sent
    bool Close = false;  // q or Q: the connection ends after the reply
};

// One request line (without its '\n'; a trailing '\r' is ignored) against the receiver's state.
// Any bytes at all are a request: what is not one is answered "RPRT -4" or "RPRT -1".
RemoteAnswer AnswerRemoteRequest(std::string_view line, const RemoteState& state,
                                 RemoteSession& session);

// The meter's reading in Hamlib's STRENGTH: whole dB relative to S9 with 6 dB an S-unit below
// S9 and dB above it. The meter's scale has S1 at level 1000/7 (-120 dB), S9 at 5000/7 (-40 dB)
// and 10 dB of level per S-unit below S9, so S1 reads -48, S9 0, S9+20 20 and full scale 40;
// the needle at rest (level 0) reads -60.
std::int32_t StrengthDb(double smeterLevel);

// The reply to \dump_state for a front end at `loHz`: protocol 1, in the order Hamlib's
// netrigctl_open reads it.
std::string DumpState(std::int32_t loHz);

} // namespace corvane
