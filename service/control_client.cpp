#include "service/control_client.h"

#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "service/control_server.h"
#include "service/owner_client.h"

namespace velmora {

ControlClient::~ControlClient() { close(); }

void ControlClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ControlClient::connect(const std::filesystem::path& path, std::string* error) {
    close();
    gone_ = false;
    untrusted_ = false;
    refusedAccess_ = false;
    reader_ = LineReader(kMaxRequestBytes * 8);
    const std::string p = path.string();
    auto refuse = [&](const std::string& why) {
        untrusted_ = true;
        if (error) *error = "ignoring " + p + ": " + why;
        close();
        return false;
    };
    const SocketTrust trust = socketFolderTrust(path.parent_path());
    if (!trust.trusted) return refuse(trust.why);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (p.empty() || p.size() >= sizeof address.sun_path) {
        if (error) *error = "the socket path is too long: " + p;
        return false;
    }
    std::memcpy(address.sun_path, p.c_str(), p.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        refusedAccess_ = errno == EACCES || errno == EPERM;
        if (error) *error = "cannot reach " + p + ": " + std::strerror(errno);
        close();
        return false;
    }
    // Whoever listens must be who may: a request (a schedule, an image)
    // never goes to a stranger.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return refuse(std::string("cannot tell who listens there: ") + std::strerror(errno));
    if (std::find(trust.answerers.begin(), trust.answerers.end(), peer.uid) == trust.answerers.end())
        return refuse("it is answered by another user (uid " + std::to_string(peer.uid) + ")");
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

namespace {

// Whether an owner we trust answers at `path`; a refusal goes to *warnings.
bool trustedOwnerAt(const std::filesystem::path& path, std::vector<std::string>* warnings) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return false;
    ControlClient probe;
    std::string why;
    if (probe.connect(path, &why)) return true;
    if (probe.untrusted() && warnings) warnings->push_back(why);
    if (probe.refusedAccess() && warnings) {
        // An owner holds the port but this user may not use its socket:
        // say whose group it is, not "the port is busy" later.
        struct stat st {};
        std::string group = "its group";
        if (::stat(path.c_str(), &st) == 0) {
            if (const struct group* g = ::getgrgid(st.st_gid)) {
                group = std::string("the group ") + g->gr_name + " (sudo usermod -aG " + g->gr_name +
                        " USER, then log in again)";
            } else {
                group = "group " + std::to_string(st.st_gid);
            }
        }
        warnings->push_back("the port's owner listens at " + path.string() +
                            ", but this user may not connect: join " + group);
    }
    return false;
}

}  // namespace

std::optional<std::filesystem::path> findOwner(const std::string& device, const EnvLookup& env,
                                               std::vector<std::string>* warnings) {
    const std::string name = socketFileName(device);
    for (const std::filesystem::path& folder : socketFolders(env)) {
        const std::filesystem::path path = folder / name;
        if (trustedOwnerAt(path, warnings)) return path;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> liveOwners(const EnvLookup& env, std::vector<std::string>* warnings) {
    std::vector<std::filesystem::path> live;
    for (const std::filesystem::path& folder : socketFolders(env)) {
        std::error_code ec;
        std::vector<std::filesystem::path> names;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".sock") names.push_back(it->path());
        }
        std::sort(names.begin(), names.end());
        for (const auto& path : names)
            if (trustedOwnerAt(path, warnings)) live.push_back(path);
    }
    return live;
}

}  // namespace velmora
