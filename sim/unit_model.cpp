#include "sim/unit_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace velmora::sim {

namespace {

constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
constexpr std::size_t kCommandLogLimit = 100000;

std::string frame(const std::string& text) { return "/" + text + "\\"; }

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digitsValue(std::string_view s) {
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

bool validVersion(const std::string& v) { return v.size() == 4 && allDigits(v); }

std::string twoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && isLeap(y)) ? 29 : days[m - 1];
}

// Seconds from 1970-01-01 00:00:00 to a moment of the unit's clock
// (proleptic Gregorian days, as in the civil-from-days algorithm).
std::int64_t clockSeconds(const LocalMoment& m) {
    const std::int64_t y = m.month <= 2 ? m.year - 1 : m.year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m.month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + m.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    return ((days * 24 + m.hour) * 60 + m.minute) * 60 + m.second;
}

}  // namespace

UnitModel::UnitModel(UnitConfig config)
    : config_(std::move(config)),
      banks_(std::clamp(config_.banks, 1, kMaxBanks)),
      rtc_(config_.clockStart),
      firmwareValid_(!config_.faults.missingFirmware),
      loader_(config_) {
    for (int b = 0; b < kMaxBanks; ++b) {
        const bool given = b < static_cast<int>(config_.versions.size()) && validVersion(config_.versions[b]);
        versions_[b] = given ? config_.versions[b] : "1203";
    }
    if (!validVersion(config_.upgradedVersion)) config_.upgradedVersion = "1204";
}

std::string UnitModel::feed(std::string_view bytes) {
    return feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string UnitModel::feed(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n && !hangUp_; ++i) {
        lastActivityMs_ = nowMs_;
        if (loader_.phase() != UpgradePhase::idle) {
            // Image bytes are raw: no framing while the loader listens.
            applyLoaderEvent(loader_.takeByte(bytes[i], nowMs_, out));
            continue;
        }
        auto body = framer_.push(bytes[i]);
        if (!body) continue;
        if (commands_.size() >= kCommandLogLimit) commands_.erase(commands_.begin(), commands_.begin() + kCommandLogLimit / 2);
        commands_.push_back(*body);
        if (silent_) continue;
        out += handleCommand(*body);
    }
    return out;
}

std::string UnitModel::handleCommand(const std::string& body) {
    if (!firmwareValid_) {
        // The loader knows only the greeting and the upgrade command.
        if (body == "uni") return frame("abc");
        if (body == "UPGRADE") return enterUpgrade();
        return {};
    }
    if (body == "uni") return frame("xyz");
    if (body == "VER") return upgraded_ && config_.faults.versionsLostAfterUpgrade ? std::string() : answerVersions();
    if (body == "C") return answerPoll();
    if (body == "UPGRADE") return enterUpgrade();
    if (body == "EN001") {
        restore_ = true;
        return {};
    }
    if (body == "DS001") {
        restore_ = false;
        return {};
    }
    if (body.rfind("SETTIME", 0) == 0) return setClock(body);
    if (body.size() == 4 && (body[0] == 'O' || body[0] == 'F') && allDigits(body.substr(1)))
        return switchPorts(body[0], body.substr(1));
    if (body.size() == 5 && body[0] == 'Q' && allDigits(body.substr(1))) return clearTimers(body);
    if (!body.empty() && (body[0] == 'T' || body[0] == 'D' || body[0] == 'W')) return setTimer(body);
    return {};
}

std::string UnitModel::enterUpgrade() {
    framer_.reset();
    return loader_.prompt(true, nowMs_);
}

std::string UnitModel::answerVersions() const {
    std::string out;
    for (int b = 1; b <= banks_; ++b) {
        std::string line = "V";
        line += twoDigits(b);
        line += ' ';
        line += versions_[b - 1];
        out += frame(line);
    }
    if (config_.faults.badBanks) {
        out += frame("V00 0000");
        out += frame("V17 1203");
        out += frame("V99 9999");
    }
    return out;
}

