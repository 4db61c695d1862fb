// One application object for a test program that has widget tests: widgets
// need it. The platform is the offscreen one (set by the test runner, and
// here as a fallback when the binary is started by hand).

#include "platform/qt/guarded_application.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

class WidgetEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // A connected window serves its port on a control socket: the tests'
        // sockets stay in a folder of this test program's own.
        if (!qEnvironmentVariableIsSet("VELMORA_SOCKET_DIR")) {
            sockets_ = std::filesystem::path(::testing::TempDir()) / ("velmora-sockets-" + std::to_string(::getpid()));
            qputenv("VELMORA_SOCKET_DIR", QByteArray::fromStdString(sockets_.string()));
        }
        app_ = std::make_unique<velmora::GuardedApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        std::error_code ec;
        if (!sockets_.empty()) std::filesystem::remove_all(sockets_, ec);
    }

private:
    int argc_ = 1;
    char name_[16] = "velmora-tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<velmora::GuardedApplication> app_;
    std::filesystem::path sockets_;
};

[[maybe_unused]] ::testing::Environment* const kWidgets =
    ::testing::AddGlobalTestEnvironment(new WidgetEnvironment);

}  // namespace
