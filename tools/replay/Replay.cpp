// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Replay.h"

#include "IqFiles.h"
#include "ReceiverControls.h"
#include "ReplayOutputs.h"
#include "ReplayWaterfall.h"
#include "VirtualSoundCard.h"
#include "frmReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <signal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <span>

namespace corvane::tools {

namespace {

// What the receiver writes to playback, seen as it writes it: output block k is the block written
// for input block k, whatever the virtual device later plays. Only copied here, in the handler;
// the block loop writes it out.
class PlayedBlocks final : public PlaybackTap {
public:
    void Played(std::span<const std::int16_t> block) noexcept override {
        Size = std::min(block.size(), Block.size());
        std::copy_n(block.begin(), Size, Block.begin());
        ++Count;
    }
    std::span<const std::int16_t> Last() const { return std::span(Block).first(Size); }

    std::int64_t Count = 0;

private:
    std::array<std::int16_t, BlockSamples> Block{};
    std::size_t Size = 0;
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

ReplayResult RunReplay(const ReplayOptions& options, std::ostream& err, bool progress) {
    ReplayResult result;
    const auto fail = [&](int status, const std::filesystem::path& file, const std::string& what) {
        err << (progress ? "\n" : "") << "corvane-replay: " << file.string() << ": " << what
            << '\n';
        result.Status = status;
        return result;
    };
    const auto failed = [&](const OutputFailure& output) {
        return fail(ExitFailed, output.File, output.What);
    };

    IqReader input;
    if (std::string bad = input.Open(options.Input); !bad.empty()) {
        return fail(ExitBadInput, options.Input, bad);
    }
    ReplayOutputs outputs(options.Output, options.Stats, options.Screenshot, options.Waterfall);
    if (std::optional<OutputFailure> refused = outputs.Create()) {
        return failed(*refused);
    }

    BlockSource source;
    NullSink sink; // what the device plays later is not the output: the blocks written are
    VirtualSoundCard card(source, sink);
    PlayedBlocks played;
    std::optional<ReplayWaterfall> waterfall; // the trace's tap: it outlives the window
    frmReceiver window(card);
    window.Exchange->SetPlaybackTap(&played);
    if (!window.Form_Load()) {
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
        return fail(ExitFailed, options.Input, "the receiver's displays did not start");
    }
    if (options.LoHz) {
        window.SetLoFrequency(*options.LoHz);
    }
    ReceiverControls controls(window);
    ApplyControls(controls, options);

    const std::int64_t total = (input.Frames() + BlockFrames - 1) / BlockFrames;
    if (outputs.WantsWaterfall()) {
        waterfall.emplace(total);
        window.Screens.Traces.SetWideTap(&*waterfall);
    }
    controls.PowerOn();

    std::int64_t shownPercent = -1;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t k = 0; k < total; ++k) {
        std::string bad;
        input.ReadBlock(source.Block, bad);
        if (!bad.empty()) {
            return fail(ExitBadInput, options.Input, bad);
        }
        if (InterruptPending()) {
            return fail(ExitInterrupted, options.Output, "interrupted; nothing written");
        }
        source.Position = 0;
        if (waterfall) {
            waterfall->SetBlock(k);
        }
        card.Advance(BlockFrames);
        for (int pass = 0; played.Count <= k && pass < 1000; ++pass) {
            QCoreApplication::processEvents();
        }
        if (played.Count != k + 1 || window.Running == 0) {
            return fail(ExitFailed, options.Output,
                        "the receiver stopped handling blocks at block " + std::to_string(k));
        }
        if (std::optional<OutputFailure> unwritten = outputs.WriteAudio(played.Last())) {
            return failed(*unwritten);
        }
        if (StatsWriter* stats = outputs.Stats()) {
            stats->Write(k, window.Exchange->Statistics(), window.Dsp->AgcPeak,
                         window.Dsp->SmeterLevel);
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
    window.Screens.Traces.SetWideTap(nullptr);

    result.Blocks = total;
    result.Seconds = std::chrono::duration<double>(stop - start).count();
    const double recorded = static_cast<double>(total) * BlockFrames / SampleRate;
    result.RealTimeFactor = result.Seconds > 0 ? recorded / result.Seconds : 0.0;
    result.Readout = controls.Readout().toStdString();

    if (outputs.WantsScreenshot()) {
        const QImage picture = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (std::optional<OutputFailure> unsaved = outputs.SaveScreenshot(picture)) {
            return failed(*unsaved);
        }
    }
    if (waterfall) {
        if (std::optional<OutputFailure> unsaved =
                outputs.SaveWaterfall(waterfall->Picture(window.LoFrequency()))) {
            return failed(*unsaved);
        }
    }
    if (std::optional<OutputFailure> unpublished = outputs.Publish()) {
        return failed(*unpublished);
    }
    return result;
}

} // namespace corvane::tools
