#pragma once

// The owner's control socket: a Unix-domain socket that any number of
// clients may use at once. A thread of its own accepts them, checks each
// peer's credentials, cuts what they send into request lines and hands
// every request to the owner's UI thread (UiDispatcher::post), where the
// UnitService carries them out; the answers come back to this thread and
// go out to their client. A client that sends junk gets an error line; one
// whose line grows past kMaxRequestBytes gets one and is dropped. One that
// goes away takes its requests with it: those not yet on the wire are
// withdrawn, only one the unit already has runs to its end, unanswered.
// Each client has a bounded queue of requests, answers it has not read
// stop its reading, and a connection idle for a minute or a line left
// unfinished for a few seconds is closed, so no client can starve the rest.

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/control_protocol.h"
#include "service/control_socket.h"
#include "service/served_clients.h"
#include "service/unit_service.h"

namespace velmora {

class UiDispatcher;

class ControlServer {
public:
    // `submit` runs on the owner's UI thread (posted through `owner`).
    using Submit = std::function<void(Request, UnitService::Reply)>;

    struct Options {
        std::filesystem::path path;   // the socket file
        std::optional<gid_t> group;   // also allowed (socket 0660 and this group)
        // Tests only: the socket file's mode as is (0666 lets another user
        // reach the credential check). 0: 0600, or 0660 with a group.
        mode_t mode = 0;
        std::size_t maxClients = kMaxControlClients;
        std::size_t maxQueuedPerClient = kMaxQueuedPerClient;
        int idleMs = kClientIdleMs;
        int partialLineMs = kPartialLineMs;
    };

    ControlServer(UiDispatcher& owner, Submit submit);
    ~ControlServer();  // stop()
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens at options.path. Refuses (false, *error) when another owner
    // answers there; a socket file nobody answers at is an old one and is
    // replaced.
    bool start(const Options& options, std::string* error);
    // Stops listening, drops every client, removes the socket file. The
    // owner's requests already posted run and their answers are dropped.
    void stop();
    bool running() const { return thread_.joinable(); }
    const std::filesystem::path& path() const { return options_.path; }

    // Clients connected now (tests).
    std::size_t clientCount() const;

private:
    class ServeLoop;
    struct WakeFd;
    void serve();

    UiDispatcher& owner_;
    Submit submit_;
    Options options_;
    std::shared_ptr<ServerShared> shared_;
    std::shared_ptr<WakeFd> wakeFd_;
    int listenFd_ = -1;
    std::thread thread_;
};

// True when an owner answers at `path` (connects and disconnects).
bool ownerListening(const std::filesystem::path& path);

// The groups the kernel gave a connected peer (SO_PEERGROUPS, else its
// /proc status), its primary group among them; empty when unknown.
std::vector<gid_t> peerGroups(int fd, pid_t pid, gid_t primary);

}  // namespace velmora
