#include "app/stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "platform/posix_signals.h"

namespace velmora {

namespace {

class PosixStopSignalsQuit final : public StopSignalsQuit {
public:
    explicit PosixStopSignalsQuit(std::unique_ptr<StopSignals> stop)
        : signals_(std::move(stop)), notifier_(signals_->fd(), QSocketNotifier::Read) {
        // The pipe stays readable once written: one quit is enough.
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] {
            notifier_.setEnabled(false);
            QCoreApplication::quit();
        });
    }
    int signalNumber() const override { return signals_->signalNumber(); }

private:
    std::unique_ptr<StopSignals> signals_;
    QSocketNotifier notifier_;
};

}  // namespace

std::unique_ptr<StopSignalsQuit> quitOnStopSignals() {
    std::unique_ptr<StopSignals> stop = StopSignals::install();
    if (!stop) return nullptr;
    return std::make_unique<PosixStopSignalsQuit>(std::move(stop));
}

}  // namespace velmora
