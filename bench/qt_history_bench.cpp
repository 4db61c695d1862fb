// The current history of a rack of 16 banks after a day of polls:
//  - HistoryDayOf16BanksMemory: the resident memory of the program after
//    two days of 5 s polls of 16 banks and the 24-hour chart of them drawn,
//    against the program at start (the history's rings in place, the
//    window drawn once without a sample); target: within 5 MB of the start.
//  - Draw24HourPlot16Banks: the 24-hour chart of 16 full banks drawn
//    afresh (the lines filled from the history, then painted, on Qt's
//    offscreen platform); target: 50 ms.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "mainwindow/current_history.h"
#include "mainwindow/current_history_window.h"
#include "platform/dialogs.h"

namespace velmora {
namespace {

constexpr double kMemoryTargetMb = 5.0;
constexpr double kDrawTargetMs = 50.0;
constexpr int kBanks = 16;
constexpr int kPollSeconds = 5;
constexpr int kDayPolls = 24 * 3600 / kPollSeconds;

double residentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Nothing here asks the user anything.
struct NoDialogs final : Dialogs {
    MessageAnswer message(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
        return MessageAnswer::ok;
    }
    std::string openFile(const FileChoice&) override { return {}; }
    std::string saveFile(const FileChoice&) override { return {}; }
};

// A day of polls: every bank's load breathing around its own level.
void fillDay(CurrentHistory& history, std::int64_t& nowMs) {
    const std::int64_t wallStart = QDateTime::currentSecsSinceEpoch() - 24 * 3600;
    for (int poll = 0; poll < kDayPolls; ++poll) {
        nowMs += kPollSeconds * 1000;
        for (int bank = 1; bank <= kBanks; ++bank) {
            const double amperes = 1.0 + bank * 0.5 + 0.8 * std::sin(poll / (50.0 + bank));
            history.record(bank, CurrentSample{nowMs, wallStart + poll * kPollSeconds, 3600,
                                               static_cast<float>(std::round(amperes * 10.0) / 10.0)});
        }
    }
}

void BM_HistoryDayOf16BanksMemory(benchmark::State& bench) {
    for (auto _ : bench) {
        NoDialogs dialogs;
        std::int64_t nowMs = 0;
        auto history = std::make_unique<CurrentHistory>();
        CurrentHistoryWindow window(*history, [&] { return nowMs; }, dialogs);
        window.setSpan(kHistorySpanMs);
        // The start: the window shown once on 16 banks without a sample.
        window.showBanks(kBanks);
        window.grab();
        QApplication::processEvents();
        window.hide();
        const double start = residentMb();
        fillDay(*history, nowMs);
        fillDay(*history, nowMs);  // and a second: the ring wraps, nothing grows
        window.showBanks(kBanks);
        window.grab();
        QApplication::processEvents();
        const double grown = residentMb() - start;

        bench.counters["start_MB"] = start;
        bench.counters["growth_MB"] = grown;
        std::printf("  resident %.1f MB at start, %+.2f MB after two days of 16 banks and the chart "
                    "(target: within %.0f MB)  %s\n",
                    start, grown, kMemoryTargetMb, grown <= kMemoryTargetMb ? "meets target" : "ABOVE TARGET");
        window.hide();
    }
}
BENCHMARK(BM_HistoryDayOf16BanksMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Draw24HourPlot16Banks(benchmark::State& bench) {
    NoDialogs dialogs;
    std::int64_t nowMs = 0;
    CurrentHistory history;
    fillDay(history, nowMs);
    CurrentHistoryWindow window(history, [&] { return nowMs; }, dialogs);
    window.setSpan(kHistorySpanMs);
    window.showBanks(kBanks);
    QApplication::processEvents();
    double total = 0;
    for (auto _ : bench) {
        const auto start = std::chrono::steady_clock::now();
        window.refresh();
        benchmark::DoNotOptimize(window.grab());
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const double ms = total / static_cast<double>(bench.iterations());
    bench.counters["ms"] = ms;
    std::printf("  24-hour chart of 16 banks (%d samples each) drawn in %.1f ms (target: %.0f ms)  %s\n", kDayPolls,
                ms, kDrawTargetMs, ms <= kDrawTargetMs ? "meets target" : "ABOVE TARGET");
}
BENCHMARK(BM_Draw24HourPlot16Banks)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
