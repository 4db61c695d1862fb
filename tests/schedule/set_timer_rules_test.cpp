// The Set Timer dialog's row rules: refusals, the counterpart row, the
// cascade of the all-banks and whole-bank rows, kinds and hour limits, the
// hour and minute fields and their up-downs.
#include "schedule/set_timer_logic.h"
#include "set_timer_rig.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::testing;

namespace {

constexpr int Mon = 2;
using Strings = std::vector<std::string>;

// ------------------------------------------------------------------ refusals

struct CheckCase {
    const char* name;
    std::function<void(DialogRig&)> before;  // rows set up and checked first
    int row;                                 // the row then checked by the user
    Strings messages;                        // every message shown by that check
    bool staysChecked;
};

class CheckBoxRules : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckBoxRules, RefusesOrLocksTheRow) {
    const CheckCase& c = GetParam();
    DialogRig rig(2, onWeekday(Mon, 8, 0, 0));
    rig.open(0);
    c.before(rig);
    rig.dialogs.shown.clear();
    rig.check(c.row);

    EXPECT_EQ(rig.messages(), c.messages);
    for (const auto& m : rig.dialogs.shown) {
        EXPECT_EQ(m.caption, "");
        EXPECT_EQ(m.icon, MessageIcon::stop);
        EXPECT_EQ(m.buttons, MessageButtons::ok);
    }
    const TimerRow& row = rig.view.rows[static_cast<std::size_t>(c.row)];
    EXPECT_EQ(row.checked, c.staysChecked);
    EXPECT_EQ(row.changed, c.staysChecked) << "a refused row does not count as changed";
    // A set row is locked; a refused one stays open for editing.
    EXPECT_EQ(row.kindEnabled, !c.staysChecked);
    EXPECT_EQ(row.timeEnabled, !c.staysChecked);
    EXPECT_TRUE(row.checkEnabled);
}

