#include "app/simulated_unit.h"

namespace velmora {

std::unique_ptr<SimulatedUnit> startSimulatedUnit(int, const LocalMoment&, std::string* error) {
    if (error) *error = "this platform has no pseudo-terminals to host the simulated unit";
    return nullptr;
}

}  // namespace velmora
