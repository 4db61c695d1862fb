#include "app/stop_signals.h"

#include <QCoreApplication>
#include <QWinEventNotifier>

#include "platform/console_stop_win32.h"

namespace velmora {

namespace {

// Ctrl+C, Ctrl+Break and the closing of the console the program was started
// from (or log-off and shutdown seen through it) leave the event loop as
// closing the window does. Windows ends the process once the handler of a
// close returns, so that handler waits until finished() says the port is
// closed. The session's end without a console (WM_ENDSESSION) is Qt's
// aboutToQuit, which the program's shutdown follows too.
class ConsoleStopQuit final : public StopSignalsQuit {
public:
    explicit ConsoleStopQuit(std::unique_ptr<ConsoleStop> stop)
        : stop_(std::move(stop)), notifier_(stop_->event()) {
        QObject::connect(&notifier_, &QWinEventNotifier::activated, [this] {
            notifier_.setEnabled(false);  // the event stays set: one quit is enough
            QCoreApplication::quit();
        });
        notifier_.setEnabled(true);
    }
    int signalNumber() const override { return stop_->signalNumber(); }
    void finished() override { stop_->finished(); }

private:
    std::unique_ptr<ConsoleStop> stop_;
    QWinEventNotifier notifier_;
};

}  // namespace

std::unique_ptr<StopSignalsQuit> quitOnStopSignals() {
    std::unique_ptr<ConsoleStop> stop = ConsoleStop::install();
    if (!stop) return nullptr;
    return std::make_unique<ConsoleStopQuit>(std::move(stop));
}

}  // namespace velmora
