// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The live sound paths for real, against the private sound server that scripts/sound-server.sh
// starts (PulseAudio, or PipeWire with its PulseAudio server), whose default sink is a null
// sink and whose default source is that sink's monitor, so whatever the receiver plays comes
// back as capture: directly through the server's client library, and through PortAudio on
// ALSA's default device (routed to the server by the pulse plug-in). The tests play a known
// signal through the block exchange and find it, intact and in order, in what they capture.
//
// Without a sound server the test is skipped, unless CORVANE_REQUIRE_SOUND=1 (as in CI).
#include "BlockExchange.h"
#include "EventWait.h"
#include "PortAudioSound.h"
#include "PulseAudioSound.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

namespace corvane {
namespace {

bool SoundRequired() {
    const char* env = std::getenv("CORVANE_REQUIRE_SOUND");
    return env != nullptr && std::strcmp(env, "1") == 0;
}

// Frame m of the played signal: a scrambled counter, so that any lost, repeated or shifted
// stretch shows. Left and right differ, so a channel swap shows too.
std::int16_t Left(std::int64_t m) {
    const auto h = static_cast<std::uint32_t>(m + 1) * 2654435761u;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(h >> 18) - 8192);
}
std::int16_t Right(std::int64_t m) {
    return static_cast<std::int16_t>(-Left(m) / 2 + 7);
}

// Plays the signal block after block and keeps every block it is handed.
class LoopClient final : public ExchangeClient {
public:
    void ProcessBlock(std::span<const std::int16_t> InBlock,
                      std::span<std::int16_t> OutBlock) override {
        Captured.insert(Captured.end(), InBlock.begin(), InBlock.end());
        Times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
        for (std::int64_t j = 0; j < 2048; ++j) {
            const std::int64_t m = Played * 2048 + j;
            OutBlock[2 * j] = Left(m);
            OutBlock[2 * j + 1] = Right(m);
        }
        ++Played;
    }
    void DoEvents() override { QCoreApplication::processEvents(); }
    void ShowRunTime(double) override {}
    void SoundFailed(const SoundStatus& status) override { Failures.push_back(status); }

