// The Set Timer dialog as a whole: showing a bank, collecting it into the
// working tables, the buttons, the tab strip, and what a transfer of the
// collected tables then sends.
#include "schedule/schedule_file.h"
#include "schedule/schedule_transfer.h"
#include "schedule/set_timer_logic.h"
#include "set_timer_rig.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::testing;
using velmora::testing_support::readBytes;
using velmora::testing_support::TempFolder;
using velmora::testing_support::writeBytes;

namespace {

using Strings = std::vector<std::string>;

TimerEntry withScope(TimerEntry e, std::int32_t scope) {
    e.scope = scope;
    return e;
}

// ------------------------------------------------------------------ showing a bank

TEST(aboutToShow, FillsBothPagesOfTheDialogBankFromTheLiveTables) {
    DialogRig rig(3);
    TimerEntry on = enabledTimer(KindEveryWeek, 7, 30, 2);
    setSinceDate(on, "2026/3/2");
    on.baseHour = 9;
    on.baseMinute = 5;
    rig.tables.setEntry(TableId::LiveOn, 2, 4, on);
    rig.tables.setEntry(TableId::LiveOff, 2, 0, withScope(enabledTimer(KindAt, 22, 0), ScopeBank));
    rig.tables.setEntry(TableId::EditOn, 2, 6, enabledTimer(KindAt, 1, 1));  // an edit never sent
    rig.open(2);

    EXPECT_EQ(rig.logic.PageBank(), 2);
    EXPECT_EQ(rig.view.clearCaption, "Clear Bank 3");
    EXPECT_EQ(rig.view.selected, 2);
    EXPECT_EQ(rig.editOn(2, 6), TimerEntry{}) << "edits not sent are dropped";

    const TimerRow& port5 = rig.view.rows[onRow(portLine(5))];
    EXPECT_TRUE(port5.checked);
    EXPECT_EQ(port5.kind, KindEveryWeek);
    EXPECT_EQ(port5.day, 2);
    EXPECT_EQ(port5.hourText, "7");
    EXPECT_EQ(port5.minuteText, "30");
    EXPECT_EQ(port5.sinceText, "2026/3/2  9: 5");
    EXPECT_FALSE(port5.sinceEnabled || port5.dayEnabled || port5.timeEnabled || port5.kindEnabled);
    EXPECT_EQ(port5.bankText, "3");
    EXPECT_EQ(port5.portText, "5");

    // A bank entry shows on the whole-bank row and every port row below it;
    // it was never stamped, so there is no since text.
    EXPECT_FALSE(rig.view.rows[offRow(0)].checked);
    for (int line = 1; line < kRowsPerPage; ++line) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(offRow(line))];
        EXPECT_TRUE(r.checked) << line;
        EXPECT_EQ(r.kind, KindAt) << line;
        EXPECT_EQ(r.hourText, "22") << line;
        EXPECT_EQ(r.sinceText, "") << line;
    }
    EXPECT_EQ(rig.view.rows[offRow(0)].bankText, "all");
    EXPECT_EQ(rig.view.rows[offRow(1)].bankText, "3");
    EXPECT_EQ(rig.view.rows[offRow(1)].portText, "all");
    for (const TimerRow& r : rig.view.rows) EXPECT_FALSE(r.changed);
}

