// velmoractl:
//  - "velmoractl --port SIM status" from start to exit against the simulated
//    unit on a pty, beside the unit's own answer time for the same
//    exchange (greeting and status poll, timed by a bare client on the raw
//    pty that waits for the last answer byte); target: the program's wall
//    time at most 150 ms beyond the unit's. Measured against the simulator
//    as it answers by default and paced at the line rate (9600 baud), the
//    way a real unit's bytes arrive;
//  - the cost of the serial trace when it is on, per line written (a
//    command sent, a line received), into a file; target <= 5 us.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/traced_serial.h"
#include "sim/pty_simulator.h"

#include "bench_rig.h"

namespace velmora {
namespace {

using Steady = std::chrono::steady_clock;

constexpr double kStatusMarginTargetMs = 150.0;
constexpr double kTraceLineTargetUs = 5.0;
constexpr int kStatusRuns = 15;

double msSince(Steady::time_point t) {
    return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

// One run of the program; -1 when it did not exit with 0.
double timeStatus(const std::string& device) {
    const auto start = Steady::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execl(VELMORACTL_PROGRAM, VELMORACTL_PROGRAM, "--port", device.c_str(), "status", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = msSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1.0;
}

// The unit's own time for one request: from the request's write until the
// last byte of its answer (the answer is over after 300 ms of quiet).
double answerMs(int fd, const std::string& request, bool byteByByte) {
    char buf[512];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
    const auto start = Steady::now();
    if (byteByByte) {
        for (char c : request) [[maybe_unused]] auto n = ::write(fd, &c, 1);
    } else {
        [[maybe_unused]] auto n = ::write(fd, request.data(), request.size());
    }
    auto last = start;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 300) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        last = Steady::now();
    }
    return std::chrono::duration<double, std::milli>(last - start).count();
}

// Greeting plus status poll, as a bare client on the slave side.
double unitAnswerMs(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    const double ms = answerMs(fd, "/uni\\", true) + answerMs(fd, "/C\\", false);
    ::close(fd);
    return ms;
}

struct StatusFigure {
    double programMedian = 0, programP90 = 0, unitMedian = 0;
    int failures = 0;
};
std::map<std::string, StatusFigure> gStatus;

void measureStatus(const std::string& name, bool paced) {
    sim::UnitConfig config;
    config.banks = 3;
    sim::PtyOptions options;
    options.paced = paced;
    sim::PtySimulator unit(config, options);
    if (!unit.start()) return;
    std::vector<double> program, answers;
    StatusFigure f;
    for (int i = 0; i < kStatusRuns; ++i) {
        const double ms = timeStatus(unit.slavePath());
        if (ms < 0) {
            ++f.failures;
            continue;
        }
        program.push_back(ms);
        answers.push_back(unitAnswerMs(unit.slavePath()));
    }
    f.programMedian = bench::percentile(program, 0.5);
    f.programP90 = bench::percentile(program, 0.9);
    f.unitMedian = bench::percentile(answers, 0.5);
    gStatus[name] = f;
}

void BM_TraceLineSent(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "velmora-bench.trace";
    auto writer = TraceWriter::open(path.string());
    for (auto _ : state) writer->sent("/O023\\");
    state.SetItemsProcessed(state.iterations());
    writer.reset();
    std::filesystem::remove(path);
}
BENCHMARK(BM_TraceLineSent);

void BM_TraceLineReceived(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "velmora-bench-rx.trace";
    auto writer = TraceWriter::open(path.string());
    for (auto _ : state) writer->received("/S1 OOCCCCCC GGGGGGGG 2.5\\");
    state.SetItemsProcessed(state.iterations());
    writer.reset();
    std::filesystem::remove(path);
}
BENCHMARK(BM_TraceLineReceived);

class TraceReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.iterations > 0) perLineUs[r.benchmark_name()] = r.GetAdjustedRealTime() / 1000.0;
        }
    }
    std::map<std::string, double> perLineUs;  // the default time unit is ns
};

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    velmora::TraceReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    velmora::measureStatus("simulator, unpaced", false);
    velmora::measureStatus("simulator at 9600 baud", true);

    std::printf("\nvelmoractl --port SIM status, %d runs (target: at most %.0f ms beyond the unit's answer time):\n",
                velmora::kStatusRuns, velmora::kStatusMarginTargetMs);
    for (const auto& [name, f] : velmora::gStatus) {
        const double margin = f.programMedian - f.unitMedian;
        const bool ok = f.failures == 0 && margin <= velmora::kStatusMarginTargetMs;
        std::printf("  %-24s program %7.1f ms (p90 %7.1f)  unit's answer %6.1f ms  beyond it %6.1f ms  %s%s\n",
                    name.c_str(), f.programMedian, f.programP90, f.unitMedian, margin,
                    ok ? "meets target" : "ABOVE TARGET", f.failures ? " (runs failed)" : "");
    }
    std::printf("\nserial trace, per line written (target <= %.0f us):\n", velmora::kTraceLineTargetUs);
    for (const auto& [name, us] : reporter.perLineUs) {
        std::printf("  %-24s %7.2f us  %s\n", name.c_str(), us,
                    us <= velmora::kTraceLineTargetUs ? "meets target" : "ABOVE TARGET");
    }
    return 0;
}
