#pragma once

// The Set Timer dialog's logic with a recording view, fixed clock and
// scripted dialogs: what the dialog tests drive.

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "schedule/set_timer_logic.h"
#include "schedule/timer_tables.h"
#include "schedule_test_support.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace velmora::testing {

// Keeps what the logic drew last, per row, and every other call.
class RecordingTimerView final : public SetTimerView {
public:
    void drawRow(int row, const TimerRow& state) override {
        rows.at(static_cast<std::size_t>(row)) = state;
        ++draws;
    }
    void setClearBankCaption(std::string_view caption) override { clearCaption = caption; }
    void appendTab(std::string_view caption) override { tabs.emplace_back(caption); }
    void removeTab(int index) override { tabs.erase(tabs.begin() + index); }
    void selectTab(int index) override { selected = index; }
    void focusField(int row, RowField field) override { focus.emplace_back(row, field); }
    void closeDialog(bool ok) override {
        closes.push_back(ok);
        visible = false;
    }
    bool dialogVisible() const override { return visible; }

    std::array<TimerRow, kTimerRows> rows{};
    int draws = 0;
    std::string clearCaption;
    std::vector<std::string> tabs;
    int selected = -1;
    std::vector<std::pair<int, RowField>> focus;
    std::vector<bool> closes;
    bool visible = false;
};

// Rows by page and line.
inline int onRow(int line) { return line; }
inline int offRow(int line) { return kRowsPerPage + line; }
inline int portLine(int port) { return port + 1; }  // ports 1..8 are lines 2..9

struct DialogRig {
    explicit DialogRig(int banks = 2, LocalMoment now = onWeekday(2, 21, 0, 15)) : bankCount(banks), clock(now) {
        for (int b = 1; b <= banks; ++b) logic.appendTab("Bank" + std::to_string(b) + " ");
        logic.createControls();
    }

    // The main window opens the dialog on a bank: DialogBank, shown, aboutToShow.
    void open(int bank) {
        logic.setDialogBank(bank);
        view.visible = true;
        logic.aboutToShow();
    }

    // What the user does to a row before checking it.
    void fill(int row, std::int32_t kind, int hour, int minute, int day = 0) {
        logic.cmbAfterSelect(row, kind);
        if (day != 0) logic.cmbDaySelect(row, day);
        logic.hourCheck(row, std::to_string(hour));
        logic.minCheck(row, std::to_string(minute));
    }
    void check(int row) { logic.chkEnableClick(row, true); }
    void uncheck(int row) { logic.chkEnableClick(row, false); }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : dialogs.shown) texts.push_back(m.text);
        return texts;
    }

    TimerEntry editOn(int bank, int port) const { return tables.entry(TableId::EditOn, bank, port); }
    TimerEntry editOff(int bank, int port) const { return tables.entry(TableId::EditOff, bank, port); }

    int bankCount;
    TimerTables tables;
    FixedClock clock;
    ScriptedDialogs dialogs;
    RecordingTimerView view;
    int transfers = 0;
    SetTimerLogic logic{SetTimerLogic::Deps{tables, clock, dialogs, [this] { return bankCount; },
                                            [this] { ++transfers; }},
                        view};
};

}  // namespace velmora::testing
