// Each bank's current over a day: bounded however long it runs, the time
// windows by the monotonic clock (a PC clock set back moves nothing), and
// the CSV export byte for byte.

#include "mainwindow/current_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr std::int64_t kPollMs = 5000;

CurrentSample at(std::int64_t monotonicMs, std::int64_t wallSeconds, float amperes, std::int32_t offset = 3600) {
    return CurrentSample{monotonicMs, wallSeconds, offset, amperes};
}

TEST(CurrentHistory, BoundedHoweverLongItRuns) {
    CurrentHistory h;
    // Three days of polls every second: never more than the ring holds,
    // never older than a day.
    const std::int64_t seconds = 3 * 24 * 3600;
    for (std::int64_t s = 0; s < seconds; ++s) h.record(1, at(s * 1000, 1'800'000'000 + s, 1.0f));
    EXPECT_EQ(h.size(1), kHistoryCapacity);
    // At the 5 s poll a day fits whole.
    CurrentHistory five;
    for (std::int64_t t = 0; t <= 2 * kHistorySpanMs; t += kPollMs) five.record(2, at(t, t / 1000, 2.0f));
    const auto day = five.samples(2, 2 * kHistorySpanMs);
    EXPECT_EQ(day.size(), static_cast<std::size_t>(kHistorySpanMs / kPollMs + 1));
    EXPECT_EQ(day.front().monotonicMs, kHistorySpanMs);
    EXPECT_EQ(five.size(1), 0u);
    h.record(17, at(0, 0, 1.0f));  // no such bank: ignored
    EXPECT_EQ(h.size(17), 0u);
}

// Past the ring's end the oldest go and the rest keep their order and their
// values, the wall clock set back meanwhile or not.
TEST(CurrentHistory, AfterWrappingRoundTheNewestRemainInOrder) {
    CurrentHistory h;
    const int extra = 37;
    const int total = static_cast<int>(kHistoryCapacity) + extra;
    for (int i = 0; i < total; ++i) {
        // Half way the PC clock goes back a day; the monotonic clock does not.
        const std::int64_t wall = 1'800'000'000 + i - (i >= total / 2 ? 86400 : 0);
        h.record(3, at(static_cast<std::int64_t>(i) * 100, wall, static_cast<float>(i)));
    }
    const std::int64_t now = static_cast<std::int64_t>(total - 1) * 100;
    const auto kept = h.samples(3, now, now + 1);
    ASSERT_EQ(kept.size(), kHistoryCapacity);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        ASSERT_EQ(kept[k].amperes, static_cast<float>(extra + static_cast<int>(k))) << "at " << k;
        if (k > 0) {
            ASSERT_LT(kept[k - 1].monotonicMs, kept[k].monotonicMs) << "out of order at " << k;
        }
    }
    EXPECT_EQ(h.newest(3)->amperes, static_cast<float>(total - 1));
}

TEST(CurrentHistory, WindowsFollowTheMonotonicClockNotTheWallClock) {
    CurrentHistory h;
    h.record(1, at(0, 1'800'000'000, 1.0f));
    h.record(1, at(3 * 3600 * 1000, 1'800'010'800, 2.0f));
    // The PC clock is set back an hour: the sample still comes after.
    h.record(1, at(3 * 3600 * 1000 + kPollMs, 1'800'007'205, 3.0f));
    const std::int64_t now = 3 * 3600 * 1000 + kPollMs;
    ASSERT_EQ(h.samples(1, now, 3600 * 1000).size(), 2u);
    EXPECT_EQ(h.samples(1, now, 3600 * 1000).back().amperes, 3.0f);
    EXPECT_EQ(h.samples(1, now, 6 * 3600 * 1000).size(), 3u);
    EXPECT_EQ(h.samples(1, now + kHistorySpanMs, 6 * 3600 * 1000).size(), 0u);
}

TEST(CurrentHistory, CsvIsLocalTimeWithItsOffset) {
    CurrentHistory h;
    // 2026-12-08 20:00:15 UTC, shown at +01:00; then a bank at -05:30 (an
    // odd offset) and an ampere reading with a long decimal.
    h.record(1, at(0, 1796760015, 2.5f));
    h.record(1, at(kPollMs, 1796760020, 0.1f));
    h.record(3, at(kPollMs, 1796760020, 12.25f, -(5 * 3600 + 1800)));
    EXPECT_EQ(h.csv(kPollMs),
              "time,bank,current\n"
              "2026-12-08T21:00:15+01:00,1,2.5\n"
              "2026-12-08T21:00:20+01:00,1,0.1\n"
              "2026-12-08T14:30:20-05:30,3,12.25\n");
    EXPECT_EQ(isoLocalTime(0, 0), "1970-01-01T00:00:00+00:00");
    EXPECT_EQ(isoLocalTime(951782400, 0), "2000-02-29T00:00:00+00:00");
}

TEST(CurrentHistory, DrawnSamplesKeepPeaksAndDipsWithinTwoAColumn) {
    // A day at the 5 s poll, flat at 2 A but for one peak and one dip.
    std::vector<CurrentSample> day;
    const std::int64_t wall0 = 1'800'000'000;
    for (std::int64_t i = 0; i < kHistorySpanMs / kPollMs; ++i) {
        const float amperes = i == 5000 ? 9.5f : i == 12000 ? 0.0f : 2.0f;
        day.push_back(at(i * kPollMs, wall0 + i * 5, amperes));
    }
    const std::int64_t from = wall0 * 1000, to = from + kHistorySpanMs;
    const struct {
        int columns;
        std::size_t samples;
    } cases[] = {{350, day.size()}, {200, day.size()}, {1, day.size()}, {350, 700}, {350, 3}};
    for (const auto& c : cases) {
        const std::vector<CurrentSample> some(day.begin(), day.begin() + static_cast<std::ptrdiff_t>(c.samples));
        const std::vector<CurrentSample> drawn = samplesToDraw(some, from, to, c.columns);
        SCOPED_TRACE("columns " + std::to_string(c.columns) + ", samples " + std::to_string(c.samples));
        if (c.samples <= 2 * static_cast<std::size_t>(c.columns)) {
            EXPECT_EQ(drawn.size(), some.size()) << "few samples are drawn as they are";
            continue;
        }
        EXPECT_LE(drawn.size(), 2 * static_cast<std::size_t>(c.columns) + 2);
        for (std::size_t k = 1; k < drawn.size(); ++k)
            ASSERT_LT(drawn[k - 1].monotonicMs, drawn[k].monotonicMs) << "out of order at " << k;
        const auto peak = std::find_if(drawn.begin(), drawn.end(), [](const CurrentSample& s) { return s.amperes == 9.5f; });
        ASSERT_NE(peak, drawn.end()) << "the peak was lost";
        EXPECT_EQ(peak->monotonicMs, 5000 * kPollMs) << "the peak moved";
        if (c.samples > 12000) {
            EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [](const CurrentSample& s) { return s.amperes == 0.0f; }))
                << "the dip was lost";
        }
    }
}

}  // namespace
}  // namespace velmora
