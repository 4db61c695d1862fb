// The Upgrade Process dialog on the offscreen platform: its controls, what
// the upgrade logic makes it show, and the hidden cancel button.

#include "maintenance/upgrade_dialog.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/device_state.h"
#include "link/line_processor.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

struct ControlCase {
    const char* name;
    int x, y, width, height;  // height 0: not fixed
    bool visible;
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class UpgradeDialogLayout : public ::testing::TestWithParam<ControlCase> {};

TEST_P(UpgradeDialogLayout, ControlIsNamedAndPlaced) {
    const ControlCase& c = GetParam();
    UpgradeDialog form;
    form.show();
    auto* w = form.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_EQ(w->isVisible(), c.visible);
    if (!c.visible) return;
    EXPECT_EQ(w->pos(), QPoint(c.x, c.y));
    EXPECT_EQ(w->width(), c.width);
    if (c.height) {
        EXPECT_EQ(w->height(), c.height);
    }
    EXPECT_LE(w->x() + w->width(), kUpgradeDialogWidth);
    EXPECT_LE(w->y() + w->height(), kUpgradeDialogHeight);
    EXPECT_FALSE(w->accessibleName().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Controls, UpgradeDialogLayout,
                         ::testing::Values(ControlCase{"UpGrade1", 32, 24, 481, 0, true},
                                           ControlCase{"Memo1", 32, 48, 481, 177, true},
                                           ControlCase{"cancelButton", 0, 0, 0, 0, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(UpgradeDialog, CaptionFixedSizeNoTitleBarButtonsNotModal) {
    UpgradeDialog form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Upgrade Process"));
    EXPECT_EQ(form.size(), QSize(537, 240));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags f = form.windowFlags();
    EXPECT_TRUE(f.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(f.testFlag(Qt::CustomizeWindowHint)) << "only the hints given count";
    for (Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                  Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint})
        EXPECT_FALSE(f.testFlag(button)) << button;
    EXPECT_EQ(form.progressBar()->minimum(), 0);
    EXPECT_EQ(form.progressBar()->maximum(), 100);
    EXPECT_TRUE(form.messageMemo()->isReadOnly());
    form.showDialog();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isModal());
    form.closeDialog();
    EXPECT_FALSE(form.isVisible());
}

struct LineCase {
    const char* name;
    std::string line;
    QString shown;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class UpgradeDialogMessages : public ::testing::TestWithParam<LineCase> {};

TEST_P(UpgradeDialogMessages, UnitLineShownAsItsOwnLine) {
    UpgradeDialog form;
    form.appendMessage("Velmora Boot Loader");
    form.appendMessage(GetParam().line);
    EXPECT_EQ(form.messageMemo()->toPlainText(), QStringLiteral("Velmora Boot Loader\n") + GetParam().shown);
    form.clearMessages();
    EXPECT_TRUE(form.messageMemo()->toPlainText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, UpgradeDialogMessages,
    ::testing::Values(LineCase{"Plain", "CPU flash block 3", QStringLiteral("CPU flash block 3")},
                      LineCase{"LineEndOfUpgradeText", "Serial received 8 bytes\r", QStringLiteral("Serial received 8 bytes")},
                      LineCase{"LatinOneText", "Version caf\xe9 1 2", QString::fromUtf8("Version caf\xc3\xa9 1 2")},
                      LineCase{"CarriageReturnInside", "Check one\rtwo", QStringLiteral("Check one\ntwo")}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(UpgradeDialog, BarTakesPercentagesWithinItsRange) {
    UpgradeDialog form;
    for (const auto& [given, shown] : std::vector<std::pair<int, int>>{{0, 0}, {42, 42}, {100, 100}, {150, 100}, {-3, 0}}) {
        form.setProgress(given);
        EXPECT_EQ(form.progressBar()->value(), shown) << given;
    }
}

TEST(UpgradeDialog, HiddenCancelButtonAndEscapeCloseIt) {
    UpgradeDialog form;
    form.showDialog();
    form.pressCancel();
    EXPECT_FALSE(form.isVisible());
    form.showDialog();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.cancelButton()->isVisible());
}

// The logic drives the real dialog: shown at the prompt with the bar at 0,
// the bar following the bytes, the unit's lines listed, gone at the end.
TEST(UpgradeDialog, FollowsAnUpgradeFromPromptToCompletion) {
    testing_support::TempFolder folder;
    const auto path = folder / "image.x";
    testing_support::writeBytes(path, std::string(100, 'x'));
    DeviceState state;
    TimerTables tables;
    ScriptedDialogs dialogs;
    dialogs.paths.push_back(path.string());
    ManualTimerHost timers;
    FixedClock clock;
    UpgradeDialog form;
    std::size_t bytesWritten = 0;
    FirmwareUpgrade upgrade({state, tables, dialogs, timers, form,
                             [&](const std::uint8_t*, std::size_t n) { bytesWritten += n; }, [] {}, [] {}, [] {},
                             [] {}, [] {}, [] {}, [](int) {}, {}, {}, {}});
    auto deliver = [&](std::string_view line) {
        const LineOutcome out = processLine(line, state, tables, clock.now());
        for (int i = 0; i < out.updateCount; ++i) {
            switch (out.updates[static_cast<std::size_t>(i)]) {
                case ukUpgradeBegin: upgrade.upgradeBegin(); break;
                case ukUpgradeStep: upgrade.upgradeStep(); break;
                case ukUpgradeMessage: upgrade.upgradeMessage(); break;
                case ukUpgradeDone: upgrade.upgradeDone(); break;
                default: break;
            }
        }
    };
    upgrade.startUpgrade();
    deliver("Please send the file");
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.progressBar()->value(), 0);
    for (int i = 0; i < 30; ++i) deliver("|");  // up to position 49 of 100
    EXPECT_EQ(form.progressBar()->value(), 49);
    deliver("Velmora Boot Loader\r");
    EXPECT_EQ(form.messageMemo()->toPlainText(), QStringLiteral("Velmora Boot Loader"));
    deliver("Version 1.2.04 firmware ready\r");
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.messageMemo()->toPlainText().isEmpty());
    EXPECT_EQ(bytesWritten, std::string("/UPGRADE\\").size() + 50 + std::string("/VER\\").size());
}

}  // namespace
}  // namespace velmora
