// The main window's two hot paths, without a screen:
//  - one flash tick (flashTick) with three banks shown and an enabled
//    timer on every port, drawn into a view that does nothing, so the
//    figure is the logic's own cost (timer arithmetic, name building,
//    picture choice), excluding paint;
//  - a status report over a real pty: the simulated unit answers a poll,
//    the reader cuts and parses the line and hands it to reportStored on the
//    "UI thread" (this thread, draining a queue dispatcher). Timed from the
//    poll's write to reportStored's return, so the figure includes the
//    simulator's turnaround and is an upper bound of report-to-reportStored;
//  - the same answer, worded by the simulator's model, written by this
//    program on the master side of a pty: timed from that write to
//    reportStored's return, that latency itself.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "link/device_state.h"
#include "link/serial_link.h"
#include "mainwindow/window_logic.h"
#include "session/unit_session.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "sim/pty_simulator.h"
#include "sim/unit_model.h"

#include "bench_rig.h"

namespace velmora {
namespace {

using bench::NullView;
using bench::percentile;
using bench::RawPty;
using bench::SilentDialogs;

constexpr double kFlashTickTargetUs = 100.0;
constexpr double kReportMedianTargetUs = 1000.0;

std::map<std::string, std::vector<double>> gFigures;  // name -> median, p99 / mean (microseconds)

void BM_FlashTickThreeBanks(benchmark::State& bench) {
    DeviceState state;
    TimerTables tables;
    FixedClock clock(LocalMoment{2026, 12, 8, 3, 10, 0, 0});
    NullView view;
    ManualTimerHost timers;
    UnitSession session(UnitSession::Deps{.state = state, .tables = tables, .clock = clock, .timers = timers});
    MainWindowLogic logic(
        MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = view, .timers = timers});
    session.subscribe(SubscriberStage::view, logic);
    logic.initialiseView();
    constexpr int kBanks = 3;
    for (int bank = 1; bank <= kBanks; ++bank) {
        state.editBank(bank, [&](BankRecord& r) {
            r.bankNo = bank;
            copyField(r.portStates, "OCOCOCOC");
            copyField(r.timerFlags, "GGGGGGGG");
        });
        for (int port = 1; port <= kSlotPorts; ++port) {
            // Daily power-on and power-off timers at different times, so
            // PortTimeLeft compares both on every port.
            TimerEntry on{};
            on.enabled = 1;
            on.kind = KindEveryDay;
            on.hour = (port + bank) % 24;
            on.minute = 7 * port % 60;
            TimerEntry off = on;
            off.hour = (on.hour + 3) % 24;
            tables.setEntry(TableId::LiveOn, bank - 1, port - 1, on);
            tables.setEntry(TableId::LiveOff, bank - 1, port - 1, off);
        }
    }
    state.BankCount = kBanks;
    session.reportStored(ukBankCount);

    // One tick must draw 24 LEDs and write 24 time labels; otherwise this
    // would time a shortcut.
    view.pictures = view.labelTexts = 0;
    logic.flashTick();
    if (view.pictures < 24 || view.labelTexts != 24) {
        bench.SkipWithError("the flash tick did not draw every port");
        return;
    }
    for (auto _ : bench) {
        logic.flashTick();
        benchmark::DoNotOptimize(view.labelTexts);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_FlashTickThreeBanks)->Unit(benchmark::kMicrosecond);

// The session's last stage: notes when a status report has been through
// every stage before it (the window drew it), and the greeting.
class TimedUi final : public UnitSubscriber {
public:
    void unitReported(const UnitEvent& event) override {
        if (isStatusReport(event.kind)) {
            lastStatusReturn = std::chrono::steady_clock::now();
            ++statusUpdates;
        }
    }
    void linkChanged(LinkChange change) override {
        if (change == LinkChange::greeted) greetedSeen = true;
    }

    std::chrono::steady_clock::time_point lastStatusReturn{};
    long statusUpdates = 0;
    bool greetedSeen = false;
};

// The window's logic behind a real link on a pty, with the timing UI.
struct LinkedWindow {
    explicit LinkedWindow(const std::string& device) {
        session.subscribe(SubscriberStage::view, logic);
        // The benchmark polls by hand: the manual timers never move.
        session.subscribe(SubscriberStage::history, ui);
        logic.initialiseView();
        link.setPortDevices({"AUTO", device});
        link.OpenLink(1);
    }
    ~LinkedWindow() {
        dispatcher.shutdown();
        link.shutdown();
    }
    // The greeting has arrived and a first status answer laid the bank out.
    bool laidOut() {
        return dispatcher.drainUntil([&] { return state.ShownBankCount.load() == 1 && ui.statusUpdates > 0; },
                                     10000);
    }

    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 10, 0, 0}};
    NullView view;
    ManualTimerHost timers;
    QueueDispatcher dispatcher;
    SilentDialogs dialogs;
    UnitSession session{UnitSession::Deps{.state = state, .tables = tables, .clock = clock, .timers = timers}};
    MainWindowLogic logic{
        MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = view, .timers = timers}};
    TimedUi ui;
    SerialLink link{SerialLink::Deps{state, tables, dispatcher, clock, session, dialogs,
                                     [] { return makeSerialDevice(); }, [] { return LinkOptions{}; },
                                     [](int) {}}};
};

