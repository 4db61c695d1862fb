// A transfer the whole way round: its commands go to the simulated unit one
// by one as the program sends them, the unit's confirmations and later timer
// reports come back through the link's line processing into the tables,
// and the unit's timers count down and switch its ports.
#include "link/device_state.h"
#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "schedule/schedule_transfer.h"
#include "schedule_test_support.h"
#include "sim/unit_model.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::enabledTimer;
using velmora::testing::onWeekday;

namespace {

using Strings = std::vector<std::string>;
constexpr int Thu = 5;

TimerEntry pending(TimerEntry e, std::int32_t scope = ScopePort) {
    e.pending = 1;
    e.scope = scope;
    return e;
}

// The program's side of the line without threads: what it writes goes
// straight into the unit, what the unit answers is cut into lines and
// processed, and a matched confirmation writes the next command as the
// window's view update would.
class LoopRig {
public:
    explicit LoopRig(int banks, LocalMoment now = onWeekday(Thu, 21, 0, 15)) : clock_(now), unit_(config(banks)) {
        state.BankCount = banks;
    }

    // ReturnToTransfer: the working tables go out through the pending list.
    std::size_t transfer() {
        return sendSchedule(tables, state.BankCount.load(), clock_.now(),
                            TransferQueue{[this](std::string c) { state.Queue.append(std::move(c)); },
                                          [this] { return state.Queue.head(); },
                                          [this](std::string_view t) { write(t); }});
    }

    void write(std::string_view text) {
        writes.emplace_back(text);
        receive(unit_.feed(text));
    }
    void poll() { write("/C\\"); }
    // Time passes on both sides alike.
    void pass(int seconds) {
        clock_.advanceSeconds(seconds);
        receive(unit_.tick(seconds));
    }

    sim::UnitModel& unit() { return unit_; }
    TimerEntry live(bool powerOn, int bank, int port) const {
        return tables.entry(powerOn ? TableId::LiveOn : TableId::LiveOff, bank, port);
    }

    DeviceState state;
    TimerTables tables;
    Strings writes;
    std::vector<std::string> lines;  // every line the program took in

private:
    static sim::UnitConfig config(int banks) {
        sim::UnitConfig c;
        c.banks = banks;
        c.statusForm = sim::StatusForm::combined;
        return c;
    }

    void receive(const std::string& bytes) {
        // Writes triggered by a line go out after it, as from reportStored.
        std::deque<std::string> next;
        for (unsigned char byte : bytes) {
            if (!assembler_.feed(byte, state.RawLineMode.load())) continue;
            lines.emplace_back(assembler_.line());
            const LineOutcome out = processLine(assembler_.line(), state, tables, clock_.now());
            for (int i = 0; i < out.updateCount; ++i) {
                const std::int32_t kind = out.updates[static_cast<std::size_t>(i)];
                if (kind != ukNextAfterClear && kind != ukNextAfterSet) continue;
                if (auto head = state.Queue.advance()) next.push_back(*head);
            }
        }
        for (const std::string& command : next) write(command);
    }

