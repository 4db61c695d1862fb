#include "cli/commands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "cli/cli_exit.h"
#include "cli/upgrade_progress.h"
#include "link/device_state.h"
#include "link/protocol.h"
#include "maintenance/clock_sync.h"
#include "maintenance/firmware_upgrade.h"
#include "link/report_rules.h"
#include "platform/file_io.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_transfer.h"
#include "service/metrics.h"

namespace velmora::cli {

namespace {

std::string seconds(int ms) { return secondsText(ms); }

// The exit for a wait that did not end with its condition: `silentText`
// and `silentCode` for a time-out.
int waitFailure(CommandIo& io, Session& s, Wait w, int silentCode, const std::string& silentText) {
    switch (w) {
        case Wait::stopped: return exitCodeForSignal(s.stopSignal());
        case Wait::lineLost:
            return reportFailure(io, kExitNoUnit, std::string(kNotFoundMessage) + "\n(the line to the unit went away)");
        default: return reportFailure(io, silentCode, silentText);
    }
}

int statusPollFailure(CommandIo& io, Session& s, Wait w, int timeoutMs) {
    return waitFailure(io, s, w, kExitNoUnit, noStatusAnswerText(timeoutMs));
}

// Writes the switching command, then polls as the window does until the
// unit's status shows it (true) or the time-out passes.
Wait switchAndConfirm(Session& s, bool on, int bank, int port, const std::vector<PortAddress>& ports, int timeoutMs,
                      bool& confirmed) {
    confirmed = false;
    s.write(switchCommand(on, bank, port));
    const std::int64_t deadline = s.nowMs() + timeoutMs;
    for (;;) {
        const std::int64_t polledAt = s.nowMs();
        const std::int64_t left = deadline - polledAt;
        if (left <= 0) return Wait::timedOut;
        const Wait w = s.pollForAnswer(static_cast<int>(left));
        if (w == Wait::stopped || w == Wait::lineLost) return w;
        if (w == Wait::done && portsShow(s.view(), ports, on)) {
            confirmed = true;
            return Wait::done;
        }
        // Not yet: the next poll comes at the window's pace.
        const std::int64_t next = polledAt + kPollIntervalMs;
        if (next >= deadline) {
            const Wait rest = s.pause(static_cast<int>(std::max<std::int64_t>(deadline - s.nowMs(), 0)));
            return rest == Wait::done ? Wait::timedOut : rest;
        }
        const Wait p = s.pause(static_cast<int>(std::max<std::int64_t>(next - s.nowMs(), 0)));
        if (p != Wait::done) return p;
    }
}

// The outlet names of the unit on `device`, for the view's and the
// metrics' names.
std::function<std::string(int, int)> namesOf(const Options& o, const std::string& device, int banks) {
    if (!o.namesOf) return {};
    auto names = std::make_shared<OutletNames>(o.namesOf(device, banks));
    return [names](int bank, int port) { return names->name(bank, port); };
}

int runSwitch(const Options& given, Session& s, CommandIo& io, const std::string& device) {
    const Wait first = s.pollForAnswer(given.timeoutMs);
    if (first != Wait::done) return statusPollFailure(io, s, first, given.timeoutMs);
    const int bankCount = s.state().BankCount.load();
    Options o = given;
    if (!o.outletNameGiven.empty()) {
        const NameTarget target =
            resolveName(o.namesOf ? o.namesOf(device, bankCount) : OutletNames{}, o.outletNameGiven, bankCount);
        if (!target.error.empty()) return reportFailure(io, kExitUsage, target.error);
        o.bank = target.bank;
        o.port = target.port;
    }
    const std::vector<PortAddress> ports = addressedPorts(o.bank, o.port, bankCount);
    if (ports.empty()) {
        return reportFailure(io, kExitUsage, noSuchBankText(o.bank, bankCount));
    }
    auto step = [&](bool on) -> int {
        bool confirmed = false;
        const Wait w = switchAndConfirm(s, on, o.bank, o.port, ports, o.timeoutMs, confirmed);
        if (confirmed) return kExitDone;
        if (w == Wait::stopped) return exitCodeForSignal(s.stopSignal());
        if (w == Wait::lineLost) return waitFailure(io, s, w, kExitNoUnit, "");
        printSwitchUnconfirmed(io, o.command, o.bank, o.port, s.view());
        return reportFailure(io, kExitNotConfirmed, notConfirmedText(on, o.bank, o.port, o.timeoutMs));
    };
    if (o.command == Command::cycle) {
        if (int r = step(false); r != kExitDone) return r;
        printCycleOff(io, o.bank, o.port);
        const Wait p = s.pause(o.delayMs);
        if (p == Wait::stopped) return exitCodeForSignal(s.stopSignal());
        if (p == Wait::lineLost) return waitFailure(io, s, p, kExitNoUnit, "");
        if (int r = step(true); r != kExitDone) return r;
        printSwitched(io, o.command, o.bank, o.port, true, s.view());
        return kExitDone;
    }
    const bool on = o.command == Command::on;
    if (int r = step(on); r != kExitDone) return r;
    printSwitched(io, o.command, o.bank, o.port, on, s.view());
    return kExitDone;
}

int runWatch(const Options& o, Session& s, CommandIo& io) {
    const Wait first = s.pollForAnswer(o.timeoutMs);
    if (first == Wait::stopped) return kExitDone;
    if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    std::int64_t polledAt = s.nowMs();
    UnitView shown;
    for (;;) {
        if (!printWatchChanges(io, shown, s.view())) return kExitDone;
        const std::uint64_t reports = s.reportCount();
        const Wait w = s.waitUntil(
            [&] {
                return s.reportCount() != reports || s.nowMs() - polledAt >= kPollIntervalMs || s.watchdogExpired();
            },
            kPollIntervalMs + kLoopTickMs);
        if (w == Wait::stopped) return kExitDone;
        if (w == Wait::lineLost) return waitFailure(io, s, w, kExitNoUnit, "");
        if (s.watchdogExpired()) {
            return reportFailure(io, kExitNoUnit,
                                 std::string(kNotFoundMessage) + "\n(no status report for 20 s after a poll)");
        }
        if (s.nowMs() - polledAt >= kPollIntervalMs) {
            s.poll();
            polledAt = s.nowMs();
        }
    }
}

int runVersion(const Options& o, Session& s, CommandIo& io) {
    const Wait first = s.pollForAnswer(o.timeoutMs);
    if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    const int banks = shownBanks(s.state().BankCount.load());
    auto allSeen = [&] {
        for (int b = 1; b <= banks; ++b)
            if (!s.versionSeen(b)) return false;
        return true;
    };
    const Wait w = s.waitUntil(allSeen, o.timeoutMs);
    if (w != Wait::done) {
        int missing = 1;
        while (missing <= banks && s.versionSeen(missing)) ++missing;
        return waitFailure(io, s, w, kExitNotConfirmed,
                           "bank " + std::to_string(missing) + " did not report its version within " +
                               seconds(o.timeoutMs));
    }
    printVersions(io, s.view());
    return kExitDone;
}

int runClock(const Options& o, Session& s, CommandIo& io) {
    const Wait first = s.pollForAnswer(o.timeoutMs);
    if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    std::string sent;
    ClockSync sync(ClockSync::Deps{.state = s.state(),
                                   .tables = s.tables(),
                                   .clock = s.clock(),
                                   .dialogs = io.dialogs,
                                   .timers = s.timers(),
                                   .write =
                                       [&](std::string_view text) {
                                           if (s.write(text)) sent = std::string(text);
                                       },
                                   .setRtcOn = [] { return false; },
                                   .portHeld = [&s] { return s.link().heldForUpgrade(); }});
    sync.SendClockSet();
    // Refused: the message that says why has been shown.
    if (sent.empty()) return kExitUsage;
    // The unit answers in order: its "err" for the clock comes before the
    // answer to the next poll.
    const Wait after = s.pollForAnswer(o.timeoutMs);
    if (after != Wait::done) {
        return waitFailure(io, s, after, kExitNotConfirmed,
                           "the unit did not answer after the clock command within " + seconds(o.timeoutMs));
    }
    if (s.clockErrorSeen()) return reportFailure(io, kExitNotConfirmed, kClockFailureText);
    printClockSet(io, sent);
    return kExitDone;
}

int runScheduleSend(const Options& o, Session& s, CommandIo& io) {
    const Wait first = s.pollForAnswer(o.timeoutMs);
    if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    const int banks = s.state().BankCount.load();
    // As the Set Timer dialog: the working tables start from what the unit
    // holds, the file is loaded over them, and the transfer sends what is
    // marked pending.
    s.tables().copyLiveToEdit(banks);
    const ScheduleLoad load = loadScheduleFile(o.file, s.tables(), banks);
    if (load.status != FileIoStatus::ok) {
        return reportFailure(io, kExitUsage, scheduleUnreadableText(o.file, load.status, load.error));
    }
    printScheduleWarnings(io, o.file, scheduleReadWarnings(load.read, load.notes));
    if (const std::string why = scheduleUnusableText(load.read); !why.empty())
        return reportFailure(io, kExitUsage, "cannot use the schedule " + o.file + ": " + why);
    DeviceState& state = s.state();
    const std::size_t commands = s.unit().sendSchedule();
    while (!state.Queue.empty()) {
        const std::size_t waiting = state.Queue.size();
        const Wait w = s.waitUntil([&] { return state.Queue.size() != waiting; }, o.timeoutMs);
        if (w == Wait::done) continue;
        const std::string head = state.Queue.head().value_or("");
        return waitFailure(io, s, w, kExitNotConfirmed,
                           "the unit did not confirm " + head + " within " + seconds(o.timeoutMs) + " (" +
                               std::to_string(commands - state.Queue.size()) + " of " + std::to_string(commands) +
                               " commands confirmed)");
    }
    printScheduleSent(io, o.file, commands);
    return kExitDone;
}

int runScheduleSave(const Options& o, Session& s, CommandIo& io) {
    // The answer to a poll ends with the unit's timer reports.
    const Wait first = s.pollForAnswer(o.timeoutMs);
    if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    const int banks = s.state().BankCount.load();
    s.tables().copyLiveToEdit(banks);
    const FileSave saved = saveScheduleFile(o.file, s.tables(), banks);
    if (saved.status != FileIoStatus::ok)
        return reportFailure(io, kExitUsage, "cannot save the schedule " + o.file + ": " + saved.error);
    printScheduleSaved(io, o.file, shownBanks(banks));
    return kExitDone;
}

int runUpgrade(const Options& o, Session& s, CommandIo& io) {
    if (!s.firmwareMissing()) {
        const Wait first = s.pollForAnswer(o.timeoutMs);
        if (first != Wait::done) return statusPollFailure(io, s, first, o.timeoutMs);
    }
    std::unique_ptr<FirmwareUpgrade> upgrade;
    ConsoleUpgradeView view(io.err, io.terminal, [&s] { return s.nowMs(); }, [&upgrade] {
        if (!upgrade) return std::pair<std::int64_t, std::int64_t>{0, 0};
        return std::pair<std::int64_t, std::int64_t>{upgrade->UpgradeIndex() + 1, upgrade->FirmwareLength() + 1};
    });
    bool completed = false;
    bool failed = false;
    SerialLink& link = s.link();
    upgrade = std::make_unique<FirmwareUpgrade>(s.upgradeDeps(io.dialogs, view, {}, [](int ms) {
        // Only the short pause before giving up on a unit without firmware.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }));
    FirmwareUpgrade& up = *upgrade;
    s.setUpgradeHooks(Session::UpgradeHooks{
        [&] { up.upgradeBegin(); }, [&] { up.upgradeStep(); },
        [&] {
            const bool underWay = up.upgradeState() != UpgradeState::idle;
            up.upgradeDone();
            if (underWay) completed = true;
        },
        [&] {
            failed = true;
            up.upgradeFailed();
        },
        [&] { up.upgradeMessage(); }, [&] { up.linkReset(); }});
    io.dialogs.queueFile(o.file);
    up.startUpgrade();
    if (up.upgradeState() == UpgradeState::idle) {
        s.setUpgradeHooks({});
        return kExitUsage;  // the file was refused; the message said why
    }
    const std::int32_t length = up.FirmwareLength();
    for (;;) {
        const bool awaitingPrompt = up.upgradeState() == UpgradeState::awaitingPrompt;
        // While bytes go out the upgrade's own 10 s time-out watches the unit.
        const Wait w = s.waitUntil([&] { return completed || failed || !link.isOpen(); },
                                   awaitingPrompt ? o.timeoutMs : kUpgradeTimeOutMs * 2);
        if (w == Wait::stopped) {
            s.setUpgradeHooks({});
            return exitCodeForSignal(s.stopSignal());
        }
        if (completed) break;
        if (failed || w == Wait::lineLost || !link.isOpen()) {
            s.setUpgradeHooks({});
            return reportFailure(io, kExitNotConfirmed,
                                 failed ? "the unit reported a failed upgrade" : "the upgrade did not complete");
        }
        if (w == Wait::timedOut && up.upgradeState() == UpgradeState::awaitingPrompt) {
            s.setUpgradeHooks({});
            return reportFailure(io, kExitNotConfirmed,
                                 "the unit did not ask for the image within " + seconds(o.timeoutMs));
        }
    }
    s.setUpgradeHooks({});
    // The upgrade greeted the unit and asked for its versions again.
    const int banks = shownBanks(s.state().BankCount.load());
    auto versionsBack = [&] {
        for (int b = 1; b <= banks; ++b)
            if (s.state().bankSnapshot(b).versionText() == kWaitVersionText) return false;
        return true;
    };
    const Wait back = s.waitUntil(versionsBack, o.timeoutMs);
    if (back == Wait::stopped) return exitCodeForSignal(s.stopSignal());
    if (back != Wait::done) io.err << newVersionsUnknownText(o.timeoutMs);
    printUpgraded(io, o.file, length - 1, s.view());
    return kExitDone;
}

}  // namespace

// Checks made before the port is touched, so a bad request sends nothing.
int checkBeforeConnecting(const Options& o, const LocalMoment& now, CommandIo& io) {
    switch (o.command) {
        case Command::upgrade: {
            const FileLoad f = loadFileBytes(o.file, static_cast<std::uintmax_t>(kLargestFirmwareFile));
            if (f.status == FileIoStatus::tooLarge) return reportFailure(io, kExitUsage, firmwareTooLargeText(o.file));
            if (f.status == FileIoStatus::missing)
                return reportFailure(io, kExitUsage, firmwareUnreadableText(o.file, "no such file"));
            if (f.status != FileIoStatus::ok)
                return reportFailure(io, kExitUsage, firmwareUnreadableText(o.file, f.error));
            if (f.bytes.empty()) return reportFailure(io, kExitUsage, firmwareEmptyText(o.file));
            return kExitDone;
        }
        case Command::scheduleSend: {
            const FileLoad f = loadFileBytes(o.file, kMaxScheduleFileBytes);
            if (f.status == FileIoStatus::ok) return kExitDone;
            return reportFailure(io, kExitUsage, scheduleUnreadableText(o.file, f.status, f.error));
        }
        case Command::clock: {
            if (now.year < kFirstSettableYear || now.year > kLastSettableYear)
                return reportFailure(io, kExitUsage, clockNotSettableText(now));
            return kExitDone;
        }
        default: return kExitDone;
    }
}

int runCommand(const Options& o, Session& s, CommandIo& io) {
    if (int r = checkBeforeConnecting(o, s.clock().now(), io); r != kExitDone) return r;
    const Session::Connection c = s.connect(o.device, o.timeoutMs);
    if (c.exitCode != kExitDone) {
        if (s.stopSignal() != 0) return exitCodeForSignal(s.stopSignal());
        // Monitoring wants to hear of a unit that is down, as a value.
        if (o.command == Command::metrics) io.out << metricsText(o.device, false, UnitView{}, s.tables(), s.clock().now());
        return reportFailure(io, c.exitCode, c.message);
    }
    if (s.firmwareMissing() && o.command != Command::upgrade) {
        return reportFailure(io, kExitNoUnit,
                             std::string(kFirmwareFailureText) + "\n(the unit on " + c.device +
                                 " has no valid firmware: velmoractl upgrade FILE.x)");
    }
    switch (o.command) {
        case Command::status: {
            const Wait w = s.pollForAnswer(o.timeoutMs);
            if (w != Wait::done) return statusPollFailure(io, s, w, o.timeoutMs);
            UnitView unit = s.view();
            nameUnitView(unit, namesOf(o, c.device, s.state().BankCount.load()));
            printStatus(io, unit);
            return kExitDone;
        }
        case Command::on:
        case Command::off:
        case Command::cycle: return runSwitch(o, s, io, c.device);
        case Command::watch: return runWatch(o, s, io);
        case Command::clock: return runClock(o, s, io);
        case Command::version: return runVersion(o, s, io);
        case Command::scheduleSend: return runScheduleSend(o, s, io);
        case Command::scheduleSave: return runScheduleSave(o, s, io);
        case Command::upgrade: return runUpgrade(o, s, io);
        case Command::metrics: {
            const Wait w = s.pollForAnswer(o.timeoutMs);
            const bool up = w == Wait::done;
            io.out << metricsText(c.device, up, s.view(), s.tables(), s.clock().now(),
                                  namesOf(o, c.device, s.state().BankCount.load()));
            if (!up) return statusPollFailure(io, s, w, o.timeoutMs);
            return kExitDone;
        }
        case Command::serve:
        case Command::shell:
        case Command::none: break;
    }
    return reportFailure(io, kExitUsage, "no command given");
}

}  // namespace velmora::cli
