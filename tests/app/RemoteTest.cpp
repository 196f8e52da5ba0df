// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The remote control on the real window (offscreen, on the virtual sound card): Hamlib's own
// client rigctl, raw sockets (unknown commands, a line of 1 MiB, binary garbage, a client gone
// mid-line, a ninth client), WSJT-X's start-up, and a load of 1000 requests a second while the
// receiver is on. Without rigctl its tests are skipped, unless CORVANE_REQUIRE_RIGCTL=1 (as in
// CI). CORVANE_REMOTE_LOAD_SECONDS sets the load test's length (4 s; 30 in the long test).
#include "EventWait.h"
#include "RemoteServer.h"
#include "WindowHarness.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace corvane::test {
namespace {

// A window as the other app tests make it, with the remote control on a free port.
struct RemoteReceiver : Receiver {
    explicit RemoteReceiver(double toneHz = 300.0, double amplitude = 3000.0)
        : Receiver(toneHz, amplitude) {
        RemoteEndpoint at;
        at.Port = 0; // the system's choice
        const std::string why = Window->StartRemote(at);
        EXPECT_EQ(why, "");
        Port = Window->Remote != nullptr ? Window->Remote->Port() : 0;
    }
    std::uint16_t Port = 0;
};

// Runs the event loop until `done` or `ms` have passed; whether it was done.
template <typename Done> bool PumpUntil(Done done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        RunEventsFor(2);
    }
    return true;
}

// A client on the UI thread's own event loop (the server answers while it waits).
class RawClient {
public:
    explicit RawClient(std::uint16_t port) {
        Socket.connectToHost(QHostAddress::LocalHost, port);
        PumpUntil([this] {
            return Socket.state() == QAbstractSocket::ConnectedState ||
                   Socket.state() == QAbstractSocket::UnconnectedState;
        });
    }
    bool Connected() const { return Socket.state() == QAbstractSocket::ConnectedState; }
    // Sends `request` and collects until `lines` newlines came back (or 5 s passed).
    std::string Ask(const std::string& request, int lines = 1) {
        Socket.write(request.data(), static_cast<qint64>(request.size()));
        return Collect(lines);
    }
    std::string Collect(int lines) {
        PumpUntil([&] {
            Got += Socket.readAll().toStdString();
            return std::count(Got.begin(), Got.end(), '\n') >= lines ||
                   Socket.state() == QAbstractSocket::UnconnectedState;
        });
        Got += Socket.readAll().toStdString();
        std::string all;
        all.swap(Got);
        return all;
    }
    bool WaitClosed(int ms = 5000) {
        return PumpUntil(
            [this] {
                Got += Socket.readAll().toStdString();
                return Socket.state() == QAbstractSocket::UnconnectedState;
            },
            ms);
    }
    QTcpSocket Socket;
    std::string Got;
};

// rigctl, Hamlib's own client (Debian's libhamlib-utils), or nothing.
QString RigctlPath() {
    return QStandardPaths::findExecutable(QStringLiteral("rigctl"));
}

bool SkipWithoutRigctl() {
    if (!RigctlPath().isEmpty()) {
        return false;
    }
    const char* required = std::getenv("CORVANE_REQUIRE_RIGCTL");
    if (required != nullptr && std::string(required) == "1") {
        ADD_FAILURE() << "rigctl is not installed (libhamlib-utils) and CORVANE_REQUIRE_RIGCTL=1";
    }
    return true;
}

struct RigctlRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// rigctl -m 2 (NET rigctl) against the window's server: a separate process that blocks on its
// socket, so the test keeps the event loop running while it works. `commands` go on its command
// line; `input`, when given, on its standard input (rigctl 4.5 reads long names such as
// \dump_state only there).
RigctlRun Rigctl(std::uint16_t port, const QStringList& commands, const QByteArray& input = {}) {
    QProcess rigctl;
    QStringList args{QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"),
                     QStringLiteral("127.0.0.1:%1").arg(port)};
    args << commands;
    rigctl.start(RigctlPath(), args);
    RigctlRun run;
    if (!rigctl.waitForStarted(5000)) {
        return run;
    }
    rigctl.write(input);
    rigctl.closeWriteChannel();
    PumpUntil([&] { return rigctl.state() == QProcess::NotRunning; }, 20000);
    if (rigctl.state() != QProcess::NotRunning) {
        rigctl.kill();
        rigctl.waitForFinished(1000);
        return run;
    }
    run.Exit = rigctl.exitStatus() == QProcess::NormalExit ? rigctl.exitCode() : -1;
    run.Out = rigctl.readAllStandardOutput().toStdString();
    run.Err = rigctl.readAllStandardError().toStdString();
    return run;
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Remote, WithoutRemoteNothingListens) {
    // A port known to be free a moment ago.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const std::uint16_t port = probe.serverPort();
    probe.close();

    Receiver rx;
    ASSERT_TRUE(rx.Load());
    EXPECT_EQ(rx.Window->Remote, nullptr);
    EXPECT_TRUE(rx.Window->findChildren<QTcpServer*>().isEmpty());
    RawClient client(port);
    EXPECT_FALSE(client.Connected());
}

