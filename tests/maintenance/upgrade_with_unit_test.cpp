// The upgrade against the simulated unit's model: what the upgrade writes
// goes to the unit, what the unit answers is cut into lines by the
// program's line assembler (in the mode the lines themselves switch) and
// handed back like the reader does. No threads, no real time: the unit's
// clock and the window timers move together by hand.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/line_assembler.h"
#include "maintenance/upgrade_rig.h"
#include "support/temp_folder.h"
#include "sim/unit_model.h"

namespace velmora {
namespace {

using test::Bytes;
using test::bytesOf;
using test::UpgradeRig;
using testing_support::TempFolder;
using testing_support::writeBytes;
using Strings = std::vector<std::string>;

std::string imageOf(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 29 + 3) & 0xff);
    return s;
}

bool contains(const Strings& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

class UnitOnTheLine {
public:
    explicit UnitOnTheLine(sim::UnitConfig config) : unit(std::move(config)) {
        rig.onWrite = [this](const Bytes& bytes) { fromUnit_ += unit.feed(bytes.data(), bytes.size()); };
    }

    // What the PC writes outside the upgrade (the link's greeting).
    void pcWrites(std::string_view text) { rig.write(bytesOf(text)); }

    // Hands everything the unit has sent to the PC, line by line, until the
    // unit has nothing more to say. Answers to what the PC writes meanwhile
    // arrive behind what was already on the way.
    void pump() {
        while (!fromUnit_.empty()) {
            std::string chunk;
            chunk.swap(fromUnit_);
            for (char c : chunk) {
                if (!assembler_.feed(static_cast<unsigned char>(c), rig.state.RawLineMode.load())) continue;
                const std::string line(assembler_.line());
                rig.deliver(line);
            }
        }
    }

    // Time passes for the unit and for the window timers alike.
    void advance(std::int64_t ms) {
        fromUnit_ += unit.advance(ms);
        rig.timers.advance(ms);
        pump();
    }

    UpgradeRig rig;
    sim::UnitModel unit;

private:
    std::string fromUnit_;
    LineAssembler assembler_;
};

sim::UnitConfig unitConfig(long imageLength) {
    sim::UnitConfig c;
    c.banks = 2;
    c.imageLength = imageLength;
    c.bannerEvery = 64;
    c.loaderPromptEveryMs = 8000;
    return c;
}

struct UnitUpgradeTest : ::testing::Test {
    TempFolder folder;
    std::string offer(UpgradeRig& rig, std::size_t size, const char* name) {
        const auto p = folder / name;
        writeBytes(p, imageOf(size));
        rig.script.paths.push_back(p.string());
        return p.string();
    }
    // The unit after an upgrade: running the new firmware, greeted, and its
    // new versions reported into the bank records.
    static void expectUpgraded(UnitOnTheLine& line, std::size_t fileSize) {
        UpgradeRig& rig = line.rig;
        EXPECT_TRUE(line.unit.firmwareValid());
        EXPECT_EQ(line.unit.upgradeBytesReceived(), static_cast<long>(fileSize + 2)) << "file, 0xFF, 0x00";
        EXPECT_TRUE(contains(rig.log, "message: Firmware Upgrade Completed"));
        EXPECT_TRUE(contains(rig.log, "unit greeted"));
        EXPECT_FALSE(rig.state.RawLineMode);
        EXPECT_FALSE(rig.state.FirmwareFailed);
        for (int bank : {1, 2}) EXPECT_EQ(rig.state.bankSnapshot(bank).versionText(), "1204") << bank;
        EXPECT_FALSE(rig.view.shown);
        EXPECT_TRUE(rig.view.messages.empty());
        EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::idle);
    }
};

struct StyleCase {
    const char* name;
    sim::CompletionStyle style;
    long imageLength;  // 0: the unit ends the image after two quiet seconds
};

void PrintTo(const StyleCase& c, std::ostream* os) { *os << c.name; }

