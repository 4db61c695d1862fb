// Whatever the PC writes, the unit keeps a sane state and answers only in
// the shapes the PC knows. Deterministic: fixed seeds, no wall clock.
#include "sim/unit_model.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace velmora::sim;
using velmora::sim::testing::framedLines;

namespace {

const std::regex kKnownLine(
    "xyz|abc|err|M[0-9]+|V[0-9]{2} [0-9]{4}|S[0-9]+ [OC]{8}( [GF]{8} [0-9]+\\.[0-9])?|"
    "S[0-9]+ [GF]{8}( [OC]{8} [0-9]+\\.[0-9])?|C[0-9]+ [0-9]+\\.[0-9]|[QE][0-9]{4}|[TDW][0-9]{4} [0-9]{7}");

// Pieces of real commands mixed with noise, so that many near-misses and
// some valid commands come up.
const std::vector<std::string> kPieces = {
    "/", "\\", "uni", "VER", "C", "O0", "F0", "Q0", "T0", "D1", "W0", "0", "1", "2", "3", "8", "9", " ",
    "SETTIME20", "26-12-07", " 09:05:03", "-", ":", "EN001", "DS001", "UPGRADE", "\r\n", "\xff", std::string(1, '\0'),
    "/C\\", "/uni\\", "/O000\\", "/T0111 0000006\\", "/Q0000\\"};

struct Seed {
    const char* name;
    unsigned seed;
    int banks;
    bool missingFirmware;
};

class RandomInput : public ::testing::TestWithParam<Seed> {};

TEST_P(RandomInput, KeepsStateSaneAndAnswersInKnownShapes) {
    UnitConfig c;
    c.banks = GetParam().banks;
    c.faults.missingFirmware = GetParam().missingFirmware;
    c.loaderPromptEveryMs = 3000;
    c.stallResetMs = 5000;
    UnitModel m(c);
    std::mt19937 rng(GetParam().seed);
    std::uniform_int_distribution<std::size_t> piece(0, kPieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 12);
    std::uniform_int_distribution<int> pause(0, 4000);

    std::size_t linesChecked = 0, confirmations = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        for (int i = length(rng); i > 0; --i) input += kPieces[piece(rng)];
        const bool normalBefore = m.upgradePhase() == UpgradePhase::idle;
        const std::string out = m.feed(input);
        const bool normalAfter = m.upgradePhase() == UpgradePhase::idle;
        if (normalBefore && normalAfter && out.find('\b') == std::string::npos && out.find('\r') == std::string::npos) {
            for (const auto& line : framedLines(out)) {
                ASSERT_TRUE(std::regex_match(line, kKnownLine)) << "round " << round << ": \"" << line << "\"";
                ++linesChecked;
                if (line[0] == 'Q' || line[0] == 'E') ++confirmations;
            }
        }
        m.advance(pause(rng));

        for (int b = 1; b <= m.bankCount(); ++b) {
            const std::string s = m.portStates(b);
            ASSERT_EQ(s.find_first_not_of("OC"), std::string::npos) << s;
            ASSERT_EQ(s.size(), 8u);
        }
        for (const UnitTimer& t : m.timers()) {
            ASSERT_NE(std::string("TDW").find(t.letter), std::string::npos);
            ASSERT_TRUE(t.action == 0 || t.action == 1);
            ASSERT_TRUE(t.port >= 0 && t.port <= 8);
            ASSERT_TRUE(t.bank >= 0 && t.bank <= m.bankCount());
            ASSERT_TRUE(t.bank != 0 || t.port == 0);
            ASSERT_GE(t.dueMs, m.nowMs()) << "a timer left overdue";
        }
    }
    // The mix must have reached the answers at all, or the test says nothing.
    EXPECT_GT(linesChecked, 200u);
    if (!GetParam().missingFirmware) {
        EXPECT_GT(confirmations, 20u);
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, RandomInput,
                         ::testing::Values(Seed{"OneBank", 1u, 1, false}, Seed{"TwoBanks", 20261208u, 2, false},
                                           Seed{"SixteenBanks", 77u, 16, false},
                                           Seed{"WithoutFirmware", 5u, 2, true}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