TEST(Remote, APortInUseIsSaidAndNothingListens) {
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    Receiver rx;
    RemoteEndpoint at;
    at.Port = holder.serverPort();
    const std::string why = rx.Window->StartRemote(at);
    EXPECT_NE(why.find("cannot listen on 127.0.0.1:" + std::to_string(at.Port)), std::string::npos)
        << why;
    EXPECT_NE(why.find("in use"), std::string::npos) << why;
    EXPECT_EQ(rx.Window->Remote, nullptr);
}

TEST(Remote, RigctlTunesChangesModeAndAgcAndTheWindowFollows) {
    if (SkipWithoutRigctl()) {
        GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
    }
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    ASSERT_NE(rx.Port, 0);

    // Start-up: CW 500 at +250 Hz.
    RigctlRun run = Rigctl(rx.Port, {QStringLiteral("f")});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "7056250\n");

    run = Rigctl(rx.Port, {QStringLiteral("F"), QStringLiteral("7060000")});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(w.Slider1->value(), 4000);
    EXPECT_EQ(Readout(w), "07.060.00");
    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("f")}).Out, "7060000\n");
    // Snapped to 10 Hz by the tuning routine, as a click is.
    Rigctl(rx.Port, {QStringLiteral("F"), QStringLiteral("7061234.9")});
    EXPECT_EQ(w.Slider1->value(), 5230);
    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("f")}).Out, "7061230\n");
    // Outside the band: refused, nothing moves.
    run = Rigctl(rx.Port, {QStringLiteral("F"), QStringLiteral("7100000")});
    EXPECT_NE(run.Out + run.Err, "");
    EXPECT_EQ(w.Slider1->value(), 5230);

    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("m")}).Out, "CW\n500\n");
    const struct {
        const char* Mode;
        const char* Width;
        QPushButton* frmReceiver::*Button;
        const char* Reads;
    } modes[] = {
        {"USB", "0", &frmReceiver::OptUsb, "USB\n2700\n"},
        {"LSB", "0", &frmReceiver::OptLsb, "LSB\n2700\n"},
        {"CW", "500", &frmReceiver::OptCW500, "CW\n500\n"},
        {"CW", "100", &frmReceiver::OptCW100, "CW\n100\n"},
        {"PKTUSB", "0", &frmReceiver::OptUsb, "USB\n2700\n"},
    };
    for (const auto& mode : modes) {
        const int runs = w.ModeHandlerRuns;
        run = Rigctl(rx.Port, {QStringLiteral("M"), QString::fromLatin1(mode.Mode),
                               QString::fromLatin1(mode.Width)});
        EXPECT_EQ(run.Exit, 0) << run.Err;
        EXPECT_TRUE((w.*mode.Button)->isChecked()) << mode.Mode << " " << mode.Width;
        EXPECT_GT(w.ModeHandlerRuns, runs) << mode.Mode << " " << mode.Width;
        EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("m")}).Out, mode.Reads);
    }
    EXPECT_EQ(w.Settings.Mode, DemodMode::Usb);

    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("l"), QStringLiteral("AGC")}).Out, "2\n");
    Rigctl(rx.Port, {QStringLiteral("L"), QStringLiteral("AGC"), QStringLiteral("3")});
    EXPECT_TRUE(w.OptAgcSlow->isChecked());
    EXPECT_EQ(w.Dsp->AgcLength, 9);
    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("l"), QStringLiteral("AGC")}).Out, "3\n");
    Rigctl(rx.Port, {QStringLiteral("L"), QStringLiteral("AGC"), QStringLiteral("0")});
    EXPECT_TRUE(w.OptAgcOff->isChecked());
    EXPECT_EQ(w.Dsp->AgcOn, 0);
    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("l"), QStringLiteral("AGC")}).Out, "0\n");
    Rigctl(rx.Port, {QStringLiteral("L"), QStringLiteral("AGC"), QStringLiteral("2")});
    EXPECT_TRUE(w.OptAgcFast->isChecked());

    // Every rigctl said goodbye (q) and was let go.
    EXPECT_TRUE(PumpUntil([&] { return w.Remote->Clients() == 0; }));
}

