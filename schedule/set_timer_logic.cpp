#include "schedule/set_timer_logic.h"

#include <algorithm>

#include "schedule/schedule_file.h"
#include "schedule/timer_arithmetic.h"

namespace velmora {

namespace {

constexpr const char* kInvalidText = "Invalid";
constexpr const char* kAllText = "all";

// A field showing 0. Assigned as a character rather than a literal: g++ 12
// at -O3 takes the inlined literal copy for an overlapping one (-Wrestrict).
void showZero(std::string& field) { field.assign(1, '0'); }

std::int32_t kindOrAfter(std::int32_t kind) { return kind >= KindAfter && kind <= KindEveryWeek ? kind : KindAfter; }
std::int32_t dayOrNone(std::int32_t day) { return day >= 0 && day <= 7 ? day : 0; }

int firstRowOf(TimerPage page) { return page == TimerPage::powerOn ? 0 : kRowsPerPage; }

}  // namespace

SetTimerLogic::SetTimerLogic(Deps deps, SetTimerView& view) : d_(std::move(deps)), view_(view) {}

// ---- Handlers and the unit's refreshes ------------------------------------------------------

SetTimerLogic::HandlerScope::HandlerScope(SetTimerLogic& logic) : logic_(logic) { ++logic_.handlers_; }

SetTimerLogic::HandlerScope::~HandlerScope() {
    if (--logic_.handlers_ > 0 || !logic_.refreshPending_) return;
    logic_.refreshPending_ = false;
    // The dialog may have been closed by the handler (OK, Cancel).
    if (logic_.view_.dialogVisible()) logic_.aboutToShow();
}

void SetTimerLogic::refreshFromUnit() {
    if (!view_.dialogVisible()) return;
    if (handlers_ > 0) {
        // Inside one of our own message boxes or choosers: the rows the
        // handler works on stay as they are until it has finished.
        refreshPending_ = true;
        return;
    }
    aboutToShow();
}

int SetTimerLogic::bankCount() const { return d_.bankCount ? d_.bankCount() : 0; }

int SetTimerLogic::clampedBank(int bankIndex) const {
    // DialogBank may hold anything the caller set; the rows only ever show
    // a bank the tables have (and one the unit has, when it has any).
    const int last = std::clamp(bankCount(), 1, kMaxBanks) - 1;
    return std::clamp(bankIndex, 0, last);
}

void SetTimerLogic::createControls() {
    for (int r = 0; r < kTimerRows; ++r) resetRow(r);
    labelRows();
    recaptionClearButtons();
    redrawAll();
}

// ---- Tab strip ----------------------------------------------------------------------

void SetTimerLogic::appendTab(std::string caption) {
    tabs_.push_back(std::move(caption));
    view_.appendTab(tabs_.back());
    if (selectedTab_ < 0) selectTabQuietly(0);
}

void SetTimerLogic::deleteTab(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
    tabs_.erase(tabs_.begin() + index);
    view_.removeTab(index);
    const int count = static_cast<int>(tabs_.size());
    if (count == 0) {
        selectedTab_ = -1;
    } else if (selectedTab_ > index) {
        --selectedTab_;
    } else if (selectedTab_ == index) {
        selectedTab_ = std::min(index, count - 1);
    }
    view_.selectTab(selectedTab_);
}

void SetTimerLogic::selectFirstTab() {
    if (tabs_.empty()) return;
    if (view_.dialogVisible() && selectedTab_ >= 0) return;
    selectTabQuietly(0);
}

void SetTimerLogic::selectTabQuietly(int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
    selectedTab_ = index;
    view_.selectTab(index);
}

// ---- Rows -------------------------------------------------------------------------------

void SetTimerLogic::resetRow(int r) {
    if (at(r).invalid) return;
    {
        TimerRow& row = at(r);
        row.labelsEnabled = true;
        row.kind = KindAfter;
        row.kindEnabled = true;
        showZero(row.hourText);
        showZero(row.minuteText);
        row.timeEnabled = true;
        row.checkEnabled = true;
    }
    setChecked(r, false);
    TimerRow& row = at(r);
    row.dayEnabled = false;
    row.day = 0;
    row.sinceText.clear();
}

void SetTimerLogic::lockRow(int r) {
    TimerRow& row = at(r);
    if (row.invalid) return;
    row.labelsEnabled = false;
    row.kindEnabled = false;
    row.dayEnabled = false;
    row.timeEnabled = false;
    row.checkEnabled = !CascadeActive_;
}

void SetTimerLogic::labelRows() {
    const std::string bank = std::to_string(PageBank_ + 1);
    for (int r = 0; r < kTimerRows; ++r) {
        TimerRow& row = at(r);
        const int line = lineOfRow(r);
        row.bankText = line == kAllBanksLine ? kAllText : bank;
        row.portText = line <= kWholeBankLine ? std::string(kAllText) : std::to_string(line - 1);
    }
}

void SetTimerLogic::recaptionClearButtons() {
    clearCaption_ = "Clear Bank " + std::to_string(PageBank_ + 1);
    view_.setClearBankCaption(clearCaption_);
}

// ---- Filling rows ---------------------------------------------------------------------------

void SetTimerLogic::ShowBankPage(const Entries& entries, TimerPage page) {
    const int first = firstRowOf(page);
    for (int p = 0; p < kPortsPerBank; ++p) {
        TimerRow& row = at(first + p + 2);
        row.invalid = entries[static_cast<std::size_t>(p)].invalid != 0;
        if (row.invalid) {
            // Nothing of a timer that cannot run may be collected or compared.
            row.checked = false;
            row.changed = false;
            row.sinceText = kInvalidText;
            row.sinceEnabled = true;
        } else {
            row.sinceText.clear();
        }
    }
    FlagScope loading(RowsLoading_, true);
    const TimerEntry& bankWide = entries[0];
    if (bankWide.scope == ScopeAllBanks) {
        for (int line = 0; line < kRowsPerPage; ++line) showEntry(first + line, bankWide);
    } else if (bankWide.scope == ScopeBank) {
        resetRow(first + kAllBanksLine);
        for (int line = kWholeBankLine; line < kRowsPerPage; ++line) showEntry(first + line, bankWide);
    } else {
        resetRow(first + kAllBanksLine);
        resetRow(first + kWholeBankLine);
        for (int p = 0; p < kPortsPerBank; ++p) showEntry(first + p + 2, entries[static_cast<std::size_t>(p)]);
    }
}

void SetTimerLogic::showEntry(int r, const TimerEntry& e) {
    if (at(r).invalid) return;
    at(r).changed = e.enabled != 0;
    // As a click: the rules see the values the row holds before this entry.
    setChecked(r, e.enabled != 0);
    TimerRow& row = at(r);
    row.kind = kindOrAfter(e.kind);
    row.dayEnabled = row.kind == KindEveryWeek;
    row.day = dayOrNone(e.weekday);
    row.hourText = std::to_string(e.hour);
    row.minuteText = std::to_string(e.minute);
    row.sinceText = sinceLabelText(e);
    if (row.checked) {
        row.sinceEnabled = false;
        row.dayEnabled = false;
        if (e.sinceDate[0] == '\0') row.sinceText.clear();
    } else {
        row.sinceText.clear();
        row.kind = KindAfter;
        row.day = 0;
        row.dayEnabled = false;
        showZero(row.hourText);
        showZero(row.minuteText);
    }
}

void SetTimerLogic::showPageBank() {
    const int bank = PageBank_;
    Entries on{};
    Entries off{};
    d_.tables.withLock([&](const TimerTables::Tables& t) {
        on = t.editOn[static_cast<std::size_t>(bank)];
        off = t.editOff[static_cast<std::size_t>(bank)];
    });
    // Filled outside the lock: the rules may show message boxes.
    ShowBankPage(on, TimerPage::powerOn);
    ShowBankPage(off, TimerPage::powerOff);
}

void SetTimerLogic::aboutToShow() {
    const HandlerScope handler(*this);
    PageBank_ = clampedBank(DialogBank_);
    recaptionClearButtons();
    d_.tables.copyLiveToEdit(bankCount());
    for (int r = 0; r < kTimerRows; ++r) resetRow(r);
    labelRows();
    showPageBank();
    // Selecting the shown bank's tab is no tab change: the rows just filled
    // are not collected (they would all become pending and be sent again).
    selectTabQuietly(PageBank_);
    for (TimerRow& row : rows_) row.changed = false;
    flush();
}

// ---- Buttons and tabs -----------------------------------------------------------------------------

void SetTimerLogic::onOkClicked() {
    const HandlerScope handler(*this);
    CollectBank();
    flush();
    view_.closeDialog(true);
}

void SetTimerLogic::onCancelClicked() { view_.closeDialog(false); }

void SetTimerLogic::ApplyClick() {
    const HandlerScope handler(*this);
    CollectBank();
    if (d_.ReturnToTransfer) d_.ReturnToTransfer();
    if (selectedTab_ >= 0) DialogBank_ = selectedTab_;
    flush();
}

void SetTimerLogic::btnSaveClick() {
    const HandlerScope handler(*this);
    CollectBank();
    flush();
    // The file holds what the rows showed when Save was pressed, whatever
    // happens while the chooser is open.
    const std::string text = formatSchedule(d_.tables, bankCount());
    const std::string path = d_.dialogs.saveFile(scheduleSaveChoice());
    if (path.empty()) return;
    const FileSave saved = saveFileAtomically(path, text);
    if (saved.status == FileIoStatus::ok) return;
    message("The schedule could not be saved to\r" + path + "\r(" +
                (saved.error.empty() ? std::string("write error") : saved.error) +
                "). The file on disk was not changed.",
            MessageIcon::stop);
}

void SetTimerLogic::btnLoadClick() {
    const HandlerScope handler(*this);
    const std::string path = d_.dialogs.openFile(scheduleOpenChoice());
    if (path.empty()) return;
    const ScheduleLoad loaded = loadScheduleFile(path, d_.tables, bankCount());
    if (loaded.status == FileIoStatus::tooLarge) {
        message(path + "\ris too large to be a schedule file (more than 1 MiB). Nothing was loaded.",
                MessageIcon::stop);
        return;
    }
    if (loaded.status != FileIoStatus::ok) return;  // could not be opened: nothing to say
    PageBank_ = clampedBank(selectedTab_ >= 0 ? selectedTab_ : PageBank_);
    for (int r = 0; r < kTimerRows; ++r) resetRow(r);
    labelRows();
    showPageBank();
    recaptionClearButtons();
    // changed stays as the fill left it: every enabled timer read from the
    // file counts as changed and goes out with the next OK or Apply.
    flush();
}

void SetTimerLogic::uncheckAllRows() {
    for (int r = 0; r < kTimerRows; ++r) setChecked(r, false);
}

void SetTimerLogic::btnClearClick() {
    const HandlerScope handler(*this);
    uncheckAllRows();
    const int limit = tableBankLimit(bankCount());
    d_.tables.withLock([&](TimerTables::Tables& t) {
        for (TimerTable* table : {&t.editOn, &t.editOff}) {
            for (int b = 0; b < limit; ++b) {
                for (TimerEntry& e : (*table)[static_cast<std::size_t>(b)]) {
                    if (e.enabled != 1) continue;
                    e.enabled = 0;
                    e.pending = 1;
                    if (e.scope == ScopeAllBanks) e.scope = ScopeClearAll;
                    else if (e.scope == ScopeBank) e.scope = ScopeClearBank;
                }
            }
        }
    });
    flush();
}

void SetTimerLogic::btnOneBankClick() {
    const HandlerScope handler(*this);
    uncheckAllRows();
    flush();
}

void SetTimerLogic::tabChosen(int index) {
    const HandlerScope handler(*this);
    if (!view_.dialogVisible() || index < 0 || index >= static_cast<int>(tabs_.size())) return;
    CollectBank();
    selectedTab_ = index;
    view_.selectTab(index);
    PageBank_ = clampedBank(index);
    for (int r = 0; r < kTimerRows; ++r) resetRow(r);
    labelRows();
    showPageBank();
    recaptionClearButtons();
    for (TimerRow& row : rows_) row.changed = false;
    flush();
}

// ---- Drawing ------------------------------------------------------------------------------------------

void SetTimerLogic::message(const std::string& text, MessageIcon icon) {
    flush();  // the box appears over the rows as they stand
    d_.dialogs.message(text, "", icon, MessageButtons::ok);
}

void SetTimerLogic::flush() {
    for (int r = 0; r < kTimerRows; ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (everDrawn_[i] && drawn_[i] == rows_[i]) continue;
        view_.drawRow(r, rows_[i]);
        drawn_[i] = rows_[i];
        everDrawn_[i] = true;
    }
}

void SetTimerLogic::redrawAll() {
    everDrawn_.fill(false);
    flush();
}

}  // namespace velmora
