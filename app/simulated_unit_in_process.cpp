#include "app/simulated_unit.h"

#include "sim/in_process_unit.h"

namespace velmora {

namespace {

// No pseudo-terminals here: the unit lives in the program and is listed as
// one more port, which the devices it makes open beside the real ones.
class InProcessSimulatedUnit final : public SimulatedUnit {
public:
    explicit InProcessSimulatedUnit(sim::UnitConfig config) : unit_(std::move(config)) {}
    std::string device() const override { return sim::InProcessUnit::kDeviceName; }
    void stop() override { unit_.stop(); }
    std::unique_ptr<SerialDevice> makeSerialDevice() const override {
        return unit_.makeDevice([] { return velmora::makeSerialDevice(); });
    }

private:
    mutable sim::InProcessUnit unit_;
};

}  // namespace

std::unique_ptr<SimulatedUnit> startSimulatedUnit(int banks, const LocalMoment& clockStart, std::string*) {
    sim::UnitConfig config;
    config.banks = banks;
    config.clockStart = clockStart;
    return std::make_unique<InProcessSimulatedUnit>(config);
}

}  // namespace velmora
