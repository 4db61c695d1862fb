// Schedule files: the exact bytes written, the reading rules, and the disk
// side (whole-file replacement, size limit).
#include "schedule/schedule_file.h"
#include "schedule_test_support.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::enabledTimer;
using velmora::testing::timer;
using velmora::testing_support::readBytes;
using velmora::testing_support::TempFolder;
using velmora::testing_support::writeBytes;

namespace {

// Every entry of every table different, so that a record stored in the
// wrong place, or a field changed that should not be, shows.
TimerTables::Tables markedTables() {
    TimerTables::Tables t;
    int n = 0;
    for (TimerTable* table : {&t.liveOn, &t.liveOff, &t.editOn, &t.editOff})
        for (auto& bank : *table)
            for (TimerEntry& e : bank) {
                ++n;
                e.scope = n % 7;
                e.kind = n % 4;
                e.weekday = n % 8;
                e.hour = n % 24;
                e.minute = n % 60;
                e.baseWeekday = 1 + n % 7;
                e.baseHour = n % 23;
                e.baseMinute = n % 59;
                e.baseSecond = n % 60;
                e.pending = static_cast<std::uint8_t>(n % 2);
                e.enabled = static_cast<std::uint8_t>((n / 2) % 2);
                setSinceDate(e, "2026/1/" + std::to_string(1 + n % 28));
            }
    return t;
}

// ------------------------------------------------------------------ writing

TEST(ScheduleFormat, TwoBanksAreThirtyTwoRecordsOfNineBlankEndedNumbers) {
    TimerTables::Tables t;
    TimerEntry weekly = enabledTimer(KindEveryWeek, 7, 30, 2);  // the power-on timer of bank 1, port 3
    weekly.scope = ScopeBank;                                    // none of these is kept
    weekly.pending = 1;
    weekly.baseHour = 13;
    setSinceDate(weekly, "2026/3/7");
    t.editOn[0][2] = weekly;
    TimerEntry flagged = enabledTimer(KindAt, 22, 5);
    flagged.invalid = 1;
    t.editOff[1][7] = flagged;
    t.liveOn[0][0] = enabledTimer(KindAt, 1, 1);   // live tables are not saved
    t.editOn[2][0] = enabledTimer(KindAt, 2, 2);   // nor banks beyond the count

    const std::vector<std::string> records = {
        "0 0 0 0 0 0 0 0 0 ", "0 0 1 0 0 0 0 0 0 ", "0 0 2 1 0 3 2 7 30 ", "0 0 3 0 0 0 0 0 0 ",
        "0 0 4 0 0 0 0 0 0 ", "0 0 5 0 0 0 0 0 0 ", "0 0 6 0 0 0 0 0 0 ", "0 0 7 0 0 0 0 0 0 ",
        "0 1 0 0 0 0 0 0 0 ", "0 1 1 0 0 0 0 0 0 ", "0 1 2 0 0 0 0 0 0 ", "0 1 3 0 0 0 0 0 0 ",
        "0 1 4 0 0 0 0 0 0 ", "0 1 5 0 0 0 0 0 0 ", "0 1 6 0 0 0 0 0 0 ", "0 1 7 0 0 0 0 0 0 ",
        "1 0 0 0 0 0 0 0 0 ", "1 0 1 0 0 0 0 0 0 ", "1 0 2 0 0 0 0 0 0 ", "1 0 3 0 0 0 0 0 0 ",
        "1 0 4 0 0 0 0 0 0 ", "1 0 5 0 0 0 0 0 0 ", "1 0 6 0 0 0 0 0 0 ", "1 0 7 0 0 0 0 0 0 ",
        "1 1 0 0 0 0 0 0 0 ", "1 1 1 0 0 0 0 0 0 ", "1 1 2 0 0 0 0 0 0 ", "1 1 3 0 0 0 0 0 0 ",
        "1 1 4 0 0 0 0 0 0 ", "1 1 5 0 0 0 0 0 0 ", "1 1 6 0 0 0 0 0 0 ", "1 1 7 1 1 1 0 22 5 ",
    };
    std::string want;
    for (const std::string& r : records) want += r;

    const std::string bytes = formatSchedule(t, 2);
    EXPECT_EQ(bytes, want);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), ' '), 288);
    EXPECT_EQ(bytes.find_first_of("\r\n"), std::string::npos);
}

