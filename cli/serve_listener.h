#pragma once

// What `serve` offers the other programs, per system: the control socket
// in its folder and the metrics over HTTP (POSIX, serve_listener_posix.cpp),
// the owner's pipe (Windows, serve_listener_win32.cpp).

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "platform/environment.h"
#include "service/served_clients.h"

namespace velmora {
class UiDispatcher;
}

namespace velmora::cli {

class HeadlessOwner;

class ServeListener {
public:
    // What the options ask checked before the unit is touched (a group that
    // does not exist, a malformed metrics address): nullptr and *why, a
    // usage error. `submit` carries a client's request out on `owner`'s
    // thread; `metrics` gives the metrics text (from any thread).
    static std::unique_ptr<ServeListener> make(const Options& options, const EnvLookup& env, UiDispatcher& owner,
                                               ServedClients::Submit submit, std::function<std::string()> metrics,
                                               std::string* why);
    // The same for what `owner` holds (its service, its loop): serve's and
    // a shell's that opened the port.
    static std::unique_ptr<ServeListener> forOwner(HeadlessOwner& owner, UiDispatcher& loop, const Options& options,
                                                   const EnvLookup& env, std::string* why);
    virtual ~ServeListener() = default;

    // Before the port is opened: why another owner serves `device` already,
    // where the port's own lock would not say so.
    virtual std::optional<std::string> servedAlready(const std::string& device) const = 0;
    // Listens for the owner of `device`: kExitDone, else the exit code and
    // *why (another owner serves the port, the address is taken).
    virtual int start(const std::string& device, std::string* why) = 0;
    // Says where it listens: "Serving DEVICE at WHERE" and its kin, or the
    // JSON line.
    virtual void announce(std::ostream& out, const std::string& device, bool json) const = 0;
    // No new client; those connected are dropped.
    virtual void stop() = 0;
};

}  // namespace velmora::cli