std::string UnitModel::answerPoll() {
    const Faults& f = config_.faults;
    if (f.hangUpAfterPolls >= 0 && polls_ >= f.hangUpAfterPolls) {
        hangUp_ = true;
        return {};
    }
    if (f.silentAfterPolls >= 0 && polls_ >= f.silentAfterPolls) {
        silent_ = true;
        return {};
    }
    const int pollIndex = polls_++;
    std::string out;
    if (f.junk) out += std::string("#~?\x01\x7f\xfe", 6) + std::string(1, '\0');
    out += frame(std::string("M") + std::to_string(banks_));
    for (int b = 1; b <= banks_; ++b) {
        StatusForm form = config_.statusForm;
        if (form == StatusForm::rotate) form = static_cast<StatusForm>((pollIndex + b) % 3);
        out += statusLines(b, form);
    }
    if (f.junk) {
        // Longer than any line the PC keeps, then words longer than its word fields.
        out += frame(std::string(120, 'Z'));
        out += frame(std::string("X") + std::string(40, 'x') + " " + std::string(30, 'y') + " " + std::string(20, 'z') + " " +
                     std::string(20, 'w'));
        out += "~#";
    }
    if (f.badBanks) {
        out += frame("S0 OOOOOOOO");
        out += frame("S17 CCCCCCCC");
        out += frame("S20 OCOCOCOC GGGGGGGG 9.9");
        out += frame("S99 GGGGFGGG");
        out += frame("C-1 3.5");
        out += frame("C17 2.0");
        out += frame("T1711 0010000");
        out += frame("T9901 0000100");
    }
    out += timerReports();
    return out;
}

std::string UnitModel::statusLines(int bank, StatusForm form) const {
    const std::string b = std::to_string(bank);
    switch (form) {
    case StatusForm::split:
        return frame("S" + b + " " + portStates(bank)) + frame("S" + b + " " + timerFlags(bank)) +
               frame("C" + b + " " + currentText(bank));
    case StatusForm::combinedFlagsFirst:
        return frame("S" + b + " " + timerFlags(bank) + " " + portStates(bank) + " " + currentText(bank));
    case StatusForm::combined:
    case StatusForm::rotate:
        break;
    }
    return frame("S" + b + " " + portStates(bank) + " " + timerFlags(bank) + " " + currentText(bank));
}

std::string UnitModel::timerReports() const {
    std::string out;
    for (const auto& [key, t] : timers_) {
        std::int64_t left = secondsLeft(t);
        std::int64_t hours = std::min<std::int64_t>(left / 3600, 999);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%c%02d%01d%01d %03d%02d%02d", t.letter, t.bank, t.port, t.action,
                      static_cast<int>(hours), static_cast<int>(left / 60 % 60), static_cast<int>(left % 60));
        out += frame(buf);
    }
    return out;
}

bool UnitModel::validAddress(int bank, int port) const {
    if (port < 0 || port > kPorts) return false;
    if (bank == 0) return port == 0;
    return bank <= banks_;
}

std::string UnitModel::switchPorts(char letter, const std::string& digits) {
    // No answer of its own: the unit's next status line shows the switching.
    const int bank = digitsValue(digits.substr(0, 2));
    const int port = digits[2] - '0';
    if (!validAddress(bank, port)) return {};
    switchScope(bank, port, letter == 'O');
    return {};
}

void UnitModel::switchScope(int bank, int port, bool on) {
    for (int b = 1; b <= banks_; ++b) {
        if (bank != 0 && b != bank) continue;
        for (int p = 1; p <= kPorts; ++p) {
            if (port != 0 && p != port) continue;
            on_[b - 1][p - 1] = on;
        }
    }
}

std::string UnitModel::clearTimers(const std::string& body) {
    const int bank = digitsValue(body.substr(1, 2));
    const int port = body[3] - '0';
    const int action = body[4] - '0';
    if (!validAddress(bank, port) || action > 1) return {};
    std::erase_if(timers_, [&](const auto& entry) {
        const auto& [b, p, a] = entry.first;
        if (a != action) return false;
        if (bank == 0) return true;                       // every timer of that direction
        if (port == 0) return b == bank;                  // the bank's own and its ports' timers
        return b == bank && p == port;
    });
    return frame(body);
}

