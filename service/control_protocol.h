#pragma once

// The control socket's language: JSON lines. A client writes one request
// object a line; the owner answers each with one object a line that repeats
// the request's "id" (a watch keeps answering until the client goes).
//
// Requests: {"id":ID,"command":C, ...} with C one of
//   "hello"                                  who owns the port
//   "status"                                 the unit, fresh within ~1 s
//   "switch"  "on":bool,"bank":B,"port":P    one port, a bank (P 0) or all (B 0, P 0)
//   "cycle"   "bank":B,"port":P,"delay":MS   off, confirmed, the pause, on
//   "version"                                every bank's firmware version
//   "clock"                                  the unit's clock from the owner's
//   "schedule-send" "text":FILE              a schedule file's text, sent
//   "schedule-save"                          the unit's timers as a schedule file's text
//   "watch"                                  the unit after every poll answer
//   "metrics"                                the unit in Prometheus' text format
//   "upgrade" "image":BYTES                  a firmware image (bytes as Latin-1
//                                            characters), only where the owner
//                                            upgrades for others (serve); progress
//                                            lines {"more":true,...} until the end
// and an optional "timeout":MS (default 10000, 100 ms to one hour). The id
// is a string or a whole number within 2^53; a request has at most
// kMaxRequestKeys keys and nothing nested. Blank lines are skipped.
// Answers: {"id":ID,"ok":true, ...} or {"id":ID,"ok":false,"error":TEXT,
// "exitCode":N} with velmoractl's exit codes. A line that is not such a
// request gets {"id":null,"ok":false,...}; a line longer than
// kMaxRequestBytes ends the connection after that answer.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "service/json.h"

namespace velmora {

// The longest request line taken (a schedule file's text fits many times).
inline constexpr std::size_t kMaxRequestBytes = 1u << 20;
inline constexpr int kDefaultRequestTimeoutMs = 10000;
inline constexpr int kLongestRequestTimeoutMs = 3600 * 1000;
inline constexpr int kShortestRequestTimeoutMs = 100;  // less cannot see one answer
// A request has a handful of keys; a line with more (or anything nested) is
// refused before a JSON tree is built from it.
inline constexpr std::size_t kMaxRequestKeys = 32;

// velmoractl's exit codes, which the answers carry.
inline constexpr int kAnswerDone = 0;
inline constexpr int kAnswerNoUnit = 1;
inline constexpr int kAnswerUsage = 2;
inline constexpr int kAnswerNotConfirmed = 3;
inline constexpr int kAnswerBusy = 4;

enum class RequestKind {
    hello, status, switchPorts, cycle, version, clock, scheduleSend, scheduleSave, watch, upgrade, metrics
};

struct Request {
    Json id;  // as the client sent it (string, number or null)
    RequestKind kind = RequestKind::status;
    bool on = false;
    int bank = 0;
    int port = 0;
    int delayMs = 0;
    int timeoutMs = kDefaultRequestTimeoutMs;
    std::string text;  // schedule-send: the file's bytes; upgrade: the image's
    // Whether the one who asked still waits for the answer (the control
    // server: its client is connected). Empty: always. A request nobody
    // waits for any more is withdrawn unless the unit already has it.
    std::function<bool()> wanted;
};

struct RequestParse {
    std::optional<Request> request;
    Json id;  // what could be read of the id, for the error answer
    std::string error;  // why the line is not a request
};

// Reads one line (without its line end). Never throws. The id must be a
// string or a whole number within 2^53 (echoed exactly); "timeout" is at
// least kShortestRequestTimeoutMs.
RequestParse parseRequest(std::string_view line);
// Only blanks: not a request, and not answered either.
bool blankLine(std::string_view line);

// The request as a line (with its line end), for clients.
std::string requestLine(const Request& request);
const char* requestName(RequestKind kind);

// Answers, each one line with its line end.
std::string okLine(const Json& id, Json fields = Json::object());
std::string errorLine(const Json& id, std::string_view error, int exitCode);
// Any answer object as a line: compact, ASCII only (what cannot be read
// as UTF-8 is replaced), never throws.
std::string answerText(const Json& answer);

// Cuts a byte stream into lines of at most kMaxRequestBytes (or `limit`).
// A carriage return before the line feed is dropped.
class LineReader {
public:
    explicit LineReader(std::size_t limit = kMaxRequestBytes) : limit_(limit) {}
    // Takes bytes; afterwards next() hands out the complete lines.
    void feed(std::string_view bytes);
    // The next complete line, if any.
    std::optional<std::string> next();
    // A line grew past the limit: the stream cannot be read any further.
    bool overflowed() const { return overflowed_; }
    // Bytes of a line not yet complete (or lines not yet taken).
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    void overflow();

    std::size_t limit_;
    std::string buffer_;
    std::size_t start_ = 0;    // where the next line begins
    std::size_t scanned_ = 0;  // no line end before this
    bool overflowed_ = false;
};

}  // namespace velmora
