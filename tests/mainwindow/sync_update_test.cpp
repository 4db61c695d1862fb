// reportStored once the layout is settled: the display branch for status and
// current reports, the pending-command list, and the hand-over of the other
// update kinds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

// One row per report: what is drawn where, and what the watchdog does.
struct DisplayCase {
    const char* name;
    int banks;          // reported bank count (layout settled first)
    int scrollTo;       // scroll position before the report
    std::int32_t kind;  // update kind
    int reportedBank;
    int ledsDrawn;        // LED pictures drawn by the report
    bool currentDrawn;    // both current digits drawn
    const char* currentSlot;  // "1".."3": where the current goes
};

class DisplayBranch : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayBranch, DrawsTheReportedSlotAndStopsTheWatchdog) {
    const DisplayCase& c = GetParam();
    WindowRig rig;
    rig.reportBankCount(c.banks);
    rig.logic.scrollBarMoved(c.scrollTo);
    rig.setBank(c.reportedBank, "OOCCCCCO", "GGGGGGGG", 3.46f);
    rig.session.watchdogTimer().setEnabled(true);
    const std::size_t mark = rig.logMark();

    rig.report(c.kind, c.reportedBank);

    EXPECT_EQ(static_cast<int>(rig.logSince(mark, "picture imLed").size()), c.ledsDrawn);
    const auto currents = rig.logSince(mark, "picture imDisCurrent");
    if (c.currentDrawn) {
        const std::string slot = c.currentSlot;
        EXPECT_EQ(currents, (Strings{"picture imDisCurrent" + slot + "1", "picture imDisCurrent" + slot + "2"}));
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(std::stoi(slot), 1)), 13);
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(std::stoi(slot), 2)), 4);
    } else {
        EXPECT_TRUE(currents.empty());
    }
    EXPECT_FALSE(rig.session.watchdogTimer().enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayBranch,
    ::testing::Values(
        DisplayCase{"status_bank_1_draws_eight_leds", 3, 1, ukPortStatus, 1, 8, false, "1"},
        DisplayCase{"current_bank_2_draws_digits", 3, 1, ukCurrent, 2, 0, true, "2"},
        DisplayCase{"status_and_current_bank_3", 3, 1, ukStatusAndCurrent, 3, 8, true, "3"},
        DisplayCase{"current_bank_6_while_1_to_3_only_stops_watchdog", 8, 1, ukCurrent, 6, 0, false, "1"},
        DisplayCase{"status_bank_2_while_scrolled_past_it", 6, 3, ukStatusAndCurrent, 2, 0, false, "1"},
        DisplayCase{"scrolled_bank_5_lands_in_slot_2", 6, 4, ukStatusAndCurrent, 5, 8, true, "2"},
        DisplayCase{"four_fields_bank_2_with_one_panel_draws_current_only", 1, 1, ukStatusAndCurrent, 2,
                    0, true, "2"},
        DisplayCase{"status_bank_3_with_two_panels_draws_nothing", 2, 1, ukPortStatus, 3, 0, false, "1"},
        DisplayCase{"bank_count_kind_only_stops_watchdog", 3, 1, ukBankCount, 1, 0, false, "1"},
        DisplayCase{"unknown_kind_14_only_stops_watchdog", 3, 1, 14, 1, 0, false, "1"},
        DisplayCase{"negative_kind_only_stops_watchdog", 3, 1, -1, 1, 0, false, "1"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DisplayBranch, StatusDrawsLampsFromStatesAndFlags) {
    WindowRig rig;
    rig.reportBankCount(2);
    rig.setBank(2, "OCOCCCCO", "GFFGGGGG", 0.0f);
    rig.report(ukPortStatus, 2);
    const struct {
        ComponentId led;
        PictureList list;
        int index;
        const char* spoken;
    } rows[] = {
        {portLedId(21), PictureList::firstPortLed, 2, "Bank 2 Port 1 on"},
        {portLedId(22), PictureList::portLed, 1, "Bank 2 Port 2 off, alarm"},
        {portLedId(23), PictureList::portLed, 3, "Bank 2 Port 3 on, alarm"},
        {portLedId(24), PictureList::portLed, 0, "Bank 2 Port 4 off"},
        {portLedId(28), PictureList::portLed, 2, "Bank 2 Port 8 on"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(rig.view.picture(r.led).list, r.list) << r.led;
        EXPECT_EQ(rig.view.pictureIndex(r.led), r.index) << r.led;
        EXPECT_EQ(rig.view.spoken(r.led), r.spoken) << r.led;
    }
    // Flagged ports get both invalid marks; the others have them cleared.
    for (int port = 1; port <= 8; ++port) {
        const int want = port == 2 || port == 3 ? 1 : 0;
        EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 1, port - 1).invalid, want) << port;
        EXPECT_EQ(rig.tables.entry(TableId::LiveOff, 1, port - 1).invalid, want) << port;
    }
}

TEST(DisplayBranch, FlagClearedByALaterReportMakesTimerVisibleAgain) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOn, 1, 4, KindAt, 11, 30);
    rig.setBank(1, "CCCCCCCC", "GGGFGGGG", 0.0f);
    rig.report(ukPortStatus, 1);
    rig.logic.flashTick();
    EXPECT_EQ(rig.view.text(timeLabelId(14)), "");
    rig.setBank(1, "CCCCCCCC", "GGGGGGGG", 0.0f);
    rig.report(ukPortStatus, 1);
    rig.logic.flashTick();
    EXPECT_EQ(rig.view.text(timeLabelId(14)), " 1:30");
}

