#include "platform/serial_device.h"

namespace velmora {

const char* serialStatusText(SerialStatus s) {
    switch (s) {
        case SerialStatus::ok: return "ok";
        case SerialStatus::timeout: return "timed out";
        case SerialStatus::woken: return "woken";
        case SerialStatus::deviceGone: return "device gone";
        case SerialStatus::notFound: return "no such port";
        case SerialStatus::accessDenied: return "permission denied";
        case SerialStatus::busy: return "port in use";
        case SerialStatus::notOpen: return "port not open";
        case SerialStatus::failed: return "failed";
    }
    return "unknown";
}

}  // namespace velmora
