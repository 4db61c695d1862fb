#include "platform/qt/qt_timer.h"

#include <QString>

namespace velmora {

QtWindowTimer::QtWindowTimer(const std::string& name) {
    timer_.setObjectName(QString::fromStdString(name));
    // The flash and poll cadence should not drift by the coarse timer's 5 %.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
}

QtWindowTimer::~QtWindowTimer() { timer_.stop(); }

void QtWindowTimer::setInterval(int milliseconds) {
    if (milliseconds < 0) milliseconds = 0;
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    if (enabled_) restart();
}

void QtWindowTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) {
        restart();
    } else {
        timer_.stop();
    }
}

void QtWindowTimer::restart() {
    if (interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

void QtWindowTimer::fire() {
    if (!enabled_ || !handler_) return;
    // A handler that installs another one must not free itself mid-call.
    auto handler = handler_;
    handler();
}

std::unique_ptr<WindowTimer> QtTimerFactory::create(const std::string& name) {
    return std::make_unique<QtWindowTimer>(name);
}

}  // namespace velmora
