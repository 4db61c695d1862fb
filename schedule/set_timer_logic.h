#pragma once

// The Set Timer dialog (SetTimerDialog) without its widgets: the 20 timer rows and
// the rules that tie them together, the bank tab strip, and the buttons.
// It edits the working tables EditOn / EditOff, loads and saves schedule
// files and hands the schedule to the transfer for Apply. It draws through
// SetTimerView, so it runs and is tested without a screen. UI thread only.
//
// The rows are TimerRows (timer_row.h). A checked row is "set": its fields
// are locked until it is unchecked again.
//
// The check-box rules, run whenever a row's box changes, by the user or by
// the dialog itself (rows filled from a table, copied by a cascade), and
// not for a flagged row or while EnableGuard is set:
//  - the row counts as changed;
//  - checked: "Every week" without a day is refused ("Please Select Value
//    of Day field"); so is a time equal, in hours and minutes left, to the
//    checked counterpart on the other page (same line; the all-banks row
//    falls back to the other page's whole-bank row while that page's
//    all-banks row is unchecked), with a message unless RowsLoading. A
//    refused box is unchecked again under EnableGuard and the row does not
//    count as changed. Otherwise the row is locked, and an all-banks or
//    whole-bank row copies its kind, day and time into every row below it
//    on its page and checks them (CascadeActive: their boxes end disabled);
//  - unchecked: the row is reset, and for an all-banks or whole-bank row
//    every row below it too.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "schedule/timer_entry.h"
#include "schedule/timer_row.h"
#include "schedule/timer_tables.h"

namespace velmora {

// Texts of the dialog's messages. Each is shown with an empty caption and
// an OK button.
inline constexpr const char* kDayFieldMessage = "Please Select Value of Day field";  // stop icon
inline constexpr const char* kSameTimeAsPowerOffMessage =                          // stop icon
    "These Time Values should not be identical like for PowerOff Funciton";
inline constexpr const char* kSameTimeAsPowerOnMessage =                           // stop icon
    "These Time Values should not be identical like for PowerON Funciton";
inline constexpr const char* kValueRangePrefix = "Value range: 0 - ";              // no icon, + limit
inline constexpr const char* kValueMustPrefix = "Value must between 0 and ";       // no icon, + limit

// The drawing side of the dialog. The Qt dialog implements it; tests use a
// recording fake. Calls may repeat what is already shown.
class SetTimerView {
public:
    virtual ~SetTimerView() = default;
    // Every control of one row (0..19) as the row describes.
    virtual void drawRow(int row, const TimerRow& state) = 0;
    // Both clear buttons (btnOneBank, btnOneClear1).
    virtual void setClearBankCaption(std::string_view caption) = 0;
    // The bank tab strip tabBar.
    virtual void appendTab(std::string_view caption) = 0;
    virtual void removeTab(int index) = 0;
    virtual void selectTab(int index) = 0;  // -1: none
    // Puts the focus into the hour or minute field of a row.
    virtual void focusField(int row, RowField field) = 0;
    // Ends the modal showing with the OK (true) or Cancel result.
    virtual void closeDialog(bool ok) = 0;
    // Whether the dialog is on the screen.
    virtual bool dialogVisible() const = 0;
};

class SetTimerLogic {
public:
    struct Deps {
        TimerTables& tables;
        const Clock& clock;
        Dialogs& dialogs;
        // BankCount: banks the unit reported (0 without link).
        std::function<int()> bankCount;
        // Sends the working tables to the unit (the main window's
        // ReturnToTransfer); used by Apply. Optional.
        std::function<void()> ReturnToTransfer;
    };

    SetTimerLogic(Deps deps, SetTimerView& view);
    SetTimerLogic(const SetTimerLogic&) = delete;
    SetTimerLogic& operator=(const SetTimerLogic&) = delete;

    // createControls: every row reset and labelled for bank 1, both pages drawn.
    void createControls();

