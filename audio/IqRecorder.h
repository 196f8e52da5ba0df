// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "BlockExchange.h"
#include "WavWriter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <semaphore>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace corvane {

// Records the captured I/Q blocks to a WAV file (48000 Hz, 16-bit, I left, Q right: what
// corvane-replay reads) from a worker thread. The capture handler only copies each block into
// a ring made when recording starts; the worker writes them. Nothing blocks, allocates or
// touches a file inside the handler.
class IqRecorder final : public CaptureTap {
public:
    static constexpr std::int32_t RingBlocks = 128; // 5.5 s of I/Q the disk may fall behind

    IqRecorder() = default;
    ~IqRecorder() override;
    IqRecorder(const IqRecorder&) = delete;
    IqRecorder& operator=(const IqRecorder&) = delete;

    // Opens (replaces) the file and starts the worker. Empty on success, else why not.
    std::string Start(const std::string& path);
    // Writes what is queued, closes the file. Empty when every block reached the file, else
    // what went wrong (a write error, blocks dropped because the disk fell behind).
    std::string Stop();
    bool Recording() const { return Worker_.joinable(); }
    const std::string& Path() const { return Path_; }
    std::int64_t BlocksWritten() const { return Written_.load(std::memory_order_relaxed); }

    void Captured(std::span<const std::int16_t> block) noexcept override;

private:
    void Run() noexcept;

    std::string Path_;
    WavWriter File_;
    std::vector<std::int16_t> Ring_;     // RingBlocks blocks, made by Start
    std::atomic<std::uint64_t> Head_{0}; // blocks queued by the handler
    std::atomic<std::uint64_t> Tail_{0}; // blocks written by the worker
    std::atomic<std::int64_t> Written_{0};
    std::atomic<std::uint64_t> Dropped_{0};
    std::atomic<bool> Stop_{false};
    std::atomic<bool> WriteFailed_{false};
    std::string WriteError_; // set by the worker, read after it is joined
    std::counting_semaphore<RingBlocks + 1> Queued_{0};
    std::thread Worker_;
};

} // namespace corvane
