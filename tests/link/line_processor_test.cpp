#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "link/line_processor.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

using namespace std::string_literals;
using Match = CommandQueue::Match;

// Midnight, so a reported time left reads back unchanged as the entry's
// time of day.
LocalMoment midnight() {
    LocalMoment m;
    m.year = 2026;
    m.month = 12;
    m.day = 8;
    m.weekday = 3;
    return m;
}

std::vector<std::int32_t> updatesOf(const LineOutcome& o) {
    return std::vector<std::int32_t>(o.updates.begin(), o.updates.begin() + o.updateCount);
}

struct ClassCase {
    const char* name;
    std::string line;
    std::vector<std::int32_t> updates;
    bool recognised;
    bool greeting;
};

TEST(ProcessLine, ClassifiesEveryKindOfLine) {
    const std::string longWord(25, 'Z');
    const ClassCase cases[] = {
        // One word.
        {"progress bar", "|", {ukUpgradeStep}, true, false},
        {"progress slash", "/", {ukUpgradeStep}, true, false},
        {"progress minus", "-", {ukUpgradeStep}, true, false},
        {"progress backslash", "\\", {ukUpgradeStep}, true, false},
        {"progress mark with text", "|abc", {ukUpgradeStep}, true, false},
        {"bank count", "M3", {ukBankCount}, true, false},
        {"bank count without number", "M", {}, false, false},
        {"negative bank count", "M-1", {}, false, false},
        {"greeting", "xyz", {}, true, true},
        {"greeting with more letters", "xyzz", {}, false, false},
        {"clock error", "err", {ukClockError}, true, false},
        {"status confirmation", "OK", {}, true, false},
        {"upgrade failed", "Fail", {ukUpgradeFailed}, true, false},
        {"no firmware", "abc", {ukUpgradeFailed}, true, false},
        {"unknown word", "hello", {}, false, false},
        {"E word that is no confirmation", "Error", {}, false, false},
        // Two words.
        {"port states", "S3 OOCCCCCC", {ukPortStatus}, true, false},
        {"current", "C1 2.5", {ukCurrent}, true, false},
        {"version OK is an upgrade completion", "V01 OK", {ukUpgradeDone}, true, false},
        {"any word then OK completes", "Upgrade OK", {ukUpgradeDone}, true, false},
        {"status rule comes before OK", "S3 OK", {ukPortStatus}, true, false},
        {"version", "V1 1234", {ukVersion}, true, false},
        {"two unknown words", "hello world", {}, false, false},
        // Three words.
        {"banner", "Velmora PDU v2", {ukUpgradeMessage}, true, false},
        {"banner is case-sensitive", "velmora PDU v2", {}, false, false},
        {"other three words", "a b c", {}, false, false},
        // Four words.
        {"firmware chatter ignored", "Firmware upgrade in progress", {}, false, false},
        {"please begins the upgrade", "Please send the image", {ukUpgradeBegin}, true, false},
        {"five words read as four", "Please send the image now", {ukUpgradeBegin}, true, false},
        {"start chatter is not a status line", "Start of the upgrade", {}, false, false},
        {"Serial progress", "Serial port is ready", {ukUpgradeMessage}, true, false},
        {"CPU progress", "CPU test is done", {ukUpgradeMessage}, true, false},
        {"System progress", "System test is done", {ukUpgradeMessage}, true, false},
        {"Timer progress", "Timer reset is done", {ukUpgradeMessage}, true, false},
        {"Time progress", "Time set is done", {ukUpgradeMessage}, true, false},
        {"Read progress", "Read flash is done", {ukUpgradeMessage}, true, false},
        {"Display progress", "Display test in progress", {ukUpgradeMessage}, true, false},
        {"LAN progress", "LAN check is done", {ukUpgradeMessage}, true, false},
        {"Check progress", "Check sum is fine", {ukUpgradeMessage}, true, false},
        {"Version completes", "Version 2.1 is running", {ukUpgradeDone}, true, false},
        {"Version prefix completes", "Version:2.1 now is running", {ukUpgradeDone}, true, false},
        {"short of Version", "Versio 2.1 is running", {}, false, false},
        {"status and current", "S2 OOCCCCCC GGGGGGGG 0.5", {ukStatusAndCurrent}, true, false},
        {"S word without bank", "Stop the unit now", {}, false, false},
        // Timer reports and what only looks like one.
        {"timer report", "T0110 0010530", {}, true, false},
        {"daily timer report", "D0201 0230000", {}, true, false},
        {"weekly timer report", "W0200 0480000", {}, true, false},
        {"truncated timer report", "T0110 00105", {}, false, false},
        {"one-digit seconds still a report", "T0110 001053", {}, true, false},
        {"timer report outside the tables", "T1710 0010530", {}, false, false},
        {"timer report port 9", "T0191 0010530", {}, false, false},
        {"timer report bank 0 with a port", "T0011 0010530", {}, false, false},
        {"timer report negative bank", "T-111 0010530", {}, false, false},
        {"timer report bank 99", "W9901 0010530", {}, false, false},
        // Junk.
        {"empty", "", {}, false, false},
        {"blanks", " \t ", {}, false, false},
        {"NUL first", "\0xyz"s, {}, false, false},
        {"text ends at NUL", "xyz\0junk"s, {}, true, true},
        {"binary junk", "\xff\xfe\x01\x7f", {}, false, false},
        // Words longer than their buffers are cut, and the line still counts.
        {"overlong bank count overflows and is ignored", "M" + std::string(24, '3'), {}, false, false},
        {"overlong status text cut", "S3 " + std::string(15, 'O'), {ukPortStatus}, true, false},
        {"overlong banner word cut", "Velmora PDU " + std::string(10, 'v'), {ukUpgradeMessage}, true, false},
        {"overlong progress word cut", "Timer reset is " + std::string(10, 'd'), {ukUpgradeMessage}, true, false},
        {"overlong unknown first word ignored", longWord + " a b c", {}, false, false},
        {"current with more digits than its buffer", "S1 OOCCCCCC GGGGGGGG 2.50000000", {ukStatusAndCurrent}, true, false},
        {"prompt with a long last word", "Please send firmware image.....", {ukUpgradeBegin}, true, false},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        const LineOutcome o = processLine(c.line, s, t, midnight());
        EXPECT_EQ(updatesOf(o), c.updates) << c.name;
        EXPECT_EQ(o.recognised, c.recognised) << c.name;
        EXPECT_EQ(o.greeting, c.greeting) << c.name;
        EXPECT_EQ(s.GreetingSeen.load(), c.greeting) << c.name;
        EXPECT_EQ(o.scheduleBank, -1) << c.name;
    }
}

