// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The sound server dies or hangs while the receiver is on: a real private server (the kind
// scripts/sound-server.sh picks, or CORVANE_SOUND_SERVER) is killed with SIGKILL, ended with
// SIGTERM or stopped with SIGSTOP for 2 s while blocks flow. A killed or ended server must be
// reported and the exchange off within one second, without ever waiting on the server, and ON
// must work again once the server is back; a stopped one must show as missing input within a
// second and heal by itself within a second of going on: ten rounds in a row.
#include "BlockExchange.h"
#include "EventWait.h"
#include "PortAudioSound.h"
#include "PulseAudioSound.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane {
namespace {

// A private sound server in a folder of its own; its environment is this process's.
class PrivateServer {
public:
    PrivateServer() {
        char folder[] = "/tmp/corvane-restart-XXXXXX";
        Dir_ = mkdtemp(folder) != nullptr ? folder : "";
        const char* kind = std::getenv("CORVANE_SOUND_SERVER");
        Kind_ = kind != nullptr && *kind != '\0' ? kind : "auto";
    }
    ~PrivateServer() {
        if (!Dir_.empty()) {
            Run("stop");
            const std::string remove = "rm -rf '" + Dir_ + "'";
            [[maybe_unused]] const int ignored = std::system(remove.c_str());
        }
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // Starts the server and takes its environment; false when it did not start.
    bool Start() {
        const std::string out = Run("start");
        std::istringstream lines(out);
        std::string line;
        int taken = 0;
        while (std::getline(lines, line)) {
            const std::string prefix = "export ";
            const std::size_t eq = line.find('=');
            if (line.rfind(prefix, 0) != 0 || eq == std::string::npos) {
                continue;
            }
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
                value = value.substr(1, value.size() - 2);
            }
            setenv(line.substr(prefix.size(), eq - prefix.size()).c_str(), value.c_str(), 1);
            ++taken;
        }
        return taken >= 3 && PulseAudioSound::ServerReachable(3000);
    }

    // Sends a signal to every process of the server.
    void Signal(int sig) const {
        std::ifstream pids(Dir_ + "/pids");
        long pid = 0;
        std::string rest;
        while (pids >> pid && std::getline(pids, rest)) {
            if (pid > 1) {
                kill(static_cast<pid_t>(pid), sig);
            }
        }
    }

    const std::string& Kind() const { return Kind_; }

private:
    std::string Run(const std::string& action) const {
        const std::string command = "CORVANE_SOUND_DIR='" + Dir_ + "' bash '" +
                                    CORVANE_SOUND_SERVER_SCRIPT + "' " + Kind_ + " " + action +
                                    " 2>/dev/null";
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r"); pipe != nullptr) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                out += buffer;
            }
            pclose(pipe);
        }
        return out;
    }

    std::string Dir_;
    std::string Kind_;
};

class CountingClient final : public ExchangeClient {
public:
    void ProcessBlock(std::span<const std::int16_t>, std::span<std::int16_t> OutBlock) override {
        std::fill(OutBlock.begin(), OutBlock.end(), std::int16_t{0});
        ++Blocks;
    }
    void DoEvents() override { QCoreApplication::processEvents(); }
    void ShowRunTime(double) override {}
    void SoundFailed(const SoundStatus& status) override { Failures.push_back(status); }
    void ShowInputState(InputState state) override { Input = state; }

    std::int64_t Blocks = 0;
    std::vector<SoundStatus> Failures;
    InputState Input = InputState::Flowing;
};

// Runs the event loop until done() or the time is up; returns the milliseconds it took.
template <typename Done> qint64 RunUntil(Done done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        test::RunEventsFor(5);
    }
    return timer.elapsed();
}