TEST(Remote, RigctlReadsTheSmeterAndTheCapabilities) {
    if (SkipWithoutRigctl()) {
        GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
    }
    RemoteReceiver rx(1500.0, 2000.0); // a tone in the band
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    rx.WaitForDisplays();
    Click(w.cmdOn);
    w.TuneTo(1500);
    for (int k = 0; k < 30; ++k) {
        rx.Block();
    }
    Click(w.cmdOff);
    const std::string strength = std::to_string(StrengthDb(w.Dsp->SmeterLevel)) + "\n";
    EXPECT_GT(w.Dsp->SmeterLevel, 0.0);
    EXPECT_EQ(Rigctl(rx.Port, {QStringLiteral("l"), QStringLiteral("STRENGTH")}).Out, strength);

    // Long names and the extended form through rigctl's input; its \dump_state shows the
    // capabilities as Hamlib's netrigctl_open read them from ours.
    const RigctlRun run =
        Rigctl(rx.Port, {}, QByteArrayLiteral("\\dump_state\n\\chk_vfo\n+f\n\\get_powerstat\n"));
    EXPECT_EQ(run.Exit, 0) << run.Err;
    for (const char* expected :
         {"7032200.000000 7079800.000000 0xc0e -1 -1 0x1 0x0\n", "0xc0e 10\n", "0xc0c 2700\n",
          "0x2 500\n", "0x2 100\n", "0x40020000\n0x20000\n", "ChkVFO: 0", "Frequency: 7057500",
          "Power Status: 1"}) {
        EXPECT_NE(run.Out.find(expected), std::string::npos) << expected << " in\n" << run.Out;
    }
}

TEST(Remote, RawClientsGetAnAnswerToEveryLine) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    RawClient client(rx.Port);
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Ask("f\n"), "7056250\n");
    EXPECT_EQ(client.Ask("f\r\n"), "7056250\n");
    EXPECT_EQ(client.Ask("x\n"), "RPRT -4\n");
    EXPECT_EQ(client.Ask("\\frobnicate 1 2\n"), "RPRT -4\n");
    EXPECT_EQ(client.Ask("+f\n", 3), "get_freq:\nFrequency: 7056250\nRPRT 0\n");
    // Several requests in one packet, answered in order; the empty line is no request.
    EXPECT_EQ(client.Ask("v\n\nt\nm\n", 4), "VFOA\n0\nCW\n500\n");
    // One request in pieces.
    client.Socket.write("F 70");
    RunEventsFor(20);
    EXPECT_EQ(client.Ask("60000\n"), "RPRT 0\n");
    EXPECT_EQ(Readout(*rx.Window), "07.060.00");
    EXPECT_EQ(client.Ask("\\dump_state\n", LineCount(DumpState(7056000))), DumpState(7056000));
    EXPECT_EQ(client.Ask("q\n"), "RPRT 0\n");
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(rx.Window->Remote->Requests, 11u);
}

TEST(Remote, ALineOfAMebibyteIsRefusedWithoutBeingKept) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    RawClient client(rx.Port);
    ASSERT_TRUE(client.Connected());
    const std::string huge(1 << 20, 'F');
    client.Socket.write(huge.data(), static_cast<qint64>(huge.size()));
    // Answered once when it passes 1 KiB, then dropped up to its newline.
    EXPECT_EQ(client.Ask("\nf\n", 2), "RPRT -1\n7056250\n");
    EXPECT_EQ(rx.Window->Remote->TooLong, 1u);
    EXPECT_LE(rx.Window->Remote->PeakHeld, RemoteMaxLine + 4096);
    // A line of exactly 1 KiB is still a request.
    EXPECT_EQ(client.Ask("f" + std::string(RemoteMaxLine - 1, ' ') + "\n"), "7056250\n");
    EXPECT_EQ(client.Ask(std::string(RemoteMaxLine + 1, ' ') + "f\n"), "RPRT -1\n");
    EXPECT_EQ(rx.Window->Remote->TooLong, 2u);
    EXPECT_EQ(client.Ask("m\n", 2), "CW\n500\n");
}

