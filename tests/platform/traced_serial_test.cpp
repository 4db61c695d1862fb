#include "platform/traced_serial.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/fake_serial.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using testing_support::TempFolder;

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every clock reading is 1.25 ms after the one before.
struct SteppingClock {
    std::int64_t micros = 0;
    std::int64_t operator()() { return micros += 1250; }
};

void writeText(SerialDevice& d, std::string_view t) {
    d.write(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
}

std::string readSome(SerialDevice& d, std::size_t n) {
    std::string buf(n, '\0');
    const SerialIo r = d.read(reinterpret_cast<std::uint8_t*>(buf.data()), n);
    buf.resize(r.bytes);
    return buf;
}

TEST(SerialTrace, ShortSessionIsTracedByteExact) {
    TempFolder folder;
    const auto path = folder / "session.trace";
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        auto writer = std::make_shared<TraceWriter>(f, SteppingClock{});
        auto fake = std::make_shared<ScriptedSerialDevice>();
        fake->setBlockingWaits(false);
        TracedSerialDevice port(fake, writer);
        ASSERT_EQ(port.open("/dev/pts/9", SerialMode::probe), SerialStatus::ok);
        for (char c : std::string("/uni\\")) writeText(port, std::string_view(&c, 1));
        // Two lines and the start of a third in one read; the rest later.
        fake->queueInput("/xyz\\/M2\\/S1 OCC");
        EXPECT_EQ(readSome(port, 64), "/xyz\\/M2\\/S1 OCC");
        writeText(port, "/C\\");  // the open line is shown before this write
        fake->queueInput("CCCCC\\\r\n/abc/V01 1203\\");
        readSome(port, 64);
        fake->queueInput(std::string("\x01\xff|\b", 4));
        readSome(port, 64);
        port.close();
    }
    std::fclose(f);
    EXPECT_EQ(readAll(path),
              "1.250 OPEN /dev/pts/9 probe ok\n"
              "2.500 TX /\n"
              "3.750 TX u\n"
              "5.000 TX n\n"
              "6.250 TX i\n"
              "7.500 TX \\\\\n"
              "8.750 RX /xyz\\\\\n"
              "10.000 RX /M2\\\\\n"
              "11.250 RX /S1 OCC\n"
              "12.500 TX /C\\\\\n"
              "13.750 RX CCCCC\\\\\n"
              "15.000 RX \\x0D\n"
              "16.250 RX \\x0A\n"
              "17.500 RX /abc\n"
              "18.750 RX /V01 1203\\\\\n"
              "20.000 RX \\x01\\xFF|\\x08\n"
              "21.250 CLOSE\n");
}

TEST(SerialTrace, FailedOpenAndShortWriteAreTraced) {
    TempFolder folder;
    const auto path = folder / "fail.trace";
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        auto writer = std::make_shared<TraceWriter>(f, [] { return std::int64_t{42}; });
        auto fake = std::make_shared<ScriptedSerialDevice>();
        fake->pushResult(SerialCall::open, SerialStatus::busy);
        TracedSerialDevice port(fake, writer);
        EXPECT_EQ(port.open("/dev/ttyUSB0", SerialMode::link), SerialStatus::busy);
        ASSERT_EQ(port.open("/dev/ttyUSB0", SerialMode::link), SerialStatus::ok);
        fake->pushResult(SerialCall::write, SerialStatus::timeout);
        writeText(port, "/C\\");
    }
    std::fclose(f);
    EXPECT_EQ(readAll(path),
              "0.042 OPEN /dev/ttyUSB0 link port in use\n"
              "0.042 OPEN /dev/ttyUSB0 link ok\n"
              "0.042 TX-FAIL timed out 0 of 3\n");
}

TEST(SerialTrace, LongOpenLineIsWrittenInPieces) {
    std::string out;
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        TraceWriter w(f, [] { return std::int64_t{0}; });
        w.received(std::string(600, 'a'));
        EXPECT_EQ(w.lines(), 2u);  // 256 + 256; 88 still open
        w.flushReceived();
        EXPECT_EQ(w.lines(), 3u);
        EXPECT_TRUE(w.healthy());
    }
    std::fclose(f);
}

TEST(SerialTrace, EscapesEveryNonPrintingByte) {
    std::string out;
    appendTraceEscaped(out, std::string("a\\b\x00\x7f~ \x80", 8));
    EXPECT_EQ(out, "a\\\\b\\x00\\x7F~ \\x80");
    EXPECT_EQ(formatTraceLine(1234567, "TX", "/C\\\\"), "1234.567 TX /C\\\\\n");
    EXPECT_EQ(formatTraceLine(5, "CLOSE", ""), "0.005 CLOSE\n");
}

TEST(SerialTrace, FactoryWrapsOnlyWhenTracing) {
    int made = 0;
    auto make = [&made]() -> std::unique_ptr<SerialDevice> {
        ++made;
        return std::make_unique<ScriptedSerialDevice>();
    };
    auto plain = tracedFactory(make, nullptr);
    auto device = plain();
    EXPECT_NE(dynamic_cast<ScriptedSerialDevice*>(device.get()), nullptr);
    std::FILE* f = std::tmpfile();
    auto traced = tracedFactory(make, std::make_shared<TraceWriter>(f, [] { return std::int64_t{0}; }));
    auto wrapped = traced();
    EXPECT_NE(dynamic_cast<TracedSerialDevice*>(wrapped.get()), nullptr);
    EXPECT_EQ(made, 2);
    wrapped.reset();
    std::fclose(f);
}

struct TraceArgs {
    const char* name;
    std::vector<std::string> in;
    std::string file;
    std::vector<std::string> rest;
    bool error;
};

TEST(SerialTrace, WindowCommandLineGivesUpItsTraceOption) {
    const TraceArgs cases[] = {
        {"None", {"--port", "/dev/x"}, "", {"--port", "/dev/x"}, false},
        {"Separate", {"--trace", "t.log", "--simulate"}, "t.log", {"--simulate"}, false},
        {"WithEquals", {"--simulate", "--trace=a b.log"}, "a b.log", {"--simulate"}, false},
        {"LastOneWins", {"--trace", "1", "--trace=2"}, "2", {}, false},
        {"MissingFile", {"--simulate", "--trace"}, "", {"--simulate"}, true},
        {"EmptyFile", {"--trace="}, "", {}, true},
    };
    for (const TraceArgs& c : cases) {
        std::vector<std::string> args = c.in;
        const TraceOption t = takeTraceOption(args);
        EXPECT_EQ(t.file, c.file) << c.name;
        EXPECT_EQ(args, c.rest) << c.name;
        EXPECT_EQ(!t.error.empty(), c.error) << c.name;
    }
}

}  // namespace
}  // namespace velmora