TEST(ServerRestart, FailureIsReportedWithinASecondAndOnWorksAgainTenTimes) {
    PrivateServer server;
    if (!server.Start()) {
        const char* required = std::getenv("CORVANE_REQUIRE_SOUND");
        if (required == nullptr || std::string(required) != "1") {
            GTEST_SKIP() << "no " << server.Kind() << " server could be started here";
        }
        FAIL() << "the private " << server.Kind() << " server did not start";
    }
    PulseAudioSound sound;
    CountingClient client;
    BlockExchange exchange(sound, client);
    ASSERT_TRUE(exchange.CreateDevices().Ok());
    ASSERT_TRUE(exchange.SetEvents().Ok());

    const int faults[] = {SIGKILL, SIGTERM, SIGSTOP};
    for (int round = 0; round < 10; ++round) {
        const int fault = faults[round % 3];
        SCOPED_TRACE("round " + std::to_string(round) + ", signal " + std::to_string(fault));
        client.Failures.clear();

        // ON: the call only asks; blocks must flow within a few seconds.
        QElapsedTimer call;
        call.start();
        const SoundStatus on = exchange.StartCapture();
        EXPECT_LT(call.elapsed(), 300) << "ON waited on the sound server";
        ASSERT_TRUE(on.Ok()) << on.Message;
        const std::int64_t before = client.Blocks;
        RunUntil([&] { return client.Blocks >= before + 25 || !client.Failures.empty(); }, 10000);
        ASSERT_TRUE(client.Failures.empty()) << client.Failures[0].Message;
        ASSERT_GE(client.Blocks, before + 25) << "no blocks after ON";

        if (fault == SIGSTOP) {
            // Stopped for 2 s: the input is missing within a second, the receiver stays on,
            // and reception goes on by itself within a second of the server continuing.
            server.Signal(SIGSTOP);
            const qint64 missing =
                RunUntil([&] { return client.Input == InputState::Missing; }, 2000);
            EXPECT_EQ(client.Input, InputState::Missing);
            EXPECT_LE(missing, 1000) << "missing input shown after " << missing << " ms";
            RunUntil([] { return false; }, static_cast<int>(2000 - missing));
            server.Signal(SIGCONT);
            const std::int64_t stopped = client.Blocks;
            const qint64 back = RunUntil(
                [&] { return client.Input == InputState::Flowing && client.Blocks >= stopped + 5; },
                5000);
            EXPECT_TRUE(client.Failures.empty()) << client.Failures[0].Message;
            EXPECT_TRUE(exchange.Capturing());
            EXPECT_EQ(client.Input, InputState::Flowing);
            EXPECT_LE(back, 1000) << "reception went on " << back << " ms after SIGCONT";
            EXPECT_GT(exchange.StalledBlocks(), 0u);
            std::printf("round %d: stopped 2 s: missing after %lld ms, back %lld ms after "
                        "SIGCONT, %llu blocks counted lost\n",
                        round, static_cast<long long>(missing), static_cast<long long>(back),
                        static_cast<unsigned long long>(exchange.StalledBlocks()));
            std::fflush(stdout);
            [[maybe_unused]] const SoundStatus off = exchange.StopBuffers();
            continue;
        }
        server.Signal(fault);
        const qint64 took = RunUntil([&] { return !client.Failures.empty(); }, 5000);
        ASSERT_EQ(client.Failures.size(), 1u) << "no failure reported in 5 s";
        EXPECT_LE(took, 1000) << "failure reported after " << took << " ms";
        EXPECT_FALSE(exchange.Capturing());
        EXPECT_EQ(client.Failures[0].Failed, SoundOp::Stream);
        std::printf("round %d: signal %d reported after %lld ms: %s\n", round, fault,
                    static_cast<long long>(took), client.Failures[0].Message.c_str());
        std::fflush(stdout);
        ASSERT_TRUE(server.Start()) << "the server did not come back";
    }
    [[maybe_unused]] const SoundStatus off = exchange.StopBuffers();
    exchange.Release();
}