TEST(aboutToShow, DisabledEntriesShowAnEmptyRowAndFlaggedPortsSayInvalid) {
    DialogRig rig;
    TimerEntry off = timer(KindAt, 5, 5);  // known but not running
    setSinceDate(off, "2026/1/1");
    rig.tables.setEntry(TableId::LiveOn, 0, 3, off);
    TimerEntry flagged = enabledTimer(KindAt, 8, 0);
    flagged.invalid = 1;
    rig.tables.setEntry(TableId::LiveOff, 0, 7, flagged);
    rig.open(0);

    const TimerRow& port4 = rig.view.rows[onRow(portLine(4))];
    EXPECT_FALSE(port4.checked);
    EXPECT_EQ(port4.kind, KindAfter);
    EXPECT_EQ(port4.hourText, "0");
    EXPECT_EQ(port4.minuteText, "0");
    EXPECT_EQ(port4.sinceText, "");

    const TimerRow& port8 = rig.view.rows[offRow(portLine(8))];
    EXPECT_TRUE(port8.invalid);
    EXPECT_FALSE(port8.checked);
    EXPECT_EQ(port8.sinceText, "Invalid");
    EXPECT_FALSE(rig.view.rows[onRow(portLine(8))].invalid) << "flags come per page from each table";
    // A flagged row ignores its check box.
    rig.check(offRow(portLine(8)));
    EXPECT_FALSE(rig.view.rows[offRow(portLine(8))].checked);
    EXPECT_FALSE(rig.view.rows[offRow(portLine(8))].changed);
}

TEST(aboutToShow, AllBanksEntryShowsOnEveryLine) {
    DialogRig rig(3);
    rig.tables.setEntry(TableId::LiveOn, 1, 0, withScope(enabledTimer(KindEveryDay, 6, 45), ScopeAllBanks));
    rig.open(1);
    for (int line = 0; line < kRowsPerPage; ++line) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(onRow(line))];
        EXPECT_TRUE(r.checked) << line;
        EXPECT_EQ(r.kind, KindEveryDay) << line;
        EXPECT_EQ(r.hourText, "6") << line;
        EXPECT_EQ(r.minuteText, "45") << line;
        EXPECT_EQ(r.checkEnabled, line == 0) << line;
    }
}

TEST(aboutToShow, RefusalsWhileFillingAreSilent) {
    // The power-on delay of 0:00 meets the power-off row while it still
    // holds the reset values: refused, but no message while loading.
    DialogRig rig;
    rig.tables.setEntry(TableId::LiveOn, 0, 1, enabledTimer(KindAfter, 0, 0));
    rig.tables.setEntry(TableId::LiveOff, 0, 1, enabledTimer(KindAt, 3, 0));
    rig.open(0);
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_TRUE(rig.view.rows[onRow(portLine(2))].checked);
    EXPECT_FALSE(rig.view.rows[offRow(portLine(2))].checked);
    EXPECT_FALSE(rig.logic.RowsLoading());
}

TEST(aboutToShow, SelectingTheShownBanksTabCollectsNothing) {
    // The strip stands on bank 1 while the dialog opens on bank 2: selecting
    // bank 2's tab is no tab change, so no shown timer becomes pending.
    DialogRig rig(2, onWeekday(2, 12, 0, 0));
    rig.tables.setEntry(TableId::LiveOn, 1, 2, enabledTimer(KindAfter, 3, 0));
    ASSERT_EQ(rig.logic.selectedTab(), 0);
    rig.open(1);
    EXPECT_EQ(rig.logic.selectedTab(), 1);
    EXPECT_EQ(rig.editOn(1, 2).pending, 0);
    rig.logic.onOkClicked();
    EXPECT_TRUE(buildTransfer(rig.tables, 2, rig.clock.now()).empty()) << "the running delay is not restarted";
}

TEST(aboutToShow, OpensOnABankTheTablesHaveWhateverDialogBankHolds) {
    DialogRig rig(2);
    rig.open(17);
    EXPECT_EQ(rig.logic.PageBank(), 1);
    rig.open(-3);
    EXPECT_EQ(rig.logic.PageBank(), 0);
}

// ------------------------------------------------------------------ collection and sending

