#pragma once

// Configuration-dialog choices built and printed in one line, for
// table-driven tests.

#include <cstdint>
#include <string>

#include "settings/configuration_logic.h"
#include "settings/settings_values.h"

namespace velmora::testing_support {

inline ConfigurationChoice makeChoice(std::int32_t comPort, bool autoOn, bool prompt, bool setRtc, bool restore) {
    ConfigurationChoice c;
    c.ComPort = comPort;
    c.Auto = autoOn;
    c.Prompt = prompt;
    c.SetRTC = setRtc;
    c.RestoreStatus = restore;
    return c;
}

inline std::string describe(const ConfigurationChoice& c) {
    return "ComPort=" + std::to_string(c.ComPort) + " Auto=" + std::to_string(c.Auto) +
           " Prompt=" + std::to_string(c.Prompt) + " SetRTC=" + std::to_string(c.SetRTC) +
           " RestoreStatus=" + std::to_string(c.RestoreStatus);
}

}  // namespace velmora::testing_support