const CheckCase kCheckCases[] = {
    {"EveryWeekWithDayNullIsRefused", [](DialogRig& r) { r.fill(onRow(portLine(3)), KindEveryWeek, 7, 30); },
     onRow(portLine(3)), {kDayFieldMessage}, false},
    {"EveryWeekWithADayIsTaken", [](DialogRig& r) { r.fill(onRow(portLine(3)), KindEveryWeek, 7, 30, Mon); },
     onRow(portLine(3)), {}, true},
    {"PowerOffEveryDayLikePowerOnAtIsRefused",
     [](DialogRig& r) {
         r.fill(onRow(portLine(3)), KindAt, 10, 0);
         r.check(onRow(portLine(3)));
         r.fill(offRow(portLine(3)), KindEveryDay, 10, 0);
     },
     offRow(portLine(3)), {kSameTimeAsPowerOnMessage}, false},
    {"PowerOnLikePowerOffIsRefusedWithTheOtherText",
     [](DialogRig& r) {
         r.fill(offRow(portLine(3)), KindEveryDay, 10, 0);
         r.check(offRow(portLine(3)));
         r.fill(onRow(portLine(3)), KindAt, 10, 0);
     },
     onRow(portLine(3)), {kSameTimeAsPowerOffMessage}, false},
    {"DelayEndingAtTheSameMinuteIsRefused",  // 08:00 + 2 h is 10:00
     [](DialogRig& r) {
         r.fill(onRow(portLine(3)), KindAt, 10, 0);
         r.check(onRow(portLine(3)));
         r.fill(offRow(portLine(3)), KindAfter, 2, 0);
     },
     offRow(portLine(3)), {kSameTimeAsPowerOnMessage}, false},
    {"AnotherPortIsNoCounterpart",
     [](DialogRig& r) {
         r.fill(onRow(portLine(3)), KindAt, 10, 0);
         r.check(onRow(portLine(3)));
         r.fill(offRow(portLine(4)), KindAt, 10, 0);
     },
     offRow(portLine(4)), {}, true},
    {"OneMinuteApartIsTaken",
     [](DialogRig& r) {
         r.fill(onRow(portLine(3)), KindAt, 10, 0);
         r.check(onRow(portLine(3)));
         r.fill(offRow(portLine(3)), KindAt, 10, 1);
     },
     offRow(portLine(3)), {}, true},
    {"UncheckedCounterpartIsNotCompared",
     [](DialogRig& r) { r.fill(offRow(portLine(3)), KindAt, 10, 0); r.fill(onRow(portLine(3)), KindAt, 10, 0); },
     onRow(portLine(3)), {}, true},
    // The all-banks rows fall back to the other page's whole-bank row.
    {"PowerOffAllBanksMeetsPowerOnWholeBank",
     [](DialogRig& r) {
         r.fill(onRow(1), KindAt, 10, 0);
         r.check(onRow(1));
         r.fill(offRow(0), KindAt, 10, 0);
     },
     offRow(0), {kSameTimeAsPowerOnMessage}, false},
    {"PowerOnAllBanksMeetsPowerOffWholeBank",
     [](DialogRig& r) {
         r.fill(offRow(1), KindAt, 10, 0);
         r.check(offRow(1));
         r.fill(onRow(0), KindAt, 10, 0);
     },
     onRow(0), {kSameTimeAsPowerOffMessage}, false},
    {"CheckedAllBanksRowIsTheCounterpartNotWholeBank",
     [](DialogRig& r) {
         r.fill(onRow(0), KindAt, 11, 0);
         r.check(onRow(0));  // copies 11:00 into the whole-bank row below it
         r.fill(offRow(0), KindAt, 10, 0);
     },
     offRow(0), {}, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, CheckBoxRules, ::testing::ValuesIn(kCheckCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CheckBoxRules, UncheckingResetsTheRowAndCountsAsChanged) {
    DialogRig rig;
    rig.open(0);
    const int row = onRow(portLine(5));
    rig.fill(row, KindEveryWeek, 7, 45, 4);
    rig.check(row);
    rig.uncheck(row);
    const TimerRow& r = rig.view.rows[static_cast<std::size_t>(row)];
    EXPECT_FALSE(r.checked);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.kind, KindAfter);
    EXPECT_EQ(r.day, 0);
    EXPECT_FALSE(r.dayEnabled);
    EXPECT_EQ(r.hourText, "0");
    EXPECT_EQ(r.minuteText, "0");
    EXPECT_TRUE(r.kindEnabled && r.timeEnabled && r.checkEnabled);
}

// ------------------------------------------------------------------ cascade

TEST(Cascade, WholeBankRowCopiesIntoEveryPortRowAndLocksThem) {
    DialogRig rig;
    rig.open(0);
    rig.fill(onRow(1), KindEveryWeek, 7, 30, 3);
    rig.check(onRow(1));
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_FALSE(rig.logic.CascadeActive());
    const TimerRow& head = rig.view.rows[onRow(1)];
    EXPECT_TRUE(head.checked);
    EXPECT_TRUE(head.checkEnabled) << "the row the user checked can be unchecked again";
    for (int port = 1; port <= 8; ++port) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(onRow(portLine(port)))];
        EXPECT_TRUE(r.checked) << port;
        EXPECT_EQ(r.kind, KindEveryWeek) << port;
        EXPECT_EQ(r.day, 3) << port;
        EXPECT_EQ(r.hourText, "7") << port;
        EXPECT_EQ(r.minuteText, "30") << port;
        EXPECT_FALSE(r.checkEnabled || r.kindEnabled || r.dayEnabled || r.timeEnabled || r.labelsEnabled) << port;
    }
    // The other page is untouched.
    EXPECT_FALSE(rig.view.rows[offRow(portLine(1))].checked);
}

TEST(Cascade, UncheckingTheWholeBankRowResetsEveryPortRow) {
    DialogRig rig;
    rig.open(0);
    rig.fill(onRow(1), KindAt, 22, 15);
    rig.check(onRow(1));
    rig.uncheck(onRow(1));
    for (int line = 1; line < kRowsPerPage; ++line) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(onRow(line))];
        EXPECT_FALSE(r.checked) << line;
        EXPECT_EQ(r.kind, KindAfter) << line;
        EXPECT_EQ(r.hourText, "0") << line;
        EXPECT_TRUE(r.checkEnabled && r.kindEnabled && r.timeEnabled) << line;
    }
}

