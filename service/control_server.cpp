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

// A client that reads nothing while its answers pile up is dropped here.
constexpr std::size_t kMaxPendingOutput = 8u << 20;
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
void tellAndClose(int fd, const std::string& line) {
    [[maybe_unused]] const ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

}  // namespace

struct ControlServer::Shared {
    std::mutex mutex;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> clients{0};
};

namespace {

using Steady = std::chrono::steady_clock;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count();
}

struct Client {
    int fd = -1;
    LineReader reader;
    std::string out;  // under Shared::mutex: the owner's thread appends
    bool closeWhenSent = false;
    bool watching = false;              // a watch keeps the connection busy
    bool readDone = false;              // it sends no more; answers still go out
    std::int64_t lastActiveMs = 0;      // a request, an answer or bytes
    std::int64_t partialSinceMs = -1;   // an unfinished line since
    std::atomic<bool> alive{true};
    std::atomic<std::size_t> queued{0};  // requests not yet answered
};

// Whether the client closed its end for good. A Unix socket reports a
// hang-up only when the peer closed both ways; one that only shut its
// writing down (a pipe's end) still reads its answers.
bool peerGone(int fd) {
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Appends an answer unless the client already holds too much it has not
// read: such a client is dropped instead (under Shared::mutex).
void appendOut(Client& c, const std::string& line) {
    if (c.out.size() + line.size() > kMaxPendingOutput) {
        c.alive = false;
        return;
    }
    c.out += line;
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
    shared_ = std::make_shared<Shared>();
    shared_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared_->wakeFd < 0) {
        ::unlink(options.path.c_str());
        return fail(std::string("cannot make an event descriptor: ") + std::strerror(errno));
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (!thread_.joinable()) return;
    shared_->stopping = true;
    wake(shared_->wakeFd);
    thread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(options_.path.c_str());
    // Answers still on their way see `stopping` and go nowhere.
    ::close(shared_->wakeFd);
    shared_->wakeFd = -1;
}

// The serving thread's state: its clients and the three things it does to
// them (accept, read, flush), one poll at a time.
class ControlServer::ServeLoop {
public:
    ServeLoop(ControlServer& server, std::shared_ptr<Shared> shared)
        : server_(server), options_(server.options_), shared_(std::move(shared)),
          policy_{::geteuid(), options_.group} {}
    ~ServeLoop() {
        for (auto& c : clients_) {
            c->alive = false;
            ::close(c->fd);
        }
        shared_->clients = 0;
    }

    void run() {
        while (!shared_->stopping.load()) {
            std::vector<pollfd> fds = pollSet();
            // Idle and unfinished lines are looked at a few times a second.
            if (::poll(fds.data(), fds.size(), clients_.empty() ? -1 : 250) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(shared_->wakeFd, &count, sizeof count);
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

    std::vector<pollfd> pollSet() {
        std::vector<pollfd> fds;
        fds.push_back({server_.listenFd_, POLLIN, 0});
        fds.push_back({shared_->wakeFd, POLLIN, 0});
        std::lock_guard lock(shared_->mutex);
        for (const auto& c : clients_) {
            short events = c->closeWhenSent || c->readDone || c->out.size() > kReadPauseBytes ? 0 : POLLIN;
            if (!c->out.empty()) events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        return fds;
    }

    // One client's turn: false when it is to be dropped.
    bool serveClient(std::size_t k, short revents, std::int64_t now) {
        const std::shared_ptr<Client> c = clients_[k];
        if (!c->alive.load()) return false;
        // Gone: what it sent and its requests go with it.
        if ((revents & (POLLHUP | POLLERR)) && !c->closeWhenSent) return false;
        if ((revents & POLLIN) && !readFrom(c, now)) return false;
        closeIfStale(*c, now);
        if (!flush(*c, now)) return false;
        bool empty = false;
        {
            std::lock_guard lock(shared_->mutex);
            empty = c->out.empty();
        }
        const bool answered = c->readDone && !c->watching && c->queued.load() == 0;
        return c->alive.load() && !((c->closeWhenSent || answered) && empty);
    }

    // Reads what came and hands on every whole line: false when the client
    // went away.
    bool readFrom(const std::shared_ptr<Client>& c, std::int64_t now) {
        char buffer[kReadChunk];
        const ssize_t n = ::recv(c->fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 && !peerGone(c->fd)) {
            // Its writing shut down only (a pipe that ended): it still reads
            // the answers to what it asked.
            c->readDone = true;
        } else if (n <= 0 && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
            return false;  // gone: what it asked for is withdrawn
        }
        if (n <= 0) return true;
        c->lastActiveMs = now;
        c->reader.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        while (auto line = c->reader.next()) {
            // Lines read before the client went are no requests of anybody's.
            if (peerGone(c->fd)) return false;
            handleLine(c, *line);
        }
        if (c->reader.overflowed()) {
            closeWith(*c, errorLine(nullptr,
                                    "request longer than " + std::to_string(kMaxRequestBytes) +
                                        " bytes: connection closed",
                                    kAnswerUsage));
        }
        c->partialSinceMs = c->reader.buffered() == 0 ? -1 : c->partialSinceMs < 0 ? now : c->partialSinceMs;
        return true;
    }

    // A line left unfinished too long, or a connection idle too long, is
    // told so and closed.
    void closeIfStale(Client& c, std::int64_t now) {
        if (!c.closeWhenSent && c.partialSinceMs >= 0 && now - c.partialSinceMs >= options_.partialLineMs) {
            closeWith(c, errorLine(nullptr,
                                   "a request line left unfinished for " + secondsText(options_.partialLineMs) +
                                       ": connection closed",
                                   kAnswerUsage));
        }
        if (!c.closeWhenSent && now - c.lastActiveMs >= options_.idleMs && idle(c)) {
            closeWith(c, errorLine(nullptr, "no request for " + secondsText(options_.idleMs) + ": connection closed",
                                   kAnswerBusy));
        }
    }

    // Sends what waits for the client; what the socket does not take goes
    // back to the front. False when the client went away.
    bool flush(Client& c, std::int64_t now) {
        // Answers are added from the owner's thread: take what is there
        // under the lock, whether or not poll saw room for it.
        std::string pending;
        {
            std::lock_guard lock(shared_->mutex);
            pending.swap(c.out);
        }
        if (pending.empty()) return true;
        c.lastActiveMs = now;
        const ssize_t n = ::send(c.fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (sent < pending.size()) {
            std::lock_guard lock(shared_->mutex);
            c.out.insert(0, pending, sent, std::string::npos);
        }
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
            if (clients_.size() >= options_.maxClients && !makeRoom()) {
                tellAndClose(fd, errorLine(nullptr, "too many clients: try again later", kAnswerBusy));
                continue;
            }
            auto c = std::make_shared<Client>();
            c->fd = fd;
            c->lastActiveMs = steadyMs();
            clients_.push_back(std::move(c));
            shared_->clients = clients_.size();
        }
    }

    // Full: the connection idle longest makes room, if any is idle.
    bool makeRoom() {
        std::size_t oldest = clients_.size();
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            if (clients_[i]->closeWhenSent || !idle(*clients_[i])) continue;
            if (oldest == clients_.size() || clients_[i]->lastActiveMs < clients_[oldest]->lastActiveMs) oldest = i;
        }
        if (oldest == clients_.size()) return false;
        tellAndClose(clients_[oldest]->fd,
                     errorLine(nullptr, "closed to make room for another client: nothing was asked", kAnswerBusy));
        clients_[oldest]->alive = false;
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(oldest));
        return true;
    }

    void handleLine(const std::shared_ptr<Client>& c, const std::string& line) {
        if (blankLine(line)) return;
        RequestParse parsed = parseRequest(line);
        if (!parsed.request) {
            queueOut(*c, errorLine(parsed.id, "not a request: " + parsed.error, kAnswerUsage));
            return;
        }
        if (c->queued.load() >= options_.maxQueuedPerClient) {
            queueOut(*c, errorLine(parsed.id,
                                   "too many requests waiting on this connection (at most " +
                                       std::to_string(options_.maxQueuedPerClient) +
                                       "): wait for their answers first",
                                   kAnswerBusy));
            return;
        }
        if (parsed.request->kind == RequestKind::watch) c->watching = true;
        ++c->queued;
        // The first answer without "more" ends the request (a watch's first
        // answer too: it then only listens).
        auto answered = std::make_shared<std::atomic<bool>>(false);
        const std::shared_ptr<Shared> shared = shared_;
        UnitService::Reply reply = [shared, c, answered](const std::string& answer) {
            if (!c->alive.load() || shared->stopping.load()) return false;
            {
                std::lock_guard lock(shared->mutex);
                appendOut(*c, answer);
            }
            if (answer.find("\"more\":true") == std::string::npos && !answered->exchange(true)) --c->queued;
            wake(shared->wakeFd);
            return c->alive.load();
        };
        const Json id = parsed.request->id;
        Submit submit = server_.submit_;
        Request request = std::move(*parsed.request);
        // Withdrawn when the client goes before it reaches the unit. Asked
        // by the owner right before it writes: a client that closed a moment
        // ago is gone already, whether or not this thread saw it.
        request.wanted = [c] { return c->alive.load() && !peerGone(c->fd); };
        const bool posted = server_.owner_.post([submit, request = std::move(request), reply]() mutable {
            submit(std::move(request), std::move(reply));
        });
        if (!posted) queueOut(*c, errorLine(id, "the owner of the port is shutting down", kAnswerBusy));
    }

    void drop(std::size_t i) {
        clients_[i]->alive = false;
        ::close(clients_[i]->fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
        shared_->clients = clients_.size();
    }
    void queueOut(Client& c, const std::string& line) {
        std::lock_guard lock(shared_->mutex);
        appendOut(c, line);
    }
    void closeWith(Client& c, const std::string& line) {
        queueOut(c, line);
        c.closeWhenSent = true;
    }
    // Nothing asked, nothing to send, nothing half said, no watch.
    bool idle(const Client& c) {
        std::lock_guard lock(shared_->mutex);
        return !c.watching && c.queued.load() == 0 && c.out.empty() && c.reader.buffered() == 0;
    }

    ControlServer& server_;
    const Options& options_;
    const std::shared_ptr<Shared> shared_;
    const PeerPolicy policy_;
    std::vector<std::shared_ptr<Client>> clients_;
};

void ControlServer::serve() {
    ServeLoop loop(*this, shared_);
    loop.run();
}

}  // namespace velmora
