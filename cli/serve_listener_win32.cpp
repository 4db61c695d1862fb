// serve on Windows: the owner's pipe, admitting this user, SYSTEM, the
// Administrators and, with --group, a local group's members; with
// --metrics, GET /metrics over HTTP as on POSIX (where the build has the
// HTTP library).

#include "cli/serve_listener.h"

#include <optional>

#include "cli/cli_exit.h"
#include "service/control_pipe.h"
#include "service/control_pipe_server_win32.h"
#include "service/json.h"

#ifdef VELMORA_METRICS_HTTP
#include "cli/metrics_http.h"
#endif

namespace velmora::cli {

namespace {

// Where the metrics are served over HTTP; port 0: nowhere.
struct MetricsAddress {
    std::string address;
    int port = 0;
};

class PipeListener final : public ServeListener {
public:
    PipeListener(std::optional<std::string> groupSid, UiDispatcher& owner, ServedClients::Submit submit,
                 std::function<std::string()> metrics, MetricsAddress metricsAt)
        : groupSid_(std::move(groupSid)),
          server_(owner, std::move(submit)),
          metrics_(std::move(metrics)),
          metricsAt_(std::move(metricsAt)) {}

    // Another program may hold the port without serving it: the pipe says
    // whether an owner of ours does.
    std::optional<std::string> servedAlready(const std::string& device) const override {
        const std::string name = controlPipeName(device);
        if (!win32pipe::pipeNameTaken(name)) return std::nullopt;
        return "another owner already serves " + device + " at " + name;
    }

    int start(const std::string& device, std::string* why) override {
        if (!server_.start({.name = controlPipeName(device), .groupSid = groupSid_, .limits = {}}, why))
            return kExitPort;
#ifdef VELMORA_METRICS_HTTP
        if (metricsAt_.port != 0 && !http_.start(metricsAt_.address, metricsAt_.port, metrics_, why))
            return kExitUsage;
#endif
        return kExitDone;
    }

    void announce(std::ostream& out, const std::string& device, bool json) const override {
        if (json) {
            out << "{\"command\":\"serve\",\"device\":" << Json(device).dump() << ",\"pipe\":"
                << Json(server_.name()).dump() << "}\n";
            return;
        }
        out << "Serving " << device << " at " << server_.name() << "\n";
#ifdef VELMORA_METRICS_HTTP
        if (metricsAt_.port != 0) out << "Metrics at " << metricsUrl(metricsAt_.address, metricsAt_.port) << "\n";
#endif
    }

    void stop() override {
#ifdef VELMORA_METRICS_HTTP
        http_.stop();
#endif
        server_.stop();
    }

private:
    const std::optional<std::string> groupSid_;
    PipeServer server_;
    const std::function<std::string()> metrics_;
    const MetricsAddress metricsAt_;
#ifdef VELMORA_METRICS_HTTP
    MetricsHttp http_;
#endif
};

}  // namespace

std::unique_ptr<ServeListener> ServeListener::make(const Options& o, const EnvLookup&, UiDispatcher& owner,
                                                   ServedClients::Submit submit, std::function<std::string()> metrics,
                                                   std::string* why) {
    if (!o.socketDir.empty()) {
        if (why) *why = "--socket-dir is for POSIX systems: on Windows the owner serves a named pipe";
        return nullptr;
    }
    MetricsAddress metricsAt;
    if (!o.metricsAddress.empty()) {
#ifdef VELMORA_METRICS_HTTP
        if (!parseListenAddress(o.metricsAddress, metricsAt.address, metricsAt.port, why)) return nullptr;
#else
        if (why) *why = "--metrics is not built into this velmoractl.exe: ask the owner with velmoractl metrics";
        return nullptr;
#endif
    }
    std::optional<std::string> groupSid;
    if (!o.group.empty()) {
        groupSid = win32pipe::groupSid(o.group, why);
        if (!groupSid) return nullptr;
    }
    return std::make_unique<PipeListener>(std::move(groupSid), owner, std::move(submit), std::move(metrics),
                                          std::move(metricsAt));
}

}  // namespace velmora::cli
