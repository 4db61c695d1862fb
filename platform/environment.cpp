#include "platform/environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velmora {

EnvLookup processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        if (v == nullptr) return std::nullopt;
        return std::string(v);
    };
}

std::string canonicalDevice(const std::string& device) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(device, ec);
    return ec ? device : real.string();
}

}  // namespace velmora
