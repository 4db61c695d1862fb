#include "sim/command_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using velmora::sim::CommandFramer;

namespace {

struct FramingCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> bodies;
};

std::vector<std::string> run(const std::string& bytes) {
    CommandFramer f;
    std::vector<std::string> out;
    for (unsigned char c : bytes)
        if (auto body = f.push(c)) out.push_back(*body);
    return out;
}

class CommandFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(CommandFraming, CutsCommandsLikeTheUnit) { EXPECT_EQ(run(GetParam().bytes), GetParam().bodies); }

const std::string kLongest(CommandFramer::kMaxBody, 'A');
const std::string kTooLong(CommandFramer::kMaxBody + 1, 'A');

INSTANTIATE_TEST_SUITE_P(
    Sim, CommandFraming,
    ::testing::Values(
        FramingCase{"OneCommand", "/uni\\", {"uni"}},
        FramingCase{"TwoInARow", "/VER\\/EN001\\", {"VER", "EN001"}},
        FramingCase{"SlashRestartsUnfinished", "/abc/uni\\", {"uni"}},
        FramingCase{"BytesOutsideIgnored", "zz\r\n/C\\\xff\x00", {"C"}},
        FramingCase{"BackslashWithoutStartIgnored", "\\\\/C\\", {"C"}},
        FramingCase{"EmptyBodyKept", "/\\", {""}},
        FramingCase{"LongestBodyKept", "/" + kLongest + "\\", {kLongest}},
        FramingCase{"OverLongDroppedWhole", "/" + kTooLong + "\\/uni\\", {"uni"}},
        FramingCase{"BlankInsideBody", "/T0121 0000010\\", {"T0121 0000010"}},
        FramingCase{"NoEndNoCommand", "/uni", {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CommandFramingReset, DropsHalfReceivedCommand) {
    CommandFramer f;
    for (unsigned char c : std::string("/VE")) EXPECT_FALSE(f.push(c));
    f.reset();
    std::vector<std::string> got;
    for (unsigned char c : std::string("R\\/C\\"))
        if (auto b = f.push(c)) got.push_back(*b);
    EXPECT_EQ(got, std::vector<std::string>{"C"});
}

}  // namespace
