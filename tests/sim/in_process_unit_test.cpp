// The simulated unit inside the program (Windows has no pseudo-terminals):
// what goes through its devices must be exactly what the unit's model says,
// the devices must keep the serial port's rules (one holder, wake-ups that
// are not lost, a closed or ended unit reported as such), and every other
// port name must reach the platform's own back end.

#include "sim/in_process_unit.h"
#include "sim/sim_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using namespace velmora::sim;
using namespace std::chrono_literals;

namespace {

SerialTimeouts probeTimeouts() {
    SerialTimeouts t;
    t.readInterval = 500;
    t.readTotalConstant = 5000;  // a bound for a broken unit, not a speed
    return t;
}

std::string readProbe(SerialDevice& d, std::size_t n) {
    std::string bytes(n, '\0');
    const SerialIo io = d.read(reinterpret_cast<std::uint8_t*>(bytes.data()), n);
    bytes.resize(io.bytes);
    return bytes;
}

std::string readWaiting(SerialDevice& d) {
    std::string bytes(d.bytesWaiting(), '\0');
    const SerialIo io = d.read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(io.status, SerialStatus::ok);
    bytes.resize(io.bytes);
    return bytes;
}

SerialStatus writeText(SerialDevice& d, const std::string& text) {
    return d.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()).status;
}

// A real port's stand-in: records the name it was asked to open.
struct NamedPort final : SerialDevice {
    explicit NamedPort(std::vector<std::string>* opened) : opened_(opened) {}
    SerialStatus open(const std::string& device, SerialMode) override {
        opened_->push_back(device);
        open_ = true;
        return SerialStatus::ok;
    }
    bool isOpen() const override { return open_; }
    SerialStatus getState(SerialLineSettings&) override { return SerialStatus::ok; }
    SerialStatus setState(const SerialLineSettings&) override { return SerialStatus::ok; }
    SerialStatus setQueueSizes(std::size_t, std::size_t) override { return SerialStatus::ok; }
    SerialStatus setTimeouts(const SerialTimeouts&) override { return SerialStatus::ok; }
    SerialStatus purge() override { return SerialStatus::ok; }
    SerialStatus purgeReceive() override { return SerialStatus::ok; }
    SerialStatus waitForInput() override { return SerialStatus::woken; }
    std::size_t bytesWaiting() override { return 0; }
    SerialIo read(std::uint8_t*, std::size_t) override { return {SerialStatus::ok, 0}; }
    SerialIo write(const std::uint8_t*, std::size_t size) override { return {SerialStatus::ok, size}; }
    void wake() override {}
    void close() override { open_ = false; }
    std::vector<std::string>* opened_;
    bool open_ = false;
};

TEST(InProcessUnit, AnswersEveryCommandExactlyAsTheUnitsModelDoes) {
    UnitConfig config;
    config.banks = 3;
    config.versions = {"1203", "1105", "1203"};
    InProcessUnit unit(config, [] { return std::int64_t{0}; });
    UnitModel twin(config);
    const auto device = unit.makeDevice();
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::probe), SerialStatus::ok);
    ASSERT_EQ(device->setTimeouts(probeTimeouts()), SerialStatus::ok);
    for (const char* command : {"/uni\\", "/VER\\", "/O013\\", "/C\\", "/T0121 0000010\\", "/C\\", "/Q0121\\"}) {
        const std::string expected = twin.feed(command);
        ASSERT_EQ(writeText(*device, command), SerialStatus::ok) << command;
        EXPECT_EQ(readProbe(*device, expected.size()), expected) << command;
    }
    EXPECT_EQ(unit.portStates(), (std::vector<std::string>{"CCOCCCCC", "CCCCCCCC", "CCCCCCCC"}));
    EXPECT_EQ(unit.commands(), twin.commands());
    // A probe read for more than the unit says ends by the interval with
    // what came.
    ASSERT_EQ(writeText(*device, "/uni\\"), SerialStatus::ok);
    std::string bytes(64, '\0');
    const SerialIo io = device->read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(io.status, SerialStatus::timeout);
    EXPECT_EQ(bytes.substr(0, io.bytes), twin.feed("/uni\\"));
}

TEST(InProcessUnit, OneHolderAtATimeAndOtherNamesGoToThePlatform) {
    InProcessUnit unit(UnitConfig{});
    std::vector<std::string> realOpens;
    const auto platform = [&] { return std::make_unique<NamedPort>(&realOpens); };
    const auto first = unit.makeDevice(platform);
    const auto second = unit.makeDevice(platform);
    EXPECT_EQ(first->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);
    EXPECT_TRUE(unit.isOpen());
    EXPECT_EQ(second->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::busy);
    EXPECT_FALSE(second->isOpen());
    EXPECT_EQ(second->open("\\\\.\\COM3", SerialMode::probe), SerialStatus::ok) << "a real port beside the unit";
    EXPECT_TRUE(second->isOpen());
    EXPECT_EQ(realOpens, std::vector<std::string>{"\\\\.\\COM3"});
    first->close();
    EXPECT_FALSE(unit.isOpen());
    EXPECT_EQ(second->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok)
        << "the unit is free again, and the real port is closed on the way";
    EXPECT_EQ(writeText(*second, "/O011\\"), SerialStatus::ok);
    EXPECT_EQ(unit.portStates().at(0), "OCCCCCCC");
    // Without a platform back end only the unit can be opened.
    EXPECT_EQ(unit.makeDevice()->open("COM1", SerialMode::probe), SerialStatus::notFound);
}

