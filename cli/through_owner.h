#pragma once

// velmoractl's commands through the control socket (on Windows the pipe)
// of the port's owner (a Velmora Manager window or `velmoractl serve`):
// the same requests the owner carries out for every client, printed with
// the same texts, JSON and exit codes as when velmoractl holds the port
// itself.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/cli_options.h"
#include "platform/port_list.h"
#include "platform/environment.h"
#include "service/owner_client.h"

namespace velmora::cli {

// The socket of the owner of the port the command names, or - without
// --port - of the first listed port an owner holds. nullopt when no owner
// of ours listens (velmoractl then opens the port itself). Without --port
// the live sockets of the socket folders come first, whatever device their
// owners hold. A socket this process cannot trust is skipped and said in
// *warnings (once each).
std::optional<std::filesystem::path> ownerSocketFor(const Options& o, const std::vector<SerialPortInfo>& ports,
                                                    const EnvLookup& env, std::vector<std::string>* warnings = nullptr);

// Carries out `o.command` through the owner at `socket`. `stop` (or
// kNoStop) wakes a wait when a stop signal came; `stopSignal` says which.
int runThroughOwner(const Options& o, const std::filesystem::path& socket, CommandIo& io, StopHandle stop,
                    const std::function<int()>& stopSignal);

// Before velmoractl opens a port: the command carried out by the port's
// owner when one of ours serves it (its exit code), with the warnings of
// owners not used on stderr; nullopt when none does.
std::optional<int> runIfServed(const Options& o, const std::vector<SerialPortInfo>& ports, const EnvLookup& env,
                               bool stderrIsTerminal, StopHandle stop, const std::function<int()>& stopSignal);

// One request and its final answer (progress lines go to `onStep`); a
// missing answer becomes an error object with exit code 1.
Json callOwner(OwnerClient& client, const Request& request, int answerWithinMs, StopHandle stop,
               const std::function<void(const Json&)>& onStep = {});

}  // namespace velmora::cli