TEST(ScheduleFormat, BankCountsOutsideTheTablesAreCut) {
    const TimerTables::Tables t;
    EXPECT_EQ(formatSchedule(t, 0), "");
    EXPECT_EQ(formatSchedule(t, -4), "");
    const std::string all = formatSchedule(t, 40);
    EXPECT_EQ(std::count(all.begin(), all.end(), ' '), 16 * 16 * 9) << "16 banks at most";
}

// ------------------------------------------------------------------ reading

struct ReadCase {
    const char* name;
    std::string text;
    int bankCount;
    ScheduleRead result;
    // Entries the text changes, as {table, bank, port, change}.
    struct Change {
        bool powerOff;
        int bank, port;
        std::function<void(TimerEntry&)> apply;
    };
    std::vector<Change> changes;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

auto setTo(int enabled, int invalid, int kind, int weekday, int hour, int minute) {
    return [=](TimerEntry& e) {
        e.enabled = static_cast<std::uint8_t>(enabled);
        if (enabled) e.pending = 1;
        e.invalid = static_cast<std::uint8_t>(invalid);
        e.kind = kind;
        e.weekday = weekday;
        e.hour = hour;
        e.minute = minute;
    };
}

class ScheduleReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ScheduleReading, StoresWhatTheFileSaysAndNothingElse) {
    const ReadCase& c = GetParam();
    TimerTables::Tables got = markedTables();
    TimerTables::Tables want = got;
    for (const auto& change : c.changes)
        change.apply((change.powerOff ? want.editOff : want.editOn)[static_cast<std::size_t>(change.bank)]
                                                                  [static_cast<std::size_t>(change.port)]);

    EXPECT_EQ(applySchedule(c.text, got, c.bankCount), c.result);
    for (int table = 0; table < 4; ++table) {
        const TableId id = static_cast<TableId>(table);
        for (int b = 0; b < kMaxBanks; ++b)
            for (int p = 0; p < kPortsPerBank; ++p)
                EXPECT_EQ(got[id][static_cast<std::size_t>(b)][static_cast<std::size_t>(p)],
                          want[id][static_cast<std::size_t>(b)][static_cast<std::size_t>(p)])
                    << "table " << table << " bank " << b << " port " << p;
    }
}

std::string threeBankFile() {
    std::string text;
    for (int dir = 0; dir < 2; ++dir)
        for (int b = 0; b < 3; ++b)
            for (int p = 0; p < 8; ++p)
                text += std::to_string(dir) + " " + std::to_string(b) + " " + std::to_string(p) + " 1 0 1 0 " +
                        std::to_string(b + 10) + " " + std::to_string(p) + " ";
    return text;
}

std::vector<ReadCase::Change> twoBanksOfThreeBankFile() {
    std::vector<ReadCase::Change> changes;
    for (int dir = 0; dir < 2; ++dir)
        for (int b = 0; b < 2; ++b)
            for (int p = 0; p < 8; ++p) changes.push_back({dir == 1, b, p, setTo(1, 0, KindAt, 0, b + 10, p)});
    return changes;
}

