#include "app/simulated_unit.h"

#include "sim/pty_simulator.h"

namespace velmora {

namespace {

class PtyUnit final : public SimulatedUnit {
public:
    explicit PtyUnit(sim::UnitConfig config) : sim_(std::move(config)) {}
    bool start(std::string* error) { return sim_.start(error); }
    std::string device() const override { return sim_.slavePath(); }
    void stop() override { sim_.stop(); }

private:
    sim::PtySimulator sim_;
};

}  // namespace

std::unique_ptr<SimulatedUnit> startSimulatedUnit(int banks, const LocalMoment& clockStart, std::string* error) {
    sim::UnitConfig config;
    config.banks = banks;
    config.clockStart = clockStart;
    auto unit = std::make_unique<PtyUnit>(config);
    if (!unit->start(error)) return nullptr;
    return unit;
}

}  // namespace velmora
