#include "platform/qt/guarded_application.h"

#include <QMessageBox>

#include <exception>

namespace velmora {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void GuardedApplication::showError(const std::string& what) {
    QMessageBox::critical(activeWindow(), applicationName(), QString::fromLocal8Bit(what.c_str()));
}

void GuardedApplication::setExceptionHandler(std::function<void(const std::string& what)> handler) {
    onException_ = std::move(handler);
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        onException_ ? onException_(e.what()) : showError(e.what());
    } catch (...) {
        onException_ ? onException_("unknown exception") : showError("unknown exception");
    }
    return false;
}

}  // namespace velmora
