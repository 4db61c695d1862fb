// Test program for the Win32 serial back end and the registry port list,
// cross-built with MinGW-w64 and run under Wine by scripts/test-win32:
//
//   serial_win32_check.exe UNIT_COM ECHO_COM
//
// UNIT_COM is the COM number mapped to the simulated unit's pty, ECHO_COM the
// one mapped to an echoing pty peer. Prints one line per check and, last,
// exactly "N passed, N failed"; the exit code is 0 only when nothing failed.
// Waits on real I/O are bounded by generous time-outs; no check is about
// speed.

// The back end is built into this program so that its error table, which
// it does not export, can be checked directly.
#include "platform/serial_win32.cpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/port_list.h"
#include "tests/win32/check_results.h"

namespace velmora {
namespace {

constexpr DWORD kIoBoundMs = 10000;  // generous: Wine on a loaded machine

CheckResults results;

std::string printable(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7f) {
            out += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02x>", b);
            out += hex;
        }
    }
    return out;
}

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

std::string comDevice(int n) { return "\\\\.\\COM" + std::to_string(n); }

// Runs fn on its own thread and returns its result; a run that does not end
// within the bound aborts the whole program with a failed check.
template <typename R>
R runBounded(const std::string& name, std::function<R()> fn, DWORD boundMs = kIoBoundMs) {
    std::packaged_task<R()> task(std::move(fn));
    std::future<R> result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(std::chrono::milliseconds(boundMs)) != std::future_status::ready) {
        worker.detach();
        results.abort(name);
    }
    worker.join();
    return result.get();
}

// Collects `count` bytes from a link-mode port the way a reader does:
// wait, ask how many are waiting, read them (one byte per call, or all
// that wait in one call).
struct Collected {
    SerialStatus lastStatus = SerialStatus::ok;
    std::vector<std::uint8_t> bytes;
};

enum class ReadSize { oneByte, allWaiting };

Collected collectLink(SerialDevice& dev, std::size_t count, ReadSize how = ReadSize::oneByte) {
    Collected c;
    std::vector<std::uint8_t> buffer;
    while (c.bytes.size() < count) {
        c.lastStatus = dev.waitForInput();
        if (c.lastStatus != SerialStatus::ok) return c;
        std::size_t waiting = dev.bytesWaiting();
        if (waiting == 0) {
            c.lastStatus = SerialStatus::failed;  // the wait promised bytes
            return c;
        }
        while (waiting > 0 && c.bytes.size() < count) {
            const std::size_t want =
                how == ReadSize::oneByte ? 1 : std::min(waiting, count - c.bytes.size());
            buffer.assign(want, 0);
            const SerialIo io = dev.read(buffer.data(), want);
            if (io.status != SerialStatus::ok || io.bytes != want) {
                c.lastStatus = io.status == SerialStatus::ok ? SerialStatus::failed : io.status;
                return c;
            }
            c.bytes.insert(c.bytes.end(), buffer.begin(), buffer.end());
            waiting -= want;
        }
    }
    return c;
}

// Collects with a bound: when the bytes do not come, wake() ends the wait
// and the check fails with what did arrive.
Collected collectLinkBounded(SerialDevice& dev, std::size_t count, const std::string& name,
                             ReadSize how = ReadSize::oneByte) {
    std::packaged_task<Collected()> task([&dev, count, how] { return collectLink(dev, count, how); });
    std::future<Collected> result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
        dev.wake();
        if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
            worker.detach();
            results.abort(name);
        }
    }
    worker.join();
    return result.get();
}

// Writes the greeting the way the program does: one byte per write, 1 ms apart.
bool writeGreetingByteByByte(SerialDevice& dev) {
    bool ok = true;
    for (char ch : std::string("/uni\\")) {
        const std::uint8_t b = static_cast<std::uint8_t>(ch);
        const SerialIo io = dev.write(&b, 1);
        ok = ok && io.status == SerialStatus::ok && io.bytes == 1;
        Sleep(1);
    }
    return ok;
}

