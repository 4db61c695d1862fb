#include "platform/window_timer.h"

#include <algorithm>
#include <limits>

namespace velmora {

struct ManualTimerHost::Impl final : WindowTimer {
    ManualTimerHost* host;
    std::string name;
    std::uint64_t order;
    int intervalMs = 1000;
    bool on = false;
    std::int64_t due = 0;
    std::function<void()> handler;
    std::weak_ptr<std::vector<Impl*>> registry;

    ~Impl() override {
        if (auto list = registry.lock()) {
            list->erase(std::remove(list->begin(), list->end(), this), list->end());
        }
    }
    void restart() { due = host->now_ + intervalMs; }
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

ManualTimerHost::ManualTimerHost() : timers_(std::make_shared<std::vector<Impl*>>()) {}
ManualTimerHost::~ManualTimerHost() {
    for (Impl* t : *timers_) t->registry.reset();
}

std::unique_ptr<WindowTimer> ManualTimerHost::create(const std::string& name) {
    static std::uint64_t counter = 0;
    auto t = std::make_unique<Impl>();
    t->host = this;
    t->name = name;
    t->order = counter++;
    t->registry = timers_;
    timers_->push_back(t.get());
    return t;
}

WindowTimer* ManualTimerHost::find(const std::string& name) const {
    for (Impl* t : *timers_)
        if (t->name == name) return t;
    return nullptr;
}

void ManualTimerHost::advance(std::int64_t milliseconds) {
    const std::int64_t target = now_ + milliseconds;
    for (;;) {
        Impl* next = nullptr;
        for (Impl* t : *timers_) {
            if (!t->on || t->intervalMs <= 0 || t->due > target) continue;
            if (!next || t->due < next->due || (t->due == next->due && t->order < next->order)) next = t;
        }
        if (!next) break;
        now_ = next->due;
        next->restart();
        if (next->handler) {
            auto h = next->handler;  // the handler may replace itself
            h();
        }
    }
    now_ = target;
}

}  // namespace velmora
