#include "platform/window_timer.h"

#include <algorithm>
#include <limits>

namespace velmora {

ListedTimer::ListedTimer(std::function<std::int64_t()> clock, const std::shared_ptr<List>& list,
                         std::string timerName, std::uint64_t creationOrder)
    : now(std::move(clock)), registry(list), name(std::move(timerName)), order(creationOrder) {
    list->push_back(this);
}

ListedTimer::~ListedTimer() {
    if (auto list = registry.lock()) list->erase(std::remove(list->begin(), list->end(), this), list->end());
}

void ListedTimer::setInterval(int ms) {
    if (ms == intervalMs) return;
    intervalMs = ms;
    if (on) restart();
}

void ListedTimer::setEnabled(bool e) {
    if (e == on) return;
    on = e;
    if (on) restart();
}

void detachTimers(const ListedTimer::List& list) {
    for (ListedTimer* t : list) t->registry.reset();
}

ManualTimerHost::ManualTimerHost() : timers_(std::make_shared<ListedTimer::List>()) {}
ManualTimerHost::~ManualTimerHost() { detachTimers(*timers_); }

std::unique_ptr<WindowTimer> ManualTimerHost::create(const std::string& name) {
    static std::uint64_t counter = 0;
    return std::make_unique<ListedTimer>([this] { return now_; }, timers_, name, counter++);
}

WindowTimer* ManualTimerHost::find(const std::string& name) const {
    for (ListedTimer* t : *timers_)
        if (t->name == name) return t;
    return nullptr;
}

void ManualTimerHost::advance(std::int64_t milliseconds) {
    const std::int64_t target = now_ + milliseconds;
    for (;;) {
        ListedTimer* next = nullptr;
        for (ListedTimer* t : *timers_) {
            if (!t->running() || t->due > target) continue;
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