struct FlagCase {
    const char* name;
    std::string line;
    bool rawBefore;
    bool failedBefore;
    bool rawAfter;
    bool failedAfter;
};

TEST(ProcessLine, UpgradeFlags) {
    const FlagCase cases[] = {
        {"please sets raw mode", "Please send the image", false, false, true, false},
        {"OK clears raw mode and failure", "OK", true, true, false, false},
        {"OK in raw mode with carriage return", "OK\r", true, true, false, false},
        {"Version clears raw mode", "Version 2.1 is running", true, true, false, true},
        {"Fail sets failure and ends raw mode", "Fail", true, false, false, true},
        {"abc sets failure", "abc", false, false, false, true},
        {"abc in raw mode ends it", "abc\r", true, false, false, true},
        {"two-word OK ends raw mode, keeps failure", "Upgrade OK", true, true, false, true},
        {"progress leaves flags", "|", true, false, true, false},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        s.RawLineMode = c.rawBefore;
        s.FirmwareFailed = c.failedBefore;
        processLine(c.line, s, t, midnight());
        EXPECT_EQ(s.RawLineMode.load(), c.rawAfter) << c.name;
        EXPECT_EQ(s.FirmwareFailed.load(), c.failedAfter) << c.name;
    }
}

TEST(ProcessLine, BankCountIsClampedToTheTables) {
    struct Case {
        const char* name;
        const char* line;
        int count;
    } const cases[] = {
        {"three", "M3", 3},
        {"zero", "M0", 0},
        {"sixteen", "M16", 16},
        {"seventeen clamped", "M17", 16},
        {"ninety-nine clamped", "M99", 16},
        {"leading zero", "M03", 3},
        {"trailing letters ignored", "M4x", 4},
        {"negative ignored", "M-2", 7},
        {"missing ignored", "Mx", 7},
        {"beyond int ignored", "M99999999999", 7},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        s.BankCount = 7;
        processLine(c.line, s, t, midnight());
        EXPECT_EQ(s.BankCount.load(), c.count) << c.name;
    }
}

