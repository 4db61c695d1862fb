#pragma once

#include <QApplication>

#include <functional>
#include <string>

namespace velmora {

// The program's QApplication. An exception that escapes an event handler is
// caught here and its text given to the handler (by default an error box),
// and the event loop goes on; Qt itself cannot carry exceptions through its
// loop.
class GuardedApplication final : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // UI thread. An empty handler restores the default error box.
    void setExceptionHandler(std::function<void(const std::string& what)> handler);
    // Shows `what` in the error box with the stop icon.
    static void showError(const std::string& what);

private:
    std::function<void(const std::string&)> onException_;
};

}  // namespace velmora
