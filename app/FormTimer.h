// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <QTimer>

#include <cstdint>
#include <functional>
#include <utility>

namespace corvane {

// A window timer with the two switches the receiver's timers are driven by: an interval in
// milliseconds (0 = stopped) and an enabled flag. It ticks on the UI thread while both allow it.
class FormTimer {
public:
    explicit FormTimer(std::function<void()> tick) : Tick(std::move(tick)) {
        Timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
    }
    FormTimer(const FormTimer&) = delete;
    FormTimer& operator=(const FormTimer&) = delete;

    std::int32_t Interval() const { return IntervalMs; }
    bool Enabled() const { return EnabledFlag; }
    bool Ticking() const { return Timer.isActive(); }

    void SetInterval(std::int32_t ms) {
        IntervalMs = ms;
        Apply();
    }
    void SetEnabled(bool enabled) {
        EnabledFlag = enabled;
        Apply();
    }

private:
    void Apply() {
        if (EnabledFlag && IntervalMs > 0) {
            // Restarting an already running timer with the same interval would shift its phase.
            if (!Timer.isActive() || Timer.interval() != IntervalMs) {
                Timer.start(IntervalMs);
            }
        } else {
            Timer.stop();
        }
    }

    std::function<void()> Tick;
    QTimer Timer;
    std::int32_t IntervalMs = 0;
    bool EnabledFlag = true;
};

} // namespace corvane
