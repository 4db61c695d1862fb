// Arbitrary bytes from a control-socket client, cut into lines as the
// owner cuts them and read as requests. Whatever comes, no line handed out
// is longer than the limit, every request read has values in range and
// reads back the same from the line a client would write for it. Aborts
// when that breaks; the sanitizers catch the rest.
//
// Input: byte 0 picks the line limit (small ones reach the overflow), the
// rest is the stream, fed in pieces of varying size.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "service/control_protocol.h"

namespace velmora {
namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

void checkRequest(const Request& r) {
    require(r.timeoutMs >= 0 && r.timeoutMs <= kLongestRequestTimeoutMs);
    require(r.bank >= 0 && r.bank <= 99 && r.port >= 0 && r.port <= 8);
    require(!(r.bank == 0 && r.port != 0));
    require(r.delayMs >= 0 && r.delayMs <= kLongestRequestTimeoutMs);
    // What a client writes for it reads back as the same request.
    const RequestParse again = parseRequest(requestLine(r));
    require(again.request.has_value());
    const Request& b = *again.request;
    require(b.kind == r.kind && b.bank == r.bank && b.port == r.port && b.timeoutMs == r.timeoutMs);
    require(b.text == r.text && b.on == r.on && b.id == r.id);
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size == 0) return 0;
    const std::size_t limit = data[0] < 128 ? 16 + data[0] : kMaxRequestBytes;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    LineReader reader(limit);
    std::size_t at = 0;
    std::size_t piece = 1;
    while (at < stream.size() && !reader.overflowed()) {
        const std::string_view part = stream.substr(at, piece);
        at += part.size();
        piece = piece * 3 % 97 + 1;
        reader.feed(part);
        while (auto line = reader.next()) {
            require(line->size() <= limit);
            const RequestParse p = parseRequest(*line);
            require(p.request.has_value() != !p.error.empty());
            if (p.request) checkRequest(*p.request);
            (void)errorLine(p.id, p.error, kAnswerUsage);
        }
    }
    // A whole input as one line too.
    const RequestParse whole = parseRequest(stream);
    if (whole.request) checkRequest(*whole.request);
    return 0;
}
