// Unit maintenance from end to end: the real program upgrading the
// simulated unit's firmware over a pty (a whole image, a stall that ends in
// the time-out, a unit without firmware brought back) and keeping its clock.

#include <QFileDialog>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>

#include "maintenance/clock_sync.h"
#include "mainwindow/switching_logic.h"
#include "mainwindow/main_window.h"
#include "maintenance/firmware_upgrade.h"
#include "maintenance/upgrade_dialog.h"
#include "app/program_rig.h"
#include "session/unit_session.h"

namespace velmora {
namespace {

using test::ProgramRig;

std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& b : image) b = static_cast<std::uint8_t>(random() & 0xFF);
    return image;
}

// Writes the image beside the settings and answers the program's file
// chooser with it.
std::filesystem::path offerImage(ProgramRig& rig, const std::vector<std::uint8_t>& image) {
    const std::filesystem::path path = rig.folder() / "pdu.x";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                 static_cast<std::streamsize>(image.size()));
    rig.onModal = [path](QWidget* modal) {
        if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
            chooser->selectFile(QString::fromStdString(path.string()));
            static_cast<QDialog*>(chooser)->accept();
        }
    };
    return path;
}

// What the program wrote from the upgrade command on.
std::vector<std::uint8_t> writtenAfter(const sim::PtySimulator& unit, const std::string& marker) {
    const std::vector<std::uint8_t> all = unit.received();
    const auto at = std::search(all.begin(), all.end(), marker.begin(), marker.end());
    if (at == all.end()) return {};
    return std::vector<std::uint8_t>(at + static_cast<std::ptrdiff_t>(marker.size()), all.end());
}

bool versionsRead(Application& app, int banks, std::string_view version) {
    for (int b = 1; b <= banks; ++b)
        if (app.state().bankSnapshot(b).versionText() != version) return false;
    return true;
}

// How many clock settings the unit has received.
std::ptrdiff_t clockSettings(ProgramRig& rig) {
    const std::vector<std::string> c = rig.unit().commands();
    return std::count_if(c.begin(), c.end(), [](const std::string& s) { return s.rfind("SETTIME", 0) == 0; });
}

TEST(MaintenanceEndToEnd, WholeImageReachesTheUnitAndTheNewVersionsComeBack) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    o.unit.imageLength = 20002;  // the file, its end byte and the zero behind it
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1203"); }));

    const std::vector<std::uint8_t> image = randomImage(20000, 7);
    offerImage(rig, image);
    rig.app().menus().menuItemChosen("Upgrade1");
    EXPECT_FALSE(rig.app().session().pollTimer().enabled()) << "no polls during an upgrade";
    ASSERT_TRUE(rig.waitFor([&] { return rig.app().upgrade().upgradeState() == UpgradeState::transferring; }))
        << "the unit's prompt never started the transfer";
    EXPECT_TRUE(rig.app().upgradeDialog().isVisible());
    ASSERT_TRUE(rig.waitFor([&] {
        return std::find(rig.messages.begin(), rig.messages.end(), kUpgradeCompletedText) != rig.messages.end();
    })) << "no completion";
    EXPECT_FALSE(rig.app().upgradeDialog().isVisible());

    // Exactly the file, 0xFF and 0x00 went out after the command, then the
    // greeting and the version request.
    std::vector<std::uint8_t> expected = image;
    expected.push_back(0xFF);
    expected.push_back(0x00);
    for (char c : std::string("/uni\\/VER\\")) expected.push_back(static_cast<std::uint8_t>(c));
    ASSERT_TRUE(rig.waitFor([&] { return writtenAfter(rig.unit(), "/UPGRADE\\").size() >= expected.size(); }));
    std::vector<std::uint8_t> written = writtenAfter(rig.unit(), "/UPGRADE\\");
    written.resize(std::min(written.size(), expected.size()));
    ASSERT_EQ(written.size(), expected.size());
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end())
        << "the unit got other bytes than the image from position " << (differ.first - written.begin());
    EXPECT_EQ(rig.unit().withModel([](sim::UnitModel& m) { return m.upgradeBytesReceived(); }), 20002);

    // "Wait a minute" until the unit answers; then the new firmware's versions.
    ASSERT_TRUE(rig.firstPoll(2));
    EXPECT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1204"); })) << "the versions never came back";
    EXPECT_EQ(rig.messages, std::vector<std::string>{kUpgradeCompletedText});
    EXPECT_FALSE(rig.forced());
}

