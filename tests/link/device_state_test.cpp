#include <gtest/gtest.h>

#include <string>

#include "link/device_state.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

void fillBank(DeviceState& s, int bank) {
    s.editBank(bank, [&](BankRecord& r) {
        r.bankNo = bank;
        copyField(r.portStates, "OOOOOOOO");
        copyField(r.timerFlags, "FFFFFFFF");
        r.current = 1.5f;
        copyField(r.version, "1234");
    });
}

TimerEntry enabledEntry() {
    TimerEntry e;
    e.enabled = 1;
    e.hour = 7;
    return e;
}

struct ResetCase {
    const char* name;
    int bankCount;
    int lastBankReset;      // BankInfo records 1..lastBankReset are reset
    int tableBanksCleared;  // table banks 0..tableBanksCleared-1 are zeroed
};

TEST(ResetLinkState, ClearsFlagsRecordsTablesAndQueueOfTheFormerBanks) {
    const ResetCase cases[] = {
        {"no banks reported", 0, 0, 0},
        {"three banks", 3, 3, 3},
        {"sixteen banks", 16, 16, 16},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        for (int b = 0; b < kBankRecords; ++b) fillBank(s, b);
        for (int b = 0; b < kMaxBanks; ++b) {
            for (TableId id : {TableId::LiveOn, TableId::LiveOff, TableId::EditOn, TableId::EditOff}) {
                t.setEntry(id, b, 3, enabledEntry());
            }
        }
        s.BankCount = c.bankCount;
        s.ShownBankCount = c.bankCount;
        s.RawLineMode = true;
        s.FirmwareFailed = true;
        s.InfoRequestSent = true;
        s.ClockWarningArmed = true;
        s.TimerWarningArmed = true;
        s.GreetingSeen = true;
        s.PollCount = 6;
        s.Queue.append("/Q0100\\");
        s.Queue.append("/Q0200\\");

        resetLinkState(s, t);

        EXPECT_EQ(s.BankCount.load(), 0) << c.name;
        EXPECT_EQ(s.ShownBankCount.load(), 0) << c.name;
        EXPECT_EQ(s.PollCount.load(), 0) << c.name;
        EXPECT_FALSE(s.RawLineMode) << c.name;
        EXPECT_FALSE(s.FirmwareFailed) << c.name;
        EXPECT_FALSE(s.InfoRequestSent) << c.name;
        EXPECT_FALSE(s.ClockWarningArmed) << c.name;
        EXPECT_FALSE(s.TimerWarningArmed) << c.name;
        EXPECT_TRUE(s.GreetingSeen) << c.name << ": left to the closing of the port";
        EXPECT_TRUE(s.Queue.empty()) << c.name;

        for (int b = 0; b < kBankRecords; ++b) {
            const BankRecord r = s.bankSnapshot(b);
            const bool reset = b >= 1 && b <= c.lastBankReset;
            EXPECT_EQ(r.portStatesText(), reset ? "CCCCCCCC" : "OOOOOOOO") << c.name << " bank " << b;
            EXPECT_EQ(r.timerFlagsText(), reset ? "GGGGGGGG" : "FFFFFFFF") << c.name << " bank " << b;
            EXPECT_EQ(r.current, reset ? 0.0f : 1.5f) << c.name << " bank " << b;
            EXPECT_EQ(r.versionText(), reset ? "" : "1234") << c.name << " bank " << b;
            EXPECT_EQ(r.bankNo, b) << c.name << " bank " << b;
        }
        for (int b = 0; b < kMaxBanks; ++b) {
            const bool cleared = b < c.tableBanksCleared;
            for (TableId id : {TableId::LiveOn, TableId::LiveOff, TableId::EditOn, TableId::EditOff}) {
                EXPECT_EQ(t.entry(id, b, 3).enabled, cleared ? 0 : 1) << c.name << " table bank " << b;
            }
        }
    }
}

TEST(DeviceState, StartsWithTheDocumentedValues) {
    DeviceState s;
    EXPECT_EQ(s.BankCount.load(), 0);
    EXPECT_EQ(s.ReportedBank.load(), 1);
    EXPECT_EQ(s.lastLine(), "");
    for (int b = 0; b < kBankRecords; ++b) {
        const BankRecord r = s.bankSnapshot(b);
        EXPECT_EQ(r.bankNo, 0);
        EXPECT_EQ(r.portStatesText(), "");
        EXPECT_EQ(r.current, 0.0f);
    }
}

TEST(DeviceState, BankAccessOutsideTheRecordsIsRefused) {
    DeviceState s;
    for (int bank : {-1, 20, 99, -2147483647 - 1, 2147483647}) {
        bool ran = false;
        EXPECT_FALSE(s.editBank(bank, [&](BankRecord&) { ran = true; })) << bank;
        EXPECT_FALSE(ran) << bank;
        EXPECT_EQ(s.bankSnapshot(bank).bankNo, 0) << bank;
    }
}

TEST(DeviceState, FixedTextFieldsAreCutAndTerminated) {
    struct Case {
        const char* name;
        std::string text;
        std::string states;
        std::string version;
    } const cases[] = {
        {"short", "OC", "OC", "OC"},
        {"exactly eight", "OOCCOOCC", "OOCCOOCC", "OOCCOOCC"},
        {"longer than eight", "OOCCOOCCOO", "OOCCOOCC", "OOCCOOCCOO"},
        {"longer than nineteen", std::string(30, 'v'), std::string(8, 'v'), std::string(19, 'v')},
        {"empty", "", "", ""},
    };
    for (const auto& c : cases) {
        BankRecord r;
        copyField(r.portStates, "XXXXXXXX");
        copyField(r.portStates, c.text);
        copyField(r.version, c.text);
        EXPECT_EQ(r.portStatesText(), c.states) << c.name;
        EXPECT_EQ(r.versionText(), c.version) << c.name;
        EXPECT_EQ(r.portStates[8], '\0') << c.name;
        EXPECT_EQ(r.version[19], '\0') << c.name;
    }

    DeviceState s;
    s.setLastLine(std::string(60, 'L'));
    EXPECT_EQ(s.lastLine(), std::string(51, 'L'));
}

}  // namespace
}  // namespace velmora