struct RecordCase {
    const char* name;
    std::string line;
    int bank;  // -1: the line changes no record and not ReportedBank
    const char* timerFlags;
    const char* portStates;
    float current;
    const char* version;
};

// Every record starts with these so that a write to the wrong field or bank
// shows.
constexpr const char* kFlags0 = "gggggggg";
constexpr const char* kStates0 = "cccccccc";
constexpr float kCurrent0 = -1.0f;
constexpr const char* kVersion0 = "pre";
constexpr int kReported0 = 7;

TEST(ProcessLine, StatusCurrentAndVersionLinesFillTheNamedBankOnly) {
    const RecordCase cases[] = {
        {"port states", "S3 OOCCCCCC", 3, kFlags0, "OOCCCCCC", kCurrent0, kVersion0},
        {"timer flags by F", "S3 GGGGFGGG", 3, "GGGGFGGG", kStates0, kCurrent0, kVersion0},
        {"timer flags by F only", "S3 FFFFFFFF", 3, "FFFFFFFF", kStates0, kCurrent0, kVersion0},
        {"timer flags by G only", "S3 GGGGGGGG", 3, "GGGGGGGG", kStates0, kCurrent0, kVersion0},
        {"status text cut to eight", "S3 OOOOOOOOOOCC", 3, kFlags0, "OOOOOOOO", kCurrent0, kVersion0},
        {"short status text", "S3 OOC", 3, kFlags0, "OOC", kCurrent0, kVersion0},
        {"bank zero is a record", "S0 OOCCCCCC", 0, kFlags0, "OOCCCCCC", kCurrent0, kVersion0},
        {"bank nineteen", "S19 OOCCCCCC", 19, kFlags0, "OOCCCCCC", kCurrent0, kVersion0},
        {"leading zero bank", "S03 CCCCCCCO", 3, kFlags0, "CCCCCCCO", kCurrent0, kVersion0},
        {"bank twenty ignored", "S20 OOCCCCCC", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"bank ninety-nine ignored", "S99 OOCCCCCC", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"negative bank ignored", "S-1 OOCCCCCC", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"huge bank ignored", "S99999999999 OOCCCCCC", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"missing bank ignored", "Sx OOCCCCCC", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"both texts and current", "S3 OOCCCCCC GGGGFGGG 2.5", 3, "GGGGFGGG", "OOCCCCCC", 2.5f, kVersion0},
        {"flags first", "S3 GGGGFGGG OOCCCCCC 1.25", 3, "GGGGFGGG", "OOCCCCCC", 1.25f, kVersion0},
        {"tab separated", "S4\tOOOOOOOO\tGGGGGGGG\t0.5", 4, "GGGGGGGG", "OOOOOOOO", 0.5f, kVersion0},
        {"four words, bad current", "S3 OOCCCCCC GGGGGGGG x", 3, "GGGGGGGG", "OOCCCCCC", kCurrent0, kVersion0},
        {"four words, bank twenty", "S20 OOCCCCCC GGGGGGGG 1", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"current", "C2 1.75", 2, kFlags0, kStates0, 1.75f, kVersion0},
        {"current with comma reads its integer part", "C2 3,5", 2, kFlags0, kStates0, 3.0f, kVersion0},
        {"unreadable current kept", "C2 abc", 2, kFlags0, kStates0, kCurrent0, kVersion0},
        {"nan current kept", "C2 nan", 2, kFlags0, kStates0, kCurrent0, kVersion0},
        {"infinite current kept", "C2 inf", 2, kFlags0, kStates0, kCurrent0, kVersion0},
        {"current beyond float kept", "C2 1e39", 2, kFlags0, kStates0, kCurrent0, kVersion0},
        {"current of bank twenty ignored", "C20 1.0", -1, kFlags0, kStates0, kCurrent0, kVersion0},
        {"version", "V1 1234", 1, kFlags0, kStates0, kCurrent0, "1234"},
        {"version of fourteen characters", "V01 12345678901234", 1, kFlags0, kStates0, kCurrent0, "12345678901234"},
        {"version of fifteen cut to fourteen", "V01 123456789012345", 1, kFlags0, kStates0, kCurrent0, "12345678901234"},
        {"current with more digits than its buffer", "S1 OOCCCCCC GGGGGGGG 2.50000000", 1, "GGGGGGGG", "OOCCCCCC", 2.5f, kVersion0},
        {"version of bank twenty ignored", "V20 1234", -1, kFlags0, kStates0, kCurrent0, kVersion0},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        for (int b = 0; b < kBankRecords; ++b) {
            s.editBank(b, [&](BankRecord& r) {
                r.bankNo = 100 + b;
                copyField(r.timerFlags, kFlags0);
                copyField(r.portStates, kStates0);
                r.current = kCurrent0;
                copyField(r.version, kVersion0);
            });
        }
        s.ReportedBank = kReported0;
        processLine(c.line, s, t, midnight());
        EXPECT_EQ(s.ReportedBank.load(), c.bank >= 0 ? c.bank : kReported0) << c.name;
        for (int b = 0; b < kBankRecords; ++b) {
            const BankRecord r = s.bankSnapshot(b);
            const bool named = b == c.bank;
            EXPECT_EQ(r.timerFlagsText(), named ? c.timerFlags : kFlags0) << c.name << " bank " << b;
            EXPECT_EQ(r.portStatesText(), named ? c.portStates : kStates0) << c.name << " bank " << b;
            EXPECT_FLOAT_EQ(r.current, named ? c.current : kCurrent0) << c.name << " bank " << b;
            EXPECT_EQ(r.versionText(), named ? c.version : kVersion0) << c.name << " bank " << b;
            // Version and current lines leave bankNo alone; status lines set it.
            const bool setsBankNo = named && c.line[0] == 'S';
            EXPECT_EQ(r.bankNo, setsBankNo ? b : 100 + b) << c.name << " bank " << b;
        }
    }
}