    std::vector<std::int16_t> Captured; // every processed capture block, in order
    std::vector<double> Times;          // when each was processed (steady clock, seconds)
    std::int64_t Played = 0;            // blocks of the signal handed to playback
    std::vector<SoundStatus> Failures;
};

// One ON..OFF run of `blocks` blocks. Returns what went wrong, or an empty string.
template <typename Sound>
std::string PlayAndCompare(const char* label, Sound& sound, BlockExchange& exchange,
                           LoopClient& client, std::int64_t blocks) {
    client.Captured.clear();
    client.Times.clear();
    client.Played = 0;
    client.Failures.clear();
    if (SoundStatus st = exchange.StartCapture(); !st.Ok()) {
        return st.Message;
    }
    QElapsedTimer timer;
    timer.start();
    while (client.Played < blocks && client.Failures.empty() && timer.elapsed() < 30000) {
        test::RunEventsFor(20);
    }
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    const SoundStatus stopped = exchange.StopBuffers();
    const SoundCounters counters = sound.Counters();
    std::printf("%s: %s; latency out %.1f ms; %lld blocks in %.2f s; overruns %llu, merged "
                "%llu, dropped %llu, xruns %llu, restarts %llu\n",
                label, sound.DeviceNames().c_str(), sound.OutputLatencySeconds() * 1000,
                static_cast<long long>(client.Played), seconds,
                static_cast<unsigned long long>(counters.CaptureOverruns),
                static_cast<unsigned long long>(counters.MergedNotifications),
                static_cast<unsigned long long>(counters.DroppedNotifications),
                static_cast<unsigned long long>(counters.DeviceXruns),
                static_cast<unsigned long long>(exchange.PlaybackRestarts()));
    std::fflush(stdout);
    if (!client.Failures.empty()) {
        return client.Failures[0].Message;
    }
    if (!stopped.Ok()) {
        return stopped.Message;
    }
    if (client.Played != blocks) {
        return "too few blocks in 30 s";
    }
    // One block per 42.67 ms: real time, not faster.
    if (seconds < static_cast<double>(blocks) * 2048.0 / 48000 * 0.9) {
        return "blocks came faster than the device clock";
    }

    // Find the start of the signal in the capture, then compare frame by frame. A server's
    // first request after playback starts may come a cycle late (PipeWire's is a block), and
    // what it takes more than half a block late goes unplayed as on a card started late, so
    // the signal may begin anywhere in its first block.
    const std::vector<std::int16_t>& c = client.Captured;
    const std::int64_t frames = static_cast<std::int64_t>(c.size()) / 2;
    const auto key = [](std::int16_t a, std::int16_t b) {
        return static_cast<std::uint32_t>(static_cast<std::uint16_t>(a)) << 16 |
               static_cast<std::uint16_t>(b);
    };
    std::unordered_multimap<std::uint32_t, std::int64_t> firstBlock; // two lefts -> frame
    for (std::int64_t m = 0; m < 2048; ++m) {
        firstBlock.emplace(key(Left(m), Left(m + 1)), m);
    }
    std::int64_t start = -1;
    std::int64_t first = 0; // the first frame of the signal that came back
    for (std::int64_t i = 0; i + 64 <= frames && start < 0; ++i) {
        const auto [from, to] = firstBlock.equal_range(key(c[2 * i], c[2 * (i + 1)]));
        for (auto it = from; it != to && start < 0; ++it) {
            bool match = true;
            for (std::int64_t m = 0; m < 64 && match; ++m) {
                match = c[2 * (i + m)] == Left(it->second + m) &&
                        c[2 * (i + m) + 1] == Right(it->second + m);
            }
            if (match) {
                start = i;
                first = it->second;
            }
        }
    }
    if (start < 0) {
        return "the played signal never came back";
    }
    std::int64_t compared = 0;
    std::int64_t wrong = 0;
    std::int64_t firstWrong = -1;
    for (std::int64_t m = 0; start + m < frames; ++m, ++compared) {
        if (c[2 * (start + m)] != Left(first + m) || c[2 * (start + m) + 1] != Right(first + m)) {
            firstWrong = firstWrong < 0 ? m : firstWrong;
            ++wrong;
        }
    }
    start -= first; // where frame 0 would have come back: the round trip
    std::printf("%s: round trip %lld frames (%.1f ms) from capture to capture; the first %lld "
                "frames not played; %lld frames compared, %lld differ (first at %lld)\n",
                label, static_cast<long long>(start), static_cast<double>(start) / 48.0,
                static_cast<long long>(first), static_cast<long long>(compared),
                static_cast<long long>(wrong), static_cast<long long>(firstWrong));
    std::fflush(stdout);
    if (first >= 2048) {
        return "a block or more of the signal's start was not played";
    }
    if (compared < (blocks - 40) * 2048) {
        return "too little of the signal came back";
    }
    if (wrong != 0) {
        return "the signal came back altered";
    }
    if (start < 3 * 2048) { // three blocks of exchange plus the server's buffering
        return "the signal came back too early";
    }
    return {};
}

// Every run is perfect: nothing lost, repeated or reordered, and the loss counters agree.
template <typename Sound> void LoopbackRuns(const char* label, Sound& sound, int runs) {
    LoopClient client;
    BlockExchange exchange(sound, client);
    const SoundStatus created = exchange.CreateDevices();
    if (!created.Ok() && !SoundRequired()) {
        GTEST_SKIP() << "no sound server: " << created.Message;
    }
    ASSERT_TRUE(created.Ok()) << created.Message;
    ASSERT_TRUE(exchange.SetEvents().Ok());
    for (int run = 1; run <= runs; ++run) {
        const SoundCounters before = sound.Counters();
        const std::uint64_t restartsBefore = exchange.PlaybackRestarts();
        EXPECT_EQ(PlayAndCompare(label, sound, exchange, client, 140), "") << "run " << run;
        const SoundCounters after = sound.Counters();
        EXPECT_EQ(after.CaptureOverruns, before.CaptureOverruns) << "run " << run;
        EXPECT_EQ(after.MergedNotifications, before.MergedNotifications) << "run " << run;
        EXPECT_EQ(after.DroppedNotifications, before.DroppedNotifications) << "run " << run;
        EXPECT_EQ(exchange.PlaybackRestarts(), restartsBefore) << "run " << run;
    }
    exchange.Release();
}

TEST(LiveLoopback, PulseAudioServerPlaysBackEveryBlockIntactAndInOrder) {
    if (!PulseAudioSound::ServerReachable(2000)) {
        if (SoundRequired()) {
            FAIL() << "no PulseAudio server answers";
        }
        GTEST_SKIP() << "no PulseAudio server";
    }
    PulseAudioSound sound;
    LoopbackRuns("pulseaudio", sound, 3);
}

// The output of a shell command, or empty when it failed.
std::string Command(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r"); pipe != nullptr) {
        std::array<char, 256> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
            out += buffer.data();
        }
        if (::pclose(pipe) != 0) {
            out.clear();
        }
    }
    return out;
}