TEST(MaintenanceEndToEnd, StalledUpgradeEndsInTheTimeOutAndAClosedPort) {
    test::ProgramOptions o;
    o.unit.banks = 1;
    o.unit.faults.stallAfterBytes = 500;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(1));
    offerImage(rig, randomImage(4000, 9));
    rig.app().menus().menuItemChosen("Upgrade1");
    ASSERT_TRUE(rig.waitFor([&] {
        return rig.unit().withModel([](sim::UnitModel& m) { return m.upgradePhase(); }) == sim::UpgradePhase::stalled;
    })) << "the unit never stalled";
    // The unit marked each of its 500 bytes: the burst's last position plus
    // one byte per mark, and then the transfer waits for a mark that never comes.
    constexpr std::int32_t kLastSent = kUpgradeBurstBytes - 1 + 500;
    ASSERT_TRUE(rig.waitFor([&] { return rig.app().upgrade().UpgradeIndex() == kLastSent; }));
    test::spinFor(100);
    EXPECT_EQ(rig.app().upgrade().UpgradeIndex(), kLastSent);
    rig.timers().advance(kUpgradeTimeOutMs - 1);
    EXPECT_TRUE(rig.messages.empty());
    EXPECT_TRUE(rig.app().link().isOpen());
    rig.timers().advance(1);
    ASSERT_TRUE(rig.waitFor([&] { return !rig.messages.empty(); }));
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Upgrade timeout. \nPlease try again."});
    EXPECT_FALSE(rig.app().upgradeDialog().isVisible());
    EXPECT_FALSE(rig.app().link().isOpen());
    EXPECT_TRUE(rig.app().window().menuItem("mlConnect")->isEnabled());
    EXPECT_FALSE(rig.forced());
}

TEST(MaintenanceEndToEnd, UnitWithoutFirmwareIsBroughtBackByAnUpgrade) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    o.unit.faults.missingFirmware = true;
    o.unit.loaderPromptEveryMs = 200;
    o.unit.imageLength = 3002;
    o.probe = true;
    ProgramRig rig(o);
    offerImage(rig, randomImage(3000, 11));
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    // "abc": the failure message, then the file chooser at once; no upgrade
    // command, as the unit already waits in its loader.
    ASSERT_TRUE(rig.waitFor([&] {
        return std::find(rig.messages.begin(), rig.messages.end(), kUpgradeCompletedText) != rig.messages.end();
    })) << "the unit was not brought back";
    EXPECT_EQ(rig.messages.front(), kFirmwareFailureText);
    // The version request follows the completion message once it is closed.
    ASSERT_TRUE(rig.unit().waitForCommand("VER", 1, std::chrono::milliseconds(test::kProgramStepBoundMs)));
    const std::vector<std::string> commands = rig.unit().commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "UPGRADE"), 0);
    // Nothing asks a unit without firmware for versions: the first "/VER\"
    // follows the greeting after the completion (probe, link, completion).
    const auto firstVersionRequest = std::find(commands.begin(), commands.end(), "VER");
    ASSERT_NE(firstVersionRequest, commands.end());
    EXPECT_EQ(std::count(commands.begin(), firstVersionRequest, "uni"), 3);
    EXPECT_TRUE(rig.unit().withModel([](sim::UnitModel& m) { return m.firmwareValid(); }));
    // The unit now greets as a running one: polls, banks and versions.
    ASSERT_TRUE(rig.firstPoll(2));
    EXPECT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1204"); }));
    EXPECT_FALSE(rig.forced());
}

TEST(MaintenanceEndToEnd, ClockSetOneSecondAfterTheVersionsAndTheUnitsClockFollows) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    o.unit.clockStart = LocalMoment{2024, 1, 1, 2, 0, 0, 0};
    o.now = LocalMoment{2026, 12, 7, 2, 9, 5, 3};  // Monday 09:05:03
    o.setRtc = true;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    // The versions answer the request sent with the greeting; the program's
    // time has not moved yet, so the one-second countdown starts at 0.
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1203"); }));
    EXPECT_EQ(rig.timers().nowMs(), 0);
    rig.timers().advance(999);
    test::spinFor(50);
    EXPECT_EQ(clockSettings(rig), 0) << "set before its second";
    rig.timers().advance(1);
    ASSERT_TRUE(rig.unit().waitForCommand("SETTIME2026-12-07 09:05:03", 1, std::chrono::seconds(10)));
    EXPECT_EQ(clockSettings(rig), 1) << "one set for a burst of version reports";
    const LocalMoment unitClock = rig.unit().withModel([](sim::UnitModel& m) { return m.clock(); });
    EXPECT_EQ(unitClock.year, 2026);
    EXPECT_EQ(unitClock.month, 12);
    EXPECT_EQ(unitClock.day, 7);
    EXPECT_EQ(unitClock.hour, 9);
    EXPECT_EQ(unitClock.minute, 5);
    EXPECT_TRUE(rig.messages.empty()) << "no timers, so no warning: " << rig.messages.front();
    EXPECT_FALSE(rig.forced());
}

