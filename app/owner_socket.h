#pragma once

// The window as the owner of its port: while it is connected, the other
// programs (velmoractl, lab engines) reach the unit through its control
// socket (on Windows the owner's pipe) and the window's own link.

#include <memory>
#include <string>

#include "service/control_protocol.h"
#include "service/unit_service.h"

namespace velmora {

class UiDispatcher;

class OwnerSocket {
public:
    virtual ~OwnerSocket() = default;
    // Listens for the port `device`; false with *why when it cannot (the
    // window then simply serves nobody).
    virtual bool start(const std::string& device, std::string* why) = 0;
    virtual void stop() = 0;
    // The socket's path (the pipe's name) while listening, else empty.
    virtual std::string path() const = 0;
};

// Requests go to `service` on the UI thread (through `dispatcher`).
std::unique_ptr<OwnerSocket> makeOwnerSocket(UiDispatcher& dispatcher, UnitService& service);

}  // namespace velmora
