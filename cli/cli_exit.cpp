#include "cli/cli_exit.h"

#include "link/serial_link.h"
#include "platform/port_holders.h"

namespace velmora::cli {

std::string openFailureText(const std::string& device, SerialStatus status) {
    const std::string head = "cannot open " + device + ": ";
    switch (status) {
        case SerialStatus::notFound:
            return head + "no such device (is the unit's cable or USB adapter plugged in?)";
        case SerialStatus::accessDenied:
            return head + "permission denied; " + kSerialPermissionAdvice;
        case SerialStatus::busy: {
            const std::string holders = describePortHolders(portHolders(device));
            return head + "the port is busy: it is in use by " +
                   (holders.empty() ? std::string("another program, for example the Velmora Manager window")
                                    : holders) +
                   "; velmoractl never takes a port from it";
        }
        case SerialStatus::deviceGone:
            return head + "the device went away while it was being opened";
        default:
            return head + "it is not a serial port, or it failed to open (" + serialStatusText(status) + ")";
    }
}

ScanVerdict noUnitVerdict(const std::vector<PortRefusal>& refusals, std::size_t portsProbed) {
    std::string text;
    for (const PortRefusal& r : refusals) {
        if (r.status != SerialStatus::busy && r.status != SerialStatus::accessDenied) continue;
        if (!text.empty()) text += '\n';
        text += openFailureText(r.device, r.status);
    }
    if (!text.empty()) return {kExitPort, text};
    std::string message = kNotFoundMessage;
    if (portsProbed == 0) message += "\n(no serial port found on this PC; name one with --port DEVICE)";
    return {kExitNoUnit, message};
}

}  // namespace velmora::cli
