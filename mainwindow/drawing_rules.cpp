#include "mainwindow/drawing_rules.h"

namespace velmora {

namespace {

constexpr int kPointOffset = 10;  // currentDigitPictures: digit followed by a decimal point
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
        case PictureList::portLed: return 4;
        case PictureList::firstPortLed: return 4;
        case PictureList::currentDigits: return 20;
        case PictureList::bankDigits: return 10;
        case PictureList::portButton: return 2;
        case PictureList::menuButton: return 2;
    }
    return 0;
}

PictureRef ledPicture(int port, bool on, bool alarm) {
    return {port == 1 ? PictureList::firstPortLed : PictureList::portLed, 2 * (on ? 1 : 0) + (alarm ? 1 : 0)};
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

ComponentName componentName(ComponentId c) {
    const int slot = c.number / 10;
    const int position = c.number % 10;
    switch (c.kind) {
        case ComponentKind::panel: return named("UniClass", c.number);
        case ComponentKind::separator: return named("imSeparated", c.number);
        case ComponentKind::portButton: return named("imButton", c.number);
        case ComponentKind::portLed: return named("imLed", c.number);
        case ComponentKind::timeLabel: return named("lblShowTime", c.number);
        case ComponentKind::currentDigit: return named("imDisCurrent", slot, position);
        case ComponentKind::bankDigit: return named("imDisBank", slot, position);
        case ComponentKind::menuButton: return named("btnRight", c.number);
        case ComponentKind::currentDisplay: return named("CurrentDisplay", c.number);
        case ComponentKind::bankDisplay: return named("BankDisplay", c.number);
    }
    return ComponentName();
}

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
