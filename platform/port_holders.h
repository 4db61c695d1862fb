#pragma once

// Which programs hold a device open: for the message that says a port is
// busy, so that the user can tell which program to close.

#include <string>
#include <vector>

namespace velmora {

struct PortHolder {
    int pid = 0;
    std::string program;  // the process's command name; empty when unknown
};

// The processes (other than this one) that have `device` open, by the
// file each descriptor under `procDir`/<pid>/fd refers to (a link to the
// device, /dev/serial/by-id/..., finds the same device). Processes whose
// descriptors this user may not see are not listed. Ordered by pid.
std::vector<PortHolder> portHoldersIn(const std::string& procDir, const std::string& device);

// The same for this machine: /proc on Linux; nothing where there is none.
std::vector<PortHolder> portHolders(const std::string& device);

// "velmoractl (process 4242)", several joined by ", "; "" for none.
std::string describePortHolders(const std::vector<PortHolder>& holders);

}  // namespace velmora
