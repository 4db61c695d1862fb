// Time left until a timer fires, as sent to the unit and as shown.
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_tables.h"
#include "schedule_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

using namespace velmora;
using velmora::testing::onWeekday;
using velmora::testing::timer;

namespace {

// Weekdays by name, 1 Sunday .. 7 Saturday.
constexpr int Sun = 1, Mon = 2, Wed = 4, Fri = 6, Sat = 7;

// ------------------------------------------------------------ TimeToTrigger

struct TriggerCase {
    const char* name;
    TimerEntry entry;
    TriggerMode mode;
    LocalMoment now;
    TimeLeft want;
};

class TimeToTriggerTest : public ::testing::TestWithParam<TriggerCase> {};

TEST_P(TimeToTriggerTest, TimeUntilNextFiring) {
    const TriggerCase& c = GetParam();
    EXPECT_EQ(TimeToTrigger(c.entry, c.mode, c.now), c.want);
}

constexpr TriggerMode Send = TriggerMode::sending;
constexpr TriggerMode Show = TriggerMode::display;

INSTANTIATE_TEST_SUITE_P(
    Kinds, TimeToTriggerTest,
    ::testing::Values(
        // Delays ignore the clock.
        TriggerCase{"DelayOfZeroSendsSixSeconds", timer(KindAfter, 0, 0), Send, onWeekday(Mon, 10, 4, 30), {0, 0, 6}},
        TriggerCase{"DelayOfZeroShowsSixSecondsToo", timer(KindAfter, 0, 0), Show, onWeekday(Mon, 10, 4, 30), {0, 0, 6}},
        TriggerCase{"DelayIsSentAsIs", timer(KindAfter, 30, 10), Send, onWeekday(Mon, 10, 4, 30), {30, 10, 0}},
        TriggerCase{"LongDelayIsShownAsIs", timer(KindAfter, 99, 59), Show, onWeekday(Sat, 23, 59, 59), {99, 59, 0}},
        TriggerCase{"DelayOfMinutesOnly", timer(KindAfter, 0, 1), Send, onWeekday(Mon, 10, 4, 59), {0, 1, 0}},
        // Once, at a time of day.
        TriggerCase{"AtHalfAMinuteAhead", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 4, 30), {0, 0, 30}},
        TriggerCase{"AtFiveSecondsAheadIsSentAsSix", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 4, 55), {0, 0, 6}},
        TriggerCase{"AtSixSecondsAheadStaysSix", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 4, 54), {0, 0, 6}},
        TriggerCase{"AtSevenSecondsAheadStaysSeven", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 4, 53), {0, 0, 7}},
        TriggerCase{"AtOneMinuteAheadOnTheFullMinute", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 4, 0), {0, 1, 0}},
        TriggerCase{"AtShownIgnoresSeconds", timer(KindAt, 10, 5), Show, onWeekday(Mon, 10, 4, 30), {0, 1, 0}},
        TriggerCase{"AtLaterHourLaterMinute", timer(KindAt, 12, 30), Show, onWeekday(Mon, 10, 10, 0), {2, 20, 0}},
        TriggerCase{"AtLaterHourEarlierMinute", timer(KindAt, 12, 10), Show, onWeekday(Mon, 10, 50, 0), {1, 20, 0}},
        TriggerCase{"AtEarlierHourIsTomorrow", timer(KindAt, 8, 50), Show, onWeekday(Mon, 10, 10, 0), {22, 40, 0}},
        TriggerCase{"AtEarlierHourEarlierMinuteIsTomorrow", timer(KindAt, 8, 10), Show, onWeekday(Mon, 10, 50, 0), {21, 20, 0}},
        TriggerCase{"AtEarlierMinuteSameHourIsTomorrow", timer(KindAt, 10, 4), Show, onWeekday(Mon, 10, 5, 0), {23, 59, 0}},
        TriggerCase{"AtSameMinuteSendsSixSeconds", timer(KindAt, 10, 5), Send, onWeekday(Mon, 10, 5, 0), {0, 0, 6}},
        TriggerCase{"AtNextHourBorrowsAMinuteAcrossTheHour", timer(KindAt, 11, 0), Send, onWeekday(Mon, 10, 0, 30), {0, 59, 30}},
        TriggerCase{"AtNextDayBorrowsAcrossTheHour", timer(KindAt, 9, 0), Send, onWeekday(Mon, 10, 0, 1), {22, 59, 59}},
        TriggerCase{"AtIgnoresWeekday", timer(KindAt, 12, 0, Wed), Show, onWeekday(Mon, 10, 0, 0), {2, 0, 0}},
        // Every day.
        TriggerCase{"DailySameMinutePassedSecondsSendsSix", timer(KindEveryDay, 10, 5), Send, onWeekday(Mon, 10, 5, 20), {0, 0, 6}},
        TriggerCase{"DailySameMinuteShowsZero", timer(KindEveryDay, 10, 5), Show, onWeekday(Mon, 10, 5, 20), {0, 0, 0}},
        TriggerCase{"DailyMinuteAgoIsAlmostADay", timer(KindEveryDay, 10, 4), Send, onWeekday(Mon, 10, 5, 20), {23, 58, 40}},
        TriggerCase{"DailyMinuteAgoShown", timer(KindEveryDay, 10, 4), Show, onWeekday(Mon, 10, 5, 20), {23, 59, 0}},
        TriggerCase{"DailyMidnightFromLateEvening", timer(KindEveryDay, 0, 0), Send, onWeekday(Sat, 23, 59, 59), {0, 0, 6}},
        // Every week.
        TriggerCase{"WeeklyTwoDaysAheadSameTimeSent", timer(KindEveryWeek, 10, 0, Wed), Send, onWeekday(Mon, 10, 0, 0), {48, 0, 0}},
        TriggerCase{"WeeklyTwoDaysAheadSameTimeShown", timer(KindEveryWeek, 10, 0, Wed), Show, onWeekday(Mon, 10, 0, 0), {48, 0, 0}},
        TriggerCase{"WeeklyTwoDaysAheadSameMinuteLateSecondsSent", timer(KindEveryWeek, 10, 0, Wed), Send, onWeekday(Mon, 10, 0, 45), {48, 0, 0}},
        TriggerCase{"WeeklyTodayAnHourAgoIsSixDaysOn", timer(KindEveryWeek, 9, 0, Mon), Show, onWeekday(Mon, 10, 0, 0), {167, 0, 0}},
        TriggerCase{"WeeklyTodayAnHourAgoSent", timer(KindEveryWeek, 9, 0, Mon), Send, onWeekday(Mon, 10, 0, 0), {167, 0, 0}},
        TriggerCase{"WeeklyTodayThisMinuteSendsSix", timer(KindEveryWeek, 10, 0, Mon), Send, onWeekday(Mon, 10, 0, 30), {0, 0, 6}},
        TriggerCase{"WeeklyTodayLater", timer(KindEveryWeek, 20, 30, Fri), Show, onWeekday(Fri, 20, 0, 0), {0, 30, 0}},
        TriggerCase{"WeeklyLaterDayEarlierTime", timer(KindEveryWeek, 9, 0, Wed), Show, onWeekday(Mon, 10, 0, 0), {47, 0, 0}},
        TriggerCase{"WeeklyTomorrowAcrossWeekEnd", timer(KindEveryWeek, 8, 0, Sun), Show, onWeekday(Sat, 20, 0, 0), {12, 0, 0}},
        TriggerCase{"WeeklyEarlierDayLaterTime", timer(KindEveryWeek, 12, 0, Mon), Show, onWeekday(Fri, 10, 0, 0), {74, 0, 0}},
        TriggerCase{"WeeklyEarlierDayLaterTimeSent", timer(KindEveryWeek, 12, 0, Mon), Send, onWeekday(Fri, 10, 0, 15), {73, 59, 45}},
        TriggerCase{"WeeklyWithoutWeekdayActsDaily", timer(KindEveryWeek, 9, 0, 0), Show, onWeekday(Mon, 10, 0, 0), {23, 0, 0}},
        TriggerCase{"WeeklyWeekdayAboveSevenActsDaily", timer(KindEveryWeek, 9, 0, 9), Show, onWeekday(Mon, 10, 0, 0), {23, 0, 0}},
        TriggerCase{"WeeklyNegativeWeekdayActsDaily", timer(KindEveryWeek, 11, 0, -3), Show, onWeekday(Sat, 10, 0, 0), {1, 0, 0}},
        TriggerCase{"WeeklyHugeWeekdayActsDaily", timer(KindEveryWeek, 11, 0, INT_MAX), Send, onWeekday(Sat, 10, 0, 0), {1, 0, 0}},
        // Garbage that must stay defined.
        TriggerCase{"UnknownKindCountsLikeOnce", timer(9, 12, 0), Show, onWeekday(Mon, 10, 0, 0), {2, 0, 0}},
        TriggerCase{"HugeHourStaysDefined", timer(KindAt, INT_MAX, 0), Show, onWeekday(Mon, 0, 30, 0), {INT_MAX - 1, 30, 0}},
        TriggerCase{"HugeHourDaysAheadIsClamped", timer(KindEveryWeek, INT_MAX, 0, Sat), Show, onWeekday(Sun, 0, 30, 0), {INT_MAX, 30, 0}},
        TriggerCase{"MostNegativeTimeIsClamped", timer(KindAt, INT_MIN, INT_MIN), Send, onWeekday(Mon, 23, 59, 59), {INT_MIN, 59, 1}}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------------ AfterTimeLeft

