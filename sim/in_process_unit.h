#pragma once

// The simulated unit inside the program, for platforms without
// pseudo-terminals (Windows): a SerialDevice that talks to the unit's model
// directly. The program lists the unit as one more port (kDeviceName) and
// opens it like any other; devices it makes hand every other name to the
// platform's own back end, so the real ports stay usable beside it.
//
// Not paced: the unit answers as soon as a command is complete. Its time
// (timers, quiet gaps, loader prompts) passes whenever a device looks at it
// and while a reader waits for input.

#include "platform/serial_device.h"
#include "sim/unit_config.h"
#include "sim/unit_model.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::sim {

class InProcessUnit {
public:
    // The name the port list shows and open() takes.
    static constexpr const char* kDeviceName = "SIMULATED";

    // `monotonicMs` drives the unit's own time; empty: the steady clock.
    explicit InProcessUnit(UnitConfig config, std::function<std::int64_t()> monotonicMs = {});
    // Ends the unit: devices that have it open report deviceGone.
    ~InProcessUnit();
    InProcessUnit(const InProcessUnit&) = delete;
    InProcessUnit& operator=(const InProcessUnit&) = delete;

    // A device that opens this unit under kDeviceName, and any other name
    // with a device from `other` (none: notFound). One device at a time has
    // the unit open; another one gets busy. Devices may outlive the unit.
    std::unique_ptr<SerialDevice> makeDevice(std::function<std::unique_ptr<SerialDevice>()> other = {});

    // Ends the unit as above. Idempotent.
    void stop();

    // Thread-safe views for tests, as the pty simulator has them.
    std::vector<std::string> portStates() const;  // per bank from bank 1: "OOCCCCCC"
    std::vector<std::string> commands() const;    // command bodies received, in order
    std::vector<std::uint8_t> received() const;   // every byte written to the unit, in order
    bool isOpen() const;                          // a device has the unit open
    // Runs f on the model under the unit's lock; what it makes the unit
    // say is not sent.
    void withModel(const std::function<void(UnitModel&)>& f);

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

}  // namespace velmora::sim
