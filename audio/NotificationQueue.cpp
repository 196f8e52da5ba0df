// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "NotificationQueue.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

namespace corvane {

NotificationQueue::NotificationQueue() {
    WakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (WakeFd_ < 0) {
        CreateError_ = errno;
    }
}

NotificationQueue::~NotificationQueue() {
    if (WakeFd_ >= 0) {
        ::close(WakeFd_);
    }
}

void NotificationQueue::Push(std::int32_t id) noexcept {
    const std::uint64_t tail = Tail_.load(std::memory_order_relaxed);
    if (tail - Head_.load(std::memory_order_acquire) >= Capacity) {
        Dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Ids_[tail % Capacity].store(id, std::memory_order_relaxed);
    Tail_.store(tail + 1, std::memory_order_release);
    if (WakeFd_ >= 0) {
        const std::uint64_t one = 1;
        // A full counter (EAGAIN) still leaves the descriptor readable, so nothing is lost.
        [[maybe_unused]] const ssize_t written = ::write(WakeFd_, &one, sizeof one);
    }
}

bool NotificationQueue::Pop(std::int32_t& id) noexcept {
    const std::uint64_t head = Head_.load(std::memory_order_relaxed);
    if (head == Tail_.load(std::memory_order_acquire)) {
        return false;
    }
    id = Ids_[head % Capacity].load(std::memory_order_relaxed);
    Head_.store(head + 1, std::memory_order_release);
    return true;
}

void NotificationQueue::ClearWake() noexcept {
    if (WakeFd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(WakeFd_, &count, sizeof count);
    }
}

} // namespace corvane
