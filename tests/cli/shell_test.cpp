// The shell's language: plug lists as powerman writes them, the commands,
// and how plugs become as few switching requests as the unit allows; outlet
// names given on the shell's lines, and names of outlets the unit does not
// have, in a whole shell against the simulated unit.

#include "cli/shell.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "session_rig.h"
#include "support/temp_folder.h"

namespace velmora::cli {
namespace {

using test::SessionRig;
using testing_support::TempFolder;

std::vector<int> numbers(const std::vector<Plug>& plugs) {
    std::vector<int> n;
    for (const Plug& p : plugs) n.push_back(p.number);
    return n;
}

TEST(ShellPlugs, ListsAndRangesAsPowermanWritesThem) {
    const struct {
        const char* text;
        int plugCount;
        std::vector<int> plugs;  // empty: refused
    } cases[] = {
        {"5", 16, {5}},
        {"*", 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"[1-3]", 16, {1, 2, 3}},
        {"[2-4,9]", 16, {2, 3, 4, 9}},
        {"[9,2-3,3]", 16, {2, 3, 9}},  // in plug order, each once
        {"1,3", 8, {1, 3}},
        {" 7 ", 8, {7}},
        {"9", 8, {}},        // beyond the unit
        {"0", 8, {}},
        {"[1-3", 8, {}},     // no closing bracket
        {"[4-2]", 8, {}},    // backwards
        {"a", 8, {}},
        {"1,,2", 8, {}},
        {"", 8, {}},
        {"[99999-1]", 8, {}},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto plugs = parsePlugs(c.text, c.plugCount, &why);
        if (c.plugs.empty()) {
            EXPECT_FALSE(plugs) << c.text;
            EXPECT_FALSE(why.empty()) << c.text;
        } else {
            ASSERT_TRUE(plugs) << c.text << ": " << why;
            EXPECT_EQ(numbers(*plugs), c.plugs) << c.text;
        }
    }
    const Plug p = plugNumbered(11);
    EXPECT_EQ(p.bank, 2);
    EXPECT_EQ(p.port, 3);
}

TEST(ShellLine, CommandsAndWhatTheyTake) {
    using K = ShellCommand::Kind;
    const struct {
        const char* line;
        K kind;
        const char* plugs;
    } cases[] = {
        {"status", K::status, ""},  {"  on 3\r", K::on, "3"},     {"off [1-8]", K::off, "[1-8]"},
        {"cycle *", K::cycle, "*"}, {"current", K::current, ""}, {"current [1-2]", K::current, "[1-2]"},
        {"quit", K::quit, ""},      {"", K::empty, ""},           {"on", K::invalid, ""},
        {"status 3", K::invalid, ""}, {"reboot", K::invalid, ""},
    };
    for (const auto& c : cases) {
        const ShellCommand s = parseShellLine(c.line);
        EXPECT_EQ(s.kind, c.kind) << c.line;
        if (c.kind != K::invalid) {
            EXPECT_EQ(s.plugs, c.plugs) << c.line;
        }
    }
}

TEST(ShellPlugs, WholeBanksAndTheWholeUnitGoAsOneRequest) {
    std::string why;
    const auto all = parsePlugs("*", 16, &why);
    const std::vector<PlugGroup> unit = groupPlugs(*all, 2);
    ASSERT_EQ(unit.size(), 1u);
    EXPECT_EQ(unit[0].bank, 0);
    EXPECT_EQ(unit[0].plugs.size(), 16u);

    const std::vector<PlugGroup> mixed = groupPlugs(*parsePlugs("[3,9-16]", 16, &why), 2);
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0].bank, 1);
    EXPECT_EQ(mixed[0].port, 3);
    EXPECT_EQ(mixed[1].bank, 2);
    EXPECT_EQ(mixed[1].port, 0) << "bank 2 whole";

    // A unit of more than 16 banks shows 16: "*" must not switch the hidden ones.
    const std::vector<PlugGroup> shown = groupPlugs(*parsePlugs("*", 128, &why), 17);
    EXPECT_NE(shown[0].bank, 0);
}

// The names a user gave outlets of a 3-bank unit, some of them of outlets
// it does not have: "9.1" (bank 9) in a names file, say, written by hand
// or for another unit of a port.
OutletNames namesOfThreeBanks() {
    OutletNames names;
    EXPECT_FALSE(names.rename(9, 1, "bank9"));
    EXPECT_FALSE(names.rename(16, 8, "far"));
    EXPECT_FALSE(names.rename(1, 3, "router"));
    EXPECT_FALSE(names.rename(12, 2, "router"));  // the same name on an outlet the unit lacks
    EXPECT_FALSE(names.rename(3, 8, "kettle"));
    EXPECT_FALSE(names.rename(2, 6, "twin"));
    EXPECT_FALSE(names.rename(2, 7, "twin"));
    return names;
}