struct ReportCase {
    const char* name;
    std::string line;
    TableId table;
    int bank;  // index
    int port;  // index
    std::int32_t scope;
    std::int32_t kind;
    int hour;
    int minute;
    int second;
};

TEST(ProcessLine, TimerReportsReachTheLiveAndEditTables) {
    const ReportCase cases[] = {
        {"bank 1 port 1 digit 0 is the power-off timer", "T0110 0010530", TableId::LiveOff, 0, 0, ScopePort, KindAt, 1, 5, 30},
        {"digit 1 is the power-on timer", "T0111 0010530", TableId::LiveOn, 0, 0, ScopePort, KindAt, 1, 5, 30},
        {"daily whole bank", "D0301 0020304", TableId::LiveOn, 2, 0, ScopeBank, KindEveryDay, 2, 3, 4},
        {"all banks", "T0000 0000010", TableId::LiveOff, 0, 0, ScopeAllBanks, KindAt, 0, 0, 10},
        {"last bank and port", "T1681 0000001", TableId::LiveOn, 15, 7, ScopePort, KindAt, 0, 0, 1},
        {"long delay becomes After", "T0121 0301000", TableId::LiveOn, 0, 1, ScopePort, KindAfter, 30, 10, 0},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        const LineOutcome o = processLine(c.line, s, t, midnight());
        EXPECT_TRUE(o.recognised) << c.name;
        EXPECT_EQ(o.updateCount, 0) << c.name;
        const TableId edit = c.table == TableId::LiveOn ? TableId::EditOn : TableId::EditOff;
        for (TableId id : {c.table, edit}) {
            const TimerEntry e = t.entry(id, c.bank, c.port);
            EXPECT_EQ(e.enabled, 1) << c.name;
            EXPECT_EQ(e.scope, c.scope) << c.name;
            EXPECT_EQ(e.kind, c.kind) << c.name;
            EXPECT_EQ(e.hour, c.hour) << c.name;
            EXPECT_EQ(e.minute, c.minute) << c.name;
            EXPECT_EQ(e.baseSecond, c.second) << c.name;
        }
        const TableId other = c.table == TableId::LiveOn ? TableId::LiveOff : TableId::LiveOn;
        EXPECT_EQ(t.entry(other, c.bank, c.port).enabled, 0) << c.name;
    }
}