const SerialTimeouts kProbeTimeouts{0, 0, 2000, 0, 5000};
const SerialTimeouts kLinkTimeouts{100, 500, 500, 100, 500};

// Open plus the setup steps of one mode, each step checked on its own.
bool openAndSetUp(SerialDevice& dev, const std::string& device, SerialMode mode,
                  const std::string& label) {
    const SerialStatus opened = dev.open(device, mode);
    results.expectStatus(opened, SerialStatus::ok, label + ": open " + device);
    if (opened != SerialStatus::ok) return false;
    SerialLineSettings before;
    results.expectStatus(dev.getState(before), SerialStatus::ok, label + ": get line settings");
    results.expectStatus(dev.setState(SerialLineSettings{}), SerialStatus::ok,
                         label + ": set line settings");
    const bool probe = mode == SerialMode::probe;
    results.expectStatus(dev.setQueueSizes(probe ? 1024 : 8192, probe ? 1024 : 16384),
                         SerialStatus::ok, label + ": set queue sizes");
    results.expectStatus(dev.setTimeouts(probe ? kProbeTimeouts : kLinkTimeouts), SerialStatus::ok,
                         label + ": set time-outs");
    return true;
}

// --- the error table ----------------------------------------------------

void checkErrorTable() {
    using win32serial::ErrorContext;
    struct Row {
        const char* meaning;
        DWORD error;
        ErrorContext context;
        SerialStatus want;
    };
    const Row rows[] = {
        {"missing port at open is not found", ERROR_FILE_NOT_FOUND, ErrorContext::opening,
         SerialStatus::notFound},
        {"missing path at open is not found", ERROR_PATH_NOT_FOUND, ErrorContext::opening,
         SerialStatus::notFound},
        {"access denied at open means the port is in use", ERROR_ACCESS_DENIED,
         ErrorContext::opening, SerialStatus::busy},
        {"access denied on an open handle means the adapter went", ERROR_ACCESS_DENIED,
         ErrorContext::io, SerialStatus::deviceGone},
        {"sharing violation at open means in use", ERROR_SHARING_VIOLATION, ErrorContext::opening,
         SerialStatus::busy},
        {"abort we asked for is a wake-up", ERROR_OPERATION_ABORTED, ErrorContext::cancelled,
         SerialStatus::woken},
        {"abort nobody asked for is a dying device", ERROR_OPERATION_ABORTED, ErrorContext::io,
         SerialStatus::deviceGone},
        {"bad command on I/O is a removed device", ERROR_BAD_COMMAND, ErrorContext::io,
         SerialStatus::deviceGone},
        {"device removed on I/O", ERROR_DEVICE_REMOVED, ErrorContext::io, SerialStatus::deviceGone},
        {"general failure on I/O is a removed device", ERROR_GEN_FAILURE, ErrorContext::io,
         SerialStatus::deviceGone},
        {"not ready on I/O is a removed device", ERROR_NOT_READY, ErrorContext::io,
         SerialStatus::deviceGone},
        {"broken pipe on I/O is a closed far end", ERROR_BROKEN_PIPE, ErrorContext::io,
         SerialStatus::deviceGone},
        {"access denied after we cancelled is still a gone device", ERROR_ACCESS_DENIED,
         ErrorContext::cancelled, SerialStatus::deviceGone},
        {"device not connected at open is not found", ERROR_DEVICE_NOT_CONNECTED,
         ErrorContext::opening, SerialStatus::notFound},
        {"semaphore time-out is a time-out", ERROR_SEM_TIMEOUT, ErrorContext::io,
         SerialStatus::timeout},
        {"invalid handle means not open", ERROR_INVALID_HANDLE, ErrorContext::io,
         SerialStatus::notOpen},
        {"unknown code is a plain failure", ERROR_INVALID_PARAMETER, ErrorContext::io,
         SerialStatus::failed},
    };
    for (const Row& r : rows)
        results.expectStatus(win32serial::statusFromError(r.error, r.context), r.want,
                             std::string("error table: ") + r.meaning);
}

