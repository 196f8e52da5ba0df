// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace corvane {

// Carries capture notifications (event ids) from the device side to the UI thread.
//
// One producer (the audio callback, or the virtual card's clock) and one consumer (the UI
// thread). Push is lock-free and allocation-free: it stores the id, publishes it with a
// release store and writes to an eventfd that the UI thread's event loop watches. Everything the
// producer wrote before a Push (the captured frames) is visible to the consumer after the
// matching Pop.
class NotificationQueue {
public:
    static constexpr std::uint32_t Capacity = 64; // about 2.7 s of notifications

    NotificationQueue();
    ~NotificationQueue();
    NotificationQueue(const NotificationQueue&) = delete;
    NotificationQueue& operator=(const NotificationQueue&) = delete;

    // The eventfd could be made; otherwise WakeFd() is -1 and CreateError() has the errno.
    bool Valid() const { return WakeFd_ >= 0; }
    int WakeFd() const { return WakeFd_; }
    int CreateError() const { return CreateError_; }

    // Producer side. A full queue drops the id and counts it.
    void Push(std::int32_t id) noexcept;
    std::uint64_t Pushed() const noexcept { return Tail_.load(std::memory_order_acquire); }

    // Consumer side.
    bool Pop(std::int32_t& id) noexcept;
    void ClearWake() noexcept; // reads the eventfd so that its watcher goes quiet
    void Acknowledge() noexcept { Handled_.fetch_add(1, std::memory_order_release); }
    std::uint64_t Handled() const noexcept { return Handled_.load(std::memory_order_acquire); }

    std::uint64_t Dropped() const noexcept { return Dropped_.load(std::memory_order_relaxed); }

private:
    std::array<std::atomic<std::int32_t>, Capacity> Ids_{};
    std::atomic<std::uint64_t> Head_{0};    // next to pop; written by the consumer
    std::atomic<std::uint64_t> Tail_{0};    // next to push; written by the producer
    std::atomic<std::uint64_t> Handled_{0}; // notifications the consumer finished handling
    std::atomic<std::uint64_t> Dropped_{0};
    int WakeFd_ = -1;
    int CreateError_ = 0;
};

} // namespace corvane
