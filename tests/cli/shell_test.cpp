// The shell's language: plug lists as powerman writes them, the commands,
// and how plugs become as few switching requests as the unit allows.

#include "cli/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::cli {
namespace {

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

}  // namespace
}  // namespace velmora::cli
