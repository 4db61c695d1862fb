#include "platform/queue_dispatcher.h"

#include <chrono>

namespace velmora {

struct QueueDispatcher::Task {
    std::function<void()> fn;
    bool waited = false;  // a runAndWait caller waits on `done`
    bool done = false;    // ran, or was dropped by shutdown
};

QueueDispatcher::QueueDispatcher() : uiThread_(std::this_thread::get_id()) {}

QueueDispatcher::~QueueDispatcher() { shutdown(); }

bool QueueDispatcher::stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

bool QueueDispatcher::enqueue(const std::shared_ptr<Task>& task) {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return false;
        queue_.push_back(task);
    }
    cv_.notify_all();
    if (wakeup_) wakeup_();
    return true;
}

bool QueueDispatcher::runAndWait(std::function<void()> fn) {
    if (onUiThread()) {
        if (stopped()) return false;
        fn();
        return true;
    }
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    task->waited = true;
    if (!enqueue(task)) return false;
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return task->done || stopped_; });
    // After shutdown a task still queued never runs; one that is running
    // right now (on the UI thread) owns no state of ours, so leaving is safe.
    return task->done;
}

bool QueueDispatcher::post(std::function<void()> fn) {
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    return enqueue(task);
}

void QueueDispatcher::shutdown() {
    std::deque<std::shared_ptr<Task>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        dropped.swap(queue_);
    }
    cv_.notify_all();
    // Dropped tasks are destroyed here, on the UI thread, outside the lock.
}

int QueueDispatcher::drain() {
    int ran = 0;
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty() || stopped_) break;
            task = queue_.front();
            queue_.pop_front();
        }
        auto fn = std::move(task->fn);
        // Marked done even when fn throws, so a waiting caller is released.
        struct Finish {
            QueueDispatcher& d;
            Task& t;
            ~Finish() {
                {
                    std::lock_guard lock(d.mutex_);
                    t.done = true;
                }
                if (t.waited) d.cv_.notify_all();
            }
        } finish{*this, *task};
        ++ran;
        fn();
    }
    return ran;
}

bool QueueDispatcher::drainUntil(const std::function<bool()>& pred, int timeoutMs) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        drain();
        if (pred()) return true;
        if (clock::now() >= deadline) return false;
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(2), [&] { return !queue_.empty() || stopped_; });
    }
}

}  // namespace velmora
