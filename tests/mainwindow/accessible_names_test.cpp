// Accessible names of the panel components follow the banks the slots show
// and the state drawn.

#include <gtest/gtest.h>

#include <string>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

struct SpokenCase {
    const char* component;
    const char* spoken;
};

TEST(AccessibleNames, StartUpNamesBanksOneToThree) {
    WindowRig rig;
    const SpokenCase rows[] = {
        {"imButton11", "Bank 1 Port 1"},     {"imButton38", "Bank 3 Port 8"},
        {"imLed11", "Bank 1 Port 1 off"},    {"imLed24", "Bank 2 Port 4 off"},
        {"imDisCurrent11", "Bank 1 current 0.0 A"}, {"imDisCurrent32", "Bank 3 current 0.0 A"},
        {"imDisBank21", "Bank 2"},           {"imDisBank22", "Bank 2"},
        {"btnRight3", "Bank 3 menu"},        {"lblShowTime17", ""},
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
        {"imButton11", "Bank 4 Port 1"},
        {"imButton23", "Bank 5 Port 3"},
        {"imLed11", "Bank 4 Port 1 on"},
        {"imLed12", "Bank 4 Port 2 off, alarm"},
        {"imLed38", "Bank 6 Port 8 on"},
        {"imDisCurrent11", "Bank 4 current 12 A"},
        {"imDisCurrent12", "Bank 4 current 12 A"},
        {"imDisCurrent31", "Bank 6 current 0.0 A"},
        {"imDisBank12", "Bank 4"},
        {"imDisBank31", "Bank 6"},
        {"btnRight1", "Bank 4 menu"},
        {"btnRight2", "Bank 5 menu"},
    };
    for (const auto& r : rows) EXPECT_EQ(rig.view.spoken(r.component), r.spoken) << r.component;
}

TEST(AccessibleNames, ReportsAndTicksKeepNamesInStepWithPictures) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOn, 1, 2, KindAt, 12, 5);
    rig.setBank(1, "OOCCCCCC", "GGGGGGGG", 3.46f);
    rig.report(ukStatusAndCurrent, 1);
    EXPECT_EQ(rig.view.spoken("imLed12"), "Bank 1 Port 2 on");
    EXPECT_EQ(rig.view.spoken("imDisCurrent11"), "Bank 1 current 3.4 A");

    const struct {
        const char* lamp;
        const char* label;
    } ticks[] = {{"Bank 1 Port 2 on, alarm", " 2: 5"}, {"Bank 1 Port 2 on", " 2: 5"}};
    for (const auto& t : ticks) {
        rig.logic.tmFlash1Timer();
        EXPECT_EQ(rig.view.spoken("imLed12"), t.lamp);
        EXPECT_EQ(rig.view.spoken("lblShowTime12"), t.label);
        EXPECT_EQ(rig.view.spoken("imLed11"), "Bank 1 Port 1 on") << "no timer: no alarm";
    }
}

}  // namespace
}  // namespace velmora::test
