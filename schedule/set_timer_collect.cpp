// The Set Timer dialog's rows collected into the working tables: clears
// first, then sets, each for all banks, the whole bank or its ports.

#include "schedule/set_timer_logic.h"

#include <algorithm>

namespace velmora {

// ---- Collection ---------------------------------------------------------------------------------

void SetTimerLogic::StoreRow(const TimerRow& row, TimerEntry& e) const {
    e.pending = row.changed ? 1 : 0;
    e.enabled = row.checked ? 1 : 0;
    e.kind = row.kind;
    e.weekday = row.day;
    e.hour = fieldNumber(row.hourText);
    e.minute = fieldNumber(row.minuteText);
}

void SetTimerLogic::CollectPage(int firstRow, TimerTable& table, int bank, int banks) {
    const int limit = tableBankLimit(banks);
    auto zeroAllBanks = [&] {
        for (int b = 0; b < limit; ++b) table[static_cast<std::size_t>(b)].fill(TimerEntry{});
    };
    auto& entries = table[static_cast<std::size_t>(bank)];
    const TimerRow& allBanks = row(firstRow + kAllBanksLine);
    const TimerRow& wholeBank = row(firstRow + kWholeBankLine);

    // Clears first.
    if (!allBanks.checked && allBanks.changed) {
        zeroAllBanks();
        StoreRow(allBanks, entries[0]);
        entries[0].scope = ScopeClearAll;
    } else if (!wholeBank.checked && wholeBank.changed) {
        entries.fill(TimerEntry{});
        StoreRow(wholeBank, entries[0]);
        entries[0].scope = ScopeClearBank;
    } else {
        for (int p = 0; p < kPortsPerBank; ++p) {
            const TimerRow& port = row(firstRow + kFirstPortLine + p);
            if (!port.checked && port.changed) StoreRow(port, entries[static_cast<std::size_t>(p)]);
        }
    }

    // Then the sets.
    if (allBanks.checked && allBanks.changed) {
        zeroAllBanks();
        StoreRow(allBanks, entries[0]);
        entries[0].scope = ScopeAllBanks;
        if (banks != 1) {
            const TimerEntry setting = entries[0];
            for (int b = 0; b < limit; ++b) {
                TimerEntry& copy = table[static_cast<std::size_t>(b)][0];
                copy = setting;
                // Sent once, from bank index 0.
                if (b != 0) copy.pending = 0;
            }
        }
    } else if (wholeBank.checked && wholeBank.changed) {
        entries.fill(TimerEntry{});
        StoreRow(wholeBank, entries[0]);
        entries[0].scope = ScopeBank;
    } else {
        for (int p = 0; p < kPortsPerBank; ++p) {
            const TimerRow& port = row(firstRow + kFirstPortLine + p);
            if (!port.checked || !port.changed) continue;
            TimerEntry& e = entries[static_cast<std::size_t>(p)];
            StoreRow(port, e);
            if (e.scope == ScopeClearAll) e.scope = ScopeClearAllThenPort;
            else if (e.scope == ScopeClearBank) e.scope = ScopeClearBankThenPort;
        }
    }
}

void SetTimerLogic::CollectBank() {
    const int banks = bankCount();
    const int bank = std::clamp(PageBank_, 0, kMaxBanks - 1);
    d_.tables.withLock([&](TimerTables::Tables& t) {
        CollectPage(0, t.editOn, bank, banks);
        CollectPage(kRowsPerPage, t.editOff, bank, banks);
    });
}

}  // namespace velmora
