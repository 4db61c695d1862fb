#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

// Bytes as the reader moves them: the mode is read again before every byte.
struct Link {
    DeviceState state;
    TimerTables tables;
    LineAssembler assembler;
    std::vector<std::string> lines;
    std::vector<std::int32_t> updates;
    int greetings = 0;

    void receive(const std::string& bytes) {
        for (char c : bytes) {
            if (!assembler.feed(static_cast<unsigned char>(c), state.RawLineMode.load())) continue;
            lines.emplace_back(assembler.line());
            const LineOutcome o = processLine(assembler.line(), state, tables, LocalMoment{});
            for (int i = 0; i < o.updateCount; ++i) updates.push_back(o.updates[static_cast<std::size_t>(i)]);
            if (o.greeting) ++greetings;
        }
    }
};

struct FlowCase {
    const char* name;
    bool rawAtStart;
    std::vector<std::string> batches;
    std::vector<std::string> lines;
    std::vector<std::int32_t> updates;
    int greetings;
    bool rawAtEnd;
};

TEST(LineFlow, BytesToUpdatesAcrossModeChanges) {
    const FlowCase cases[] = {
        {"greeting in two batches", false, {"/xy", "z\\"}, {"xyz"}, {}, 1, false},
        {"greeting after a restart", false, {"/abc/xyz\\"}, {"xyz"}, {}, 1, false},
        {"greeting answer no firmware", false, {"/abc\\"}, {"abc"}, {ukUpgradeFailed}, 0, false},
        {"spinner in raw mode", true, {"|\b/\b-\b\\\b"}, {"|", "/", "-", "\\"},
         {ukUpgradeStep, ukUpgradeStep, ukUpgradeStep, ukUpgradeStep}, 0, true},
        // After "OK" the framing is normal again: "/xyz\" is the greeting, not
        // a progress mark "/xyz\".
        {"OK ends raw mode for the following bytes", true, {"OK\n/xyz\\"}, {"OK", "xyz"}, {}, 1, false},
        {"raw mode keeps slash lines whole", true, {"/xyz\\\n"}, {"/xyz\\"}, {ukUpgradeStep}, 0, true},
        {"please line switches to raw mode", false, {"Please send the image\r\n", "|\b"},
         {"Please send the image", "|"}, {ukUpgradeBegin, ukUpgradeStep}, 0, true},
        // A completion worded "Upgrade OK" with no "OK" after it: the next
        // greeting is a line again, so polling can start.
        {"two-word OK ends raw mode", true, {"Upgrade OK\n", "/xyz\\"}, {"Upgrade OK", "xyz"},
         {ukUpgradeDone}, 1, false},
        {"Fail ends raw mode", true, {"Fail\n", "/xyz\\"}, {"Fail", "xyz"}, {ukUpgradeFailed}, 1, false},
        {"version line ends raw mode", true, {"Version 2.1 is running\n", "/M2\\"},
         {"Version 2.1 is running", "M2"}, {ukUpgradeDone, ukBankCount}, 0, false},
        {"poll answers", false, {"/M2\\/S1 OOCCCCCC\\/C1 0.5\\", "/S2 GGGGFGGG OOOOOOOO 1.5\\"},
         {"M2", "S1 OOCCCCCC", "C1 0.5", "S2 GGGGFGGG OOOOOOOO 1.5"},
         {ukBankCount, ukPortStatus, ukCurrent, ukStatusAndCurrent}, 0, false},
        {"junk before a slash is dropped", false, {"\x01\x02\xff/V01 1234\\garbage>\r\n"},
         {"V01 1234", "garbage"}, {ukVersion}, 0, false},
    };
    for (const auto& c : cases) {
        Link link;
        link.state.RawLineMode = c.rawAtStart;
        for (const auto& b : c.batches) link.receive(b);
        EXPECT_EQ(link.lines, c.lines) << c.name;
        EXPECT_EQ(link.updates, c.updates) << c.name;
        EXPECT_EQ(link.greetings, c.greetings) << c.name;
        EXPECT_EQ(link.state.RawLineMode.load(), c.rawAtEnd) << c.name;
    }
}

// The first status line of a bank after a switching shows the new state.
TEST(LineFlow, StatusLinesKeepThePerBankPicture) {
    Link link;
    link.receive("/M3\\/S2 CCCCCCCC\\/S2 GGGGGGGG\\/S2 CCOCCCCC\\/C2 0.25\\");
    const BankRecord r = link.state.bankSnapshot(2);
    EXPECT_EQ(link.state.BankCount.load(), 3);
    EXPECT_EQ(link.state.ReportedBank.load(), 2);
    EXPECT_EQ(r.bankNo, 2);
    EXPECT_EQ(r.portStatesText(), "CCOCCCCC");
    EXPECT_EQ(r.timerFlagsText(), "GGGGGGGG");
    EXPECT_FLOAT_EQ(r.current, 0.25f);
    EXPECT_EQ(link.state.lastLine(), "C2 0.25");
}

}  // namespace
}  // namespace velmora
