// The unit in Prometheus' text format: every family with its samples, the
// label values escaped as the format wants, the time left of each
// direction's timer, and a unit that is down saying only so.

#include "service/metrics.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "schedule/timer_tables.h"

namespace velmora {
namespace {

// Every line is a comment or `name{labels} value` with quoted label values.
void expectWellFormed(const std::string& text) {
    static const std::regex sample(R"(^[a-z_]+\{([a-z_]+="([^"\\\n]|\\[\\"n])*"(,|\}))+ -?[0-9.e+]+$)");
    std::istringstream in(text);
    std::string line;
    int samples = 0;
    while (std::getline(in, line)) {
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(line, sample)) << line;
        ++samples;
    }
    EXPECT_GT(samples, 0);
}

UnitView twoBanks() {
    UnitView u;
    u.bankCount = 2;
    for (int b = 1; b <= 2; ++b) {
        BankView bank;
        bank.bank = b;
        bank.portStates = b == 1 ? "OCCCCCCO" : "CCCCCCCC";
        bank.timerFlags = "GGGGGGGG";
        bank.current = b == 1 ? 2.5f : 0.0f;
        bank.currentKnown = true;
        bank.version = b == 1 ? "1203" : "12\xe9\x34";  // an 8-bit byte from the line
        for (int p = 1; p <= 8; ++p) bank.ports[static_cast<std::size_t>(p - 1)].port = p;
        bank.ports[0].on = b == 1;
        bank.ports[7].on = b == 1;
        u.banks.push_back(bank);
    }
    return u;
}

TEST(Metrics, EveryFamilyWithEscapedLabels) {
    TimerTables tables;
    TimerEntry daily;
    daily.enabled = 1;
    daily.kind = KindEveryDay;
    daily.hour = 22;
    daily.minute = 30;
    tables.setEntry(TableId::LiveOff, 0, 2, daily);  // bank 1 port 3 goes off at 22:30
    const LocalMoment now{2026, 12, 8, 3, 21, 0, 15};
    const std::string text =
        metricsText("/dev/serial/by-id/usb-\"odd\"\\name", true, twoBanks(), tables, now, [](int bank, int port) {
            if (bank == 1 && port == 1) return std::string("router \"core\"\nrack 1");
            if (bank == 1 && port == 8) return std::string("DUT \xc3\xa9");
            return std::string();
        });
    expectWellFormed(text);
    const std::string device = R"(device="/dev/serial/by-id/usb-\"odd\"\\name")";
    EXPECT_NE(text.find("velmora_up{" + device + "} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("velmora_outlet_on{" + device + R"(,bank="1",outlet="1",name="router \"core\"\nrack 1"} 1)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(bank="1",outlet="8",name="DUT é"} 1)"), std::string::npos);
    EXPECT_NE(text.find(R"(bank="2",outlet="8",name=""} 0)"), std::string::npos);
    EXPECT_NE(text.find("velmora_bank_current_amperes{" + device + R"(,bank="1"} 2.5)"), std::string::npos);
    // 21:00:15 to 22:30 shows 1:29 in the window (whole minutes): 5340 s.
    EXPECT_NE(text.find(R"(velmora_timer_seconds{)" + device + R"(,bank="1",outlet="3",direction="off"} 5340)"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find(R"(outlet="3",direction="on")"), std::string::npos) << "no power-on timer there";
    EXPECT_NE(text.find(R"(velmora_info{)" + device + R"(,bank="2",firmware="12é4"} 1)"), std::string::npos) << text;
}

TEST(Metrics, AUnitThatIsDownSaysOnlyThat) {
    TimerTables tables;
    const std::string text = metricsText("/dev/ttyUSB0", false, twoBanks(), tables, LocalMoment{});
    expectWellFormed(text);
    EXPECT_NE(text.find(R"(velmora_up{device="/dev/ttyUSB0"} 0)"), std::string::npos);
    EXPECT_EQ(text.find("velmora_outlet_on"), std::string::npos);
}

}  // namespace
}  // namespace velmora
