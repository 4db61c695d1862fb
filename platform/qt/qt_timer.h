#pragma once

#include "platform/window_timer.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace velmora {

// WindowTimer over a QTimer. QTimer::setInterval restarts a running timer
// even for an equal value, so the interval and the enabled state are kept
// here and the QTimer is only (re)started when the window-timer rules say
// the countdown starts afresh:
//  - setInterval with a different value while enabled: restart (or stop
//    for 0, which never fires);
//  - setInterval with the same value, setEnabled(true) while enabled:
//    nothing;
//  - setEnabled(false): stop; setEnabled(true) from stopped: a full interval.
// A new timer is disabled with interval 0. UI thread only.
class QtWindowTimer final : public WindowTimer {
public:
    explicit QtWindowTimer(const std::string& name = {});
    ~QtWindowTimer() override;
    QtWindowTimer(const QtWindowTimer&) = delete;
    QtWindowTimer& operator=(const QtWindowTimer&) = delete;

    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

    // True while the countdown runs (enabled with an interval above 0).
    bool counting() const { return timer_.isActive(); }
    // Milliseconds until the next expiry; -1 while not counting.
    int remainingMs() const { return timer_.remainingTime(); }

private:
    void restart();
    void fire();

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> handler_;
};

// Makes QtWindowTimers; the name becomes the QTimer's object name.
class QtTimerFactory final : public TimerFactory {
public:
    std::unique_ptr<WindowTimer> create(const std::string& name) override;
};

}  // namespace velmora
