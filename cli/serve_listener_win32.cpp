// serve on Windows: the owner's pipe, admitting this user, SYSTEM, the
// Administrators and, with --group, a local group's members.

#include "cli/serve_listener.h"

#include <optional>

#include "cli/cli_exit.h"
#include "service/control_pipe.h"
#include "service/control_pipe_server_win32.h"
#include "service/json.h"

namespace velmora::cli {

namespace {

class PipeListener final : public ServeListener {
public:
    PipeListener(std::optional<std::string> groupSid, UiDispatcher& owner, ServedClients::Submit submit)
        : groupSid_(std::move(groupSid)), server_(owner, std::move(submit)) {}

    // Another program may hold the port without serving it: the pipe says
    // whether an owner of ours does.
    std::optional<std::string> servedAlready(const std::string& device) const override {
        const std::string name = controlPipeName(device);
        if (!win32pipe::pipeNameTaken(name)) return std::nullopt;
        return "another owner already serves " + device + " at " + name;
    }

    int start(const std::string& device, std::string* why) override {
        return server_.start({.name = controlPipeName(device), .groupSid = groupSid_, .limits = {}}, why) ? kExitDone
                                                                                                            : kExitPort;
    }

    void announce(std::ostream& out, const std::string& device, bool json) const override {
        if (json) {
            out << "{\"command\":\"serve\",\"device\":" << Json(device).dump() << ",\"pipe\":"
                << Json(server_.name()).dump() << "}\n";
            return;
        }
        out << "Serving " << device << " at " << server_.name() << "\n";
    }

    void stop() override { server_.stop(); }

private:
    const std::optional<std::string> groupSid_;
    PipeServer server_;
};

}  // namespace

std::unique_ptr<ServeListener> ServeListener::make(const Options& o, const EnvLookup&, UiDispatcher& owner,
                                                   ServedClients::Submit submit, std::function<std::string()>,
                                                   std::string* why) {
    if (!o.socketDir.empty()) {
        if (why) *why = "--socket-dir is for POSIX systems: on Windows the owner serves a named pipe";
        return nullptr;
    }
    if (!o.metricsAddress.empty()) {
        if (why) *why = "--metrics is not available on Windows yet: ask the owner with velmoractl metrics";
        return nullptr;
    }
    std::optional<std::string> groupSid;
    if (!o.group.empty()) {
        groupSid = win32pipe::groupSid(o.group, why);
        if (!groupSid) return nullptr;
    }
    return std::make_unique<PipeListener>(std::move(groupSid), owner, std::move(submit));
}

}  // namespace velmora::cli
