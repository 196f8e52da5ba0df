// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "NotificationPump.h"

#include <utility>

namespace corvane {

NotificationPump::NotificationPump(NotificationQueue& queue, Handler handler)
    : Queue_(queue), Handler_(std::move(handler)),
      Notifier_(queue.WakeFd(), QSocketNotifier::Read) {
    QObject::connect(&Notifier_, &QSocketNotifier::activated, [this] { DeliverPending(); });
}

void NotificationPump::DeliverPending() {
    // Clear the wake-up first: an id pushed after this point wakes us again.
    Queue_.ClearWake();
    if (Delivering_) {
        return;
    }
    Delivering_ = true;
    std::int32_t id = 0;
    while (Queue_.Pop(id)) {
        Handler_(id);
        Queue_.Acknowledge();
    }
    Delivering_ = false;
}

} // namespace corvane
