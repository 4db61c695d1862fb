#pragma once

// Window timers for a program whose "UI thread" is a plain loop: the loop
// calls runDue() whenever it wakes, and sleeps no longer than untilNextMs().
// Same semantics as the window's timers (window_timer.h): a different
// interval restarts the countdown, the same one or enabling a running timer
// changes nothing, disabling stops it. Time comes from the monotonic
// milliseconds given at construction. Loop thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_timer.h"

namespace velmora::cli {

class LoopTimerHost final : public TimerFactory {
public:
    explicit LoopTimerHost(std::function<std::int64_t()> monotonicMs);
    ~LoopTimerHost() override;
    LoopTimerHost(const LoopTimerHost&) = delete;
    LoopTimerHost& operator=(const LoopTimerHost&) = delete;

    std::unique_ptr<WindowTimer> create(const std::string& name) override;

    // Fires every enabled timer whose interval has run out, in due order;
    // a handler may change any timer. Returns how many fired.
    int runDue();
    // Milliseconds until the next enabled timer is due (0: now), or -1
    // when none is enabled.
    std::int64_t untilNextMs() const;

private:
    std::function<std::int64_t()> now_;
    std::shared_ptr<ListedTimer::List> timers_;
};

}  // namespace velmora::cli
