// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "NotificationQueue.h"

#include <QSocketNotifier>

#include <cstdint>
#include <functional>

namespace corvane {

// Brings capture notifications onto the UI thread's Qt event loop: the queue's eventfd is
// watched by a QSocketNotifier, and each id is handed to the handler in arrival order.
//
// A notification never runs inside another. The capture handler lets the event loop run once
// in the middle of its work; a notification that arrives then is left queued and handled right
// after the current one returns, so no processed block is overwritten before it is played.
class NotificationPump {
public:
    using Handler = std::function<void(std::int32_t eventId)>;

    // Must be made on the UI thread, with a QCoreApplication alive.
    NotificationPump(NotificationQueue& queue, Handler handler);
    NotificationPump(const NotificationPump&) = delete;
    NotificationPump& operator=(const NotificationPump&) = delete;

    // Hands every queued notification to the handler; does nothing when called from inside the
    // handler (the outer call delivers what arrived meanwhile).
    void DeliverPending();

    bool Delivering() const { return Delivering_; }

private:
    NotificationQueue& Queue_;
    Handler Handler_;
    QSocketNotifier Notifier_;
    bool Delivering_ = false;
};

} // namespace corvane
