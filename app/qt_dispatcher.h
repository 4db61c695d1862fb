#pragma once

#include "platform/queue_dispatcher.h"

#include <memory>

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

private:
    // Owned here; lives on the UI thread, so queued calls to it run there.
    std::unique_ptr<QObject> receiver_;
};

}  // namespace velmora
