#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Outcome of one serial-port step. OS error codes are translated into these
// in one place per back end; a removed device or a hung-up line is its own
// value so that callers never mistake it for a time-out.
enum class SerialStatus {
    ok,
    timeout,       // nothing arrived (or could be sent) within the time-outs
    woken,         // a wait ended because close() or wake() was called
    deviceGone,    // hang-up, unplugged adapter, far side of a pty closed
    notFound,      // no such device
    accessDenied,  // no permission (Linux: user not in "dialout")
    busy,          // already open elsewhere (exclusive use)
    notOpen,       // the call needs an open port
    failed,        // any other OS error
};

const char* serialStatusText(SerialStatus s);
// How a user who may not open serial ports gets the right to (Linux: the
// dialout group), for messages that report an accessDenied port.
inline constexpr const char* kSerialPermissionAdvice =
    "serial ports belong to the dialout group: sudo usermod -aG dialout $USER, then log in again";

// Parity and stop bits, numbered with the classic codes the Windows
// device control block uses too.
enum class Parity : std::uint8_t { none = 0, odd = 1, even = 2, mark = 3, space = 4 };
enum class StopBits : std::uint8_t { one = 0, oneAndHalf = 1, two = 2 };

// The members of the port's line settings the program changes; everything
// else keeps what the port had.
struct SerialLineSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t byteSize = 8;
    Parity parity = Parity::none;
    StopBits stopBits = StopBits::one;
    bool ctsOutputFlow = true;  // transmission waits for CTS
};

// Time-outs in milliseconds with the classic meaning: a read ends after
// readTotalConstant + readTotalMultiplier * bytes, or when the gap between
// two bytes exceeds readInterval (0: not used; counted from the first byte).
// Both read totals 0: no total limit. readInterval 0xFFFFFFFF with both read
// totals 0: a read returns at once with what is waiting. A write ends after
// writeTotalConstant + writeTotalMultiplier * bytes; both 0: no limit.
struct SerialTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// Probe: blocking reads and writes bounded by the time-outs, used briefly
// while searching for the unit. Link: the long-lived connection, read by
// the reader thread after waitForInput() and written from the UI thread.
enum class SerialMode { probe, link };

struct SerialIo {
    SerialStatus status = SerialStatus::ok;
    std::size_t bytes = 0;  // bytes read or written, also on time-out
};

// One serial port, step by step, so the probe can report each step.
// Thread rules: one reader thread may sit in waitForInput()/read() while the
// UI thread calls write(), wake() or close(); close() wakes a waiting reader
// and never frees what the reader still uses.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device exclusively. `device` is the OS name
    // ("\\.\COM3" on Windows, "/dev/ttyUSB0" on Linux). A port this object
    // already has open is closed first. ok; notFound (no such device, empty
    // name); accessDenied; busy (open elsewhere, also by another
    // SerialDevice of this program); failed (not a serial port, other).
    virtual SerialStatus open(const std::string& device, SerialMode mode) = 0;
    virtual bool isOpen() const = 0;

    // The setup steps return ok, notOpen, deviceGone or failed.
    // Reads the current line settings (`out` is untouched unless ok).
    virtual SerialStatus getState(SerialLineSettings& out) = 0;
    // Applies the settings and makes the line binary-clean: no software flow
    // control, no parity checking, no NUL stripping, no translation, raw.
    // failed: a value the port cannot take, or a driver that did not keep
    // the baud rate, data bits, parity, stop bits or the binary-clean line.
    // CTS flow control is asked for, but a driver that drops it still gives
    // ok (getState() then reports it off): the port stays usable.
    virtual SerialStatus setState(const SerialLineSettings& settings) = 0;
    // Driver queue sizes in bytes (a hint where the OS has no such knob).
    virtual SerialStatus setQueueSizes(std::size_t input, std::size_t output) = 0;
    virtual SerialStatus setTimeouts(const SerialTimeouts& timeouts) = 0;
    // Throws away whatever waits in both directions.
    virtual SerialStatus purge() = 0;
    // Throws away what has been received and not yet read; bytes on their
    // way out still go (an upgrade must not lose the command before it).
    virtual SerialStatus purgeReceive() = 0;

    // Link mode: blocks until received bytes are waiting (ok), until wake()
    // or close() is called (woken), or the device goes away (deviceGone).
    // Never returns ok without bytes waiting, never spins on a hang-up.
    // A wake() while nobody waits ends the next wait at once (so a stop
    // request is not lost). Bytes that came before a hang-up are handed out
    // first; once deviceGone was returned, every later wait returns it at
    // once until close(). notOpen when the port is not open.
    virtual SerialStatus waitForInput() = 0;
    // Bytes waiting in the input queue now (0 when closed or unknown).
    virtual std::size_t bytesWaiting() = 0;

    // Probe mode: blocks up to the read time-outs; returns what arrived
    // (status timeout when fewer than `size` bytes came). Link mode: reads
    // at most `size` bytes of what is waiting without blocking (ok, also
    // with 0 bytes). Both: deviceGone on a hang-up, woken when close() came
    // from another thread meanwhile, notOpen; `bytes` counts what was read.
    virtual SerialIo read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes all bytes within the write time-outs: ok; timeout when only
    // `bytes` of them could go (full queue, CTS held); deviceGone; woken
    // (closed meanwhile); notOpen. In link mode the call may return before
    // the bytes are on the line; the data is copied, so the caller's buffer
    // may go at once.
    virtual SerialIo write(const std::uint8_t* data, std::size_t size) = 0;

    // Ends a pending waitForInput() with `woken`; the port stays open.
    virtual void wake() = 0;
    // Closes the port; a pending wait ends with `woken`. Idempotent. When it
    // returns the device can be opened again.
    virtual void close() = 0;
};

// The back end of this platform (termios on POSIX, the Win32 serial API on
// Windows), chosen by the build.
std::unique_ptr<SerialDevice> makeSerialDevice();

// One serial port of the PC. `number` is what the port list shows and
// stores (the COM number on Windows, a running number on Linux); `name` is
// what the user sees ("COM3", "ttyUSB0"); `device` is what open() takes.
struct SerialPortInfo {
    int number = 0;
    std::string name;
    std::string device;
};

// The PC's serial ports in a stable order (platform back end).
std::vector<SerialPortInfo> listSerialPorts();

}  // namespace velmora