class UpgradeEndsAsTheUnitSays : public UnitUpgradeTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(UpgradeEndsAsTheUnitSays, WholeImageOnceThenGreetingAndNewVersions) {
    constexpr std::size_t kSize = 300;
    sim::UnitConfig config = unitConfig(GetParam().imageLength ? static_cast<long>(kSize + 2) : 0);
    config.completion = GetParam().style;
    UnitOnTheLine line(config);
    offer(line.rig, kSize, "new.x");
    line.rig.upgrade.startUpgrade();
    line.pump();
    if (GetParam().imageLength == 0) line.advance(2000);
    // The unit's banners were shown while the bytes went.
    EXPECT_TRUE(contains(line.rig.log, "memo: Velmora Boot Loader\r"));
    expectUpgraded(line, kSize);
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, UpgradeEndsAsTheUnitSays,
    ::testing::Values(StyleCase{"VersionLineAtToldLength", sim::CompletionStyle::versionLine, 1},
                      StyleCase{"VersionLineAfterQuiet", sim::CompletionStyle::versionLine, 0},
                      StyleCase{"TwoWordOkThenOk", sim::CompletionStyle::twoWordOk, 1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(UnitUpgradeTest, UnitWithoutFirmwareIsRecoveredByAnUpgrade) {
    constexpr std::size_t kSize = 200;
    sim::UnitConfig config = unitConfig(kSize + 2);
    config.faults.missingFirmware = true;
    UnitOnTheLine line(config);
    // The probe read "/abc\"; the link greets the unit.
    line.rig.state.FirmwareFailed = true;
    offer(line.rig, kSize, "rescue.x");
    line.pcWrites("/uni\\");
    line.pump();
    EXPECT_TRUE(contains(line.rig.log, "message: Firmware Failure! Please re-upgrade firmware"));
    EXPECT_EQ(line.rig.upgrade.upgradeState(), UpgradeState::awaitingPrompt);
    EXPECT_FALSE(contains(line.rig.log, "write /UPGRADE\\")) << "the loader needs no command";
    // The loader asks for an image once the line has been quiet.
    line.advance(8000);
    expectUpgraded(line, kSize);
}

TEST_F(UnitUpgradeTest, FailedUpgradeAsksForAnImageAndTheSecondOneTakes) {
    constexpr std::size_t kSize = 120;
    sim::UnitConfig config = unitConfig(kSize + 2);
    config.faults.upgradeFailures = 1;
    UnitOnTheLine line(config);
    offer(line.rig, kSize, "first.x");
    offer(line.rig, kSize, "second.x");
    line.rig.upgrade.startUpgrade();
    line.pump();
    EXPECT_TRUE(contains(line.rig.log, "message: Firmware Failure! Please re-upgrade firmware"));
    EXPECT_FALSE(line.unit.firmwareValid());
    EXPECT_EQ(line.rig.script.opened.size(), 2u);
    // Choosing took a while: no time-out, the loader prompts by itself.
    line.advance(8000);
    EXPECT_TRUE(line.rig.linkOpen);
    expectUpgraded(line, kSize);
}

TEST_F(UnitUpgradeTest, StalledLoaderEndsInTheTimeOutAndTheLinkCloses) {
    sim::UnitConfig config = unitConfig(0);
    config.faults.stallAfterBytes = 100;
    UnitOnTheLine line(config);
    offer(line.rig, 1000, "big.x");
    line.rig.upgrade.startUpgrade();
    line.pump();
    EXPECT_EQ(line.unit.upgradePhase(), sim::UpgradePhase::stalled);
    EXPECT_EQ(line.unit.upgradeBytesReceived(), 100);
    line.advance(9999);
    EXPECT_TRUE(line.rig.linkOpen);
    line.advance(1);
    EXPECT_TRUE(contains(line.rig.log, "message: Upgrade timeout. \rPlease try again."));
    EXPECT_FALSE(line.rig.linkOpen);
    EXPECT_FALSE(line.rig.view.shown);
}

}  // namespace
}  // namespace velmora
