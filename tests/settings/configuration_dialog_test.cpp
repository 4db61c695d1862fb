#include "settings/configuration_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include "caption_fits.h"

#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "choice_values.h"
#include "recording_menu.h"

namespace velmora {
namespace {

using testing_support::captionFits;
using testing_support::readBytes;
using testing_support::describe;
using testing_support::makeChoice;
using testing_support::makeSettings;
using testing_support::RecordingMenu;
using testing_support::TempFolder;
using testing_support::writeBytes;
using Strings = std::vector<std::string>;

const std::vector<std::string> kPorts = {"AUTO", "COM1", "COM3", "COM4"};

// What the controls show, read from the widgets themselves.
ConfigurationChoice shown(const ConfigurationDialog& dlg) {
    return makeChoice(dlg.comboPortSel()->currentIndex(), dlg.chkAuto()->isChecked(),
                      dlg.cbOnPrompt()->isChecked(), dlg.ckbSetRTC()->isChecked(),
                      dlg.cbRestoreStatus()->isChecked());
}

void setControls(ConfigurationDialog& dlg, const ConfigurationChoice& c) {
    dlg.comboPortSel()->setCurrentIndex(c.ComPort);
    dlg.chkAuto()->setChecked(c.Auto);
    dlg.cbOnPrompt()->setChecked(c.Prompt);
    dlg.ckbSetRTC()->setChecked(c.SetRTC);
    dlg.cbRestoreStatus()->setChecked(c.RestoreStatus);
}

// Runs `whileShown` once the modal loop of `execute` is running; a dialog
// still open afterwards is ended so that a failing test cannot hang.
bool runModal(ConfigurationDialog& dlg, bool greetingSeen, SetRTCMenu& menu, std::function<void()> whileShown) {
    QTimer::singleShot(0, &dlg, [&dlg, whileShown] {
        whileShown();
        if (dlg.isVisible()) dlg.done(QDialog::Rejected);
    });
    return dlg.execute(greetingSeen, menu);
}

// ---------------------------------------------------------------------------
// Layout: names, captions, places, sizes

struct ControlCase {
    const char* name;
    const char* caption;  // "" for the port list
    int x, y, width, height;  // width/height 0: not fixed
    bool visible;
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationLayout : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ConfigurationLayout, ControlIsNamedPlacedAndReadable) {
    const ControlCase& row = GetParam();
    Settings s;
    ConfigurationDialog dlg(kPorts, s);
    dlg.show();
    auto* w = dlg.findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(w, nullptr) << row.name;
    EXPECT_EQ(w->pos(), QPoint(row.x, row.y));
    if (row.width) {
        EXPECT_EQ(w->width(), row.width);
    }
    if (row.height) {
        EXPECT_EQ(w->height(), row.height);
    }
    EXPECT_EQ(w->isVisible(), row.visible);
    const QString caption = QString::fromLatin1(row.caption);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        EXPECT_EQ(b->text(), caption);
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        EXPECT_EQ(l->text(), caption);
    }
    // The caption is what assistive tools read; the port list is named by its label.
    EXPECT_EQ(w->accessibleName(), caption.isEmpty() ? QStringLiteral("Select Com Port") : caption);
    // Nothing clipped: the whole caption fits the control, the control the window.
    EXPECT_TRUE(captionFits(*w)) << row.name;
    EXPECT_LE(w->sizeHint().height(), w->height() + 2) << row.name;
    EXPECT_LE(w->x() + w->width(), 402) << row.name;
    EXPECT_LE(w->y() + w->height(), 235) << row.name;
    dlg.hide();
}

const ControlCase kControls[] = {
    {"Label1", "Select Com Port", 33, 44, 0, 0, true},
    {"comboPortSel", "", 130, 39, 79, 0, true},
    {"chkAuto", "Auto connect to Velmora on start", 24, 85, 0, 0, true},
    {"cbOnPrompt", "Touch Panel Power ON/OFF Confirmation Prompt", 24, 111, 0, 0, true},
    {"ckbSetRTC", "Auto-sync system time with host time on start", 24, 136, 0, 0, true},
    {"cbRestoreStatus", "Restore last-known port status on start", 24, 160, 0, 0, true},
    {"CheckBox1", "Show Debug Message", 24, 192, 0, 0, false},
    {"okButton", "OK", 211, 196, 76, 25, true},
    {"cancelButton", "Cancel", 296, 196, 75, 25, true},
};

INSTANTIATE_TEST_SUITE_P(Controls, ConfigurationLayout, ::testing::ValuesIn(kControls),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ConfigurationWindow, TitleSizeAndCentredPlace) {
    Settings s;
    ConfigurationDialog dlg(kPorts, s);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(dlg.size(), QSize(402, 235));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());  // not resizable
    dlg.show();
    const QPoint screenCentre = dlg.screen()->availableGeometry().center();
    EXPECT_LE((dlg.geometry().center() - screenCentre).manhattanLength(), 4);  // rounding of both centres
    dlg.hide();
}

