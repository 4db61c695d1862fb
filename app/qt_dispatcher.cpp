#include "app/qt_dispatcher.h"

#include <QMetaObject>
#include <QObject>

namespace velmora {

QtUiDispatcher::QtUiDispatcher() : receiver_(std::make_unique<QObject>()) {
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

}  // namespace velmora
