#include "support/fake_serial.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

using S = SerialStatus;

std::string readText(ScriptedSerialDevice& dev, std::size_t size, SerialStatus* status = nullptr) {
    std::vector<std::uint8_t> buf(size);
    SerialIo io = dev.read(buf.data(), buf.size());
    if (status) *status = io.status;
    return std::string(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(io.bytes));
}

SerialIo writeText(ScriptedSerialDevice& dev, const std::string& text) {
    return dev.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Every step refuses with notOpen before open() and after close().
TEST(ScriptedSerial, StepsNeedAnOpenPort) {
    ScriptedSerialDevice dev;
    SerialLineSettings settings;
    std::uint8_t byte = 0;
    const struct {
        const char* step;
        std::function<SerialStatus()> call;
    } rows[] = {
        {"getState", [&] { return dev.getState(settings); }},
        {"setState", [&] { return dev.setState(settings); }},
        {"setQueueSizes", [&] { return dev.setQueueSizes(1024, 1024); }},
        {"setTimeouts", [&] { return dev.setTimeouts({}); }},
        {"purge", [&] { return dev.purge(); }},
        {"purgeReceive", [&] { return dev.purgeReceive(); }},
        {"waitForInput", [&] { return dev.waitForInput(); }},
        {"read", [&] { return dev.read(&byte, 1).status; }},
        {"write", [&] { return dev.write(&byte, 1).status; }},
    };
    for (int phase = 0; phase < 2; ++phase) {
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.step) + (phase ? " after close" : " before open"));
            EXPECT_EQ(r.call(), S::notOpen);
        }
        ASSERT_EQ(dev.open("/dev/ttyUSB0", SerialMode::probe), S::ok);
        dev.close();
    }
    EXPECT_FALSE(dev.isOpen());
}

