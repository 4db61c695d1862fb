#include "cli/loop_timers.h"

#include <algorithm>
#include <limits>

namespace velmora::cli {

struct LoopTimerHost::Timer final : WindowTimer {
    std::function<std::int64_t()> now;
    std::weak_ptr<std::vector<Timer*>> registry;
    int intervalMs = 1000;
    bool on = false;
    std::int64_t due = 0;
    std::function<void()> handler;

    ~Timer() override {
        if (auto list = registry.lock()) list->erase(std::remove(list->begin(), list->end(), this), list->end());
    }
    void restart() { due = now() + intervalMs; }
    void setInterval(int ms) override {
        if (ms == intervalMs) return;
        intervalMs = ms;
        if (on) restart();
    }
    int interval() const override { return intervalMs; }
    void setEnabled(bool e) override {
        if (e == on) return;
        on = e;
        if (on) restart();
    }
    bool enabled() const override { return on; }
    void setOnTimer(std::function<void()> h) override { handler = std::move(h); }
};

LoopTimerHost::LoopTimerHost(std::function<std::int64_t()> monotonicMs)
    : now_(std::move(monotonicMs)), timers_(std::make_shared<std::vector<Timer*>>()) {}

LoopTimerHost::~LoopTimerHost() {
    for (Timer* t : *timers_) t->registry.reset();
}

std::unique_ptr<WindowTimer> LoopTimerHost::create(const std::string&) {
    auto t = std::make_unique<Timer>();
    t->now = now_;
    t->registry = timers_;
    timers_->push_back(t.get());
    return t;
}

int LoopTimerHost::runDue() {
    int fired = 0;
    // One pass per due timer: a handler may create, change or destroy
    // timers, so the list is searched afresh each time.
    for (int guard = 0; guard < 1000; ++guard) {
        const std::int64_t now = now_();
        Timer* next = nullptr;
        for (Timer* t : *timers_) {
            if (t->on && t->intervalMs > 0 && t->due <= now && (!next || t->due < next->due)) next = t;
        }
        if (!next) break;
        next->due = now + next->intervalMs;
        ++fired;
        if (next->handler) next->handler();
    }
    return fired;
}

std::int64_t LoopTimerHost::untilNextMs() const {
    const std::int64_t now = now_();
    std::int64_t best = -1;
    for (const Timer* t : *timers_) {
        if (!t->on || t->intervalMs <= 0) continue;
        const std::int64_t left = std::max<std::int64_t>(t->due - now, 0);
        if (best < 0 || left < best) best = left;
    }
    return best;
}

}  // namespace velmora::cli
