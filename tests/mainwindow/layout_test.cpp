// The layout check of reportStored and the scroll bar: panels, window size,
// scroll range, Check Version items, Set Timer tabs, removed banks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

TEST(StartUp, WindowStartsSmallWithEverythingHidden) {
    WindowRig rig;
    EXPECT_EQ(rig.view.height, kHeightOneBank);
    for (ComponentId name : {panelId(1), panelId(2), panelId(3), separatorId(1), separatorId(2)})
        EXPECT_FALSE(rig.view.shown(name)) << name;
    EXPECT_FALSE(rig.view.scrollVisible);
    EXPECT_EQ(rig.logic.scrollPosition(), 1);
    // Bank numbers 01, 02, 03 and currents 0.0.
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(rig.view.pictureIndex(bankDigitId(slot, 1)), 0);
        EXPECT_EQ(rig.view.pictureIndex(bankDigitId(slot, 2)), slot);
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(slot, 1)), 10);
        EXPECT_EQ(rig.view.pictureIndex(currentDigitId(slot, 2)), 0);
        EXPECT_EQ(rig.view.text(timeLabelId(portKey(slot, 4))), "");
        EXPECT_EQ(rig.view.pictureIndex(portButtonId(portKey(slot, 4))), 1);
    }
    EXPECT_EQ(rig.view.pictureIndex(portLedId(11)), 0);
    EXPECT_EQ(rig.view.picture(portLedId(11)).list, PictureList::firstPortLed);
    EXPECT_EQ(rig.view.picture(portLedId(12)).list, PictureList::portLed);
}

