#pragma once

// `velmoractl serve --metrics ADDRESS:PORT`: GET /metrics over HTTP for a
// Prometheus scrape, answered from the owner's latest poll answer without
// waiting on the unit. Loopback unless told otherwise.

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace velmora::cli {

// "127.0.0.1:9713", "[::1]:9713", ":9713" (the loopback address),
// "localhost:9713": false with *why when it is not ADDRESS:PORT with an IP
// literal (IPv6 in brackets) or a host name, and a port from 1 to 65535.
// Whether a host name resolves is for MetricsHttp::start to find out.
bool parseListenAddress(const std::string& text, std::string& address, int& port, std::string* why = nullptr);

// Where a browser finds the metrics: "http://127.0.0.1:9713/metrics",
// "http://[::1]:9713/metrics".
std::string metricsUrl(const std::string& address, int port);

class MetricsHttp {
public:
    // Scrapes are tiny: a few workers, and a connection that does not send
    // its request promptly (or keeps trickling it) loses its worker soon.
    static constexpr int kWorkers = 8;
    static constexpr int kReadTimeoutSeconds = 2;
    static constexpr int kIdleTimeoutSeconds = 2;
    static constexpr int kWriteTimeoutSeconds = 5;

    MetricsHttp();
    ~MetricsHttp();  // stop()
    MetricsHttp(const MetricsHttp&) = delete;
    MetricsHttp& operator=(const MetricsHttp&) = delete;

    // Listens on address:port, alone: a port another program (or another
    // serve) listens on is refused. `metrics` gives the text (called on the
    // server's threads). false with *why ("cannot listen for metrics at
    // ...: ...") when the host does not resolve or the port is taken.
    bool start(const std::string& address, int port, std::function<std::string()> metrics, std::string* why);
    void stop();

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

}  // namespace velmora::cli