TEST(DisplayBranch, CurrentDigitsAndSpokenReading) {
    const struct {
        const char* name;
        float amperes;
        int first;
        int second;
        const char* spoken;
    } rows[] = {{"tenths", 3.46f, 13, 4, "Bank 1 current 3.4 A"},
                {"whole", 12.7f, 1, 2, "Bank 1 current 12 A"},
                {"zero", 0.0f, 10, 0, "Bank 1 current 0.0 A"},
                {"over_range", 250.0f, 9, 9, "Bank 1 current 99 A"}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(1);
        rig.setBank(1, "CCCCCCCC", "GGGGGGGG", r.amperes);
        rig.report(ukCurrent, 1);
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(1, 1)), r.first) << r.name;
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(1, 2)), r.second) << r.name;
        EXPECT_EQ(rig.view.spoken(currentDigitId(1, 1)), r.spoken) << r.name;
        EXPECT_EQ(rig.view.spoken(currentDigitId(1, 2)), r.spoken) << r.name;
    }
}

// ---- Pending-command list ----

TEST(QueueAdvance, ConfirmationWritesTheNextCommand) {
    const struct {
        const char* name;
        std::int32_t kind;
        int queued;
        Strings writes;
        std::size_t left;
    } rows[] = {
        {"clear_confirmed_sends_second", ukNextAfterClear, 3, {"/Q0121\\"}, 2},
        {"set_confirmed_sends_second", ukNextAfterSet, 2, {"/Q0121\\"}, 1},
        {"nothing_left_writes_nothing", ukNextAfterSet, 1, {}, 0},
        {"empty_list_writes_nothing", ukNextAfterClear, 0, {}, 0},
    };
    const char* commands[] = {"/Q0111\\", "/Q0121\\", "/T0131 001002003\\"};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(1);
        for (int i = 0; i < r.queued; ++i) rig.state.Queue.append(commands[i]);
        rig.report(r.kind, 1);
        EXPECT_EQ(rig.writes, r.writes) << r.name;
        EXPECT_EQ(rig.state.Queue.size(), r.left) << r.name;
        if (r.left > 0) {
            EXPECT_EQ(rig.state.Queue.head(), std::optional<std::string>(commands[1])) << r.name;
        }
    }
}

// ---- Hand-overs ----

// Reports of others' work pass the window by: it draws nothing, writes
// nothing and leaves the watchdog alone; the later stages hear them.
TEST(Dispatch, OtherKindsReachTheLaterStagesOnly) {
    const struct {
        const char* name;
        std::int32_t kind;
        int refreshes;
    } rows[] = {
        {"upgrade_begin", ukUpgradeBegin, 0},
        {"upgrade_done", ukUpgradeDone, 0},
        {"schedule_refresh_reruns_dialog_show", ukScheduleRefresh, 1},
        {"upgrade_step", ukUpgradeStep, 0},
        {"upgrade_failed", ukUpgradeFailed, 0},
        {"upgrade_message", ukUpgradeMessage, 0},
        {"clock_error", ukClockError, 0},
        {"version", ukVersion, 0},
    };
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(3);
        rig.session.watchdogTimer().setEnabled(true);
        rig.othersHeard.clear();
        const std::size_t mark = rig.logMark();
        rig.report(r.kind, 1);
        EXPECT_EQ(rig.othersHeard, std::vector<std::int32_t>{r.kind}) << r.name;
        EXPECT_EQ(rig.view.dialogRefreshes, r.refreshes) << r.name;
        EXPECT_TRUE(rig.logSince(mark, "picture").empty()) << r.name;
        EXPECT_TRUE(rig.writes.empty()) << r.name;
        EXPECT_TRUE(rig.session.watchdogTimer().enabled()) << r.name << ": only reports stop the watchdog";
    }
}

// A confirmation refreshes the dialog only for the bank whose tab the user
// looks at, which after a tab change is not the bank it opened on.
TEST(LinkEventsPart, ScheduleShowsBankOnlyForTheSelectedTabOfTheVisibleDialog) {
    const struct {
        const char* name;
        bool visible;
        int dialogBank;
        int tab;
        int asked;
        bool shows;
    } rows[] = {{"visible_same_bank", true, 2, 2, 2, true},
                {"visible_other_bank", true, 2, 2, 1, false},
                {"moved_to_another_tab", true, 2, 4, 4, true},
                {"opened_bank_after_moving_away", true, 2, 4, 2, false},
                {"hidden_same_bank", false, 2, 2, 2, false}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.view.dialogVisible = r.visible;
        rig.view.dialogBank = r.dialogBank;
        rig.view.dialogTab = r.tab;
        EXPECT_EQ(rig.logic.scheduleShowsBank(r.asked), r.shows) << r.name;
    }
}

TEST(LinkEventsPart, ClosingDialogsCancelsOnlyAShownTimerDialog) {
    for (bool visible : {true, false}) {
        WindowRig rig;
        rig.view.dialogVisible = visible;
        rig.session.linkLost();
        EXPECT_EQ(rig.view.dialogCancels, visible ? 1 : 0);
        EXPECT_EQ(rig.linkSteps, std::vector<LinkChange>{LinkChange::lost}) << "the others hear it too";
    }
}

TEST(LinkEventsPart, HidePanelsHidesPanelsSeparatorsAndScrollBar) {
    WindowRig rig;
    rig.reportBankCount(5);
    rig.logic.hidePanels();
    for (ComponentId name : {panelId(1), panelId(2), panelId(3), separatorId(1), separatorId(2)})
        EXPECT_FALSE(rig.view.shown(name)) << name;
    EXPECT_FALSE(rig.view.scrollVisible);
    for (int slot = 1; slot <= 3; ++slot) EXPECT_FALSE(rig.logic.panelShown(slot));
}

}  // namespace
}  // namespace velmora::test
