// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The remote control's protocol, request by request, without sockets: each line against a
// receiver state, the whole reply and what the receiver is asked to do. Also the --remote
// address, the S-meter's reading in dB over S9 and the \dump_state block.
#include "RemoteProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::test {
namespace {

// A receiver at 7.056 MHz tuned 250 Hz up, CW 500, AGC fast, the meter at S9 (level 5000/7).
RemoteState Receiver() {
    RemoteState state;
    state.LoHz = 7056000;
    state.OffsetHz = 250;
    state.Mode = DemodMode::Cw500;
    state.Agc = AgcChoice::Fast;
    state.SmeterLevel = 5000.0 / 7.0;
    return state;
}

// An action in a few words: "", "tune 4000", "mode usb", "agc slow".
std::string Did(const RemoteAction& action) {
    switch (action.What) {
    case RemoteAction::Kind::None:
        return "";
    case RemoteAction::Kind::Tune: {
        char text[32];
        std::snprintf(text, sizeof text, "tune %g", action.OffsetHz);
        return text;
    }
    case RemoteAction::Kind::Mode:
        switch (action.Mode) {
        case DemodMode::Cw100:
            return "mode cw100";
        case DemodMode::Cw500:
            return "mode cw500";
        case DemodMode::Usb:
            return "mode usb";
        case DemodMode::Lsb:
            return "mode lsb";
        }
        return "mode ?";
    case RemoteAction::Kind::Agc:
        return action.Agc == AgcChoice::Off    ? "agc off"
               : action.Agc == AgcChoice::Slow ? "agc slow"
                                               : "agc fast";
    }
    return "?";
}

struct Row {
    std::string Request;
    std::string Reply;
    std::string Action; // as Did writes it
};

void Check(const std::vector<Row>& rows, const RemoteState& state) {
    for (const Row& row : rows) {
        RemoteSession session;
        const RemoteAnswer answer = AnswerRemoteRequest(row.Request, state, session);
        EXPECT_EQ(answer.Reply, row.Reply) << "request [" << row.Request << "]";
        EXPECT_EQ(Did(answer.Action), row.Action) << "request [" << row.Request << "]";
        EXPECT_FALSE(answer.Close) << "request [" << row.Request << "]";
    }
}

TEST(RemoteProtocol, AnswersEveryRequestOfTheTable) {
    Check(
        {
            // The dial: the front end plus the offset.
            {"f", "7056250\n", ""},
            {"F 7060000", "RPRT 0\n", "tune 4000"},
            {"F 7060000.000000", "RPRT 0\n", "tune 4000"},
            {"F 7056255.5", "RPRT 0\n", "tune 255.5"},
            {"F 7079800", "RPRT 0\n", "tune 23800"}, // the band's edges are in it
            {"F 7032200", "RPRT 0\n", "tune -23800"},
            {"F 7079801", "RPRT -1\n", ""}, // outside the band
            {"F 7032199.9", "RPRT -1\n", ""},
            {"F 14074000", "RPRT -1\n", ""},
            {"F 0", "RPRT -1\n", ""},
            {"F -7056000", "RPRT -1\n", ""},
            // Mode and pass band.
            {"m", "CW\n500\n", ""},
            {"M USB 0", "RPRT 0\n", "mode usb"},
            {"M LSB -1", "RPRT 0\n", "mode lsb"},
            {"M USB 2400", "RPRT 0\n", "mode usb"}, // SSB has one width
            {"M CW 500", "RPRT 0\n", "mode cw500"},
            {"M CW 100", "RPRT 0\n", "mode cw100"},
            {"M CW 300", "RPRT 0\n", "mode cw100"},
            {"M CW 301", "RPRT 0\n", "mode cw500"},
            {"M CW 0", "RPRT 0\n", "mode cw500"},  // the normal width
            {"M CW -1", "RPRT 0\n", "mode cw500"}, // unchanged
            {"M PKTUSB 0", "RPRT 0\n", "mode usb"},
            {"M PKTLSB 0", "RPRT 0\n", "mode lsb"},
            {"M FM 0", "RPRT -1\n", ""},
            {"M AM 0", "RPRT -1\n", ""},
            {"M CWR 500", "RPRT -1\n", ""},
            {"M RTTY 0", "RPRT -1\n", ""},
            {"M CW -2", "RPRT -1\n", ""},
            {"M CW wide", "RPRT -1\n", ""},
            // VFO, split, PTT.
            {"v", "VFOA\n", ""},
            {"V VFOA", "RPRT 0\n", ""},
            {"V VFOB", "RPRT -11\n", ""},
            {"V Sub", "RPRT -11\n", ""},
            {"s", "0\nVFOA\n", ""},
            {"S 0 VFOA", "RPRT 0\n", ""},
            {"S 1 VFOB", "RPRT -11\n", ""},
            {"S 1 VFOA", "RPRT -11\n", ""},
            {"t", "0\n", ""},
            {"T 0", "RPRT 0\n", ""},
            {"T 1", "RPRT -11\n", ""},
            {"T 3", "RPRT -11\n", ""},
            // Levels.
            {"l STRENGTH", "0\n", ""},
            {"l AGC", "2\n", ""},
            {"L AGC 0", "RPRT 0\n", "agc off"},
            {"L AGC 2", "RPRT 0\n", "agc fast"},
            {"L AGC 3", "RPRT 0\n", "agc slow"},
            {"L AGC 1", "RPRT -1\n", ""}, // superfast: there is none
            {"L AGC 6", "RPRT -1\n", ""},
            {"L AGC fast", "RPRT -1\n", ""},
            {"l AF", "RPRT -11\n", ""},
            {"l RAWSTR", "RPRT -11\n", ""},
            {"L STRENGTH 0", "RPRT -11\n", ""},
            {"L AF 0.5", "RPRT -11\n", ""},
            // Long names only.
            {"\\get_powerstat", "1\n", ""},
            {"\\chk_vfo", "0\n", ""},
            {"\\get_lock_mode", "0\nRPRT 0\n", ""},
            {"\\set_vfo_opt 0", "RPRT 0\n", ""},
            {"\\dump_state", DumpState(7056000), ""},
        },
        Receiver());
}

TEST(RemoteProtocol, LongNamesAreTheShortCommands) {
    Check(
        {
            {"\\get_freq", "7056250\n", ""},
            {"\\set_freq 7060000", "RPRT 0\n", "tune 4000"},
            {"\\get_mode", "CW\n500\n", ""},
            {"\\set_mode USB 0", "RPRT 0\n", "mode usb"},
            {"\\get_vfo", "VFOA\n", ""},
            {"\\set_vfo VFOA", "RPRT 0\n", ""},
            {"\\get_split_vfo", "0\nVFOA\n", ""},
            {"\\set_split_vfo 0 VFOA", "RPRT 0\n", ""},
            {"\\get_ptt", "0\n", ""},
            {"\\set_ptt 1", "RPRT -11\n", ""},
            {"\\get_level AGC", "2\n", ""},
            {"\\set_level AGC 3", "RPRT 0\n", "agc slow"},
            {"\\get_fre", "RPRT -4\n", ""},
            {"\\GET_FREQ", "RPRT -4\n", ""},
        },
        Receiver());
}

TEST(RemoteProtocol, TheExtendedFormNamesTheCommandAndEveryValueAndEndsWithRprt) {
    // As rigctl_parse.c writes it: "name: args", "Label: value" per value (get_level's value
    // has none), "RPRT n"; with another punctuation mark, that mark separates them.
    Check(
        {
            {"+f", "get_freq:\nFrequency: 7056250\nRPRT 0\n", ""},
            {"+\\get_freq", "get_freq:\nFrequency: 7056250\nRPRT 0\n", ""},
            {"+F 7060000", "set_freq: 7060000\nRPRT 0\n", "tune 4000"},
            {"+F 99", "set_freq: 99\nRPRT -1\n", ""},
            {"+m", "get_mode:\nMode: CW\nPassband: 500\nRPRT 0\n", ""},
            {"+M USB 0", "set_mode: USB 0\nRPRT 0\n", "mode usb"},
            {"+v", "get_vfo:\nVFO: VFOA\nRPRT 0\n", ""},
            {"+s", "get_split_vfo:\nSplit: 0\nTX VFO: VFOA\nRPRT 0\n", ""},
            {"+t", "get_ptt:\nPTT: 0\nRPRT 0\n", ""},
            {"+T 1", "set_ptt: 1\nRPRT -11\n", ""},
            {"+l STRENGTH", "get_level: STRENGTH\n0\nRPRT 0\n", ""},
            {"+L AGC 0", "set_level: AGC 0\nRPRT 0\n", "agc off"},
            {"+\\get_powerstat", "get_powerstat:\nPower Status: 1\nRPRT 0\n", ""},
            {"+\\chk_vfo", "ChkVFO: 0\n", ""}, // no header, no RPRT
            {"+\\get_lock_mode", "get_lock_mode:\nLocked: 0\nRPRT 0\n", ""},
            {"+\\dump_state", "dump_state:\n" + DumpState(7056000) + "RPRT 0\n", ""},
            {";f", "get_freq:;Frequency: 7056250;RPRT 0\n", ""},
            {"|m", "get_mode:|Mode: CW|Passband: 500|RPRT 0\n", ""},
            {"+x", "RPRT -4\n", ""},
            {"+", "RPRT -4\n", ""},
        },
        Receiver());
}

TEST(RemoteProtocol, BadArgumentsUnknownCommandsAndEmptyLines) {
    Check(
        {
            // Every line that is not empty is answered.
            {"x", "RPRT -4\n", ""},
            {"\\halt", "RPRT -4\n", ""},
            {"\\dump_caps", "RPRT -4\n", ""},
            {"\\set_powerstat 0", "RPRT -4\n", ""},
            {"1", "RPRT -4\n", ""},
            {"w FA;", "RPRT -4\n", ""}, // no raw commands to a rig
            {"\\", "RPRT -4\n", ""},
            {std::string("\0f", 2), "RPRT -4\n", ""},
            {"\xff\xfe", "RPRT -4\n", ""},
            // Arguments missing, extra or not numbers.
            {"F", "RPRT -1\n", ""},
            {"F seven", "RPRT -1\n", ""},
            {"F 7060000 Hz", "RPRT -1\n", ""},
            {"F nan", "RPRT -1\n", ""},
            {"F inf", "RPRT -1\n", ""},
            {"F 1e400", "RPRT -1\n", ""},
            {"M", "RPRT -1\n", ""},
            {"M USB", "RPRT 0\n", "mode usb"}, // the width kept, as -1
            {"M USB 0 0", "RPRT -1\n", ""},
            {"V", "RPRT -1\n", ""},
            {"S", "RPRT -1\n", ""},
            {"S x VFOA", "RPRT -1\n", ""},
            {"T", "RPRT -1\n", ""},
            {"T on", "RPRT -1\n", ""},
            {"l", "RPRT -1\n", ""},
            {"L AGC", "RPRT -1\n", ""},
            {"f 1", "RPRT -1\n", ""},
            {"\\set_vfo_opt", "RPRT -1\n", ""},
            // Whitespace around a request, a CR before its newline, the value glued on.
            {"  f  ", "7056250\n", ""},
            {"f\r", "7056250\n", ""},
            {"F\t7060000\r", "RPRT 0\n", "tune 4000"},
            {"F7060000", "RPRT 0\n", "tune 4000"},
            // Empty lines are no requests: rigctld skips them, and so does this.
            {"", "", ""},
            {"\r", "", ""},
            {"   \t ", "", ""},
        },
        Receiver());
}

TEST(RemoteProtocol, QuitAnswersAndCloses) {
    for (const char* quit : {"q", "Q"}) {
        RemoteSession session;
        const RemoteAnswer answer = AnswerRemoteRequest(quit, Receiver(), session);
        EXPECT_EQ(answer.Reply, "RPRT 0\n");
        EXPECT_TRUE(answer.Close);
    }
}

TEST(RemoteProtocol, ReadsTheReceiversModeAgcAndDial) {
    RemoteState state = Receiver();
    RemoteSession session;
    const auto ask = [&](const char* request) {
        return AnswerRemoteRequest(request, state, session).Reply;
    };
    state.Mode = DemodMode::Cw100;
    EXPECT_EQ(ask("m"), "CW\n100\n");
    EXPECT_EQ(Did(AnswerRemoteRequest("M CW -1", state, session).Action), "mode cw100");
    state.Mode = DemodMode::Usb;
    EXPECT_EQ(ask("m"), "USB\n2700\n");
    EXPECT_EQ(Did(AnswerRemoteRequest("M CW -1", state, session).Action), "mode cw500");
    state.Mode = DemodMode::Lsb;
    EXPECT_EQ(ask("m"), "LSB\n2700\n");
    state.Agc = AgcChoice::Off;
    EXPECT_EQ(ask("l AGC"), "0\n");
    state.Agc = AgcChoice::Slow;
    EXPECT_EQ(ask("l AGC"), "3\n");
    state.LoHz = 14060000;
    state.OffsetHz = -1350;
    EXPECT_EQ(ask("f"), "14058650\n");
    EXPECT_EQ(Did(AnswerRemoteRequest("F 14074000", state, session).Action), "tune 14000");
    EXPECT_EQ(ask("F 7060000"), "RPRT -1\n");
}

TEST(RemoteProtocol, VfoModeTakesAVfoBeforeTheArguments) {
    RemoteState state = Receiver();
    RemoteSession session;
    const auto ask = [&](const char* request) {
        return AnswerRemoteRequest(request, state, session).Reply;
    };
    // Without it a VFO may still come first.
    EXPECT_EQ(ask("f VFOA"), "7056250\n");
    EXPECT_EQ(ask("F VFOA 7060000"), "RPRT 0\n");
    EXPECT_EQ(ask("F VFOB 7060000"), "RPRT -11\n");
    EXPECT_EQ(ask("\\set_vfo_opt 1"), "RPRT 0\n");
    EXPECT_TRUE(session.VfoOpt);
    EXPECT_EQ(ask("\\chk_vfo"), "1\n");
    EXPECT_EQ(ask("f currVFO"), "7056250\n");
    EXPECT_EQ(ask("m VFOA"), "CW\n500\n");
    EXPECT_EQ(ask("M VFOA USB 0"), "RPRT 0\n");
    EXPECT_EQ(ask("l VFOA STRENGTH"), "0\n");
    EXPECT_EQ(ask("f VFOB"), "RPRT -11\n");
    EXPECT_EQ(ask("f"), "RPRT -1\n");
    EXPECT_EQ(ask("+f VFOA"), "get_freq: VFOA\nFrequency: 7056250\nRPRT 0\n");
    EXPECT_EQ(ask("v"), "VFOA\n"); // get_vfo takes none
    EXPECT_EQ(ask("\\set_vfo_opt 0"), "RPRT 0\n");
    EXPECT_EQ(ask("f"), "7056250\n");
}

TEST(RemoteProtocol, StrengthFollowsTheMetersScale) {
    // The meter: level 0 at -140 dB, 1000 at 0 dB, a tick every 20 dB; S1 at the first tick,
    // S9 at the fifth, S9+20 and S9+40 above.
    EXPECT_EQ(StrengthDb(1000.0 / 7), -48); // S1
    EXPECT_EQ(StrengthDb(2000.0 / 7), -36); // S3
    EXPECT_EQ(StrengthDb(3000.0 / 7), -24); // S5
    EXPECT_EQ(StrengthDb(4000.0 / 7), -12); // S7
    EXPECT_EQ(StrengthDb(5000.0 / 7), 0);   // S9
    EXPECT_EQ(StrengthDb(6000.0 / 7), 20);  // S9+20
    EXPECT_EQ(StrengthDb(1000.0), 40);      // S9+40, full scale
    EXPECT_EQ(StrengthDb(5000.0), 40);      // pinned, as the needle
    EXPECT_EQ(StrengthDb(0.0), -60);        // at rest
    EXPECT_EQ(StrengthDb(-5.0), -60);
    EXPECT_EQ(StrengthDb(std::nan("")), 40);
    EXPECT_EQ(StrengthDb(5000.0 / 7 - 1000.0 / 14), -6); // S8: half a tick below S9
}

TEST(RemoteProtocol, DumpStateIsTheCapabilityBlockHamlibReads) {
    const std::string expected = "1\n2\n0\n"
                                 "7032200.000000 7079800.000000 0xc0e -1 -1 0x1 0x0\n"
                                 "0 0 0 0 0 0 0\n"
                                 "0 0 0 0 0 0 0\n"
                                 "0xc0e 10\n"
                                 "0 0\n"
                                 "0xc0c 2700\n"
                                 "0x2 500\n"
                                 "0x2 100\n"
                                 "0 0\n"
                                 "0\n0\n0\n0\n"
                                 "\n\n"
                                 "0x0\n0x0\n0x40020000\n0x20000\n0x0\n0x0\n"
                                 "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n"
                                 "has_set_vfo=0\nhas_get_vfo=1\nhas_set_freq=1\nhas_get_freq=1\n"
                                 "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\n"
                                 "has_mW2power=0\nhas_get_ant=0\nhas_set_ant=0\n"
                                 "timeout=0\nrig_model=2\ndone\n";
    EXPECT_EQ(DumpState(7056000), expected);
    EXPECT_NE(DumpState(14060000).find("14036200.000000 14083800.000000 0xc0e"), std::string::npos);
}

TEST(RemoteProtocol, RemoteAddressIsAPortAfterAnOptionalIpv4AddressOrLocalhost) {
    struct Case {
        const char* Text;
        const char* Endpoint; // nullptr: refused
        bool Named;
        bool Loopback;
    };
    const Case cases[] = {
        {"4532", "127.0.0.1:4532", false, true},
        {"1", "127.0.0.1:1", false, true},
        {"65535", "127.0.0.1:65535", false, true},
        {"127.0.0.1:4532", "127.0.0.1:4532", true, true},
        {"localhost:4533", "127.0.0.1:4533", true, true},
        {"0.0.0.0:4532", "0.0.0.0:4532", true, false},
        {"192.168.1.20:4532", "192.168.1.20:4532", true, false},
        {"127.1.2.3:80", "127.1.2.3:80", true, true},
        {"0", nullptr, false, false},
        {"65536", nullptr, false, false},
        {"", nullptr, false, false},
        {":4532", nullptr, false, false},
        {"4532:", nullptr, false, false},
        {"-1", nullptr, false, false},
        {"+4532", nullptr, false, false},
        {"4532 ", nullptr, false, false},
        {"45 32", nullptr, false, false},
        {"0x11b4", nullptr, false, false},
        {"port", nullptr, false, false},
        {"256.0.0.1:4532", nullptr, false, false},
        {"1.2.3:4532", nullptr, false, false},
        {"1.2.3.4.5:4532", nullptr, false, false},
        {"1..3.4:4532", nullptr, false, false},
        {"example.org:4532", nullptr, false, false},
        {"[::1]:4532", nullptr, false, false},
        {"::1:4532", nullptr, false, false},
        {"LOCALHOST:4532", nullptr, false, false},
        {"127.0.0.1:0", nullptr, false, false},
        {"127.0.0.1:99999", nullptr, false, false},
    };
    for (const Case& c : cases) {
        const std::optional<RemoteEndpoint> at = ParseRemoteEndpoint(c.Text);
        if (c.Endpoint == nullptr) {
            EXPECT_FALSE(at.has_value()) << c.Text;
            continue;
        }
        ASSERT_TRUE(at.has_value()) << c.Text;
        EXPECT_EQ(at->Text(), c.Endpoint) << c.Text;
        EXPECT_EQ(at->Named, c.Named) << c.Text;
        EXPECT_EQ(at->Loopback(), c.Loopback) << c.Text;
    }
    EXPECT_EQ(RemoteStartNotice(*ParseRemoteEndpoint("4532")), "");
    EXPECT_EQ(RemoteStartNotice(*ParseRemoteEndpoint("localhost:4532")),
              "remote control (Hamlib NET rigctl) listening on 127.0.0.1:4532");
    EXPECT_EQ(RemoteStartNotice(*ParseRemoteEndpoint("0.0.0.0:4532")).rfind("warning: ", 0), 0u);
}

} // namespace
} // namespace corvane::test
