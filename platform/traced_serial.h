#pragma once

// A trace of everything that crosses a serial port: a SerialDevice
// decorator that logs each write() and read() to a TraceWriter. A front end
// enables it by wrapping the devices its factory makes; without a trace
// nothing is wrapped, so it costs nothing.
//
// One line per event, written and flushed at once (a crash loses at most a
// received line still open):
//
//   <ms> TX <bytes>     one write() call: a command, a greeting byte, an image byte
//   <ms> RX <bytes>     received bytes up to and including a line end as the
//                       unit frames them ("\", ">", "!", CR, LF, or the
//                       backspace of upgrade text); a "/" starts a new line.
//                       Bytes of a line still open are written before the
//                       next TX line, at close() and when 256 of them wait.
//   <ms> OPEN <device> <probe|link> <result>
//   <ms> CLOSE
//   <ms> TX-FAIL <result> <sent> of <asked>    a write that did not go whole
//
// <ms> is monotonic milliseconds since the trace began, with three
// decimals. Bytes are shown as text: printable ASCII as it is, a backslash
// as "\\", any other byte as "\xHH" (two upper-case hex digits), so the
// line shows every byte exactly and one line never spans two.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forwarding_serial.h"

namespace velmora {

// Appends `bytes` escaped as described above.
void appendTraceEscaped(std::string& out, std::string_view bytes);
// One complete trace line ("<ms> <tag> <text>\n", or "<ms> <tag>\n" for an
// empty text) for `micros` microseconds since the trace began; text is
// taken as it is.
std::string formatTraceLine(std::int64_t micros, std::string_view tag, std::string_view text);

// Where trace lines go. Thread-safe: the reader thread logs what it reads
// while the UI thread logs what it writes.
class TraceWriter {
public:
    // Writes to `file` (not closed here); `nowMicros` gives monotonic
    // microseconds (tests pass a fixed or stepping clock).
    TraceWriter(std::FILE* file, std::function<std::int64_t()> nowMicros);
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // Creates or truncates `path`; the clock is the steady clock from now
    // on. nullptr when the file cannot be opened; *error (if given) says why.
    static std::unique_ptr<TraceWriter> open(const std::string& path, std::string* error = nullptr);

    void sent(std::string_view bytes);
    void received(std::string_view bytes);
    // A line of its own: tag and text as they are, e.g. "OPEN" and
    // "/dev/ttyUSB0 link ok".
    void event(std::string_view tag, std::string_view text);
    // Writes the open received line, if any.
    void flushReceived();

    // Lines written so far; false once a write to the file failed.
    std::size_t lines() const;
    bool healthy() const;

private:
    void emitLocked(std::string_view tag, std::string_view text, bool escape);
    void flushReceivedLocked();

    mutable std::mutex mutex_;
    std::FILE* file_;
    bool owned_ = false;
    std::function<std::int64_t()> now_;
    std::string pending_;  // received bytes of a line not yet ended
    std::string scratch_;  // reused for every line
    std::size_t lines_ = 0;
    bool healthy_ = true;
};

// The decorator: every call goes to `inner`; open(), read(), write() and
// close() are also logged to `writer`.
class TracedSerialDevice final : public ForwardingSerialDevice {
public:
    TracedSerialDevice(std::shared_ptr<SerialDevice> inner, std::shared_ptr<TraceWriter> writer);

    SerialStatus open(const std::string& device, SerialMode mode) override;
    SerialIo read(std::uint8_t* buffer, std::size_t size) override;
    SerialIo write(const std::uint8_t* data, std::size_t size) override;
    void close() override;

private:
    std::shared_ptr<TraceWriter> writer_;
};

// A device factory that wraps each device in a TracedSerialDevice when
// `writer` is set, and returns `make` unchanged when it is not.
std::function<std::unique_ptr<SerialDevice>()> tracedFactory(std::function<std::unique_ptr<SerialDevice>()> make,
                                                             std::shared_ptr<TraceWriter> writer);

// The window program's "--trace FILE" / "--trace=FILE": removes the option
// (the last one given wins) from `args`, so the rest of the command line
// reads as before. `file` is empty when none was given; `error` says what
// was wrong ("--trace needs a file") and is empty otherwise.
struct TraceOption {
    std::string file;
    std::string error;
};
TraceOption takeTraceOption(std::vector<std::string>& args);

}  // namespace velmora