TEST(Collection, TheEditedExampleSendsClearSetAndBankSetInOrder) {
    DialogRig rig(2, onWeekday(5, 21, 0, 15));
    rig.tables.setEntry(TableId::LiveOn, 1, 1, enabledTimer(KindAt, 9, 0));
    rig.open(1);  // bank 2
    rig.uncheck(onRow(portLine(2)));
    rig.fill(onRow(portLine(5)), KindEveryDay, 7, 30);
    rig.check(onRow(portLine(5)));
    rig.fill(offRow(1), KindAt, 22, 0);
    rig.check(offRow(1));
    ASSERT_TRUE(rig.messages().empty());
    rig.logic.onOkClicked();
    EXPECT_EQ(rig.view.closes, std::vector<bool>{true});

    const Strings want = {"/Q0221\\", "/D0251 0102945\\", "/T0200 0005945\\"};
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()), want);
}

TEST(Collection, UncheckingTheAllBanksRowLeavesOneClearOfEveryBank) {
    DialogRig rig(3);
    // An all-banks power-on timer as the unit reports it, with its copies.
    for (int b = 0; b < 3; ++b)
        rig.tables.setEntry(TableId::LiveOn, b, 0, withScope(enabledTimer(KindAt, 6, 0), ScopeAllBanks));
    rig.tables.setEntry(TableId::LiveOn, 2, 5, enabledTimer(KindAt, 7, 0));
    rig.open(1);
    rig.uncheck(onRow(0));
    rig.logic.onOkClicked();

    for (int b = 0; b < 3; ++b) {
        for (int p = 0; p < kPortsPerBank; ++p) {
            const TimerEntry e = rig.editOn(b, p);
            if (b == 1 && p == 0) {
                EXPECT_EQ(e.scope, ScopeClearAll);
                EXPECT_EQ(e.pending, 1);
                EXPECT_EQ(e.enabled, 0);
            } else {
                EXPECT_EQ(e, TimerEntry{}) << b << "/" << p;
            }
        }
    }
    EXPECT_EQ(buildTransfer(rig.tables, 3, rig.clock.now()), Strings{"/Q0001\\"});
}

TEST(Collection, UncheckingThePowerOffAllBanksRowSendsTheSingleClear) {
    DialogRig rig(2);
    rig.tables.setEntry(TableId::LiveOff, 0, 0, withScope(enabledTimer(KindEveryDay, 23, 0), ScopeAllBanks));
    rig.tables.setEntry(TableId::LiveOff, 1, 0, withScope(timer(KindEveryDay, 23, 0), ScopeAllBanks));
    rig.open(0);
    rig.uncheck(offRow(0));
    rig.logic.onOkClicked();
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()), Strings{"/Q0000\\"}) << "no clears of the rows below it";
}

TEST(Collection, AllBanksSetWithOneBankStoresOneEntryAndCopiesNothing) {
    DialogRig rig(1);
    const TimerEntry elsewhere = enabledTimer(KindAt, 4, 4);
    rig.tables.setEntry(TableId::EditOn, 1, 0, elsewhere);  // beyond the unit's one bank
    rig.open(0);
    rig.fill(onRow(0), KindAt, 18, 30);
    rig.check(onRow(0));
    rig.logic.onOkClicked();
    const TimerEntry e = rig.editOn(0, 0);
    EXPECT_EQ(e.scope, ScopeAllBanks);
    EXPECT_EQ(e.pending, 1);
    EXPECT_EQ(e.enabled, 1);
    EXPECT_EQ(e.kind, KindAt);
    EXPECT_EQ(e.hour, 18);
    EXPECT_EQ(e.minute, 30);
    EXPECT_EQ(rig.editOn(1, 0), elsewhere);
}

TEST(Collection, AllBanksSetIsCopiedToEveryBankAndSentOnce) {
    DialogRig rig(3, onWeekday(2, 10, 0, 0));
    rig.open(2);
    rig.fill(onRow(0), KindAt, 12, 0);
    rig.check(onRow(0));
    rig.logic.onOkClicked();
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(rig.editOn(b, 0).scope, ScopeAllBanks) << b;
        EXPECT_EQ(rig.editOn(b, 0).pending, b == 0 ? 1 : 0) << b;
    }
    EXPECT_EQ(buildTransfer(rig.tables, 3, rig.clock.now()), Strings{"/T0001 0020000\\"});
    for (int b = 0; b < 3; ++b) {
        const TimerEntry live = rig.tables.entry(TableId::LiveOn, b, 0);
        EXPECT_EQ(live.scope, ScopeAllBanks) << b;
        EXPECT_EQ(live.pending, 0) << b;
        EXPECT_EQ(live.enabled, 0) << b << ": shown once the unit confirms it";
    }
}