TEST(Remote, BinaryGarbageIsAnsweredLineByLineAndHarmsNothing) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    RawClient client(rx.Port);
    ASSERT_TRUE(client.Connected());
    std::mt19937 random(7);
    std::string garbage;
    const int lines = 200;
    for (int k = 0; k < lines; ++k) {
        // Each line starts with a byte no command starts with; the rest is anything but '\n'.
        garbage.push_back(static_cast<char>(0x80 + random() % 0x80));
        const std::size_t length = random() % 300;
        for (std::size_t j = 0; j < length; ++j) {
            char c = static_cast<char>(random() % 256);
            garbage.push_back(c == '\n' ? '\0' : c);
        }
        garbage.push_back('\n');
    }
    std::string expected;
    for (int k = 0; k < lines; ++k) {
        expected += "RPRT -4\n";
    }
    EXPECT_EQ(client.Ask(garbage, lines), expected);
    EXPECT_EQ(client.Ask("f\n"), "7056250\n");
    EXPECT_EQ(rx.Window->Slider1->value(), 250);
    EXPECT_TRUE(rx.Window->OptCW500->isChecked());
}

TEST(Remote, AClientThatDoesNotReadHoldsUpOnlyItself) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    RawClient greedy(rx.Port);
    ASSERT_TRUE(greedy.Connected());
    greedy.Socket.setReadBufferSize(4096); // and reads nothing for now
    std::string requests;
    const int count = 40000; // about 23 MB of replies: more than the system buffers
    for (int k = 0; k < count; ++k) {
        requests += "\\dump_state\n";
    }
    greedy.Socket.write(requests.data(), static_cast<qint64>(requests.size()));
    RunEventsFor(300);
    // The others are served meanwhile, and at once.
    RawClient other(rx.Port);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(other.Ask("f\n"), "7056250\n");
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_LT(rx.Window->Remote->Requests, static_cast<std::uint64_t>(count));
    // Once it reads, every request is answered.
    greedy.Socket.setReadBufferSize(0);
    const std::string replies = greedy.Collect(count * LineCount(DumpState(7056000)));
    std::size_t done = 0;
    for (std::size_t at = replies.find("done\n"); at != std::string::npos;
         at = replies.find("done\n", at + 1)) {
        ++done;
    }
    EXPECT_EQ(done, static_cast<std::size_t>(count));
}

TEST(Remote, AClientGoneMidLineIsForgotten) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    {
        RawClient client(rx.Port);
        ASSERT_TRUE(client.Connected());
        EXPECT_EQ(client.Ask("f\n"), "7056250\n");
        client.Socket.write("F 7060");
        RunEventsFor(20);
        client.Socket.abort();
    }
    EXPECT_TRUE(PumpUntil([&] { return rx.Window->Remote->Clients() == 0; }));
    EXPECT_EQ(rx.Window->Slider1->value(), 250); // the half request did nothing
    RawClient next(rx.Port);
    EXPECT_EQ(next.Ask("f\n"), "7056250\n");
}

TEST(Remote, ANinthClientIsToldAndClosed) {
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int k = 0; k < RemoteMaxClients; ++k) {
        clients.push_back(std::make_unique<RawClient>(rx.Port));
        ASSERT_TRUE(clients.back()->Connected());
        EXPECT_EQ(clients.back()->Ask("f\n"), "7056250\n") << "client " << k + 1;
    }
    EXPECT_EQ(rx.Window->Remote->Clients(), RemoteMaxClients);
    RawClient ninth(rx.Port);
    EXPECT_TRUE(ninth.WaitClosed());
    EXPECT_EQ(ninth.Got, "RPRT -11 Corvane serves at most 8 remote clients at once: closing\n");
    EXPECT_EQ(rx.Window->Remote->Refused, 1u);
    // The eight are served on; when one leaves, a newcomer is.
    for (auto& client : clients) {
        EXPECT_EQ(client->Ask("t\n"), "0\n");
    }
    EXPECT_EQ(clients.front()->Ask("q\n"), "RPRT 0\n");
    EXPECT_TRUE(clients.front()->WaitClosed());
    EXPECT_TRUE(PumpUntil([&] { return rx.Window->Remote->Clients() == RemoteMaxClients - 1; }));
    RawClient newcomer(rx.Port);
    EXPECT_EQ(newcomer.Ask("v\n"), "VFOA\n");
}

