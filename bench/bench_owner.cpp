// One unit, many programs:
//  - a velmoractl command through "velmoractl serve" (its control socket),
//    start to exit, beside the same command on the port itself; target:
//    the socket adds at most 10 ms;
//  - 20 clients, each switching its own outlet 10 times through serve,
//    against the simulated unit paced at 9600 baud: all 200 carried out,
//    none lost, the whole within 10 % of the line time the bytes they need
//    take (each switching waits for the answer that confirms it, so the
//    line time is what went out plus what came back, at 960 bytes/s);
//  - GET /metrics from "velmoractl serve --metrics" (a new connection each
//    scrape, as Prometheus makes them), the unit paced at 9600 baud: the
//    answer comes from the status cache; target: 5 ms;
//  - velmoractl status through serve while bad clients hold on (64 idle
//    connections, one trickling, one flooding junk, one 1 MB request of
//    many keys, one queueing 1 000 switchings and vanishing), beside the
//    same without them: median and 99th percentile; target: 2 s.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_rig.h"
#include "service/control_client.h"
#include "service/owner_client.h"
#include "service/control_socket.h"
#include "sim/pty_simulator.h"
#include "support/unix_socket.h"

namespace velmora {
namespace {

using Steady = std::chrono::steady_clock;

constexpr double kSocketTargetMs = 10.0;
constexpr double kManyClientsTargetPercent = 10.0;
constexpr double kMetricsTargetMs = 5.0;
constexpr int kRuns = 15;
constexpr int kClients = 20;
constexpr int kSwitchesEach = 10;

double msSince(Steady::time_point t) { return std::chrono::duration<double, std::milli>(Steady::now() - t).count(); }

// velmoractl ARGS... from start to exit; -1 when it failed.
double timeCommand(const std::vector<std::string>& args) {
    const auto start = Steady::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        std::vector<char*> argv{const_cast<char*>(VELMORACTL_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELMORACTL_PROGRAM, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = msSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1.0;
}

// "velmoractl --port DEVICE serve" until stopped; waits until it listens.
class Serve {
public:
    explicit Serve(const std::string& device, const std::string& metrics = "") {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            if (metrics.empty()) {
                ::execl(VELMORACTL_PROGRAM, VELMORACTL_PROGRAM, "--port", device.c_str(), "serve",
                        static_cast<char*>(nullptr));
            } else {
                ::execl(VELMORACTL_PROGRAM, VELMORACTL_PROGRAM, "--port", device.c_str(), "serve", "--metrics",
                        metrics.c_str(), static_cast<char*>(nullptr));
            }
            ::_exit(127);
        }
        const auto bound = Steady::now() + std::chrono::seconds(30);
        while (!findOwner(device, processEnvironment()) && Steady::now() < bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        socket_ = findOwner(device, processEnvironment()).value_or("");
    }
    ~Serve() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    const std::filesystem::path& socket() const { return socket_; }

private:
    pid_t pid_ = -1;
    std::filesystem::path socket_;
};

// A simulated unit of three banks, started; null when it did not start.
std::unique_ptr<sim::PtySimulator> startUnit(bool paced) {
    sim::UnitConfig config;
    config.banks = 3;
    sim::PtyOptions options;
    options.paced = paced;
    auto unit = std::make_unique<sim::PtySimulator>(config, options);
    if (!unit->start()) return nullptr;
    return unit;
}

struct CommandFigure {
    double direct = 0, throughOwner = 0;
    int failures = 0;
};

CommandFigure measureCommand(bool paced, const std::vector<std::string>& command) {
    const auto unitPtr = startUnit(paced);
    CommandFigure f;
    if (!unitPtr) return f;
    sim::PtySimulator& unit = *unitPtr;
    std::vector<std::string> args{"--port", unit.slavePath()};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<double> direct, owner;
    for (int i = 0; i < kRuns; ++i) {
        const double ms = timeCommand(args);
        if (ms < 0) {
            ++f.failures;
        } else {
            direct.push_back(ms);
        }
    }
    {
        Serve serve(unit.slavePath());
        for (int i = 0; i < kRuns; ++i) {
            const double ms = timeCommand(args);
            if (ms < 0) {
                ++f.failures;
            } else {
                owner.push_back(ms);
            }
        }
    }
    f.direct = bench::percentile(direct, 0.5);
    f.throughOwner = bench::percentile(owner, 0.5);
    return f;
}

struct ManyFigure {
    int confirmed = 0;
    int answered = 0;
    double seconds = 0;
    double lineSeconds = 0;
};

ManyFigure measureManyClients() {
    const auto unitPtr = startUnit(true);  // 24 outlets: one of its own for each client
    ManyFigure f;
    if (!unitPtr) return f;
    sim::PtySimulator& unit = *unitPtr;
    Serve serve(unit.slavePath());
    if (serve.socket().empty()) return f;
    // The owner's own polls before the clients begin are not theirs.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::size_t receivedBefore = unit.received().size();
    const std::size_t sentBefore = unit.sent().size();
    std::atomic<int> confirmed{0}, answered{0};
    const auto start = Steady::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            ControlClient client;
            if (!client.connect(serve.socket())) return;
            for (int i = 0; i < kSwitchesEach; ++i) {
                Request r;
                r.id = i;
                r.kind = RequestKind::switchPorts;
                r.on = i % 2 == 0;
                r.bank = c / 8 + 1;
                r.port = c % 8 + 1;
                r.timeoutMs = 600000;
                if (!client.send(r)) return;
                // Progress lines ("sent", with "more") come before the answer.
                Json a;
                do {
                    const std::optional<std::string> line = client.receive(900000);
                    if (!line) return;
                    a = Json::parse(*line, nullptr, false);
                } while (!a.is_discarded() && a.value("more", false));
                ++answered;
                if (!a.is_discarded() && a.value("confirmed", false)) ++confirmed;
            }
        });
    }
    for (auto& t : clients) t.join();
    f.seconds = msSince(start) / 1000.0;
    f.confirmed = confirmed;
    f.answered = answered;
    const std::size_t bytes = (unit.received().size() - receivedBefore) + (unit.sent().size() - sentBefore);
    f.lineSeconds = static_cast<double>(bytes) / 960.0;
    return f;
}

// A loopback port nobody listens on now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// One scrape: connect, GET /metrics, read to the end. The body, or "".
std::string scrape(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string get = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::send(fd, get.data(), get.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(get.size())) {
            char buffer[8192];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    const std::size_t body = answer.find("\r\n\r\n");
    return answer.rfind("HTTP/1.1 200", 0) == 0 && body != std::string::npos ? answer.substr(body + 4) : "";
}

struct MetricsFigure {
    double median = 0, p95 = 0;
    int failures = 0;
    bool up = false;
};

MetricsFigure measureMetrics() {
    const auto unitPtr = startUnit(true);
    MetricsFigure f;
    if (!unitPtr) return f;
    sim::PtySimulator& unit = *unitPtr;
    const int port = freePort();
    Serve serve(unit.slavePath(), "127.0.0.1:" + std::to_string(port));
    if (serve.socket().empty()) return f;
    // Until the owner has its first status: the figure is of the cache.
    const auto bound = Steady::now() + std::chrono::seconds(30);
    while (scrape(port).find("velmora_outlet_on{") == std::string::npos && Steady::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
        const auto start = Steady::now();
        const std::string body = scrape(port);
        const double ms = msSince(start);
        if (body.empty()) {
            ++f.failures;
            continue;
        }
        f.up = body.find("velmora_outlet_on{") != std::string::npos;
        times.push_back(ms);
    }
    f.median = bench::percentile(times, 0.5);
    f.p95 = bench::percentile(times, 0.95);
    return f;
}

// Writes what the owner takes, reading nothing back, until `stop`.
void pushUntil(int fd, const std::string& bytes, const std::atomic<bool>& stop) {
    std::size_t done = 0;
    while (!stop.load()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done = (done + static_cast<std::size_t>(n)) % bytes.size();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

struct LoadFigure {
    double idleMedian = 0, idleP99 = 0, loadMedian = 0, loadP99 = 0;
    int failures = 0;
};

LoadFigure measureUnderLoad() {
    constexpr int kAsks = 40;
    const auto unitPtr = startUnit(false);
    LoadFigure f;
    if (!unitPtr) return f;
    Serve serve(unitPtr->slavePath());
    if (serve.socket().empty()) return f;
    const std::vector<std::string> status{"--port", unitPtr->slavePath(), "status"};
    const auto measure = [&](double& median, double& p99) {
        std::vector<double> times;
        for (int i = 0; i < kAsks; ++i) {
            const double ms = timeCommand(status);
            if (ms < 0) {
                ++f.failures;
            } else {
                times.push_back(ms);
            }
        }
        median = bench::percentile(times, 0.5);
        p99 = bench::percentile(times, 0.99);
    };
    measure(f.idleMedian, f.idleP99);

    std::vector<int> fds;
    for (int i = 0; i < 64; ++i) fds.push_back(test::connectTo(serve.socket()));
    const int trickle = test::connectTo(serve.socket());
    ::send(trickle, "{\"id\":1,", 8, MSG_NOSIGNAL);
    fds.push_back(trickle);
    std::string manyKeys = R"({"id":1,"command":"status")";
    for (int i = 0; manyKeys.size() < 1000000; ++i) manyKeys += ",\"k" + std::to_string(i) + "\":0";
    manyKeys += "}\n";
    std::string switchings;
    for (int i = 0; i < 1000; ++i)
        switchings += std::string(R"({"id":)") + std::to_string(i) + R"(,"command":"switch","on":)" +
                      (i % 2 ? "false" : "true") + R"(,"bank":2,"port":8})" + "\n";
    std::atomic<bool> stop{false};
    const int junk = test::connectTo(serve.socket());
    const int keys = test::connectTo(serve.socket());
    std::thread flood([&] { pushUntil(junk, std::string(1u << 20, '\n') + "junk\n", stop); });
    std::thread heavy([&] { pushUntil(keys, manyKeys, stop); });
    std::thread vanishing([&] {
        // One after another: each queues its switchings and goes at once.
        while (!stop.load()) {
            const int fd = test::connectTo(serve.socket());
            if (fd < 0) break;
            ::send(fd, switchings.data(), switchings.size(), MSG_NOSIGNAL);
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    measure(f.loadMedian, f.loadP99);
    stop = true;
    flood.join();
    heavy.join();
    vanishing.join();
    for (int fd : fds) ::close(fd);
    ::close(junk);
    ::close(keys);
    return f;
}

}  // namespace
}  // namespace velmora

int main() {
    using namespace velmora;
    std::printf("velmoractl through \"velmoractl serve\" beside the port itself, median of %d runs, start to exit\n"
                "(target: the socket adds at most %.0f ms):\n",
                kRuns, kSocketTargetMs);
    const struct {
        const char* name;
        bool paced;
        std::vector<std::string> command;
    } cases[] = {{"status, unpaced", false, {"status"}},
                 {"status, 9600 baud", true, {"status"}},
                 {"on 1 3, unpaced", false, {"on", "1", "3"}},
                 {"on 1 3, 9600 baud", true, {"on", "1", "3"}}};
    for (const auto& c : cases) {
        const CommandFigure f = measureCommand(c.paced, c.command);
        const double added = f.throughOwner - f.direct;
        std::printf("  %-20s port itself %7.1f ms  through serve %7.1f ms  added %+7.1f ms  %s%s\n", c.name, f.direct,
                    f.throughOwner, added, added <= kSocketTargetMs ? "meets target" : "ABOVE TARGET",
                    f.failures ? " (runs failed)" : "");
    }

    const ManyFigure m = measureManyClients();
    const double over = m.lineSeconds > 0 ? (m.seconds / m.lineSeconds - 1.0) * 100.0 : 0.0;
    std::printf("\n%d clients x %d switchings through serve, unit paced at 9600 baud "
                "(target: all %d confirmed, within %.0f %% of the line time):\n",
                kClients, kSwitchesEach, kClients * kSwitchesEach, kManyClientsTargetPercent);
    std::printf("  answered %d, confirmed %d; %.2f s for %.2f s of line time: %+.1f %%  %s\n", m.answered, m.confirmed,
                m.seconds, m.lineSeconds, over,
                m.confirmed == kClients * kSwitchesEach && over <= kManyClientsTargetPercent ? "meets target"
                                                                                             : "ABOVE TARGET");

    const MetricsFigure metrics = measureMetrics();
    std::printf("\nGET /metrics from serve --metrics, unit paced at 9600 baud, 200 scrapes (target: %.0f ms):\n",
                kMetricsTargetMs);
    std::printf("  median %.2f ms, 95th percentile %.2f ms%s%s  %s\n", metrics.median, metrics.p95,
                metrics.up ? "" : " (the unit was not up)", metrics.failures ? " (scrapes failed)" : "",
                metrics.median <= kMetricsTargetMs && metrics.failures == 0 ? "meets target" : "ABOVE TARGET");

    const LoadFigure load = measureUnderLoad();
    std::printf("\nvelmoractl status through serve, 40 runs, start to exit (target under load: 2000 ms):\n");
    std::printf("  no other client:     median %7.1f ms, 99th percentile %7.1f ms\n", load.idleMedian, load.idleP99);
    std::printf("  under bad clients:   median %7.1f ms, 99th percentile %7.1f ms%s  %s\n", load.loadMedian,
                load.loadP99, load.failures ? " (runs failed)" : "",
                load.loadP99 <= 2000.0 && load.failures == 0 ? "meets target" : "ABOVE TARGET");
    return 0;
}
