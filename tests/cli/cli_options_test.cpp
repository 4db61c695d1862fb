#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velmora::cli {
namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

struct Accepted {
    const char* name;
    const char* line;
    Command command;
    std::string device;
    bool simulate;
    int banks;
    bool json;
    int timeoutMs;
    int bank, port, delayMs;
    std::string file;
    std::string trace;
};

class AcceptedArguments : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, ReadAsMeant) {
    const Accepted& a = GetParam();
    const Parse p = parseArguments(words(a.line));
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.options.command, a.command);
    EXPECT_EQ(p.options.device, a.device);
    EXPECT_EQ(p.options.simulate, a.simulate);
    EXPECT_EQ(p.options.simulatedBanks, a.banks);
    EXPECT_EQ(p.options.json, a.json);
    EXPECT_EQ(p.options.timeoutMs, a.timeoutMs);
    EXPECT_EQ(p.options.bank, a.bank);
    EXPECT_EQ(p.options.port, a.port);
    EXPECT_EQ(p.options.delayMs, a.delayMs);
    EXPECT_EQ(p.options.file, a.file);
    EXPECT_EQ(p.options.traceFile, a.trace);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, AcceptedArguments,
    ::testing::Values(
        Accepted{"StatusProbesWithoutPort", "status", Command::status, "", false, 3, false, 10000, 0, 0, 5000, "", ""},
        Accepted{"PortAndJson", "--port /dev/ttyUSB0 --json status", Command::status, "/dev/ttyUSB0", false, 3, true,
                 10000, 0, 0, 5000, "", ""},
        Accepted{"PortWithEquals", "--port=/dev/pts/4 version", Command::version, "/dev/pts/4", false, 3, false, 10000, 0,
                 0, 5000, "", ""},
        Accepted{"SimulateWithBanks", "--simulate=5 watch", Command::watch, "", true, 5, false, 10000, 0, 0, 5000, "", ""},
        Accepted{"OnePort", "on 2 3", Command::on, "", false, 3, false, 10000, 2, 3, 5000, "", ""},
        Accepted{"WholeBankOff", "off 1 0", Command::off, "", false, 3, false, 10000, 1, 0, 5000, "", ""},
        Accepted{"EveryBankOn", "on 0 0", Command::on, "", false, 3, false, 10000, 0, 0, 5000, "", ""},
        Accepted{"CycleWithFractionalDelay", "cycle 1 8 --delay 0.25", Command::cycle, "", false, 3, false, 10000, 1, 8,
                 250, "", ""},
        Accepted{"OptionsAfterCommand", "status --timeout 2.5 --trace t.log", Command::status, "", false, 3, false, 2500,
                 0, 0, 5000, "", "t.log"},
        Accepted{"ScheduleSend", "schedule send night.pwr", Command::scheduleSend, "", false, 3, false, 10000, 0, 0,
                 5000, "night.pwr", ""},
        Accepted{"ScheduleSave", "schedule save keep.pwr", Command::scheduleSave, "", false, 3, false, 10000, 0, 0,
                 5000, "keep.pwr", ""},
        Accepted{"FileNamedLikeOptionAfterDoubleDash", "upgrade -- --odd.x", Command::upgrade, "", false, 3, false,
                 10000, 0, 0, 5000, "--odd.x", ""},
        Accepted{"ClockWithTimeout", "--timeout=1 clock", Command::clock, "", false, 3, false, 1000, 0, 0, 5000, "",
                 ""}),
    [](const auto& p) { return std::string(p.param.name); });

struct Refused {
    const char* name;
    const char* line;
    const char* says;  // part of the message
};

class RefusedArguments : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedArguments, SayWhy) {
    const Parse p = parseArguments(words(GetParam().line));
    ASSERT_FALSE(p.ok());
    EXPECT_NE(p.error.find(GetParam().says), std::string::npos) << p.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RefusedArguments,
    ::testing::Values(Refused{"NoCommand", "--json", "no command"}, Refused{"UnknownCommand", "reboot", "unknown command"},
                      Refused{"UnknownOption", "--verbose status", "unknown option"},
                      Refused{"PortWithoutDevice", "status --port", "--port needs a device"},
                      Refused{"PortAndSimulate", "--port /dev/ttyS0 --simulate status", "exclude each other"},
                      Refused{"SimulateZeroBanks", "--simulate=0 status", "from 1 to 16"},
                      Refused{"SimulateSeventeenBanks", "--simulate=17 status", "from 1 to 16"},
                      Refused{"OnWithoutPort", "on 1", "needs BANK and PORT"},
                      Refused{"PortNine", "on 1 9", "PORT must be"}, Refused{"BankNotANumber", "off x 1", "BANK must be"},
                      Refused{"BankHundred", "off 100 1", "BANK must be"},
                      Refused{"EveryBankWithOnePort", "on 0 3", "BANK 0 means every bank"},
                      Refused{"ExtraArgument", "status now", "unexpected argument"},
                      Refused{"DelayOutsideCycle", "on 1 1 --delay 2", "--delay belongs to the cycle"},
                      Refused{"NegativeDelay", "cycle 1 1 --delay -1", "--delay takes seconds"},
                      Refused{"ZeroTimeout", "--timeout 0 status", "--timeout takes seconds"},
                      Refused{"FourDecimalsTimeout", "--timeout 1.2345 status", "--timeout takes seconds"},
                      Refused{"ScheduleWithoutVerb", "schedule", "schedule needs"},
                      Refused{"ScheduleLoad", "schedule load x.pwr", "schedule needs"},
                      Refused{"ScheduleWithoutFile", "schedule save", "needs a schedule file"},
                      Refused{"UpgradeWithoutFile", "upgrade", "needs a firmware image"},
                      Refused{"TraceWithoutFile", "status --trace", "--trace needs a file"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CliArguments, HelpAndVersionNeedNoCommand) {
    EXPECT_TRUE(parseArguments({"--help"}).ok());
    EXPECT_TRUE(parseArguments({"--help"}).options.help);
    EXPECT_TRUE(parseArguments({"--version"}).options.version);
}

TEST(CliArguments, UsageNamesEveryCommandAndExitCode) {
    const std::string u = usageText();
    for (const char* c : {"status", "on BANK PORT", "off BANK PORT", "cycle BANK PORT", "watch", "clock", "version",
                          "schedule send", "schedule save", "upgrade FILE.x", "--timeout", "--trace", "--json"})
        EXPECT_NE(u.find(c), std::string::npos) << c;
    for (const char* code : {"0 done", "1 no unit", "2 bad usage", "3 the unit did not confirm", "4 the port"})
        EXPECT_NE(u.find(code), std::string::npos) << code;
}

struct SecondsCase {
    const char* text;
    bool ok;
    int ms;
};

TEST(CliArguments, SecondsAreDecimalWithUpToThreeDecimals) {
    const SecondsCase cases[] = {{"0", true, 0},       {"5", true, 5000},       {"0.5", true, 500},
                                 {"1.25", true, 1250}, {"0.001", true, 1},      {"3600", true, 3600000},
                                 {"3600.001", false, 0}, {"1.", false, 0},       {".5", false, 0},
                                 {"1e3", false, 0},    {"-1", false, 0},        {"", false, 0},
                                 {"1,5", false, 0},    {"99999", false, 0}};
    for (const SecondsCase& c : cases) {
        int ms = -7;
        EXPECT_EQ(parseSeconds(c.text, ms), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
}

}  // namespace
}  // namespace velmora::cli