TEST(Cascade, AllBanksRowLocksEveryRowBelowItWhole) {
    // The whole-bank row cascades on its own too; every row below the
    // all-banks row must end with its check box disabled all the same.
    DialogRig rig;
    rig.open(0);
    rig.fill(offRow(0), KindAfter, 75, 5);
    rig.check(offRow(0));
    for (int line = 1; line < kRowsPerPage; ++line) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(offRow(line))];
        EXPECT_TRUE(r.checked) << line;
        EXPECT_FALSE(r.checkEnabled) << line;
        EXPECT_EQ(r.hourText, "75") << line;
        EXPECT_EQ(r.minuteText, "5") << line;
    }
    EXPECT_TRUE(rig.view.rows[offRow(0)].checkEnabled);
}

TEST(Cascade, ARefusedPortIsReportedOnceAndLeftOpen) {
    // The all-banks row's cascade passes through the whole-bank row, which
    // would copy into the same port rows again: one message per refusal.
    DialogRig rig(2, onWeekday(Mon, 8, 0, 0));
    rig.open(0);
    rig.fill(offRow(portLine(4)), KindAt, 10, 0);
    rig.check(offRow(portLine(4)));
    rig.fill(onRow(0), KindAt, 10, 0);
    rig.dialogs.shown.clear();
    rig.check(onRow(0));
    EXPECT_EQ(rig.messages(), Strings{kSameTimeAsPowerOffMessage});
    EXPECT_FALSE(rig.view.rows[onRow(portLine(4))].checked);
    EXPECT_TRUE(rig.view.rows[onRow(portLine(4))].kindEnabled);
    EXPECT_TRUE(rig.view.rows[onRow(portLine(5))].checked);
    EXPECT_TRUE(rig.view.rows[onRow(1)].checked);
}

TEST(Cascade, SkipsPortsWithoutAUsableTimer) {
    DialogRig rig;
    TimerEntry flagged;
    flagged.invalid = 1;
    rig.tables.setEntry(TableId::LiveOn, 0, 5, flagged);
    rig.open(0);
    rig.fill(onRow(1), KindAt, 9, 0);
    rig.check(onRow(1));
    const TimerRow& r = rig.view.rows[onRow(portLine(6))];
    EXPECT_TRUE(r.invalid);
    EXPECT_FALSE(r.checked);
    EXPECT_EQ(r.sinceText, "Invalid");
    EXPECT_TRUE(rig.view.rows[onRow(portLine(7))].checked);
}

// ------------------------------------------------------------------ kinds and hour fields

struct FieldCase {
    const char* name;
    std::function<void(DialogRig&, int row)> act;
    std::string hour, minute;  // texts afterwards
    Strings messages;
};

class HourAndMinuteFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(HourAndMinuteFields, KeepTheirLimit) {
    const FieldCase& c = GetParam();
    DialogRig rig;
    rig.open(0);
    const int row = offRow(portLine(2));
    c.act(rig, row);
    EXPECT_EQ(rig.view.rows[static_cast<std::size_t>(row)].hourText, c.hour);
    EXPECT_EQ(rig.view.rows[static_cast<std::size_t>(row)].minuteText, c.minute);
    EXPECT_EQ(rig.messages(), c.messages);
    for (const auto& m : rig.dialogs.shown) {
        EXPECT_EQ(m.icon, MessageIcon::none);
        EXPECT_EQ(m.caption, "");
    }
    if (!c.messages.empty()) {
        ASSERT_FALSE(rig.view.focus.empty());
        EXPECT_EQ(rig.view.focus.back().first, row) << "the field keeps the focus";
    }
}

