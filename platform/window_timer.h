#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A timer with the semantics of a classic window timer:
//  - setting the interval to a *different* value restarts the countdown,
//  - setting the *same* value, or enabling a running timer, changes nothing,
//  - disabling stops it; enabling a stopped timer starts a full interval.
// A timer whose interval is 0 never fires. All calls happen on the UI thread.
class WindowTimer {
public:
    virtual ~WindowTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    // Called on every expiry while enabled.
    virtual void setOnTimer(std::function<void()> handler) = 0;
};

// Makes the window timers of one window (Qt in the program, manual in tests).
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<WindowTimer> create(const std::string& name) = 0;
};

// Test and benchmark implementation: time only moves when advance() is
// called, so a 20 s watchdog or a one-hour clock sync runs in microseconds.
class ManualTimerHost final : public TimerFactory {
public:
    ManualTimerHost();
    ~ManualTimerHost() override;

    std::unique_ptr<WindowTimer> create(const std::string& name) override;

    // Moves the manual clock forward, firing every timer that falls due in
    // order of its due time (ties in creation order). A handler may change
    // any timer, including its own; changes take effect immediately.
    void advance(std::int64_t milliseconds);
    std::int64_t nowMs() const { return now_; }

    // Named timer created by this host, or nullptr.
    WindowTimer* find(const std::string& name) const;

    struct Impl;

private:
    std::int64_t now_ = 0;
    std::shared_ptr<std::vector<Impl*>> timers_;
};

}  // namespace velmora