TEST(Collection, PortSetAfterAClearAllIsSentBehindIt) {
    DialogRig rig(2, onWeekday(2, 10, 0, 0));
    rig.tables.setEntry(TableId::LiveOn, 0, 0, withScope(enabledTimer(KindAt, 6, 0), ScopeAllBanks));
    rig.open(0);
    rig.uncheck(onRow(0));
    rig.fill(onRow(portLine(1)), KindAfter, 1, 0);
    rig.check(onRow(portLine(1)));
    rig.logic.onOkClicked();
    EXPECT_EQ(rig.editOn(0, 0).scope, ScopeClearAllThenPort);
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()), (Strings{"/Q0001\\", "/T0111 0010000\\"}));
}

TEST(Collection, WholeBankClearThenPortSet) {
    DialogRig rig(2, onWeekday(2, 10, 0, 0));
    rig.tables.setEntry(TableId::LiveOff, 1, 0, withScope(enabledTimer(KindAt, 6, 0), ScopeBank));
    rig.open(1);
    rig.uncheck(offRow(1));
    rig.fill(offRow(portLine(1)), KindAt, 11, 0);
    rig.check(offRow(portLine(1)));
    rig.fill(offRow(portLine(3)), KindAt, 11, 30);
    rig.check(offRow(portLine(3)));
    rig.logic.onOkClicked();
    EXPECT_EQ(rig.editOff(1, 0).scope, ScopeClearBankThenPort);
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()),
              (Strings{"/Q0200\\", "/T0210 0010000\\", "/T0230 0013000\\"}));
}

TEST(Buttons, CancelKeepsNothing) {
    DialogRig rig;
    rig.open(0);
    rig.fill(onRow(portLine(1)), KindAt, 3, 0);
    rig.check(onRow(portLine(1)));
    rig.logic.onCancelClicked();
    EXPECT_EQ(rig.view.closes, std::vector<bool>{false});
    EXPECT_EQ(rig.editOn(0, 0), TimerEntry{});
    EXPECT_EQ(rig.transfers, 0);
}

TEST(Buttons, ApplyCollectsSendsAndOpensNextTimeOnTheSelectedTab) {
    DialogRig rig(3);
    rig.open(0);
    rig.logic.tabChosen(2);
    rig.fill(offRow(portLine(4)), KindAt, 3, 0);
    rig.check(offRow(portLine(4)));
    rig.logic.ApplyClick();
    EXPECT_EQ(rig.transfers, 1);
    EXPECT_EQ(rig.editOff(2, 3).pending, 1);
    EXPECT_EQ(rig.logic.DialogBank(), 2);
    EXPECT_TRUE(rig.view.closes.empty()) << "Apply leaves the dialog open";
}

TEST(Buttons, ClearAllUnchecksEveryRowAndMarksEveryTimerForClearing) {
    DialogRig rig(2);
    rig.tables.setEntry(TableId::LiveOn, 0, 0, withScope(enabledTimer(KindAt, 6, 0), ScopeAllBanks));
    rig.tables.setEntry(TableId::LiveOn, 1, 0, withScope(timer(KindAt, 6, 0), ScopeAllBanks));
    rig.tables.setEntry(TableId::LiveOff, 1, 0, withScope(enabledTimer(KindAt, 7, 0), ScopeBank));
    rig.tables.setEntry(TableId::LiveOff, 0, 4, enabledTimer(KindAt, 8, 0));
    rig.open(0);
    rig.logic.btnClearClick();
    for (const TimerRow& r : rig.view.rows) EXPECT_FALSE(r.checked);
    EXPECT_EQ(rig.editOn(0, 0).scope, ScopeClearAll);
    EXPECT_EQ(rig.editOn(0, 0).pending, 1);
    EXPECT_EQ(rig.editOn(1, 0).scope, ScopeAllBanks) << "a copy not running is left alone";
    EXPECT_EQ(rig.editOff(1, 0).scope, ScopeClearBank);
    EXPECT_EQ(rig.editOff(0, 4).enabled, 0);
    EXPECT_EQ(rig.editOff(0, 4).pending, 1);
    rig.logic.onOkClicked();
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()), (Strings{"/Q0001\\", "/Q0150\\", "/Q0200\\"}));
}

