// The schedule transfer against the link on a pty, without a screen:
//  - confirmation to next command: this program plays the unit on the
//    master side of a pty and writes the confirmation of the waiting head;
//    the reader cuts and processes it, hands ukNextAfterSet to reportStored
//    on the "UI thread" (this thread, draining a queue dispatcher), which
//    writes the next command. Timed from the confirmation's write to the
//    next command's write returning;
//  - a full transfer of 16 banks x 8 ports x 2 directions (256 set
//    commands) to the simulated unit pacing both directions at 9600 baud,
//    from the first write to the last confirmation processed, beside the
//    line-rate minimum for the same bytes both ways (each command and its
//    confirmation in turn, nothing else on the line).

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "link/serial_link.h"
#include "mainwindow/window_logic.h"
#include "session/unit_session.h"
#include "platform/clock.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "platform/window_timer.h"
#include "schedule/schedule_transfer.h"
#include "schedule/timer_tables.h"
#include "sim/pty_simulator.h"

#include "bench_rig.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kNextCommandMedianTargetUs = 100.0;
constexpr double kLineRateMarginTarget = 0.05;  // the transfer within 5 % of the line-rate minimum
constexpr double kLineBytesPerSecond = 960.0;   // 9600 baud, 10 bits a byte
constexpr std::size_t kConfirmationBytes = 7;   // "/Ebbpa\"

struct LatencyFigure {
    double median = 0, p99 = 0;
};
struct TransferFigure {
    double seconds = 0, minimumSeconds = 0;
    std::size_t commands = 0, bytes = 0;
};
std::map<std::string, LatencyFigure> gLatencies;
TransferFigure gTransfer;

// The window's logic behind a real link; every write it makes is noted
// with the time it returned.
struct LinkedLogic {
    explicit LinkedLogic(const std::string& device) {
        session.subscribe(SubscriberStage::view, logic);
        logic.initialiseView();
        link.setPortDevices({"AUTO", device});
        link.OpenLink(1);
    }
    ~LinkedLogic() {
        dispatcher.shutdown();
        link.shutdown();
    }
    void write(std::string_view text) {
        link.write(text);
        lastWrite = Clock::now();
        ++writes;
    }
    // The pending list as ReturnToTransfer uses it.
    TransferQueue queue() {
        return {[this](std::string c) { state.Queue.append(std::move(c)); }, [this] { return state.Queue.head(); },
                [this](std::string_view t) { write(t); }};
    }

    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 7, 2, 9, 0, 0}};
    bench::NullView view;
    ManualTimerHost timers;  // never advanced: no polls during the figures
    QueueDispatcher dispatcher;
    bench::SilentDialogs dialogs;
    Clock::time_point lastWrite{};
    long writes = 0;
    UnitSession session{UnitSession::Deps{.state = state,
                                          .tables = tables,
                                          .clock = clock,
                                          .timers = timers,
                                          .write = [this](std::string_view t) { write(t); }}};
    MainWindowLogic logic{
        MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = view, .timers = timers}};
    SerialLink link{SerialLink::Deps{state, tables, dispatcher, clock, session, dialogs,
                                     [] { return makeSerialDevice(); }, [] { return LinkOptions{}; },
                                     [](int) {}}};
};

void BM_ConfirmationToNextCommand(benchmark::State& bench) {
    bench::RawPty pty;
    if (pty.slavePath().empty()) {
        bench.SkipWithError("no pty");
        return;
    }
    LinkedLogic w(pty.slavePath());
    // Greeted, and laid out for one bank: reportStored then forwards the list.
    const bool ready = w.link.isOpen() && pty.write("/xyz\\/M1\\") &&
                       w.dispatcher.drainUntil([&] { return w.state.ShownBankCount.load() == 1; }, 10000);
    if (!ready) {
        bench.SkipWithError("the link did not come up on the pty");
        return;
    }

    const std::string command = "/T0111 0000100\\";
    std::vector<double> samples;
    for (auto _ : bench) {
        bench.PauseTiming();
        while (w.state.Queue.size() < 2) w.state.Queue.append(command);
        pty.drain();
        const long before = w.writes;
        bench.ResumeTiming();
        const auto start = Clock::now();
        if (!pty.write("/E0111\\") || !w.dispatcher.drainUntil([&] { return w.writes > before; }, 5000)) {
            bench.SkipWithError("the confirmation did not send the next command");
            break;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(w.lastWrite - start).count());
    }
    if (samples.empty()) return;
    LatencyFigure f{bench::percentile(samples, 0.5), bench::percentile(samples, 0.99)};
    bench.counters["median_us"] = f.median;
    bench.counters["p99_us"] = f.p99;
    gLatencies["confirmation to next command, pty"] = f;
}
BENCHMARK(BM_ConfirmationToNextCommand)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();

