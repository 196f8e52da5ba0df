// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Replay.h"

#include "IqFiles.h"
#include "ReceiverControls.h"
#include "SoundSystem.h"
#include "VirtualSoundCard.h"
#include "frmReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <span>
#include <system_error>

namespace corvane::tools {

namespace {

// The sound system the window talks to in a replay: the virtual card, with every block the
// receiver writes to playback handed on in order. That is output block k for input block k,
// whatever the virtual device later plays.
class RecordingSound final : public SoundSystem {
public:
    using Writer = std::function<void(std::span<const std::int16_t>)>;
    RecordingSound(SoundSystem& card, Writer writer) : Card(card), Written(std::move(writer)) {}

    std::int64_t Writes = 0;

    SoundStatus CreatePlayDevice() override { return Card.CreatePlayDevice(); }
    SoundStatus CreateCaptureDevice() override { return Card.CreateCaptureDevice(); }
    SoundStatus CreateCaptureBuffer(const BufferDesc& desc) override {
        return Card.CreateCaptureBuffer(desc);
    }
    SoundStatus CreatePlayBuffer(const BufferDesc& desc) override {
        return Card.CreatePlayBuffer(desc);
    }
    SoundStatus CreateEvent(std::int32_t& eventId) override { return Card.CreateEvent(eventId); }
    SoundStatus SetNotificationPositions(std::span<const NotifyPosition> positions) override {
        return Card.SetNotificationPositions(positions);
    }
    SoundStatus DestroyEvent(std::int32_t eventId) override { return Card.DestroyEvent(eventId); }
    SoundStatus StartCapture() override { return Card.StartCapture(); }
    SoundStatus StopCapture() override { return Card.StopCapture(); }
    SoundStatus ReadCapture(std::int32_t offset, std::span<std::int16_t> dest) override {
        return Card.ReadCapture(offset, dest);
    }
    SoundStatus GetPlayPositions(PlayPositions& positions) override {
        return Card.GetPlayPositions(positions);
    }
    SoundStatus WritePlay(std::int32_t offset, std::span<const std::int16_t> src) override {
        SoundStatus status = Card.WritePlay(offset, src);
        if (status.Ok()) {
            ++Writes;
            Written(src);
        }
        return status;
    }
    SoundStatus SetPlayPosition(std::int32_t offset) override {
        return Card.SetPlayPosition(offset);
    }
    SoundStatus StartPlay() override { return Card.StartPlay(); }
    SoundStatus StopPlay() override { return Card.StopPlay(); }
    void Release(SoundObject object) override { Card.Release(object); }
    NotificationQueue& Notifications() override { return Card.Notifications(); }
    SoundStatus StreamError() const override { return Card.StreamError(); }
    SoundCounters Counters() const override { return Card.Counters(); }
    bool TakeNotification(std::int32_t eventId) override { return Card.TakeNotification(eventId); }
    bool RealTimeClock() const override { return Card.RealTimeClock(); }

private:
    SoundSystem& Card;
    Writer Written;
};

// Capture fed from the block the replay is about to hand over, one device period at a time.
class BlockSource final : public CaptureSource {
public:
    void Fill(std::span<std::int16_t> frames) override {
        const std::size_t n = std::min(frames.size(), Block.size() - Position);
        std::copy_n(Block.begin() + static_cast<std::ptrdiff_t>(Position), n, frames.begin());
        std::fill(frames.begin() + static_cast<std::ptrdiff_t>(n), frames.end(), std::int16_t{0});
        Position += n;
    }
    std::array<std::int16_t, BlockSamples> Block{};
    std::size_t Position = 0;
};

bool InterruptPending() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) {
        return false;
    }
    const sigset_t stopping = StoppingSignals();
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&stopping, signal) == 1 && sigismember(&pending, signal) == 1) {
            return true;
        }
    }
    return false;
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

