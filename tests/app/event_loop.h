#pragma once

// Spinning the Qt event loop in tests without sleeping: the loop runs until
// a condition holds or a generous bound passes. The bound only guards
// against a hang; no test asserts how fast anything happened.

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

}  // namespace velmora::test
