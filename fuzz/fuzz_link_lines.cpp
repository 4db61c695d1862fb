// Arbitrary bytes from the unit, in both assembler modes, through the line
// assembler, the line processing, the device state, the pending-command queue
// and the timer tables; plus whole inputs as single lines of any length.
// Aborts when a documented bound is broken; the sanitizers catch the rest.
//
// Input: byte 0 holds options, bytes 1..4 seed the queue, the rest is the
// byte stream.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "link/device_state.h"
#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "link/protocol.h"
#include "link/scanf_fields.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

template <std::size_t N>
void requireTerminated(const char (&field)[N]) {
    require(std::memchr(field, '\0', N) != nullptr);
}

// initialCount: what the harness stored itself (it may exceed 16 to test
// the clamping of the tables); the unit's "M" lines never store more than 16.
void checkState(const DeviceState& state, int initialCount) {
    const int count = state.BankCount.load();
    require(count >= 0 && (count <= 16 || count == initialCount));
    require(state.lastLine().size() <= kMaxLineLength);
    for (int b = 0; b < kBankRecords; ++b) {
        const BankRecord r = state.bankSnapshot(b);
        requireTerminated(r.timerFlags);
        requireTerminated(r.portStates);
        requireTerminated(r.version);
        require(r.timerFlagsText().size() <= 8 && r.portStatesText().size() <= 8);
    }
}

void checkOutcome(const LineOutcome& o) {
    require(o.updateCount >= 0 && o.updateCount <= LineOutcome::kMaxUpdates);
    for (int i = 0; i < o.updateCount; ++i) {
        const std::int32_t kind = o.updates[static_cast<std::size_t>(i)];
        require(kind >= ukBankCount && kind <= ukVersion);
    }
    require(o.scheduleBank >= -1 && o.scheduleBank < 16);
}

void seedQueue(CommandQueue& queue, const std::uint8_t* seed) {
    // Commands the transfer could send, with fields taken from the input so
    // that confirmations sometimes match.
    queue.append(cmdClearTimer(seed[0] % 17, seed[1] % 9, seed[2] & 1));
    queue.append(cmdSetTimer("TDW"[seed[3] % 3], seed[0] % 17, seed[1] % 9, seed[2] & 1, seed[3],
                             seed[1] % 60, seed[2] % 60));
    queue.append(cmdClearTimer(0, 0, seed[3] & 1));
}

void runStream(std::string_view bytes, bool rawAtStart, int bankCount, const std::uint8_t* seed) {
    DeviceState state;
    TimerTables tables;
    LineAssembler assembler;
    LocalMoment now;
    now.hour = seed[0] % 24;
    now.minute = seed[1] % 60;
    now.second = seed[2] % 60;
    now.weekday = 1 + seed[3] % 7;
    state.RawLineMode = rawAtStart;
    state.BankCount = bankCount;
    seedQueue(state.Queue, seed);

    for (char c : bytes) {
        if (!assembler.feed(static_cast<unsigned char>(c), state.RawLineMode.load())) {
            require(assembler.line().empty());
            continue;
        }
        const std::string_view line = assembler.line();
        require(!line.empty() && line.size() <= kMaxLineLength);
        const LineOutcome o = processLine(line, state, tables, now);
        checkOutcome(o);
        // What the window does for a next-after update.
        if (o.queueMatch == CommandQueue::Match::moreWaiting) state.Queue.advance();
        if (state.Queue.empty()) seedQueue(state.Queue, seed);
    }
    checkState(state, bankCount);
    resetLinkState(state, tables);
    require(state.BankCount.load() == 0 && state.Queue.empty());
    checkState(state, 0);
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size < 5) return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t* seed = data + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 5), size - 5);
    const int bankCount = options % 20;  // beyond 16 too: the tables must clamp

    runStream(bytes, false, bankCount, seed);
    runStream(bytes, true, bankCount, seed);

    // The whole input as one line: processLine takes any length.
    {
        DeviceState state;
        TimerTables tables;
        state.BankCount = bankCount;
        seedQueue(state.Queue, seed);
        checkOutcome(processLine(bytes, state, tables, LocalMoment{}));
        checkState(state, bankCount);
    }

    // The scanners on their own.
    float f = 0.0f;
    if (scanFloat(bytes, f)) require(std::isfinite(f));
    std::size_t pos = 0;
    int value = 0;
    if (scanDecimal(bytes, pos, options % 5, value)) require(pos <= bytes.size());
    const LineWords words = scanWords(bytes);
    require(words.count >= 0 && words.count <= 4);
    return 0;
}
