// The transfer: which commands a schedule becomes, in which order, what it
// leaves in the live tables, and how the commands meet the pending list.
#include "link/command_queue.h"
#include "schedule/schedule_transfer.h"
#include "schedule_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::enabledTimer;
using velmora::testing::onWeekday;
using velmora::testing::timer;

namespace {

using Strings = std::vector<std::string>;
constexpr int Mon = 2, Thu = 5;

TimerEntry pending(TimerEntry e, std::int32_t scope = ScopePort) {
    e.pending = 1;
    e.scope = scope;
    return e;
}
TimerEntry pendingClear(std::int32_t scope = ScopePort) { return pending(timer(KindAfter, 0, 0), scope); }

// ------------------------------------------------------------------ one set command

struct SetCase {
    const char* name;
    TimerEntry entry;
    int bankNo, portNo, dir;
    LocalMoment now;
    std::string command;
};

class EnqueueSetCommand : public ::testing::TestWithParam<SetCase> {};

TEST_P(EnqueueSetCommand, LetterAddressAndTimeLeft) {
    const SetCase& c = GetParam();
    TransferCommands out;
    TimerEntry e = c.entry;
    EnqueueSet(out, e, c.bankNo, c.portNo, c.dir, c.now);
    EXPECT_EQ(out, c.command.empty() ? Strings{} : Strings{c.command});
    // Stamped whatever was sent.
    EXPECT_EQ(std::string(e.sinceDate), "2026/3/" + std::to_string(c.now.day));
    EXPECT_EQ(e.baseWeekday, c.now.weekday);
    EXPECT_EQ(e.baseHour, c.now.hour);
    EXPECT_EQ(e.baseMinute, c.now.minute);
    EXPECT_EQ(e.baseSecond, c.entry.kind == KindAfter ? c.now.second : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EnqueueSetCommand,
    ::testing::Values(
        SetCase{"EveryDayTomorrowMorning", timer(KindEveryDay, 7, 30), 2, 5, 1, onWeekday(Thu, 21, 0, 15),
                "/D0251 0102945\\"},
        SetCase{"AtWithinTheHour", timer(KindAt, 22, 0), 2, 0, 0, onWeekday(Thu, 21, 0, 15), "/T0200 0005945\\"},
        SetCase{"AfterZeroIsSixSeconds", timer(KindAfter, 0, 0), 1, 1, 1, onWeekday(Mon, 9, 0, 41),
                "/T0111 0000006\\"},
        SetCase{"AfterIsSentAsIs", timer(KindAfter, 99, 59), 16, 8, 0, onWeekday(Mon, 9, 0, 41), "/T1680 0995900\\"},
        SetCase{"EveryWeekCarriesDaysInHours", timer(KindEveryWeek, 10, 0, 4), 3, 2, 1, onWeekday(Mon, 10, 0, 0),
                "/W0321 0480000\\"},
        SetCase{"AllBanks", timer(KindAt, 12, 0), 0, 0, 1, onWeekday(Mon, 10, 0, 0), "/T0001 0020000\\"},
        SetCase{"ThisVeryMinuteIsSixSeconds", timer(KindAt, 10, 0), 1, 3, 1, onWeekday(Mon, 10, 0, 30),
                "/T0131 0000006\\"},
        SetCase{"UnknownKindSendsNothing", timer(9, 1, 0), 1, 1, 1, onWeekday(Mon, 10, 0, 0), ""},
        SetCase{"NegativeDelaySendsNothing", timer(KindAfter, -2, 0), 1, 1, 1, onWeekday(Mon, 10, 0, 0), ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(EnqueueClearCommand, AddressesAndWidths) {
    TransferCommands out;
    EnqueueClear(out, 2, 2, 1);
    EnqueueClear(out, 0, 0, 0);
    EnqueueClear(out, 16, 0, 1);
    EnqueueClear(out, 100, 0, 1);  // no such command
    EXPECT_EQ(out, (Strings{"/Q0221\\", "/Q0000\\", "/Q1601\\"}));
}

// ------------------------------------------------------------------ clears and sets of one bank

struct BankCase {
    const char* name;
    BankEntries before;
    Strings clears, sets;
    // The bank's entries after both steps: pending, enabled, scope per port.
    std::array<std::array<int, 3>, kPortsPerBank> after;
};

BankEntries bankWith(std::initializer_list<std::pair<int, TimerEntry>> entries) {
    BankEntries b{};
    for (const auto& [port, e] : entries) b[static_cast<std::size_t>(port)] = e;
    return b;
}

class OneBank : public ::testing::TestWithParam<BankCase> {};

TEST_P(OneBank, ClearsThenSets) {
    const BankCase& c = GetParam();
    TimerTable live{};
    live[1] = c.before;
    TransferCommands clears, sets;
    QueueClears(clears, live[1], 1, 1);
    QueueSets(sets, live[1], live, 1, 1, 2, onWeekday(Mon, 10, 0, 0));
    EXPECT_EQ(clears, c.clears);
    EXPECT_EQ(sets, c.sets);
    for (int p = 0; p < kPortsPerBank; ++p) {
        const TimerEntry& e = live[1][static_cast<std::size_t>(p)];
        EXPECT_EQ((std::array<int, 3>{e.pending, e.enabled, e.scope}), c.after[static_cast<std::size_t>(p)]) << p;
    }
}

constexpr std::array<int, 3> kZero{0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Scopes, OneBank,
    ::testing::Values(
        BankCase{"NothingPendingSendsNothing",
                 bankWith({{0, enabledTimer(KindAt, 1, 0)}, {3, timer(KindAt, 2, 0)}}),
                 {}, {}, {{{0, 1, 0}, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}},
        BankCase{"PortClearsAndSetsInPortOrder",
                 bankWith({{5, pendingClear()}, {1, pendingClear()}, {2, pending(enabledTimer(KindAt, 11, 0))},
                           {7, pending(enabledTimer(KindAfter, 0, 30))}}),
                 {"/Q0221\\", "/Q0261\\"}, {"/T0231 0010000\\", "/T0281 0003000\\"},
                 {{kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}},
        BankCase{"ClearAllReplacesThePortClears",
                 bankWith({{0, pendingClear(ScopeClearAll)}, {4, pendingClear()}}),
                 {"/Q0001\\"}, {}, {{kZero, kZero, kZero, kZero, {1, 0, 0}, kZero, kZero, kZero}}},
        BankCase{"ClearBank", bankWith({{0, pendingClear(ScopeClearBank)}}), {"/Q0201\\"}, {},
                 {{kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}},
        BankCase{"ClearAllThenPortOne",
                 bankWith({{0, pending(enabledTimer(KindAt, 12, 0), ScopeClearAllThenPort)}}),
                 {"/Q0001\\"}, {"/T0211 0020000\\"}, {{kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}},
        BankCase{"ClearBankThenPortOne",
                 bankWith({{0, pending(enabledTimer(KindAt, 12, 0), ScopeClearBankThenPort)},
                           {6, pending(enabledTimer(KindAt, 13, 0))}}),
                 {"/Q0201\\"}, {"/T0211 0020000\\", "/T0271 0030000\\"},
                 {{kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}},
        BankCase{"WholeBankSetKeepsItsScope", bankWith({{0, pending(enabledTimer(KindEveryDay, 6, 0), ScopeBank)}}),
                 {}, {"/D0201 0200000\\"}, {{{0, 0, ScopeBank}, kZero, kZero, kZero, kZero, kZero, kZero, kZero}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(OneBank, AllBanksSetIsCopiedIntoEveryBankOnce) {
    TimerTable live{};
    live[0][0] = pending(enabledTimer(KindAt, 12, 0), ScopeAllBanks);
    live[2][0] = enabledTimer(KindAt, 5, 0);  // overwritten by the copy
    live[3][0] = enabledTimer(KindAt, 5, 0);  // beyond the bank count: left alone
    TransferCommands out;
    QueueSets(out, live[0], live, 0, 1, 3, onWeekday(Mon, 10, 0, 0));
    EXPECT_EQ(out, Strings{"/T0001 0020000\\"});
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(live[static_cast<std::size_t>(b)][0].scope, ScopeAllBanks) << b;
        EXPECT_EQ(live[static_cast<std::size_t>(b)][0].pending, 0) << b;
        EXPECT_EQ(live[static_cast<std::size_t>(b)][0].enabled, 0) << b;
        EXPECT_EQ(live[static_cast<std::size_t>(b)][0].hour, 12) << b;
        EXPECT_EQ(std::string(live[static_cast<std::size_t>(b)][0].sinceDate), "2026/3/2") << b;
    }
    EXPECT_EQ(live[3][0].hour, 5);
    // The copies are not sent again by their own banks.
    for (int b = 1; b < 3; ++b) QueueSets(out, live[static_cast<std::size_t>(b)], live, b, 1, 3, onWeekday(Mon, 10, 0, 0));
    EXPECT_EQ(out.size(), 1u);
}

// ------------------------------------------------------------------ whole transfers

TEST(Transfer, ExampleSendsClearSetAndBankSetInThatOrder) {
    TimerTables tables;
    tables.setEntry(TableId::EditOn, 1, 1, pendingClear());
    tables.setEntry(TableId::EditOn, 1, 4, pending(enabledTimer(KindEveryDay, 7, 30)));
    tables.setEntry(TableId::EditOff, 1, 0, pending(enabledTimer(KindAt, 22, 0), ScopeBank));
    const Strings want = {"/Q0221\\", "/D0251 0102945\\", "/T0200 0005945\\"};
    EXPECT_EQ(buildTransfer(tables, 2, onWeekday(Thu, 21, 0, 15)), want);
    EXPECT_EQ(tables.entry(TableId::LiveOff, 1, 0).scope, ScopeBank);
    EXPECT_EQ(tables.entry(TableId::LiveOff, 1, 0).baseSecond, 0);
    EXPECT_EQ(tables.entry(TableId::LiveOn, 1, 4).baseHour, 21);
    EXPECT_EQ(tables.entry(TableId::EditOn, 1, 4).pending, 1) << "the working copy is the dialog's";
}

TEST(Transfer, GroupsRunOnClearsOnSetsOffClearsOffSetsBankByBank) {
    TimerTables tables;
    for (int b = 0; b < 3; ++b) {
        for (TableId id : {TableId::EditOn, TableId::EditOff}) {
            tables.setEntry(id, b, 6, pending(enabledTimer(KindAfter, b + 1, 0)));
            tables.setEntry(id, b, 2, pendingClear());
        }
    }
    const Strings want = {
        "/Q0131\\", "/Q0231\\", "/Q0331\\",                            // power-on clears
        "/T0171 0010000\\", "/T0271 0020000\\", "/T0371 0030000\\",  // power-on sets
        "/Q0130\\", "/Q0230\\", "/Q0330\\",                            // power-off clears
        "/T0170 0010000\\", "/T0270 0020000\\", "/T0370 0030000\\",  // power-off sets
    };
    EXPECT_EQ(buildTransfer(tables, 3, onWeekday(Mon, 8, 0, 0)), want);
}

TEST(Transfer, CopiesOnlyTheUnitsBanksAndLeavesSentEntriesDisabled) {
    TimerTables tables;
    tables.setEntry(TableId::EditOn, 0, 0, pending(enabledTimer(KindAt, 9, 0)));
    tables.setEntry(TableId::EditOn, 1, 0, pending(enabledTimer(KindAt, 9, 0)));
    tables.setEntry(TableId::LiveOn, 1, 0, enabledTimer(KindEveryDay, 1, 1));
    EXPECT_EQ(buildTransfer(tables, 1, onWeekday(Mon, 8, 0, 0)), Strings{"/T0111 0010000\\"});
    const TimerEntry sent = tables.entry(TableId::LiveOn, 0, 0);
    EXPECT_EQ(sent.enabled, 0);
    EXPECT_EQ(sent.pending, 0);
    EXPECT_EQ(sent.hour, 9);
    EXPECT_EQ(tables.entry(TableId::LiveOn, 1, 0), enabledTimer(KindEveryDay, 1, 1));
    EXPECT_TRUE(buildTransfer(tables, 1, onWeekday(Mon, 8, 0, 0)).size() == 1u)
        << "the working copy still says pending: a second OK sends it again";
}

TEST(Transfer, NothingPendingIsNoCommand) {
    TimerTables tables;
    tables.setEntry(TableId::EditOn, 0, 3, enabledTimer(KindAt, 9, 0));
    tables.setEntry(TableId::EditOff, 0, 3, timer(KindAt, 9, 0));
    EXPECT_TRUE(buildTransfer(tables, 2, onWeekday(Mon, 8, 0, 0)).empty());
}

TEST(Transfer, FullScheduleOfSixteenBanks) {
    TimerTables tables;
    for (TableId id : {TableId::EditOn, TableId::EditOff})
        for (int b = 0; b < 16; ++b)
            for (int p = 0; p < 8; ++p) tables.setEntry(id, b, p, pending(enabledTimer(KindEveryDay, b, p)));
    const TransferCommands out = buildTransfer(tables, 16, onWeekday(Mon, 23, 59, 0));
    ASSERT_EQ(out.size(), 256u);
    EXPECT_EQ(out.front(), "/D0111 0000100\\");
    EXPECT_EQ(out.back(), "/D1680 0150800\\");
}

// ------------------------------------------------------------------ the pending list

struct Written {
    CommandQueue queue;
    Strings writes;
    TransferQueue ops() {
        return {[this](std::string c) { queue.append(std::move(c)); }, [this] { return queue.head(); },
                [this](std::string_view t) { writes.emplace_back(t); }};
    }
};

TEST(StartTransfer, AppendsAllAndWritesTheHeadOnce) {
    Written w;
    EXPECT_EQ(startTransfer({"/Q0221\\", "/D0251 0102945\\"}, w.ops()), 2u);
    EXPECT_EQ(w.writes, Strings{"/Q0221\\"});
    EXPECT_EQ(w.queue.size(), 2u);
}

TEST(StartTransfer, NothingToSendAndNothingWaitingWritesNothing) {
    Written w;
    EXPECT_EQ(startTransfer({}, w.ops()), 0u);
    EXPECT_TRUE(w.writes.empty());
}

TEST(StartTransfer, ASecondTransferQueuesBehindAndRewritesTheWaitingHead) {
    Written w;
    startTransfer({"/Q0221\\", "/D0251 0102945\\"}, w.ops());
    startTransfer({"/T0200 0005945\\"}, w.ops());
    EXPECT_EQ(w.writes, (Strings{"/Q0221\\", "/Q0221\\"}));
    EXPECT_EQ(w.queue.size(), 3u);
    // Nothing new at all: the waiting head still goes out again.
    startTransfer({}, w.ops());
    EXPECT_EQ(w.writes.size(), 3u);
    EXPECT_EQ(w.writes.back(), "/Q0221\\");
}

TEST(StartTransfer, SendScheduleIsBuildThenStart) {
    TimerTables tables;
    tables.setEntry(TableId::EditOff, 0, 7, pending(enabledTimer(KindAfter, 0, 0)));
    Written w;
    EXPECT_EQ(sendSchedule(tables, 1, onWeekday(Mon, 8, 0, 0), w.ops()), 1u);
    EXPECT_EQ(w.writes, Strings{"/T0180 0000006\\"});
}

}  // namespace
