#pragma once

#include "platform/queue_dispatcher.h"

#include <functional>
#include <memory>
#include <string>

class QObject;

namespace velmora {

// The UiDispatcher of the Qt program: hand-overs from the reader are queued
// and the Qt event loop of the UI thread runs them. Every wake-up posts a
// queued call to an object living on the UI thread, which drains the queue;
// spare calls find it empty and cost nothing.
//
// Create it on the UI thread once a QCoreApplication exists. Destroy it on
// the UI thread only after every other thread that used it has been joined
// (shutdown() first releases readers that wait, see UiDispatcher).
class QtUiDispatcher final : public QueueDispatcher {
public:
    QtUiDispatcher();
    ~QtUiDispatcher() override;
    QtUiDispatcher(const QtUiDispatcher&) = delete;
    QtUiDispatcher& operator=(const QtUiDispatcher&) = delete;

    // A hand-over that throws counts as run: the exception is caught on the
    // UI thread and its text given to the handler (UI thread; default: a
    // warning on the console), so that a waiting reader is released and the
    // event loop goes on.
    bool runAndWait(std::function<void()> fn) override;
    bool post(std::function<void()> fn) override;
    void setExceptionHandler(std::function<void(const std::string& what)> handler);

private:
    std::function<void()> guarded(std::function<void()> fn);

    std::shared_ptr<std::function<void(const std::string&)>> onException_;
    // Owned here; lives on the UI thread, so queued calls to it run there.
    std::unique_ptr<QObject> receiver_;
};

}  // namespace velmora