struct AfterCase {
    const char* name;
    std::int32_t hour, minute;                         // the delay
    std::int32_t baseWeekday, baseHour, baseMinute;    // its stamp
    LocalMoment now;
    std::int32_t hours, minutes;
};

class AfterTimeLeftTest : public ::testing::TestWithParam<AfterCase> {};

TEST_P(AfterTimeLeftTest, DelayLessTimeSinceStamp) {
    const AfterCase& c = GetParam();
    TimerEntry e = timer(KindAfter, c.hour, c.minute);
    e.baseWeekday = c.baseWeekday;
    e.baseHour = c.baseHour;
    e.baseMinute = c.baseMinute;
    EXPECT_EQ(AfterTimeLeft(e, c.now), (TimeLeft{c.hours, c.minutes, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Delays, AfterTimeLeftTest,
    ::testing::Values(
        AfterCase{"JustStamped", 2, 0, Mon, 10, 30, onWeekday(Mon, 10, 30, 0), 2, 0},
        AfterCase{"HourAndQuarterLater", 2, 0, Mon, 10, 30, onWeekday(Mon, 11, 45, 0), 0, 45},
        AfterCase{"MinutesBorrowAcrossTheHour", 1, 30, Mon, 10, 50, onWeekday(Mon, 11, 10, 0), 1, 10},
        AfterCase{"AcrossMidnightIntoSunday", 3, 0, Sat, 23, 50, onWeekday(Sun, 0, 10, 0), 2, 40},
        AfterCase{"TwoDaysLessAnHour", 50, 0, Mon, 10, 0, onWeekday(Wed, 9, 0, 0), 3, 0},
        AfterCase{"DelayOfZeroJustStamped", 0, 0, Mon, 10, 0, onWeekday(Mon, 10, 0, 59), 0, 0},
        AfterCase{"RunOutGoesNegative", 0, 10, Mon, 10, 0, onWeekday(Mon, 10, 25, 0), -1, 45},
        AfterCase{"SecondsDoNotCount", 1, 0, Mon, 10, 0, onWeekday(Mon, 10, 0, 59), 1, 0},
        AfterCase{"NeverStampedCountsFromWeekdayZero", 5, 0, 0, 0, 0, onWeekday(Sun, 1, 0, 0), -20, 0},
        AfterCase{"MostNegativeDelayIsClamped", INT_MIN, 0, Mon, 10, 0, onWeekday(Mon, 11, 0, 0), INT_MIN, 0},
        AfterCase{"HugeDelayDoesNotOverflow", INT_MAX, INT_MAX, Mon, 10, 0, onWeekday(Mon, 10, 0, 0), INT_MAX, INT_MAX},
        AfterCase{"GarbageBaseDoesNotOverflow", 1, 0, INT_MIN, INT_MIN, INT_MIN, onWeekday(Mon, 10, 0, 0), INT_MIN, -2147483588}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------------- PortTimeLeft

struct PortCase {
    const char* name;
    TimerEntry on, off;  // the port's own entries (bank 1, port 3)
    LocalMoment now;
    std::optional<PortTime> want;
    bool invalidOwnOn = false;
};

TimerEntry withSecond(TimerEntry e, std::int32_t baseSecond) {
    e.baseSecond = baseSecond;
    return e;
}

TimerEntry stampedDelay(std::int32_t hour, std::int32_t minute, int weekday, int h, int m, int s) {
    TimerEntry e = velmora::testing::enabledTimer(KindAfter, hour, minute);
    e.baseWeekday = weekday;
    e.baseHour = h;
    e.baseMinute = m;
    e.baseSecond = s;
    return e;
}

class PortTimeLeftTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortTimeLeftTest, ShowsTheSoonerEnabledTimer) {
    const PortCase& c = GetParam();
    TimerTables tables;
    constexpr int bank = 1, port = 3;
    TimerEntry on = c.on;
    TimerEntry off = c.off;
    on.invalid = c.invalidOwnOn ? 1 : 0;
    tables.setEntry(TableId::LiveOn, bank, port, on);
    tables.setEntry(TableId::LiveOff, bank, port, off);
    // The edit tables never count.
    tables.setEntry(TableId::EditOn, bank, port, velmora::testing::enabledTimer(KindAt, 0, 0));
    tables.setEntry(TableId::EditOff, bank, port, velmora::testing::enabledTimer(KindAt, 0, 0));
    EXPECT_EQ(PortTimeLeft(tables, bank, port, c.now), c.want);
}

using velmora::testing::enabledTimer;
const TimerEntry kNone{};

INSTANTIATE_TEST_SUITE_P(
    Ports, PortTimeLeftTest,
    ::testing::Values(
        PortCase{"NeitherEnabled", timer(KindAt, 12, 0), timer(KindAt, 13, 0), onWeekday(Mon, 10, 0, 0), std::nullopt},
        PortCase{"InvalidPortShowsNothing", enabledTimer(KindAt, 12, 0), enabledTimer(KindAt, 13, 0), onWeekday(Mon, 10, 0, 0), std::nullopt, true},
        PortCase{"OnlyPowerOn", enabledTimer(KindAt, 12, 0), kNone, onWeekday(Mon, 10, 0, 0), PortTime{2, 0, false, true}},
        PortCase{"OnlyPowerOff", kNone, enabledTimer(KindEveryDay, 9, 30), onWeekday(Mon, 10, 0, 0), PortTime{23, 30, false, false}},
        PortCase{"PowerOnFewerHours", enabledTimer(KindAt, 11, 50), enabledTimer(KindAt, 12, 0), onWeekday(Mon, 10, 0, 0), PortTime{1, 50, false, true}},
        PortCase{"PowerOffFewerHours", enabledTimer(KindAt, 12, 0), enabledTimer(KindAt, 11, 50), onWeekday(Mon, 10, 0, 0), PortTime{1, 50, false, false}},
        PortCase{"SameHoursPowerOnFewerMinutes", enabledTimer(KindAt, 12, 10), enabledTimer(KindAt, 12, 20), onWeekday(Mon, 10, 0, 0), PortTime{2, 10, false, true}},
        PortCase{"SameHoursPowerOffFewerMinutes", enabledTimer(KindAt, 12, 20), enabledTimer(KindAt, 12, 10), onWeekday(Mon, 10, 0, 0), PortTime{2, 10, false, false}},
        PortCase{"TieShowsPowerOff", enabledTimer(KindAt, 12, 10), enabledTimer(KindEveryDay, 12, 10), onWeekday(Mon, 10, 0, 0), PortTime{2, 10, false, false}},
        PortCase{"SecondPastDueSecondTakesAMinute", withSecond(enabledTimer(KindAt, 12, 0), 30), kNone, onWeekday(Mon, 10, 0, 31), PortTime{1, 59, false, true}},
        PortCase{"SecondAtDueSecondKeepsTheMinute", withSecond(enabledTimer(KindAt, 12, 0), 30), kNone, onWeekday(Mon, 10, 0, 30), PortTime{2, 0, false, true}},
        PortCase{"ThisMinuteIsDue", enabledTimer(KindAt, 10, 0), kNone, onWeekday(Mon, 10, 0, 0), PortTime{0, 0, true, true}},
        PortCase{"OnceJustPassedIsDue", kNone, enabledTimer(KindAt, 10, 0), onWeekday(Mon, 10, 0, 30), PortTime{0, 0, true, false}},
        PortCase{"DailyJustPassedIsADayOn", enabledTimer(KindEveryDay, 10, 0), kNone, onWeekday(Mon, 10, 0, 30), PortTime{23, 59, false, true}},
        PortCase{"WeeklyJustPassedIsAWeekOn", enabledTimer(KindEveryWeek, 10, 0, Mon), kNone, onWeekday(Mon, 10, 0, 30), PortTime{167, 59, false, true}},
        PortCase{"LessThanAMinuteLeftIsDue", enabledTimer(KindAt, 10, 1), kNone, onWeekday(Mon, 10, 0, 30), PortTime{0, 0, true, true}},
        PortCase{"OneMinuteLeftIsNotDue", withSecond(enabledTimer(KindAt, 10, 1), 40), kNone, onWeekday(Mon, 10, 0, 30), PortTime{0, 1, false, true}},
        PortCase{"DelayCountsFromItsStamp", stampedDelay(1, 0, Mon, 10, 30, 20), kNone, onWeekday(Mon, 10, 30, 25), PortTime{0, 59, false, true}},
        PortCase{"DelayRunOutIsDue", stampedDelay(0, 10, Mon, 10, 0, 0), kNone, onWeekday(Mon, 10, 25, 0), PortTime{0, 0, true, true}},
        PortCase{"DueOneWinsOverLaterOne", enabledTimer(KindAt, 15, 0), stampedDelay(0, 10, Mon, 10, 0, 0), onWeekday(Mon, 10, 25, 0), PortTime{0, 0, true, false}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PortTimeLeft, BankEntryGovernsEveryPortOfTheBank) {
    TimerTables tables;
    TimerEntry bankOff = enabledTimer(KindEveryDay, 22, 0);
    bankOff.scope = ScopeBank;
    tables.setEntry(TableId::LiveOff, 4, 0, bankOff);
    // A port's own, disabled, entry is overruled by the bank entry.
    tables.setEntry(TableId::LiveOff, 4, 6, timer(KindAt, 11, 0));
    for (int port = 0; port < kPortsPerBank; ++port)
        EXPECT_EQ(PortTimeLeft(tables, 4, port, onWeekday(Mon, 21, 15, 0)), (PortTime{0, 45, false, false}))
            << "port " << port;
    EXPECT_EQ(PortTimeLeft(tables, 5, 0, onWeekday(Mon, 21, 15, 0)), std::nullopt);
}

TEST(PortTimeLeft, OnlyTheOwnPowerOnEntryMarksAPortInvalid) {
    TimerTables tables;
    TimerEntry bankOn = enabledTimer(KindAt, 12, 0);
    bankOn.scope = ScopeBank;
    tables.setEntry(TableId::LiveOn, 0, 0, bankOn);
    tables.setInvalid(0, 2, true);
    EXPECT_EQ(PortTimeLeft(tables, 0, 2, onWeekday(Mon, 10, 0, 0)), std::nullopt);
    EXPECT_EQ(PortTimeLeft(tables, 0, 3, onWeekday(Mon, 10, 0, 0)), (PortTime{2, 0, false, true}));
    tables.setInvalid(0, 2, false);
    EXPECT_EQ(PortTimeLeft(tables, 0, 2, onWeekday(Mon, 10, 0, 0)), (PortTime{2, 0, false, true}));
}

TEST(PortTimeLeft, OutsideTheTablesShowsNothing) {
    TimerTables tables;
    for (int b = 0; b < kMaxBanks; ++b)
        for (int p = 0; p < kPortsPerBank; ++p)
            tables.setEntry(TableId::LiveOn, b, p, enabledTimer(KindAt, 12, 0));
    const int cells[][2] = {{-1, 0}, {16, 0}, {0, -1}, {0, 8}, {INT_MAX, INT_MIN}};
    for (const auto& c : cells)
        EXPECT_EQ(PortTimeLeft(tables, c[0], c[1], onWeekday(Mon, 10, 0, 0)), std::nullopt);
}

// ------------------------------------------------------------------- Stamp

struct StampCase {
    const char* name;
    std::int32_t kind;
    LocalMoment now;
    const char* sinceDate;
    std::int32_t baseSecond;
};

class StampTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampTest, RecordsTheMomentAndKeepsTheTimer) {
    const StampCase& c = GetParam();
    TimerEntry e = enabledTimer(c.kind, 7, 30, Wed);
    e.pending = 1;
    e.scope = ScopeBank;
    std::memset(e.sinceDate, 'x', sizeof e.sinceDate);  // a longer old text must not shine through
    TimerEntry want = e;
    Stamp(e, c.now);
    EXPECT_STREQ(e.sinceDate, c.sinceDate);
    EXPECT_EQ(e.sinceDate[sizeof e.sinceDate - 1], '\0');
    EXPECT_EQ(e.baseWeekday, c.now.weekday);
    EXPECT_EQ(e.baseHour, c.now.hour);
    EXPECT_EQ(e.baseMinute, c.now.minute);
    EXPECT_EQ(e.baseSecond, c.baseSecond);
    // The timer itself is left alone.
    std::memcpy(want.sinceDate, e.sinceDate, sizeof e.sinceDate);
    want.baseWeekday = e.baseWeekday;
    want.baseHour = e.baseHour;
    want.baseMinute = e.baseMinute;
    want.baseSecond = e.baseSecond;
    EXPECT_EQ(e, want);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StampTest,
    ::testing::Values(
        StampCase{"DelayKeepsTheSecond", KindAfter, {2026, 3, 7, 7, 21, 0, 15}, "2026/3/7", 15},
        StampCase{"AtDropsTheSecond", KindAt, {2026, 3, 7, 7, 21, 0, 15}, "2026/3/7", 0},
        StampCase{"DailyDropsTheSecond", KindEveryDay, {2026, 12, 31, 5, 23, 59, 59}, "2026/12/31", 0},
        StampCase{"WeeklyDropsTheSecond", KindEveryWeek, {2027, 1, 1, 6, 0, 0, 1}, "2027/1/1", 0},
        StampCase{"OverlongDateIsCutToTheField", KindAt, {INT_MIN, INT_MIN, INT_MIN, 1, 0, 0, 0}, "-2147483648/-214748", 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FormatSinceDate, YearMonthDayWithoutLeadingZeros) {
    const struct {
        LocalMoment now;
        const char* text;
    } cases[] = {{{2026, 3, 7, 7, 0, 0, 0}, "2026/3/7"},
                 {{2026, 10, 1, 5, 0, 0, 0}, "2026/10/1"},
                 {{2026, 1, 31, 7, 0, 0, 0}, "2026/1/31"},
                 {{999, 12, 9, 1, 0, 0, 0}, "999/12/9"}};
    for (const auto& c : cases) EXPECT_EQ(formatSinceDate(c.now), c.text);
}

TEST(KindLetter, LettersOfTheSetCommand) {
    const struct {
        std::int32_t kind;
        const char* letter;
    } cases[] = {{KindAfter, "T"}, {KindAt, "T"}, {KindEveryDay, "D"}, {KindEveryWeek, "W"},
                 {4, ""},          {-1, ""},      {INT_MIN, ""}};
    for (const auto& c : cases) EXPECT_STREQ(kindLetter(c.kind), c.letter) << "kind " << c.kind;
}

TEST(KindFromReportLetter, OnceDailyWeekly) {
    EXPECT_EQ(kindFromReportLetter('T'), KindAt);
    EXPECT_EQ(kindFromReportLetter('D'), KindEveryDay);
    EXPECT_EQ(kindFromReportLetter('W'), KindEveryWeek);
    for (char c : {'t', 'd', 'w', 'Q', 'E', 'S', '\0', '\xff'})
        EXPECT_EQ(kindFromReportLetter(c), std::nullopt) << int(c);
}

}  // namespace
