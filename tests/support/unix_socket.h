#pragma once

// A bare connection to a control socket, for clients that misbehave on
// purpose (idle, trickling, flooding, vanishing): no trust checks, no
// line reading, just the descriptor.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace velmora::test {

// The connected descriptor, or -1 when nobody listens at `path`.
inline int connectTo(const std::filesystem::path& path) {
    const std::string p = path.string();
    sockaddr_un address{};
    if (p.size() >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, p.c_str(), p.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace velmora::test