TEST(ConfigurationWindow, TabOrderRunsFromOkToRestore) {
    Settings s;
    ConfigurationDialog dlg(kPorts, s);
    const QStringList ours = {"okButton", "cancelButton",  "cbOnPrompt", "comboPortSel",
                              "chkAuto", "CheckBox1", "ckbSetRTC", "cbRestoreStatus"};
    QStringList order;
    QWidget* w = dlg.okButton();
    for (int step = 0; step < 64; ++step) {
        if (ours.contains(w->objectName()) && !order.contains(w->objectName())) order << w->objectName();
        w = w->nextInFocusChain();
        if (w == dlg.okButton()) break;
    }
    EXPECT_EQ(order, ours);
}

TEST(ConfigurationWindow, PortListIsAutoThenThePortsAndSelectionOnly) {
    Settings s;
    ConfigurationDialog dlg(kPorts, s);
    QStringList items;
    for (int i = 0; i < dlg.comboPortSel()->count(); ++i) items << dlg.comboPortSel()->itemText(i);
    EXPECT_EQ(items, (QStringList{"AUTO", "COM1", "COM3", "COM4"}));
    EXPECT_FALSE(dlg.comboPortSel()->isEditable());
}

// ---------------------------------------------------------------------------
// Controls from Settings: at creation and at every showing

