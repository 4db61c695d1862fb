#pragma once

#include "platform/clock.h"
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_entry.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace velmora {

// Where the bank and port digits of a line or command point in the tables:
//   port != 0            -> ScopePort,     bank index bankNo - 1, port index portNo - 1
//   port 0, bank != 0    -> ScopeBank,     bank index bankNo - 1, port index 0
//   port 0, bank 0       -> ScopeAllBanks, bank index 0,          port index 0
// The indexes are not checked here; see insideTables().
struct WireAddress {
    std::int32_t scope;
    int bank;  // bank index, 0-based
    int port;  // port index, 0-based
};
WireAddress scopeAddress(int bankNo, int portNo);

// True when the address lies in the tables: bank 0..15 and port 0..7.
bool insideTables(const WireAddress& a);

// Number of banks a whole-table operation may touch for a reported bank
// count: bankCount clamped to 0..kMaxBanks.
int tableBankLimit(int bankCount);

// The four tables of one run. Every function takes the one mutex for the
// whole of its work, so a whole-entry update from the reader thread and a
// whole-table copy or read from the UI thread never see each other half
// done. Bank and port arguments are 0-based indexes unless called bankNo /
// portNo (wire numbers, 1-based, 0 = all).
class TimerTables {
public:
    // The four tables as one record, for work that must see or change
    // several entries at once (see withLock).
    struct Tables {
        TimerTable liveOn{}, liveOff{}, editOn{}, editOff{};
        TimerTable& operator[](TableId id);
        const TimerTable& operator[](TableId id) const;
    };

    // Copy of one entry; an all-zero entry when bank or port lie outside
    // the tables.
    TimerEntry entry(TableId table, int bank, int port) const;
    // Replaces one entry. Returns false (and changes nothing) when bank or
    // port lie outside the tables.
    bool setEntry(TableId table, int bank, int port, const TimerEntry& e);

    // The entry that governs a port: port index 0 of the bank when its scope
    // is ScopeAllBanks or ScopeBank, else the port's own entry. All-zero
    // outside the tables.
    TimerEntry EffectiveEntry(TableId table, int bank, int port) const;

    // The three entries the main window needs for one port, read together.
    using PortEntries = velmora::PortEntries;
    // nullopt when bank or port lie outside the tables.
    std::optional<PortEntries> portEntries(int bank, int port) const;

    // A timer report from the unit: letter 'T', 'D' or 'W', wire bank and
    // port numbers, direction digit (non-zero: power-on), and the time left
    // until the timer fires. Stores the timer in the live table based at
    // `now` and copies it to the edit table at the same place.
    // Returns false and changes nothing when the letter is unknown, the
    // address lies outside the tables, or a number is negative or larger
    // than the report line can carry (hours > 999, minutes or seconds > 99).
    bool RecordReport(char letter, int bankNo, int portNo, int dir, int hours, int minutes,
                      int seconds, const LocalMoment& now);

    // The unit's "Q" confirmation (a timer was cleared). Disables the
    // addressed entries in the live and edit tables of the direction; a
    // bank-wide or all-banks clear also turns every remaining all-banks
    // entry of the first bankCount banks (at most 16) into a bank entry.
    // Returns the bank index of the address, or nullopt (nothing changed)
    // when it lies outside the tables.
    std::optional<int> ConfirmClear(int bankNo, int portNo, int dir, int bankCount);

    // The unit's "E" confirmation (a timer was set): the addressed entry of
    // the live and edit tables gets the address's scope and enabled = 1.
    // Returns the bank index, or nullopt (nothing changed) when outside.
    std::optional<int> ConfirmSet(int bankNo, int portNo, int dir);

    // Whole-table copies and clears cover banks [0, min(bankCount, 16));
    // a bankCount of 0 or less touches nothing.
    void copyLiveToEdit(int bankCount);  // EditOn <- LiveOn, EditOff <- LiveOff
    void copyEditToLive(int bankCount);  // LiveOn <- EditOn, LiveOff <- EditOff
    void copyTable(TableId from, TableId to, int bankCount);  // one direction only
    void clearAll(int bankCount);        // all four tables to zero
    // Zeroes banks [max(firstBank, 0), min(endBank, 16)) of all four tables:
    // the banks that disappeared when the unit reported fewer of them
    // (firstBank = new count, endBank = count shown before).
    void clearBanksFrom(int firstBank, int endBank);

    // Sets or clears the invalid mark of the port's LiveOn and LiveOff
    // entries (the unit's timer flag 'F'). False when outside the tables.
    bool setInvalid(int bank, int port, bool invalid);

    // True when some LiveOn entry of the first bankCount banks (at most 16)
    // is enabled.
    bool anyLiveOnEnabled(int bankCount) const;

    // Whole-table copy.
    TimerTable snapshot(TableId table) const;

    // Runs f(Tables&) under the lock and returns its result: for work that
    // must read and change several entries as one step (the transfer, the
    // dialog). f must not call back into this object (the lock is not
    // recursive) and must not wait for the reader thread.
    template <typename F>
    decltype(auto) withLock(F&& f) {
        std::lock_guard lock(mutex_);
        return f(tables_);
    }
    template <typename F>
    decltype(auto) withLock(F&& f) const {
        std::lock_guard lock(mutex_);
        return f(static_cast<const Tables&>(tables_));
    }

private:
    mutable std::mutex mutex_;
    Tables tables_;
};

// What the main window shows for port index `port` of bank index `bank`
// (see PortTimeLeft of the three entries); nullopt also when bank or port
// lie outside the tables.
std::optional<PortTime> PortTimeLeft(const TimerTables& tables, int bank, int port,
                                     const LocalMoment& now);

}  // namespace velmora