// --- calls without an open port -------------------------------------------

void checkClosedDevice() {
    auto dev = makeSerialDevice();
    std::uint8_t byte = 0x55;
    SerialLineSettings settings;
    struct Row {
        const char* call;
        std::function<SerialStatus()> run;
    };
    const Row rows[] = {
        {"getState", [&] { return dev->getState(settings); }},
        {"setState", [&] { return dev->setState(settings); }},
        {"setQueueSizes", [&] { return dev->setQueueSizes(1024, 1024); }},
        {"setTimeouts", [&] { return dev->setTimeouts(kProbeTimeouts); }},
        {"purge", [&] { return dev->purge(); }},
        {"purgeReceive", [&] { return dev->purgeReceive(); }},
        {"waitForInput", [&] { return dev->waitForInput(); }},
        {"read", [&] { return dev->read(&byte, 1).status; }},
        {"write", [&] { return dev->write(&byte, 1).status; }},
    };
    for (const Row& r : rows)
        results.expectStatus(r.run(), SerialStatus::notOpen, std::string("closed port: ") + r.call);
    results.check(dev->bytesWaiting() == 0, "closed port: bytesWaiting is 0");
    results.check(!dev->isOpen(), "closed port: isOpen is false");
    dev->close();  // closing a closed port does nothing
    results.check(!dev->isOpen(), "closed port: close is idempotent");

    struct Missing {
        const char* meaning;
        std::string device;
    };
    const Missing missing[] = {
        {"unmapped COM number", comDevice(200)},
        {"no such device name", "\\\\.\\NOSUCHPORT"},
    };
    for (const Missing& m : missing) {
        for (SerialMode mode : {SerialMode::probe, SerialMode::link}) {
            auto d = makeSerialDevice();
            results.expectStatus(d->open(m.device, mode), SerialStatus::notFound,
                                 std::string("open ") + m.meaning + (mode == SerialMode::probe ? " (probe)" : " (link)"));
            results.check(!d->isOpen(), std::string("failed open leaves port closed: ") + m.meaning);
        }
    }
}

// --- port list from the registry ------------------------------------------

bool listHas(const std::vector<SerialPortInfo>& ports, int number) {
    for (const SerialPortInfo& p : ports)
        if (p.number == number && p.name == "COM" + std::to_string(number) && p.device == comDevice(number))
            return true;
    return false;
}

std::string describe(const std::vector<SerialPortInfo>& ports) {
    std::string out;
    for (const SerialPortInfo& p : ports)
        out += (out.empty() ? "" : ", ") + std::to_string(p.number) + "/" + p.name + "/" + p.device;
    return out.empty() ? "(none)" : out;
}

void checkMappedPortsListed(int unitCom, int echoCom) {
    const std::vector<SerialPortInfo> ports = listSerialPorts();
    results.check(listHas(ports, unitCom), "port list has the unit's COM" + std::to_string(unitCom),
                  describe(ports));
    results.check(listHas(ports, echoCom), "port list has the echo COM" + std::to_string(echoCom),
                  describe(ports));
    bool ascending = true;
    for (std::size_t i = 1; i < ports.size(); ++i) ascending = ascending && ports[i - 1].number <= ports[i].number;
    results.check(ascending, "port list is in ascending order", describe(ports));
}

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct RegValue {
    std::string name;
    DWORD type;
    std::vector<std::uint8_t> data;  // stored exactly as given
};

RegValue sz(const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return {name, REG_SZ, data};
}

