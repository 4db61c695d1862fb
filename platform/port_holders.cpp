#include "platform/port_holders.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string commandName(const fs::path& processDir) {
    std::ifstream in(processDir / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::vector<PortHolder> portHoldersIn(const std::string& procDir, const std::string& device) {
    std::vector<PortHolder> holders;
    struct stat target {};
    if (device.empty() || ::stat(device.c_str(), &target) != 0) return holders;
    const int self = static_cast<int>(::getpid());
    std::error_code ec;
    for (fs::directory_iterator it(procDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int pid = 0;
        const auto [last, err] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (err != std::errc{} || last != name.data() + name.size() || pid == self) continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
             fd.increment(fdError)) {
            struct stat opened {};
            if (::stat(fd->path().string().c_str(), &opened) != 0 || !sameFile(opened, target)) continue;
            holders.push_back({pid, commandName(it->path())});
            break;
        }
    }
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

std::vector<PortHolder> portHolders(const std::string& device) {
#if defined(__linux__)
    return portHoldersIn("/proc", device);
#else
    (void)device;
    return {};
#endif
}

std::string describePortHolders(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& h : holders) {
        if (!text.empty()) text += ", ";
        text += (h.program.empty() ? std::string("a program") : h.program) + " (process " + std::to_string(h.pid) + ")";
    }
    return text;
}

}  // namespace velmora