struct ConfirmCase {
    const char* name;
    std::vector<std::string> queue;
    std::string line;
    Match match;
    std::vector<std::int32_t> updates;
    int scheduleBank;
    std::size_t queueAfter;
    // Entry the confirmation must flip (preset to the opposite); bank -1: none.
    TableId table;
    int bank;
    int port;
};

TEST(ProcessLine, ConfirmationsChangeTablesAndAdvanceTheQueue) {
    const ConfirmCase cases[] = {
        {"clear with empty queue changes tables only", {}, "Q0120", Match::noMatch, {}, 0, 0,
         TableId::LiveOff, 0, 1},
        {"clear matches head, more waiting", {"/Q0120\\", "/Q0130\\"}, "Q0120", Match::moreWaiting,
         {ukNextAfterClear}, 0, 2, TableId::LiveOff, 0, 1},
        {"clear matches last command", {"/Q0121\\"}, "Q0121", Match::lastRemoved, {}, 0, 0,
         TableId::LiveOn, 0, 1},
        {"clear not for the head", {"/Q0120\\", "/Q0130\\"}, "Q0130", Match::noMatch, {}, 0, 2,
         TableId::LiveOff, 0, 2},
        {"port digit 1 matches any head", {"/T0350 0010000\\", "/Q0300\\"}, "Q0110",
         Match::moreWaiting, {ukNextAfterClear}, 0, 2, TableId::LiveOff, 0, 0},
        {"whole bank clear", {"/Q0300\\", "/Q0400\\"}, "Q0300", Match::moreWaiting,
         {ukNextAfterClear}, 2, 2, TableId::LiveOff, 2, 5},
        {"all banks clear", {"/Q0001\\"}, "Q0001", Match::lastRemoved, {}, 0, 0, TableId::LiveOn,
         0, 7},
        {"set with empty queue", {}, "E0121", Match::noMatch, {}, 0, 0, TableId::LiveOn, 0, 1},
        {"set matches head, more waiting", {"/T0121 0010000\\", "/D0131 0000010\\"}, "E0121",
         Match::moreWaiting, {ukNextAfterSet}, 0, 2, TableId::LiveOn, 0, 1},
        {"set matches last", {"/W1680 1670000\\"}, "E1680", Match::lastRemoved, {}, 15, 0,
         TableId::LiveOff, 15, 7},
        {"set not for the head", {"/T0121 0010000\\"}, "E0131", Match::noMatch, {}, 0, 1,
         TableId::LiveOn, 0, 2},
        {"bank 17 ignored even with port digit 1", {"/Q0120\\"}, "Q1710", Match::noMatch, {}, -1, 1,
         TableId::LiveOff, -1, 0},
        {"bank 0 with port digit 1 ignored", {"/Q0120\\"}, "Q0010", Match::noMatch, {}, -1, 1,
         TableId::LiveOff, -1, 0},
        {"bank 20 set ignored", {"/T0121 0010000\\"}, "E2011", Match::noMatch, {}, -1, 1,
         TableId::LiveOn, -1, 0},
        {"port 9 ignored", {"/Q0120\\"}, "Q0190", Match::noMatch, {}, -1, 1, TableId::LiveOff, -1, 0},
        {"bank 0 with a port ignored", {"/Q0120\\"}, "E0021", Match::noMatch, {}, -1, 1,
         TableId::LiveOn, -1, 0},
        {"negative bank ignored", {"/Q0120\\"}, "Q-110", Match::noMatch, {}, -1, 1,
         TableId::LiveOff, -1, 0},
        {"truncated clear ignored", {"/Q0120\\"}, "Q01", Match::noMatch, {}, -1, 1,
         TableId::LiveOff, -1, 0},
        {"truncated set ignored", {"/T0121 0010000\\"}, "E012", Match::noMatch, {}, -1, 1,
         TableId::LiveOn, -1, 0},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        s.BankCount = 16;
        for (const auto& q : c.queue) s.Queue.append(q);
        const bool isClear = c.line[0] == 'Q';
        const TableId edit = c.table == TableId::LiveOn ? TableId::EditOn : TableId::EditOff;
        if (c.bank >= 0) {
            TimerEntry preset;
            preset.enabled = isClear ? 1 : 0;
            t.setEntry(c.table, c.bank, c.port, preset);
            t.setEntry(edit, c.bank, c.port, preset);
        }
        const LineOutcome o = processLine(c.line, s, t, midnight());
        EXPECT_EQ(o.queueMatch, c.match) << c.name;
        EXPECT_EQ(updatesOf(o), c.updates) << c.name;
        EXPECT_EQ(o.scheduleBank, c.scheduleBank) << c.name;
        EXPECT_EQ(o.recognised, c.scheduleBank >= 0) << c.name;
        EXPECT_EQ(s.Queue.size(), c.queueAfter) << c.name;
        if (c.bank >= 0) {
            EXPECT_EQ(t.entry(c.table, c.bank, c.port).enabled, isClear ? 0 : 1) << c.name;
            EXPECT_EQ(t.entry(edit, c.bank, c.port).enabled, isClear ? 0 : 1) << c.name;
        }
    }
}

