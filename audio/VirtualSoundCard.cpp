// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "VirtualSoundCard.h"

#include <algorithm>
#include <chrono>

namespace corvane {

void SilenceSource::Fill(std::span<std::int16_t> frames) {
    std::fill(frames.begin(), frames.end(), std::int16_t{0});
}

VirtualSoundCard::VirtualSoundCard(CaptureSource& source, PlaybackSink& sink,
                                   VirtualCardOptions options)
    : Source_(source), Sink_(sink), Options_(options) {
    Rings_.SetLatencyFrames(std::clamp(options.LatencyFrames, 0, PlayRingFrames - 1));
}

VirtualSoundCard::~VirtualSoundCard() {
    Shutdown();
    StopClock();
}

SoundStatus VirtualSoundCard::Enter(SoundOp op) {
    Log_.push_back(op);
    for (const auto& [failing, message] : Failures_) {
        if (failing == op) {
            return SoundStatus::Unable(op, message);
        }
    }
    return {};
}

void VirtualSoundCard::FailOperation(SoundOp op, std::string message) {
    Failures_.emplace_back(op, std::move(message));
}

void VirtualSoundCard::FailStream(std::string message) {
    StreamMessage_ = std::move(message);
    if (Options_.Clock == CardClock::Caller) {
        Dead_.store(true, std::memory_order_release);
        SignalStreamFailure();
    } else {
        KillStream_.store(true, std::memory_order_release);
    }
}

void VirtualSoundCard::Period(std::int32_t frames) noexcept {
    if (KillStream_.exchange(false, std::memory_order_acq_rel)) {
        Dead_.store(true, std::memory_order_release);
        SignalStreamFailure();
    }
    if (Dead_.load(std::memory_order_acquire) || Stalled_.load(std::memory_order_acquire)) {
        return;
    }
    const auto samples = static_cast<std::size_t>(2 * frames);
    Source_.Fill(std::span(In_).first(samples));
    if (Options_.PlaybackRatio == 1.0) {
        Rings_.Transfer(In_.data(), Out_.data(), frames);
        Sink_.Take(std::span<const std::int16_t>(Out_).first(samples));
    } else {
        Rings_.Capture(In_.data(), frames);
        PlaybackDebt_ += frames * Options_.PlaybackRatio;
        const auto played = std::clamp(static_cast<std::int32_t>(PlaybackDebt_), 0, 1024);
        PlaybackDebt_ -= played;
        Rings_.Fetch(Out_.data(), played);
        Sink_.Take(std::span<const std::int16_t>(Out_).first(static_cast<std::size_t>(2 * played)));
    }
    FramesRun_.fetch_add(frames, std::memory_order_release);
}

void VirtualSoundCard::Advance(std::int32_t frames, std::int32_t maxPeriod) {
    if (Options_.Clock != CardClock::Caller || !Running_.load(std::memory_order_acquire)) {
        return;
    }
    const std::int32_t period = std::clamp(maxPeriod, 1, 1024);
    while (frames > 0) {
        const std::int32_t n = std::min(frames, period);
        Period(n);
        frames -= n;
    }
}

SoundStatus VirtualSoundCard::RunDevice(bool /*afterFailure*/) {
    Dead_.store(false, std::memory_order_release);
    Stalled_.store(Options_.StartStalled, std::memory_order_release);
    KillStream_.store(false, std::memory_order_release);
    Running_.store(true, std::memory_order_release);
    if (Options_.Clock != CardClock::Caller) {
        StopClock_.store(false, std::memory_order_release);
        Clock_ = std::thread([this] { RunClock(); });
    }
    return {};
}

SoundStatus VirtualSoundCard::HaltDevice() {
    StopClock();
    Running_.store(false, std::memory_order_release);
    return {};
}

void VirtualSoundCard::StopClock() {
    if (Clock_.joinable()) {
        StopClock_.store(true, std::memory_order_release);
        Clock_.join();
    }
}

void VirtualSoundCard::RunClock() noexcept {
    using Clock = std::chrono::steady_clock;
    const std::int32_t period = std::clamp(Options_.PeriodFrames, 1, 1024);
    const auto periodTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(period) / SampleRate));
    auto next = Clock::now();
    NotificationQueue& queue = Notifications();
    while (!StopClock_.load(std::memory_order_acquire)) {
        if (Options_.Clock == CardClock::AsFastAsProcessed && Rings_.Capturing()) {
            // Wait until every notification pushed so far has been handled, then run up to and
            // including the next one (at most one capture ring, should none be armed).
            while (queue.Handled() < queue.Pushed() &&
                   !StopClock_.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
            const std::uint64_t pushed = queue.Pushed();
            for (std::int32_t run = 0; run < CaptureRingFrames && queue.Pushed() == pushed &&
                                       !StopClock_.load(std::memory_order_acquire) &&
                                       !Dead_.load(std::memory_order_acquire);
                 run += period) {
                Period(period);
            }
            if (Dead_.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            next = Clock::now(); // playback alone, after capture stops, runs in real time
            continue;
        }
        Period(period);
        next += periodTime;
        std::this_thread::sleep_until(next);
    }
}

} // namespace corvane
