#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/line_assembler.h"

namespace velmora {
namespace {

using namespace std::string_literals;

std::vector<std::string> assemble(LineAssembler& a, const std::string& bytes, bool raw) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (a.feed(static_cast<unsigned char>(c), raw)) lines.emplace_back(a.line());
    }
    return lines;
}

struct AssemblerCase {
    const char* name;
    std::string bytes;
    bool raw;
    std::vector<std::string> lines;
    std::size_t pendingAfter;
};

const std::string k51(51, 'a');

TEST(LineAssembler, CutsLinesByModeAndKeepsTheBufferBounded) {
    const AssemblerCase cases[] = {
        {"framed greeting", "/xyz\\", false, {"xyz"}, 0},
        {"second slash restarts the line", "/abc/xyz\\", false, {"xyz"}, 0},
        {"greater-than ends", "xyz>", false, {"xyz"}, 0},
        {"exclamation ends", "xyz!", false, {"xyz"}, 0},
        {"CR LF gives one line", "S1 OOCCCCCC\r\nC1 2.5\r\n", false, {"S1 OOCCCCCC", "C1 2.5"}, 0},
        {"empty lines are not reported", "\\\\\r\n>>!", false, {}, 0},
        {"slash alone opens nothing", "/", false, {}, 0},
        {"unterminated line stays open", "/xy", false, {}, 2},
        {"backspace is data in normal mode", "a\bb\\", false, {"a\bb"}, 0},
        {"NUL bytes are kept", "x\0y\\"s, false, {"x\0y"s}, 0},
        {"high bytes are kept", "\xff\x80\\", false, {"\xff\x80"}, 0},
        {"51 characters fit", k51 + "\\", false, {k51}, 0},
        {"longer line is cut to 51", std::string(60, 'a') + "\\xyz\\", false, {k51, "xyz"}, 0},
        {"rest of a cut line is dropped", k51 + "bbbbbbbbbb\\", false, {k51}, 0},
        {"slash after an overlong start restarts", std::string(80, 'a') + "/xyz\\", false, {"xyz"}, 0},
        {"raw: bar and backspace", "|\b", true, {"|"}, 0},
        {"raw: spinner", "|\b/\b-\b\\\b", true, {"|", "/", "-", "\\"}, 0},
        {"raw: framing characters are data", "a/b\\c>d!e\rf\n", true, {"a/b\\c>d!e\rf"}, 0},
        {"raw: empty lines are not reported", "\b\n\b", true, {}, 0},
        {"raw: line feed ends", "Version 2.1 is running\n", true, {"Version 2.1 is running"}, 0},
        {"raw: long banner is cut", std::string(70, 'v') + "\n", true, {std::string(51, 'v')}, 0},
    };
    for (const auto& c : cases) {
        LineAssembler a;
        EXPECT_EQ(assemble(a, c.bytes, c.raw), c.lines) << c.name;
        EXPECT_EQ(a.pending(), c.pendingAfter) << c.name;
    }
}

TEST(LineAssembler, ModeIsTakenPerByte) {
    LineAssembler a;
    // "|" opened in raw mode, ended by a backslash after the switch to normal.
    EXPECT_FALSE(a.feed('|', true));
    EXPECT_FALSE(a.feed('x', false));
    ASSERT_TRUE(a.feed('\\', false));
    EXPECT_EQ(a.line(), "|x");
    // The same backslash in raw mode is data.
    EXPECT_FALSE(a.feed('a', true));
    EXPECT_FALSE(a.feed('\\', true));
    ASSERT_TRUE(a.feed('\b', true));
    EXPECT_EQ(a.line(), "a\\");
}

TEST(LineAssembler, LineViewIsClearedByTheNextByteAndResetDropsTheOpenLine) {
    LineAssembler a;
    EXPECT_FALSE(a.feed('x', false));
    ASSERT_TRUE(a.feed('\\', false));
    EXPECT_EQ(a.line(), "x");
    EXPECT_FALSE(a.feed('y', false));
    EXPECT_TRUE(a.line().empty());
    a.reset();
    EXPECT_EQ(a.pending(), 0u);
    EXPECT_FALSE(a.feed('\\', false));  // nothing was open any more
}

}  // namespace
}  // namespace velmora
