#include "service/control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

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

struct Client {
    int fd = -1;
    LineReader reader;
    std::string out;  // under Shared::mutex: the owner's thread appends
    bool closeWhenSent = false;
    std::atomic<bool> alive{true};
};

}  // namespace

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

void ControlServer::serve() {
    std::vector<std::shared_ptr<Client>> clients;
    const std::shared_ptr<Shared> shared = shared_;
    const PeerPolicy policy{::geteuid(), options_.group};

    auto drop = [&](std::size_t i) {
        clients[i]->alive = false;
        ::close(clients[i]->fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        shared->clients = clients.size();
    };
    auto queueOut = [&](Client& c, const std::string& line) {
        std::lock_guard lock(shared->mutex);
        c.out += line;
    };
    auto handleLine = [&](const std::shared_ptr<Client>& c, const std::string& line) {
        RequestParse parsed = parseRequest(line);
        if (!parsed.request) {
            queueOut(*c, errorLine(parsed.id, "not a request: " + parsed.error, kAnswerUsage));
            return;
        }
        UnitService::Reply reply = [shared, c](const std::string& answer) {
            if (!c->alive.load() || shared->stopping.load()) return false;
            {
                std::lock_guard lock(shared->mutex);
                if (c->out.size() + answer.size() > kMaxPendingOutput) {
                    c->alive = false;  // reads nothing: the server drops it
                } else {
                    c->out += answer;
                }
            }
            wake(shared->wakeFd);
            return c->alive.load();
        };
        const Json id = parsed.request->id;
        Submit submit = submit_;
        Request request = std::move(*parsed.request);
        const bool posted = owner_.post([submit, request = std::move(request), reply]() mutable {
            submit(std::move(request), std::move(reply));
        });
        if (!posted) queueOut(*c, errorLine(id, "the owner of the port is shutting down", kAnswerBusy));
    };

    while (!shared->stopping.load()) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd_, POLLIN, 0});
        fds.push_back({shared->wakeFd, POLLIN, 0});
        {
            std::lock_guard lock(shared->mutex);
            for (const auto& c : clients) {
                short events = c->closeWhenSent ? 0 : POLLIN;
                if (!c->out.empty()) events |= POLLOUT;
                fds.push_back({c->fd, events, 0});
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(shared->wakeFd, &count, sizeof count);
        }
        if (shared->stopping.load()) break;

        // Clients first (their indexes match fds from 2 on), last to first so
        // that dropping one keeps the others' indexes.
        for (std::size_t k = clients.size(); k-- > 0;) {
            const std::shared_ptr<Client> c = clients[k];
            const short revents = fds[k + 2].revents;
            if (!c->alive.load()) {
                drop(k);
                continue;
            }
            if (revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[kReadChunk];
                const ssize_t n = ::recv(c->fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    drop(k);  // gone; what it asked for still runs
                    continue;
                }
                if (n > 0) {
                    c->reader.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
                    while (auto line = c->reader.next()) handleLine(c, *line);
                    if (c->reader.overflowed()) {
                        queueOut(*c, errorLine(nullptr,
                                               "request longer than " + std::to_string(kMaxRequestBytes) +
                                                   " bytes: connection closed",
                                               kAnswerUsage));
                        c->closeWhenSent = true;
                    }
                }
            }
            {
                // Answers are added from the owner's thread: take what is
                // there under the lock, whether or not poll saw room for it.
                std::string pending;
                {
                    std::lock_guard lock(shared->mutex);
                    pending.swap(c->out);
                }
                if (!pending.empty()) {
                    const ssize_t n = ::send(c->fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n < 0 && errno != EAGAIN && errno != EINTR) {
                        drop(k);
                        continue;
                    }
                    const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
                    if (sent < pending.size()) {
                        std::lock_guard lock(shared->mutex);
                        c->out.insert(0, pending, sent, std::string::npos);
                    }
                }
            }
            bool empty = false;
            {
                std::lock_guard lock(shared->mutex);
                empty = c->out.empty();
            }
            if (c->closeWhenSent && empty) drop(k);
        }

        if (fds[0].revents & POLLIN) {
            for (;;) {
                const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0) break;
                ucred cred{};
                socklen_t length = sizeof cred;
                const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0;
                if (!known || !peerAllowed(policy, cred.uid, cred.gid, groupsOfUser(cred.uid, cred.gid))) {
                    tellAndClose(fd, errorLine(nullptr, "not allowed: this port's owner serves its own user and group",
                                               kAnswerBusy));
                    continue;
                }
                if (clients.size() >= options_.maxClients) {
                    tellAndClose(fd, errorLine(nullptr, "too many clients: try again later", kAnswerBusy));
                    continue;
                }
                auto c = std::make_shared<Client>();
                c->fd = fd;
                clients.push_back(std::move(c));
                shared->clients = clients.size();
            }
        }
    }
    for (auto& c : clients) {
        c->alive = false;
        ::close(c->fd);
    }
    shared->clients = 0;
}

}  // namespace velmora
