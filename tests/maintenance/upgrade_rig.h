#pragma once

// The upgrade's surroundings for tests: the device state and timer tables,
// scripted dialogs, manual timers, a view and writes that record, and every
// step the upgrade asks for logged in order. Lines from the unit go through
// the program's own line processor, so a test feeds what the unit sends.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "link/line_processor.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline std::string printable(const Bytes& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7f) {
            out += static_cast<char>(b);
        } else {
            static const char* hex = "0123456789abcdef";
            out += '<';
            out += hex[b >> 4];
            out += hex[b & 15];
            out += '>';
        }
    }
    return out;
}

// UpgradeDialog as a record: its state and every call in the shared log (the bar
// only in `progress`, it moves once per byte).
class RecordingUpgradeView final : public UpgradeView {
public:
    explicit RecordingUpgradeView(std::vector<std::string>& log) : log_(log) {}
    void showDialog() override {
        shown = true;
        log_.push_back("show dialog");
    }
    void closeDialog() override {
        shown = false;
        log_.push_back("close dialog");
    }
    void pressCancel() override {
        shown = false;
        log_.push_back("press cancel");
    }
    void setProgress(int percent) override { progress.push_back(percent); }
    void appendMessage(std::string_view line) override {
        messages.emplace_back(line);
        log_.push_back("memo: " + std::string(line));
    }
    void clearMessages() override {
        messages.clear();
        log_.push_back("memo cleared");
    }

    bool shown = false;
    std::vector<int> progress;
    std::vector<std::string> messages;

private:
    std::vector<std::string>& log_;
};

// Scripted dialogs whose messages and choosers also go into the log.
class LoggingDialogs final : public Dialogs {
public:
    LoggingDialogs(ScriptedDialogs& script, std::vector<std::string>& log) : script_(script), log_(log) {}
    MessageAnswer message(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ok) override {
        log_.push_back("message: " + text);
        return script_.message(text, caption, icon, buttons);
    }
    std::string openFile(const FileChoice& choice) override {
        log_.push_back("choose file");
        return script_.openFile(choice);
    }
    std::string saveFile(const FileChoice& choice) override { return script_.saveFile(choice); }

private:
    ScriptedDialogs& script_;
    std::vector<std::string>& log_;
};

struct UpgradeRig {
    std::vector<std::string> log;
    DeviceState state;
    TimerTables tables;
    ScriptedDialogs script;
    LoggingDialogs dialogs{script, log};
    ManualTimerHost timers;
    RecordingUpgradeView view{log};
    FixedClock clock{LocalMoment{2026, 12, 7, 2, 9, 5, 3}};
    std::vector<Bytes> writes;  // one entry per write call
    bool linkOpen = true;
    // Where written bytes go as well (the simulated unit), if set.
    std::function<void(const Bytes&)> onWrite;

    FirmwareUpgrade upgrade{FirmwareUpgrade::Deps{
        state,
        tables,
        dialogs,
        timers,
        view,
        [this](const std::uint8_t* bytes, std::size_t n) { write(Bytes(bytes, bytes + n)); },
        [this] {
            log.push_back("greeting");
            for (char c : std::string_view("/uni\\")) write(Bytes{static_cast<std::uint8_t>(c)});
        },
        [this] { log.push_back("purge receive"); },
        [this] {
            log.push_back("disconnect");
            linkOpen = false;
            resetLinkState(state, tables);
            upgrade.linkReset();
        },
        [this] {
            // As the link does it: once per link.
            log.push_back("info request");
            if (state.InfoRequestSent) return;
            state.InfoRequestSent = true;
            write(bytesOf("/VER\\"));
            write(bytesOf("/DS001\\"));
        },
        [this] { log.push_back("window timers off"); },
        [this] { log.push_back("window timers on"); },
        [this](int ms) { log.push_back("pause " + std::to_string(ms)); },
        {},
        [this](bool h) {
            held = h;
            holds.push_back(h);
        },
        {}}};
    bool held = false;        // the port held for the upgrade
    std::vector<bool> holds;  // every change of the hold, in order

    UpgradeRig() {
        // A connected two-bank unit that answered its information request.
        state.BankCount = 2;
        state.ShownBankCount = 2;
        state.InfoRequestSent = true;
        state.PollCount = 3;
    }

    void write(const Bytes& bytes) {
        if (!linkOpen) return;
        writes.push_back(bytes);
        // Single image bytes would drown the log; the commands are logged.
        if (bytes.size() > 1) log.push_back("write " + printable(bytes));
        if (onWrite) onWrite(bytes);
    }

    // Everything written, as one byte string.
    Bytes wire() const {
        Bytes all;
        for (const Bytes& w : writes) all.insert(all.end(), w.begin(), w.end());
        return all;
    }

    // One line from the unit, as the reader hands it on: processed into the
    // state, then each view update acted on as the window does
    // for the upgrade's kinds. Returns the kinds raised.
    std::vector<std::int32_t> deliver(std::string_view line) {
        const LineOutcome out = processLine(line, state, tables, clock.now());
        std::vector<std::int32_t> kinds;
        for (int i = 0; i < out.updateCount; ++i) {
            const std::int32_t kind = out.updates[static_cast<std::size_t>(i)];
            kinds.push_back(kind);
            switch (kind) {
                case ukUpgradeBegin: upgrade.upgradeBegin(); break;
                case ukUpgradeStep: upgrade.upgradeStep(); break;
                case ukUpgradeMessage: upgrade.upgradeMessage(); break;
                case ukUpgradeDone: upgrade.upgradeDone(); break;
                case ukUpgradeFailed: upgrade.upgradeFailed(); break;
                default: break;
            }
        }
        if (out.greeting) log.push_back("unit greeted");
        return kinds;
    }

    // The log from the first entry equal to `from` on (all of it if absent).
    std::vector<std::string> logFrom(const std::string& from) const {
        for (std::size_t i = 0; i < log.size(); ++i)
            if (log[i] == from) return std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(i), log.end());
        return log;
    }
};

// The unit's prompt and its four spinner marks.
inline constexpr std::string_view kPrompt = "Please send the file";
inline constexpr std::string_view kMarks = "|/-\\";

}  // namespace velmora::test
