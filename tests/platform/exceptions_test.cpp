// Errors thrown while an event or a view update is handled: shown, and the
// program goes on.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/guarded_application.h"
#include "platform/qt/qt_dispatcher.h"
#include "support/event_loop.h"

namespace velmora {
namespace {

class Thrower final : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("disk full");
        if (e->type() == QEvent::User + 1) throw 42;
        if (e->type() == QEvent::User + 2) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
    int handled = 0;
};

struct ThrownCase {
    const char* name;
    int eventType;
    std::vector<std::string> reported;
    int handled;
};

class EventExceptionTest : public ::testing::TestWithParam<ThrownCase> {};

TEST_P(EventExceptionTest, IsReportedAndTheLoopGoesOn) {
    auto* app = static_cast<GuardedApplication*>(QCoreApplication::instance());
    std::vector<std::string> reported;
    app->setExceptionHandler([&](const std::string& what) { reported.push_back(what); });
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(static_cast<QEvent::Type>(GetParam().eventType)));
    QCoreApplication::postEvent(&thrower, new QEvent(static_cast<QEvent::Type>(QEvent::User + 2)));
    // The event after the faulty one is still delivered.
    EXPECT_TRUE(test::spinUntil([&] { return thrower.handled == GetParam().handled; }));
    app->setExceptionHandler(nullptr);
    EXPECT_EQ(reported, GetParam().reported);
}

INSTANTIATE_TEST_SUITE_P(App, EventExceptionTest,
                         ::testing::Values(ThrownCase{"StandardException", QEvent::User, {"disk full"}, 1},
                                           ThrownCase{"AnythingElse", QEvent::User + 1, {"unknown exception"}, 1},
                                           ThrownCase{"NoException", QEvent::User + 2, {}, 2}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HandOverException, ReleasesTheReaderAndIsReported) {
    QtUiDispatcher dispatcher;
    std::vector<std::string> reported;
    dispatcher.setExceptionHandler([&](const std::string& what) { reported.push_back(what); });
    std::atomic<bool> returned{false};
    bool result = false;
    std::thread reader([&] {
        result = dispatcher.runAndWait([] { throw std::out_of_range("bank 99"); });
        returned = true;
    });
    EXPECT_TRUE(test::spinUntil([&] { return returned.load(); }));
    reader.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(reported, std::vector<std::string>{"bank 99"});
    // The dispatcher still works afterwards.
    int ran = 0;
    std::thread again([&] { dispatcher.runAndWait([&] { ++ran; }); });
    EXPECT_TRUE(test::spinUntil([&] { return ran == 1; }));
    again.join();
}

}  // namespace
}  // namespace velmora