TEST(Remote, WsjtxStartUpAndPolling) {
    // What WSJT-X (through Hamlib's NET rigctl) sends at start, its resolution probe, and its
    // polls: every reply in order, each in one piece.
    RemoteReceiver rx;
    ASSERT_TRUE(rx.Load());
    RawClient client(rx.Port);
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Ask("\\chk_vfo\n"), "0\n");
    EXPECT_EQ(client.Ask("\\dump_state\n", LineCount(DumpState(7056000))), DumpState(7056000));
    EXPECT_EQ(client.Ask("v\n"), "VFOA\n");
    EXPECT_EQ(client.Ask("f\n"), "7056250\n");
    EXPECT_EQ(client.Ask("s\n", 2), "0\nVFOA\n");
    EXPECT_EQ(client.Ask("m\n", 2), "CW\n500\n");
    EXPECT_EQ(client.Ask("M PKTUSB -1\n"), "RPRT 0\n");
    EXPECT_EQ(client.Ask("F 7074055.000000\n"), "RPRT 0\n");
    EXPECT_EQ(client.Ask("f\n"), "7074050\n");
    EXPECT_EQ(client.Ask("F 7074051.000000\n"), "RPRT 0\n");
    EXPECT_EQ(client.Ask("f\n"), "7074050\n");
    EXPECT_EQ(client.Ask("F 7074000.000000\n"), "RPRT 0\n");
    for (int poll = 0; poll < 5; ++poll) {
        EXPECT_EQ(client.Ask("v\ns\nf\nm\n", 6), "VFOA\n0\nVFOA\n7074000\nUSB\n2700\n");
    }
    EXPECT_EQ(Readout(*rx.Window), "07.074.00");
    EXPECT_TRUE(rx.Window->OptUsb->isChecked());
}

// ------------------------------------------------------------------------------------------
// Load: clients on threads of their own with blocking sockets, the receiver on the real-time
// virtual card on this thread.

struct LoadClient {
    std::atomic<std::int64_t> Sent{0};
    std::atomic<std::int64_t> Answered{0};
    std::atomic<std::int64_t> Wrong{0};
    std::atomic<std::int64_t> WorstMicroseconds{0};
    std::string FirstWrong;
};

// One client: `rate` requests a second for `seconds`, each waiting for its reply. Mostly
// polls, a tuning every 20th request.
void RunLoadClient(std::uint16_t port, double rate, double seconds, int index, LoadClient& out) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        out.Wrong = -1;
        return;
    }
    struct Request {
        std::string Line;
        int Lines;
    };
    const std::vector<Request> polls{{"f\n", 1}, {"m\n", 2}, {"l STRENGTH\n", 1},
                                     {"v\n", 1}, {"s\n", 2}, {"t\n", 1}};
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto period = std::chrono::duration<double>(1.0 / rate);
    const auto total = static_cast<std::int64_t>(rate * seconds);
    std::string pending;
    for (std::int64_t k = 0; k < total; ++k) {
        std::this_thread::sleep_until(start +
                                      std::chrono::duration_cast<Clock::duration>(k * period));
        Request request = polls[static_cast<std::size_t>(k) % polls.size()];
        if (k % 20 == 19) {
            request = {"F " + std::to_string(7056000 + 1000 * index + 10 * (k % 50)) + "\n", 1};
        }
        const auto asked = Clock::now();
        if (::send(fd, request.Line.data(), request.Line.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.Line.size())) {
            break;
        }
        ++out.Sent;
        std::string reply;
        bool ok = true;
        while (std::count(reply.begin(), reply.end(), '\n') < request.Lines) {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ok = false;
                break;
            }
            reply.append(buffer, static_cast<std::size_t>(n));
        }
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked).count();
        out.WorstMicroseconds = std::max<std::int64_t>(out.WorstMicroseconds, us);
        if (!ok) {
            break;
        }
        ++out.Answered;
        if (reply.rfind("RPRT -", 0) == 0) {
            if (out.Wrong++ == 0) {
                out.FirstWrong = request.Line + " -> " + reply;
            }
        }
    }
    ::send(fd, "q\n", 2, MSG_NOSIGNAL);
    ::close(fd);
}

