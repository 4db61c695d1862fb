#pragma once

// Settings records built and printed in one line, for table-driven tests.

#include <cstdint>
#include <string>

#include "settings/settings_file.h"

namespace velmora::testing_support {

inline Settings makeSettings(std::int32_t comPort, bool autoOn, bool prompt, bool comMeg, bool setRtc,
                             bool restore) {
    Settings s;
    s.ComPort = comPort;
    s.Auto = autoOn;
    s.Prompt = prompt;
    s.ComMeg = comMeg;
    s.SetRTC = setRtc;
    s.RestoreStatus = restore;
    return s;
}

inline std::string describe(const Settings& s) {
    return "ComPort=" + std::to_string(s.ComPort) + " Auto=" + std::to_string(s.Auto) +
           " Prompt=" + std::to_string(s.Prompt) + " ComMeg=" + std::to_string(s.ComMeg) +
           " SetRTC=" + std::to_string(s.SetRTC) + " RestoreStatus=" + std::to_string(s.RestoreStatus);
}

}  // namespace velmora::testing_support
