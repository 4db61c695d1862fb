#pragma once

// The simulated unit that "--simulate" starts inside the program, where the
// platform can host one (it needs a pseudo-terminal).

#include <memory>
#include <string>

#include "platform/clock.h"

namespace velmora {

class SimulatedUnit {
public:
    virtual ~SimulatedUnit() = default;
    // The serial device the program opens to reach the unit.
    virtual std::string device() const = 0;
    // Ends the unit; its device goes away. Idempotent.
    virtual void stop() = 0;
};

// Starts a unit with `banks` banks (1..16) whose clock starts at
// `clockStart`. nullptr when it could not be started or the platform has no
// pseudo-terminals; *error (if given) then says why.
std::unique_ptr<SimulatedUnit> startSimulatedUnit(int banks, const LocalMoment& clockStart, std::string* error);

}  // namespace velmora