bool replaceSerialCommValues(const std::vector<RegValue>& values) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSerialCommKey);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegValue& v : values)
        ok = ok && RegSetValueExA(key, v.name.c_str(), 0, v.type, v.data.data(),
                                  static_cast<DWORD>(v.data.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void checkRegistryRows() {
    const std::uint8_t dword[4] = {3, 0, 0, 0};
    struct Row {
        const char* meaning;
        std::vector<RegValue> values;
        std::vector<int> want;
    };
    const std::vector<Row> rows = {
        {"three ports come out in ascending order",
         {sz("\\Device\\Serial0", "COM10"), sz("\\Device\\Serial1", "COM3"), sz("\\Device\\Serial2", "COM1")},
         {1, 3, 10}},
        {"data without a number after COM is skipped",
         {sz("a", "COMx"), sz("b", "COM"), sz("c", "CO"), sz("d", ""), sz("e", "COM6")},
         {6}},
        {"duplicates are kept", {sz("a", "COM5"), sz("b", "COM2"), sz("c", "COM5")}, {2, 5, 5}},
        {"port numbers outside 1..255 are dropped", {sz("a", "COM0"), sz("b", "COM00"), sz("c", "COM8")}, {8}},
        {"only two digits after COM count", {sz("a", "COM123")}, {12}},
        {"a value that is not a string is skipped",
         {{"number", REG_DWORD, {dword, dword + 4}}, sz("b", "COM7")},
         {7}},
        {"string data without a terminator is read to its length",
         {{"unterminated", REG_SZ, bytesOf("COM9")}},
         {9}},
        {"a long value name does not cut the list",
         {sz(std::string(200, 'n'), "COM4"), sz("short", "COM11")},
         {4, 11}},
        {"an empty key gives an empty list", {}, {}},
    };
    for (const Row& r : rows) {
        const std::string name = std::string("registry: ") + r.meaning;
        if (!replaceSerialCommValues(r.values)) {
            results.check(false, name, "could not write the test values");
            continue;
        }
        const std::vector<SerialPortInfo> ports = listSerialPorts();
        bool same = ports.size() == r.want.size();
        for (std::size_t i = 0; same && i < ports.size(); ++i) {
            const int n = r.want[i];
            same = ports[i].number == n && ports[i].name == "COM" + std::to_string(n) &&
                   ports[i].device == comDevice(n);
        }
        results.check(same, name, "got " + describe(ports));
    }

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSerialCommKey);
    results.check(listSerialPorts().empty(), "registry: a missing key gives an empty list");
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    results.check(rc == ERROR_FILE_NOT_FOUND, "registry: listing does not create the missing key");
}

// --- probe against the simulated unit ---------------------------------------

void checkProbe(int unitCom) {
    auto dev = makeSerialDevice();
    const std::string label = "probe COM" + std::to_string(unitCom);
    if (!openAndSetUp(*dev, comDevice(unitCom), SerialMode::probe, label)) return;
    results.check(dev->isOpen(), label + ": isOpen after open");

    SerialLineSettings now;
    results.expectStatus(dev->getState(now), SerialStatus::ok, label + ": read settings back");
    struct Field {
        const char* name;
        long got;
        long want;
    };
    const Field fields[] = {
        {"baud rate", static_cast<long>(now.baudRate), 9600},
        {"byte size", now.byteSize, 8},
        {"parity", static_cast<long>(now.parity), 0},
        {"stop bits", static_cast<long>(now.stopBits), 0},
        {"CTS output flow", now.ctsOutputFlow ? 1 : 0, 1},
    };
    for (const Field& f : fields)
        results.check(f.got == f.want, label + ": settings read back: " + f.name,
                      "got " + std::to_string(f.got) + ", want " + std::to_string(f.want));

    results.expectStatus(dev->purge(), SerialStatus::ok, label + ": purge both queues");
    results.check(writeGreetingByteByByte(*dev), label + ": greeting written one byte per call");

    std::uint8_t answer[6] = {};
    const SerialIo got = runBounded<SerialIo>(label + ": read greeting answer",
                                              [&] { return dev->read(answer, 5); });
    results.expectStatus(got.status, SerialStatus::ok, label + ": 5-byte read of the answer");
    const std::vector<std::uint8_t> answerBytes(answer, answer + got.bytes);
    results.check(answerBytes == bytesOf("/xyz\\"), label + ": answer is /xyz\\", printable(answerBytes));

    const std::string ver = "/VER\\";
    const SerialIo sent = dev->write(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size());
    results.check(sent.status == SerialStatus::ok && sent.bytes == ver.size(),
                  label + ": version request written in one call");
    std::uint8_t version[10] = {};
    const SerialIo vio = runBounded<SerialIo>(label + ": read version answer",
                                              [&] { return dev->read(version, sizeof version); });
    const std::vector<std::uint8_t> vbytes(version, version + vio.bytes);
    const bool versionShape = vio.status == SerialStatus::ok && vio.bytes == 10 && version[0] == '/' &&
                              version[1] == 'V' && version[2] == '0' && version[3] == '1' &&
                              version[4] == ' ' && version[9] == '\\';
    results.check(versionShape, label + ": first version line reads /V01 nnnn\\", printable(vbytes));

    // The second bank's record comes behind the first: the receive-only
    // purge drops it and the port goes on as before.
    const bool secondWaits = runBounded<bool>(label + ": second version record arrives", [&] {
        for (int i = 0; i < 300 && dev->bytesWaiting() < 10; ++i) Sleep(10);
        return dev->bytesWaiting() >= 10;
    });
    results.check(secondWaits, label + ": second version record waits to be read",
                  std::to_string(dev->bytesWaiting()) + " bytes waiting");
    results.expectStatus(dev->purgeReceive(), SerialStatus::ok, label + ": receive-only purge");
    results.check(dev->bytesWaiting() == 0, label + ": nothing waits after the receive-only purge",
                  std::to_string(dev->bytesWaiting()) + " bytes waiting");

    // Nothing more comes: a read ends at its time-out with what arrived.
    results.expectStatus(dev->purge(), SerialStatus::ok, label + ": purge before the quiet read");
    results.expectStatus(dev->setTimeouts({0, 0, 300, 0, 5000}), SerialStatus::ok,
                         label + ": short read time-out");
    std::uint8_t quiet[5] = {};
    const SerialIo qio = runBounded<SerialIo>(label + ": quiet read", [&] { return dev->read(quiet, 5); });
    results.check(qio.status == SerialStatus::timeout && qio.bytes == 0,
                  label + ": read with nothing coming times out with 0 bytes",
                  std::string(serialStatusText(qio.status)) + ", " + std::to_string(qio.bytes) + " bytes");

    dev->close();
    results.check(!dev->isOpen(), label + ": closed");
    std::uint8_t b = 0;
    results.expectStatus(dev->read(&b, 1).status, SerialStatus::notOpen, label + ": read after close");
}

// --- link against the simulated unit ---------------------------------------

void checkLinkWaits(int unitCom) {
    const std::string label = "link COM" + std::to_string(unitCom);
    auto dev = makeSerialDevice();
    if (!openAndSetUp(*dev, comDevice(unitCom), SerialMode::link, label)) return;

    {
        // A wait with nothing arriving stays pending; the greeting's answer
        // arriving while it waits ends it with bytes to read.
        std::packaged_task<Collected()> task([&] { return collectLink(*dev, 5); });
        std::future<Collected> result = task.get_future();
        std::thread reader(std::move(task));
        const bool stillWaiting = result.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout;
        results.check(stillWaiting, label + ": wait does not return while nothing arrives");
        results.check(writeGreetingByteByByte(*dev), label + ": greeting written while the reader waits");
        if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
            dev->wake();
            if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
                reader.detach();
                results.abort(label + ": pending wait woken by arriving data");
            }
        }
        reader.join();
        const Collected c = result.get();
        results.expectStatus(c.lastStatus, SerialStatus::ok, label + ": pending wait woken by arriving data");
        results.check(c.bytes == bytesOf("/xyz\\"), label + ": answer read byte by byte is /xyz\\",
                      printable(c.bytes));
    }

    {
        // wake() ends a pending wait and leaves the port open.
        std::packaged_task<SerialStatus()> task([&] { return dev->waitForInput(); });
        std::future<SerialStatus> result = task.get_future();
        std::thread reader(std::move(task));
        Sleep(100);
        dev->wake();
        if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
            reader.detach();
            results.abort(label + ": wake ends a pending wait");
        }
        reader.join();
        results.expectStatus(result.get(), SerialStatus::woken, label + ": wake ends a pending wait");
        results.check(dev->isOpen(), label + ": port stays open after wake");
    }

    {
        // A wake() that comes before the wait starts is not lost: a reader
        // told to stop just before it waits would otherwise wait for ever.
        dev->wake();
        const SerialStatus s = runBounded<SerialStatus>(label + ": wake before the wait",
                                                        [&] { return dev->waitForInput(); });
        results.expectStatus(s, SerialStatus::woken, label + ": wake before the wait is not lost");
    }

    {
        // A link read of more than is waiting ends at the read time-outs.
        std::uint8_t b = 0;
        const SerialIo io = runBounded<SerialIo>(label + ": link read with nothing waiting",
                                                 [&] { return dev->read(&b, 1); });
        results.check(io.status == SerialStatus::timeout && io.bytes == 0,
                      label + ": link read with nothing waiting times out with 0 bytes",
                      std::string(serialStatusText(io.status)) + ", " + std::to_string(io.bytes) + " bytes");
    }

    {
        // close() from another thread ends a pending wait.
        std::packaged_task<SerialStatus()> task([&] { return dev->waitForInput(); });
        std::future<SerialStatus> result = task.get_future();
        std::thread reader(std::move(task));
        Sleep(100);
        std::thread closer([&] { dev->close(); });
        if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
            reader.detach();
            closer.detach();
            results.abort(label + ": close ends a pending wait");
        }
        reader.join();
        closer.join();
        results.expectStatus(result.get(), SerialStatus::woken, label + ": close ends a pending wait");
        results.check(!dev->isOpen(), label + ": closed by the other thread");
        results.expectStatus(dev->waitForInput(), SerialStatus::notOpen, label + ": wait after close");
        std::uint8_t b = 0;
        results.expectStatus(dev->write(&b, 1).status, SerialStatus::notOpen, label + ": write after close");
    }

    // The same object opens again (probe, close, link is the program's way).
    const bool reopened = openAndSetUp(*dev, comDevice(unitCom), SerialMode::link, label + " again");
    if (reopened) {
        results.check(writeGreetingByteByByte(*dev), label + " again: greeting written");
        const Collected c = collectLinkBounded(*dev, 5, label + " again: answer");
        results.check(c.bytes == bytesOf("/xyz\\"), label + " again: answer is /xyz\\", printable(c.bytes));
    }
    dev->close();
}