TEST(Buttons, ClearBankUnchecksTheRowsAndLeavesTheTablesToCollection) {
    DialogRig rig(2);
    rig.tables.setEntry(TableId::LiveOn, 1, 2, enabledTimer(KindAt, 6, 0));
    rig.open(1);
    ASSERT_TRUE(rig.view.rows[onRow(portLine(3))].checked);
    rig.logic.btnOneBankClick();
    for (const TimerRow& r : rig.view.rows) EXPECT_FALSE(r.checked);
    EXPECT_EQ(rig.editOn(1, 2).enabled, 1);
    rig.logic.onOkClicked();
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()), Strings{"/Q0231\\"});
}

// ------------------------------------------------------------------ tabs

TEST(Tabs, ChoosingAnotherBankCollectsTheShownOneFirst) {
    DialogRig rig(3);
    rig.tables.setEntry(TableId::LiveOff, 2, 7, enabledTimer(KindEveryDay, 5, 0));
    rig.open(0);
    rig.fill(onRow(portLine(2)), KindAt, 3, 0);
    rig.check(onRow(portLine(2)));
    rig.logic.tabChosen(2);

    EXPECT_EQ(rig.editOn(0, 1).pending, 1);
    EXPECT_EQ(rig.editOn(0, 1).hour, 3);
    EXPECT_EQ(rig.logic.PageBank(), 2);
    EXPECT_EQ(rig.view.clearCaption, "Clear Bank 3");
    EXPECT_EQ(rig.view.rows[offRow(portLine(8))].bankText, "3");
    EXPECT_TRUE(rig.view.rows[offRow(portLine(8))].checked);
    EXPECT_FALSE(rig.view.rows[onRow(portLine(2))].checked);
    for (const TimerRow& r : rig.view.rows) EXPECT_FALSE(r.changed);

    // Back on bank 1 the collected edit is still there, and OK sends it once.
    rig.logic.tabChosen(0);
    EXPECT_TRUE(rig.view.rows[onRow(portLine(2))].checked);
    rig.logic.onOkClicked();
    EXPECT_EQ(buildTransfer(rig.tables, 3, onWeekday(2, 1, 0, 0)), Strings{"/T0121 0020000\\"});
}

TEST(Tabs, ClicksWhileHiddenAndOutsideTheStripDoNothing) {
    DialogRig rig(2);
    rig.logic.tabChosen(1);
    EXPECT_EQ(rig.logic.PageBank(), 0);
    rig.open(0);
    rig.logic.tabChosen(5);
    EXPECT_EQ(rig.logic.PageBank(), 0);
}

