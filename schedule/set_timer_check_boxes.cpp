// The Set Timer dialog's check-box rules: what a row's check box may do,
// and the cascade of one row's change into the rows it covers.

#include "schedule/set_timer_logic.h"

#include <algorithm>

namespace velmora {

namespace {

int pageEnd(int row) { return row < kRowsPerPage ? kRowsPerPage : kTimerRows; }

}  // namespace

// ---- Check-box rules ----------------------------------------------------------------------

void SetTimerLogic::setChecked(int r, bool checked) {
    if (at(r).checked == checked) return;  // a box set to what it shows does not click
    at(r).checked = checked;
    chkEnableChange(r);
}

void SetTimerLogic::chkEnableClick(int r, bool checked) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows) return;
    // A row without a usable timer ignores its (hidden) box.
    if (!at(r).invalid) setChecked(r, checked);
    flush();
}

void SetTimerLogic::chkEnableChange(int r) {
    if (EnableGuard_ || at(r).invalid) return;
    at(r).changed = true;
    const int line = lineOfRow(r);
    if (!at(r).checked) {
        resetRow(r);
        if (line <= kWholeBankLine)
            for (int f = r + 1; f < pageEnd(r); ++f) resetRow(f);
        return;
    }
    if (at(r).kind == KindEveryWeek && at(r).day == 0) {
        message(kDayFieldMessage, MessageIcon::stop);
        refuse(r);
        return;
    }
    const int other = counterpartRow(r);
    if (at(other).checked && !at(other).invalid && sameTrigger(r, other)) {
        if (!RowsLoading_)
            message(r < kRowsPerPage ? kSameTimeAsPowerOffMessage : kSameTimeAsPowerOnMessage, MessageIcon::stop);
        refuse(r);
        return;
    }
    lockRow(r);
    // Inside a cascade the outer one already copies into the same rows.
    if (line <= kWholeBankLine && !CascadeActive_) cascade(r);
}

void SetTimerLogic::refuse(int r) {
    {
        FlagScope guard(EnableGuard_, true);
        setChecked(r, false);
    }
    at(r).changed = false;
}

void SetTimerLogic::cascade(int r) {
    FlagScope active(CascadeActive_, true);
    for (int f = r + 1; f < pageEnd(r); ++f) {
        // A port without a usable timer takes no part.
        if (at(f).invalid) continue;
        setChecked(f, false);
        TimerRow& row = at(f);
        const TimerRow& source = at(r);
        row.kind = source.kind;
        row.day = source.day;
        row.hourText = source.hourText;
        row.minuteText = source.minuteText;
        setChecked(f, true);
    }
}

int SetTimerLogic::counterpartRow(int r) const {
    if (r < kRowsPerPage) {
        if (r == 0 && !rows_[kRowsPerPage].checked) return kRowsPerPage + kWholeBankLine;
        return r + kRowsPerPage;
    }
    if (r == kRowsPerPage && !rows_[0].checked) return kWholeBankLine;
    return r - kRowsPerPage;
}

bool SetTimerLogic::sameTrigger(int r, int other) const {
    const LocalMoment now = d_.clock.now();
    auto entryOf = [](const TimerRow& row) {
        TimerEntry e;
        e.kind = row.kind;
        e.weekday = row.day;
        e.hour = fieldNumber(row.hourText);
        e.minute = fieldNumber(row.minuteText);
        return e;
    };
    const TimeLeft a = TimeToTrigger(entryOf(row(r)), TriggerMode::display, now);
    const TimeLeft b = TimeToTrigger(entryOf(row(other)), TriggerMode::display, now);
    return a.hours == b.hours && a.minutes == b.minutes;
}

}  // namespace velmora
