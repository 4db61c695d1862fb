// serve --metrics: the address as typed, the address printed, and the
// listener: one owner per port, and scrapes answered while slow clients
// hold connections open.

#include "cli/metrics_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <httplib.h>

#include <ostream>
#include <string>

namespace velmora::cli {
namespace {

struct AddressCase {
    const char* text;
    bool accepted;
    const char* address;  // when accepted
    int port;
    const char* url;      // when accepted
    const char* refusal;  // a part of the message when refused
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ListenAddresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ListenAddresses, ReadAsMeantOrRefusedWithAReason) {
    const AddressCase& c = GetParam();
    std::string address = "unchanged";
    int port = -1;
    std::string why;
    ASSERT_EQ(parseListenAddress(c.text, address, port, &why), c.accepted) << c.text << ": " << why;
    if (c.accepted) {
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(port, c.port);
        EXPECT_EQ(metricsUrl(address, port), c.url);
    } else {
        EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
        EXPECT_EQ(address, "unchanged");
        EXPECT_EQ(port, -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Metrics, ListenAddresses,
    ::testing::Values(
        AddressCase{"127.0.0.1:9100", true, "127.0.0.1", 9100, "http://127.0.0.1:9100/metrics", ""},
        AddressCase{":9100", true, "127.0.0.1", 9100, "http://127.0.0.1:9100/metrics", ""},
        AddressCase{"[::1]:9100", true, "::1", 9100, "http://[::1]:9100/metrics", ""},
        AddressCase{"0.0.0.0:65535", true, "0.0.0.0", 65535, "http://0.0.0.0:65535/metrics", ""},
        AddressCase{"localhost:1", true, "localhost", 1, "http://localhost:1/metrics", ""},
        AddressCase{"::1:9100", false, "", 0, "", "brackets"},
        AddressCase{"[::1]9100", false, "", 0, "", "ADDRESS:PORT"},
        AddressCase{"[127.0.0.1]:9100", false, "", 0, "", "not an IPv6 address"},
        AddressCase{"[::1:9100", false, "", 0, "", "ADDRESS:PORT"},
        AddressCase{"[]:9100", false, "", 0, "", "not an IPv6 address"},
        AddressCase{"[::1]:x", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"host:0", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"host:70000", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"host:-1", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"host:", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"x:y", false, "", 0, "", "from 1 to 65535"},
        AddressCase{"9100", false, "", 0, "", "ADDRESS:PORT"},
        AddressCase{"999.1.1.1:9100", false, "", 0, "", "neither an IP address nor a host name"},
        AddressCase{"a b:9100", false, "", 0, "", "neither an IP address nor a host name"},
        AddressCase{"host..example:9100", false, "", 0, "", "neither an IP address nor a host name"},
        AddressCase{"http://host:9100", false, "", 0, "", "brackets"}));

// A port nobody listens on just now.
int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t size = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        if (fd >= 0) close(fd);
        return 0;
    }
    close(fd);
    return ntohs(a.sin_port);
}

std::string scrape(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(10, 0);
    client.set_read_timeout(10, 0);
    const auto answer = client.Get("/metrics");
    return answer && answer->status == 200 ? answer->body : std::string();
}

TEST(MetricsHttp, SecondListenerOnTheSamePortIsRefusedAndTheFirstKeepsEveryScrape) {
    const int port = freeLoopbackPort();
    ASSERT_NE(port, 0);
    MetricsHttp first;
    std::string why;
    ASSERT_TRUE(first.start("127.0.0.1", port, [] { return std::string("first\n"); }, &why)) << why;

    // On every address that reaches that port.
    for (const char* address : {"127.0.0.1", "0.0.0.0"}) {
        MetricsHttp second;
        why.clear();
        EXPECT_FALSE(second.start(address, port, [] { return std::string("second\n"); }, &why)) << address;
        EXPECT_NE(why.find("cannot listen for metrics at " + std::string(address) + ":" + std::to_string(port)),
                  std::string::npos)
            << why;
        EXPECT_NE(why.find("in use by another program"), std::string::npos) << why;
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(scrape(port), "first\n") << "scrape " << i;

    // Stopped, the port is free again at once.
    first.stop();
    MetricsHttp next;
    ASSERT_TRUE(next.start("127.0.0.1", port, [] { return std::string("next\n"); }, &why)) << why;
    EXPECT_EQ(scrape(port), "next\n");
}

TEST(MetricsHttp, HostThatDoesNotResolveIsRefused) {
    MetricsHttp http;
    std::string why;
    EXPECT_FALSE(http.start("no-such-host.invalid", 9100, [] { return std::string(); }, &why));
    EXPECT_NE(why.find("cannot listen for metrics at no-such-host.invalid:9100: no such host"), std::string::npos)
        << why;
}

}  // namespace
}  // namespace velmora::cli
