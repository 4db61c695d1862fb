#include "cli/metrics_http.h"

// First: on Windows it brings Winsock 2 in before anything else brings in
// <windows.h>.
#include <httplib.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "service/control_pipe_win32.h"
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstring>

namespace velmora::cli {

namespace {

#ifdef _WIN32
constexpr int kAddressInUse = WSAEADDRINUSE;
constexpr int kNotPermitted = WSAEACCES;
constexpr int kNoSuchAddress = WSAEADDRNOTAVAIL;
int lastSocketError() { return WSAGetLastError(); }
void clearSocketError() { WSASetLastError(0); }
std::string socketErrorText(int error) { return win32pipe::errorText(static_cast<DWORD>(error)); }
#else
constexpr int kAddressInUse = EADDRINUSE;
constexpr int kNotPermitted = EACCES;
constexpr int kNoSuchAddress = EADDRNOTAVAIL;
int lastSocketError() { return errno; }
void clearSocketError() { errno = 0; }
std::string socketErrorText(int error) { return std::strerror(error); }
#endif

bool fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

bool isIpv4(const std::string& host) {
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool isIpv6(const std::string& host) {
    in6_addr a{};
    return inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

// Letters, digits and hyphens in dot-separated labels; all digits and dots
// would be a mistyped IPv4 address, not a name.
bool isHostName(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    bool onlyDigits = true;
    std::size_t label = 0;
    for (const char c : host) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '-') return false;
        if (!digit) onlyDigits = false;
        if (++label > 63) return false;
    }
    return label != 0 && !onlyDigits;
}

// Only our own options on the listener: no SO_REUSEPORT, which would let a
// second serve listen on the same port and take half the scrapes.
// SO_REUSEADDR only lets a restart bind beside connections still closing;
// Linux refuses it a port someone listens on. Windows would let it take
// such a port: there the listener asks for the port alone. Not inherited by
// children.
void exclusiveListener(socket_t fd) {
#ifdef _WIN32
    const BOOL yes = TRUE;
    setsockopt(fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
    SetHandleInformation(reinterpret_cast<HANDLE>(fd), HANDLE_FLAG_INHERIT, 0);
#else
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
#endif
}

std::string bindFailureText(int error) {
    const std::string reason = error != 0 ? socketErrorText(error) : std::string();
    if (error == kAddressInUse) return "the address is in use by another program (" + reason + ")";
    if (error == kNotPermitted) return "not permitted (" + reason + "); ports below 1024 need privileges";
    if (error == kNoSuchAddress) return "no interface of this machine has that address (" + reason + ")";
    if (error != 0) return reason;
    return "the address cannot be bound";
}

}  // namespace

bool parseListenAddress(const std::string& text, std::string& address, int& port, std::string* why) {
    const std::string usage = "--metrics needs ADDRESS:PORT (e.g. 127.0.0.1:9713, [::1]:9713 or :9713), not \"" + text + "\"";
    std::string host;
    std::string digits;
    bool bracketed = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return fail(why, usage);
        host = text.substr(1, close - 1);
        digits = text.substr(close + 2);
        bracketed = true;
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos) return fail(why, usage);
        host = text.substr(0, colon);
        digits = text.substr(colon + 1);
    }
    int p = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), p);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() || p < 1 || p > 65535)
        return fail(why, "--metrics needs a port from 1 to 65535, not \"" + digits + "\" in \"" + text + "\"");
    if (bracketed) {
        if (!isIpv6(host)) return fail(why, "--metrics: \"" + host + "\" in brackets is not an IPv6 address");
    } else if (host.find(':') != std::string::npos) {
        return fail(why, "--metrics: an IPv6 address goes in brackets, e.g. [::1]:9713, not \"" + text + "\"");
    } else if (!host.empty() && !isIpv4(host) && !isHostName(host)) {
        return fail(why, "--metrics: \"" + host + "\" is neither an IP address nor a host name");
    }
    address = host.empty() ? "127.0.0.1" : host;
    port = p;
    return true;
}

std::string metricsUrl(const std::string& address, int port) {
    const std::string host = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    return "http://" + host + ":" + std::to_string(port) + "/metrics";
}

MetricsHttp::MetricsHttp() = default;

MetricsHttp::~MetricsHttp() { stop(); }

bool MetricsHttp::start(const std::string& address, int port, std::function<std::string()> metrics, std::string* why) {
    stop();
    const std::string where = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    const std::string cannot = "cannot listen for metrics at " + where + ":" + std::to_string(port) + ": ";
    // A name that does not resolve gets its own reason, not a failed bind.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) return fail(why, cannot + "no such host (" + gai_strerror(lookup) + ")");
    freeaddrinfo(found);

    server_ = std::make_unique<httplib::Server>();
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server_->set_socket_options([](socket_t fd) { exclusiveListener(fd); });
    // One request per connection, read within a short time: idle or
    // trickling connections cannot keep every worker from the scrapes.
    server_->set_keep_alive_max_count(1);
    server_->set_keep_alive_timeout(kIdleTimeoutSeconds);
    server_->set_read_timeout(kReadTimeoutSeconds, 0);
    server_->set_write_timeout(kWriteTimeoutSeconds, 0);
    server_->Get("/metrics", [metrics](const httplib::Request&, httplib::Response& res) {
        res.set_content(metrics(), "text/plain; version=0.0.4; charset=utf-8");
    });
    server_->Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("Velmora Manager: the unit's metrics are at /metrics\n", "text/plain; charset=utf-8");
    });
    clearSocketError();
    if (!server_->bind_to_port(address, port)) {
        const int error = lastSocketError();
        server_.reset();
        return fail(why, cannot + bindFailureText(error));
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
