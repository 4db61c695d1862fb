#pragma once

#include <string>
#include <vector>

#include "settings/configuration_logic.h"

namespace velmora::testing_support {

// The clock-sync menu item and timer as the main window keeps them: the
// item's action only arms the timer, as the menu would run it.
class RecordingMenu final : public SetRTCMenu {
public:
    explicit RecordingMenu(bool enabledAtStart) : itemEnabled(enabledAtStart) {}

    bool startSetRTCPeriodEnabled() const override { return itemEnabled; }
    void startSetRTCPeriod() override {
        calls.push_back(itemEnabled ? "start" : "start while disabled");
        timerRunning = true;
    }
    void setStartSetRTCPeriodEnabled(bool enabled) override {
        calls.push_back(enabled ? "enable" : "disable");
        itemEnabled = enabled;
    }
    void stopSetRTCTimer() override {
        calls.push_back("stop");
        timerRunning = false;
    }

    bool itemEnabled;
    bool timerRunning = false;
    std::vector<std::string> calls;
};

}  // namespace velmora::testing_support
