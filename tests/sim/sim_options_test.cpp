#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace velmora::sim;

namespace {

struct GoodCase {
    const char* name;
    std::vector<std::string> args;
    std::function<bool(const SimOptions&)> holds;
};

class GoodOptions : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodOptions, AreTakenAsMeant) {
    const auto r = parseSimOptions(GetParam().args);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(GetParam().holds(r.options));
}

INSTANTIATE_TEST_SUITE_P(
    Sim, GoodOptions,
    ::testing::Values(
        GoodCase{"NoneGivesDefaults", {},
                 [](const SimOptions& o) {
                     return o.unit.banks == 2 && !o.pty.paced && o.unit.faults.silentAfterPolls == -1 &&
                            o.unit.faults.hangUpAfterPolls == -1 && !o.unit.faults.missingFirmware && !o.help;
                 }},
        GoodCase{"Banks", {"--banks", "16"}, [](const SimOptions& o) { return o.unit.banks == 16; }},
        GoodCase{"Versions", {"--versions", "1203,1187,2001"},
                 [](const SimOptions& o) { return o.unit.versions == std::vector<std::string>{"1203", "1187", "2001"}; }},
        GoodCase{"SilentAfter", {"--silent-after", "3"}, [](const SimOptions& o) { return o.unit.faults.silentAfterPolls == 3; }},
        GoodCase{"HangUpAfter", {"--hangup-after", "0"}, [](const SimOptions& o) { return o.unit.faults.hangUpAfterPolls == 0; }},
        GoodCase{"Abc", {"--abc"}, [](const SimOptions& o) { return o.unit.faults.missingFirmware; }},
        GoodCase{"ClockError", {"--clock-error"}, [](const SimOptions& o) { return o.unit.faults.clockError; }},
        GoodCase{"UpgradeFail", {"--upgrade-fail"}, [](const SimOptions& o) { return o.unit.faults.upgradeFailures == 1; }},
        GoodCase{"UpgradeStallDefault", {"--upgrade-stall"}, [](const SimOptions& o) { return o.unit.faults.stallAfterBytes == 100; }},
        GoodCase{"UpgradeStallGiven", {"--upgrade-stall", "7", "--junk"},
                 [](const SimOptions& o) { return o.unit.faults.stallAfterBytes == 7 && o.unit.faults.junk; }},
        GoodCase{"BadBanks", {"--bad-banks"}, [](const SimOptions& o) { return o.unit.faults.badBanks; }},
        GoodCase{"VersionsLost", {"--versions-lost"}, [](const SimOptions& o) { return o.unit.faults.versionsLostAfterUpgrade; }},
        GoodCase{"Paced", {"--paced"}, [](const SimOptions& o) { return o.pty.paced; }},
        GoodCase{"Record", {"--record", "/tmp/line.bin"}, [](const SimOptions& o) { return o.recordFile == "/tmp/line.bin"; }},
        GoodCase{"Log", {"--log", "/tmp/commands.txt"}, [](const SimOptions& o) { return o.logFile == "/tmp/commands.txt"; }},
        GoodCase{"StatusForm", {"--status-form", "flags-first"},
                 [](const SimOptions& o) { return o.unit.statusForm == StatusForm::combinedFlagsFirst; }},
        GoodCase{"ImageLength", {"--image-length", "4096"}, [](const SimOptions& o) { return o.unit.imageLength == 4096; }},
        GoodCase{"OkCompletion", {"--ok-completion"},
                 [](const SimOptions& o) { return o.unit.completion == CompletionStyle::twoWordOk; }},
        GoodCase{"PromptEvery", {"--prompt-every", "3"}, [](const SimOptions& o) { return o.unit.loaderPromptEveryMs == 3000; }},
        GoodCase{"Help", {"--help"}, [](const SimOptions& o) { return o.help; }}),
    [](const auto& row) { return std::string(row.param.name); });

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    std::string mentions;
};

class BadOptions : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadOptions, AreRefusedWithAMessage) {
    const auto r = parseSimOptions(GetParam().args);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(GetParam().mentions), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(Sim, BadOptions,
                         ::testing::Values(BadCase{"Unknown", {"--turbo"}, "--turbo"},
                                           BadCase{"RecordWithoutFile", {"--record"}, "--record"},
                                           BadCase{"LogWithoutFile", {"--log"}, "--log"},
                                           BadCase{"BanksMissing", {"--banks"}, "--banks"},
                                           BadCase{"BanksZero", {"--banks", "0"}, "--banks"},
                                           BadCase{"BanksSeventeen", {"--banks", "17"}, "--banks"},
                                           BadCase{"BanksTrailingText", {"--banks", "2x"}, "--banks"},
                                           BadCase{"BanksNegative", {"--banks", "-2"}, "--banks"},
                                           BadCase{"VersionsShort", {"--versions", "123"}, "--versions"},
                                           BadCase{"VersionsLetters", {"--versions", "12a4"}, "--versions"},
                                           BadCase{"VersionsTrailingComma", {"--versions", "1203,"}, "--versions"},
                                           BadCase{"SilentAfterText", {"--silent-after", "many"}, "--silent-after"},
                                           BadCase{"HangUpAfterMissing", {"--hangup-after"}, "--hangup-after"},
                                           BadCase{"StatusFormUnknown", {"--status-form", "fancy"}, "--status-form"},
                                           BadCase{"ImageLengthZero", {"--image-length", "0"}, "--image-length"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SimUsage, NamesEveryOption) {
    const std::string usage = simUsage();
    for (const char* option : {"--banks", "--versions", "--silent-after", "--abc", "--clock-error", "--upgrade-fail",
                               "--upgrade-stall", "--junk", "--bad-banks", "--hangup-after", "--versions-lost", "--paced", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