    // ---- State ----
    const TimerRow& row(int r) const { return rows_.at(static_cast<std::size_t>(r)); }
    // The bank index the dialog opens on. The main window sets it before
    // showing the dialog (the Time menu's value 17 is turned into 0 there).
    int DialogBank() const { return DialogBank_; }
    void setDialogBank(int bankIndex) { DialogBank_ = bankIndex; }
    // The bank index whose rows are shown (0..15).
    int PageBank() const { return PageBank_; }
    bool EnableGuard() const { return EnableGuard_; }
    bool CascadeActive() const { return CascadeActive_; }
    bool RowsLoading() const { return RowsLoading_; }
    // "Clear Bank " + shown bank number.
    const std::string& clearBankCaption() const { return clearCaption_; }

    // ---- tabBar, kept in step with the bank count by the main window ----
    const std::vector<std::string>& tabs() const { return tabs_; }
    int selectedTab() const { return selectedTab_; }  // -1 without tabs
    // Appends a tab ("Bank" + n + " "); the first tab becomes selected.
    void appendTab(std::string caption);
    // Removes tab `index` (nothing outside the strip). When it was the
    // selected one, the tab that takes its place (or the new last) is.
    void deleteTab(int index);
    // Selects the first tab. While the dialog is shown the selection stays
    // on the bank being edited, so rows and tab never disagree.
    void selectFirstTab();

    // ---- Showing ----
    // aboutToShow, on every showing and for each refresh from the unit's
    // confirmations: PageBank = DialogBank; the working tables are copied
    // from the live ones for the first BankCount banks (edits not sent are
    // dropped); every row reset and labelled; both pages filled with
    // ShowBankPage; PageBank's tab selected (no tab change: nothing is
    // collected); every changed flag cleared.
    void aboutToShow();
    // Fills the ten rows of a page from the entries of one bank.
    void ShowBankPage(const std::array<TimerEntry, kPortsPerBank>& entries, TimerPage page);
    // Unless invalid: labels, kind ("After"), hour and minute ("0"), both
    // up-downs and the check box enabled; the check box unchecked (which
    // runs the check-box rules when it was checked); day "NULL" and
    // disabled; since label emptied.
    void resetRow(int row);
    // Unless invalid: labels, drop-downs, edits and up-downs disabled; the
    // check box disabled while CascadeActive, else enabled.
    void lockRow(int row);

    // ---- Row events (from the user) ----
    // chkEnable of `row` now shows `checked`. Runs the check-box rules.
    void chkEnableClick(int row, bool checked);
    // The user picked kind `index` (cmbAfterSelect): "Every week" enables
    // the day; the others disable it and set "NULL". For a time of day an
    // hour above 23 becomes 23.
    void cmbAfterSelect(int row, int index);
    void cmbDaySelect(int row, int index);
    // The user changed the text of a field (hourCheck / minCheck): only
    // digits are kept; a number above the limit shows "Value range: 0 - "
    // + limit and the field takes the limit (and keeps the focus).
    void hourCheck(int row, std::string_view text);
    void minCheck(int row, std::string_view text);
    // The focus leaves a field (hourExitCheck / minExitCheck): an empty
    // field or one above the limit shows "Value must between 0 and " +
    // limit; the field takes the limit and gets the focus back. Returns
    // true when it did so.
    bool hourExitCheck(int row);
    bool minExitCheck(int row);
    // An up-down arrow (hourUpDownClick / minUpDownClick): one up or down
    // within 0..limit, from one end to the other; the focus goes into the
    // field.
    void hourUpDownClick(int row, bool up);
    void minUpDownClick(int row, bool up);

    // ---- Collection ----
    // The shown bank's two pages into EditOn / EditOff as one step under the
    // tables' lock. Per page, clears first: an unchecked changed all-banks
    // row zeroes the table's first BankCount banks and leaves a clear of
    // every bank (scope 3) in the shown bank's port 0; else an unchecked
    // changed whole-bank row zeroes the bank and leaves a clear of it
    // (scope 4); else each unchecked changed port row is stored (a clear of
    // the port). Then the sets: a checked changed all-banks row (scope 1,
    // copied into port 0 of every bank with only bank index 0's pending);
    // else a checked changed whole-bank row (scope 2); else each checked
    // changed port row, turning a clear 3 / 4 in port 0 into 5 / 6 (clear,
    // then set port 1). A stored row gives the entry pending = changed,
    // enabled = checked, kind, weekday, hour and minute; the rest stays.
    void CollectBank();

