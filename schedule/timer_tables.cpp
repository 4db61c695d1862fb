#include "schedule/timer_tables.h"

#include "schedule/int_math.h"
#include "schedule/timer_arithmetic.h"

#include <algorithm>

namespace velmora {

using intmath::clamp32;
using intmath::floorDiv;
using intmath::floorMod;

namespace {

// Largest numbers a timer report line can carry ("%3d" hours, "%2d"
// minutes and seconds); anything else did not come from the unit.
constexpr int kMaxReportHours = 999;
constexpr int kMaxReportMinutesOrSeconds = 99;

bool insideBankPort(int bank, int port) {
    return bank >= 0 && bank < kMaxBanks && port >= 0 && port < kPortsPerBank;
}

TableId liveFor(int dir) { return dir != 0 ? TableId::LiveOn : TableId::LiveOff; }
TableId editFor(int dir) { return dir != 0 ? TableId::EditOn : TableId::EditOff; }

void zeroBanks(TimerTable& t, int first, int end) {
    for (int b = first; b < end; ++b) t[b].fill(TimerEntry{});
}

}  // namespace

WireAddress scopeAddress(int bankNo, int portNo) {
    if (portNo != 0) return {ScopePort, bankNo - 1, portNo - 1};
    if (bankNo != 0) return {ScopeBank, bankNo - 1, 0};
    return {ScopeAllBanks, 0, 0};
}

bool insideTables(const WireAddress& a) { return insideBankPort(a.bank, a.port); }

int tableBankLimit(int bankCount) { return std::clamp(bankCount, 0, kMaxBanks); }

TimerTable& TimerTables::Tables::operator[](TableId id) {
    switch (id) {
    case TableId::LiveOn:
        return liveOn;
    case TableId::LiveOff:
        return liveOff;
    case TableId::EditOn:
        return editOn;
    case TableId::EditOff:
        break;
    }
    return editOff;
}

const TimerTable& TimerTables::Tables::operator[](TableId id) const {
    return const_cast<Tables&>(*this)[id];
}

TimerEntry TimerTables::entry(TableId table, int bank, int port) const {
    if (!insideBankPort(bank, port)) return {};
    std::lock_guard lock(mutex_);
    return tables_[table][bank][port];
}

bool TimerTables::setEntry(TableId table, int bank, int port, const TimerEntry& e) {
    if (!insideBankPort(bank, port)) return false;
    std::lock_guard lock(mutex_);
    tables_[table][bank][port] = e;
    return true;
}

namespace {
const TimerEntry& governing(const TimerTable& t, int bank, int port) {
    const TimerEntry& bankWide = t[bank][0];
    if (bankWide.scope == ScopeAllBanks || bankWide.scope == ScopeBank) return bankWide;
    return t[bank][port];
}
}  // namespace

TimerEntry TimerTables::EffectiveEntry(TableId table, int bank, int port) const {
    if (!insideBankPort(bank, port)) return {};
    std::lock_guard lock(mutex_);
    return governing(tables_[table], bank, port);
}

std::optional<TimerTables::PortEntries> TimerTables::portEntries(int bank, int port) const {
    if (!insideBankPort(bank, port)) return std::nullopt;
    std::lock_guard lock(mutex_);
    return PortEntries{tables_.liveOn[bank][port], governing(tables_.liveOn, bank, port),
                       governing(tables_.liveOff, bank, port)};
}

bool TimerTables::RecordReport(char letter, int bankNo, int portNo, int dir, int hours,
                               int minutes, int seconds, const LocalMoment& now) {
    const std::optional<Kind> reportedKind = kindFromReportLetter(letter);
    if (!reportedKind) return false;
    if (hours < 0 || hours > kMaxReportHours || minutes < 0 ||
        minutes > kMaxReportMinutesOrSeconds || seconds < 0 ||
        seconds > kMaxReportMinutesOrSeconds)
        return false;
    const WireAddress at = scopeAddress(bankNo, portNo);
    if (!insideTables(at)) return false;

    // Work out the new fields first; the lock is held only for the store.
    long long rh = hours;
    long long rm = minutes;
    const long long nowWeekday = now.weekday;
    const long long nowHour = now.hour;
    const long long nowMinute = now.minute;

    // The unit counts whole seconds: the timer falls due at second
    // (seconds left + now's second) of some minute.
    const long long x = seconds + static_cast<long long>(now.second);
    const long long baseSecond = floorMod(x, 60);
    rm += floorDiv(x, 60);

    std::int32_t kind = *reportedKind;
    long long hour = 0;
    long long minute = 0;
    long long weekday = 0;
    if (letter == 'T' && (rh >= 24 || (rh >= 23 && rm >= 60))) {
        // Too far off to be a time of day within the next day: keep it as a
        // delay counted from now.
        minute = floorMod(rm, 60);
        rh += floorDiv(rm, 60);
        hour = rh;
        kind = KindAfter;
        weekday = 0;
    } else {
        const long long y = rm + nowMinute;
        minute = floorMod(y, 60);
        rh += floorDiv(y, 60);
        if (rh < 24 - nowHour) {
            hour = rh + nowHour;
            weekday = nowWeekday;
        } else {
            const long long z = rh - (24 - nowHour);  // hours into the days after today
            hour = floorMod(z, 24);
            weekday = floorMod(nowWeekday + floorDiv(z, 24) + 1, 7);
            if (weekday == 0) weekday = 7;
        }
        if (kind == KindAt || kind == KindEveryDay) weekday = 0;
    }

    TimerEntry stamp{};
    setSinceDate(stamp, formatSinceDate(now));

    std::lock_guard lock(mutex_);
    TimerEntry& e = tables_[liveFor(dir)][at.bank][at.port];
    std::copy(std::begin(stamp.sinceDate), std::end(stamp.sinceDate), std::begin(e.sinceDate));
    e.enabled = 1;
    e.scope = at.scope;
    e.kind = kind;
    e.weekday = clamp32(weekday);
    e.hour = clamp32(hour);
    e.minute = clamp32(minute);
    e.baseWeekday = now.weekday;
    e.baseHour = now.hour;
    e.baseMinute = now.minute;
    e.baseSecond = clamp32(baseSecond);
    tables_[editFor(dir)][at.bank][at.port] = e;
    return true;
}

std::optional<int> TimerTables::ConfirmClear(int bankNo, int portNo, int dir, int bankCount) {
    const WireAddress at = scopeAddress(bankNo, portNo);
    if (!insideTables(at)) return std::nullopt;
    const int limit = tableBankLimit(bankCount);

    std::lock_guard lock(mutex_);
    TimerTable& live = tables_[liveFor(dir)];
    TimerTable& edit = tables_[editFor(dir)];
    auto disable = [](TimerEntry& e) {
        e.enabled = 0;
        e.scope = ScopePort;
    };
    if (at.scope == ScopeAllBanks || at.scope == ScopeBank) {
        for (int p = 0; p < kPortsPerBank; ++p) {
            disable(live[at.bank][p]);
            disable(edit[at.bank][p]);
        }
        // All-banks copies left in other banks now stand for their own bank.
        for (int b = 0; b < limit; ++b) {
            if (live[b][0].scope == ScopeAllBanks) {
                live[b][0].scope = ScopeBank;
                edit[b][0].scope = ScopeBank;
            }
        }
    } else {
        disable(live[at.bank][at.port]);
        disable(edit[at.bank][at.port]);
    }
    return at.bank;
}

std::optional<int> TimerTables::ConfirmSet(int bankNo, int portNo, int dir) {
    const WireAddress at = scopeAddress(bankNo, portNo);
    if (!insideTables(at)) return std::nullopt;
    std::lock_guard lock(mutex_);
    for (TableId id : {liveFor(dir), editFor(dir)}) {
        TimerEntry& e = tables_[id][at.bank][at.port];
        e.scope = at.scope;
        e.enabled = 1;
    }
    return at.bank;
}

void TimerTables::copyTable(TableId from, TableId to, int bankCount) {
    const int limit = tableBankLimit(bankCount);
    std::lock_guard lock(mutex_);
    if (from == to) return;
    std::copy_n(tables_[from].begin(), limit, tables_[to].begin());
}

void TimerTables::copyLiveToEdit(int bankCount) {
    const int limit = tableBankLimit(bankCount);
    std::lock_guard lock(mutex_);
    std::copy_n(tables_.liveOn.begin(), limit, tables_.editOn.begin());
    std::copy_n(tables_.liveOff.begin(), limit, tables_.editOff.begin());
}

void TimerTables::copyEditToLive(int bankCount) {
    const int limit = tableBankLimit(bankCount);
    std::lock_guard lock(mutex_);
    std::copy_n(tables_.editOn.begin(), limit, tables_.liveOn.begin());
    std::copy_n(tables_.editOff.begin(), limit, tables_.liveOff.begin());
}

void TimerTables::clearAll(int bankCount) { clearBanksFrom(0, bankCount); }

void TimerTables::clearBanksFrom(int firstBank, int endBank) {
    const int first = tableBankLimit(firstBank);
    const int end = tableBankLimit(endBank);
    std::lock_guard lock(mutex_);
    for (TimerTable* t : {&tables_.liveOn, &tables_.liveOff, &tables_.editOn, &tables_.editOff})
        zeroBanks(*t, first, end);
}

bool TimerTables::setInvalid(int bank, int port, bool invalid) {
    if (!insideBankPort(bank, port)) return false;
    std::lock_guard lock(mutex_);
    tables_.liveOn[bank][port].invalid = invalid ? 1 : 0;
    tables_.liveOff[bank][port].invalid = invalid ? 1 : 0;
    return true;
}

bool TimerTables::anyLiveOnEnabled(int bankCount) const {
    const int limit = tableBankLimit(bankCount);
    std::lock_guard lock(mutex_);
    for (int b = 0; b < limit; ++b)
        for (const TimerEntry& e : tables_.liveOn[b])
            if (e.enabled == 1) return true;
    return false;
}

TimerTable TimerTables::snapshot(TableId table) const {
    std::lock_guard lock(mutex_);
    return tables_[table];
}

std::optional<PortTime> PortTimeLeft(const TimerTables& tables, int bank, int port,
                                     const LocalMoment& now) {
    const std::optional<PortEntries> entries = tables.portEntries(bank, port);
    if (!entries) return std::nullopt;
    return PortTimeLeft(*entries, now);
}

}  // namespace velmora
