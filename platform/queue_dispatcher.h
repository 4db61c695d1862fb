#pragma once

#include "platform/ui_dispatcher.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora {

// A UiDispatcher over a plain task queue that the UI thread drains. The
// Qt dispatcher drains it from the Qt event loop (its wake-up posts a
// queued call); tests drain it by hand, from the thread that made it.
class QueueDispatcher : public UiDispatcher {
public:
    // The calling thread becomes the UI thread.
    QueueDispatcher();
    ~QueueDispatcher() override;

    bool runAndWait(std::function<void()> fn) override;
    bool post(std::function<void()> fn) override;
    void shutdown() override;

    // Called (from any thread) whenever a task was queued, so that the UI
    // loop knows to call drain(). Set it before other threads use this.
    void setWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }

    // UI thread: runs every queued task, including ones queued meanwhile.
    // Returns how many ran.
    int drain();
    // UI thread: drains until pred() holds or `timeoutMs` passes (real
    // time; for integration tests that wait on real I/O). True if pred held.
    bool drainUntil(const std::function<bool()>& pred, int timeoutMs);

    bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }
    bool stopped() const;

private:
    struct Task;
    bool enqueue(const std::shared_ptr<Task>& task);

    std::thread::id uiThread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Task>> queue_;
    bool stopped_ = false;
    std::function<void()> wakeup_;
};

}  // namespace velmora
