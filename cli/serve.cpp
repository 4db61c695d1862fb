#include "cli/serve.h"

#include "cli/cli_exit.h"
#include "cli/headless_owner.h"
#include "cli/serve_listener.h"
#include "platform/ui_dispatcher.h"

namespace velmora::cli {

std::unique_ptr<ServeListener> ServeListener::forOwner(HeadlessOwner& owner, UiDispatcher& loop, const Options& o,
                                                       const EnvLookup& env, std::string* why) {
    // Metrics are taken on the owner's thread from what it holds: no poll,
    // no wait on the unit.
    const auto metrics = [&loop, &owner] {
        std::string text;
        loop.runAndWait([&] { text = owner.service().metrics(); });
        return text;
    };
    return make(
        o, env, loop,
        [&owner](Request r, UnitService::Reply reply) { owner.service().submit(std::move(r), std::move(reply)); },
        metrics, why);
}

int runServe(const Options& o, Session& session, CommandIo& io, const EnvLookup& env) {
    HeadlessOwner owner(session, o.device, "serve", true);
    std::string why;
    // What the options ask is checked before the unit is touched.
    const std::unique_ptr<ServeListener> listener =
        ServeListener::forOwner(owner, session.dispatcher(), o, env, &why);
    if (!listener) return reportFailure(io, kExitUsage, why);

    if (!o.device.empty()) {
        if (const auto served = listener->servedAlready(o.device)) return reportFailure(io, kExitPort, *served);
    }
    const Session::Connection c = owner.connect(o.timeoutMs);
    if (session.stopSignal() != 0) return exitCodeForSignal(session.stopSignal());
    if (c.exitCode != kExitDone) return reportFailure(io, c.exitCode, c.message);
    if (session.firmwareMissing()) {
        return reportFailure(io, kExitNoUnit,
                             "the unit on " + c.device + " has no valid firmware: velmoractl upgrade FILE.x first");
    }
    if (const int code = listener->start(owner.device(), &why); code != kExitDone) return reportFailure(io, code, why);
    listener->announce(io.out, owner.device(), io.json);
    io.out.flush();

    owner.run([] { return false; });
    // Stopped: no new client, then the link in the shutdown order.
    listener->stop();
    session.shutdown();
    return exitCodeForSignal(session.stopSignal());
}

}  // namespace velmora::cli