TEST(Tabs, FollowTheMainWindowsBankCount) {
    DialogRig rig(0);
    EXPECT_EQ(rig.logic.selectedTab(), -1);
    for (const char* caption : {"Bank1 ", "Bank2 ", "Bank3 "}) rig.logic.appendTab(caption);
    EXPECT_EQ(rig.view.tabs, (Strings{"Bank1 ", "Bank2 ", "Bank3 "}));
    EXPECT_EQ(rig.view.selected, 0);
    rig.bankCount = 3;
    rig.open(2);
    rig.logic.selectFirstTab();
    EXPECT_EQ(rig.view.selected, 2) << "while shown the tab stays on the edited bank";
    rig.logic.deleteTab(2);
    EXPECT_EQ(rig.view.tabs, (Strings{"Bank1 ", "Bank2 "}));
    EXPECT_EQ(rig.view.selected, 1);
    rig.view.visible = false;
    rig.logic.selectFirstTab();
    EXPECT_EQ(rig.view.selected, 0);
    rig.logic.deleteTab(0);
    rig.logic.deleteTab(0);
    rig.logic.deleteTab(0);
    EXPECT_TRUE(rig.view.tabs.empty());
    EXPECT_EQ(rig.view.selected, -1);
}

// ------------------------------------------------------------------ Save and Load

TEST(SaveAndLoad, ChoosersOfferPowerFiles) {
    DialogRig rig;
    rig.open(0);
    rig.logic.btnSaveClick();
    rig.logic.btnLoadClick();
    ASSERT_EQ(rig.dialogs.saved.size(), 1u);
    ASSERT_EQ(rig.dialogs.opened.size(), 1u);
    EXPECT_EQ(rig.dialogs.saved[0].filter, "power file(*.pwr)|*.pwr|all file(*.*)|*.*");
    EXPECT_EQ(rig.dialogs.opened[0].filter, "power file(.pwr)|*.pwr|all file(*.*)|*.*");
    for (const FileChoice& c : {rig.dialogs.saved[0], rig.dialogs.opened[0]}) {
        EXPECT_EQ(c.defaultName, "default0");
        EXPECT_EQ(c.defaultExtension, ".pwr");
    }
    EXPECT_TRUE(rig.messages().empty()) << "cancelled choosers say nothing";
}

TEST(SaveAndLoad, SaveWritesTheCollectedRows) {
    TempFolder folder;
    DialogRig rig(1);
    rig.open(0);
    rig.fill(offRow(portLine(1)), KindAt, 22, 0);
    rig.check(offRow(portLine(1)));
    rig.dialogs.paths = {(folder / "week.pwr").string()};
    rig.logic.btnSaveClick();
    const std::string bytes = readBytes(folder / "week.pwr");
    EXPECT_NE(bytes.find("1 0 0 1 0 1 0 22 0 "), std::string::npos) << bytes;
    EXPECT_TRUE(rig.messages().empty());
}

// The unit's confirmations reach the UI thread also inside the dialog's own
// message boxes and choosers. A refresh there must wait for the handler
// that opened them, or the handler goes on with rows the refresh reset.
TEST(Refresh, ConfirmationDuringARefusalWaitsUntilTheWholeBankCopyHasEnded) {
    DialogRig rig(1);
    rig.tables.setEntry(TableId::LiveOff, 0, 4, enabledTimer(KindAfter, 0, 30));
    rig.open(0);
    rig.fill(onRow(1), KindAfter, 0, 30);
    // Port 5 is refused ("These Time Values..."); a confirmation comes while
    // the box is open.
    rig.dialogs.whileOpen = [&] { rig.logic.refreshFromUnit(); };
    rig.check(onRow(1));
    ASSERT_EQ(rig.messages(), Strings{kSameTimeAsPowerOffMessage});
    EXPECT_FALSE(rig.logic.refreshPending()) << "the refresh ran once the click was handled";
    // The refresh showed what the unit holds; no row carries an "After 0:00"
    // that nobody set.
    for (int line = 0; line < kRowsPerPage; ++line) {
        const TimerRow& r = rig.view.rows[static_cast<std::size_t>(onRow(line))];
        EXPECT_FALSE(r.checked) << "power-on line " << line;
        EXPECT_FALSE(r.changed) << "power-on line " << line;
    }
    EXPECT_TRUE(rig.view.rows[offRow(portLine(5))].checked);
    rig.logic.onOkClicked();
    for (int port = 0; port < kPortsPerBank; ++port) EXPECT_EQ(rig.editOn(0, port).pending, 0) << port;
}

