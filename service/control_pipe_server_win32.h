#pragma once

// The owner's control pipe on Windows: what ControlServer is on a
// Unix-domain socket. Any number of clients up to the limit use the pipe
// "\\.\pipe\velmora-<port>-<hash>" at once, each on an instance of its own;
// its access list admits the owner's user, SYSTEM, the Administrators and
// a named group only. A thread of its own moves the bytes (overlapped, on
// one completion port); what a client's lines ask is carried out on the
// owner's UI thread as on POSIX (served_clients.h), with the same answers
// and limits. Built for Windows only.

#include "platform/win32_api.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "service/control_pipe_win32.h"
#include "service/served_clients.h"

namespace velmora {

class UiDispatcher;

class PipeServer {
public:
    using Submit = ServedClients::Submit;

    struct Options {
        std::string name;                      // controlPipeName(port)
        std::optional<std::string> groupSid;   // also admitted (serve --group)
        ServeLimits limits;
    };

    PipeServer(UiDispatcher& owner, Submit submit);
    ~PipeServer();  // stop()
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Serves options.name. Refuses (false, *error) when another process
    // serves that name already.
    bool start(const Options& options, std::string* error);
    // Stops serving and drops every client. The owner's requests already
    // posted run and their answers go nowhere.
    void stop();
    bool running() const { return thread_.joinable(); }
    const std::string& name() const { return options_.name; }

    // Clients connected now (tests).
    std::size_t clientCount() const;

private:
    class ServeLoop;
    struct Port;

    UiDispatcher& owner_;
    Submit submit_;
    Options options_;
    std::unique_ptr<win32pipe::PipeSecurity> security_;
    std::shared_ptr<ServerShared> shared_;
    std::shared_ptr<Port> port_;
    std::thread thread_;
};

}  // namespace velmora