// Every port of every bank, both directions: weekly timers well ahead, so
// none fires while the figure is taken.
void fillFullSchedule(TimerTables& tables) {
    for (TableId id : {TableId::EditOn, TableId::EditOff}) {
        for (int b = 0; b < kMaxBanks; ++b) {
            for (int p = 0; p < kPortsPerBank; ++p) {
                TimerEntry e;
                e.pending = 1;
                e.enabled = 1;
                e.kind = KindEveryWeek;
                e.weekday = 1 + (b + p) % 7;
                e.hour = (b + p) % 24;
                e.minute = (7 * p + b) % 60;
                tables.setEntry(id, b, p, e);
            }
        }
    }
}

void BM_FullTransferSixteenBanksPaced(benchmark::State& bench) {
    sim::UnitConfig config;
    config.banks = kMaxBanks;
    config.statusForm = sim::StatusForm::combined;
    sim::PtyOptions options;
    options.paced = true;
    sim::PtySimulator simulator(config, options);
    std::string error;
    if (!simulator.start(&error)) {
        bench.SkipWithError(("simulator: " + error).c_str());
        return;
    }
    LinkedLogic w(simulator.slavePath());
    // Greeting, versions, then one poll: the window laid out for 16 banks
    // and the poll's last status line taken in, so the line is quiet.
    bool ready = w.link.isOpen() && w.dispatcher.drainUntil([&] { return w.state.GreetingSeen.load(); }, 20000);
    if (ready) {
        w.link.write("/C\\");
        ready = w.dispatcher.drainUntil(
            [&] {
                return w.state.ShownBankCount.load() == kMaxBanks &&
                       w.state.bankSnapshot(kMaxBanks).portStatesText() == "CCCCCCCC";
            },
            30000);
    }
    if (!ready) {
        bench.SkipWithError("no link to the simulated unit");
        return;
    }

    for (auto _ : bench) {
        bench.PauseTiming();
        fillFullSchedule(w.tables);
        const TransferCommands commands = buildTransfer(w.tables, kMaxBanks, w.clock.now());
        std::size_t bytes = commands.size() * kConfirmationBytes;
        for (const std::string& c : commands) bytes += c.size();
        bench.ResumeTiming();

        const auto start = Clock::now();
        startTransfer(commands, w.queue());
        if (!w.dispatcher.drainUntil([&] { return w.state.Queue.empty(); }, 120000)) {
            bench.SkipWithError("the transfer did not complete");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        gTransfer = {seconds, static_cast<double>(bytes) / kLineBytesPerSecond, commands.size(), bytes};
        bench.counters["seconds"] = gTransfer.seconds;
        bench.counters["line_minimum_s"] = gTransfer.minimumSeconds;
    }
}
BENCHMARK(BM_FullTransferSixteenBanksPaced)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nschedule transfer figures:\n");
    for (const auto& [name, f] : velmora::gLatencies) {
        const bool ok = f.median <= velmora::kNextCommandMedianTargetUs;
        std::printf("  %-36s median %8.1f us, p99 %8.1f us   target median <= %.0f us  %s\n", name.c_str(), f.median,
                    f.p99, velmora::kNextCommandMedianTargetUs, ok ? "meets target" : "ABOVE TARGET");
    }
    const velmora::TransferFigure& t = velmora::gTransfer;
    if (t.commands > 0) {
        const double over = t.seconds / t.minimumSeconds - 1.0;
        const bool ok = over <= velmora::kLineRateMarginTarget;
        std::printf("  %-36s %8.3f s for %zu commands, %zu bytes both ways; line-rate minimum %.3f s (%+.1f %%)"
                    "   target within %.0f %%  %s\n",
                    "full transfer, 16 banks, paced", t.seconds, t.commands, t.bytes, t.minimumSeconds, over * 100.0,
                    velmora::kLineRateMarginTarget * 100.0, ok ? "meets target" : "ABOVE TARGET");
    }
    return 0;
}
