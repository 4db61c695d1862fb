#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    bool ok;
    std::vector<std::string> ports;
    bool simulate;
    int banks;
    bool help;
    bool version;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, ReadsArguments) {
    const CommandLineCase& c = GetParam();
    const CommandLine cl = parseCommandLine(c.args);
    EXPECT_EQ(cl.error.empty(), c.ok) << cl.error;
    if (!c.ok) return;
    EXPECT_EQ(cl.ports, c.ports);
    EXPECT_EQ(cl.simulate, c.simulate);
    EXPECT_EQ(cl.simulatedBanks, c.banks);
    EXPECT_EQ(cl.help, c.help);
    EXPECT_EQ(cl.version, c.version);
}

INSTANTIATE_TEST_SUITE_P(
    App, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Nothing", {}, true, {}, false, 3, false, false},
        CommandLineCase{"OnePortSeparateValue", {"--port", "/dev/pts/4"}, true, {"/dev/pts/4"}, false, 3, false, false},
        CommandLineCase{"OnePortJoinedValue", {"--port=/dev/ttyUSB1"}, true, {"/dev/ttyUSB1"}, false, 3, false, false},
        CommandLineCase{"PortsKeepTheirOrder", {"--port", "b", "--port=a", "--port", "c"}, true, {"b", "a", "c"}, false, 3, false, false},
        CommandLineCase{"PortNamedLikeAnOption", {"--port", "--help"}, true, {"--help"}, false, 3, false, false},
        CommandLineCase{"PortWithoutDevice", {"--port"}, false, {}, false, 3, false, false},
        CommandLineCase{"PortWithEmptyDevice", {"--port", ""}, false, {}, false, 3, false, false},
        CommandLineCase{"PortJoinedEmpty", {"--port="}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateDefaultBanks", {"--simulate"}, true, {}, true, 3, false, false},
        CommandLineCase{"SimulateFiveBanks", {"--simulate=5"}, true, {}, true, 5, false, false},
        CommandLineCase{"SimulateOneBank", {"--simulate=1"}, true, {}, true, 1, false, false},
        CommandLineCase{"SimulateSixteenBanks", {"--simulate=16"}, true, {}, true, 16, false, false},
        CommandLineCase{"SimulateZeroBanks", {"--simulate=0"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateSeventeenBanks", {"--simulate=17"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateNegative", {"--simulate=-2"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateNotANumber", {"--simulate=abc"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateTrailingJunk", {"--simulate=4x"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateEmptyCount", {"--simulate="}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateHugeNumber", {"--simulate=99999999999999999999"}, false, {}, false, 3, false, false},
        CommandLineCase{"SimulateAndPort", {"--simulate=2", "--port", "x"}, true, {"x"}, true, 2, false, false},
        CommandLineCase{"Help", {"--help"}, true, {}, false, 3, true, false},
        CommandLineCase{"Version", {"--version"}, true, {}, false, 3, false, true},
        CommandLineCase{"UnknownOption", {"--verbose"}, false, {}, false, 3, false, false},
        CommandLineCase{"BareWord", {"COM3"}, false, {}, false, 3, false, false},
        CommandLineCase{"PrefixOfAnOption", {"--simulat"}, false, {}, false, 3, false, false}),
    [](const auto& row) { return std::string(row.param.name); });

struct EarlyCase {
    const char* name;
    std::vector<std::string> args;
    bool early;
};

class EarlyAnswerTest : public ::testing::TestWithParam<EarlyCase> {};

TEST_P(EarlyAnswerTest, HelpAndVersionAreFound) {
    EXPECT_EQ(asksForHelpOrVersion(GetParam().args), GetParam().early);
}

INSTANTIATE_TEST_SUITE_P(
    App, EarlyAnswerTest,
    ::testing::Values(EarlyCase{"Nothing", {}, false}, EarlyCase{"Help", {"--help"}, true},
                      EarlyCase{"VersionAfterOthers", {"--simulate", "--version"}, true},
                      EarlyCase{"HelpAsPortDevice", {"--port", "--help"}, false},
                      EarlyCase{"HelpAfterPortDevice", {"--port", "x", "--help"}, true},
                      EarlyCase{"QtOptionOnly", {"-platform", "offscreen"}, false},
                      EarlyCase{"SingleDashHelp", {"-help"}, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CommandLineUsage, NamesEveryOption) {
    const std::string usage = usageText();
    for (const char* option : {"--port DEVICE", "--simulate[=BANKS]", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace velmora