struct LoadCase {
    const char* name;
    Settings settings;
    ConfigurationChoice shows;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

const LoadCase kLoadCases[] = {
    {"AllOff", makeSettings(0, false, false, false, false, false), makeChoice(0, false, false, false, false)},
    {"AllOnLastPort", makeSettings(3, true, true, true, true, true), makeChoice(3, true, true, true, true)},
    {"SecondPortAutoOnly", makeSettings(2, true, false, true, false, false), makeChoice(2, true, false, false, false)},
    {"PromptAndRestore", makeSettings(1, false, true, false, false, true), makeChoice(1, false, true, false, true)},
    {"SetRTCOnly", makeSettings(0, false, false, false, true, false), makeChoice(0, false, false, true, false)},
    {"PortBeyondTheListShowsAuto", makeSettings(7, true, true, false, false, false),
     makeChoice(0, true, true, false, false)},
};

class ConfigurationLoad : public ::testing::TestWithParam<LoadCase> {};

// Connect takes its port and Auto from the controls: before the first
// showing they must already hold the stored values, or a Connect would
// store "AUTO" and Auto off over the user's choice.
TEST_P(ConfigurationLoad, ControlsHoldTheSettingsFromCreation) {
    Settings s = GetParam().settings;
    const Settings before = s;
    ConfigurationDialog dlg(kPorts, s);
    EXPECT_EQ(describe(shown(dlg)), describe(GetParam().shows));
    EXPECT_EQ(describe(dlg.choice()), describe(GetParam().shows));

    dlg.takeConnectChoice();
    Settings expected = before;
    expected.ComPort = GetParam().shows.ComPort;
    EXPECT_EQ(s, expected);
}

TEST_P(ConfigurationLoad, EveryShowingReloadsFromSettings) {
    Settings s = makeSettings(1, true, true, true, true, true);
    ConfigurationDialog dlg(kPorts, s);
    setControls(dlg, makeChoice(2, false, false, false, false));  // left over from elsewhere
    s = GetParam().settings;
    dlg.aboutToShow(false);
    EXPECT_EQ(describe(shown(dlg)), describe(GetParam().shows));
}

INSTANTIATE_TEST_SUITE_P(Rows, ConfigurationLoad, ::testing::ValuesIn(kLoadCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ConfigurationConnect, TakesPortAndAutoAsTheControlsStandAndNothingElse) {
    const Settings stored = makeSettings(1, false, true, false, true, false);
    Settings s = stored;
    ConfigurationDialog dlg(kPorts, s);
    setControls(dlg, makeChoice(3, true, false, false, true));
    dlg.takeConnectChoice();
    Settings expected = stored;
    expected.ComPort = 3;
    expected.Auto = true;
    EXPECT_EQ(s, expected);
}

TEST(ConfigurationLoad, LoadControlsAfterReadingTheFileCatchesUp) {
    Settings s;  // all zero, as before define.ini is read
    ConfigurationDialog dlg(kPorts, s);
    s = makeSettings(3, true, false, true, true, false);
    dlg.loadControls();
    EXPECT_EQ(describe(dlg.choice()), describe(makeChoice(3, true, false, true, false)));
}

// ---------------------------------------------------------------------------
// The lock while a unit is connected

struct LockCase {
    const char* name;
    bool greetingSeen;
};

void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationLock : public ::testing::TestWithParam<LockCase> {};

TEST_P(ConfigurationLock, PortChoiceAndAutoFollowTheGreeting) {
    Settings s = makeSettings(2, true, true, false, true, true);
    ConfigurationDialog dlg(kPorts, s);
    // Whatever the previous showing left, each showing sets the lock anew.
    for (const bool previous : {true, false}) {
        dlg.aboutToShow(previous);
        dlg.aboutToShow(GetParam().greetingSeen);
        EXPECT_EQ(dlg.comboPortSel()->isEnabled(), !GetParam().greetingSeen) << "after " << previous;
        EXPECT_EQ(dlg.chkAuto()->isEnabled(), !GetParam().greetingSeen) << "after " << previous;
        EXPECT_TRUE(dlg.cbOnPrompt()->isEnabled());
        EXPECT_TRUE(dlg.ckbSetRTC()->isEnabled());
        EXPECT_TRUE(dlg.cbRestoreStatus()->isEnabled());
        EXPECT_TRUE(dlg.okButton()->isEnabled());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ConfigurationLock,
                         ::testing::Values(LockCase{"Connected", true}, LockCase{"NotConnected", false}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// OK and the ways of leaving without OK

TEST(ConfigurationOk, StoresEveryControlAndKeepsComMeg) {
    for (const bool comMeg : {false, true}) {
        Settings s = makeSettings(1, false, true, comMeg, true, false);
        ConfigurationDialog dlg(kPorts, s);
        RecordingMenu menu(false);
        const bool ok = runModal(dlg, false, menu, [&] {
            setControls(dlg, makeChoice(3, true, false, false, true));
            dlg.okButton()->click();
        });
        EXPECT_TRUE(ok);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(s, makeSettings(3, true, false, comMeg, false, true)) << "ComMeg " << comMeg;
    }
}

TEST(ConfigurationOk, WhileConnectedTheLockedPortAndAutoStayAsStored) {
    Settings s = makeSettings(2, true, false, true, false, false);
    ConfigurationDialog dlg(kPorts, s);
    RecordingMenu menu(true);
    const bool ok = runModal(dlg, true, menu, [&] {
        dlg.cbOnPrompt()->click();
        dlg.cbRestoreStatus()->click();
        dlg.okButton()->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(s, makeSettings(2, true, true, true, false, true));
}

struct LeaveCase {
    const char* name;
    std::function<void(ConfigurationDialog&)> leave;
};

void PrintTo(const LeaveCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationLeave : public ::testing::TestWithParam<LeaveCase> {};

TEST_P(ConfigurationLeave, DropsEveryEditAndTouchesNothing) {
    const Settings stored = makeSettings(1, false, true, true, false, true);
    Settings s = stored;
    ConfigurationDialog dlg(kPorts, s);
    RecordingMenu menu(true);
    const bool ok = runModal(dlg, false, menu, [&] {
        setControls(dlg, makeChoice(3, true, false, true, false));
        GetParam().leave(dlg);
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(s, stored);
    EXPECT_TRUE(menu.calls.empty());
    // Connect reads these controls: they show the stored values again.
    EXPECT_EQ(describe(dlg.choice()), describe(makeChoice(1, false, true, false, true)));
}

const LeaveCase kLeaveCases[] = {
    {"CancelButton", [](ConfigurationDialog& d) { d.cancelButton()->click(); }},
    {"EscapeKey",
     [](ConfigurationDialog& d) {
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QCoreApplication::sendEvent(&d, &press);
     }},
    {"CloseBox", [](ConfigurationDialog& d) { d.close(); }},
    {"ClosedFromTheProgram", [](ConfigurationDialog& d) { d.closeAsCancelled(); }},
};

INSTANTIATE_TEST_SUITE_P(Ways, ConfigurationLeave, ::testing::ValuesIn(kLeaveCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ConfigurationLeave, CancelKeepsTheLockOfTheShowing) {
    Settings s = makeSettings(1, true, true, true, true, true);
    ConfigurationDialog dlg(kPorts, s);
    RecordingMenu menu(false);
    runModal(dlg, true, menu, [&] { dlg.cancelButton()->click(); });
    EXPECT_FALSE(dlg.comboPortSel()->isEnabled());
    EXPECT_FALSE(dlg.chkAuto()->isEnabled());
}

TEST(ConfigurationLeave, ClosingFromTheProgramWhileHiddenDoesNothing) {
    Settings s = makeSettings(1, true, true, true, true, true);
    ConfigurationDialog dlg(kPorts, s);
    setControls(dlg, makeChoice(2, false, false, false, false));
    dlg.closeAsCancelled();
    EXPECT_EQ(describe(dlg.choice()), describe(makeChoice(2, false, false, false, false)));
    EXPECT_EQ(dlg.result(), 0);
}

TEST(ConfigurationDebugBox, NeverShownAndNeverStored) {
    for (const bool ticked : {false, true}) {
        const Settings stored = makeSettings(2, true, false, true, false, true);
        Settings s = stored;
        ConfigurationDialog dlg(kPorts, s);
        RecordingMenu menu(true);
        bool wasVisible = true;
        runModal(dlg, false, menu, [&] {
            dlg.debugMessageBox()->setChecked(ticked);
            wasVisible = dlg.debugMessageBox()->isVisible();
            dlg.okButton()->click();
        });
        EXPECT_FALSE(wasVisible);
        EXPECT_EQ(s, stored) << "ticked " << ticked;
        EXPECT_EQ(menu.calls, (Strings{"stop", "enable"})) << "ticked " << ticked;
    }
}

// ---------------------------------------------------------------------------
// The clock-sync menu after OK, through the dialog

struct ClockCase {
    const char* name;
    bool storedSetRTC;
    bool tickedSetRTC;
    Strings calls;
};

void PrintTo(const ClockCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationClock : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ConfigurationClock, OkAppliesTheMenuRule) {
    const ClockCase& row = GetParam();
    Settings s = makeSettings(0, false, true, true, row.storedSetRTC, true);
    ConfigurationDialog dlg(kPorts, s);
    // The item is enabled exactly while SetRTC is off, as start-up leaves it.
    RecordingMenu menu(!row.storedSetRTC);
    runModal(dlg, true, menu, [&] {
        dlg.ckbSetRTC()->setChecked(row.tickedSetRTC);
        dlg.okButton()->click();
    });
    EXPECT_EQ(menu.calls, row.calls);
    EXPECT_EQ(menu.itemEnabled, !row.tickedSetRTC);
}

const ClockCase kClockCases[] = {
    {"TurnedOnStartsTheCountdown", false, true, {"start", "disable"}},
    {"AlreadyOnStartsNothing", true, true, {"disable"}},
    {"TurnedOffStopsTheTimer", true, false, {"stop", "enable"}},
    {"StaysOffStopsTheTimer", false, false, {"stop", "enable"}},
};

INSTANTIATE_TEST_SUITE_P(Rows, ConfigurationClock, ::testing::ValuesIn(kClockCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ConfigurationClockTwice, SecondOkWithSetRTCOnStartsNoSecondCountdown) {
    Settings s = makeSettings(0, false, true, true, false, true);
    ConfigurationDialog dlg(kPorts, s);
    RecordingMenu menu(true);
    runModal(dlg, true, menu, [&] {
        dlg.ckbSetRTC()->setChecked(true);
        dlg.okButton()->click();
    });
    runModal(dlg, true, menu, [&] { dlg.okButton()->click(); });
    EXPECT_EQ(menu.calls, (Strings{"start", "disable", "disable"}));
}

// ---------------------------------------------------------------------------
// The menu command as the main window runs it: the dialog, then on OK the
// file and the restore choice.

struct MenuFlowCase {
    const char* name;
    bool ok;
    bool restoreTicked;
    Strings sent;
    bool fileChanged;
};

void PrintTo(const MenuFlowCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationMenuFlow : public ::testing::TestWithParam<MenuFlowCase> {};

TEST_P(ConfigurationMenuFlow, FileAndCommandOnlyAfterOk) {
    const MenuFlowCase& row = GetParam();
    TempFolder dir;
    const auto path = dir / "define.ini";
    const std::string fileBefore =
        "[Form]\nComPort=1\nChkExist=1\nAuto=0\nPrompt=1\nComMeg=1\nSetRTC=1\nRestoreStatus=0";
    writeBytes(path, fileBefore);
    Settings s = makeSettings(1, false, true, true, true, false);
    const Settings stored = s;
    ConfigurationDialog dlg(kPorts, s);
    RecordingMenu menu(false);
    ScriptedDialogs dialogs;
    Strings sent;

    QTimer::singleShot(0, &dlg, [&] {
        dlg.cbRestoreStatus()->setChecked(row.restoreTicked);
        dlg.cbOnPrompt()->setChecked(false);
        (row.ok ? dlg.okButton() : dlg.cancelButton())->click();
        if (dlg.isVisible()) dlg.done(QDialog::Rejected);  // fail, not hang
    });
    const bool ok = runConfigurationCommand(dlg, true, menu, path, dialogs,
                                            [&](const std::string& t) { sent.push_back(t); });

    EXPECT_EQ(ok, row.ok);
    EXPECT_EQ(sent, row.sent);
    EXPECT_EQ(readBytes(path) != fileBefore, row.fileChanged);
    EXPECT_EQ(s == stored, !row.ok);
    EXPECT_TRUE(dialogs.shown.empty());
}

const MenuFlowCase kMenuFlowCases[] = {
    {"OkWithRestoreSendsEN001", true, true, {"/EN001\\"}, true},
    {"OkWithoutRestoreSendsDS001", true, false, {"/DS001\\"}, true},
    {"CancelSendsAndWritesNothing", false, true, {}, false},
};

INSTANTIATE_TEST_SUITE_P(Rows, ConfigurationMenuFlow, ::testing::ValuesIn(kMenuFlowCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
