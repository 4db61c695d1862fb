#include "platform/qt/qt_dispatcher.h"

#include <QMetaObject>
#include <QObject>
#include <QtGlobal>

#include <exception>

namespace velmora {

QtUiDispatcher::QtUiDispatcher()
    : onException_(std::make_shared<std::function<void(const std::string&)>>(
          [](const std::string& what) { qWarning("velmora: error in a view update: %s", what.c_str()); })),
      receiver_(std::make_unique<QObject>()) {
    receiver_->setObjectName(QStringLiteral("uiDispatcher"));
    QObject* receiver = receiver_.get();
    // invokeMethod with a context object is safe from any thread; the call
    // runs on the receiver's thread, and is dropped if the receiver is gone.
    setWakeup([this, receiver] {
        QMetaObject::invokeMethod(receiver, [this] { drain(); }, Qt::QueuedConnection);
    });
}

QtUiDispatcher::~QtUiDispatcher() {
    shutdown();
    // Deleting the receiver discards calls still posted to it.
    receiver_.reset();
}

void QtUiDispatcher::setExceptionHandler(std::function<void(const std::string& what)> handler) {
    if (handler) *onException_ = std::move(handler);
}

std::function<void()> QtUiDispatcher::guarded(std::function<void()> fn) {
    return [fn = std::move(fn), onException = onException_] {
        try {
            fn();
        } catch (const std::exception& e) {
            (*onException)(e.what());
        } catch (...) {
            (*onException)("unknown exception");
        }
    };
}

bool QtUiDispatcher::runAndWait(std::function<void()> fn) { return QueueDispatcher::runAndWait(guarded(std::move(fn))); }

bool QtUiDispatcher::post(std::function<void()> fn) { return QueueDispatcher::post(guarded(std::move(fn))); }

}  // namespace velmora