const FieldCase kFieldCases[] = {
    {"AfterTakesSeventyFive", [](DialogRig& r, int row) { r.logic.hourCheck(row, "7"); r.logic.hourCheck(row, "75"); },
     "75", "0", {}},
    {"AtCutsSeventyFiveToTwentyThree",
     [](DialogRig& r, int row) {
         r.logic.cmbAfterSelect(row, KindAt);
         r.logic.hourCheck(row, "7");
         r.logic.hourCheck(row, "75");
     },
     "23", "0", {"Value range: 0 - 23"}},
    {"AfterRefusesOneHundred", [](DialogRig& r, int row) { r.logic.hourCheck(row, "100"); }, "99", "0",
     {"Value range: 0 - 99"}},
    {"PickingAtReplacesAnHourAboveTwentyThree",
     [](DialogRig& r, int row) {
         r.logic.hourCheck(row, "75");
         r.logic.cmbAfterSelect(row, KindEveryDay);
     },
     "23", "0", {}},
    {"PickingAfterKeepsTheHour",
     [](DialogRig& r, int row) {
         r.logic.cmbAfterSelect(row, KindAt);
         r.logic.hourCheck(row, "20");
         r.logic.cmbAfterSelect(row, KindAfter);
         r.logic.hourCheck(row, "75");
     },
     "75", "0", {}},
    {"MinuteSixtyIsCutToFiftyNine", [](DialogRig& r, int row) { r.logic.minCheck(row, "60"); }, "0", "59",
     {"Value range: 0 - 59"}},
    {"EmptiedMinuteBecomesFiftyNineOnLeaving",
     [](DialogRig& r, int row) {
         r.logic.minCheck(row, "");
         EXPECT_TRUE(r.logic.minExitCheck(row));
     },
     "0", "59", {"Value must between 0 and 59"}},
    {"EmptiedHourBecomesTheKindsLimitOnLeaving",
     [](DialogRig& r, int row) {
         r.logic.cmbAfterSelect(row, KindAt);
         r.logic.hourCheck(row, "");
         EXPECT_TRUE(r.logic.hourExitCheck(row));
     },
     "23", "0", {"Value must between 0 and 23"}},
    {"LeavingAGoodFieldSaysNothing",
     [](DialogRig& r, int row) {
         r.logic.hourCheck(row, "12");
         EXPECT_FALSE(r.logic.hourExitCheck(row));
         EXPECT_FALSE(r.logic.minExitCheck(row));
     },
     "12", "0", {}},
    {"PastedTextKeepsItsDigits", [](DialogRig& r, int row) { r.logic.minCheck(row, "4x2"); }, "0", "42", {}},
    {"PastedLettersLeaveAnEmptyField", [](DialogRig& r, int row) { r.logic.hourCheck(row, "ab"); }, "", "0", {}},
    {"HourUpWrapsFromNinetyNineToZero",
     [](DialogRig& r, int row) {
         r.logic.hourCheck(row, "99");
         r.logic.hourUpDownClick(row, true);
     },
     "0", "0", {}},
    {"HourDownWrapsFromZeroToNinetyNine", [](DialogRig& r, int row) { r.logic.hourUpDownClick(row, false); }, "99",
     "0", {}},
    {"HourDownWrapsToTwentyThreeForAt",
     [](DialogRig& r, int row) {
         r.logic.cmbAfterSelect(row, KindAt);
         r.logic.hourUpDownClick(row, false);
     },
     "23", "0", {}},
    {"HourUpWrapsAfterTwentyThreeForAt",
     [](DialogRig& r, int row) {
         r.logic.cmbAfterSelect(row, KindAt);
         r.logic.hourCheck(row, "23");
         r.logic.hourUpDownClick(row, true);
     },
     "0", "0", {}},
    {"MinuteUpCountsAndWraps",
     [](DialogRig& r, int row) {
         r.logic.minUpDownClick(row, true);
         r.logic.minCheck(row, "59");
         r.logic.minUpDownClick(row, true);
         r.logic.minUpDownClick(row, true);
     },
     "0", "1", {}},
    {"MinuteDownFromAnEmptyFieldWraps", [](DialogRig& r, int row) {
         r.logic.minCheck(row, "");
         r.logic.minUpDownClick(row, false);
     },
     "0", "59", {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, HourAndMinuteFields, ::testing::ValuesIn(kFieldCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HourAndMinuteFields, UpDownPutsTheFocusIntoItsField) {
    DialogRig rig;
    rig.open(0);
    rig.logic.hourUpDownClick(7, true);
    rig.logic.minUpDownClick(8, false);
    const std::vector<std::pair<int, RowField>> want = {{7, RowField::hour}, {8, RowField::minute}};
    EXPECT_EQ(rig.view.focus, want);
}

TEST(HourAndMinuteFields, LimitFollowsTheKindShownAfterAReset) {
    // A row reset to "After" takes delays up to 99 hours again, whatever
    // kind it showed before.
    DialogRig rig;
    rig.tables.setEntry(TableId::LiveOn, 0, 2, enabledTimer(KindAt, 6, 0));
    rig.open(0);
    const int row = onRow(portLine(3));
    ASSERT_EQ(rig.view.rows[row].kind, KindAt);
    rig.uncheck(row);
    rig.logic.hourCheck(row, "75");
    EXPECT_EQ(rig.view.rows[row].hourText, "75");
    EXPECT_TRUE(rig.messages().empty());
}

TEST(KindSelection, EveryWeekOpensTheDayAndOtherKindsCloseIt) {
    DialogRig rig;
    rig.open(0);
    const int row = onRow(portLine(1));
    EXPECT_FALSE(rig.view.rows[row].dayEnabled);
    rig.logic.cmbAfterSelect(row, KindEveryWeek);
    EXPECT_TRUE(rig.view.rows[row].dayEnabled);
    rig.logic.cmbDaySelect(row, 6);
    EXPECT_EQ(rig.view.rows[row].day, 6);
    rig.logic.cmbAfterSelect(row, KindEveryDay);
    EXPECT_FALSE(rig.view.rows[row].dayEnabled);
    EXPECT_EQ(rig.view.rows[row].day, 0) << "day back to NULL";
}

// ------------------------------------------------------------------ keys, names, texts

struct KeyCase {
    const char* name;
    int key;
    KeyAction action;
};

class NumberKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(NumberKeys, DigitsAndBackspaceOnlyEnterMovesOn) { EXPECT_EQ(edNumCheck(GetParam().key), GetParam().action); }

INSTANTIATE_TEST_SUITE_P(Keys, NumberKeys,
                         ::testing::Values(KeyCase{"Zero", '0', KeyAction::take}, KeyCase{"Nine", '9', KeyAction::take},
                                           KeyCase{"Backspace", 8, KeyAction::take},
                                           KeyCase{"Enter", 13, KeyAction::nextControl},
                                           KeyCase{"Letter", 'a', KeyAction::discard},
                                           KeyCase{"Minus", '-', KeyAction::discard},
                                           KeyCase{"Blank", ' ', KeyAction::discard},
                                           KeyCase{"Tab", 9, KeyAction::discard},
                                           KeyCase{"HighLatin1", 0xE9, KeyAction::discard}),
                         [](const auto& row) { return std::string(row.param.name); });

struct NameCase {
    int row;
    RowField field;
    const char* name;
};

class AccessibleNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(AccessibleNames, SayPageRowAndField) {
    EXPECT_EQ(rowAccessibleName(GetParam().row, GetParam().field), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Rows, AccessibleNames,
                         ::testing::Values(NameCase{0, RowField::enable, "Power ON All banks enable"},
                                           NameCase{1, RowField::kind, "Power ON Whole bank kind"},
                                           NameCase{4, RowField::hour, "Power ON Port 3 hour"},
                                           NameCase{9, RowField::minute, "Power ON Port 8 minute"},
                                           NameCase{10, RowField::day, "Power OFF All banks day"},
                                           NameCase{11, RowField::enable, "Power OFF Whole bank enable"},
                                           NameCase{12, RowField::hour, "Power OFF Port 1 hour"},
                                           NameCase{19, RowField::kind, "Power OFF Port 8 kind"}));

TEST(SinceLabel, PadsHourAndMinuteToTwoPlaces) {
    TimerEntry e;
    setSinceDate(e, "2026/3/7");
    e.baseHour = 9;
    e.baseMinute = 5;
    EXPECT_EQ(sinceLabelText(e), "2026/3/7  9: 5");
    e.baseHour = 21;
    e.baseMinute = 45;
    EXPECT_EQ(sinceLabelText(e), "2026/3/7 21:45");
}

}  // namespace
