// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "BlockExchange.h"
#include "VirtualSoundCard.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvane::test {

// Capture that numbers itself: frame k since the card started carries L = 1 + (k / 2048) % 32767
// (its block, never 0) and R = k % 2048 (its place in the block). Blocks line up with the
// capture halves when capture starts at the card's first frame.
class CountingSource final : public CaptureSource {
public:
    void Fill(std::span<std::int16_t> frames) override {
        for (std::size_t j = 0; j + 1 < frames.size(); j += 2) {
            frames[j] = static_cast<std::int16_t>(1 + (Next / 2048) % 32767);
            frames[j + 1] = static_cast<std::int16_t>(Next % 2048);
            ++Next;
        }
    }
    std::int64_t Next = 0;
};

// Checks the played stream as it goes: after the leading silence every frame must be the
// successor of the one before (in CountingSource's numbering), so a lost, repeated or
// reordered block shows as a break. Also measures how far playback lags capture.
class SequenceSink final : public PlaybackSink {
public:
    void Take(std::span<const std::int16_t> frames) override {
        for (std::size_t j = 0; j + 1 < frames.size(); j += 2, ++Time) {
            const std::int16_t block = frames[j];
            const std::int16_t place = frames[j + 1];
            if (!Started) {
                if (block == 0 && place == 0) {
                    continue;
                }
                Started = true;
                FirstBlock = block;
                Lag = Time - ((block - 1) * 2048 + place);
            } else {
                const bool next = PrevPlace == 2047 ? block == PrevBlock % 32767 + 1 && place == 0
                                                    : block == PrevBlock && place == PrevPlace + 1;
                if (!next && Breaks.fetch_add(1, std::memory_order_relaxed) == 0) {
                    FirstBreak = Time;
                    FirstBreakFrame = (block - 1) * 2048 + place;
                }
            }
            if (place == 2047) {
                BlocksPlayed.fetch_add(1, std::memory_order_relaxed);
            }
            PrevBlock = block;
            PrevPlace = place;
        }
    }

    bool Started = false;
    std::int16_t FirstBlock = 0;
    std::int64_t Lag = 0;  // frames from capture to playback of the first played frame
    std::int64_t Time = 0; // frames the device has played
    std::int16_t PrevBlock = 0;
    std::int16_t PrevPlace = 0;
    std::atomic<std::int64_t> Breaks{0}; // frames that do not follow the one before
    std::int64_t FirstBreak = -1;        // device time of the first break
    std::int64_t FirstBreakFrame = -1;   // capture frame found there
    std::atomic<std::int64_t> BlocksPlayed{0};
};

// The minimal owner of a BlockExchange, standing in for the receiver window.
class TestClient final : public ExchangeClient {
public:
    void ProcessBlock(std::span<const std::int16_t> InBlock,
                      std::span<std::int16_t> OutBlock) override {
        ++Depth;
        MaxDepth = std::max(MaxDepth, Depth);
        ++Processed;
        if (Process) {
            Process(InBlock, OutBlock);
        } else {
            std::copy(InBlock.begin(), InBlock.end(), OutBlock.begin());
        }
        --Depth;
    }
    void DoEvents() override {
        ++Depth;
        ++EventPasses;
        if (BeforeEvents) {
            BeforeEvents();
        }
        QCoreApplication::processEvents();
        --Depth;
    }
    void ShowRunTime(double meanSeconds) override { RunTimes.push_back(meanSeconds); }
    void SoundFailed(const SoundStatus& status) override { Failures.push_back(status); }
    void ShowInputState(InputState state) override { Input = state; }
    void ShowCounters(const SoundCounters&, std::uint64_t, std::uint64_t stalledBlocks) override {
        StalledBlocks = stalledBlocks;
    }

    InputState Input = InputState::Flowing; // as last shown
    std::uint64_t StalledBlocks = 0;        // as last shown
    std::function<void(std::span<const std::int16_t>, std::span<std::int16_t>)> Process;
    std::function<void()> BeforeEvents; // runs at the start of each event-loop pass
    int Depth = 0;
    int MaxDepth = 0;
    int Processed = 0;
    int EventPasses = 0;
    std::vector<double> RunTimes; // every mean handed over for "Run mS", seconds
    std::vector<SoundStatus> Failures;
};

// Lets the event loop deliver whatever the card has signalled.
inline void RunEvents() {
    QCoreApplication::processEvents();
}

} // namespace corvane::test
