#pragma once

// The pure rules by which the main window turns bank records and timer
// results into pictures, digits, texts and component names. No state, no
// I/O, no allocation: every text is built in a small fixed buffer.
//
// Numbering: banks count from 1, slots 1..3 (top to bottom), ports 1..8.
// The port key of port p in slot s is s * 10 + p (11..18, 21..28, 31..38).

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/report_rules.h"

namespace velmora {

// Number of bank panels the window shows at once.
inline constexpr int kSlotCount = 3;
// Ports of one bank panel.
inline constexpr int kSlotPorts = 8;

// A short text in a fixed buffer: appends that would not fit are cut, so it
// never overruns and never allocates.
template <std::size_t Capacity>
class FixedText {
public:
    FixedText() = default;
    explicit FixedText(std::string_view text) { append(text); }

    FixedText& append(std::string_view text) {
        const std::size_t n = std::min(text.size(), Capacity - size_);
        std::copy_n(text.data(), n, buf_ + size_);
        size_ += n;
        return *this;
    }
    FixedText& append(char c) { return append(std::string_view(&c, 1)); }
    // Decimal, with a '-' for negative values.
    FixedText& appendInt(long long value) {
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, value);
        return append(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }
    // Decimal right-aligned in `width` characters with blanks as filler,
    // like printf's "%*d".
    FixedText& appendPadded(long long value, std::size_t width) {
        FixedText<24> digits;
        digits.appendInt(value);
        for (std::size_t i = digits.size(); i < width; ++i) append(' ');
        return append(digits.view());
    }

    std::string_view view() const { return std::string_view(buf_, size_); }
    operator std::string_view() const { return view(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }

    friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

private:
    char buf_[Capacity] = {};
    std::size_t size_ = 0;
};

// Object names ("imLed23", "lblShowTime31"...) and accessible names
// ("Bank 12 Port 3 off, alarm") both fit in 32 characters.
using ComponentName = FixedText<32>;
using SpokenText = FixedText<48>;

// The picture lists the window draws its components from.
enum class PictureList {
    portLed,     // port LED of ports 2..8: 0 dark, 1 ALARM lit, 2 ON lit, 3 both
    firstPortLed,    // the same four states for port 1 (wide, with the lamp words)
    currentDigits,  // current digits: 0..9, and 10..19 the same with a decimal point
    bankDigits,  // bank-number digits 0..9
    portButton,  // port button: 0 pressed, 1 released
    menuButton,  // panel menu button: 0 released, 1 pressed
};

// Number of pictures in each list; every index a rule returns is below it.
int pictureCount(PictureList list);

struct PictureRef {
    PictureList list;
    int index;

    friend bool operator==(const PictureRef&, const PictureRef&) = default;
};

// ---- Bank-to-slot mapping -------------------------------------------------

// Bank shown in `slot` (1..3) while the scroll bar stands at `firstShown`.
constexpr int bankInSlot(int firstShown, int slot) { return firstShown + slot - 1; }
// Slot (1..3) that shows `bank`, or 0 when the bank is not among the three.
constexpr int slotOfBank(int bank, int firstShown) {
    const int slot = bank - firstShown + 1;
    return slot >= 1 && slot <= kSlotCount ? slot : 0;
}
constexpr int portKey(int slot, int port) { return slot * 10 + port; }

// ---- LED rule ---------------------------------------------------------------

// Picture of the LED of `port`: firstPortLedPictures for port 1, portLedPictures otherwise, at
// index 2 * on + alarm.
PictureRef ledPicture(int port, bool on, bool alarm);

// ---- Timer-flag rule: timerFlagRule, with portIsOn, in link/report_rules.h --

// ---- Current rule -----------------------------------------------------------

// The two digits of the current display for `amperes`, as currentDigitPictures
// indexes, and the reading they show ("3.4", "12", "0.0").
//  - Below 10 A: tenths, the first digit with the decimal point (index
//    10..19): 3.46 A -> 13, 4 ("3.4"); 0.05 A -> 10, 0 ("0.0").
//  - 10 A up to below 100 A: whole amperes: 12.7 A -> 1, 2 ("12").
//  - Digits are cut, not rounded, but a reading that lies within 1/1000 of
//    a digit below the next one counts as that digit, so that 0.7 A held in
//    single precision (0.69999999) shows 0.7 and not 0.6.
//  - 100 A or more, and +infinity, show 99 (the most two digits can say);
//    negative readings and NaN show 0.0.
// Both indexes always lie in 0..19.
struct CurrentDigits {
    int first;   // currentDigitPictures index of the left digit
    int second;  // currentDigitPictures index of the right digit, 0..9
    FixedText<8> reading;  // what the two digits read, e.g. "3.4"
};
CurrentDigits currentDigits(float amperes);

// ---- Bank-number rule -------------------------------------------------------

// The two bankDigitPictures digits of a bank number: 12 -> 1, 2; 7 -> 0, 7.
// Numbers above 99 show 99 and negative ones 00, so both lie in 0..9.
struct BankDigits {
    int tens;
    int units;