// One row per bank count: which panels and separators show, the height,
// whether the top edge moves, the scroll bar.
struct LayoutCase {
    const char* name;
    int banks;
    bool panels[3];
    bool separators[2];
    int height;
    bool movesTop;
    bool scrollVisible;
    int scrollMaximum;  // checked only when visible
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, FollowsTheBankCount) {
    const LayoutCase& c = GetParam();
    WindowRig rig;
    rig.reportBankCount(c.banks);
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(rig.view.shown(panelId(s + 1)), c.panels[s]) << s + 1;
    EXPECT_EQ(rig.view.shown(separatorId(1)), c.separators[0]);
    EXPECT_EQ(rig.view.shown(separatorId(2)), c.separators[1]);
    EXPECT_EQ(rig.view.height, c.height);
    EXPECT_EQ(rig.view.top, c.movesTop ? kTopEdgeThreeBanks : 0);
    EXPECT_EQ(rig.view.scrollVisible, c.scrollVisible);
    EXPECT_EQ(rig.logic.scrollBarVisible(), c.scrollVisible);
    if (c.scrollVisible) {
        EXPECT_EQ(rig.view.scrollMaximum, c.scrollMaximum);
    }
    EXPECT_EQ(rig.state.ShownBankCount.load(), c.banks);
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(rig.logic.panelShown(s), c.panels[s - 1]) << s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Layout,
    ::testing::Values(
        LayoutCase{"one_bank", 1, {true, false, false}, {false, false}, 190, false, false, 0},
        LayoutCase{"two_banks", 2, {true, true, false}, {true, false}, 300, false, false, 0},
        LayoutCase{"three_banks", 3, {true, true, true}, {true, true}, 410, true, false, 0},
        LayoutCase{"four_banks_scroll_to_2", 4, {true, true, true}, {true, true}, 410, true, true, 2},
        LayoutCase{"sixteen_banks_scroll_to_14", 16, {true, true, true}, {true, true}, 410, true, true,
                   14}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(LayoutCheck, TwoToFiveBanksAddsItemsTabsAndScrollBarWithoutDrawing) {
    WindowRig rig;
    rig.reportBankCount(2);
    const std::size_t mark = rig.logMark();
    rig.reportBankCount(5);

    EXPECT_TRUE(rig.view.shown(panelId(3)));
    EXPECT_EQ(rig.view.height, 410);
    EXPECT_EQ(rig.view.top, 100);
    EXPECT_EQ(rig.view.scrollMaximum, 3);
    EXPECT_TRUE(rig.view.scrollVisible);
    EXPECT_EQ(rig.logic.scrollPosition(), 1);
    EXPECT_EQ(rig.logSince(mark, "append item"),
              (Strings{"append item Bank 3", "append item Bank 4", "append item Bank 5"}));
    EXPECT_EQ(rig.logSince(mark, "append tab"),
              (Strings{"append tab Bank3 ", "append tab Bank4 ", "append tab Bank5 "}));
    EXPECT_EQ(rig.view.versionItems.back(), (std::pair<std::string, int>{"Bank 5", 5}));
    EXPECT_EQ(rig.view.tabs.size(), 5u);
    EXPECT_GE(rig.view.firstTabSelections, 5);
    // That report carries nothing to draw.
    EXPECT_TRUE(rig.logSince(mark, "picture").empty());
    EXPECT_TRUE(rig.logSince(mark, "text").empty());
}

TEST(LayoutCheck, FiveToTwoBanksAtPositionThreeRemovesFromTheTopAndRedraws) {
    WindowRig rig;
    rig.reportBankCount(5);
    rig.logic.scrollBarMoved(3);
    ASSERT_EQ(rig.logic.scrollPosition(), 3);
    for (int bank = 1; bank <= 5; ++bank) {
        rig.setBank(bank, "OOOOOOOO", "FGGGGGGG", 4.0f);
        rig.setTimer(TableId::LiveOn, bank, 2, KindAt, 12, 0);
        TimerEntry e = rig.tables.entry(TableId::LiveOn, bank - 1, 1);
        rig.tables.setEntry(TableId::EditOn, bank - 1, 1, e);
        rig.tables.setEntry(TableId::EditOff, bank - 1, 1, e);
        rig.tables.setEntry(TableId::LiveOff, bank - 1, 1, e);
        rig.state.editBank(bank, [](BankRecord& r) { copyField(r.version, "0284"); });
    }
    const std::size_t mark = rig.logMark();
    rig.reportBankCount(2);

    EXPECT_EQ(rig.logSince(mark, "remove item"),
              (Strings{"remove item Bank 5", "remove item Bank 4", "remove item Bank 3"}));
    EXPECT_EQ(rig.logSince(mark, "delete tab"),
              (Strings{"delete tab Bank5 ", "delete tab Bank4 ", "delete tab Bank3 "}));
    EXPECT_EQ(rig.view.versionItems.size(), 2u);
    EXPECT_EQ(rig.view.tabCaptions(), (Strings{"Bank1 ", "Bank2 "}));
    EXPECT_FALSE(rig.view.scrollVisible);
    EXPECT_EQ(rig.logic.scrollPosition(), 1);
    EXPECT_EQ(rig.view.scrollPosition, 1);
    // The position change redrew the slots for banks 1 to 3.
    EXPECT_EQ(rig.view.pictureIndex(bankDigitId(1, 1)), 0);
    EXPECT_EQ(rig.view.pictureIndex(bankDigitId(1, 2)), 1);
    EXPECT_EQ(rig.view.pictureIndex(bankDigitId(3, 2)), 3);
    EXPECT_EQ(rig.view.spoken(portButtonId(31)), "Bank 3 Port 1");

    for (int bank = 1; bank <= 5; ++bank) {
        const bool removed = bank > 2;
        const BankRecord r = rig.state.bankSnapshot(bank);
        EXPECT_EQ(r.portStatesText(), removed ? "CCCCCCCC" : "OOOOOOOO") << bank;
        EXPECT_EQ(r.timerFlagsText(), removed ? "GGGGGGGG" : "FGGGGGGG") << bank;
        EXPECT_EQ(r.current, removed ? 0.0f : 4.0f) << bank;
        EXPECT_EQ(r.versionText(), removed ? "" : "0284") << bank;
        for (TableId t : {TableId::LiveOn, TableId::LiveOff, TableId::EditOn, TableId::EditOff})
            EXPECT_EQ(isEmptyEntry(rig.tables.entry(t, bank - 1, 1)), removed) << bank;
    }
}

TEST(LayoutCheck, FewerBanksCloseTheTimerDialogOnARemovedBank) {
    const struct {
        const char* name;
        int dialogBank;  // 0-based
        int tab;         // the selected tab, 0-based
        bool cancelled;
    } rows[] = {{"dialog_on_bank_4_closed", 3, 3, true},
                {"dialog_on_bank_3_stays", 2, 2, false},
                {"dialog_on_bank_1_stays", 0, 0, false},
                {"opened_on_bank_1_showing_bank_5_closed", 0, 4, true}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(5);
        rig.view.dialogVisible = true;
        rig.view.dialogBank = r.dialogBank;
        rig.view.dialogTab = r.tab;
        rig.reportBankCount(3);
        EXPECT_EQ(rig.view.dialogCancels, r.cancelled ? 1 : 0) << r.name;
    }
}

TEST(LayoutCheck, HiddenTimerDialogIsNotCancelled) {
    WindowRig rig;
    rig.reportBankCount(5);
    rig.view.dialogBank = 4;
    rig.reportBankCount(2);
    EXPECT_EQ(rig.view.dialogCancels, 0);
}

TEST(LayoutCheck, OnlyTheBankCountReportIsActedOnWhenCountsDiffer) {
    WindowRig rig;
    rig.reportBankCount(3);
    rig.setBank(1, "OOOOOOOO", "GGGGGGGG", 5.0f);
    rig.state.BankCount = 4;  // a status report arrives before the layout caught up
    rig.session.watchdogTimer().setEnabled(true);
    rig.report(ukStatusAndCurrent, 1);
    EXPECT_EQ(rig.view.pictureIndex(portLedId(12)), 0) << "layout step only";
    EXPECT_EQ(rig.state.ShownBankCount.load(), 4);
    EXPECT_TRUE(rig.session.watchdogTimer().enabled());
    rig.report(ukStatusAndCurrent, 1);
    EXPECT_EQ(rig.view.pictureIndex(portLedId(12)), 2);
    EXPECT_FALSE(rig.session.watchdogTimer().enabled());
}

TEST(LayoutCheck, ZeroBanksShowAllPanelsAndRemoveEveryItem) {
    WindowRig rig;
    rig.reportBankCount(2);
    rig.reportBankCount(0);
    EXPECT_TRUE(rig.view.shown(panelId(3)));
    EXPECT_EQ(rig.view.height, 410);
    EXPECT_TRUE(rig.view.versionItems.empty());
    EXPECT_TRUE(rig.view.tabs.empty());
    EXPECT_FALSE(rig.view.scrollVisible);
}

TEST(LayoutCheck, CountsAboveTheTablesAreLaidOutAsSixteen) {
    WindowRig rig;
    rig.reportBankCount(40);
    EXPECT_EQ(rig.view.versionItems.size(), 16u);
    EXPECT_EQ(rig.view.tabs.size(), 16u);
    EXPECT_EQ(rig.view.scrollMaximum, 14);
    rig.logic.scrollBarMoved(100);
    EXPECT_EQ(rig.logic.scrollPosition(), 14);
    EXPECT_EQ(rig.view.pictureIndex(bankDigitId(3, 2)), 6);  // bank 16
    rig.reportBankCount(-3);
    EXPECT_TRUE(rig.view.versionItems.empty());
    EXPECT_FALSE(rig.logic.scrollBarVisible());
}

TEST(LinkReset, EmptiesTabsFirstFirstAndItemsLastFirstThenRebuilds) {
    WindowRig rig;
    rig.reportBankCount(3);
    const std::size_t mark = rig.logMark();
    resetLinkState(rig.state, rig.tables);  // the data part runs first
    rig.session.linkReset();
    EXPECT_EQ(rig.logSince(mark, "delete tab"),
              (Strings{"delete tab Bank1 ", "delete tab Bank2 ", "delete tab Bank3 "}));
    EXPECT_EQ(rig.logSince(mark, "remove item"),
              (Strings{"remove item Bank 3", "remove item Bank 2", "remove item Bank 1"}));
    EXPECT_EQ(rig.linkSteps, std::vector<LinkChange>{LinkChange::reset});
    EXPECT_EQ(rig.logic.versionItemCount(), 0);
    EXPECT_EQ(rig.logic.timerTabCount(), 0);

    rig.reportBankCount(2);
    EXPECT_EQ(rig.view.tabCaptions(), (Strings{"Bank1 ", "Bank2 "}));
    EXPECT_EQ(rig.view.versionItems.size(), 2u);
    EXPECT_TRUE(rig.logSince(mark, "remove item from empty").empty());
    EXPECT_TRUE(rig.logSince(mark, "delete missing").empty());
}

// ---- Scroll bar ----

TEST(ScrollBar, UserScrollRedrawsOnlyOnChange) {
    const struct {
        const char* name;
        int to;
        int position;
        bool redraw;
    } rows[] = {{"same_position_no_redraw", 1, 1, false},
                {"next_position", 2, 2, true},
                {"beyond_maximum_clamps", 9, 3, true},
                {"below_minimum_clamps_and_stays", 0, 1, false}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(5);
        const std::size_t mark = rig.logMark();
        rig.logic.scrollBarMoved(r.to);
        EXPECT_EQ(rig.logic.scrollPosition(), r.position) << r.name;
        EXPECT_EQ(rig.logSince(mark, "picture imDisBank").empty(), !r.redraw) << r.name;
    }
}

TEST(ScrollBar, PositionThreeOfFiveShowsBanksThreeToFive) {
    WindowRig rig;
    rig.reportBankCount(5);
    rig.setBank(5, "OCCCCCCO", "GGGGGGGG", 12.7f);
    rig.logic.scrollBarMoved(3);
    const struct {
        ComponentId component;
        int index;
    } rows[] = {{bankDigitId(1, 1), 0}, {bankDigitId(1, 2), 3}, {bankDigitId(2, 1), 0}, {bankDigitId(2, 2), 4},
                {bankDigitId(3, 1), 0}, {bankDigitId(3, 2), 5}, {currentDigitId(3, 1), 1}, {currentDigitId(3, 2), 2},
                {portLedId(31), 2},     {portLedId(38), 2},     {portLedId(32), 0}};
    for (const auto& r : rows) EXPECT_EQ(rig.view.pictureIndex(r.component), r.index) << r.component;
    EXPECT_EQ(rig.logic.bankInSlot(3), 5);
}

TEST(ScrollBar, MaximumBelowPositionMovesItAndRedraws) {
    WindowRig rig;
    rig.reportBankCount(8);
    rig.logic.scrollBarMoved(6);
    const std::size_t mark = rig.logMark();
    rig.reportBankCount(5);  // maximum 3 < 6
    EXPECT_EQ(rig.logic.scrollPosition(), 3);
    EXPECT_EQ(rig.view.scrollPosition, 3);
    EXPECT_EQ(rig.view.scrollMaximum, 3);
    EXPECT_EQ(rig.logSince(mark, "scroll position"), (Strings{"scroll position 3"}));
    EXPECT_EQ(rig.view.pictureIndex(bankDigitId(3, 2)), 5);
}

TEST(ScrollBar, FlaggedPortShowsBothLampsAndEmptyLabelAfterScroll) {
    WindowRig rig;
    rig.reportBankCount(4);
    rig.setBank(4, "CCOCCCCC", "GGFGGGGG", 1.0f);
    rig.setTimer(TableId::LiveOn, 4, 3, KindAt, 12, 0);
    rig.logic.flashTick();  // bank 4 not shown yet
    rig.logic.scrollBarMoved(2);
    rig.logic.flashTick();  // labels of banks 2..4 written by the tick
    rig.logic.flashTick();
    ASSERT_EQ(rig.view.text(timeLabelId(33)), "");  // the flagged port was left alone
    rig.logic.scrollBarMoved(1);
    rig.setBank(4, "CCOCCCCC", "GGGGGGGG", 1.0f);
    rig.logic.scrollBarMoved(2);
    rig.logic.flashTick();
    EXPECT_EQ(rig.view.text(timeLabelId(33)), " 2: 0");
    EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 3, 2).invalid, 0);

    rig.setBank(4, "CCOCCCCC", "GGFGGGGG", 1.0f);
    rig.logic.scrollBarMoved(1);
    rig.logic.scrollBarMoved(2);
    EXPECT_EQ(rig.view.pictureIndex(portLedId(33)), 3);
    EXPECT_EQ(rig.view.text(timeLabelId(33)), "");
    EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 3, 2).invalid, 1);
    EXPECT_EQ(rig.tables.entry(TableId::LiveOff, 3, 2).invalid, 1);
    EXPECT_EQ(rig.view.spoken(portLedId(33)), "Bank 4 Port 3 on, alarm");
}

}  // namespace
}  // namespace velmora::test