// The program picks its back end by what a short connection finds: a stopped server (its socket
// takes the connection, nothing answers) must be told from one that is not there, for the
// other back end's route to it, ALSA's pulse plug-in, would wait on it without end.
TEST(ServerRestart, AStoppedServerIsToldFromOneThatIsNotThere) {
    PrivateServer server;
    if (!server.Start()) {
        GTEST_SKIP() << "no " << server.Kind() << " server could be started here";
    }
    using Answer = PulseAudioSound::ServerAnswer;
    EXPECT_EQ(PulseAudioSound::ProbeServer(2000), Answer::Answers);
    server.Signal(SIGSTOP);
    QElapsedTimer probe;
    probe.start();
    EXPECT_EQ(PulseAudioSound::ProbeServer(500), Answer::Silent);
    EXPECT_LT(probe.elapsed(), 1500) << "the probe waited on the stopped server";
    server.Signal(SIGCONT);
    EXPECT_EQ(PulseAudioSound::ProbeServer(2000), Answer::Answers);
    server.Signal(SIGKILL);
    // Gone: its socket refuses (or is removed) once the processes have ended.
    RunUntil([] { return PulseAudioSound::ProbeServer(500) == Answer::Absent; }, 3000);
    EXPECT_EQ(PulseAudioSound::ProbeServer(500), Answer::Absent);
    EXPECT_FALSE(PulseAudioSound::ServerReachable(500));
}

// PortAudio reaches the server through ALSA's pulse plug-in, whose stream thread can get stuck
// in a server that stopped answering. The stall is reported within a second, and neither OFF
// nor a later ON waits on the stuck stream: it is abandoned, and ON says so or works.
TEST(ServerRestart, PortAudioOnAStoppedServerIsReportedAndNeverWaitedFor) {
    PrivateServer server;
    if (!server.Start()) {
        GTEST_SKIP() << "no " << server.Kind() << " server could be started here";
    }
    PortAudioSound sound;
    CountingClient client;
    BlockExchange exchange(sound, client);
    ASSERT_TRUE(exchange.CreateDevices().Ok());
    ASSERT_TRUE(exchange.SetEvents().Ok());
    ASSERT_TRUE(exchange.StartCapture().Ok());
    RunUntil([&] { return client.Blocks >= 25 || !client.Failures.empty(); }, 10000);
    if (client.Blocks < 25) {
        // The pulse plug-in route sometimes fails to start at all (PortAudio's poll errors):
        // the fault this back end is kept out of server desktops for. Nothing to stop then.
        [[maybe_unused]] const SoundStatus off = exchange.StopBuffers();
        GTEST_SKIP() << "PortAudio's stream through the pulse plug-in did not start";
    }

    server.Signal(SIGSTOP);
    const qint64 missing = RunUntil([&] { return client.Input == InputState::Missing; }, 2000);
    EXPECT_LE(missing, 1000);
    const qint64 took =
        RunUntil([&] { return !client.Failures.empty(); }, BlockExchange::StallFailMs + 5000);
    server.Signal(SIGCONT);
    ASSERT_EQ(client.Failures.size(), 1u);
    EXPECT_LE(took, BlockExchange::StallFailMs + 1000) << client.Failures[0].Message;
    EXPECT_FALSE(exchange.Capturing());
    std::printf("portaudio: stopped server reported after %lld ms: %s\n",
                static_cast<long long>(took), client.Failures[0].Message.c_str());

    QElapsedTimer call;
    call.start();
    const SoundStatus on = exchange.StartCapture();
    EXPECT_LT(call.elapsed(), 3500) << "ON waited on a stuck stream";
    std::printf("portaudio: ON again after %lld ms: %s\n", static_cast<long long>(call.elapsed()),
                on.Ok() ? "running" : on.Message.c_str());
    std::fflush(stdout);
    [[maybe_unused]] const SoundStatus off = exchange.StopBuffers();
}

} // namespace
} // namespace corvane
