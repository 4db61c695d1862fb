#include "cli/loop_timers.h"

#include <algorithm>
#include <limits>

namespace velmora::cli {

LoopTimerHost::LoopTimerHost(std::function<std::int64_t()> monotonicMs)
    : now_(std::move(monotonicMs)), timers_(std::make_shared<ListedTimer::List>()) {}

LoopTimerHost::~LoopTimerHost() { detachTimers(*timers_); }

std::unique_ptr<WindowTimer> LoopTimerHost::create(const std::string& name) {
    return std::make_unique<ListedTimer>(now_, timers_, name, 0);
}

int LoopTimerHost::runDue() {
    int fired = 0;
    // One pass per due timer: a handler may create, change or destroy
    // timers, so the list is searched afresh each time.
    for (int guard = 0; guard < 1000; ++guard) {
        const std::int64_t now = now_();
        ListedTimer* next = nullptr;
        for (ListedTimer* t : *timers_) {
            if (t->running() && t->due <= now && (!next || t->due < next->due)) next = t;
        }
        if (!next) break;
        next->due = now + next->intervalMs;
        ++fired;
        if (next->handler) {
            auto h = next->handler;  // the handler may replace itself
            h();
        }
    }
    return fired;
}

std::int64_t LoopTimerHost::untilNextMs() const {
    const std::int64_t now = now_();
    std::int64_t best = -1;
    for (const ListedTimer* t : *timers_) {
        if (!t->running()) continue;
        const std::int64_t left = std::max<std::int64_t>(t->due - now, 0);
        if (best < 0 || left < best) best = left;
    }
    return best;
}

}  // namespace velmora::cli
