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
    // A bad --metrics address is refused before the unit is touched.
    std::string metricsAddress;
    int metricsPort = 0;
    std::string why;
    if (!o.metricsAddress.empty() && !parseListenAddress(o.metricsAddress, metricsAddress, metricsPort, &why))
        return reportFailure(io, kExitUsage, why);
    HeadlessOwner owner(session, o.device, "serve", true);
    const Session::Connection c = owner.connect(o.timeoutMs);
    if (session.stopSignal() != 0) return exitCodeForSignal(session.stopSignal());
    if (c.exitCode != kExitDone) return reportFailure(io, c.exitCode, c.message);
    if (session.firmwareMissing()) {
        return reportFailure(io, kExitNoUnit,
                             "the unit on " + c.device + " has no valid firmware: velmoractl upgrade FILE.x first");
    }

    const std::filesystem::path folder = o.socketDir.empty() ? defaultSocketFolder(env) : std::filesystem::path(o.socketDir);
    if (!prepareSocketFolder(folder, group, &why)) return reportFailure(io, kExitPort, why);
    ControlServer server(session.dispatcher(), [&owner](Request r, UnitService::Reply reply) {
        owner.service().submit(std::move(r), std::move(reply));
    });
    ControlServer::Options options;
    options.path = folder / socketFileName(owner.device());
    options.group = group;
    if (!server.start(options, &why)) return reportFailure(io, kExitPort, why);
    // Listening before "Serving": a port another serve holds ends this one
    // here, not after it has announced itself.
    MetricsHttp http;
    if (!metricsAddress.empty()) {
        UiDispatcher& loop = session.dispatcher();
        // Taken on the owner's thread from what it holds: no poll, no wait
        // on the unit.
        const auto metrics = [&loop, &owner] {
            std::string text;
            loop.runAndWait([&] { text = owner.service().metrics(); });
            return text;
        };
        if (!http.start(metricsAddress, metricsPort, metrics, &why)) return reportFailure(io, kExitUsage, why);
    }
    if (io.json) {
        io.out << "{\"command\":\"serve\",\"device\":" << Json(owner.device()).dump() << ",\"socket\":"
               << Json(options.path.string()).dump() << "}\n";
    } else {
        io.out << "Serving " << owner.device() << " at " << options.path.string() << "\n";
        if (!metricsAddress.empty()) io.out << "Metrics at " << metricsUrl(metricsAddress, metricsPort) << "\n";
    }
    io.out.flush();

    owner.run([] { return false; });
    // Stopped: no new client, then the link in the shutdown order.
    http.stop();
    server.stop();
    session.shutdown();
    return exitCodeForSignal(session.stopSignal());
}

}  // namespace velmora::cli