// --- byte transparency against the echo peer --------------------------------

std::vector<std::uint8_t> allByteValues() {
    std::vector<std::uint8_t> v(256);
    for (int i = 0; i < 256; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return v;
}

void checkByteValues(int echoCom) {
    const std::string label = "echo COM" + std::to_string(echoCom);
    const std::vector<std::uint8_t> all = allByteValues();

    auto dev = makeSerialDevice();
    if (openAndSetUp(*dev, comDevice(echoCom), SerialMode::link, label + " link")) {
        const SerialIo io = dev->write(all.data(), all.size());
        results.check(io.status == SerialStatus::ok && io.bytes == all.size(),
                      label + " link: 256 byte values in one write");
        const Collected c = collectLinkBounded(*dev, all.size(), label + " link: echo of one write");
        results.check(c.bytes == all, label + " link: all 256 byte values come back unchanged",
                      std::to_string(c.bytes.size()) + " bytes: " + printable(c.bytes));

        // One write per byte from a buffer the caller reuses at once: each
        // write must have taken its own copy.
        bool accepted = true;
        std::uint8_t scratch[1];
        for (std::uint8_t b : all) {
            scratch[0] = b;
            const SerialIo one = dev->write(scratch, 1);
            accepted = accepted && one.status == SerialStatus::ok && one.bytes == 1;
            scratch[0] = static_cast<std::uint8_t>(~b);
        }
        results.check(accepted, label + " link: 256 single-byte writes accepted");
        const Collected single = collectLinkBounded(*dev, all.size(), label + " link: echo of single writes");
        results.check(single.bytes == all, label + " link: single-byte writes arrive in order, unchanged",
                      std::to_string(single.bytes.size()) + " bytes: " + printable(single.bytes));

        // More than the pty and the peer hold while nobody reads the echo:
        // later writes stay pending, each with its own record and copy,
        // while the caller's buffer is refilled at once.
        constexpr std::size_t kChunk = 1024;
        constexpr std::size_t kChunks = 256;
        std::vector<std::uint8_t> expected;
        std::vector<std::uint8_t> chunk(kChunk);
        bool queued = true;
        for (std::size_t c = 0; c < kChunks; ++c) {
            for (std::size_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<std::uint8_t>(i + c * 37);
            expected.insert(expected.end(), chunk.begin(), chunk.end());
            const SerialIo w = dev->write(chunk.data(), chunk.size());
            queued = queued && w.status == SerialStatus::ok && w.bytes == kChunk;
            std::fill(chunk.begin(), chunk.end(), std::uint8_t{0xEE});
        }
        results.check(queued, label + " link: 256 KiB in 1 KiB writes accepted without waiting for the line");
        const Collected big = collectLinkBounded(*dev, expected.size(), label + " link: echo of 256 KiB",
                                                 ReadSize::allWaiting);
        std::size_t firstDiff = 0;
        while (firstDiff < big.bytes.size() && firstDiff < expected.size() &&
               big.bytes[firstDiff] == expected[firstDiff])
            ++firstDiff;
        results.check(big.bytes == expected, label + " link: 256 KiB come back complete and in order",
                      std::to_string(big.bytes.size()) + " bytes, first difference at " +
                          std::to_string(firstDiff));
        dev->close();
    }

    if (openAndSetUp(*dev, comDevice(echoCom), SerialMode::probe, label + " probe")) {
        results.expectStatus(dev->purge(), SerialStatus::ok, label + " probe: purge");
        const SerialIo io = dev->write(all.data(), all.size());
        results.check(io.status == SerialStatus::ok && io.bytes == all.size(),
                      label + " probe: 256 byte values written");
        std::vector<std::uint8_t> back(all.size());
        const SerialIo rio = runBounded<SerialIo>(label + " probe: read the echo",
                                                  [&] { return dev->read(back.data(), back.size()); });
        back.resize(rio.bytes);
        results.check(rio.status == SerialStatus::ok && back == all,
                      label + " probe: all 256 byte values come back unchanged",
                      std::to_string(back.size()) + " bytes: " + printable(back));
        dev->close();
    }
}

// --- a unit that drops the line ---------------------------------------------

void checkHangUp(int hangCom) {
    const std::string label = "hang-up COM" + std::to_string(hangCom);
    auto dev = makeSerialDevice();
    if (!openAndSetUp(*dev, comDevice(hangCom), SerialMode::link, label)) return;
    const std::string poll = "/C\\";
    auto writePoll = [&] {
        return dev->write(reinterpret_cast<const std::uint8_t*>(poll.data()), poll.size()).status;
    };

    // The first poll is answered.
    results.expectStatus(writePoll(), SerialStatus::ok, label + ": first poll written");
    const SerialStatus answered = runBounded<SerialStatus>(label + ": answer to the first poll",
                                                           [&] { return dev->waitForInput(); });
    results.expectStatus(answered, SerialStatus::ok, label + ": first poll answered");

    // Drain that answer, so that the next wait has nothing to return.
    Sleep(300);
    {
        std::vector<std::uint8_t> sink(4096);
        for (std::size_t n = dev->bytesWaiting(); n > 0; n = dev->bytesWaiting())
            if (dev->read(sink.data(), std::min(n, sink.size())).bytes == 0) break;
    }

    // The next poll makes the unit drop the line while a wait is pending:
    // that wait must end with deviceGone instead of hanging or spinning.
    std::packaged_task<SerialStatus()> task([&] {
        std::vector<std::uint8_t> sink(4096);
        for (int round = 0; round < 1000; ++round) {
            const SerialStatus s = dev->waitForInput();
            if (s != SerialStatus::ok) return s;
            dev->read(sink.data(), std::min(sink.size(), std::max<std::size_t>(dev->bytesWaiting(), 1)));
        }
        return SerialStatus::ok;  // never stopped: reported below
    });
    std::future<SerialStatus> result = task.get_future();
    std::thread reader(std::move(task));
    Sleep(300);
    results.expectStatus(writePoll(), SerialStatus::ok, label + ": second poll written while a wait is pending");
    if (result.wait_for(std::chrono::milliseconds(kIoBoundMs)) != std::future_status::ready) {
        reader.detach();
        results.abort(label + ": pending wait ends at the hang-up");
    }
    reader.join();
    const SerialStatus gone = result.get();
    results.expectStatus(gone, SerialStatus::deviceGone, label + ": wait ends with deviceGone");
    const SerialStatus again = runBounded<SerialStatus>(label + ": second wait after the hang-up",
                                                        [&] { return dev->waitForInput(); });
    results.expectStatus(again, SerialStatus::deviceGone, label + ": a later wait ends with deviceGone too");
    std::uint8_t b = 0;
    const SerialIo r = runBounded<SerialIo>(label + ": read after the hang-up", [&] { return dev->read(&b, 1); });
    results.expectStatus(r.status, SerialStatus::deviceGone, label + ": read after the hang-up");

    // Writes to the dead line must not hold the caller, nor hold close().
    const SerialStatus written = runBounded<SerialStatus>(label + ": writes after the hang-up return", [&] {
        SerialStatus worst = SerialStatus::deviceGone;
        for (int i = 0; i < 3; ++i)
            if (const SerialStatus w = writePoll(); w != SerialStatus::deviceGone) worst = w;
        return worst;
    });
    results.expectStatus(written, SerialStatus::deviceGone, label + ": writes after the hang-up report deviceGone");
    runBounded<bool>(label + ": close after the hang-up returns", [&] {
        dev->close();
        return true;
    });
    results.check(!dev->isOpen(), label + ": closed after the hang-up");
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    if (argc != 4) {
        std::printf("usage: serial_win32_check UNIT_COM ECHO_COM HANGUP_COM\n");
        return 2;
    }
    const int unitCom = std::atoi(argv[1]);
    const int echoCom = std::atoi(argv[2]);
    const int hangCom = std::atoi(argv[3]);
    if (unitCom <= 1 || echoCom <= 1 || hangCom <= 1 || unitCom == echoCom || unitCom == hangCom ||
        echoCom == hangCom) {
        // COM1 is the machine's console under Wine: never touched.
        std::printf("need three different COM numbers above 1\n");
        return 2;
    }

    checkErrorTable();
    checkClosedDevice();
    checkMappedPortsListed(unitCom, echoCom);
    checkProbe(unitCom);
    checkLinkWaits(unitCom);
    checkByteValues(echoCom);
    checkHangUp(hangCom);
    checkRegistryRows();  // last: it rewrites the port list of this prefix
    results.finish();
}