    FixedClock clock_;
    sim::UnitModel unit_;
    LineAssembler assembler_;
};

std::int64_t secondsLeft(sim::UnitModel& unit, int bank, int port, int action) {
    const auto t = unit.timer(bank, port, action);
    return t ? unit.secondsLeft(*t) : -1;
}

TEST(TransferLoop, ExampleIsConfirmedReportedAndFired) {
    LoopRig rig(2);
    // The unit already holds the power-on timer of bank 2, port 2.
    rig.tables.setEntry(TableId::EditOn, 1, 1, pending(enabledTimer(KindAt, 23, 0)));
    ASSERT_EQ(rig.transfer(), 1u);
    ASSERT_TRUE(rig.unit().timer(2, 2, 1));
    ASSERT_EQ(rig.live(true, 1, 1).enabled, 1) << "confirmed by E0221";

    rig.tables.copyLiveToEdit(2);
    TimerEntry off = rig.tables.entry(TableId::EditOn, 1, 1);
    off.enabled = 0;
    off.pending = 1;
    rig.tables.setEntry(TableId::EditOn, 1, 1, off);
    rig.tables.setEntry(TableId::EditOn, 1, 4, pending(enabledTimer(KindEveryDay, 7, 30)));
    rig.tables.setEntry(TableId::EditOff, 1, 0, pending(enabledTimer(KindAt, 22, 0), ScopeBank));
    rig.writes.clear();
    EXPECT_EQ(rig.transfer(), 3u);

    // Each command went out only after the one before it was confirmed.
    EXPECT_EQ(rig.writes, (Strings{"/Q0221\\", "/D0251 0102945\\", "/T0200 0005945\\"}));
    EXPECT_TRUE(rig.state.Queue.empty());
    EXPECT_FALSE(rig.unit().timer(2, 2, 1));
    EXPECT_EQ(secondsLeft(rig.unit(), 2, 5, 1), 10 * 3600 + 29 * 60 + 45);
    EXPECT_EQ(secondsLeft(rig.unit(), 2, 0, 0), 59 * 60 + 45);
    EXPECT_EQ(rig.live(true, 1, 1).enabled, 0);
    EXPECT_EQ(rig.live(true, 1, 4).enabled, 1);
    EXPECT_EQ(rig.live(false, 1, 0).enabled, 1);
    EXPECT_EQ(rig.live(false, 1, 0).scope, ScopeBank);

    // The unit's reports give back the times of day that were sent.
    rig.pass(5);
    rig.poll();
    const TimerEntry daily = rig.live(true, 1, 4);
    EXPECT_EQ(daily.kind, KindEveryDay);
    EXPECT_EQ(daily.hour, 7);
    EXPECT_EQ(daily.minute, 30);
    EXPECT_EQ(daily.weekday, 0);
    const TimerEntry bankOff = rig.live(false, 1, 0);
    EXPECT_EQ(bankOff.kind, KindAt);
    EXPECT_EQ(bankOff.scope, ScopeBank);
    EXPECT_EQ(bankOff.hour, 22);
    EXPECT_EQ(bankOff.minute, 0);
    EXPECT_EQ(rig.tables.entry(TableId::EditOff, 1, 0), bankOff) << "reports reach the working copy too";

    // 22:00: the whole of bank 2 goes off; 07:30 next morning port 5 comes on.
    for (int p = 1; p <= 8; ++p) rig.unit().setPort(2, p, true);
    rig.pass(59 * 60 + 39);
    EXPECT_EQ(rig.unit().portStates(2), "OOOOOOOO");
    rig.pass(1);
    EXPECT_EQ(rig.unit().portStates(2), "CCCCCCCC");
    EXPECT_FALSE(rig.unit().timer(2, 0, 0)) << "a once-only timer is gone after firing";
    rig.pass(9 * 3600 + 30 * 60);
    EXPECT_EQ(rig.unit().portStates(2), "CCCCOCCC");
    EXPECT_EQ(secondsLeft(rig.unit(), 2, 5, 1), 24 * 3600) << "a daily timer is due again a day later";
}

TEST(TransferLoop, DelayOfZeroFiresSixSecondsLater) {
    LoopRig rig(1);
    rig.tables.setEntry(TableId::EditOn, 0, 2, pending(enabledTimer(KindAfter, 0, 0)));
    rig.transfer();
    EXPECT_EQ(rig.writes, Strings{"/T0131 0000006\\"});
    rig.pass(5);
    EXPECT_FALSE(rig.unit().portOn(1, 3));
    rig.pass(1);
    EXPECT_TRUE(rig.unit().portOn(1, 3));
}

TEST(TransferLoop, AllBanksTimerIsOneCommandForEveryBank) {
    LoopRig rig(3, onWeekday(2, 10, 0, 0));
    rig.tables.setEntry(TableId::EditOff, 0, 0, pending(enabledTimer(KindAt, 10, 30), ScopeAllBanks));
    for (int b = 1; b <= 3; ++b)
        for (int p = 1; p <= 8; ++p) rig.unit().setPort(b, p, true);
    rig.transfer();
    EXPECT_EQ(rig.writes, Strings{"/T0000 0003000\\"});
    EXPECT_EQ(rig.live(false, 0, 0).enabled, 1);
    EXPECT_EQ(rig.live(false, 0, 0).scope, ScopeAllBanks);
    rig.poll();
    EXPECT_EQ(rig.live(false, 0, 0).hour, 10);
    EXPECT_EQ(rig.live(false, 0, 0).minute, 30);
    rig.pass(30 * 60);
    for (int b = 1; b <= 3; ++b) EXPECT_EQ(rig.unit().portStates(b), "CCCCCCCC") << b;
}

TEST(TransferLoop, ClearOfEveryBankEmptiesTheDirection) {
    LoopRig rig(2, onWeekday(2, 10, 0, 0));
    for (int b = 0; b < 2; ++b)
        for (int p = 0; p < 8; p += 3) {
            rig.tables.setEntry(TableId::EditOn, b, p, pending(enabledTimer(KindEveryDay, 20, p)));
            rig.tables.setEntry(TableId::EditOff, b, p, pending(enabledTimer(KindEveryDay, 21, p)));
        }
    rig.transfer();
    ASSERT_EQ(rig.unit().timers().size(), 12u);

    // As the dialog leaves it: the direction zeroed for every bank and one
    // clear of every bank in the shown bank's bank-wide entry.
    rig.tables.copyLiveToEdit(2);
    for (int b = 0; b < 2; ++b)
        for (int p = 0; p < 8; ++p) rig.tables.setEntry(TableId::EditOn, b, p, TimerEntry{});
    TimerEntry clearAll{};
    clearAll.pending = 1;
    clearAll.scope = ScopeClearAll;
    rig.tables.setEntry(TableId::EditOn, 1, 0, clearAll);
    rig.writes.clear();
    rig.transfer();
    EXPECT_EQ(rig.writes, Strings{"/Q0001\\"});
    for (const sim::UnitTimer& t : rig.unit().timers()) EXPECT_EQ(t.action, 0);
    EXPECT_EQ(rig.unit().timers().size(), 6u);
    rig.poll();
    for (int b = 0; b < 2; ++b)
        for (int p = 0; p < 8; ++p) {
            EXPECT_EQ(rig.live(true, b, p).enabled, 0) << b << "/" << p;
            EXPECT_EQ(rig.live(false, b, p).enabled, p % 3 == 0 ? 1 : 0) << b << "/" << p;
        }
}

TEST(TransferLoop, SixteenBanksOfBothDirectionsGoThroughOneByOne) {
    LoopRig rig(16, onWeekday(2, 6, 0, 0));
    for (TableId id : {TableId::EditOn, TableId::EditOff})
        for (int b = 0; b < 16; ++b)
            for (int p = 0; p < 8; ++p)
                rig.tables.setEntry(id, b, p, pending(enabledTimer(KindEveryWeek, b, p * 7, 1 + (b + p) % 7)));
    EXPECT_EQ(rig.transfer(), 256u);
    EXPECT_EQ(rig.writes.size(), 256u);
    EXPECT_TRUE(rig.state.Queue.empty());
    EXPECT_EQ(rig.unit().timers().size(), 256u);
    int enabled = 0;
    for (bool on : {true, false})
        for (int b = 0; b < 16; ++b)
            for (int p = 0; p < 8; ++p) enabled += rig.live(on, b, p).enabled;
    EXPECT_EQ(enabled, 256);
    for (const sim::UnitTimer& t : rig.unit().timers()) EXPECT_EQ(t.letter, 'W');
}

TEST(TransferLoop, AnUnansweredCommandHoldsTheRestUntilItIsWrittenAgain) {
    LoopRig rig(1, onWeekday(2, 6, 0, 0));
    // Bank 2 does not exist on a one-bank unit: no confirmation comes.
    rig.state.Queue.append("/T0211 0010000\\");
    rig.tables.setEntry(TableId::EditOn, 0, 0, pending(enabledTimer(KindAt, 8, 0)));
    rig.transfer();
    EXPECT_EQ(rig.writes, Strings{"/T0211 0010000\\"});
    EXPECT_EQ(rig.state.Queue.size(), 2u);
    EXPECT_FALSE(rig.unit().timer(1, 1, 1));
}

}  // namespace
