// Accessible names of the panel components follow the banks the slots show
// and the state drawn.

#include <gtest/gtest.h>

#include <string>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

struct SpokenCase {
    ComponentId component;
    const char* spoken;
};

TEST(AccessibleNames, StartUpNamesBanksOneToThree) {
    WindowRig rig;
    const SpokenCase rows[] = {
        {portButtonId(11), "Bank 1 Port 1"},     {portButtonId(38), "Bank 3 Port 8"},
        {portLedId(11), "Bank 1 Port 1 off"},    {portLedId(24), "Bank 2 Port 4 off"},
        {currentDigitId(1, 1), "Bank 1 current 0.0 A"}, {currentDigitId(3, 2), "Bank 3 current 0.0 A"},
        {bankDigitId(2, 1), "Bank 2"},           {bankDigitId(2, 2), "Bank 2"},
        {menuButtonId(3), "Bank 3 menu"},        {timeLabelId(17), ""},
    };
    for (const auto& r : rows) EXPECT_EQ(rig.view.spoken(r.component), r.spoken) << r.component;
}

TEST(AccessibleNames, ScrollRenamesEverySlotComponent) {
    WindowRig rig;
    rig.reportBankCount(6);
    rig.setBank(4, "OCCCCCCC", "GFGGGGGG", 12.7f);
    rig.setBank(6, "CCCCCCCO", "GGGGGGGG", 0.05f);
    rig.logic.scrollBarMoved(4);
    const SpokenCase rows[] = {
        {portButtonId(11), "Bank 4 Port 1"},
        {portButtonId(23), "Bank 5 Port 3"},
        {portLedId(11), "Bank 4 Port 1 on"},
        {portLedId(12), "Bank 4 Port 2 off, alarm"},
        {portLedId(38), "Bank 6 Port 8 on"},
        {currentDigitId(1, 1), "Bank 4 current 12 A"},
        {currentDigitId(1, 2), "Bank 4 current 12 A"},
        {currentDigitId(3, 1), "Bank 6 current 0.0 A"},
        {bankDigitId(1, 2), "Bank 4"},
        {bankDigitId(3, 1), "Bank 6"},
        {menuButtonId(1), "Bank 4 menu"},
        {menuButtonId(2), "Bank 5 menu"},
    };
    for (const auto& r : rows) EXPECT_EQ(rig.view.spoken(r.component), r.spoken) << r.component;
}

TEST(AccessibleNames, ReportsAndTicksKeepNamesInStepWithPictures) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOn, 1, 2, KindAt, 12, 5);
    rig.setBank(1, "OOCCCCCC", "GGGGGGGG", 3.46f);
    rig.report(ukStatusAndCurrent, 1);
    EXPECT_EQ(rig.view.spoken(portLedId(12)), "Bank 1 Port 2 on");
    EXPECT_EQ(rig.view.spoken(currentDigitId(1, 1)), "Bank 1 current 3.4 A");

    const struct {
        const char* lamp;
        const char* label;
    } ticks[] = {{"Bank 1 Port 2 on, alarm", " 2: 5"}, {"Bank 1 Port 2 on", " 2: 5"}};
    for (const auto& t : ticks) {
        rig.logic.flashTick();
        EXPECT_EQ(rig.view.spoken(portLedId(12)), t.lamp);
        EXPECT_EQ(rig.view.spoken(timeLabelId(12)), t.label);
        EXPECT_EQ(rig.view.spoken(portLedId(11)), "Bank 1 Port 1 on") << "no timer: no alarm";
    }
}

}  // namespace
}  // namespace velmora::test
