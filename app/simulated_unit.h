#pragma once

// The simulated unit that "--simulate" starts inside the program: behind a
// pseudo-terminal where the platform has them (the program then opens it as
// it opens any port), else in the program itself behind a device of its own.

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/serial_device.h"

namespace velmora {

class SimulatedUnit {
public:
    virtual ~SimulatedUnit() = default;
    // The serial device the program opens to reach the unit.
    virtual std::string device() const = 0;
    // Ends the unit; its device goes away. Idempotent.
    virtual void stop() = 0;
    // A serial device for the program's ports while the unit runs: one that
    // opens device() and every other port too. The platform's back end
    // unless the unit lives in the program.
    virtual std::unique_ptr<SerialDevice> makeSerialDevice() const { return velmora::makeSerialDevice(); }
};

// Starts a unit with `banks` banks (1..16) whose clock starts at
// `clockStart`. nullptr when it could not be started or the platform has no
// in-process unit either; *error (if given) then says why.
std::unique_ptr<SimulatedUnit> startSimulatedUnit(int banks, const LocalMoment& clockStart, std::string* error);

}  // namespace velmora