const ReadCase kReadCases[] = {
    {"SingleRecordMakesAPowerOffAtTimer", "1 0 0 1 0 1 0 22 0 ", 2, {1, 0, true},
     {{true, 0, 0, setTo(1, 0, KindAt, 0, 22, 0)}}},
    {"ExampleRecordIsWeeklyOnMondayAtHalfPastSeven", "0 0 2 1 0 3 2 7 30 ", 1, {1, 0, true},
     {{false, 0, 2, setTo(1, 0, KindEveryWeek, 2, 7, 30)}}},
    {"DisabledRecordLeavesPendingAsItWas", "0 1 3 0 1 2 0 5 5 ", 2, {1, 0, true},
     {{false, 1, 3, setTo(0, 1, KindEveryDay, 0, 5, 5)}}},
    {"AnyDirectionButZeroIsPowerOff", "7 0 1 1 0 0 0 3 0 -1 0 2 1 0 0 0 4 0 ", 1, {2, 0, true},
     {{true, 0, 1, setTo(1, 0, KindAfter, 0, 3, 0)}, {true, 0, 2, setTo(1, 0, KindAfter, 0, 4, 0)}}},
    {"EmptyFileChangesNothing", "", 2, {0, 0, true}, {}},
    {"BlanksOnlyChangeNothing", " \r\n\t ", 2, {0, 0, true}, {}},
    {"LineBreaksAndSignsBetweenNumbersAreFine", "0\r\n0\n5\t+1 0 1 0 9 15\r\n", 1, {1, 0, true},
     {{false, 0, 5, setTo(1, 0, KindAt, 0, 9, 15)}}},
    {"ThreeBankFileIntoTwoBankUnitSkipsBankThree", threeBankFile(), 2, {32, 16, true}, twoBanksOfThreeBankFile()},
    {"RecordsOutsideThePortsAreSkippedAndReadingGoesOn",
     "0 0 8 1 0 1 0 1 0 0 -1 0 1 0 1 0 1 0 0 0 6 1 0 1 0 6 6 ", 1, {1, 2, true},
     {{false, 0, 6, setTo(1, 0, KindAt, 0, 6, 6)}}},
    {"BanksBeyondTheTablesAreSkippedWhateverTheCount", "0 16 0 1 0 1 0 1 0 ", 99, {0, 1, true}, {}},
    {"ValuesNoTimerHoldsAreSkipped",
     "0 0 0 1 0 4 0 1 0 0 0 1 1 0 1 8 1 0 0 0 2 1 0 1 0 1 60 0 0 3 1 0 1 0 24 0 0 0 4 1 0 0 0 -1 0 "
     "0 0 5 1 0 0 0 10000 0 0 0 6 1 0 0 0 9999 59 ",
     1, {1, 6, true}, {{false, 0, 6, setTo(1, 0, KindAfter, 0, 9999, 59)}}},
    {"JunkStopsReadingAndKeepsWhatCameBefore", "0 0 1 1 0 1 0 5 0 abc 0 0 2 1 0 1 0 6 0 ", 1, {1, 0, false},
     {{false, 0, 1, setTo(1, 0, KindAt, 0, 5, 0)}}},
    {"TruncatedLastRecordIsDropped", "0 0 1 1 0 1 0 5 0 0 0 2 1 0 1", 1, {1, 0, false},
     {{false, 0, 1, setTo(1, 0, KindAt, 0, 5, 0)}}},
    {"NumberGluedToLettersStopsAfterIt", "0 0 1 1 0 1 0 5 7x ", 1, {1, 0, false},
     {{false, 0, 1, setTo(1, 0, KindAt, 0, 5, 7)}}},
    {"NumberBeyondThirtyTwoBitsStops", "0 0 1 1 0 1 0 5 0 0 0 2 1 0 1 0 99999999999 0 ", 1, {1, 0, false},
     {{false, 0, 1, setTo(1, 0, KindAt, 0, 5, 0)}}},
    {"LoneSignStops", "- 0 0 1 0 1 0 5 0 ", 1, {0, 0, false}, {}},
    {"NulByteStops", std::string("0 0 1 1 0 1 0 5 0 \0 0 0 2 1 0 1 0 6 0 ", 38), 1, {1, 0, false},
     {{false, 0, 1, setTo(1, 0, KindAt, 0, 5, 0)}}},
    {"NoBanksTakesNothing", "0 0 1 1 0 1 0 5 0 ", 0, {0, 1, true}, {}},
};