// The names' lookup on its own: every plug it gives is one of the unit's,
// and parsePlugs checks even a lookup that answers past the unit.
TEST(ShellNames, ANameStandsForAPlugOfTheUnitOrForNone) {
    const OutletNames names = namesOfThreeBanks();
    const struct {
        const char* list;
        int banks;
        std::vector<int> plugs;  // empty: refused
    } cases[] = {
        {"router", 3, {3}},     {"bank9", 3, {}},        {"far", 3, {}},   {"kettle", 3, {24}},
        {"[router,kettle]", 3, {3, 24}}, {"router,9", 3, {3, 9}}, {"twin", 3, {}}, {"kettle", 2, {}},
        {"bank9", 9, {65}},     {"router", 12, {}},  // 12 banks: both outlets called "router" are its own
        {"bank9", 0, {}},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto plugs = parsePlugs(c.list, c.banks * 8, &why, plugsNamedIn(names, c.banks));
        if (c.plugs.empty()) {
            EXPECT_FALSE(plugs) << c.list << " of " << c.banks << " banks";
            EXPECT_FALSE(why.empty()) << c.list;
        } else {
            ASSERT_TRUE(plugs) << c.list << " of " << c.banks << " banks: " << why;
            EXPECT_EQ(numbers(*plugs), c.plugs) << c.list;
        }
    }
    // A lookup that answers plugs the unit does not have (past it, zero,
    // negative) is refused, never indexed with.
    for (const int answer : {25, 65, 0, -1, 100000}) {
        std::string why;
        const auto plugs = parsePlugs("somewhere", 24, &why, [answer](std::string_view) { return answer; });
        EXPECT_FALSE(plugs) << answer;
        EXPECT_EQ(why, "no outlet is named \"somewhere\"") << answer;
    }
}

// One shell against the simulated unit of 3 banks (24 plugs), the lines
// written to its input at once: each row a line and its answer.
TEST(ShellNames, NamesOfOutletsTheUnitLacksAreIgnoredAndNothingIsIndexedPastIt) {
    const struct {
        const char* line;
        const char* answer;  // the lines before the next prompt
    } cases[] = {
        {"on bank9", "error no outlet is named \"bank9\"\n"},
        {"off far", "error no outlet is named \"far\"\n"},
        {"current bank9", "error \"bank9\" is not a plug number or range\n"},
        {"on [bank9,2]", "error no outlet is named \"bank9\"\n"},
        {"on router", "3: ok\n"},  // the name on bank 12 is no outlet of this unit
        {"off kettle", "24: ok\n"},
        {"on 25", "error plug 25 does not exist: the unit has 24 plugs\n"},
        {"on [20-30]", "error plug 30 does not exist: the unit has 24 plugs\n"},
        {"off 65", "error plug 65 does not exist: the unit has 24 plugs\n"},
        {"on twin", "error no outlet is named \"twin\"\n"},  // two outlets: no single plug
        {"current [9,17]", "9: 0.0 A\n17: 0.0 A\n"},  // banks 2 and 3: nothing on there
        {"current 25", "error plug 25 does not exist: the unit has 24 plugs\n"},
    };
    SessionRig rig([] {
        sim::UnitConfig c;
        c.banks = 3;
        return c;
    }());
    ASSERT_TRUE(rig.started());
    TempFolder folder;
    const OutletNames names = namesOfThreeBanks();
    int asked = 0;
    const Parse p = parseArguments({"--port", rig.device(), "shell"});
    ASSERT_TRUE(p.ok()) << p.error;
    Options o = p.options;
    o.namesOf = [&](const std::string& device, int banks) {
        ++asked;
        EXPECT_EQ(device, rig.device());
        EXPECT_EQ(banks, 3);
        return names;
    };
    const std::string sockets = (folder / "sockets").string();
    const EnvLookup env = [sockets](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "VELMORA_SOCKET_DIR") return sockets;
        return std::nullopt;
    };

    std::string input;
    for (const auto& c : cases) input += std::string(c.line) + "\n";
    input += "quit\n";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    std::ostringstream out;
    const int code = runShell(o, rig.session(), *descriptorInput(fds[0]), out, -1, env, {}, {});
    ::close(fds[0]);
    EXPECT_EQ(code, kExitDone) << out.str();
    EXPECT_GT(asked, 0) << "the shell never looked the names up";

    // The answers between the prompts: the first prompt follows the
    // connection, every later one an answer.
    std::vector<std::string> answers;
    const std::string text = out.str();
    std::size_t at = text.find(kShellPrompt);
    ASSERT_NE(at, std::string::npos) << text;
    at += kShellPrompt.size();
    for (std::size_t next; (next = text.find(kShellPrompt, at)) != std::string::npos; at = next + kShellPrompt.size())
        answers.push_back(text.substr(at, next - at));
    ASSERT_EQ(answers.size(), std::size(cases)) << text;
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(answers[i], cases[i].answer) << cases[i].line;

    rig.sim().withModel([](sim::UnitModel& m) {
        EXPECT_TRUE(m.portOn(1, 3));
        EXPECT_FALSE(m.portOn(3, 8));
        EXPECT_FALSE(m.portOn(1, 2)) << "[bank9,2] switched a plug although it was refused";
    });
}

}  // namespace
}  // namespace velmora::cli
