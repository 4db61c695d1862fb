#include "sim/unit_model.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora::sim;
using velmora::sim::testing::framedLines;
using velmora::sim::testing::upgradeTextLines;
using velmora::sim::testing::wordsOf;

namespace {

const std::string kChatter = "Firmware upgrade mode entered\r\nStart to upgrade firmware\r\nPlease send the file\r\n";
const std::string kMarks = "|/-\\";

UnitConfig loaderConfig() {
    UnitConfig c;
    c.banks = 2;
    c.bannerEvery = 0;
    c.quietGapMs = 2000;
    return c;
}

std::string image(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>((i * 37 + 11) & 0xff);
    return s;
}

// The marks a run of image bytes must earn: one per byte, each followed by
// a backspace, cycling through the spinner.
std::string marksFor(std::size_t first, std::size_t count) {
    std::string s;
    for (std::size_t i = first; i < first + count; ++i) {
        s += kMarks[i % 4];
        s += '\b';
    }
    return s;
}

// --- one mark per byte ----------------------------------------------------------

class MarksPerByte : public ::testing::TestWithParam<std::size_t> {};

TEST_P(MarksPerByte, EveryImageByteEarnsOneMarkAndBackspace) {
    UnitModel m(loaderConfig());
    ASSERT_EQ(m.feed("/UPGRADE\\"), kChatter);
    EXPECT_EQ(m.upgradePhase(), UpgradePhase::awaitingImage);
    // Bytes that would be commands or frame characters outside an upgrade.
    std::string img = image(GetParam());
    if (!img.empty()) img[0] = '/';
    if (img.size() > 2) img[2] = '\\';
    EXPECT_EQ(m.feed(img), marksFor(0, img.size()));
    EXPECT_EQ(m.upgradeBytesReceived(), static_cast<long>(img.size()));
    for (const auto& line : upgradeTextLines(marksFor(0, img.size()))) {
        ASSERT_EQ(line.size(), 1u);
        EXPECT_NE(kMarks.find(line[0]), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, MarksPerByte, ::testing::Values(1, 4, 5, 20, 1001),
                         [](const auto& row) { return "Bytes" + std::to_string(row.param); });

TEST(UpgradeDialogue, BytesInPiecesStillOneMarkEach) {
    UnitModel m(loaderConfig());
    m.feed("/UPGRADE\\");
    std::string out;
    for (char c : image(9)) out += m.feed(std::string(1, c));
    EXPECT_EQ(out, marksFor(0, 9));
}

// --- loader messages -----------------------------------------------------------

TEST(UpgradeDialogue, LoaderMessagesComeBetweenMarksWithTheirWordCounts) {
    UnitConfig c = loaderConfig();
    c.bannerEvery = 4;
    UnitModel m(c);
    m.feed("/UPGRADE\\");
    const std::string out = m.feed(image(12));
    const std::string want = marksFor(0, 4) + "Velmora Boot Loader\r\n" + marksFor(4, 4) + "Serial received 8 bytes\r\n" +
                             marksFor(8, 4) + "CPU flash block 3\r\n";
    EXPECT_EQ(out, want);
    struct Row {
        std::string first;
        std::size_t words;
    };
    std::vector<Row> messages;
    for (const auto& line : upgradeTextLines(out))
        if (line.size() > 1) messages.push_back({wordsOf(line)[0], wordsOf(line).size()});
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].first, "Velmora");
    EXPECT_EQ(messages[0].words, 3u);
    EXPECT_EQ(messages[1].first, "Serial");
    EXPECT_EQ(messages[1].words, 4u);
    EXPECT_EQ(messages[2].first, "CPU");
    EXPECT_EQ(messages[2].words, 4u);
}

// --- how an upgrade ends ------------------------------------------------------------

struct EndCase {
    const char* name;
    long imageLength;          // 0: quiet gap
    CompletionStyle style;
    int failures;
    std::size_t bytes;
    std::string ending;        // text after the marks
    std::string greeting;      // answer to "/uni\" afterwards
    std::string bank1Version;  // after the upgrade
};

class UpgradeEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(UpgradeEnds, WithTheRightLineAndUnitState) {
    const EndCase& e = GetParam();
    UnitConfig c = loaderConfig();
    c.imageLength = e.imageLength;
    c.completion = e.style;
    c.faults.upgradeFailures = e.failures;
    UnitModel m(c);
    m.feed("/T0111 0100000\\");
    m.feed("/UPGRADE\\");
    std::string out = m.feed(image(e.bytes));
    if (e.imageLength == 0) {
        EXPECT_EQ(m.advance(1999), "") << "ended before the quiet gap";
        out += m.advance(1);
    }
    EXPECT_EQ(out, marksFor(0, e.bytes) + e.ending);
    EXPECT_EQ(m.upgradePhase(), UpgradePhase::idle);
    EXPECT_EQ(m.feed("/uni\\"), e.greeting);
    EXPECT_EQ(m.version(1), e.bank1Version);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, UpgradeEnds,
    ::testing::Values(
        EndCase{"VersionLineAfterToldLength", 30, CompletionStyle::versionLine, 0, 30,
                "Version 1.2.04 firmware ready\r\n", "/xyz\\", "1204"},
        EndCase{"VersionLineAfterQuietGap", 0, CompletionStyle::versionLine, 0, 25, "Version 1.2.04 firmware ready\r\n",
                "/xyz\\", "1204"},
        EndCase{"TwoWordOkThenOk", 30, CompletionStyle::twoWordOk, 0, 30, "Upgrade OK\r\nOK\r\n", "/xyz\\", "1204"},
        EndCase{"FailureAfterToldLength", 30, CompletionStyle::versionLine, 1, 30, "Fail\r\n", "/abc\\", "1203"},
        EndCase{"FailureAfterQuietGap", 0, CompletionStyle::versionLine, -1, 7, "Fail\r\n", "/abc\\", "1203"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(UpgradeDialogue, CompletionLineReadsAsFourWordsBeginningVersion) {
    UnitConfig c = loaderConfig();
    c.imageLength = 1;
    c.upgradedVersion = "2317";
    UnitModel m(c);
    m.feed("/UPGRADE\\");
    const auto lines = upgradeTextLines(m.feed("x"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(wordsOf(lines[1]), (std::vector<std::string>{"Version", "2.3.17", "firmware", "ready"}));
    EXPECT_EQ(m.feed("/VER\\"), "/V01 2317\\/V02 2317\\");
}

TEST(UpgradeDialogue, NewFirmwareForgetsTimersAndBytesAfterTheImageAreNotMarked) {
    UnitConfig c = loaderConfig();
    c.imageLength = 20;
    UnitModel m(c);
    m.feed("/T0111 0100000\\");
    m.feed("/UPGRADE\\");
    // The PC sends the file, then two more bytes (0xFF, 0x00).
    const std::string out = m.feed(image(20) + std::string("\xff\x00", 2));
    EXPECT_EQ(out, marksFor(0, 20) + "Version 1.2.04 firmware ready\r\n");
    EXPECT_TRUE(m.timers().empty());
    EXPECT_EQ(m.feed("/C\\").substr(0, 4), "/M2\\");
}

// Drives the dialogue as the PC does: 20 bytes at the prompt, then one more
// byte for every mark, up to the file, an 0xFF and a zero byte.
TEST(UpgradeDialogue, PacedTransferDeliversTheWholeImageOnceEach) {
    for (std::size_t fileSize : {5u, 19u, 20u, 1000u}) {
        UnitConfig c = loaderConfig();
        c.bannerEvery = 64;
        UnitModel m(c);
        ASSERT_EQ(m.feed("/UPGRADE\\"), kChatter);
        std::string wire = image(fileSize) + '\xff';
        wire.resize(std::max<std::size_t>(wire.size() + 1, 20), '\0');  // the buffer behind the file is zeros
        std::size_t sent = 0;
        std::string out;
        auto sendOne = [&] { out += m.feed(std::string(1, wire[sent++])); };
        while (sent < 20) sendOne();
        std::size_t marksHandled = 0;
        for (;;) {
            const auto lines = upgradeTextLines(out);
            std::size_t marks = 0;
            for (const auto& l : lines)
                if (l.size() == 1 && kMarks.find(l[0]) != std::string::npos) ++marks;
            if (marks == marksHandled) break;
            for (; marksHandled < marks; ++marksHandled)
                if (sent < wire.size()) sendOne();
        }
        EXPECT_EQ(m.upgradeBytesReceived(), static_cast<long>(wire.size())) << fileSize;
        EXPECT_EQ(marksHandled, wire.size()) << fileSize;
        out += m.advance(2000);
        EXPECT_EQ(upgradeTextLines(out).back(), "Version 1.2.04 firmware ready\r") << fileSize;
    }
}

}  // namespace

namespace {

// --- a PC that goes away -----------------------------------------------------------

struct AbandonCase {
    const char* name;
    bool firmwareAtStart;
    long imageLength;
    std::size_t bytesSent;
    std::string ending;    // what the unit says when it stops waiting
    std::string greeting;  // answer to "/uni\" afterwards
};

class AbandonedUpgrade : public ::testing::TestWithParam<AbandonCase> {};

TEST_P(AbandonedUpgrade, LoaderStopsWaitingAfterLongQuiet) {
    const AbandonCase& a = GetParam();
    UnitConfig c = loaderConfig();
    c.imageLength = a.imageLength;
    c.stallResetMs = 15000;
    c.loaderPromptEveryMs = 0;  // no asking again, so the give-up shows
    c.faults.missingFirmware = !a.firmwareAtStart;
    UnitModel m(c);
    m.feed("/UPGRADE\\");
    m.feed(image(a.bytesSent));
    EXPECT_EQ(m.advance(14999), "") << "still waiting";
    EXPECT_NE(m.upgradePhase(), UpgradePhase::idle);
    EXPECT_EQ(m.advance(1), a.ending);
    EXPECT_EQ(m.upgradePhase(), UpgradePhase::idle);
    EXPECT_EQ(m.feed("/uni\\"), a.greeting);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, AbandonedUpgrade,
    ::testing::Values(AbandonCase{"PromptNeverAnsweredOldFirmwareRunsOn", true, 0, 0, "", "/xyz\\"},
                      AbandonCase{"PromptNeverAnsweredLoaderStays", false, 0, 0, "", "/abc\\"},
                      AbandonCase{"ImageStoppedShortFails", true, 100, 40, "Fail\r\n", "/abc\\"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AbandonedUpgradeFailures, ShortImageUsesUpNoRequestedFailure) {
    UnitConfig c = loaderConfig();
    c.imageLength = 10;
    c.stallResetMs = 15000;
    c.faults.upgradeFailures = 1;
    UnitModel m(c);
    m.feed("/UPGRADE\\");
    m.feed(image(3));
    EXPECT_EQ(m.advance(15000), "Fail\r\n");
    m.feed("/UPGRADE\\");
    EXPECT_EQ(m.feed(image(10)), marksFor(0, 10) + "Fail\r\n") << "the requested failure is still due";
}

}  // namespace
