#include "schedule/schedule_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

namespace velmora {

namespace {

// Record field 1: the file counts power-on as 0, the wire the other way round.
constexpr int kFilePowerOn = 0;
constexpr int kFilePowerOff = 1;
constexpr int kFields = 9;
// Longest delay a file may carry: far above what the dialog takes (99 h)
// or the unit reports (999 h), far below anything that could overflow.
constexpr long long kMaxDelayHours = 9999;

void appendRecord(std::string& out, int direction, int bank, int port, const TimerEntry& e) {
    char buffer[16 * kFields];
    const int n = std::snprintf(buffer, sizeof buffer, "%d %d %d %d %d %d %d %d %d ", direction, bank, port,
                                static_cast<int>(e.enabled), static_cast<int>(e.invalid), e.kind, e.weekday,
                                e.hour, e.minute);
    // Nine 32-bit numbers always fit; a cut record is never written.
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) out.append(buffer, static_cast<std::size_t>(n));
}

bool isBlank(char c) {
    // What "%d" skips before a number.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads numbers the way a "%d" scan does, one at a time.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text_(text) {}

    // Skips blanks and reads one optionally signed decimal. False (and the
    // position is meaningless) when no number follows or it does not fit
    // 32 bits.
    bool next(long long& value) {
        skipBlanks();
        const std::size_t start = pos_;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
        const std::size_t digits = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
        if (pos_ == digits) return false;
        // from_chars takes no '+'.
        const char* first = text_.data() + start + (text_[start] == '+' ? 1 : 0);
        std::int32_t v = 0;
        const auto [end, ec] = std::from_chars(first, text_.data() + pos_, v);
        if (ec != std::errc{} || end != text_.data() + pos_) return false;
        value = v;
        return true;
    }

    // True when only blanks are left.
    bool atEnd() {
        skipBlanks();
        return pos_ == text_.size();
    }

    // The line (from 1) of the next number.
    int line() {
        skipBlanks();
        return line_;
    }

private:
    void skipBlanks() {
        for (; pos_ < text_.size() && isBlank(text_[pos_]); ++pos_)
            if (text_[pos_] == '\n') ++line_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

bool valueFitsEntry(long long kind, long long weekday, long long hour, long long minute) {
    if (kind < KindAfter || kind > KindEveryWeek) return false;
    if (weekday < 0 || weekday > 7) return false;
    if (minute < 0 || minute > 59) return false;
    const long long maxHour = kind == KindAfter ? kMaxDelayHours : 23;
    return hour >= 0 && hour <= maxHour;
}

}  // namespace

FileChoice scheduleSaveChoice() {
    FileChoice c;
    c.filter = "power file(*.pwr)|*.pwr|all file(*.*)|*.*";
    c.defaultName = "default0";
    c.defaultExtension = ".pwr";
    return c;
}

FileChoice scheduleOpenChoice() {
    FileChoice c;
    c.filter = "power file(.pwr)|*.pwr|all file(*.*)|*.*";
    c.defaultName = "default0";
    c.defaultExtension = ".pwr";
    return c;
}

std::string formatSchedule(const TimerTables::Tables& tables, int bankCount) {
    const int banks = tableBankLimit(bankCount);
    std::string out;
    out.reserve(static_cast<std::size_t>(banks) * kPortsPerBank * 2 * 20);
    for (const auto& [direction, table] : {std::pair<int, const TimerTable*>{kFilePowerOn, &tables.editOn},
                                           std::pair<int, const TimerTable*>{kFilePowerOff, &tables.editOff}}) {
        for (int b = 0; b < banks; ++b)
            for (int p = 0; p < kPortsPerBank; ++p) appendRecord(out, direction, b, p, (*table)[b][p]);
    }
    return out;
}

ScheduleRead applySchedule(std::string_view text, TimerTables::Tables& tables, int bankCount,
                           ScheduleReadNotes* notes) {
    const int banks = tableBankLimit(bankCount);
    ScheduleRead result;
    NumberReader reader(text);
    const auto skip = [&](int line, std::string why) {
        ++result.skipped;
        if (notes && notes->skipped.size() < kMaxSkippedRecordsTold) notes->skipped.push_back({line, std::move(why)});
    };
    for (;;) {
        if (reader.atEnd()) return result;
        const int line = reader.line();
        std::array<long long, kFields> f{};
        for (long long& v : f) {
            if (!reader.next(v)) {
                result.complete = false;
                if (notes) notes->stoppedAtLine = line;
                return result;
            }
        }
        const long long direction = f[0], bank = f[1], port = f[2];
        if (bank < 0 || bank >= banks) {
            // The file counts banks from 0, people from 1.
            skip(line, "bank " + std::to_string(bank + 1) + " does not exist: the unit has " +
                           std::to_string(std::max(bankCount, 0)) + (bankCount == 1 ? " bank" : " banks"));
            continue;
        }
        if (port < 0 || port >= kPortsPerBank) {
            skip(line, "port " + std::to_string(port + 1) + " does not exist: a bank has ports 1 to 8");
            continue;
        }
        if (!valueFitsEntry(f[5], f[6], f[7], f[8])) {
            skip(line, "no timer can hold kind " + std::to_string(f[5]) + ", weekday " + std::to_string(f[6]) +
                           ", " + std::to_string(f[7]) + ":" + std::to_string(f[8]));
            continue;
        }
        TimerTable& table = direction != kFilePowerOn ? tables.editOff : tables.editOn;
        TimerEntry& e = table[static_cast<std::size_t>(bank)][static_cast<std::size_t>(port)];
        e.enabled = f[3] != 0 ? 1 : 0;
        if (e.enabled == 1) e.pending = 1;
        e.invalid = f[4] != 0 ? 1 : 0;
        e.kind = static_cast<std::int32_t>(f[5]);
        e.weekday = static_cast<std::int32_t>(f[6]);
        e.hour = static_cast<std::int32_t>(f[7]);
        e.minute = static_cast<std::int32_t>(f[8]);
        ++result.applied;
    }
}

std::vector<std::string> scheduleReadWarnings(const ScheduleRead& read, const ScheduleReadNotes& notes) {
    std::vector<std::string> lines;
    for (const SkippedRecord& r : notes.skipped)
        lines.push_back("line " + std::to_string(r.line) + ": record skipped: " + r.why);
    if (read.skipped > static_cast<int>(notes.skipped.size()))
        lines.push_back("... and " + std::to_string(read.skipped - static_cast<int>(notes.skipped.size())) +
                        " more records skipped");
    if (!read.complete)
        lines.push_back("line " + std::to_string(notes.stoppedAtLine) +
                        ": reading stopped at a record that is not nine numbers; the " +
                        std::to_string(read.applied) + " records before it are sent");
    return lines;
}

std::string scheduleUnusableText(const ScheduleRead& read) {
    if (read.applied > 0) return {};
    if (read.skipped == 0) return "it holds no timer record (nine numbers each)";
    return "none of its " + std::to_string(read.skipped) + (read.skipped == 1 ? " record" : " records") +
           " fits this unit";
}

std::string formatSchedule(const TimerTables& tables, int bankCount) {
    return tables.withLock([&](const TimerTables::Tables& t) { return formatSchedule(t, bankCount); });
}

ScheduleRead applySchedule(std::string_view text, TimerTables& tables, int bankCount, ScheduleReadNotes* notes) {
    return tables.withLock([&](TimerTables::Tables& t) { return applySchedule(text, t, bankCount, notes); });
}

FileSave saveScheduleFile(const std::filesystem::path& path, const TimerTables& tables, int bankCount) {
    return saveFileAtomically(path, formatSchedule(tables, bankCount));
}

ScheduleLoad loadScheduleFile(const std::filesystem::path& path, TimerTables& tables, int bankCount) {
    ScheduleLoad result;
    FileLoad file = loadFileBytes(path, kMaxScheduleFileBytes);
    result.status = file.status;
    result.error = std::move(file.error);
    if (file.status == FileIoStatus::ok) result.read = applySchedule(file.bytes, tables, bankCount, &result.notes);
    return result;
}

}  // namespace velmora
