#include "link/line_processor.h"

#include <algorithm>

#include "link/scanf_fields.h"
#include "schedule/timer_tables.h"

namespace velmora {

namespace {

// The tables hold 16 banks; a larger count would lay out banks nobody can
// keep timers for.
constexpr int kMaxReportedBanks = 16;


bool isFlagsText(std::string_view text) {
    return text.find('G') != std::string_view::npos || text.find('F') != std::string_view::npos;
}

// "%c%d" over a status/current/version word: the bank number when it names a
// BankInfo record, else -1.
int recordBank(std::string_view word) {
    char letter = 0;
    int bank = -1;
    if (scanLetterNumber(word, letter, bank) != 2) return -1;
    return (bank >= 0 && bank < kBankRecords) ? bank : -1;
}

void storeStatusText(BankRecord& record, std::string_view text) {
    if (isFlagsText(text)) {
        copyField(record.timerFlags, text);
    } else {
        copyField(record.portStates, text);
    }
}

// "Q" (clear) and "E" (set) confirmations.
void confirm(std::string_view w1, DeviceState& state, TimerTables& tables, LineOutcome& out) {
    ConfirmationFields f;
    if (scanConfirmation(w1, f) != 4) return;
    const bool isClear = f.letter == 'Q';
    const std::optional<int> bank =
        isClear ? tables.ConfirmClear(f.bank, f.port, f.action, state.BankCount.load())
                : tables.ConfirmSet(f.bank, f.port, f.action);
    if (!bank) return;  // outside the tables: the line is ignored
    out.recognised = true;
    out.queueMatch =
        state.Queue.matchConfirmation(f.letter, w1, scopeAddress(f.bank, f.port).port);
    if (out.queueMatch == CommandQueue::Match::moreWaiting) {
        out.add(isClear ? ukNextAfterClear : ukNextAfterSet);
    }
    out.scheduleBank = *bank;
}

void oneWord(std::string_view w1, DeviceState& state, TimerTables& tables, LineOutcome& out) {
    const char first = w1[0];
    if (first == '|' || first == '\\' || first == '/' || first == '-') {
        out.recognised = true;
        out.add(ukUpgradeStep);
    } else if (first == 'M') {
        char letter = 0;
        int count = 0;
        if (scanLetterNumber(w1, letter, count) != 2 || count < 0) return;
        state.BankCount = std::min(count, kMaxReportedBanks);
        out.recognised = true;
        out.add(ukBankCount);
    } else if (w1 == "xyz") {
        state.GreetingSeen = true;
        out.recognised = true;
        out.greeting = true;
    } else if (first == 'Q') {
        confirm(w1, state, tables, out);
    } else if (w1 == "err") {
        out.recognised = true;
        out.add(ukClockError);
    } else if (first == 'E') {
        confirm(w1, state, tables, out);
    } else if (w1 == "OK") {
        state.FirmwareFailed = false;
        state.RawLineMode = false;
        out.recognised = true;
    } else if (w1 == "Fail" || w1 == "abc") {
        state.FirmwareFailed = true;
        // The loader stopped: the lines after this one are plain lines.
        state.RawLineMode = false;
        out.recognised = true;
        out.add(ukUpgradeFailed);
    }
}

void twoWords(std::string_view w1, std::string_view w2, DeviceState& state, LineOutcome& out) {
    const char first = w1[0];
    if (first == 'S') {
        const int bank = recordBank(w1);
        if (bank < 0) return;
        state.editBank(bank, [&](BankRecord& r) {
            r.bankNo = bank;
            storeStatusText(r, w2);
        });
        state.ReportedBank = bank;
        out.recognised = true;
        out.add(ukPortStatus);
    } else if (first == 'C') {
        const int bank = recordBank(w1);
        if (bank < 0) return;
        state.editBank(bank, [&](BankRecord& r) { scanFloat(w2, r.current); });
        state.ReportedBank = bank;
        out.recognised = true;
        out.add(ukCurrent);
    } else if (w2 == "OK") {
        // A completion like "Upgrade OK": the new firmware's lines follow,
        // whether or not a one-word "OK" comes after it.
        state.RawLineMode = false;
        out.recognised = true;
        out.add(ukUpgradeDone);
    } else if (first == 'V') {
        const int bank = recordBank(w1);
        if (bank < 0) return;
        state.editBank(bank, [&](BankRecord& r) { copyField(r.version, w2); });
        state.ReportedBank = bank;
        out.recognised = true;
        out.add(ukVersion);
    }
}

void fourWords(const LineWords& words, DeviceState& state, LineOutcome& out) {
    const std::string_view w1 = words.word[0];
    static constexpr std::string_view kProgressWords[] = {
        "Serial", "CPU", "System", "Timer", "Time", "Read", "Display", "LAN", "Check"};
    if (w1 == "Firmware" || w1 == "Start") {
        // Upgrade chatter: ignored, and "Start" must not reach the "S" rule.
    } else if (w1 == "Please") {
        state.RawLineMode = true;
        out.recognised = true;
        out.add(ukUpgradeBegin);
    } else if (std::find(std::begin(kProgressWords), std::end(kProgressWords), w1) !=
               std::end(kProgressWords)) {
        out.recognised = true;
        out.add(ukUpgradeMessage);
    } else if (w1.substr(0, 7) == "Version") {
        state.RawLineMode = false;
        out.recognised = true;
        out.add(ukUpgradeDone);
    } else if (w1[0] == 'S') {
        const int bank = recordBank(w1);
        if (bank < 0) return;
        const std::string_view w2 = words.word[1];
        const std::string_view w3 = words.word[2];
        state.editBank(bank, [&](BankRecord& r) {
            r.bankNo = bank;
            if (isFlagsText(w2)) {
                copyField(r.timerFlags, w2);
                copyField(r.portStates, w3);
            } else {
                copyField(r.portStates, w2);
                copyField(r.timerFlags, w3);
            }
            scanFloat(words.word[3], r.current);
        });
        state.ReportedBank = bank;
        out.recognised = true;
        out.add(ukStatusAndCurrent);
    }
}

}  // namespace

LineOutcome processLine(std::string_view line, DeviceState& state, TimerTables& tables,
                        const LocalMoment& now) {
    LineOutcome out;
    // The unit's lines are C strings: a NUL ends the text.
    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
        line = line.substr(0, nul);
    }
    state.setLastLine(line);
    if (line.empty()) return out;

    if (line[0] == 'T' || line[0] == 'D' || line[0] == 'W') {
        TimerReportFields t;
        if (scanTimerReport(line, t) == 7) {
            out.recognised = tables.RecordReport(t.letter, t.bank, t.port, t.action, t.hours,
                                                 t.minutes, t.seconds, now);
            return out;
        }
    }

    const LineWords words = scanWords(line);
    switch (words.count) {
        case 1:
            oneWord(words.word[0], state, tables, out);
            break;
        case 2:
            twoWords(words.word[0], words.word[1], state, out);
            break;
        case 3:
            if (words.word[0] == "Velmora") {
                out.recognised = true;
                out.add(ukUpgradeMessage);
            }
            break;
        case 4:
            fourWords(words, state, out);
            break;
        default:
            break;  // blank line
    }
    return out;
}

}  // namespace velmora
