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

// "127.0.0.1:9713", "[::1]:9713", ":9713" (the loopback address): false
// when it is not ADDRESS:PORT with a port from 1 to 65535.
bool parseListenAddress(const std::string& text, std::string& address, int& port);

class MetricsHttp {
public:
    MetricsHttp();
    ~MetricsHttp();  // stop()
    MetricsHttp(const MetricsHttp&) = delete;
    MetricsHttp& operator=(const MetricsHttp&) = delete;

    // Listens; `metrics` gives the text (called on the server's threads).
    bool start(const std::string& address, int port, std::function<std::string()> metrics, std::string* why);
    void stop();

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

}  // namespace velmora::cli
