// Bytes per second through the line assembler, the line processing and the
// device state, on a mix of what the unit sends: status, current and
// combined lines, bank count, timer reports, confirmations, versions,
// greeting, junk and over-long lines; and the upgrade dialogue in raw mode.
// Global operator new is replaced to count heap allocations: the parser
// must make none per byte in steady state.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "link/device_state.h"
#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "schedule/timer_tables.h"

namespace {
std::atomic<long long> gAllocations{0};
}

// g++ sees free() of what its own operator new returned once these are
// inlined and calls it a mismatch; here they are a matched pair.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace velmora {
namespace {

constexpr double kLineRateBytesPerSecond = 960.0;  // 9600 baud, 10 bits a byte
constexpr double kTargetBytesPerSecond = 20e6;

// One poll cycle of a four-bank unit plus the occasional other lines.
std::string unitTraffic() {
    std::string t;
    for (int round = 0; round < 8; ++round) {
        t += "/M4\\";
        for (int bank = 1; bank <= 4; ++bank) {
            const std::string b = std::to_string(bank);
            t += "/S" + b + " OOCCOCCC\\/S" + b + " GGGGGGGG\\/C" + b + " 1.25\\\r\n";
            t += "/S" + b + " OCOCOCOC GGGFGGGG 0." + b + "5\\";
        }
        t += "/T0110 0010530\\/D0201 0230000\\/W0311 0480000\\";
        t += "/Q0120\\/E0121\\/Q0300\\/E0000\\";
        t += "/V01 1234\\/V02 1234\\/V03 1235\\/V04 1235\\";
        t += "/xyz\\/err\\/OK\\";
        t += "\x01\x02\xff junk/";
        t += "/" + std::string(70, 'L') + "\\";
        t += "/S3 " + std::string(20, 'O') + "\\";
    }
    return t;
}

// Upgrade text mode: spinner marks with backspaces and progress reports.
std::string upgradeTraffic() {
    std::string t;
    for (int i = 0; i < 64; ++i) {
        t += "|\b/\b-\b\\\b";
        if (i % 8 == 0) t += "Timer reset is done\r\nDisplay test in progress\n";
    }
    return t;
}

struct Results {
    double bytesPerSecond = 0;
    double allocationsPerByte = 0;
};
std::vector<std::pair<std::string, Results>> gResults;

void runTraffic(benchmark::State& bench, const std::string& traffic, bool raw, const char* label) {
    DeviceState state;
    TimerTables tables;
    LineAssembler assembler;
    const LocalMoment now{};
    long long lines = 0;
    const long long before = gAllocations.load();
    for (auto _ : bench) {
        state.RawLineMode = raw;
        for (char c : traffic) {
            if (assembler.feed(static_cast<unsigned char>(c), state.RawLineMode.load())) {
                const LineOutcome o = processLine(assembler.line(), state, tables, now);
                benchmark::DoNotOptimize(o);
                ++lines;
            }
        }
    }
    const long long allocations = gAllocations.load() - before;
    const double bytes = static_cast<double>(bench.iterations()) * static_cast<double>(traffic.size());
    bench.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    bench.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    bench.counters["allocs_per_byte"] = bytes > 0 ? static_cast<double>(allocations) / bytes : 0.0;
    bench.SetLabel(label);
}

void BM_UnitTraffic(benchmark::State& bench) {
    static const std::string traffic = unitTraffic();
    runTraffic(bench, traffic, false, "status/current/timers/confirmations/versions/junk");
}
BENCHMARK(BM_UnitTraffic);

void BM_UpgradeTraffic(benchmark::State& bench) {
    static const std::string traffic = upgradeTraffic();
    runTraffic(bench, traffic, true, "raw-mode spinner and progress lines");
}
BENCHMARK(BM_UpgradeTraffic);

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            Results r;
            if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end()) {
                r.bytesPerSecond = it->second.value;
            }
            if (auto it = run.counters.find("allocs_per_byte"); it != run.counters.end()) {
                r.allocationsPerByte = it->second.value;
            }
            gResults.emplace_back(run.benchmark_name(), r);
        }
    }
};

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    // The allocation figures mean something only if the counting operator
    // new is the one in use (a direct call cannot be optimised away).
    const long long probeBefore = gAllocations.load();
    ::operator delete(::operator new(16));
    if (gAllocations.load() == probeBefore) {
        std::fprintf(stderr, "allocation counter is not active\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    velmora::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nparser throughput (line rate %.0f B/s, target >= %.0f MB/s, 0 allocations/byte):\n",
                velmora::kLineRateBytesPerSecond, velmora::kTargetBytesPerSecond / 1e6);
    for (const auto& [name, r] : velmora::gResults) {
        const bool ok = r.bytesPerSecond >= velmora::kTargetBytesPerSecond && r.allocationsPerByte == 0.0;
        std::printf("  %-24s %8.1f MB/s = %.0f x line rate, %.6f allocations/byte  %s\n", name.c_str(),
                    r.bytesPerSecond / 1e6, r.bytesPerSecond / velmora::kLineRateBytesPerSecond,
                    r.allocationsPerByte, ok ? "meets target" : "BELOW TARGET");
    }
    return 0;
}