std::string UnitModel::setTimer(const std::string& body) {
    // "Lbbpa hhhmmss": hours take three digits or more.
    if (body.size() < 13 || body[5] != ' ') return {};
    const std::string addr = body.substr(1, 4);
    const std::string time = body.substr(6);
    if (!allDigits(addr) || !allDigits(time) || time.size() > 9) return {};
    const int bank = digitsValue(addr.substr(0, 2));
    const int port = addr[2] - '0';
    const int action = addr[3] - '0';
    const std::int64_t hours = digitsValue(time.substr(0, time.size() - 4));
    const int minutes = digitsValue(time.substr(time.size() - 4, 2));
    const int seconds = digitsValue(time.substr(time.size() - 2));
    if (!validAddress(bank, port) || action > 1 || minutes > 59 || seconds > 59) return {};
    UnitTimer t;
    t.letter = body[0];
    t.bank = bank;
    t.port = port;
    t.action = action;
    t.dueMs = nowMs_ + ((hours * 60 + minutes) * 60 + seconds) * 1000;
    timers_[{bank, port, action}] = t;
    return frame("E" + addr);
}

std::string UnitModel::setClock(const std::string& body) {
    // "SETTIME20yy-mm-dd hh:mm:ss"
    static const std::string_view shape = "SETTIME20##-##-## ##:##:##";
    if (body.size() != shape.size()) return {};
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool ok = shape[i] == '#' ? std::isdigit(static_cast<unsigned char>(body[i])) != 0 : body[i] == shape[i];
        if (!ok) return {};
    }
    LocalMoment m;
    m.year = 2000 + digitsValue(body.substr(9, 2));
    m.month = digitsValue(body.substr(12, 2));
    m.day = digitsValue(body.substr(15, 2));
    m.hour = digitsValue(body.substr(18, 2));
    m.minute = digitsValue(body.substr(21, 2));
    m.second = digitsValue(body.substr(24, 2));
    if (m.month < 1 || m.month > 12 || m.day < 1 || m.day > daysIn(m.year, m.month) || m.hour > 23 ||
        m.minute > 59 || m.second > 59)
        return {};
    m.weekday = weekdayOf(m.year, m.month, m.day);
    // Timers fall due at moments of the unit's clock: setting the clock
    // moves every countdown by the same step, the other way. A moment the
    // clock jumped over has come: its timer fires at once.
    const std::int64_t stepMs = (clockSeconds(m) - clockSeconds(rtc_.now())) * 1000 - rtcRemainderMs_;
    for (auto& entry : timers_) entry.second.dueMs -= stepMs;
    rtc_.set(m);
    rtcRemainderMs_ = 0;
    fireDueTimers(nowMs_);
    // A unit with a dead clock battery takes the time but cannot keep it.
    return config_.faults.clockError ? frame("err") : std::string{};
}

std::string UnitModel::tick(int seconds) { return advance(static_cast<std::int64_t>(seconds) * 1000); }

std::string UnitModel::advance(std::int64_t ms) {
    std::string out;
    if (ms <= 0 || hangUp_) return out;
    const std::int64_t target = nowMs_ + ms;
    fireDueTimers(target);
    nowMs_ = target;

    rtcRemainderMs_ += ms;
    rtc_.advanceSeconds(rtcRemainderMs_ / 1000);
    rtcRemainderMs_ %= 1000;

    applyLoaderEvent(loader_.advance(nowMs_, out));
    if (!firmwareValid_ && !silent_ && config_.loaderPromptEveryMs > 0) {
        const UpgradePhase phase = loader_.phase();
        const std::int64_t since =
            phase == UpgradePhase::awaitingImage ? loader_.lastActivityMs() : std::max(lastActivityMs_, loader_.lastActivityMs());
        if ((phase == UpgradePhase::idle || phase == UpgradePhase::awaitingImage) &&
            nowMs_ - since >= config_.loaderPromptEveryMs) {
            framer_.reset();
            out += loader_.prompt(false, nowMs_);
        }
    }
    if (!out.empty()) lastActivityMs_ = nowMs_;
    return out;
}

void UnitModel::fireDueTimers(std::int64_t untilMs) {
    // In the order they fall due, so a port switched on and off within one
    // step ends in the state of the later timer.
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.dueMs <= untilMs && (next == timers_.end() || it->second.dueMs < next->second.dueMs))
                next = it;
        if (next == timers_.end()) break;
        nowMs_ = std::max(nowMs_, next->second.dueMs);
        fireTimer(next->first);
    }
}

