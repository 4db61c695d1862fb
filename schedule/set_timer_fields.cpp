// The Set Timer dialog's kind, day, hour and minute fields: what they
// accept, their limits and their up-down buttons.

#include "schedule/set_timer_logic.h"

#include <algorithm>

namespace velmora {

// ---- Kind, hour and minute fields --------------------------------------------------------------

void SetTimerLogic::cmbAfterSelect(int r, int index) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows || index < KindAfter || index > KindEveryWeek) return;
    TimerRow& row = at(r);
    row.kind = index;
    if (row.kind == KindEveryWeek) {
        row.dayEnabled = true;
    } else {
        row.dayEnabled = false;
        row.day = 0;
    }
    if (row.kind != KindAfter && fieldNumber(row.hourText) > kDayHourLimit) row.hourText = std::to_string(kDayHourLimit);
    flush();
}

void SetTimerLogic::cmbDaySelect(int r, int index) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows || index < 0 || index > 7) return;
    at(r).day = index;
    flush();
}

int SetTimerLogic::fieldLimit(int r, RowField field) const {
    return field == RowField::hour ? row(r).hourLimit() : kMinuteLimit;
}

std::string& SetTimerLogic::fieldText(int r, RowField field) {
    return field == RowField::hour ? at(r).hourText : at(r).minuteText;
}

void SetTimerLogic::fieldCheck(int r, RowField field, std::string_view text) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows) return;
    // Keys other than digits never get in; pasted text is cut to its digits.
    std::string& shown = fieldText(r, field);
    shown = fieldDigits(text);
    const int limit = fieldLimit(r, field);
    if (!shown.empty() && fieldNumber(shown) > limit) {
        message(kValueRangePrefix + std::to_string(limit), MessageIcon::none);
        fieldText(r, field) = std::to_string(limit);
        view_.focusField(r, field);
    }
    flush();
}

bool SetTimerLogic::fieldExitCheck(int r, RowField field) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows) return false;
    const std::string& shown = fieldText(r, field);
    const int limit = fieldLimit(r, field);
    if (!shown.empty() && fieldNumber(shown) <= limit) return false;
    message(kValueMustPrefix + std::to_string(limit), MessageIcon::none);
    fieldText(r, field) = std::to_string(limit);
    flush();
    view_.focusField(r, field);
    return true;
}

void SetTimerLogic::upDownClick(int r, RowField field, bool up) {
    const HandlerScope handler(*this);
    if (r < 0 || r >= kTimerRows) return;
    const int limit = fieldLimit(r, field);
    int v = fieldNumber(fieldText(r, field));
    if (v > limit)
        v = up ? 0 : limit;
    else if (up)
        v = v >= limit ? 0 : v + 1;
    else
        v = v <= 0 ? limit : v - 1;
    fieldText(r, field) = std::to_string(v);
    flush();
    view_.focusField(r, field);
}

void SetTimerLogic::hourCheck(int r, std::string_view text) { fieldCheck(r, RowField::hour, text); }
void SetTimerLogic::minCheck(int r, std::string_view text) { fieldCheck(r, RowField::minute, text); }
bool SetTimerLogic::hourExitCheck(int r) { return fieldExitCheck(r, RowField::hour); }
bool SetTimerLogic::minExitCheck(int r) { return fieldExitCheck(r, RowField::minute); }
void SetTimerLogic::hourUpDownClick(int r, bool up) { upDownClick(r, RowField::hour, up); }
void SetTimerLogic::minUpDownClick(int r, bool up) { upDownClick(r, RowField::minute, up); }

}  // namespace velmora
