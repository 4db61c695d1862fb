// The main window's logic drawing on the real widgets: what the user sees
// for each bank count, and scrolling by the user.

#include <QScrollBar>

#include <gtest/gtest.h>

#include <string>

#include "support/live_window.h"

namespace velmora {
namespace {

// The live window with every reported bank's records filled as a unit
// reports them: all ports off, no flags.
struct LiveWindow : test::LiveWindow {
    void reportBankCount(int count) {
        for (int b = 1; b <= count && b < kBankRecords; ++b) {
            state.editBank(b, [&](BankRecord& r) {
                r.bankNo = b;
                copyField(r.portStates, "CCCCCCCC");
                copyField(r.timerFlags, "GGGGGGGG");
            });
        }
        test::LiveWindow::reportBankCount(count);
    }
    bool visible(ComponentId name) { return form.component(name)->isVisible(); }
    int digit(ComponentId name) {
        const auto shown = form.shownPicture(name);
        return shown && shown->list == PictureList::bankDigits ? shown->index : -1;
    }
};

TEST(WindowWithLogic, StartPictureIsDrawnOnTheWidgets) {
    LiveWindow w;
    EXPECT_EQ(w.form.clientHeight(), kHeightOneBank - kClassicFrameHeight);
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(w.digit(bankDigitId(slot, 1)), 0);
        EXPECT_EQ(w.digit(bankDigitId(slot, 2)), slot);
        EXPECT_EQ(w.form.shownPicture(portButtonId(portKey(slot, 4))), (PictureRef{PictureList::portButton, 1}));
        EXPECT_EQ(w.form.shownPicture(portLedId(portKey(slot, 1))), (PictureRef{PictureList::firstPortLed, 0}));
        EXPECT_EQ(w.form.shownPicture(portLedId(portKey(slot, 2))), (PictureRef{PictureList::portLed, 0}));
        EXPECT_FALSE(w.visible(panelId(slot)));
    }
}

struct LayoutCase {
    const char* name;
    int banks;
    bool panels[3];
    bool separators[2];
    bool scrollBar;
    int scrollMaximum;
    int height;
};

class WindowLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WindowLayout, FollowsTheBankCount) {
    const LayoutCase& c = GetParam();
    LiveWindow w;
    w.reportBankCount(c.banks);
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(w.visible(panelId(s)), c.panels[s - 1]) << "slot " << s;
    }
    EXPECT_EQ(w.visible(separatorId(1)), c.separators[0]);
    EXPECT_EQ(w.visible(separatorId(2)), c.separators[1]);
    EXPECT_EQ(w.form.scrollBar()->isVisible(), c.scrollBar);
    if (c.scrollBar) {
        EXPECT_EQ(w.form.scrollBar()->maximum(), c.scrollMaximum);
    }
    EXPECT_EQ(w.form.clientHeight(), c.height - kClassicFrameHeight);
}

INSTANTIATE_TEST_SUITE_P(
    App, WindowLayout,
    ::testing::Values(LayoutCase{"OneBank", 1, {true, false, false}, {false, false}, false, 1, kHeightOneBank},
                      LayoutCase{"TwoBanks", 2, {true, true, false}, {true, false}, false, 1, kHeightTwoBanks},
                      LayoutCase{"ThreeBanks", 3, {true, true, true}, {true, true}, false, 1, kHeightThreeBanks},
                      LayoutCase{"FiveBanks", 5, {true, true, true}, {true, true}, true, 3, kHeightThreeBanks},
                      LayoutCase{"SixteenBanks", 16, {true, true, true}, {true, true}, true, 14, kHeightThreeBanks}),
    [](const auto& row) { return std::string(row.param.name); });

struct ScrollCase {
    const char* name;
    int banks;
    int steps;  // single steps down by the user
    int position;
    int firstBank;
};

class WindowScrolling : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(WindowScrolling, UserScrollRedrawsTheBankNumbers) {
    const ScrollCase& c = GetParam();
    LiveWindow w;
    w.reportBankCount(c.banks);
    for (int i = 0; i < c.steps; ++i) w.form.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(w.logic.scrollPosition(), c.position);
    EXPECT_EQ(w.form.scrollBar()->value(), c.position);
    for (int slot = 1; slot <= 3; ++slot) {
        const int bank = c.firstBank + slot - 1;
        EXPECT_EQ(w.digit(bankDigitId(slot, 1)), bank / 10) << "slot " << slot;
        EXPECT_EQ(w.digit(bankDigitId(slot, 2)), bank % 10) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(App, WindowScrolling,
                         ::testing::Values(ScrollCase{"FiveBanksToTheEnd", 5, 2, 3, 3},
                                           ScrollCase{"FiveBanksPastTheEnd", 5, 6, 3, 3},
                                           ScrollCase{"TwelveBanksTenSteps", 12, 9, 10, 10},
                                           ScrollCase{"FourBanksOneStep", 4, 1, 2, 2}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
