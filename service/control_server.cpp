#include "service/control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "service/unit_view.h"
#include "platform/ui_dispatcher.h"

namespace velmora {

namespace {

constexpr std::size_t kReadChunk = 65536;

bool fillAddress(const std::filesystem::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.empty() || p.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, p.c_str(), p.size() + 1);
    return true;
}

void wake(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

// Best effort, for a client about to be dropped: one line, no waiting.
void tell(int fd, const std::string& line) {
    [[maybe_unused]] const ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}
void tellAndClose(int fd, const std::string& line) {
    tell(fd, line);
    ::close(fd);
}

}  // namespace

struct ControlServer::WakeFd {
    explicit WakeFd(int descriptor) : fd(descriptor) {}
    ~WakeFd() { ::close(fd); }
    const int fd;
};

namespace {

using Steady = std::chrono::steady_clock;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count();
}

// Whether the client closed its end for good. A Unix socket reports a
// hang-up only when the peer closed both ways; one that only shut its
// writing down (a pipe's end) still reads its answers.
bool socketPeerGone(int fd) {
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

std::vector<gid_t> peerGroups(int fd, pid_t pid, gid_t primary) {
    std::vector<gid_t> groups(256);
    socklen_t length = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) == 0) {
        groups.resize(length / sizeof(gid_t));
    } else if (errno == ERANGE && length / sizeof(gid_t) <= 65536) {
        groups.resize(length / sizeof(gid_t));
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) != 0) groups.clear();
        groups.resize(length / sizeof(gid_t));
    } else {
        // Older kernels: the groups of the process that connected.
        groups.clear();
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Groups:", 0) != 0) continue;
            std::istringstream list(line.substr(7));
            unsigned long g = 0;
            while (list >> g) groups.push_back(static_cast<gid_t>(g));
        }
    }
    groups.push_back(primary);
    return groups;
}

bool ownerListening(const std::filesystem::path& path) {
    sockaddr_un address{};
    if (!fillAddress(path, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

ControlServer::ControlServer(UiDispatcher& owner, Submit submit) : owner_(owner), submit_(std::move(submit)) {}

ControlServer::~ControlServer() { stop(); }

std::size_t ControlServer::clientCount() const { return shared_ ? shared_->clients.load() : 0; }

bool ControlServer::start(const Options& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        return false;
    };
    if (running()) return fail("already listening at " + options_.path.string());
    options_ = options;
    sockaddr_un address{};
    if (!fillAddress(options.path, address)) return fail("the socket path is too long: " + options.path.string());
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(options.path, ec))) {
        if (ownerListening(options.path)) return fail("another owner already listens at " + options.path.string());
        // Left by an owner that ended without cleaning up.
        ::unlink(options.path.c_str());
    }
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) return fail(std::string("cannot make a socket: ") + std::strerror(errno));
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot listen at " + options.path.string() + ": " + std::strerror(errno));
    // Nobody can connect before listen(): the mode is right before anyone may.
    const mode_t mode = options.mode != 0 ? options.mode : (options.group ? 0660 : 0600);
    if (options.group && ::chown(options.path.c_str(), static_cast<uid_t>(-1), *options.group) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(options.path.c_str());
        return fail("cannot give " + options.path.string() + " to its group: " + why);
    }
    if (::chmod(options.path.c_str(), mode) != 0 || ::listen(listenFd_, 16) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(options.path.c_str());
        return fail("cannot listen at " + options.path.string() + ": " + why);
    }
    // The event descriptor lives as long as anybody may still wake the
    // loop: an answer on its way after stop() writes to it harmlessly.
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::unlink(options.path.c_str());
        return fail(std::string("cannot make an event descriptor: ") + std::strerror(errno));
    }
    wakeFd_ = std::make_shared<WakeFd>(wakeFd);
    shared_ = std::make_shared<ServerShared>();
    shared_->wake = [wakeFd = wakeFd_] { wake(wakeFd->fd); };
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (!thread_.joinable()) return;
    shared_->stopping = true;
    shared_->wake();
    thread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(options_.path.c_str());
    // Answers still on their way see `stopping` and go nowhere.
    wakeFd_.reset();
}

namespace {

// A client on the socket: shut down when dropped (it sees its end at
// once), closed when nobody holds it any more, so the owner's thread never
// asks about a descriptor already reused.
struct SocketClient final : ServedClient {
    explicit SocketClient(int descriptor) : fd(descriptor) {}
    ~SocketClient() override { ::close(fd); }
    bool peerGone() const override { return socketPeerGone(fd); }
    void end() { ::shutdown(fd, SHUT_RDWR); }
    const int fd;
};

}  // namespace

// The serving thread's state: its clients and the three things it does to
// them (accept, read, flush), one poll at a time.
class ControlServer::ServeLoop {
public:
    ServeLoop(ControlServer& server, std::shared_ptr<ServerShared> shared)
        : server_(server), shared_(shared), policy_{::geteuid(), server.options_.group},
          clients_(server.owner_, server.submit_, limitsOf(server.options_), std::move(shared)) {}
    ~ServeLoop() {
        for (std::size_t i = 0; i < clients_.size(); ++i) socket(i).end();
    }

