#pragma once

// What a program finds around it: its environment variables (behind a
// lookup, so that tests pass their own) and the real path of a device.

#include <functional>
#include <optional>
#include <string>

namespace velmora {

// Looks up an environment variable (nullopt: not set).
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
EnvLookup processEnvironment();

// The device's real path when it exists (links resolved), else as given.
std::string canonicalDevice(const std::string& device);

}  // namespace velmora
