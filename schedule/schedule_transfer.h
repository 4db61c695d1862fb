#pragma once

// Sending a schedule: the working tables are copied over the live tables
// and every entry marked pending becomes one clear or set command. The
// commands go into the pending-command list behind whatever still waits,
// and only the list's head is written; the unit's confirmations let the
// rest follow one by one.
//
// Order of one transfer: power-on clears, power-on sets, power-off clears,
// power-off sets; within each group bank by bank, within a bank port by
// port. Bank numbers on the wire count from 1 (0 with port 0: every bank),
// port numbers from 1 (0: the whole bank); direction digit 1 is power-on.
//
// Nothing here reads the clock or touches a port: "now" is passed in, and
// the list and the write come from the caller (the link's CommandQueue and
// SerialLink::write in the program).

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "schedule/timer_entry.h"
#include "schedule/timer_tables.h"

namespace velmora {

// Commands in sending order, each a complete text with "/" and "\".
using TransferCommands = std::vector<std::string>;
using BankEntries = std::array<TimerEntry, kPortsPerBank>;

// Appends "/Q%02d%01d%01d\" (bank number, port number, direction digit).
// Fields outside the command's widths append nothing.
void EnqueueClear(TransferCommands& out, int bankNo, int portNo, int dir);

// Stamps the entry at `now`, then appends "/%c%02d%01d%01d %03d%02d%02d\"
// with the entry's letter (T for After and At, D every day, W every week),
// the address and the time until the timer first fires (never less than 6
// seconds). An entry no command can carry (unknown kind, negative time)
// is stamped but appends nothing: an unanswerable command would hold up
// every command behind it.
void EnqueueSet(TransferCommands& out, TimerEntry& entry, int bankNo, int portNo, int dir,
                const LocalMoment& now);

// The clears of bank index `bank` (0..15), direction `dir`, from its eight
// live entries (E0 = port index 0):
//   E0 scope 3 or 5: one clear of every bank; for 3 E0's pending and scope
//     become 0, for 5 they stay (its set of port 1 follows);
//   else E0 scope 4 or 6: one clear of the whole bank; for 4 likewise;
//   else each entry with pending = 1 and enabled = 0: a clear of its port,
//     and its pending becomes 0.
void QueueClears(TransferCommands& out, BankEntries& entries, int bank, int dir);

// The sets of bank index `bank`: each entry with pending = 1 and enabled = 1
//   scope 1 (all banks): one set of every bank; pending and enabled become
//     0 and the entry is copied into port index 0 of each of the first
//     bankCount banks (at most 16) of `live`;
//   scope 2 (whole bank): one set of the bank; pending and enabled become 0;
//   otherwise: a set of its port; pending, enabled and scope become 0.
// A sent entry stays disabled until the unit confirms or reports it.
// `entries` is normally live[bank].
void QueueSets(TransferCommands& out, BankEntries& entries, TimerTable& live, int bank, int dir, int bankCount,
               const LocalMoment& now);

// One transfer on the four tables: LiveOn <- EditOn for the first bankCount
// banks, the power-on clears and sets, then LiveOff <- EditOff and the
// power-off clears and sets. Empty when nothing is pending.
TransferCommands buildTransfer(TimerTables::Tables& tables, int bankCount, const LocalMoment& now);
// The same as one step under the tables' lock.
TransferCommands buildTransfer(TimerTables& tables, int bankCount, const LocalMoment& now);

// The pending-command list as the transfer needs it.
struct TransferQueue {
    std::function<void(std::string)> append;             // behind the last command
    std::function<std::optional<std::string>()> head;    // the oldest waiting command, if any
    std::function<void(std::string_view)> write;         // one write call to the port
};

// Appends the commands in order and then, when the list is not empty,
// writes its head once: the first new command, or the command of an earlier
// transfer that still waits for its confirmation. Returns the number
// appended. Missing functions are skipped.
std::size_t startTransfer(const TransferCommands& commands, const TransferQueue& queue);

// ReturnToTransfer without the window: buildTransfer, then startTransfer.
std::size_t sendSchedule(TimerTables& tables, int bankCount, const LocalMoment& now, const TransferQueue& queue);

}  // namespace velmora
