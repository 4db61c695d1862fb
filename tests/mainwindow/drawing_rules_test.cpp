#include "mainwindow/drawing_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

namespace velmora {
namespace {

// ---- LED rule ----

struct LedCase {
    const char* name;
    const char* states;
    int port;
    bool alarm;
    PictureList list;
    int index;
};

class LedRule : public ::testing::TestWithParam<LedCase> {};

TEST_P(LedRule, PicksListAndIndex) {
    const LedCase& c = GetParam();
    const PictureRef p = ledPicture(c.port, portIsOn(c.states, c.port), c.alarm);
    EXPECT_EQ(p.list, c.list);
    EXPECT_EQ(p.index, c.index);
    EXPECT_LT(p.index, pictureCount(p.list));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LedRule,
    ::testing::Values(
        LedCase{"port1_off_quiet_uses_wide_list", "CCCCCCCC", 1, false, PictureList::firstPortLed, 0},
        LedCase{"port1_on_alarm_both_lamps", "OCCCCCCC", 1, true, PictureList::firstPortLed, 3},
        LedCase{"port2_off_alarm_upper_lamp", "OCCCCCCC", 2, true, PictureList::portLed, 1},
        LedCase{"port2_on_quiet_lower_lamp", "COCCCCCC", 2, false, PictureList::portLed, 2},
        LedCase{"port8_on_is_last_letter", "CCCCCCCO", 8, false, PictureList::portLed, 2},
        LedCase{"lowercase_o_is_not_on", "CCoCCCCC", 3, false, PictureList::portLed, 0},
        LedCase{"text_too_short_reads_off", "OOO", 5, false, PictureList::portLed, 0},
        LedCase{"empty_record_reads_off", "", 1, false, PictureList::firstPortLed, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PortState, PortsOutsideOneToEightReadOff) {
    const struct {
        int port;
        bool on;
    } rows[] = {{0, false}, {-1, false}, {9, false}, {1, true}, {8, true}};
    for (const auto& r : rows) EXPECT_EQ(portIsOn("OOOOOOOOO", r.port), r.on) << "port " << r.port;
}

// ---- Timer-flag rule ----

struct FlagCase {
    const char* name;
    const char* flags;
    int port;
    bool flagged;
};

class TimerFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(TimerFlag, FlaggedPortsLightAlarmAndInvalidate) {
    const FlagCase& c = GetParam();
    const TimerFlagEffect e = timerFlagRule(c.flags, c.port);
    EXPECT_EQ(e, (TimerFlagEffect{c.flagged, c.flagged, c.flagged}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimerFlag,
    ::testing::Values(FlagCase{"F_flags_the_port", "GGFGGGGG", 3, true},
                      FlagCase{"G_is_normal", "GGFGGGGG", 2, false},
                      FlagCase{"lowercase_f_is_normal", "fGGGGGGG", 1, false},
                      FlagCase{"missing_letter_is_normal", "FF", 3, false},
                      FlagCase{"last_port_flagged", "GGGGGGGF", 8, true}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Current rule ----

struct CurrentCase {
    const char* name;
    float amperes;
    int first;
    int second;
    const char* reading;
};

class CurrentRule : public ::testing::TestWithParam<CurrentCase> {};

TEST_P(CurrentRule, GivesDigitsAndReading) {
    const CurrentCase& c = GetParam();
    const CurrentDigits d = currentDigits(c.amperes);
    EXPECT_EQ(d.first, c.first);
    EXPECT_EQ(d.second, c.second);
    EXPECT_EQ(std::string(d.reading.view()), c.reading);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CurrentRule,
    ::testing::Values(
        CurrentCase{"twelve_point_seven_shows_whole_amperes", 12.7f, 1, 2, "12"},
        CurrentCase{"three_forty_six_cuts_to_tenths", 3.46f, 13, 4, "3.4"},
        CurrentCase{"five_hundredths_shows_zero_point_zero", 0.05f, 10, 0, "0.0"},
        CurrentCase{"nine_ninety_nine_stays_below_ten", 9.99f, 19, 9, "9.9"},
        CurrentCase{"ten_switches_to_whole_amperes", 10.0f, 1, 0, "10"},
        CurrentCase{"zero_shows_point", 0.0f, 10, 0, "0.0"},
        CurrentCase{"seven_tenths_held_inexactly_still_reads_seven", 0.7f, 10, 7, "0.7"},
        CurrentCase{"two_point_three_held_inexactly", 2.3f, 12, 3, "2.3"},
        CurrentCase{"just_below_ten_rounds_into_ten", 9.99995f, 1, 0, "10"},
        CurrentCase{"ninety_nine_point_nine", 99.9f, 9, 9, "99"},
        CurrentCase{"hundred_clamps_to_ninety_nine", 100.0f, 9, 9, "99"},
        CurrentCase{"huge_clamps_to_ninety_nine", 1.0e9f, 9, 9, "99"},
        CurrentCase{"infinity_clamps_to_ninety_nine", std::numeric_limits<float>::infinity(), 9, 9,
                    "99"},
        CurrentCase{"negative_shows_zero", -3.5f, 10, 0, "0.0"},
        CurrentCase{"negative_infinity_shows_zero", -std::numeric_limits<float>::infinity(), 10, 0,
                    "0.0"},
        CurrentCase{"nan_shows_zero", std::numeric_limits<float>::quiet_NaN(), 10, 0, "0.0"}),
    [](const auto& row) { return std::string(row.param.name); });

// Every reading from 0 to 120 A in 0.01 A steps stays within the picture list.
TEST(CurrentRuleRange, IndexesNeverLeaveTheList) {
    for (int hundredths = 0; hundredths <= 12000; ++hundredths) {
        const CurrentDigits d = currentDigits(static_cast<float>(hundredths) / 100.0f);
        ASSERT_GE(d.first, 0) << hundredths;
        ASSERT_LT(d.first, pictureCount(PictureList::currentDigits)) << hundredths;
        ASSERT_GE(d.second, 0) << hundredths;
        ASSERT_LE(d.second, 9) << hundredths;
    }
}

// ---- Bank-number rule ----

struct BankCase {
    const char* name;
    int bank;
    int tens;
    int units;
};

class BankNumberRule : public ::testing::TestWithParam<BankCase> {};

TEST_P(BankNumberRule, GivesTwoDigits) {
    const BankCase& c = GetParam();
    EXPECT_EQ(bankDigits(c.bank), (BankDigits{c.tens, c.units}));
}

INSTANTIATE_TEST_SUITE_P(Cases, BankNumberRule,
                         ::testing::Values(BankCase{"twelve", 12, 1, 2}, BankCase{"seven", 7, 0, 7},
                                           BankCase{"nine_has_no_tens", 9, 0, 9},
                                           BankCase{"ten", 10, 1, 0}, BankCase{"sixteen", 16, 1, 6},
                                           BankCase{"ninety_nine", 99, 9, 9},
                                           BankCase{"hundred_clamps", 100, 9, 9},
                                           BankCase{"zero", 0, 0, 0},
                                           BankCase{"negative_clamps_to_zero", -4, 0, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Time label ----

struct LabelCase {
    const char* name;
    int hours;
    int minutes;
    const char* text;
};

class TimeLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(TimeLabel, FormatsWithBlankPadding) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(std::string(formatTimeLabel(c.hours, c.minutes).view()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeLabel,
    ::testing::Values(LabelCase{"single_digits_padded_with_blanks", 5, 7, " 5: 7"},
                      LabelCase{"two_digits", 12, 34, "12:34"}, LabelCase{"due_zero", 0, 0, " 0: 0"},
                      LabelCase{"every_day_wrap", 23, 59, "23:59"},
                      LabelCase{"weekly_three_digit_hours", 167, 59, "167:59"},
                      LabelCase{"hours_above_999_clamp", 123456, 5, "999: 5"},
                      LabelCase{"negative_hours_show_zero", -3, 20, " 0:20"},
                      LabelCase{"negative_minutes_show_zero", 2, -1, " 2: 0"},
                      LabelCase{"minutes_above_99_clamp", 1, 1000, " 1:99"}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Slot mapping ----

TEST(SlotMapping, BanksMapToSlotsFromTheScrollPosition) {
    const struct {
        const char* name;
        int first;
        int bank;
        int slot;
    } rows[] = {
        {"first_bank_top_slot", 1, 1, 1},       {"third_bank_bottom_slot", 1, 3, 3},
        {"fourth_bank_not_shown_at_1", 1, 4, 0}, {"scrolled_to_3_shows_5_last", 3, 5, 3},
        {"scrolled_to_3_hides_bank_2", 3, 2, 0}, {"bank_zero_never_shown", 1, 0, 0},
        {"bank_6_while_1_to_3", 1, 6, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(slotOfBank(r.bank, r.first), r.slot) << r.name;
        if (r.slot != 0) {
            EXPECT_EQ(bankInSlot(r.first, r.slot), r.bank) << r.name;
        }
    }
}

// ---- Names ----

// The object names stay what they always were: UI automation finds the
// widgets by them.
TEST(ComponentNames, ObjectNamesFollowTheKeyScheme) {
    const struct {
        ComponentId id;
        const char* prefix;
        const char* number;
    } rows[] = {
        {portLedId(portKey(2, 3)), "imLed", "23"},
        {portButtonId(portKey(1, 8)), "imButton", "18"},
        {timeLabelId(portKey(3, 1)), "lblShowTime", "31"},
        {currentDigitId(2, 1), "imDisCurrent", "21"},
        {bankDigitId(3, 2), "imDisBank", "32"},
        {menuButtonId(2), "btnRight", "2"},
        {panelId(3), "UniClass", "3"},
        {separatorId(1), "imSeparated", "1"},
        {currentDisplayId(1), "CurrentDisplay", "1"},
        {bankDisplayId(3), "BankDisplay", "3"},
    };
    for (const auto& r : rows) EXPECT_EQ(componentName(r.id).view(), std::string(r.prefix) + r.number);
    EXPECT_EQ(versionItemCaption(12).view(), "Bank 12");
    EXPECT_EQ(timerTabCaption(3).view(), "Bank3 ");
}

// Every component of the three panels has a table index of its own, and
// numbers out of range have none.
TEST(ComponentNames, EveryPanelComponentHasItsOwnIndex) {
    std::vector<ComponentId> ids{separatorId(1), separatorId(2)};
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        for (ComponentId id : {panelId(slot), menuButtonId(slot), currentDisplayId(slot), bankDisplayId(slot),
                               currentDigitId(slot, 1), currentDigitId(slot, 2), bankDigitId(slot, 1),
                               bankDigitId(slot, 2)})
            ids.push_back(id);
        for (int port = 1; port <= kSlotPorts; ++port) {
            const int key = portKey(slot, port);
            for (ComponentId id : {portButtonId(key), portLedId(key), timeLabelId(key)}) ids.push_back(id);
        }
    }
    std::set<int> indexes;
    for (ComponentId id : ids) {
        const int index = componentIndex(id);
        EXPECT_GE(index, 0) << componentName(id).view();
        EXPECT_LT(index, kComponentIndexes) << componentName(id).view();
        EXPECT_TRUE(indexes.insert(index).second) << componentName(id).view() << " shares its index";
    }
    for (ComponentId id : {portLedId(-1), portLedId(kComponentNumbers), menuButtonId(1000), bankDisplayId(-5)})
        EXPECT_EQ(componentIndex(id), -1) << id.number;
}

TEST(SpokenNames, DescribeBankPortAndState) {
    const struct {
        std::string got;
        const char* want;
    } rows[] = {
        {std::string(spokenButton(4, 2).view()), "Bank 4 Port 2"},
        {std::string(spokenLed(1, 1, true, false).view()), "Bank 1 Port 1 on"},
        {std::string(spokenLed(12, 8, false, true).view()), "Bank 12 Port 8 off, alarm"},
        {std::string(spokenLed(3, 5, true, true).view()), "Bank 3 Port 5 on, alarm"},
        {std::string(spokenCurrent(2, "3.4").view()), "Bank 2 current 3.4 A"},
        {std::string(spokenBankNumber(16).view()), "Bank 16"},
        {std::string(spokenMenuButton(5).view()), "Bank 5 menu"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.want);
}

TEST(FixedTextBuffer, CutsWhatDoesNotFit) {
    FixedText<6> t("Bank ");
    t.appendInt(1234);
    EXPECT_EQ(std::string(t.view()), "Bank 1");
    t.append("more");
    EXPECT_EQ(t.size(), 6u);
    FixedText<4> n;
    n.appendInt(-2147483647LL - 1);
    EXPECT_EQ(std::string(n.view()), "-214");
}

}  // namespace
}  // namespace velmora