TEST(ProcessLine, EveryLineBecomesLastLine) {
    struct Case {
        const char* name;
        std::string line;
        std::string last;
    } const cases[] = {
        {"recognised line", "S3 OOCCCCCC", "S3 OOCCCCCC"},
        {"ignored line", "hello world", "hello world"},
        {"dropped overlong word", "Please " + std::string(20, 'x'), "Please " + std::string(20, 'x')},
        {"cut at NUL", "Velmora\0 junk"s, "Velmora"},
        {"empty text", "\0abc"s, ""},
        {"timer report", "T0110 0010530", "T0110 0010530"},
        {"longer than the line buffer", "Velmora " + std::string(60, 'x'), "Velmora " + std::string(43, 'x')},
    };
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        s.setLastLine("previous");
        processLine(c.line, s, t, midnight());
        EXPECT_EQ(s.lastLine(), c.last) << c.name;
    }
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// An all-banks clear turns the all-banks marks of the unit's other banks into
// bank marks; which banks count is the reported bank count.
TEST(ProcessLine, AllBanksClearUsesTheReportedBankCount) {
    struct Case {
        const char* name;
        int bankCount;
    } const cases[] = {{"no banks", 0}, {"three banks", 3}, {"sixteen banks", 16}};
    for (const auto& c : cases) {
        DeviceState s;
        TimerTables t;
        s.BankCount = c.bankCount;
        TimerEntry mark;
        mark.enabled = 1;
        mark.scope = ScopeAllBanks;
        for (int b = 0; b < kMaxBanks; ++b) t.setEntry(TableId::LiveOn, b, 0, mark);

        const LineOutcome o = processLine("Q0001", s, t, midnight());
        EXPECT_EQ(o.scheduleBank, 0) << c.name;
        EXPECT_EQ(t.entry(TableId::LiveOn, 0, 0).enabled, 0) << c.name;
        EXPECT_EQ(t.entry(TableId::LiveOn, 0, 0).scope, ScopePort) << c.name;
        for (int b = 1; b < kMaxBanks; ++b) {
            EXPECT_EQ(t.entry(TableId::LiveOn, b, 0).scope, b < c.bankCount ? ScopeBank : ScopeAllBanks)
                << c.name << " bank index " << b;
        }
    }
}

}  // namespace
}  // namespace velmora
