// Arbitrary bytes as a schedule file, read into the working tables for a
// unit of 0..17 banks. Whatever the text, every entry the reader stores can
// be sent (its values fit a command), and what the tables hold is written
// and read back unchanged. Aborts when either breaks; the sanitizers catch
// the rest.
//
// Input: byte 0 picks the bank count, the rest is the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "schedule/schedule_file.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

bool sendable(const TimerEntry& e) {
    if (e.kind < 0 || e.kind > 3 || e.weekday < 0 || e.weekday > 7) return false;
    if (e.minute < 0 || e.minute > 59) return false;
    const int lastHour = e.kind == KindAfter ? 9999 : 23;  // a delay, or a time of day
    return e.hour >= 0 && e.hour <= lastHour;
}

bool sameAsStored(const TimerEntry& a, const TimerEntry& b) {
    return a.enabled == b.enabled && a.invalid == b.invalid && a.kind == b.kind && a.weekday == b.weekday &&
           a.hour == b.hour && a.minute == b.minute;
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size == 0) return 0;
    const int banks = data[0] % 18;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    TimerTables::Tables first{};
    const ScheduleRead read = applySchedule(text, first, banks);
    require(read.applied >= 0 && read.skipped >= 0);
    const int kept = banks < 0 ? 0 : (banks > 16 ? 16 : banks);
    for (const TimerTable* table : {&first.editOn, &first.editOff}) {
        for (int b = 0; b < 16; ++b) {
            for (const TimerEntry& e : (*table)[static_cast<std::size_t>(b)]) {
                if (b >= kept) {
                    require(e == TimerEntry{});  // banks the unit lacks are never touched
                } else {
                    require(sendable(e));
                    if (e.enabled != 0) require(e.pending == 1);
                }
            }
        }
    }

    // Saved and loaded again: the same timers.
    const std::string saved = formatSchedule(first, banks);
    TimerTables::Tables second{};
    const ScheduleRead again = applySchedule(saved, second, banks);
    require(again.complete && again.skipped == 0);
    for (int b = 0; b < kept; ++b) {
        for (int p = 0; p < 8; ++p) {
            const auto bi = static_cast<std::size_t>(b);
            const auto pi = static_cast<std::size_t>(p);
            require(sameAsStored(first.editOn[bi][pi], second.editOn[bi][pi]));
            require(sameAsStored(first.editOff[bi][pi], second.editOff[bi][pi]));
        }
    }
    return 0;
}
