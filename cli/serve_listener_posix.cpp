// serve on POSIX: the control socket in the socket folder (0600, or 0660
// with --group) and, with --metrics, GET /metrics over HTTP.

#include "cli/serve_listener.h"

#include <optional>

#include "cli/cli_exit.h"
#include "cli/metrics_http.h"
#include "service/control_server.h"
#include "service/json.h"

namespace velmora::cli {

namespace {

class SocketListener final : public ServeListener {
public:
    SocketListener(std::optional<gid_t> group, std::filesystem::path folder, UiDispatcher& owner,
                   ServedClients::Submit submit, std::function<std::string()> metrics, std::string metricsAddress,
                   int metricsPort)
        : group_(group), folder_(std::move(folder)), server_(owner, std::move(submit)), metrics_(std::move(metrics)),
          metricsAddress_(std::move(metricsAddress)), metricsPort_(metricsPort) {}

    // The port is opened exclusively: a second owner learns it there.
    std::optional<std::string> servedAlready(const std::string&) const override { return std::nullopt; }

    int start(const std::string& device, std::string* why) override {
        if (!prepareSocketFolder(folder_, group_, why)) return kExitPort;
        ControlServer::Options options;
        options.path = folder_ / socketFileName(device);
        options.group = group_;
        // Listening before "Serving": a port another serve holds ends this
        // one here, not after it has announced itself.
        if (!server_.start(options, why)) return kExitPort;
        if (!metricsAddress_.empty() && !http_.start(metricsAddress_, metricsPort_, metrics_, why)) return kExitUsage;
        return kExitDone;
    }

    void announce(std::ostream& out, const std::string& device, bool json) const override {
        if (json) {
            out << "{\"command\":\"serve\",\"device\":" << Json(device).dump() << ",\"socket\":"
                << Json(server_.path().string()).dump() << "}\n";
            return;
        }
        out << "Serving " << device << " at " << server_.path().string() << "\n";
        if (!metricsAddress_.empty()) out << "Metrics at " << metricsUrl(metricsAddress_, metricsPort_) << "\n";
    }

    void stop() override {
        http_.stop();
        server_.stop();
    }

private:
    const std::optional<gid_t> group_;
    const std::filesystem::path folder_;
    ControlServer server_;
    const std::function<std::string()> metrics_;
    const std::string metricsAddress_;
    const int metricsPort_;
    MetricsHttp http_;
};

}  // namespace

std::unique_ptr<ServeListener> ServeListener::make(const Options& o, const EnvLookup& env, UiDispatcher& owner,
                                                   ServedClients::Submit submit, std::function<std::string()> metrics,
                                                   std::string* why) {
    std::optional<gid_t> group;
    if (!o.group.empty()) {
        group = groupNamed(o.group);
        if (!group) {
            if (why) *why = "no group named \"" + o.group + "\"";
            return nullptr;
        }
    }
    std::string metricsAddress;
    int metricsPort = 0;
    if (!o.metricsAddress.empty() && !parseListenAddress(o.metricsAddress, metricsAddress, metricsPort, why))
        return nullptr;
    std::filesystem::path folder = o.socketDir.empty() ? defaultSocketFolder(env) : std::filesystem::path(o.socketDir);
    return std::make_unique<SocketListener>(group, std::move(folder), owner, std::move(submit), std::move(metrics),
                                            std::move(metricsAddress), metricsPort);
}

}  // namespace velmora::cli