// A source with a long fixed latency (the server's sine source: its first data about 2 s after
// the stream starts, then 2 s at a time every 2 s) runs like a card: the blocks one by one at
// the clock's pace, playback never restarted. Stored as they came, each burst ran the receiver
// through 47 blocks at once and restarted playback several times a second.
TEST(LiveLoopback, PulseAudioSourceThatDeliversInBurstsRunsAtTheClocksPace) {
    if (!PulseAudioSound::ServerReachable(2000)) {
        if (SoundRequired()) {
            FAIL() << "no PulseAudio server answers";
        }
        GTEST_SKIP() << "no PulseAudio server";
    }
    const std::string module = Command("pactl load-module module-sine-source "
                                       "source_name=corvane_bursts rate=48000 2>/dev/null");
    if (module.empty()) {
        GTEST_SKIP() << "the server has no sine source (PipeWire's has none)";
    }
    {
        PulseAudioSound sound("corvane_bursts");
        LoopClient client;
        BlockExchange exchange(sound, client);
        ASSERT_TRUE(exchange.CreateDevices().Ok());
        ASSERT_TRUE(exchange.SetEvents().Ok());
        ASSERT_TRUE(exchange.StartCapture().Ok());
        QElapsedTimer timer;
        timer.start();
        while (client.Played < 240 && client.Failures.empty() && timer.elapsed() < 30000) {
            test::RunEventsFor(20);
        }
        EXPECT_TRUE(exchange.StopBuffers().Ok());
        ASSERT_TRUE(client.Failures.empty()) << client.Failures[0].Message;
        ASSERT_EQ(client.Played, 240) << "too few blocks in 30 s";
        double shortest = 1;
        double longest = 0;
        for (std::size_t i = 1; i < client.Times.size(); ++i) {
            shortest = std::min(shortest, client.Times[i] - client.Times[i - 1]);
            longest = std::max(longest, client.Times[i] - client.Times[i - 1]);
        }
        std::printf("bursts: %lld blocks in %.2f s, %.1f to %.1f ms apart, restarts %llu, "
                    "overruns %llu\n",
                    static_cast<long long>(client.Played),
                    static_cast<double>(timer.elapsed()) / 1000.0, shortest * 1000, longest * 1000,
                    static_cast<unsigned long long>(exchange.PlaybackRestarts()),
                    static_cast<unsigned long long>(sound.Counters().CaptureOverruns));
        EXPECT_GT(shortest, 0.020);
        EXPECT_LT(longest, 0.150);
        EXPECT_EQ(exchange.PlaybackRestarts(), 0u);
        EXPECT_EQ(sound.Counters().CaptureOverruns, 0u);
        exchange.Release();
    }
    Command("pactl unload-module " + module);
}