// Every other writer during a transfer - the hourly clock tick, "Set
// System Time", the Configuration dialog's OK, a port switched, Tools ->
// Upgrade, a close request - changes no byte of what the unit receives;
// the clock that fell due is set once after the completion.
TEST(MaintenanceEndToEnd, NothingButTheImageReachesTheUnitWhileItGoesOut) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    o.unit.imageLength = 20002;
    o.setRtc = true;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1203"); }));
    rig.timers().advance(kClockSetDelayMs);
    ASSERT_TRUE(rig.waitFor([&] { return clockSettings(rig) == 1; }));

    const std::vector<std::uint8_t> image = randomImage(20000, 5);
    offerImage(rig, image);
    const auto chooseImage = rig.onModal;
    rig.onModal = [&](QWidget* modal) {
        if (modal->objectName() == QStringLiteral("OKRightDlg")) {
            if (auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("okButton"))) ok->click();
            return;
        }
        chooseImage(modal);
    };
    rig.app().menus().menuItemChosen("Upgrade1");
    ASSERT_TRUE(rig.waitFor([&] { return rig.app().upgrade().upgradeState() == UpgradeState::transferring; }));

    // The reader waits for this thread between two marks: the transfer is
    // mid-way while each of these runs (the dialogs' own loops let it go on).
    Application& app = rig.app();
    app.clockSync().clockSettingDue();
    EXPECT_FALSE(app.menus().menuItemChosen("mlSetRTCNow"));
    app.clockSync().setClockNow();
    app.menus().configurationChosen();
    app.switching().portButtonPressed(11, MouseButton::left);
    app.switching().portButtonReleased(11, MouseButton::left);
    EXPECT_FALSE(app.menus().menuItemChosen("Upgrade1"));
    app.upgrade().startUpgrade();
    app.window().close();
    EXPECT_TRUE(app.window().isVisible()) << "closed with half an image sent";
    EXPECT_TRUE(app.window().inputLocked());
    EXPECT_FALSE(app.window().menuItem("mlDisconnect")->isEnabled());

    ASSERT_TRUE(rig.waitFor([&] {
        return std::find(rig.messages.begin(), rig.messages.end(), kUpgradeCompletedText) != rig.messages.end();
    })) << "no completion";
    std::vector<std::uint8_t> expected = image;
    expected.push_back(0xFF);
    expected.push_back(0x00);
    for (char c : std::string("/uni\\/VER\\")) expected.push_back(static_cast<std::uint8_t>(c));
    ASSERT_TRUE(rig.waitFor([&] { return writtenAfter(rig.unit(), "/UPGRADE\\").size() >= expected.size(); }));
    std::vector<std::uint8_t> written = writtenAfter(rig.unit(), "/UPGRADE\\");
    written.resize(expected.size());
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end())
        << "the unit got other bytes than the image from position " << (differ.first - written.begin());
    EXPECT_EQ(clockSettings(rig), 1) << "a clock setting reached the loader";
    EXPECT_FALSE(app.window().inputLocked());
    EXPECT_TRUE(app.window().menuItem("mlDisconnect")->isEnabled());

    // The clock that fell due: once, a second after the completion.
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(app, 2, "1204"); }));
    rig.timers().advance(kClockSetDelayMs - 1);
    test::spinFor(50);
    EXPECT_EQ(clockSettings(rig), 1);
    rig.timers().advance(1);
    ASSERT_TRUE(rig.waitFor([&] { return clockSettings(rig) == 2; }));
    test::spinFor(50);
    EXPECT_EQ(clockSettings(rig), 2);
    EXPECT_FALSE(rig.forced());
}

