#include "link/port_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace velmora {
namespace {

struct SearchCase {
    const char* name;
    int count;
    std::vector<int> answering;  // positions where the unit answers
    int stopAfter;               // probes after which the stop flag is set; -1: never
    std::vector<int> probed;     // the positions probed, in order
    int found;
};

class PortSearchOrder : public ::testing::TestWithParam<SearchCase> {};

TEST_P(PortSearchOrder, ProbesInListOrderUntilTheFirstAnswer) {
    const SearchCase& c = GetParam();
    std::atomic<bool> stop{false};
    std::vector<int> probed;
    std::vector<std::string> shown;
    PortSearch search;
    search.count = c.count;
    search.stop = &stop;
    search.probe = [&](int position) {
        probed.push_back(position);
        if (static_cast<int>(probed.size()) == c.stopAfter) stop = true;
        for (int a : c.answering)
            if (a == position) return true;
        return false;
    };
    search.beforeProbe = [&](int position) { shown.push_back("before " + std::to_string(position)); };
    search.afterProbe = [&](int position, bool found) {
        shown.push_back((found ? "found " : "missed ") + std::to_string(position));
    };

    const PortSearchResult result = searchPorts(search);
    EXPECT_EQ(probed, c.probed);
    EXPECT_EQ(result.found, c.found);
    EXPECT_EQ(result.probed, static_cast<int>(c.probed.size()));
    // Every probe is shown before and after, in order.
    std::vector<std::string> expected;
    for (int p : c.probed) {
        expected.push_back("before " + std::to_string(p));
        expected.push_back((p == c.found ? "found " : "missed ") + std::to_string(p));
    }
    EXPECT_EQ(shown, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortSearchOrder,
    ::testing::Values(SearchCase{"FirstAnswerWins", 4, {2, 3}, -1, {1, 2}, 2},
                      SearchCase{"NoneAnswersEveryPortIsProbed", 3, {}, -1, {1, 2, 3}, 0},
                      SearchCase{"TheLastPortAnswers", 3, {3}, -1, {1, 2, 3}, 3},
                      SearchCase{"StopEndsTheSearchBeforeTheNextPort", 4, {4}, 2, {1, 2}, 0},
                      SearchCase{"AnAnswerOnTheStoppingProbeStillCounts", 4, {2}, 2, {1, 2}, 2},
                      SearchCase{"EmptyListProbesNothing", 0, {1}, -1, {}, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PortSearch, AStopSetBeforehandProbesNothingAndAMissingProbeFindsNothing) {
    std::atomic<bool> stop{true};
    int probes = 0;
    PortSearch stopped;
    stopped.count = 3;
    stopped.stop = &stop;
    stopped.probe = [&](int) { return ++probes > 0; };
    EXPECT_EQ(searchPorts(stopped).probed, 0);
    EXPECT_EQ(probes, 0);

    PortSearch blind;
    blind.count = 2;
    const PortSearchResult r = searchPorts(blind);
    EXPECT_EQ(r.found, 0);
    EXPECT_EQ(r.probed, 2);
}

}  // namespace
}  // namespace velmora