// PortAudio is the path for desktops without a sound server. Here it can only reach the test
// server through ALSA's pulse plug-in, the route that spins a core in the plug-in's poll loop
// and loses stretches on a busy machine (the reason the receiver talks to a server directly).
// So this checks that the path works at all: one of up to three runs must be perfect.
TEST(LiveLoopback, PortAudioThroughAlsaPlaysBackASignalIntact) {
    PortAudioSound sound;
    LoopClient client;
    BlockExchange exchange(sound, client);
    const SoundStatus created = exchange.CreateDevices();
    if (!created.Ok() && !SoundRequired()) {
        GTEST_SKIP() << "no sound device: " << created.Message;
    }
    ASSERT_TRUE(created.Ok()) << created.Message;
    ASSERT_TRUE(exchange.SetEvents().Ok());
    std::string problem = "not run";
    for (int run = 1; run <= 3 && !problem.empty(); ++run) {
        problem = PlayAndCompare("portaudio", sound, exchange, client, 140);
        if (!problem.empty()) {
            std::printf("portaudio: run %d: %s\n", run, problem.c_str());
            std::fflush(stdout);
        }
    }
    EXPECT_EQ(problem, "");
    exchange.Release();
}

// Checks the signal as it comes back, frame by frame, without keeping it: for runs of an hour.
// Each frame carries its own number (left: the low 15 bits, right: the next 15 bits), so every
// break in the sequence is found and measured: frames skipped (lost) or played again.
class StreamingClient final : public ExchangeClient {
public:
    static std::int16_t Low(std::int64_t m) { return static_cast<std::int16_t>(m & 0x7fff); }
    static std::int16_t High(std::int64_t m) {
        return static_cast<std::int16_t>((m >> 15) & 0x7fff);
    }

    void ProcessBlock(std::span<const std::int16_t> InBlock,
                      std::span<std::int16_t> OutBlock) override {
        for (std::size_t j = 0; j + 1 < InBlock.size(); j += 2) {
            const std::int16_t l = InBlock[j];
            const std::int16_t r = InBlock[j + 1];
            if (l < 0 || r < 0 || (Last < 0 && l == 0 && r == 0)) {
                Lead += Last < 0 ? 1 : 0; // silence before the signal (frame 0 is silent too)
                continue;
            }
            if (l == 0 && r == 0) {
                ++Silent; // the server played silence (an underrun): a gap, not a lost frame
                continue;
            }
            const std::int64_t m = (static_cast<std::int64_t>(r) << 15) | l;
            // The signal starts at frame 1: a later first frame means its start was lost.
            const std::int64_t before = Last < 0 ? 0 : Last;
            if (m != before + 1) {
                if (Breaks < static_cast<std::int64_t>(FirstBreaks.size())) {
                    FirstBreaks[static_cast<std::size_t>(Breaks)] = {Checked, before, m};
                }
                ++Breaks;
                (m > before ? Skipped : Repeated) += m > before ? m - before - 1 : before + 1 - m;
            }
            Last = m;
            ++Checked;
        }
        for (std::int64_t j = 0; j < 2048; ++j) {
            const std::int64_t m = Played * 2048 + j + 1; // from 1: 0 would look like silence
            OutBlock[2 * j] = Low(m);
            OutBlock[2 * j + 1] = High(m);
        }
        ++Played;
    }
    void DoEvents() override { QCoreApplication::processEvents(); }
    void ShowRunTime(double) override {}
    void SoundFailed(const SoundStatus& status) override { Failures.push_back(status); }