// Median and 99th percentile as counters and in the closing summary.
void reportLatency(benchmark::State& bench, const std::vector<double>& samples, const std::string& figure) {
    if (samples.empty()) return;
    const double median = percentile(samples, 0.5);
    const double p99 = percentile(samples, 0.99);
    bench.counters["median_us"] = median;
    bench.counters["p99_us"] = p99;
    gFigures[figure] = {median, p99};
}

void BM_PollToSyncUpdateOverPty(benchmark::State& bench) {
    sim::UnitConfig config;
    config.banks = 1;
    config.statusForm = sim::StatusForm::combined;  // one status line per poll
    sim::PtySimulator simulator(config);
    std::string error;
    if (!simulator.start(&error)) {
        bench.SkipWithError(("simulator: " + error).c_str());
        return;
    }

    LinkedWindow w(simulator.slavePath());
    QueueDispatcher& dispatcher = w.dispatcher;
    SerialLink& link = w.link;
    TimedUi& ui = w.ui;
    // The greeting's answer, then a first poll that lays out the bank.
    bool ready = link.isOpen() && dispatcher.drainUntil([&] { return ui.greetedSeen; }, 10000);
    if (ready) {
        link.write("/C\\");
        ready = w.laidOut();
    }
    if (!ready) {
        bench.SkipWithError("no link to the simulated unit");
        return;
    }

    std::vector<double> samples;
    for (auto _ : bench) {
        const long before = ui.statusUpdates;
        const auto start = std::chrono::steady_clock::now();
        link.write("/C\\");
        if (!dispatcher.drainUntil([&] { return ui.statusUpdates > before; }, 5000)) {
            bench.SkipWithError("the unit did not answer a poll");
            break;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(ui.lastStatusReturn - start).count());
        // Let the rest of the answer (current, bank count) go through before
        // the next poll, so every sample starts on a quiet line.
        dispatcher.drainUntil([] { return false; }, 2);
    }
    reportLatency(bench, samples, "poll-to-SyncUpdate over a pty");
}
BENCHMARK(BM_PollToSyncUpdateOverPty)->Unit(benchmark::kMicrosecond)->Iterations(400)->UseRealTime();

void BM_StatusAnswerToSyncUpdateOverPty(benchmark::State& bench) {
    RawPty pty;
    if (pty.slavePath().empty()) {
        bench.SkipWithError("no pty");
        return;
    }
    sim::UnitConfig config;
    config.banks = 1;
    config.statusForm = sim::StatusForm::combined;
    sim::UnitModel unit(config);

    LinkedWindow w(pty.slavePath());
    QueueDispatcher& dispatcher = w.dispatcher;
    SerialLink& link = w.link;
    TimedUi& ui = w.ui;
    // The unit's greeting and a first answer that lays the bank out.
    bool ready = link.isOpen() && pty.write(unit.feed("/uni\\")) &&
                 dispatcher.drainUntil([&] { return ui.greetedSeen; }, 10000);
    ready = ready && pty.write(unit.feed("/C\\")) && w.laidOut();
    if (!ready) {
        bench.SkipWithError("the link did not come up on the pty");
        return;
    }

    std::vector<double> samples;
    for (auto _ : bench) {
        bench.PauseTiming();
        const std::string answer = unit.feed("/C\\");  // "/M1\/S1 ... 2.5\"
        pty.drain();
        const long before = ui.statusUpdates;
        bench.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!pty.write(answer) || !dispatcher.drainUntil([&] { return ui.statusUpdates > before; }, 5000)) {
            bench.SkipWithError("the status answer did not reach SyncUpdate");
            break;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(ui.lastStatusReturn - start).count());
    }
    reportLatency(bench, samples, "status answer-to-SyncUpdate, pty");
}
BENCHMARK(BM_StatusAnswerToSyncUpdateOverPty)->Unit(benchmark::kMicrosecond)->Iterations(1000)->UseRealTime();

class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            if (r.benchmark_name().find("FlashTick") != std::string::npos)
                flashTickUs = r.GetAdjustedCPUTime();  // the unit is microseconds
        }
    }
    double flashTickUs = -1.0;
};

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    velmora::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nmain window figures:\n");
    if (reporter.flashTickUs >= 0) {
        const bool ok = reporter.flashTickUs <= velmora::kFlashTickTargetUs;
        std::printf("  %-34s %10.2f us   target <= %.0f us (no-op view, paint excluded)  %s\n",
                    "flash tick, 3 banks of timers", reporter.flashTickUs, velmora::kFlashTickTargetUs,
                    ok ? "meets target" : "ABOVE TARGET");
    }
    for (const auto& [name, f] : velmora::gFigures) {
        const bool ok = f[0] <= velmora::kReportMedianTargetUs;
        std::printf("  %-34s median %8.1f us, p99 %8.1f us   target median <= %.0f us  %s\n", name.c_str(), f[0],
                    f[1], velmora::kReportMedianTargetUs, ok ? "meets target" : "ABOVE TARGET");
    }
    return 0;
}
