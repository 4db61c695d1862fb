#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/command_queue.h"

namespace velmora {
namespace {

using Match = CommandQueue::Match;

struct MatchCase {
    const char* name;
    std::vector<std::string> queue;
    char letter;
    const char* word;
    int portIndex;
    Match match;
    std::vector<std::string> after;
};

TEST(CommandQueueMatch, ComparesTheHeadAndRemovesOnlyALastCommand) {
    const MatchCase cases[] = {
        {"empty list never matches", {}, 'Q', "Q0120", 1, Match::noMatch, {}},
        {"clear matches head, more waiting", {"/Q0120\\", "/Q0130\\"}, 'Q', "Q0120", 1,
         Match::moreWaiting, {"/Q0120\\", "/Q0130\\"}},
        {"clear matches last head", {"/Q0120\\"}, 'Q', "Q0120", 1, Match::lastRemoved, {}},
        {"clear for second command is no match", {"/Q0120\\", "/Q0130\\"}, 'Q', "Q0130", 2,
         Match::noMatch, {"/Q0120\\", "/Q0130\\"}},
        {"clear with other action", {"/Q0121\\"}, 'Q', "Q0120", 1, Match::noMatch, {"/Q0121\\"}},
        {"clear word longer than five", {"/Q0120\\"}, 'Q', "Q01201", 1, Match::noMatch, {"/Q0120\\"}},
        {"clear word shorter than five", {"/Q0120\\"}, 'Q', "Q012", 1, Match::noMatch, {"/Q0120\\"}},
        {"port index 0 matches any head", {"/T0350 0010000\\"}, 'Q', "Q0110", 0,
         Match::lastRemoved, {}},
        {"port index 0 with more waiting", {"/W0121 0010000\\", "/Q0300\\"}, 'E', "E0501", 0,
         Match::moreWaiting, {"/W0121 0010000\\", "/Q0300\\"}},
        {"set matches four digits", {"/T0121 0010000\\", "/D0131 0000010\\"}, 'E', "E0121", 1,
         Match::moreWaiting, {"/T0121 0010000\\", "/D0131 0000010\\"}},
        {"set matches last", {"/W1680 1670000\\"}, 'E', "E1680", 7, Match::lastRemoved, {}},
        {"set word may be longer", {"/D0121 0010000\\"}, 'E', "E0121xyz", 1, Match::lastRemoved, {}},
        {"set with other port", {"/T0121 0010000\\"}, 'E', "E0131", 2, Match::noMatch,
         {"/T0121 0010000\\"}},
        {"set word too short", {"/T0121 0010000\\"}, 'E', "E012", 1, Match::noMatch,
         {"/T0121 0010000\\"}},
        {"set against a clear head compares digits only", {"/Q0121\\"}, 'E', "E0121", 1,
         Match::lastRemoved, {}},
        {"short head never matches by text", {"/Q\\"}, 'Q', "Q\\", 1, Match::noMatch, {"/Q\\"}},
        {"other letter never matches", {"/Q0120\\"}, 'S', "Q0120", 0, Match::noMatch, {"/Q0120\\"}},
    };
    for (const auto& c : cases) {
        CommandQueue q;
        for (const auto& t : c.queue) q.append(t);
        EXPECT_EQ(q.matchConfirmation(c.letter, c.word, c.portIndex), c.match) << c.name;
        std::vector<std::string> after;
        while (auto h = q.head()) {
            after.push_back(*h);
            q.advance();
        }
        EXPECT_EQ(after, c.after) << c.name;
    }
}

TEST(CommandQueue, AppendsBehindTheLastAndAdvancesToTheNext) {
    CommandQueue q;
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.head(), std::nullopt);
    EXPECT_EQ(q.advance(), std::nullopt);
    q.append("/Q0010\\");
    q.append("/Q0011\\");
    q.append("/T0111 0010000\\");
    EXPECT_EQ(q.size(), 3u);
    EXPECT_EQ(q.head(), "/Q0010\\");
    EXPECT_EQ(q.advance(), "/Q0011\\");
    EXPECT_EQ(q.head(), "/Q0011\\");
    EXPECT_EQ(q.advance(), "/T0111 0010000\\");
    EXPECT_EQ(q.advance(), std::nullopt);
    EXPECT_TRUE(q.empty());
    q.append("/Q0100\\");
    q.append("/Q0200\\");
    q.clear();
    EXPECT_EQ(q.size(), 0u);
}

// The UI appends and advances while the reader matches; the lock keeps
// every command either in the list or removed exactly once.
TEST(CommandQueue, ConcurrentAppendAndMatchLoseNothing) {
    CommandQueue q;
    constexpr int kCommands = 2000;
    std::thread ui([&] {
        for (int i = 0; i < kCommands; ++i) q.append("/Q0110\\");
    });
    int removed = 0;
    while (removed < kCommands) {
        const Match m = q.matchConfirmation('Q', "Q0110", 0);
        if (m == Match::lastRemoved) {
            ++removed;
        } else if (m == Match::moreWaiting) {
            q.advance();
            ++removed;
        } else {
            std::this_thread::yield();
        }
    }
    ui.join();
    EXPECT_TRUE(q.empty());
}

}  // namespace
}  // namespace velmora