std::optional<std::int32_t> ParseInt(const std::string& text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Appends `value` in its shortest round-trip form.
char* PutDouble(char* at, char* end, double value) {
    if (!std::isfinite(value)) {
        constexpr std::string_view null = "null";
        return std::copy(null.begin(), null.end(), at);
    }
    return std::to_chars(at, end, value).ptr;
}

std::string SystemError(int code) {
    return std::system_category().message(code);
}

char* Put(char* at, std::string_view text) {
    return std::copy(text.begin(), text.end(), at);
}

// As the operator sets them, in the order of the command line's description.
void ApplyControls(ReceiverControls& controls, const ReplayOptions& o) {
    controls.SelectAnalysisWindow(o.Window == "none"   ? WindowKind::None
                                  : o.Window == "hann" ? WindowKind::Hann
                                                       : WindowKind::BlackmanHarris);
    controls.SelectVideoFilter(o.Video);
    controls.SelectMode(o.Mode == "cw100" ? DemodMode::Cw100
                        : o.Mode == "usb" ? DemodMode::Usb
                        : o.Mode == "lsb" ? DemodMode::Lsb
                                          : DemodMode::Cw500);
    controls.SelectAgc(o.Agc == "slow"  ? AgcChoice::Slow
                       : o.Agc == "off" ? AgcChoice::Off
                                        : AgcChoice::Fast);
    controls.SetGain(o.Gain);
    if (o.Offset) {
        controls.Tune(*o.Offset);
    }
    controls.SelectTest(o.Test == "iq"    ? TestSignal::IPlusQ
                        : o.Test == "i-q" ? TestSignal::IMinusQ
                        : o.Test == "i"   ? TestSignal::IOnly
                                          : TestSignal::None);
    controls.SetPlus20(o.Plus20);
    controls.SetSwapIq(o.SwapIq);
    controls.SetIqCorrection(o.IqCorrect);
}

void ShowProgress(std::ostream& err, std::int64_t done, std::int64_t total) {
    constexpr int Width = 40;
    const std::int64_t filled = total > 0 ? done * Width / total : Width;
    std::array<char, Width + 1> bar{};
    for (int i = 0; i < Width; ++i) {
        bar[static_cast<std::size_t>(i)] = i < filled ? '#' : '.';
    }
    err << "\r[" << bar.data() << "] " << (total > 0 ? done * 100 / total : 100) << "% " << done
        << '/' << total << " blocks" << std::flush;
}

} // namespace

sigset_t StoppingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM,
                             SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR}) {
        sigaddset(&set, signal);
    }
    return set;
}

std::string ShortestDouble(double value) {
    std::array<char, 64> text{};
    return std::string(text.data(), PutDouble(text.data(), text.data() + text.size(), value));
}

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
           "  --quiet                    no progress bar\n"
           "  --help                     this text\n"
           "exit status: 0 done, 1 output not written, 2 usage error, 3 input unusable,\n"
           "             130 stopped by a signal (Ctrl-C, a kill, a closed terminal)\n";
}

