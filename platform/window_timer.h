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

// A window timer kept in the list of a host that fires its timers itself
// (the manual host below, a command-line program's loop). The host decides
// when `due` has come; the timer keeps the window-timer rules above. It
// leaves the list when destroyed; a host that goes first detaches its timers.
struct ListedTimer final : WindowTimer {
    using List = std::vector<ListedTimer*>;

    ListedTimer(std::function<std::int64_t()> clock, const std::shared_ptr<List>& list, std::string timerName,
                std::uint64_t creationOrder);
    ~ListedTimer() override;
    ListedTimer(const ListedTimer&) = delete;
    ListedTimer& operator=(const ListedTimer&) = delete;

    // A full interval from the host's present time.
    void restart() { due = now() + intervalMs; }
    // Enabled with an interval that can fall due.
    bool running() const { return on && intervalMs > 0; }

    void setInterval(int ms) override;
    int interval() const override { return intervalMs; }
    void setEnabled(bool e) override;
    bool enabled() const override { return on; }
    void setOnTimer(std::function<void()> h) override { handler = std::move(h); }

    std::function<std::int64_t()> now;
    std::weak_ptr<List> registry;
    std::string name;
    std::uint64_t order = 0;
    int intervalMs = 1000;
    bool on = false;
    std::int64_t due = 0;
    std::function<void()> handler;
};

// Called by a host on its way out: its timers no longer try to leave it.
void detachTimers(const ListedTimer::List& list);

// Test and benchmark implementation: time only moves when advance() is
// called, so a 20 s watchdog or a one-hour clock sync runs in microseconds.
class ManualTimerHost final : public TimerFactory {
public:
    ManualTimerHost();
    ~ManualTimerHost() override;
    ManualTimerHost(const ManualTimerHost&) = delete;
    ManualTimerHost& operator=(const ManualTimerHost&) = delete;

    std::unique_ptr<WindowTimer> create(const std::string& name) override;

    // Moves the manual clock forward, firing every timer that falls due in
    // order of its due time (ties in creation order). A handler may change
    // any timer, including its own; changes take effect immediately.
    void advance(std::int64_t milliseconds);
    std::int64_t nowMs() const { return now_; }

    // Named timer created by this host, or nullptr.
    WindowTimer* find(const std::string& name) const;

private:
    std::int64_t now_ = 0;
    std::shared_ptr<ListedTimer::List> timers_;
};

}  // namespace velmora
