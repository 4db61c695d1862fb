// One application object for a test program that has widget tests: widgets
// need it. The platform is the offscreen one (set by the test runner, and
// here as a fallback when the binary is started by hand).

#include "platform/qt/guarded_application.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class WidgetEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<velmora::GuardedApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "velmora-tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<velmora::GuardedApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kWidgets =
    ::testing::AddGlobalTestEnvironment(new WidgetEnvironment);

}  // namespace