TEST(RemoteLoad, FourClientsAtAThousandRequestsASecondWhileTheReceiverIsOn) {
    double seconds = 4.0;
    if (const char* env = std::getenv("CORVANE_REMOTE_LOAD_SECONDS")) {
        seconds = std::max(1.0, std::atof(env));
    }
    ToneSource source(1500.0, 2000.0);
    CountingSink sink;
    VirtualSoundCard card(source, sink, {CardClock::RealTime, 256, 256});
    frmReceiver window(card);
    ASSERT_TRUE(window.Form_Load());
    window.show();
    RemoteEndpoint at;
    at.Port = 0;
    ASSERT_EQ(window.StartRemote(at), "");
    const std::uint16_t port = window.Remote->Port();
    Click(window.OptUsb);
    Click(window.cmdOn);
    RunEventsFor(600); // the warm-up

    const std::uint64_t handledBefore = card.Notifications().Handled();
    constexpr int clientCount = 4;
    std::vector<LoadClient> clients(clientCount);
    std::vector<std::thread> threads;
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < clientCount; ++k) {
        threads.emplace_back(RunLoadClient, port, 1000.0 / clientCount, seconds, k,
                             std::ref(clients[static_cast<std::size_t>(k)]));
    }
    std::atomic<int> finished{0};
    std::thread watcher([&] {
        for (auto& t : threads) {
            t.join();
        }
        finished = 1;
    });
    while (finished == 0) {
        RunEventsFor(5);
    }
    watcher.join();
    const double elapsed = static_cast<double>(timer.elapsed()) / 1000.0;
    const std::uint64_t handled = card.Notifications().Handled() - handledBefore;
    Click(window.cmdOff);

    std::int64_t sent = 0;
    std::int64_t answered = 0;
    std::int64_t worst = 0;
    for (const LoadClient& c : clients) {
        EXPECT_EQ(c.Wrong.load(), 0) << c.FirstWrong;
        sent += c.Sent;
        answered += c.Answered;
        worst = std::max<std::int64_t>(worst, c.WorstMicroseconds);
    }
    const SoundCounters counters = window.Exchange->Counters();
    const double blocksDue = elapsed * 48000.0 / 2048.0;
    std::printf("remote load: %.1f s, %lld requests (%.0f/s), all answered: %s, worst reply "
                "%.1f ms; blocks handled %llu of %.0f due; lost %llu merged %llu dropped %llu "
                "restarts %llu stalled %llu\n",
                elapsed, static_cast<long long>(sent), static_cast<double>(sent) / elapsed,
                sent == answered ? "yes" : "NO", static_cast<double>(worst) / 1000.0,
                static_cast<unsigned long long>(handled), blocksDue,
                static_cast<unsigned long long>(counters.CaptureOverruns),
                static_cast<unsigned long long>(counters.MergedNotifications),
                static_cast<unsigned long long>(counters.DroppedNotifications),
                static_cast<unsigned long long>(window.Exchange->PlaybackRestarts()),
                static_cast<unsigned long long>(window.Exchange->StalledBlocks()));
    EXPECT_EQ(answered, sent); // no request unanswered
    EXPECT_GE(static_cast<double>(sent), 0.9 * 1000.0 * seconds);
    // Every block processed: none overwritten, merged or dropped, no restart, no stall, and
    // blocks came at the card's pace.
    EXPECT_EQ(counters.CaptureOverruns, 0u);
    EXPECT_EQ(counters.MergedNotifications, 0u);
    EXPECT_EQ(counters.DroppedNotifications, 0u);
    EXPECT_EQ(card.Notifications().Dropped(), 0u);
    EXPECT_EQ(window.Exchange->PlaybackRestarts(), 0u);
    EXPECT_EQ(window.Exchange->StalledBlocks(), 0u);
    EXPECT_GE(static_cast<double>(handled), 0.9 * blocksDue);
    EXPECT_GE(window.Remote->Requests, static_cast<std::uint64_t>(sent));
}

} // namespace
} // namespace corvane::test
