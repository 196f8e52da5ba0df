// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "IqRecorder.h"

#include <algorithm>
#include <cstdio>

namespace corvane {

IqRecorder::~IqRecorder() {
    [[maybe_unused]] const std::string ignored = Stop();
}

std::string IqRecorder::Start(const std::string& path) {
    if (Recording()) {
        return "a recording is already running";
    }
    if (std::string failed = File_.Open(path); !failed.empty()) {
        return path + ": " + failed;
    }
    // A recording cut short by a crash or a power cut is still a valid file up to its last
    // block.
    File_.KeepHeaderCurrent();
    Path_ = path;
    Ring_.assign(static_cast<std::size_t>(RingBlocks) * BlockSamples, 0);
    Head_.store(0, std::memory_order_relaxed);
    Tail_.store(0, std::memory_order_relaxed);
    Written_.store(0, std::memory_order_relaxed);
    Dropped_.store(0, std::memory_order_relaxed);
    Stop_.store(false, std::memory_order_relaxed);
    WriteFailed_.store(false, std::memory_order_relaxed);
    WriteError_.clear();
    while (Queued_.try_acquire()) {
    }
    Worker_ = std::thread([this] { Run(); });
    return {};
}

void IqRecorder::Captured(std::span<const std::int16_t> block) noexcept {
    if (!Worker_.joinable()) {
        return;
    }
    const std::uint64_t head = Head_.load(std::memory_order_relaxed);
    if (head - Tail_.load(std::memory_order_acquire) >= RingBlocks ||
        WriteFailed_.load(std::memory_order_relaxed)) {
        Dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const std::size_t n = std::min<std::size_t>(block.size(), BlockSamples);
    std::int16_t* slot = Ring_.data() + (head % RingBlocks) * BlockSamples;
    std::copy_n(block.data(), n, slot);
    std::fill(slot + n, slot + BlockSamples, std::int16_t{0});
    Head_.store(head + 1, std::memory_order_release);
    Queued_.release();
}

void IqRecorder::Run() noexcept {
    for (;;) {
        Queued_.acquire();
        const std::uint64_t tail = Tail_.load(std::memory_order_relaxed);
        if (tail == Head_.load(std::memory_order_acquire)) {
            if (Stop_.load(std::memory_order_acquire)) {
                return; // everything queued before Stop is written
            }
            continue;
        }
        const std::span<const std::int16_t> slot(Ring_.data() + (tail % RingBlocks) * BlockSamples,
                                                 BlockSamples);
        if (!WriteFailed_.load(std::memory_order_relaxed)) {
            if (std::string failed = File_.Write(slot); !failed.empty()) {
                WriteError_ = failed;
                WriteFailed_.store(true, std::memory_order_relaxed);
            } else {
                Written_.fetch_add(1, std::memory_order_relaxed);
            }
        }
        Tail_.store(tail + 1, std::memory_order_release);
    }
}

std::string IqRecorder::Stop() {
    if (!Worker_.joinable()) {
        return {};
    }
    Stop_.store(true, std::memory_order_release);
    Queued_.release();
    Worker_.join();
    std::string why;
    if (WriteFailed_.load(std::memory_order_relaxed)) {
        why = Path_ + ": the recording could not be written (" + WriteError_ + ")";
    }
    if (const bool closed = File_.Close().empty(); !closed && why.empty()) {
        why = Path_ + ": the recording could not be closed";
    }
    if (const std::uint64_t dropped = Dropped_.load(std::memory_order_relaxed);
        dropped > 0 && why.empty()) {
        why = Path_ + ": " + std::to_string(dropped) +
              " blocks were left out because the disk could not keep up";
    }
    Ring_.clear();
    Ring_.shrink_to_fit();
    return why;
}

} // namespace corvane
