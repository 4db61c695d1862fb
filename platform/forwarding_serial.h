#pragma once

#include "platform/serial_device.h"

#include <memory>
#include <utility>

namespace velmora {

// A SerialDevice that hands every call to another one. Decorators (the
// trace, observers in front ends) derive from it and override only the
// calls they look at, so a step added to SerialDevice is forwarded in one
// place. Thread rules are the inner device's: nothing here adds a lock.
class ForwardingSerialDevice : public SerialDevice {
public:
    explicit ForwardingSerialDevice(std::shared_ptr<SerialDevice> inner) : inner_(std::move(inner)) {}

    SerialStatus open(const std::string& device, SerialMode mode) override { return inner_->open(device, mode); }
    bool isOpen() const override { return inner_->isOpen(); }
    SerialStatus getState(SerialLineSettings& out) override { return inner_->getState(out); }
    SerialStatus setState(const SerialLineSettings& settings) override { return inner_->setState(settings); }
    SerialStatus setQueueSizes(std::size_t input, std::size_t output) override {
        return inner_->setQueueSizes(input, output);
    }
    SerialStatus setTimeouts(const SerialTimeouts& timeouts) override { return inner_->setTimeouts(timeouts); }
    SerialStatus purge() override { return inner_->purge(); }
    SerialStatus purgeReceive() override { return inner_->purgeReceive(); }
    SerialStatus waitForInput() override { return inner_->waitForInput(); }
    std::size_t bytesWaiting() override { return inner_->bytesWaiting(); }
    SerialIo read(std::uint8_t* buffer, std::size_t size) override { return inner_->read(buffer, size); }
    SerialIo write(const std::uint8_t* data, std::size_t size) override { return inner_->write(data, size); }
    void wake() override { inner_->wake(); }
    void close() override { inner_->close(); }

protected:
    SerialDevice& inner() { return *inner_; }
    const std::shared_ptr<SerialDevice>& innerShared() const { return inner_; }

private:
    std::shared_ptr<SerialDevice> inner_;
};

}  // namespace velmora