// A scripted result replaces exactly the step it names, once or for good.
TEST(ScriptedSerial, ScriptedResultsHitTheirStepOnly) {
    const struct {
        const char* name;
        SerialCall call;
        bool once;
    } rows[] = {
        {"getState fails once", SerialCall::getState, true},
        {"getState fails for good", SerialCall::getState, false},
        {"setState fails once", SerialCall::setState, true},
        {"setQueueSizes fails for good", SerialCall::setQueueSizes, false},
        {"setTimeouts fails once", SerialCall::setTimeouts, true},
        {"purge fails for good", SerialCall::purge, false},
        {"purgeReceive fails once", SerialCall::purgeReceive, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedSerialDevice dev;
        ASSERT_EQ(dev.open("/dev/ttyS0", SerialMode::probe), S::ok);
        if (r.once)
            dev.pushResult(r.call, S::failed);
        else
            dev.setResult(r.call, S::failed);
        SerialLineSettings settings;
        auto run = [&](SerialCall c) {
            switch (c) {
                case SerialCall::getState: return dev.getState(settings);
                case SerialCall::setState: return dev.setState(settings);
                case SerialCall::setQueueSizes: return dev.setQueueSizes(1, 1);
                case SerialCall::setTimeouts: return dev.setTimeouts({});
                case SerialCall::purge: return dev.purge();
                case SerialCall::purgeReceive: return dev.purgeReceive();
                default: return S::ok;
            }
        };
        for (SerialCall c : {SerialCall::getState, SerialCall::setState, SerialCall::setQueueSizes,
                             SerialCall::setTimeouts, SerialCall::purge, SerialCall::purgeReceive}) {
            SCOPED_TRACE(serialCallName(c));
            EXPECT_EQ(run(c), c == r.call ? S::failed : S::ok);
            EXPECT_EQ(run(c), c == r.call && !r.once ? S::failed : S::ok);
        }
    }
}

TEST(ScriptedSerial, RecordsCallsAndSettings) {
    ScriptedSerialDevice dev;
    SerialLineSettings before;
    before.baudRate = 1200;
    before.byteSize = 7;
    before.ctsOutputFlow = false;
    dev.setLineSettings(before);

    ASSERT_EQ(dev.open("\\\\.\\COM3", SerialMode::link), S::ok);
    SerialLineSettings got;
    ASSERT_EQ(dev.getState(got), S::ok);
    EXPECT_EQ(got.baudRate, 1200u);
    EXPECT_EQ(got.byteSize, 7);
    SerialLineSettings wanted;
    ASSERT_EQ(dev.setState(wanted), S::ok);
    ASSERT_EQ(dev.getState(got), S::ok);
    EXPECT_EQ(got.baudRate, 9600u);
    EXPECT_TRUE(got.ctsOutputFlow);
    ASSERT_EQ(dev.setQueueSizes(8192, 16384), S::ok);
    ASSERT_EQ(dev.setTimeouts({100, 500, 500, 100, 500}), S::ok);

    EXPECT_EQ(dev.openedDevice(), "\\\\.\\COM3");
    EXPECT_EQ(dev.openedMode(), SerialMode::link);
    EXPECT_EQ(dev.inputQueueSize(), 8192u);
    EXPECT_EQ(dev.outputQueueSize(), 16384u);
    EXPECT_EQ(dev.appliedTimeouts().readInterval, 100u);
    EXPECT_EQ(dev.appliedTimeouts().readTotalMultiplier, 500u);
    EXPECT_EQ(dev.appliedTimeouts().writeTotalMultiplier, 100u);
    EXPECT_EQ(dev.callNames(), (std::vector<std::string>{"open", "getState", "setState", "getState",
                                                         "setQueueSizes", "setTimeouts"}));
    EXPECT_EQ(dev.callCount(SerialCall::getState), 2);
}

TEST(ScriptedSerial, OpenResultPerDevice) {
    ScriptedSerialDevice dev;
    dev.setOpenResult("\\\\.\\COM4", S::busy);
    EXPECT_EQ(dev.open("\\\\.\\COM4", SerialMode::probe), S::busy);
    EXPECT_FALSE(dev.isOpen());
    EXPECT_EQ(dev.open("\\\\.\\COM5", SerialMode::probe), S::ok);
    EXPECT_TRUE(dev.isOpen());
}

TEST(ScriptedSerial, WritesKeepTheirBoundaries) {
    ScriptedSerialDevice dev;
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    for (char c : std::string("/uni\\")) {
        SerialIo io = writeText(dev, std::string(1, c));
        EXPECT_EQ(io.status, S::ok);
        EXPECT_EQ(io.bytes, 1u);
    }
    EXPECT_EQ(writeText(dev, "/VER\\").bytes, 5u);
    dev.pushResult(SerialCall::write, S::timeout);
    SerialIo failed = writeText(dev, "/C\\");
    EXPECT_EQ(failed.status, S::timeout);
    EXPECT_EQ(failed.bytes, 0u);

    auto writes = dev.writes();
    ASSERT_EQ(writes.size(), 6u);  // the failed write put nothing on the line
    EXPECT_EQ(std::string(writes[0].begin(), writes[0].end()), "/");
    EXPECT_EQ(std::string(writes[5].begin(), writes[5].end()), "/VER\\");
    EXPECT_EQ(dev.writtenText(), "/uni\\/VER\\");
    auto calls = dev.calls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls.back().call, SerialCall::write);
    EXPECT_EQ(calls.back().size, 3u);
    EXPECT_EQ(calls.back().result, S::timeout);
}