TEST(InProcessUnit, AWaitingReaderIsWokenByAnswersWakeAndClose) {
    InProcessUnit unit(UnitConfig{});
    const auto device = unit.makeDevice();
    EXPECT_EQ(device->waitForInput(), SerialStatus::notOpen);
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);

    // An answer written from another thread ends the wait with its bytes.
    auto waiting = std::async(std::launch::async, [&] { return device->waitForInput(); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout) << "nothing to read yet";
    ASSERT_EQ(writeText(*device, "/uni\\"), SerialStatus::ok);
    EXPECT_EQ(waiting.get(), SerialStatus::ok);
    EXPECT_EQ(velmora::sim::testing::framedLines(readWaiting(*device)), std::vector<std::string>{"xyz"});

    // A wake that came before the wait is not lost.
    device->wake();
    EXPECT_EQ(device->waitForInput(), SerialStatus::woken);
    waiting = std::async(std::launch::async, [&] { return device->waitForInput(); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    device->wake();
    EXPECT_EQ(waiting.get(), SerialStatus::woken);

    // Closing from another thread ends the wait; the unit is free again.
    waiting = std::async(std::launch::async, [&] { return device->waitForInput(); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    device->close();
    EXPECT_EQ(waiting.get(), SerialStatus::woken);
    EXPECT_FALSE(unit.isOpen());
    EXPECT_EQ(writeText(*device, "/uni\\"), SerialStatus::notOpen);
}

TEST(InProcessUnit, AnEndedUnitIsAGoneDeviceNeverASilentOne) {
    auto unit = std::make_unique<InProcessUnit>(UnitConfig{});
    const auto device = unit->makeDevice();
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);
    ASSERT_EQ(writeText(*device, "/uni\\"), SerialStatus::ok);
    auto waiting = std::async(std::launch::async, [&] {
        // The answer that came first is handed out, then the end.
        std::vector<SerialStatus> seen{device->waitForInput()};
        std::uint8_t buffer[64];
        device->read(buffer, sizeof buffer);
        seen.push_back(device->waitForInput());
        return seen;
    });
    ASSERT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    unit.reset();  // the program ends the unit; the device outlives it
    EXPECT_EQ(waiting.get(), (std::vector<SerialStatus>{SerialStatus::ok, SerialStatus::deviceGone}));
    EXPECT_EQ(writeText(*device, "/C\\"), SerialStatus::deviceGone);
    device->close();
    EXPECT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::notFound);
}

TEST(InProcessUnit, TheUnitsTimePassesOnItsOwnClock) {
    std::atomic<std::int64_t> nowMs{0};
    InProcessUnit unit(UnitConfig{}, [&] { return nowMs.load(); });
    const auto device = unit.makeDevice();
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);
    ASSERT_EQ(writeText(*device, "/T0131 0000010\\"), SerialStatus::ok);  // port 3 on in ten seconds
    nowMs = 9999;
    device->bytesWaiting();
    EXPECT_EQ(unit.portStates().at(0).at(2), 'C');
    nowMs = 10000;
    device->bytesWaiting();
    EXPECT_EQ(unit.portStates().at(0).at(2), 'O');
}

TEST(InProcessUnit, WhatTheUnitSaysByItselfReachesOnlyAListener) {
    std::atomic<std::int64_t> nowMs{0};
    UnitConfig config;
    config.faults.missingFirmware = true;  // its loader prompts again after quiet
    config.loaderPromptEveryMs = 1000;
    InProcessUnit unit(config, [&] { return nowMs.load(); });
    const auto device = unit.makeDevice();
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);
    auto waiting = std::async(std::launch::async, [&] { return device->waitForInput(); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    nowMs = 1500;
    EXPECT_EQ(waiting.get(), SerialStatus::ok) << "a waiting reader hears the prompt";
    EXPECT_FALSE(readWaiting(*device).empty());
    device->close();
    nowMs += 1500;
    ASSERT_EQ(device->open(InProcessUnit::kDeviceName, SerialMode::link), SerialStatus::ok);
    EXPECT_EQ(device->bytesWaiting(), 0u) << "a prompt while nobody listened is lost";
    nowMs += 1500;
    EXPECT_GT(device->bytesWaiting(), 0u);
}

}  // namespace
