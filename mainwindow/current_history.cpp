#include "mainwindow/current_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmora {

CurrentHistory::CurrentHistory() {
    for (Ring& r : rings_) r.data.resize(kHistoryCapacity);
}

void CurrentHistory::record(int bank, const CurrentSample& sample) {
    if (bank < 1 || bank > kHistoryBanks) return;
    Ring& r = rings_[static_cast<std::size_t>(bank - 1)];
    // What is older than a day goes first: the ring holds one day at most.
    while (r.count > 0 && sample.monotonicMs - r.data[r.first].monotonicMs > kHistorySpanMs) {
        r.first = (r.first + 1) % kHistoryCapacity;
        --r.count;
    }
    if (r.count == kHistoryCapacity) {
        r.first = (r.first + 1) % kHistoryCapacity;
        --r.count;
    }
    r.data[(r.first + r.count) % kHistoryCapacity] = sample;
    ++r.count;
}

std::vector<CurrentSample> CurrentHistory::samples(int bank, std::int64_t nowMonotonicMs, std::int64_t spanMs) const {
    std::vector<CurrentSample> out;
    samplesInto(bank, nowMonotonicMs, spanMs, out);
    return out;
}

void CurrentHistory::samplesInto(int bank, std::int64_t nowMonotonicMs, std::int64_t spanMs,
                                 std::vector<CurrentSample>& out) const {
    out.clear();
    if (bank < 1 || bank > kHistoryBanks) return;
    const Ring& r = rings_[static_cast<std::size_t>(bank - 1)];
    for (std::size_t i = 0; i < r.count; ++i) {
        const CurrentSample& s = r.data[(r.first + i) % kHistoryCapacity];
        if (nowMonotonicMs - s.monotonicMs <= spanMs) out.push_back(s);
    }
}

std::optional<CurrentSample> CurrentHistory::newest(int bank) const {
    if (bank < 1 || bank > kHistoryBanks) return std::nullopt;
    const Ring& r = rings_[static_cast<std::size_t>(bank - 1)];
    if (r.count == 0) return std::nullopt;
    return r.data[(r.first + r.count - 1) % kHistoryCapacity];
}

std::size_t CurrentHistory::size(int bank) const {
    return bank >= 1 && bank <= kHistoryBanks ? rings_[static_cast<std::size_t>(bank - 1)].count : 0;
}

void CurrentHistory::clear() {
    for (Ring& r : rings_) {
        r.first = 0;
        r.count = 0;
    }
}

std::vector<CurrentSample> samplesToDraw(const std::vector<CurrentSample>& samples, std::int64_t fromWallMs,
                                         std::int64_t toWallMs, int columns) {
    if (columns < 1 || toWallMs <= fromWallMs || samples.size() <= 2 * static_cast<std::size_t>(columns))
        return samples;
    std::vector<CurrentSample> out;
    out.reserve(2 * static_cast<std::size_t>(columns) + 2);
    const double perColumn = static_cast<double>(toWallMs - fromWallMs) / columns;
    long column = -1;
    std::size_t low = 0, high = 0;
    const auto flush = [&] {
        if (column < 0) return;
        out.push_back(samples[std::min(low, high)]);
        if (low != high) out.push_back(samples[std::max(low, high)]);
    };
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double at = static_cast<double>(samples[i].wallSeconds * 1000 - fromWallMs) / perColumn;
        const long c = static_cast<long>(std::floor(std::clamp(at, -1.0, static_cast<double>(columns))));
        if (c != column) {
            flush();
            column = c;
            low = high = i;
            continue;
        }
        if (samples[i].amperes < samples[low].amperes) low = i;
        if (samples[i].amperes > samples[high].amperes) high = i;
    }
    flush();
    return out;
}

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string amperesText(float a) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, a);
    return std::string(buf, r.ptr);
}

}  // namespace

std::string isoLocalTime(std::int64_t wallSeconds, std::int32_t utcOffsetSeconds) {
    const std::int64_t local = wallSeconds + utcOffsetSeconds;
    std::int64_t days = local / 86400;
    std::int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int year = 0, month = 0, day = 0;
    civilFromDays(days, year, month, day);
    const int offset = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60),
                  utcOffsetSeconds < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
    return buf;
}

std::string CurrentHistory::csv(std::int64_t nowMonotonicMs, std::int64_t spanMs) const {
    std::string out = "time,bank,current\n";
    for (int bank = 1; bank <= kHistoryBanks; ++bank) {
        for (const CurrentSample& s : samples(bank, nowMonotonicMs, spanMs)) {
            out += isoLocalTime(s.wallSeconds, s.utcOffsetSeconds);
            out += ',';
            out += std::to_string(bank);
            out += ',';
            out += amperesText(s.amperes);
            out += '\n';
        }
    }
    return out;
}

}  // namespace velmora