    std::int64_t Played = 0;
    std::int64_t Last = -1; // the number of the last frame of the signal captured
    std::int64_t Lead = 0;  // frames captured before the signal came back
    std::int64_t Checked = 0;
    std::int64_t Breaks = 0;   // places where the sequence does not continue
    std::int64_t Skipped = 0;  // frames lost at those places
    std::int64_t Repeated = 0; // frames heard again (or out of order) at those places
    std::int64_t Silent = 0;   // frames of silence inside the signal
    std::vector<SoundStatus> Failures;
    // Where the first breaks were, to tell a server's lost quantum from a stale block: the
    // frame count checked so far, the frame before the break and the one after it.
    struct Break {
        std::int64_t At = 0;
        std::int64_t From = 0;
        std::int64_t To = 0;
    };
    std::array<Break, 12> FirstBreaks{};

    void PrintBreaks(std::int64_t& printed) const {
        for (; printed <
               std::min<std::int64_t>(Breaks, static_cast<std::int64_t>(FirstBreaks.size()));
             ++printed) {
            const Break& b = FirstBreaks[static_cast<std::size_t>(printed)];
            std::printf("soak: break after %lld frames checked (%.1f s): frame %lld follows %lld "
                        "(%+lld)\n",
                        static_cast<long long>(b.At), static_cast<double>(b.At) / 48000,
                        static_cast<long long>(b.To), static_cast<long long>(b.From),
                        static_cast<long long>(b.To - b.From - 1));
        }
    }
};

