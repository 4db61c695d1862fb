#include "schedule/schedule_transfer.h"

#include <algorithm>

#include "schedule/timer_arithmetic.h"
#include "schedule/timer_commands.h"

namespace velmora {

namespace {

constexpr int kPowerOn = 1;
constexpr int kPowerOff = 0;

void append(TransferCommands& out, std::string command) {
    if (!command.empty()) out.push_back(std::move(command));
}

void copyBanks(const TimerTable& from, TimerTable& to, int bankCount) {
    std::copy_n(from.begin(), tableBankLimit(bankCount), to.begin());
}

void queueDirection(TransferCommands& out, TimerTable& live, int dir, int bankCount, const LocalMoment& now) {
    const int banks = tableBankLimit(bankCount);
    for (int b = 0; b < banks; ++b) QueueClears(out, live[static_cast<std::size_t>(b)], b, dir);
    for (int b = 0; b < banks; ++b) QueueSets(out, live[static_cast<std::size_t>(b)], live, b, dir, bankCount, now);
}

}  // namespace

void EnqueueClear(TransferCommands& out, int bankNo, int portNo, int dir) {
    append(out, cmdClearTimer(bankNo, portNo, dir));
}

void EnqueueSet(TransferCommands& out, TimerEntry& entry, int bankNo, int portNo, int dir,
                const LocalMoment& now) {
    Stamp(entry, now);
    const TimeLeft t = TimeToTrigger(entry, TriggerMode::sending, now);
    const char letter = kindLetter(entry.kind)[0];  // '\0' for a kind no command carries
    append(out, cmdSetTimer(letter, bankNo, portNo, dir, t.hours, t.minutes, t.seconds));
}

void QueueClears(TransferCommands& out, BankEntries& entries, int bank, int dir) {
    TimerEntry& e0 = entries[0];
    if (e0.scope == ScopeClearAll || e0.scope == ScopeClearAllThenPort) {
        EnqueueClear(out, 0, 0, dir);
        if (e0.scope == ScopeClearAll) {
            e0.pending = 0;
            e0.scope = ScopePort;
        }
        return;
    }
    if (e0.scope == ScopeClearBank || e0.scope == ScopeClearBankThenPort) {
        EnqueueClear(out, bank + 1, 0, dir);
        if (e0.scope == ScopeClearBank) {
            e0.pending = 0;
            e0.scope = ScopePort;
        }
        return;
    }
    for (int p = 0; p < kPortsPerBank; ++p) {
        TimerEntry& e = entries[static_cast<std::size_t>(p)];
        if (e.pending == 1 && e.enabled == 0) {
            EnqueueClear(out, bank + 1, p + 1, dir);
            e.pending = 0;
        }
    }
}

void QueueSets(TransferCommands& out, BankEntries& entries, TimerTable& live, int bank, int dir, int bankCount,
               const LocalMoment& now) {
    for (int p = 0; p < kPortsPerBank; ++p) {
        TimerEntry& e = entries[static_cast<std::size_t>(p)];
        if (e.pending != 1 || e.enabled != 1) continue;
        if (e.scope == ScopeAllBanks) {
            EnqueueSet(out, e, 0, 0, dir, now);
            e.pending = 0;
            e.enabled = 0;
            // Every bank's bank-wide entry shows the one all-banks timer;
            // none of the copies is sent again.
            const TimerEntry sent = e;
            for (int b = 0; b < tableBankLimit(bankCount); ++b) live[static_cast<std::size_t>(b)][0] = sent;
        } else if (e.scope == ScopeBank) {
            EnqueueSet(out, e, bank + 1, 0, dir, now);
            e.pending = 0;
            e.enabled = 0;
        } else {
            EnqueueSet(out, e, bank + 1, p + 1, dir, now);
            e.pending = 0;
            e.enabled = 0;
            e.scope = ScopePort;
        }
    }
}

TransferCommands buildTransfer(TimerTables::Tables& tables, int bankCount, const LocalMoment& now) {
    TransferCommands out;
    copyBanks(tables.editOn, tables.liveOn, bankCount);
    queueDirection(out, tables.liveOn, kPowerOn, bankCount, now);
    copyBanks(tables.editOff, tables.liveOff, bankCount);
    queueDirection(out, tables.liveOff, kPowerOff, bankCount, now);
    return out;
}

TransferCommands buildTransfer(TimerTables& tables, int bankCount, const LocalMoment& now) {
    return tables.withLock([&](TimerTables::Tables& t) { return buildTransfer(t, bankCount, now); });
}

std::size_t startTransfer(const TransferCommands& commands, const TransferQueue& queue) {
    if (queue.append)
        for (const std::string& c : commands) queue.append(c);
    if (queue.head && queue.write) {
        if (const std::optional<std::string> first = queue.head()) queue.write(*first);
    }
    return queue.append ? commands.size() : 0;
}

std::size_t sendSchedule(TimerTables& tables, int bankCount, const LocalMoment& now, const TransferQueue& queue) {
    return startTransfer(buildTransfer(tables, bankCount, now), queue);
}

}  // namespace velmora
