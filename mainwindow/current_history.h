#pragma once

// Each bank's current over the last 24 hours, from every status report: a
// ring of its own for each bank, bounded (a day at the 5 s poll is 17 280
// samples a bank), so memory stays flat however long the window runs.
//
// A sample carries two times: the monotonic time, which orders the samples
// and decides what is older than a window (a PC clock set back or forward
// moves nothing out of place), and the local wall-clock time it was taken
// at, with its offset from UTC, which the chart and the CSV file show.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

inline constexpr std::int64_t kHistorySpanMs = 24LL * 3600 * 1000;
inline constexpr std::size_t kHistoryCapacity = 17280 + 720;  // a day at 5 s, and room for faster polls
inline constexpr int kHistoryBanks = 16;

struct CurrentSample {
    std::int64_t monotonicMs = 0;  // when it was taken, on the monotonic clock
    std::int64_t wallSeconds = 0;  // the same moment as seconds since 1970 (UTC)
    std::int32_t utcOffsetSeconds = 0;  // the local time's offset then (+3600 for CET)
    float amperes = 0.0f;
};

class CurrentHistory {
public:
    CurrentHistory();

    // A status report of `bank` (1..16); others are ignored. Samples older
    // than 24 hours (monotonic) fall out; a full ring drops its oldest.
    void record(int bank, const CurrentSample& sample);
    // The bank's samples taken within `spanMs` before `nowMonotonicMs`,
    // oldest first.
    std::vector<CurrentSample> samples(int bank, std::int64_t nowMonotonicMs, std::int64_t spanMs = kHistorySpanMs) const;
    // The same into `out` (emptied first), whose room is reused.
    void samplesInto(int bank, std::int64_t nowMonotonicMs, std::int64_t spanMs, std::vector<CurrentSample>& out) const;
    // The bank's newest sample, if it has any.
    std::optional<CurrentSample> newest(int bank) const;
    std::size_t size(int bank) const;
    void clear();

    // "time,bank,current" and one row per sample within `spanMs`, banks in
    // order, each bank oldest first; time in ISO 8601 local time with its
    // offset ("2026-12-08T21:00:15+01:00"), current in amperes as shown.
    std::string csv(std::int64_t nowMonotonicMs, std::int64_t spanMs = kHistorySpanMs) const;

private:
    struct Ring {
        std::vector<CurrentSample> data;  // kHistoryCapacity, reused
        std::size_t first = 0;
        std::size_t count = 0;
    };
    std::array<Ring, kHistoryBanks> rings_;
};

// What of `samples` (oldest first) a chart `columns` pixels wide from
// `fromWallMs` to `toWallMs` draws: all of them when they are no more than
// two a column; else each column's lowest and highest, in the order they
// were taken, so that a peak or a dip stays where and as high as it was.
std::vector<CurrentSample> samplesToDraw(const std::vector<CurrentSample>& samples, std::int64_t fromWallMs,
                                         std::int64_t toWallMs, int columns);

// "2026-12-08T21:00:15+01:00" for a sample's wall time and offset.
std::string isoLocalTime(std::int64_t wallSeconds, std::int32_t utcOffsetSeconds);

}  // namespace velmora