void UnitModel::fireTimer(const TimerKey& key) {
    UnitTimer& t = timers_.at(key);
    switchScope(t.bank, t.port, t.action == 1);
    if (t.letter == 'D') {
        t.dueMs += kDayMs;
    } else if (t.letter == 'W') {
        t.dueMs += 7 * kDayMs;
    } else {
        timers_.erase(key);
    }
}

void UnitModel::applyLoaderEvent(LoaderEvent e) {
    switch (e) {
    case LoaderEvent::none:
        return;
    case LoaderEvent::completed:
        firmwareValid_ = true;
        upgraded_ = true;
        for (auto& v : versions_) v = config_.upgradedVersion;
        // New firmware starts with an empty timer memory.
        timers_.clear();
        break;
    case LoaderEvent::failed:
    case LoaderEvent::stallReset:
        firmwareValid_ = false;
        break;
    case LoaderEvent::gaveUp:
        break;  // nothing was written: whatever ran before runs on
    }
    framer_.reset();
    lastActivityMs_ = nowMs_;
}

void UnitModel::powerCycle() {
    if (!restore_)
        for (auto& bank : on_) bank.fill(false);
    // Without its battery the clock starts again from where it started.
    if (config_.faults.clockError) {
        rtc_.set(config_.clockStart);
        rtcRemainderMs_ = 0;
    }
    framer_.reset();
}

bool UnitModel::portOn(int bank, int port) const {
    if (bank < 1 || bank > banks_ || port < 1 || port > kPorts) return false;
    return on_[bank - 1][port - 1];
}

std::string UnitModel::portStates(int bank) const {
    if (bank < 1 || bank > banks_) return {};
    std::string s;
    for (bool on : on_[bank - 1]) s += on ? 'O' : 'C';
    return s;
}

std::string UnitModel::timerFlags(int bank) const {
    if (bank < 1 || bank > banks_) return {};
    std::string s;
    for (bool f : flagged_[bank - 1]) s += (f || config_.faults.clockError) ? 'F' : 'G';
    return s;
}

int UnitModel::portLoadTenths(int bank, int port) {
    // A mix of small and large loads: all eight ports of a bank on draw more
    // than 10 A, so two-digit current displays get exercised.
    static const int loads[kPorts] = {4, 11, 23, 7, 32, 15, 9, 26};
    if (port < 1 || port > kPorts) return 0;
    return loads[port - 1] + (bank - 1) % 3;
}

int UnitModel::bankCurrentTenths(int bank) const {
    if (bank < 1 || bank > banks_) return 0;
    int sum = 0;
    for (int p = 1; p <= kPorts; ++p)
        if (on_[bank - 1][p - 1]) sum += portLoadTenths(bank, p);
    return sum;
}

std::string UnitModel::currentText(int bank) const {
    const int tenths = bankCurrentTenths(bank);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string UnitModel::version(int bank) const {
    if (bank < 1 || bank > banks_) return {};
    return versions_[bank - 1];
}

std::vector<UnitTimer> UnitModel::timers() const {
    std::vector<UnitTimer> all;
    for (const auto& entry : timers_) all.push_back(entry.second);
    return all;
}

std::optional<UnitTimer> UnitModel::timer(int bank, int port, int action) const {
    auto it = timers_.find({bank, port, action});
    if (it == timers_.end()) return std::nullopt;
    return it->second;
}

std::int64_t UnitModel::secondsLeft(const UnitTimer& t) const {
    const std::int64_t ms = std::max<std::int64_t>(t.dueMs - nowMs_, 0);
    return (ms + 999) / 1000;
}

LocalMoment UnitModel::clock() const { return rtc_.now(); }

void UnitModel::setPort(int bank, int port, bool on) {
    if (bank >= 1 && bank <= banks_ && port >= 1 && port <= kPorts) on_[bank - 1][port - 1] = on;
}

void UnitModel::setTimerFlag(int bank, int port, bool flagged) {
    if (bank >= 1 && bank <= banks_ && port >= 1 && port <= kPorts) flagged_[bank - 1][port - 1] = flagged;
}

}  // namespace velmora::sim