INSTANTIATE_TEST_SUITE_P(Files, ScheduleReading, ::testing::ValuesIn(kReadCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ScheduleReading, RoundTripGivesBackEverySavedField) {
    const TimerTables::Tables saved = markedTables();
    TimerTables::Tables loaded;
    const ScheduleRead r = applySchedule(formatSchedule(saved, 16), loaded, 16);
    EXPECT_EQ(r, (ScheduleRead{256, 0, true}));
    for (const auto& [from, to] : {std::pair{&saved.editOn, &loaded.editOn}, std::pair{&saved.editOff, &loaded.editOff}}) {
        for (int b = 0; b < kMaxBanks; ++b) {
            for (int p = 0; p < kPortsPerBank; ++p) {
                const TimerEntry& s = (*from)[static_cast<std::size_t>(b)][static_cast<std::size_t>(p)];
                const TimerEntry& l = (*to)[static_cast<std::size_t>(b)][static_cast<std::size_t>(p)];
                EXPECT_EQ(l.enabled, s.enabled);
                EXPECT_EQ(l.invalid, s.invalid);
                EXPECT_EQ(l.kind, s.kind);
                EXPECT_EQ(l.weekday, s.weekday);
                EXPECT_EQ(l.hour, s.hour);
                EXPECT_EQ(l.minute, s.minute);
                EXPECT_EQ(l.pending, s.enabled) << "a loaded timer is to be sent";
            }
        }
    }
}

// ------------------------------------------------------------------ on disk

TEST(ScheduleOnDisk, SaveThenLoadGivesTheTimersBack) {
    TempFolder folder;
    TimerTables source;
    source.setEntry(TableId::EditOn, 1, 4, enabledTimer(KindEveryWeek, 6, 15, 7));
    source.setEntry(TableId::EditOff, 0, 0, enabledTimer(KindAfter, 48, 0));
    ASSERT_EQ(saveScheduleFile(folder / "a.pwr", source, 2).status, FileIoStatus::ok);

    TimerTables target;
    const ScheduleLoad load = loadScheduleFile(folder / "a.pwr", target, 2);
    ASSERT_EQ(load.status, FileIoStatus::ok);
    EXPECT_EQ(load.read, (ScheduleRead{32, 0, true}));
    TimerEntry want = enabledTimer(KindEveryWeek, 6, 15, 7);
    want.pending = 1;
    EXPECT_EQ(target.entry(TableId::EditOn, 1, 4), want);
    EXPECT_EQ(target.entry(TableId::EditOff, 0, 0).hour, 48);
    EXPECT_EQ(folder.entries(), std::set<std::string>{"a.pwr"}) << "no temporary file left";
}

TEST(ScheduleOnDisk, FailedSaveLeavesTheOldFileIntact) {
    TempFolder folder;
    const auto path = folder / "old.pwr";
    writeBytes(path, "1 0 0 1 0 1 0 22 0 ");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    TimerTables tables;
    const FileSave s = saveScheduleFile(path, tables, 4);
    EXPECT_EQ(s.status, FileIoStatus::failed);
    EXPECT_FALSE(s.error.empty());
    EXPECT_EQ(readBytes(path), "1 0 0 1 0 1 0 22 0 ");
}

TEST(ScheduleOnDisk, LoadRefusesFilesTooLargeForASchedule) {
    TempFolder folder;
    writeBytes(folder / "big.pwr", "0 0 0 1 0 1 0 5 0 " + std::string(kMaxScheduleFileBytes, ' '));
    TimerTables tables;
    EXPECT_EQ(loadScheduleFile(folder / "big.pwr", tables, 1).status, FileIoStatus::tooLarge);
    EXPECT_EQ(tables.entry(TableId::EditOn, 0, 0), TimerEntry{});

    writeBytes(folder / "fits.pwr", "0 0 0 1 0 1 0 5 0 " + std::string(kMaxScheduleFileBytes - 18, ' '));
    EXPECT_EQ(loadScheduleFile(folder / "fits.pwr", tables, 1).status, FileIoStatus::ok);
    EXPECT_EQ(tables.entry(TableId::EditOn, 0, 0).hour, 5);
}

TEST(ScheduleOnDisk, MissingFileChangesNothing) {
    TempFolder folder;
    TimerTables tables;
    EXPECT_EQ(loadScheduleFile(folder / "none.pwr", tables, 1).status, FileIoStatus::missing);
    EXPECT_EQ(loadScheduleFile(folder.path(), tables, 1).status, FileIoStatus::failed) << "a folder";
}

}  // namespace