    void run() {
        while (!shared_->stopping.load()) {
            std::vector<pollfd> fds = pollSet();
            // Idle and unfinished lines are looked at a few times a second.
            if (::poll(fds.data(), fds.size(), clients_.size() == 0 ? -1 : 250) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(server_.wakeFd_->fd, &count, sizeof count);
            }
            if (shared_->stopping.load()) break;
            const std::int64_t now = steadyMs();
            // Clients first (their indexes match fds from 2 on), last to
            // first so that dropping one keeps the others' indexes.
            for (std::size_t k = clients_.size(); k-- > 0;) {
                if (!serveClient(k, fds[k + 2].revents, now)) drop(k);
            }
            if (fds[0].revents & POLLIN) acceptAll();
        }
    }

private:
    // Answers a client has not read stop its reading: it cannot pile up
    // error lines faster than it takes them.
    static constexpr std::size_t kReadPauseBytes = 256u << 10;

    static ServeLimits limitsOf(const Options& o) {
        return {.maxClients = o.maxClients,
                .maxQueuedPerClient = o.maxQueuedPerClient,
                .idleMs = o.idleMs,
                .partialLineMs = o.partialLineMs};
    }

    SocketClient& socket(std::size_t i) const { return static_cast<SocketClient&>(*clients_.at(i)); }

    std::vector<pollfd> pollSet() {
        std::vector<pollfd> fds;
        fds.push_back({server_.listenFd_, POLLIN, 0});
        fds.push_back({server_.wakeFd_->fd, POLLIN, 0});
        std::lock_guard lock(shared_->mutex);
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            const SocketClient& c = socket(i);
            short events = c.closeWhenSent || c.readDone || c.out.size() > kReadPauseBytes ? 0 : POLLIN;
            if (!c.out.empty()) events |= POLLOUT;
            fds.push_back({c.fd, events, 0});
        }
        return fds;
    }

    // One client's turn: false when it is to be dropped.
    bool serveClient(std::size_t k, short revents, std::int64_t now) {
        const std::shared_ptr<ServedClient> c = clients_.at(k);
        if (!c->alive.load()) return false;
        // Gone: what it sent and its requests go with it.
        if ((revents & (POLLHUP | POLLERR)) && !c->closeWhenSent) return false;
        if ((revents & POLLIN) && !readFrom(c, now)) return false;
        clients_.closeIfStale(*c, now);
        if (!flush(*c, now)) return false;
        return !clients_.finished(*c);
    }

    // Reads what came and hands on every whole line: false when the client
    // went away.
    bool readFrom(const std::shared_ptr<ServedClient>& c, std::int64_t now) {
        const int fd = static_cast<const SocketClient&>(*c).fd;
        char buffer[kReadChunk];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 && !socketPeerGone(fd)) {
            // Its writing shut down only (a pipe that ended): it still reads
            // the answers to what it asked.
            c->readDone = true;
        } else if (n <= 0 && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
            return false;  // gone: what it asked for is withdrawn
        }
        if (n <= 0) return true;
        return clients_.bytesCame(c, std::string_view(buffer, static_cast<std::size_t>(n)), now);
    }

    // Sends what waits for the client; what the socket does not take goes
    // back to the front. False when the client went away.
    bool flush(ServedClient& c, std::int64_t now) {
        const std::string pending = clients_.takeOut(c, now);
        if (pending.empty()) return true;
        const ssize_t n =
            ::send(static_cast<SocketClient&>(c).fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        clients_.putBack(c, pending, n > 0 ? static_cast<std::size_t>(n) : 0);
        return true;
    }

    void acceptAll() {
        for (;;) {
            const int fd = ::accept4(server_.listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) return;
            ucred cred{};
            socklen_t length = sizeof cred;
            const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0;
            if (!known || !peerAllowed(policy_, cred.uid, cred.gid, peerGroups(fd, cred.pid, cred.gid))) {
                tellAndClose(fd, errorLine(nullptr, "not allowed: this port's owner serves its own user and group",
                                           kAnswerBusy));
                continue;
            }
            const ServedClients::Room room = clients_.makeRoom();
            if (room.evicted) {
                auto& evicted = static_cast<SocketClient&>(*room.evicted);
                tell(evicted.fd, ServedClients::evictedLine());
                evicted.end();
            }
            if (!room.granted) {
                tellAndClose(fd, ServedClients::refusedLine());
                continue;
            }
            clients_.add(std::make_shared<SocketClient>(fd), steadyMs());
        }
    }

    void drop(std::size_t i) {
        socket(i).end();
        clients_.remove(i);
    }

    ControlServer& server_;
    const std::shared_ptr<ServerShared> shared_;
    const PeerPolicy policy_;
    ServedClients clients_;
};

void ControlServer::serve() {
    ServeLoop loop(*this, shared_);
    loop.run();
}

}  // namespace velmora
