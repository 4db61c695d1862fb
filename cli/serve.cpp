#include "cli/serve.h"

#include "cli/cli_exit.h"
#include "cli/headless_owner.h"
#include "cli/metrics_http.h"
#include "platform/ui_dispatcher.h"
#include "service/control_server.h"

namespace velmora::cli {

int runServe(const Options& o, Session& session, CommandIo& io, const EnvLookup& env) {
    std::optional<gid_t> group;
    if (!o.group.empty()) {
        group = groupNamed(o.group);
        if (!group) return reportFailure(io, kExitUsage, "no group named \"" + o.group + "\"");
    }
    HeadlessOwner owner(session, o.device, "serve", true);
    const Session::Connection c = owner.connect(o.timeoutMs);
    if (session.stopSignal() != 0) return exitCodeForSignal(session.stopSignal());
    if (c.exitCode != kExitDone) return reportFailure(io, c.exitCode, c.message);
    if (session.firmwareMissing()) {
        return reportFailure(io, kExitNoUnit,
                             "the unit on " + c.device + " has no valid firmware: velmoractl upgrade FILE.x first");
    }

    const std::filesystem::path folder = o.socketDir.empty() ? defaultSocketFolder(env) : std::filesystem::path(o.socketDir);
    std::string why;
    if (!prepareSocketFolder(folder, group, &why)) return reportFailure(io, kExitPort, why);
    ControlServer server(session.dispatcher(), [&owner](Request r, UnitService::Reply reply) {
        owner.service().submit(std::move(r), std::move(reply));
    });
    ControlServer::Options options;
    options.path = folder / socketFileName(owner.device());
    options.group = group;
    if (!server.start(options, &why)) return reportFailure(io, kExitPort, why);
    if (io.json) {
        io.out << "{\"command\":\"serve\",\"device\":" << Json(owner.device()).dump() << ",\"socket\":"
               << Json(options.path.string()).dump() << "}\n";
    } else {
        io.out << "Serving " << owner.device() << " at " << options.path.string() << "\n";
    }
    io.out.flush();

    MetricsHttp http;
    if (!o.metricsAddress.empty()) {
        std::string address;
        int port = 0;
        if (!parseListenAddress(o.metricsAddress, address, port))
            return reportFailure(io, kExitUsage, "--metrics needs ADDRESS:PORT, not \"" + o.metricsAddress + "\"");
        UiDispatcher& loop = session.dispatcher();
        // Taken on the owner's thread from what it holds: no poll, no wait
        // on the unit.
        const auto metrics = [&loop, &owner] {
            std::string text;
            loop.runAndWait([&] { text = owner.service().metrics(); });
            return text;
        };
        if (!http.start(address, port, metrics, &why)) return reportFailure(io, kExitPort, why);
        if (!io.json) io.out << "Metrics at http://" << o.metricsAddress << "/metrics\n";
        io.out.flush();
    }

    owner.run([] { return false; });
    // Stopped: no new client, then the link in the shutdown order.
    http.stop();
    server.stop();
    session.shutdown();
    return exitCodeForSignal(session.stopSignal());
}

}  // namespace velmora::cli
