#include "cli/metrics_http.h"

#include <charconv>

#include <httplib.h>

namespace velmora::cli {

bool parseListenAddress(const std::string& text, std::string& address, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    int p = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), p);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() || p < 1 || p > 65535)
        return false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.find(':') != std::string::npos && text.front() != '[') return false;  // IPv6 needs brackets
    address = host.empty() ? "127.0.0.1" : host;
    port = p;
    return true;
}

MetricsHttp::MetricsHttp() = default;

MetricsHttp::~MetricsHttp() { stop(); }

bool MetricsHttp::start(const std::string& address, int port, std::function<std::string()> metrics, std::string* why) {
    server_ = std::make_unique<httplib::Server>();
    server_->Get("/metrics", [metrics](const httplib::Request&, httplib::Response& res) {
        res.set_content(metrics(), "text/plain; version=0.0.4; charset=utf-8");
    });
    server_->Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("Velmora Manager: the unit's metrics are at /metrics\n", "text/plain; charset=utf-8");
    });
    if (!server_->bind_to_port(address, port)) {
        if (why) *why = "cannot listen for metrics at " + address + ":" + std::to_string(port);
        server_.reset();
        return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void MetricsHttp::stop() {
    if (!server_) return;
    server_->stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

}  // namespace velmora::cli