    // ---- Buttons and tabs ----
    void onOkClicked();    // OK: CollectBank, closed with OK (the main window then sends)
    void onCancelClicked();    // Cancel, Escape, close box: closed with Cancel, nothing kept
    void ApplyClick();      // CollectBank, ReturnToTransfer, DialogBank = selected tab
    void btnSaveClick();    // CollectBank, save chooser, the file written whole or not at all
    void btnLoadClick();    // open chooser, the file into the working tables, the selected bank shown
    void btnClearClick();   // "Clear All"
    void btnOneBankClick(); // "Clear Bank n": every row unchecked
    // The user chose tab `index` while the dialog is shown: the bank shown
    // so far is collected and the new one shown with its changed flags
    // cleared. Ignored while hidden and outside the strip.
    void tabChosen(int index);

    // ---- The unit's confirmations ----
    // The unit confirmed timers of the shown bank: the show steps again
    // (aboutToShow) while the dialog is shown. Such work reaches the UI thread
    // also inside the dialog's own message boxes and choosers; there it
    // waits until the handler that opened them has finished, so the rows a
    // handler works on never change under it.
    void refreshFromUnit();
    bool refreshPending() const { return refreshPending_; }

    // Every row as drawn last (tests).
    void redrawAll();

private:
    // Marks a handler of the dialog as running; the last one to finish
    // runs a refresh that arrived meanwhile.
    class HandlerScope {
    public:
        explicit HandlerScope(SetTimerLogic& logic);
        ~HandlerScope();
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;

    private:
        SetTimerLogic& logic_;
    };

    // Sets a flag for a scope and puts back what it was, so that a rule run
    // from inside another (a cascade inside a cascade) does not end the
    // outer one's state early.
    class FlagScope {
    public:
        FlagScope(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
        ~FlagScope() { flag_ = saved_; }
        FlagScope(const FlagScope&) = delete;
        FlagScope& operator=(const FlagScope&) = delete;

    private:
        bool& flag_;
        bool saved_;
    };

    using Entries = std::array<TimerEntry, kPortsPerBank>;

    TimerRow& at(int r) { return rows_[static_cast<std::size_t>(r)]; }
    int bankCount() const;
    int clampedBank(int bankIndex) const;
    void setChecked(int row, bool checked);
    void chkEnableChange(int row);
    void refuse(int row);
    void cascade(int row);
    int counterpartRow(int row) const;
    bool sameTrigger(int row, int other) const;
    void showEntry(int row, const TimerEntry& e);
    void labelRows();
    void showPageBank();
    void recaptionClearButtons();
    void selectTabQuietly(int index);
    void uncheckAllRows();
    void CollectPage(int firstRow, TimerTable& table, int bank, int banks);
    void StoreRow(const TimerRow& row, TimerEntry& e) const;
    void fieldCheck(int row, RowField field, std::string_view text);
    bool fieldExitCheck(int row, RowField field);
    void upDownClick(int row, RowField field, bool up);
    int fieldLimit(int row, RowField field) const;
    std::string& fieldText(int row, RowField field);
    void message(const std::string& text, MessageIcon icon);
    void flush();

    Deps d_;
    SetTimerView& view_;
    std::array<TimerRow, kTimerRows> rows_{};
    std::array<TimerRow, kTimerRows> drawn_{};
    std::array<bool, kTimerRows> everDrawn_{};
    int DialogBank_ = 0;
    int PageBank_ = 0;
    bool EnableGuard_ = false;
    bool CascadeActive_ = false;
    bool RowsLoading_ = false;
    std::string clearCaption_ = "Clear Bank 1";
    std::vector<std::string> tabs_;
    int selectedTab_ = -1;
    int handlers_ = 0;
    bool refreshPending_ = false;
};

}  // namespace velmora