TEST(Refresh, SaveWritesWhatTheRowsShowedWhenSaveWasPressed) {
    TempFolder folder;
    DialogRig rig(1);
    rig.open(0);
    rig.fill(offRow(portLine(1)), KindAt, 22, 0);
    rig.check(offRow(portLine(1)));
    rig.dialogs.paths = {(folder / "week.pwr").string()};
    rig.dialogs.whileOpen = [&] { rig.logic.refreshFromUnit(); };
    rig.logic.btnSaveClick();
    const std::string bytes = readBytes(folder / "week.pwr");
    EXPECT_NE(bytes.find("1 0 0 1 0 1 0 22 0 "), std::string::npos) << bytes;
}

TEST(SaveAndLoad, AFailedSaveKeepsTheOldFileAndSaysWhichFile) {
    TempFolder folder;
    const auto path = folder / "kept.pwr";
    writeBytes(path, "0 0 0 1 0 1 0 6 0 ");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);  // read-only
    DialogRig rig(1);
    rig.open(0);
    rig.dialogs.paths = {path.string()};
    rig.logic.btnSaveClick();
    EXPECT_EQ(readBytes(path), "0 0 0 1 0 1 0 6 0 ");
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find(path.string()), std::string::npos) << rig.dialogs.shown[0].text;
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::stop);
}

TEST(SaveAndLoad, AFailedSaveIntoAMissingFolderIsReportedToo) {
    TempFolder folder;
    DialogRig rig(1);
    rig.open(0);
    rig.dialogs.paths = {(folder / "no such folder" / "a.pwr").string()};
    rig.logic.btnSaveClick();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("a.pwr"), std::string::npos);
}

TEST(SaveAndLoad, LoadShowsTheFileAndSendsItsTimersWithTheNextOk) {
    TempFolder folder;
    writeBytes(folder / "a.pwr", "1 1 0 1 0 1 0 22 0 0 1 4 1 0 3 4 7 30 ");
    DialogRig rig(2, onWeekday(2, 21, 0, 0));
    rig.open(0);
    rig.logic.tabChosen(1);
    rig.dialogs.paths = {(folder / "a.pwr").string()};
    rig.logic.btnLoadClick();

    EXPECT_TRUE(rig.messages().empty());
    const TimerRow& off1 = rig.view.rows[offRow(portLine(1))];
    EXPECT_TRUE(off1.checked);
    EXPECT_TRUE(off1.changed);
    EXPECT_EQ(off1.kind, KindAt);
    EXPECT_EQ(off1.hourText, "22");
    const TimerRow& on5 = rig.view.rows[onRow(portLine(5))];
    EXPECT_TRUE(on5.checked);
    EXPECT_EQ(on5.day, 4);
    rig.logic.onOkClicked();
    EXPECT_EQ(buildTransfer(rig.tables, 2, rig.clock.now()),
              (Strings{"/W0251 0343000\\", "/T0210 0010000\\"}));
}

TEST(SaveAndLoad, AFileThatCannotBeOpenedEndsLoadSilently) {
    TempFolder folder;
    DialogRig rig(1);
    rig.tables.setEntry(TableId::LiveOn, 0, 0, enabledTimer(KindAt, 1, 0));
    rig.open(0);
    rig.dialogs.paths = {(folder / "missing.pwr").string()};
    rig.logic.btnLoadClick();
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_TRUE(rig.view.rows[onRow(portLine(1))].checked);
}

TEST(SaveAndLoad, AnOversizedFileIsRefusedWithAMessage) {
    TempFolder folder;
    writeBytes(folder / "big.pwr", std::string(kMaxScheduleFileBytes + 1, ' '));
    DialogRig rig(1);
    rig.open(0);
    rig.dialogs.paths = {(folder / "big.pwr").string()};
    rig.logic.btnLoadClick();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("big.pwr"), std::string::npos);
}

}  // namespace