// How still the machine stands: a thread that sleeps 1 ms at a time and notes how much later
// than asked it woke. When the whole machine stops (a virtual machine's host busy, memory being
// compacted), every thread stops with it, the sound server's too; a break during such a stall
// is the machine's, not the receiver's.
class StallWatch {
public:
    StallWatch()
        : Thread([this] {
              while (!Stop.load(std::memory_order_relaxed)) {
                  const auto before = std::chrono::steady_clock::now();
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  const double late = std::chrono::duration<double, std::milli>(
                                          std::chrono::steady_clock::now() - before)
                                          .count() -
                                      1.0;
                  Worst.store(std::max(Worst.load(std::memory_order_relaxed), late),
                              std::memory_order_relaxed);
                  Over20.fetch_add(late > 20.0 ? 1 : 0, std::memory_order_relaxed);
                  rusage own{};
                  getrusage(RUSAGE_THREAD, &own);
                  OwnCpu.store(
                      static_cast<double>(own.ru_utime.tv_sec + own.ru_stime.tv_sec) +
                          static_cast<double>(own.ru_utime.tv_usec + own.ru_stime.tv_usec) / 1e6,
                      std::memory_order_relaxed);
              }
          }) {}
    ~StallWatch() {
        Stop.store(true);
        Thread.join();
    }
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    std::atomic<double> Worst{0.0};      // ms, the longest stall
    std::atomic<std::int64_t> Over20{0}; // stalls longer than 20 ms
    std::atomic<double> OwnCpu{0.0};     // s, this watch's own share, not the receiver's

private:
    std::atomic<bool> Stop{false};
    std::thread Thread;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The soak of bench/live/soak.sh: CORVANE_SOAK_SECONDS of the signal through the server, every
// frame checked, with the loss counters and the CPU share. Skipped unless asked for.
TEST(LiveLoopback, SoakOnTheServer) {
    const char* env = std::getenv("CORVANE_SOAK_SECONDS");
    if (env == nullptr || std::atof(env) <= 0.0) {
        GTEST_SKIP() << "CORVANE_SOAK_SECONDS not set";
    }
    const double seconds = std::atof(env);
    ASSERT_TRUE(PulseAudioSound::ServerReachable(2000)) << "no PulseAudio server answers";
    PulseAudioSound sound;
    StreamingClient client;
    BlockExchange exchange(sound, client);
    ASSERT_TRUE(exchange.CreateDevices().Ok());
    ASSERT_TRUE(exchange.SetEvents().Ok());
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    StallWatch stalls;
    ASSERT_TRUE(exchange.StartCapture().Ok());
    qint64 reported = 0;
    std::int64_t breaksPrinted = 0;
    const qint64 reportEveryMs = seconds >= 300 ? 60000 : 10000;
    while (static_cast<double>(timer.elapsed()) < seconds * 1000 && client.Failures.empty()) {
        // Blocks until something happens (a notification every 42.7 ms, the watchdog's tick).
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (timer.elapsed() - reported >= reportEveryMs) {
            reported = timer.elapsed();
            client.PrintBreaks(breaksPrinted);
            const SoundCounters c = sound.Counters();
            std::printf(
                "soak: %.0f s, %lld blocks, %lld frames checked, %lld breaks (%lld "
                "frames lost, %lld repeated), %lld frames of silence, overruns %llu, merged "
                "%llu, xruns %llu, restarts %llu, cpu %.2f %%, machine stalls over 20 ms "
                "%lld (longest %.1f ms)\n",
                static_cast<double>(reported) / 1000, static_cast<long long>(client.Played),
                static_cast<long long>(client.Checked), static_cast<long long>(client.Breaks),
                static_cast<long long>(client.Skipped), static_cast<long long>(client.Repeated),
                static_cast<long long>(client.Silent),
                static_cast<unsigned long long>(c.CaptureOverruns),
                static_cast<unsigned long long>(c.MergedNotifications),
                static_cast<unsigned long long>(c.DeviceXruns),
                static_cast<unsigned long long>(exchange.PlaybackRestarts()),
                100.0 * (CpuSeconds() - stalls.OwnCpu.load() - cpuBefore) /
                    (static_cast<double>(reported) / 1000),
                static_cast<long long>(stalls.Over20.load()), stalls.Worst.load());
            std::fflush(stdout);
        }
    }
    client.PrintBreaks(breaksPrinted);
    const double wall = static_cast<double>(timer.elapsed()) / 1000;
    const double cpu = CpuSeconds() - stalls.OwnCpu.load() - cpuBefore;
    ASSERT_TRUE(exchange.StopBuffers().Ok());
    const SoundCounters c = sound.Counters();
    std::printf(
        "soak done: %.0f s, %lld blocks, %lld frames checked (first after %lld), %lld "
        "breaks (%lld frames lost, %lld repeated), overruns %llu, merged %llu, dropped "
        "%llu, xruns %llu, restarts %llu, %lld frames of silence inserted, cpu %.2f %% of one "
        "core, machine stalls over 20 ms %lld (longest %.1f ms)\n",
        wall, static_cast<long long>(client.Played), static_cast<long long>(client.Checked),
        static_cast<long long>(client.Lead), static_cast<long long>(client.Breaks),
        static_cast<long long>(client.Skipped), static_cast<long long>(client.Repeated),
        static_cast<unsigned long long>(c.CaptureOverruns),
        static_cast<unsigned long long>(c.MergedNotifications),
        static_cast<unsigned long long>(c.DroppedNotifications),
        static_cast<unsigned long long>(c.DeviceXruns),
        static_cast<unsigned long long>(exchange.PlaybackRestarts()),
        static_cast<long long>(client.Silent), 100.0 * cpu / wall,
        static_cast<long long>(stalls.Over20.load()), stalls.Worst.load());
    EXPECT_TRUE(client.Failures.empty());
    EXPECT_GT(client.Checked, static_cast<std::int64_t>((seconds - 2) * 48000));
    EXPECT_EQ(client.Breaks, 0);
    EXPECT_EQ(c.CaptureOverruns + c.MergedNotifications + c.DroppedNotifications, 0u);
    EXPECT_EQ(exchange.PlaybackRestarts(), 0u);
    exchange.Release();
}

} // namespace
} // namespace corvane