    friend bool operator==(const BankDigits&, const BankDigits&) = default;
};
BankDigits bankDigits(int bankNo);

// ---- Time label -------------------------------------------------------------

// "%2d:%2d": hours and minutes, each right-aligned in two characters with a
// blank as filler (5 h 7 min -> " 5: 7"). Hours above 999 are shown as 999
// and minutes above 99 as 99, negative values as 0, so the text never has
// more than six characters (weekly timers legitimately reach 167 hours and
// reported delays 999).
FixedText<8> formatTimeLabel(int hours, int minutes);

// ---- Components ----------------------------------------------------------------

// The components of the bank panels the window's logic draws, addressed by
// kind and number rather than by their object names.
enum class ComponentKind : std::uint8_t {
    panel,         // "UniClass" + slot
    separator,     // "imSeparated" + index (1, 2)
    portButton,    // "imButton" + key
    portLed,       // "imLed" + key
    timeLabel,     // "lblShowTime" + key
    currentDigit,  // "imDisCurrent" + slot + position (1, 2)
    bankDigit,     // "imDisBank" + slot + position (1, 2)
    menuButton,    // "btnRight" + slot
    currentDisplay,  // "CurrentDisplay" + slot: the two current digits as one object
    bankDisplay,     // "BankDisplay" + slot: the two bank-number digits as one object
};
inline constexpr int kComponentKinds = 10;
// Numbers lie below this: a port key (slot * 10 + port) or slot * 10 + position.
inline constexpr int kComponentNumbers = 40;

struct ComponentId {
    ComponentKind kind;
    int number;  // slot, separator index, port key, or slot * 10 + position

    friend constexpr bool operator==(ComponentId, ComponentId) = default;
    friend constexpr auto operator<=>(ComponentId, ComponentId) = default;
};

constexpr ComponentId panelId(int slot) { return {ComponentKind::panel, slot}; }
constexpr ComponentId separatorId(int index) { return {ComponentKind::separator, index}; }
constexpr ComponentId portButtonId(int key) { return {ComponentKind::portButton, key}; }
constexpr ComponentId portLedId(int key) { return {ComponentKind::portLed, key}; }
constexpr ComponentId timeLabelId(int key) { return {ComponentKind::timeLabel, key}; }
constexpr ComponentId currentDigitId(int slot, int position) {
    return {ComponentKind::currentDigit, slot * 10 + position};
}
constexpr ComponentId bankDigitId(int slot, int position) { return {ComponentKind::bankDigit, slot * 10 + position}; }
constexpr ComponentId menuButtonId(int slot) { return {ComponentKind::menuButton, slot}; }
constexpr ComponentId currentDisplayId(int slot) { return {ComponentKind::currentDisplay, slot}; }
constexpr ComponentId bankDisplayId(int slot) { return {ComponentKind::bankDisplay, slot}; }

// Dense index of a component, kind by kind, for tables of components;
// -1 when the number is out of range.
constexpr int componentIndex(ComponentId c) {
    return c.number < 0 || c.number >= kComponentNumbers ? -1
                                                         : static_cast<int>(c.kind) * kComponentNumbers + c.number;
}
inline constexpr int kComponentIndexes = kComponentKinds * kComponentNumbers;

// The component's object name in the window ("imLed23", "UniClass2").
ComponentName componentName(ComponentId c);

// ---- Accessible names ---------------------------------------------------------

SpokenText spokenButton(int bank, int port);                   // "Bank B Port P"
SpokenText spokenLed(int bank, int port, bool on, bool alarm); // "Bank B Port P on[, alarm]" / "... off..."
SpokenText spokenCurrent(int bank, std::string_view reading);  // "Bank B current X A"
SpokenText spokenBankNumber(int bank);                         // "Bank B"
SpokenText spokenMenuButton(int bank);                         // "Bank B menu"

// Captions of the per-bank menu items and Set Timer tabs.
FixedText<16> versionItemCaption(int bank);  // "Bank " + bank
FixedText<16> timerTabCaption(int bank);     // "Bank" + bank + " " (no blank after the word, one at the end)

}  // namespace velmora
