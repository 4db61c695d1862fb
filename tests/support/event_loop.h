#pragma once

// Spinning the Qt event loop in tests without sleeping: the loop runs until
// a condition holds or a generous bound passes. The bound only guards
// against a hang; no test asserts how fast anything happened.

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace velmora::test {

inline constexpr int kGenerousMs = 10000;

// Runs the event loop until `done` holds (true) or `boundMs` passed (false).
inline bool spinUntil(const std::function<bool()>& done, int boundMs = kGenerousMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() >= boundMs) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for at least `ms` milliseconds.
inline void spinFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Triggers a menu item and runs what it asks for: the window queues every
// item's handler behind the trigger, as a user's click lets the event loop
// run it next.
inline void triggerAndRun(QAction* item) {
    item->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

}  // namespace velmora::test

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

namespace velmora::test {

// Answers modal dialogs from inside their own event loop: `answer` runs
// every few milliseconds while a modal widget is shown. Should a modal stay
// open past the generous bound (a dialog that did not take the answer, an
// unexpected question), it is closed so the test fails instead of hanging.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget* modal)> answer, int boundMs = kGenerousMs)
        : answer_(std::move(answer)), boundMs_(boundMs) {
        elapsed_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(5);
    }
    // True when a modal had to be closed by force.
    bool forced() const { return forced_; }

private:
    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (elapsed_.elapsed() > boundMs_) {
            forced_ = true;
            modal->close();
            return;
        }
        answer_(modal);
    }

    std::function<void(QWidget*)> answer_;
    int boundMs_;
    QElapsedTimer elapsed_;
    QTimer timer_;
    bool forced_ = false;
};

}  // namespace velmora::test

#include <QMenu>

namespace velmora::test {

// Runs `look` on the menu once it is shown, then closes it. Bounded like
// ModalAnswerer: a menu that never shows ends the wait after the bound.
class PopupCloser {
public:
    PopupCloser(QMenu* menu, std::function<void()> look, int boundMs = kGenerousMs)
        : menu_(menu), look_(std::move(look)), boundMs_(boundMs) {
        elapsed_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(5);
    }
    bool looked() const { return looked_; }

private:
    void tick() {
        if (menu_->isVisible() && !looked_) {
            looked_ = true;
            look_();
            menu_->close();
        } else if (elapsed_.elapsed() > boundMs_) {
            timer_.stop();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        }
    }

    QMenu* menu_;
    std::function<void()> look_;
    int boundMs_;
    QElapsedTimer elapsed_;
    QTimer timer_;
    bool looked_ = false;
};

}  // namespace velmora::test