// A read never spans two queued batches; in probe mode a short read is a
// time-out, in link mode it is simply what was waiting.
TEST(ScriptedSerial, ReadsFollowTheBatches) {
    const struct {
        const char* name;
        SerialMode mode;
        std::vector<std::string> batches;
        std::size_t readSize;
        std::vector<std::string> reads;  // text of each read until nothing is left
        std::vector<SerialStatus> statuses;
    } rows[] = {
        {"probe greeting in one piece", SerialMode::probe, {"/xyz\\"}, 5, {"/xyz\\"}, {S::ok}},
        {"probe greeting split", SerialMode::probe, {"/xy", "z\\"}, 5, {"/xy", "z\\"}, {S::timeout, S::timeout}},
        {"probe batch longer than read", SerialMode::probe, {"/V01 2.84\r\n"}, 10, {"/V01 2.84\r", "\n"},
         {S::ok, S::timeout}},
        {"link greeting split", SerialMode::link, {"/xy", "z\\"}, 64, {"/xy", "z\\"}, {S::ok, S::ok}},
        {"link small reads", SerialMode::link, {"abcdef"}, 4, {"abcd", "ef"}, {S::ok, S::ok}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedSerialDevice dev;
        ASSERT_EQ(dev.open("p", r.mode), S::ok);
        std::size_t total = 0;
        for (const auto& b : r.batches) {
            dev.queueInput(b);
            total += b.size();
        }
        EXPECT_EQ(dev.pendingInput(), total);
        for (std::size_t i = 0; i < r.reads.size(); ++i) {
            SerialStatus status;
            EXPECT_EQ(readText(dev, r.readSize, &status), r.reads[i]);
            EXPECT_EQ(status, r.statuses[i]);
        }
        EXPECT_EQ(dev.pendingInput(), 0u);
        EXPECT_EQ(dev.bytesWaiting(), 0u);
        SerialStatus last;
        EXPECT_EQ(readText(dev, r.readSize, &last), "");
        EXPECT_EQ(last, r.mode == SerialMode::probe ? S::timeout : S::ok);
    }
}

TEST(ScriptedSerial, BytesWaitingReportsTheHeadBatch) {
    ScriptedSerialDevice dev;
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    dev.queueInput("abc");
    dev.queueInput("de");
    EXPECT_EQ(dev.bytesWaiting(), 3u);
    EXPECT_EQ(readText(dev, 2), "ab");
    EXPECT_EQ(dev.bytesWaiting(), 1u);
    EXPECT_EQ(readText(dev, 2), "c");
    EXPECT_EQ(dev.bytesWaiting(), 2u);
}

// Both purges drop every queued batch, a half-read one included, and are
// recorded under their own names so that tests can tell them apart.
TEST(ScriptedSerial, PurgesDropQueuedInputAndAreRecordedApart) {
    const struct {
        const char* name;
        SerialCall call;
    } rows[] = {{"purge", SerialCall::purge}, {"purgeReceive", SerialCall::purgeReceive}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedSerialDevice dev;
        ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
        dev.queueInput("stale");
        dev.queueInput("more");
        EXPECT_EQ(readText(dev, 2), "st");
        ASSERT_EQ(r.call == SerialCall::purge ? dev.purge() : dev.purgeReceive(), S::ok);
        EXPECT_EQ(dev.pendingInput(), 0u);
        EXPECT_EQ(dev.bytesWaiting(), 0u);
        EXPECT_EQ(dev.callCount(r.call), 1);
        EXPECT_EQ(dev.callCount(r.call == SerialCall::purge ? SerialCall::purgeReceive : SerialCall::purge), 0);
        dev.queueInput("new");
        EXPECT_EQ(readText(dev, 3), "new") << "input after the purge is kept";
    }
}

TEST(ScriptedSerial, AnswersAGreetingWrittenByteByByte) {
    ScriptedSerialDevice dev;
    dev.answerWrites("/uni\\", "/xyz\\");
    dev.answerWrites("/VER\\", "/V01 2.84");
    ASSERT_EQ(dev.open("p", SerialMode::probe), S::ok);
    ASSERT_EQ(dev.purge(), S::ok);
    for (char c : std::string("/uni")) {
        writeText(dev, std::string(1, c));
        EXPECT_EQ(dev.pendingInput(), 0u) << "answered before the greeting was complete";
    }
    writeText(dev, "\\");
    EXPECT_EQ(readText(dev, 5), "/xyz\\");
    writeText(dev, "/C\\");  // unrelated: no answer
    EXPECT_EQ(dev.pendingInput(), 0u);
    writeText(dev, "/VER\\");
    EXPECT_EQ(readText(dev, 10), "/V01 2.84");
    writeText(dev, "/uni\\");  // answered again
    EXPECT_EQ(readText(dev, 5), "/xyz\\");
}

TEST(ScriptedSerial, WriteHandlerMayQueueInput) {
    ScriptedSerialDevice dev;
    dev.setWriteHandler([&dev](const std::vector<std::uint8_t>& bytes) {
        dev.queueInput(std::string(bytes.size(), '.'));  // one progress mark per byte
    });
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    writeText(dev, "ab");
    writeText(dev, "c");
    EXPECT_EQ(dev.pendingInput(), 3u);
    EXPECT_EQ(readText(dev, 10), "..");
}

// What ends a blocked waitForInput() on the reader thread, and what the next
// wait returns.
TEST(ScriptedSerial, BlockedWaitEndsForEachReason) {
    const struct {
        const char* name;
        std::function<void(ScriptedSerialDevice&)> act;
        SerialStatus first;
        SerialStatus next;
    } rows[] = {
        {"input arrives", [](ScriptedSerialDevice& d) { d.queueInput("S"); }, S::ok, S::ok},
        {"wake", [](ScriptedSerialDevice& d) { d.wake(); }, S::woken, S::timeout},
        {"close", [](ScriptedSerialDevice& d) { d.close(); }, S::woken, S::notOpen},
        {"hang-up", [](ScriptedSerialDevice& d) { d.hangUp(); }, S::deviceGone, S::deviceGone},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedSerialDevice dev;
        ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
        auto waited = std::async(std::launch::async, [&dev] { return dev.waitForInput(); });
        ASSERT_TRUE(dev.waitForWaiter());
        r.act(dev);
        ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(waited.get(), r.first);
        dev.setBlockingWaits(false);
        EXPECT_EQ(dev.waitForInput(), r.next);
    }
}

TEST(ScriptedSerial, WakeBeforeTheWaitIsNotLost) {
    ScriptedSerialDevice dev;
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    dev.wake();
    EXPECT_EQ(dev.waitForInput(), S::woken);
    dev.setBlockingWaits(false);
    EXPECT_EQ(dev.waitForInput(), S::timeout);
}

TEST(ScriptedSerial, HangUpStillDeliversQueuedBytes) {
    ScriptedSerialDevice dev;
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    dev.queueInput("last");
    dev.hangUp();
    EXPECT_EQ(dev.waitForInput(), S::ok);
    EXPECT_EQ(readText(dev, 16), "last");
    EXPECT_EQ(dev.waitForInput(), S::deviceGone);
    SerialStatus status;
    EXPECT_EQ(readText(dev, 16, &status), "");
    EXPECT_EQ(status, S::deviceGone);
    EXPECT_EQ(writeText(dev, "/C\\").status, S::deviceGone);
    EXPECT_TRUE(dev.writes().empty());
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);  // a new open is a new line
    dev.setBlockingWaits(false);
    EXPECT_EQ(dev.waitForInput(), S::timeout);
}

// A reader thread against the fake while the test thread writes and feeds
// input: the record must hold everything, in order, without a race.
TEST(ScriptedSerial, ReaderThreadAndWriterTogether) {
    ScriptedSerialDevice dev;
    ASSERT_EQ(dev.open("p", SerialMode::link), S::ok);
    std::string received;
    std::thread reader([&] {
        std::uint8_t buf[8];
        while (dev.waitForInput() == S::ok) {
            SerialIo io = dev.read(buf, sizeof buf);
            received.append(buf, buf + io.bytes);
        }
    });
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        // Built in steps: g++ 12 at -O3 warns falsely on "S" + to_string(i).
        std::string chunk = "S";
        chunk += std::to_string(i);
        chunk += ';';
        expected += chunk;
        dev.queueInput(chunk);
        writeText(dev, "/C\\");
    }
    while (dev.pendingInput() > 0) std::this_thread::yield();
    dev.close();
    reader.join();
    EXPECT_EQ(received, expected);
    EXPECT_EQ(dev.writes().size(), 200u);
}

}  // namespace