std::optional<ReplayOptions> ParseReplayOptions(const std::vector<std::string>& args,
                                                std::string& error, bool& help) {
    ReplayOptions o;
    std::vector<std::string> files;
    help = false;
    const auto oneOf = [](const std::string& v, std::initializer_list<const char*> allowed) {
        for (const char* a : allowed) {
            if (v == a) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        const auto flag = [&](bool& target) {
            if (hasValue) {
                error = arg + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
            return std::nullopt;
        }
        if (arg == "--quiet") {
            if (!flag(o.Quiet)) {
                return std::nullopt;
            }
        } else if (arg == "--plus20" || arg == "--swap-iq" || arg == "--iq-correct") {
            if (!flag(arg == "--plus20" ? o.Plus20 : arg == "--swap-iq" ? o.SwapIq : o.IqCorrect)) {
                return std::nullopt;
            }
        } else if (arg == "--window" || arg == "--mode" || arg == "--agc" || arg == "--test") {
            if (!takeValue()) {
                return std::nullopt;
            }
            const bool ok = arg == "--window" ? oneOf(value, {"none", "bh", "hann"})
                            : arg == "--mode" ? oneOf(value, {"cw100", "cw500", "usb", "lsb"})
                            : arg == "--agc"  ? oneOf(value, {"fast", "slow", "off"})
                                              : oneOf(value, {"none", "iq", "i-q", "i"});
            if (!ok) {
                error = arg + ": unknown choice \"" + value + "\"";
                return std::nullopt;
            }
            (arg == "--window" ? o.Window
             : arg == "--mode" ? o.Mode
             : arg == "--agc"  ? o.Agc
                               : o.Test) = value;
        } else if (arg == "--lo-frequency") {
            if (!takeValue()) {
                return std::nullopt;
            }
            const std::optional<std::int32_t> n = ParseLoFrequency(value);
            if (!n) {
                error = "--lo-frequency must be a whole number of Hz from 24000 to 99976000, "
                        "not \"" +
                        value + "\"";
                return std::nullopt;
            }
            o.LoHz = *n;
        } else if (arg == "--video" || arg == "--gain" || arg == "--offset") {
            if (!takeValue()) {
                return std::nullopt;
            }
            const std::optional<std::int32_t> n = ParseInt(value);
            if (arg == "--video") {
                if (!n || (*n != 1 && *n != 4 && *n != 8 && *n != 16)) {
                    error = "--video must be 1, 4, 8 or 16, not \"" + value + "\"";
                    return std::nullopt;
                }
                o.Video = *n;
            } else if (arg == "--gain") {
                if (!n || *n < 40 || *n > 100) {
                    error = "--gain must be a whole number from 40 to 100, not \"" + value + "\"";
                    return std::nullopt;
                }
                o.Gain = *n;
            } else {
                if (!n || *n < -23800 || *n > 23800) {
                    error = "--offset must be a whole number of Hz from -23800 to 23800, not \"" +
                            value + "\"";
                    return std::nullopt;
                }
                o.Offset = *n;
            }
        } else if (arg == "--screenshot" || arg == "--stats") {
            if (!takeValue()) {
                return std::nullopt;
            }
            if (value.empty()) {
                error = arg + " needs a file name";
                return std::nullopt;
            }
            (arg == "--stats" ? o.Stats : o.Screenshot) = value;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else if (arg == "--") {
            for (++i; i < args.size(); ++i) {
                files.push_back(args[i]);
            }
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        error = files.size() < 2 ? "INPUT and OUTPUT are needed" : "too many file names";
        return std::nullopt;
    }
    o.Input = files[0];
    o.Output = files[1];
    // Every file written would replace the recording, or one another, at the final rename.
    std::vector<std::filesystem::path> written{o.Output};
    if (!o.Screenshot.empty()) {
        written.push_back(o.Screenshot);
    }
    if (!o.Stats.empty()) {
        written.push_back(o.Stats);
    }
    const auto same = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        const std::optional<FileIdentity> ia = IdentityOf(a);
        return ia && ia == IdentityOf(b);
    };
    for (std::size_t a = 0; a < written.size(); ++a) {
        if (same(written[a], o.Input)) {
            error = written[a].string() + " is the input recording; it would be overwritten";
            return std::nullopt;
        }
        for (std::size_t b = a + 1; b < written.size(); ++b) {
            if (same(written[a], written[b])) {
                error = written[a].string() + " is named for two outputs";
                return std::nullopt;
            }
        }
    }
    return o;
}

ReplayResult RunReplay(const ReplayOptions& options, std::ostream& err, bool progress) {
    ReplayResult result;
    const auto fail = [&](int status, const std::filesystem::path& file, const std::string& what) {
        err << (progress ? "\n" : "") << "corvane-replay: " << file.string() << ": " << what
            << '\n';
        result.Status = status;
        return result;
    };

    IqReader input;
    if (std::string bad = input.Open(options.Input); !bad.empty()) {
        return fail(ExitBadInput, options.Input, bad);
    }
    // Every output is checked, and made under its temporary name, before the first block: a
    // run that cannot publish its results is refused at once, not after the whole recording.
    for (const std::filesystem::path& named : {options.Output, options.Stats, options.Screenshot}) {
        std::error_code ec;
        if (!named.empty() && std::filesystem::is_directory(named, ec)) {
            return fail(ExitFailed, named, "cannot be written: it is a directory");
        }
    }
    AudioWriter output(options.Output);
    if (std::string failed = output.Open(); !failed.empty()) {
        return fail(ExitFailed, options.Output, "cannot be written: " + failed);
    }
    PendingFile stats(options.Stats);
    std::FILE* statsFile = nullptr;
    if (!options.Stats.empty()) {
        if (std::string failed = stats.Create(); !failed.empty()) {
            return fail(ExitFailed, options.Stats, "cannot be written: " + failed);
        }
        statsFile = ::fdopen(stats.Descriptor(), "w");
        if (statsFile == nullptr) {
            return fail(ExitFailed, options.Stats, "cannot be written: " + SystemError(errno));
        }
        stats.ReleaseDescriptor();
    }
    PendingFile screenshot(options.Screenshot);
    if (!options.Screenshot.empty()) {
        if (std::string failed = screenshot.Create(); !failed.empty()) {
            if (statsFile != nullptr) {
                std::fclose(statsFile);
            }
            return fail(ExitFailed, options.Screenshot, "cannot be written: " + failed);
        }
    }
    const auto closeStats = [&] {
        if (statsFile != nullptr) {
            std::fclose(statsFile);
            statsFile = nullptr;
        }
    };

    std::string writeError;
    BlockSource source;
    NullSink sink; // what the device plays later is not the output: the writes are
    VirtualSoundCard card(source, sink);
    RecordingSound sound(card, [&](std::span<const std::int16_t> block) {
        if (writeError.empty()) {
            writeError = output.Write(block);
        }
    });
    frmReceiver window(sound);
    if (!window.Form_Load()) {
        closeStats();
        return fail(ExitFailed, options.Input, "the receiver could not start");
    }
    // Not shown: nothing is painted, but every picture box is given each frame as it would be.
    // ON waits for the start-up tick that builds the displays, as an operator's click would; a
    // short recording would otherwise end before it and leave them empty.
    QElapsedTimer startingUp;
    startingUp.start();
    while (window.Timer1.Interval() != 0 && startingUp.elapsed() < 5000) {
        QEventLoop wait; // asleep between the timer's events, not spinning
        QTimer::singleShot(5, &wait, &QEventLoop::quit);
        wait.exec();
    }
    if (window.Timer1.Interval() != 0) {
        closeStats();
        return fail(ExitFailed, options.Input, "the receiver's displays did not start");
    }
    if (options.LoHz) {
        window.SetLoFrequency(*options.LoHz);
    }
    ReceiverControls controls(window);
    ApplyControls(controls, options);
    controls.PowerOn();

    const std::int64_t total = (input.Frames() + BlockFrames - 1) / BlockFrames;
    std::int64_t shownPercent = -1;
    std::array<char, 512> line{};
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t k = 0; k < total; ++k) {
        std::string bad;
        input.ReadBlock(source.Block, bad);
        if (!bad.empty()) {
            closeStats();
            return fail(ExitBadInput, options.Input, bad);
        }
        if (InterruptPending()) {
            closeStats();
            return fail(ExitInterrupted, options.Output, "interrupted; nothing written");
        }
        source.Position = 0;
        card.Advance(BlockFrames);
        for (int pass = 0; sound.Writes <= k && pass < 1000; ++pass) {
            QCoreApplication::processEvents();
        }
        if (sound.Writes != k + 1 || window.Running == 0) {
            closeStats();
            return fail(ExitFailed, options.Output,
                        "the receiver stopped handling blocks at block " + std::to_string(k));
        }
        if (!writeError.empty()) {
            closeStats();
            return fail(ExitFailed, options.Output, "cannot be written: " + writeError);
        }
        if (statsFile != nullptr) {
            const BlockExchange::BlockStatistics block = window.Exchange->Statistics();
            char* at = line.data();
            char* const end = line.data() + line.size();
            at = Put(at, "{\"index\":");
            at = std::to_chars(at, end, k).ptr;
            at = Put(at, block.Processed ? ",\"processed\":true,\"AgcPeak\":"
                                         : ",\"processed\":false,\"AgcPeak\":");
            at = PutDouble(at, end, window.Dsp->AgcPeak);
            at = Put(at, ",\"SmeterLevel\":");
            at = PutDouble(at, end, window.Dsp->SmeterLevel);
            at = Put(at, ",\"ms\":");
            at = PutDouble(at, end, block.Seconds * 1000.0);
            // The loss counters so far, as the window shows them: all 0 in a replay unless the
            // receiver itself dropped something.
            const SoundCounters& counters = block.Counters;
            at = Put(at, ",\"lost\":");
            at = std::to_chars(at, end, counters.CaptureOverruns + counters.DroppedNotifications)
                     .ptr;
            at = Put(at, ",\"merged\":");
            at = std::to_chars(at, end, counters.MergedNotifications).ptr;
            at = Put(at, ",\"restarts\":");
            at = std::to_chars(at, end, block.PlaybackRestarts).ptr;
            at = Put(at, ",\"xruns\":");
            at = std::to_chars(at, end, counters.DeviceXruns).ptr;
            at = Put(at, "}\n");
            std::fwrite(line.data(), 1, static_cast<std::size_t>(at - line.data()), statsFile);
        }
        if (progress) {
            const std::int64_t percent = (k + 1) * 100 / total;
            if (percent != shownPercent) {
                shownPercent = percent;
                ShowProgress(err, k + 1, total);
            }
        }
    }
    const auto stop = std::chrono::steady_clock::now();
    if (progress) {
        err << '\n';
    }
    controls.PowerOff();

    result.Blocks = total;
    result.Seconds = std::chrono::duration<double>(stop - start).count();
    const double recorded = static_cast<double>(total) * BlockFrames / RecordingRate;
    result.RealTimeFactor = result.Seconds > 0 ? recorded / result.Seconds : 0.0;
    result.Readout = controls.Readout().toStdString();

    // Everything is complete before anything takes its final name.
    if (!options.Screenshot.empty()) {
        const QImage picture = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (std::string failed = SavePng(picture, screenshot); !failed.empty()) {
            closeStats();
            return fail(ExitFailed, options.Screenshot, "cannot be written: " + failed);
        }
    }
    if (statsFile != nullptr) {
        // A full disk shows at the latest here; the reason is the system's.
        errno = 0;
        int reason = 0;
        if (std::fflush(statsFile) != 0 || std::ferror(statsFile) != 0) {
            reason = errno != 0 ? errno : EIO;
        }
        if (std::fclose(statsFile) != 0 && reason == 0) {
            reason = errno != 0 ? errno : EIO;
        }
        statsFile = nullptr;
        if (reason != 0) {
            return fail(ExitFailed, options.Stats, "cannot be written: " + SystemError(reason));
        }
    }
    if (std::string failed = output.Close(); !failed.empty()) {
        return fail(ExitFailed, options.Output, "cannot be written: " + failed);
    }
    // All outputs appear together or none does: one that cannot take its name takes back those
    // already renamed.
    std::vector<std::filesystem::path> published;
    const auto publish = [&](const std::filesystem::path& name, auto commit) {
        if (name.empty()) {
            return true;
        }
        if (std::string failed = commit(); !failed.empty()) {
            for (const std::filesystem::path& done : published) {
                std::error_code ec;
                std::filesystem::remove(done, ec);
            }
            fail(ExitFailed, name, "cannot be written: " + failed);
            return false;
        }
        published.push_back(name);
        return true;
    };
    // A failure has set the result's status.
    [[maybe_unused]] const bool all =
        publish(options.Stats, [&] { return stats.Commit(); }) &&
        publish(options.Screenshot, [&] { return screenshot.Commit(); }) &&
        publish(options.Output, [&] { return output.Commit(); });
    return result;
}

} // namespace corvane::tools
