#pragma once

#include <atomic>
#include <functional>

namespace velmora {

// Hands work from the reader thread to the UI thread.
class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;
    // Runs fn on the UI thread and returns after it has run: true.
    // Returns false without running fn once shutdown() has begun, so that the
    // reader never waits on a UI thread that is joining it. Calling it from
    // the UI thread itself runs fn directly.
    virtual bool runAndWait(std::function<void()> fn) = 0;
    // Queues fn for the UI thread and returns at once; false after shutdown.
    virtual bool post(std::function<void()> fn) = 0;
    // Refuses new hand-overs and releases any that are waiting.
    virtual void shutdown() = 0;
};

// Runs everything on the calling thread at once: for tests and benchmarks
// whose "UI thread" is the test itself.
class DirectDispatcher final : public UiDispatcher {
public:
    bool runAndWait(std::function<void()> fn) override {
        if (stopped_) return false;
        fn();
        return true;
    }
    bool post(std::function<void()> fn) override { return runAndWait(std::move(fn)); }
    void shutdown() override { stopped_ = true; }

private:
    std::atomic<bool> stopped_{false};
};

}  // namespace velmora
