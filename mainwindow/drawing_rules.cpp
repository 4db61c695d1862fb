#include "mainwindow/drawing_rules.h"

namespace velmora {

namespace {

constexpr int kPointOffset = 10;  // ImageList1: digit followed by a decimal point
// A reading this close (in units of the last shown digit) below the next
// digit counts as that digit: single precision holds 0.7 as 0.69999999.
constexpr double kDigitSlack = 1e-3;

ComponentName named(std::string_view prefix, int number) {
    ComponentName n(prefix);
    n.appendInt(number);
    return n;
}

ComponentName named(std::string_view prefix, int slot, int position) {
    ComponentName n(prefix);
    n.appendInt(slot);
    n.appendInt(position);
    return n;
}

SpokenText bankPort(int bank, int port) {
    SpokenText t("Bank ");
    t.appendInt(bank).append(" Port ").appendInt(port);
    return t;
}

}  // namespace

int pictureCount(PictureList list) {
    switch (list) {
        case PictureList::imlLed: return 4;
        case PictureList::imlRLed: return 4;
        case PictureList::ImageList1: return 20;
        case PictureList::imlBankNo: return 10;
        case PictureList::imlButton: return 2;
        case PictureList::imLogo: return 2;
    }
    return 0;
}

PictureRef ledPicture(int port, bool on, bool alarm) {
    return {port == 1 ? PictureList::imlRLed : PictureList::imlLed, 2 * (on ? 1 : 0) + (alarm ? 1 : 0)};
}

CurrentDigits currentDigits(float amperes) {
    CurrentDigits d{};
    const double x = amperes;
    int shown;       // the two digits as one number 0..99
    bool point;      // first digit carries the decimal point (tenths shown)
    if (!(x > 0.0)) {  // negative, zero or NaN
        shown = 0;
        point = true;
    } else if (x * 10.0 + kDigitSlack < 100.0) {
        shown = static_cast<int>(x * 10.0 + kDigitSlack);  // tenths, 0..99
        point = true;
    } else if (x + kDigitSlack < 100.0) {
        shown = static_cast<int>(x + kDigitSlack);  // whole amperes, 10..99
        point = false;
    } else {  // 100 A and more, +infinity: the most two digits can say
        shown = 99;
        point = false;
    }
    const int tens = shown / 10;
    const int units = shown % 10;
    d.first = (point ? kPointOffset : 0) + tens;
    d.second = units;
    d.reading.appendInt(tens);
    if (point) d.reading.append('.');
    d.reading.appendInt(units);
    return d;
}

BankDigits bankDigits(int bankNo) {
    const int n = std::clamp(bankNo, 0, 99);
    const int tens = n > 9 ? n / 10 : 0;
    return {tens, n - 10 * tens};
}

FixedText<8> formatTimeLabel(int hours, int minutes) {
    FixedText<8> t;
    t.appendPadded(std::clamp(hours, 0, 999), 2);
    t.append(':');
    t.appendPadded(std::clamp(minutes, 0, 99), 2);
    return t;
}

ComponentName panelName(int slot) { return named("UniClass", slot); }
ComponentName separatorName(int index) { return named("imSeparated", index); }
ComponentName buttonName(int key) { return named("imButton", key); }
ComponentName ledName(int key) { return named("imLed", key); }
ComponentName timeLabelName(int key) { return named("lblShowTime", key); }
ComponentName currentDigitName(int slot, int position) { return named("imDisCurrent", slot, position); }
ComponentName bankDigitName(int slot, int position) { return named("imDisBank", slot, position); }
ComponentName menuButtonName(int slot) { return named("btnRight", slot); }

SpokenText spokenButton(int bank, int port) { return bankPort(bank, port); }

SpokenText spokenLed(int bank, int port, bool on, bool alarm) {
    SpokenText t = bankPort(bank, port);
    t.append(on ? " on" : " off");
    if (alarm) t.append(", alarm");
    return t;
}

SpokenText spokenCurrent(int bank, std::string_view reading) {
    SpokenText t("Bank ");
    t.appendInt(bank).append(" current ").append(reading).append(" A");
    return t;
}

SpokenText spokenBankNumber(int bank) {
    SpokenText t("Bank ");
    t.appendInt(bank);
    return t;
}

SpokenText spokenMenuButton(int bank) {
    SpokenText t = spokenBankNumber(bank);
    t.append(" menu");
    return t;
}

FixedText<16> versionItemCaption(int bank) {
    FixedText<16> t("Bank ");
    t.appendInt(bank);
    return t;
}

FixedText<16> timerTabCaption(int bank) {
    FixedText<16> t("Bank");
    t.appendInt(bank).append(' ');
    return t;
}

}  // namespace velmora
