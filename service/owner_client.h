#pragma once

// A client of a port's owner, on whatever this system's owners listen at:
// the control socket on POSIX (control_client.h), the owner's pipe on
// Windows (control_pipe_client_win32.h). Both take the same requests and
// give the same answer lines; what wakes a wait early differs (a stop
// signal's pipe, an event object).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"

#ifdef _WIN32
#include "service/control_pipe_client_win32.h"
#else
#include "service/control_client.h"
#endif

namespace velmora {

#ifdef _WIN32
using OwnerClient = PipeClient;
using StopHandle = HANDLE;  // an event, set on a stop
inline const StopHandle kNoStop = nullptr;
#else
using OwnerClient = ControlClient;
using StopHandle = int;  // a descriptor, readable on a stop
inline constexpr StopHandle kNoStop = -1;
#endif

// Where the owner of `device` listens, when one this process trusts does;
// an owner refused for trust or access is said in *warnings.
std::optional<std::filesystem::path> findOwner(const std::string& device, const EnvLookup& env,
                                               std::vector<std::string>* warnings = nullptr);
// Without a port named: every live owner this process trusts, whatever
// device it holds (none where owners cannot be listed: Windows).
std::vector<std::filesystem::path> liveOwners(const EnvLookup& env, std::vector<std::string>* warnings = nullptr);

}  // namespace velmora