// With SetRTC on, the versions the new firmware reports after a completion
// set the unit's clock once, a second later, as on any link; a setting
// that fell due during the transfer is that same one, not a second.
struct ClockAfterUpgrade {
    const char* name;
    bool dueDuringTransfer;  // the hourly tick came while the image went out
    bool firstSetDuringTransfer;  // the link's first countdown ran out while the image went out
    long imageLength;        // 0: the unit ends the image after a quiet gap
    sim::CompletionStyle completion;
};

class ClockSetAfterAnUpgrade : public ::testing::TestWithParam<ClockAfterUpgrade> {};

TEST_P(ClockSetAfterAnUpgrade, OnceASecondAfterTheNewVersions) {
    const ClockAfterUpgrade& c = GetParam();
    test::ProgramOptions o;
    o.unit.banks = 2;
    o.unit.imageLength = c.imageLength;
    o.unit.completion = c.completion;
    o.now = LocalMoment{2026, 12, 7, 2, 9, 5, 3};
    o.setRtc = true;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1203"); }));
    // The first link's setting; clockSettingTimer then runs hourly.
    std::ptrdiff_t before = 0;
    if (!c.firstSetDuringTransfer) {
        rig.timers().advance(kClockSetDelayMs);
        ASSERT_TRUE(rig.waitFor([&] { return clockSettings(rig) == 1; }));
        before = 1;
    }

    offerImage(rig, randomImage(3000, 13));
    rig.app().menus().menuItemChosen("Upgrade1");
    ASSERT_TRUE(rig.waitFor([&] { return rig.app().upgrade().upgradeState() == UpgradeState::transferring; }));
    if (c.dueDuringTransfer) rig.app().clockSync().clockSettingDue();
    if (c.firstSetDuringTransfer) rig.timers().advance(kClockSetDelayMs);
    ASSERT_TRUE(rig.waitFor([&] {
        return std::find(rig.messages.begin(), rig.messages.end(), kUpgradeCompletedText) != rig.messages.end();
    })) << "no completion";
    ASSERT_TRUE(rig.waitFor([&] { return versionsRead(rig.app(), 2, "1204"); })) << "the versions never came back";
    EXPECT_EQ(clockSettings(rig), before) << "the clock went to the loader";

    rig.timers().advance(kClockSetDelayMs - 1);
    test::spinFor(50);
    EXPECT_EQ(clockSettings(rig), before) << "set before its second";
    rig.timers().advance(1);
    EXPECT_TRUE(rig.waitFor([&] { return clockSettings(rig) == before + 1; })) << "no clock setting after the upgrade";
    test::spinFor(50);
    EXPECT_EQ(clockSettings(rig), before + 1);
    const std::vector<std::string> commands = rig.unit().commands();
    const auto lastVersionRequest = std::find(commands.rbegin(), commands.rend(), "VER");
    const auto lastSet = std::find_if(commands.rbegin(), commands.rend(),
                                      [](const std::string& s) { return s.rfind("SETTIME", 0) == 0; });
    ASSERT_NE(lastSet, commands.rend());
    EXPECT_EQ(*lastSet, "SETTIME2026-12-07 09:05:03");
    EXPECT_LT(lastSet, lastVersionRequest) << "the setting did not follow the version request";
    EXPECT_EQ(rig.unit().withModel([](sim::UnitModel& m) { return m.clock().year; }), 2026);
    EXPECT_EQ(rig.messages, std::vector<std::string>{kUpgradeCompletedText});
    EXPECT_FALSE(rig.forced());
}

INSTANTIATE_TEST_SUITE_P(MaintenanceEndToEnd, ClockSetAfterAnUpgrade,
                         ::testing::Values(
                             ClockAfterUpgrade{"FirstSetDueDuringTheTransfer", false, true, 3002, sim::CompletionStyle::versionLine},
                             ClockAfterUpgrade{"NothingDue", false, false, 3002, sim::CompletionStyle::versionLine},
                             ClockAfterUpgrade{"DueDuringTheTransfer", true, false, 3002, sim::CompletionStyle::versionLine},
                             ClockAfterUpgrade{"EndedByQuiet", false, false, 0, sim::CompletionStyle::versionLine},
                             ClockAfterUpgrade{"UpgradeOkLines", false, false, 3002, sim::CompletionStyle::twoWordOk},
                             ClockAfterUpgrade{"UpgradeOkLinesAndDue", true, false, 3002, sim::CompletionStyle::twoWordOk}),
                         [](const ::testing::TestParamInfo<ClockAfterUpgrade>& info) { return info.param.name; });

}  // namespace
}  // namespace velmora
