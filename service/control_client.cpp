#include "service/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "service/control_server.h"

namespace velmora {

ControlClient::~ControlClient() { close(); }

void ControlClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ControlClient::connect(const std::filesystem::path& path, std::string* error) {
    close();
    gone_ = false;
    reader_ = LineReader(kMaxRequestBytes * 8);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.empty() || p.size() >= sizeof address.sun_path) {
        if (error) *error = "the socket path is too long: " + p;
        return false;
    }
    std::memcpy(address.sun_path, p.c_str(), p.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (error) *error = "cannot reach " + p + ": " + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

bool ControlClient::send(const Request& request) { return sendLine(requestLine(request)); }

bool ControlClient::sendLine(const std::string& line) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < line.size()) {
        const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // what the owner said before it closed can still be read
        done += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

std::optional<std::string> ControlClient::receive(int timeoutMs, int stopFd) {
    using Steady = std::chrono::steady_clock;
    const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (auto line = reader_.next()) return line;
        if (fd_ < 0 || gone_ || reader_.overflowed()) return std::nullopt;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
            if (left <= 0) return std::nullopt;
            wait = static_cast<int>(left);
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (stopFd >= 0 && (fds[1].revents & POLLIN)) return std::nullopt;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                gone_ = true;
                if (auto line = reader_.next()) return line;
                return std::nullopt;
            }
            reader_.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        }
    }
}

std::optional<std::filesystem::path> findOwnerSocket(const std::string& device, const EnvLookup& env) {
    const std::string name = socketFileName(device);
    for (const std::filesystem::path& folder : socketFolders(env)) {
        const std::filesystem::path path = folder / name;
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) continue;
        if (ownerListening(path)) return path;
    }
    return std::nullopt;
}

}  // namespace velmora
