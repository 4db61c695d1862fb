// The main menu: item states by link state, what each item does (connect,
// disconnect, configuration, Set Timer, About, Exit), the pop-up items that
// reach the menu logic, and the firmware version display.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "mainwindow/menu_logic.h"
#include "support/recording_view.h"
#include "mainwindow/switching_logic.h"
#include "platform/dialogs.h"
#include "settings/settings_file.h"

namespace velmora {
namespace {

class RecordingMenus final : public MenuView {
public:
    void setItemEnabled(std::string_view name, bool on) override { enabled[std::string(name)] = on; }
    void setItemVisible(std::string_view name, bool shown) override { visible[std::string(name)] = shown; }
    void setItemCaption(std::string_view name, std::string_view caption) override {
        captions[std::string(name)] = std::string(caption);
    }
    std::map<std::string, bool> enabled;
    std::map<std::string, bool> visible;
    std::map<std::string, std::string> captions;
};

class FakeConfiguration final : public ConfigurationSource {
public:
    explicit FakeConfiguration(std::vector<std::string>& events) : events_(events) {}
    int selectedPortPosition() const override { return port; }
    bool autoConnectChecked() const override { return autoChecked; }
    bool showModal() override {
        events_.push_back("configuration shown");
        if (ok && onOk) onOk();
        return ok;
    }
    int port = 0;
    bool autoChecked = false;
    bool ok = true;
    std::function<void()> onOk;  // what the dialog's OK stores

private:
    std::vector<std::string>& events_;
};

class FakeTimerDialog final : public TimerDialogHost {
public:
    int DialogBank() const override { return bank; }
    void setDialogBank(int bankIndex) override { bank = bankIndex; }
    bool showModal() override {
        shownOnBank.push_back(bank);
        return false;
    }
    int bank = 0;
    std::vector<int> shownOnBank;
};

// Everything the menu reaches, recorded as one ordered list of events.
struct MenuRig {
    DeviceState state;
    Settings settings;
    ScriptedDialogs dialogs;
    test::RecordingView view;
    RecordingMenus menus;
    std::vector<std::string> events;
    FakeConfiguration configuration{events};
    FakeTimerDialog timerDialog;
    int F = 1;
    bool connectFinds = false;
    std::vector<Settings> written;  // Settings as they stood at each WriteSettings
    SwitchingLogic switching{SwitchingLogic::Deps{
        state, settings, dialogs, view, menus, [this] { return F; },
        [this](std::string_view text) { events.push_back("write " + std::string(text)); }, &timerDialog,
        [this] { events.push_back("transfer"); }}};
    MenuLogic logic{deps()};

    MenuLogic::Deps deps() {
        auto record = [this](const char* event) { return [this, event] { events.emplace_back(event); }; };
        return MenuLogic::Deps{
            settings, state, dialogs, menus, configuration, switching, [this] { return F; },
            [this] {
                events.emplace_back("connect");
                if (connectFinds) logic.setConnected(true);
            },
            record("disconnect"),
            [this] {
                events.emplace_back("write settings");
                written.push_back(settings);
            },
            [this](std::string_view text) { events.push_back("write " + std::string(text)); },
            record("close window"), record("about"), record("upgrade"), record("set clock now"),
            record("start clock sync"), record("stop clock sync timer")};
    }

    void setVersion(int bank, std::string_view text) {
        ASSERT_TRUE(state.editBank(bank, [&](BankRecord& r) { copyField(r.version, text); }));
    }
};

using Events = std::vector<std::string>;

// ---- Item states ----------------------------------------------------------------

struct StateCase {
    const char* item;
    bool atStart;
    bool connected;
    bool afterReset;
};

// Whether the user can reach each item, at start, connected, and after the
// link reset that follows a disconnect.
const StateCase kStateCases[] = {
    {"N2", true, true, true},
    {"mlConnect", true, false, true},
    {"mlDisconnect", false, true, false},
    {"mlConfiguration1", true, true, true},
    {"SetTimer11", false, false, false},
    {"mlTools1", false, true, false},
    {"Upgrade1", false, true, false},
    {"CheckVersion1", false, true, false},
    {"mlSetRTC", false, true, false},
    {"mlSetRTCNow", false, true, false},
    {"mlStartSetRTC_Period", false, true, false},
    {"SetTimer1", false, true, false},
    {"N3", true, true, true},
    {"NoSuchItem", false, false, false},
};

TEST(MenuStates, ReachableItemsFollowTheLinkState) {
    MenuRig rig;
    rig.logic.initialiseMenus();
    for (const StateCase& c : kStateCases) EXPECT_EQ(rig.logic.isEnabled(c.item), c.atStart) << c.item;
    rig.logic.setConnected(true);
    EXPECT_TRUE(rig.logic.connected());
    for (const StateCase& c : kStateCases) EXPECT_EQ(rig.logic.isEnabled(c.item), c.connected) << c.item;
    rig.logic.setConnected(false);
    EXPECT_FALSE(rig.logic.connected());
    for (const StateCase& c : kStateCases) EXPECT_EQ(rig.logic.isEnabled(c.item), c.afterReset) << c.item;
}

TEST(MenuStates, TheViewShowsWhatTheLogicHolds) {
    struct Shown {
        const char* item;
        bool enabled;
        bool visible;
    };
    const Shown atStart[] = {
        {"N2", true, true},          {"mlConnect", true, true},  {"mlDisconnect", false, true},
        {"mlConfiguration1", true, true}, {"N7", true, false},   {"SetTimer11", false, false},
        {"mlTools1", false, true},   {"Upgrade1", true, true},   {"CheckVersion1", true, true},
        {"mlSetRTC", false, true},   {"mlSetRTCNow", true, true}, {"SetTimer1", false, true},
        {"N3", true, true},
    };
    MenuRig rig;
    rig.logic.initialiseMenus();
    for (const Shown& s : atStart) {
        EXPECT_EQ(rig.menus.enabled.at(s.item), s.enabled) << s.item;
        EXPECT_EQ(rig.menus.visible.at(s.item), s.visible) << s.item;
        EXPECT_EQ(rig.logic.isVisible(s.item), s.visible) << s.item;
    }
    rig.logic.setConnected(true);
    const Shown connected[] = {{"mlConnect", false, true}, {"mlDisconnect", true, true}, {"mlTools1", true, true},
                               {"mlSetRTC", true, true},   {"SetTimer1", true, true}};
    for (const Shown& s : connected) EXPECT_EQ(rig.menus.enabled.at(s.item), s.enabled) << s.item;
}

// While an upgrade waits for its prompt or sends its image, nothing that
// writes to the port can be reached - not by the user, not by code that
// performs an item. Afterwards every item shows what the other rules set
// meanwhile, as if the lock had never been.
TEST(MenuStates, UpgradeLockTakesWritingItemsAwayAndGivesBackWhatTheRulesSay) {
    MenuRig rig;
    rig.logic.initialiseMenus();
    rig.logic.setConnected(true);
    rig.logic.setStartSetRTCPeriodEnabled(false);  // SetRTC on

    rig.logic.setUpgradeLock(UpgradeMenuLock::awaitingPrompt);
    for (const char* item : {"mlConfiguration1", "Upgrade1", "mlSetRTCNow", "mlStartSetRTC_Period", "SetTimer1"}) {
        EXPECT_FALSE(rig.logic.isEnabled(item)) << item;
        EXPECT_FALSE(rig.menus.enabled.at(item)) << item;
    }
    EXPECT_TRUE(rig.logic.isEnabled("mlDisconnect")) << "the way out while the unit does not prompt";
    EXPECT_TRUE(rig.logic.isEnabled("CheckVersion1")) << "reading a version writes nothing";

    rig.logic.setUpgradeLock(UpgradeMenuLock::transferring);
    EXPECT_FALSE(rig.logic.isEnabled("mlDisconnect"));
    EXPECT_FALSE(rig.menus.enabled.at("N2"));
    for (const char* item : {"Upgrade1", "mlSetRTCNow", "mlConfiguration1", "SetTimer1", "mlDisconnect"}) {
        EXPECT_FALSE(rig.logic.perform(item)) << item;
        EXPECT_FALSE(rig.logic.menuItemChosen(item)) << item;
    }
    EXPECT_TRUE(rig.events.empty()) << rig.events.front();

    // The transfer times out: the link reset runs while the lock still holds.
    rig.logic.setConnected(false);
    rig.logic.setUpgradeLock(UpgradeMenuLock::none);
    const std::pair<const char*, bool> after[] = {
        {"mlConnect", true},  {"mlDisconnect", false}, {"mlConfiguration1", true}, {"Upgrade1", true},
        {"mlSetRTCNow", true}, {"mlStartSetRTC_Period", false}, {"SetTimer1", false}, {"N2", true}};
    for (const auto& [item, enabled] : after) {
        EXPECT_EQ(rig.menus.enabled.at(item), enabled) << item;
        EXPECT_EQ(rig.logic.itemEnabled(item), enabled) << item;
    }
}

TEST(MenuStates, ClockSyncItemFollowsTheSettingsRuleInEitherLinkState) {
    for (bool linked : {false, true}) {
        MenuRig rig;
        rig.logic.initialiseMenus();
        rig.logic.setConnected(linked);
        rig.logic.setStartSetRTCPeriodEnabled(false);
        EXPECT_FALSE(rig.logic.isEnabled("mlStartSetRTC_Period"));
        EXPECT_FALSE(rig.logic.startSetRTCPeriodEnabled());
        EXPECT_FALSE(rig.menus.enabled.at("mlStartSetRTC_Period"));
        rig.logic.setConnected(!linked);  // the link state leaves it alone
        EXPECT_FALSE(rig.logic.startSetRTCPeriodEnabled());
        rig.logic.setStartSetRTCPeriodEnabled(true);
        EXPECT_TRUE(rig.logic.startSetRTCPeriodEnabled());
        EXPECT_EQ(rig.logic.isEnabled("mlStartSetRTC_Period"), !linked);
        rig.logic.stopSetRTCTimer();
        rig.logic.startSetRTCPeriod();
        EXPECT_EQ(rig.events, (Events{"stop clock sync timer", "start clock sync"}));
    }
}

// ---- Choosing items -----------------------------------------------------------------

struct ChoiceCase {
    const char* item;
    bool connected;
    bool runs;
    const char* event;  // first event of the action
};

class MenuChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MenuChoiceTest, RunsOnlyWhileReachable) {
    const ChoiceCase& c = GetParam();
    MenuRig rig;
    rig.logic.initialiseMenus();
    rig.logic.setConnected(c.connected);
    rig.configuration.ok = false;
    EXPECT_EQ(rig.logic.menuItemChosen(c.item), c.runs);
    if (c.runs) {
        ASSERT_FALSE(rig.events.empty());
        EXPECT_EQ(rig.events.front(), c.event);
    } else {
        EXPECT_TRUE(rig.events.empty());
    }
}

std::string choiceName(const ::testing::TestParamInfo<ChoiceCase>& row) {
    return std::string(row.param.item) + (row.param.connected ? "Connected" : "NotConnected");
}

INSTANTIATE_TEST_SUITE_P(
    Items, MenuChoiceTest,
    ::testing::Values(ChoiceCase{"mlConnect", false, true, "connect"},
                      ChoiceCase{"mlConnect", true, false, ""},
                      ChoiceCase{"mlDisconnect", true, true, "disconnect"},
                      ChoiceCase{"mlDisconnect", false, false, ""},
                      ChoiceCase{"mlConfiguration1", false, true, "configuration shown"},
                      ChoiceCase{"mlConfiguration1", true, true, "configuration shown"},
                      ChoiceCase{"N2", false, true, "close window"},
                      ChoiceCase{"N3", true, true, "about"},
                      ChoiceCase{"Upgrade1", true, true, "upgrade"},
                      ChoiceCase{"Upgrade1", false, false, ""},
                      ChoiceCase{"mlSetRTCNow", true, true, "set clock now"},
                      ChoiceCase{"mlSetRTCNow", false, false, ""},
                      ChoiceCase{"mlStartSetRTC_Period", true, true, "start clock sync"},
                      ChoiceCase{"mlStartSetRTC_Period", false, false, ""},
                      ChoiceCase{"SetTimer1", false, false, ""},
                      ChoiceCase{"SetTimer11", true, false, ""},
                      ChoiceCase{"mlTools1", true, false, ""},
                      ChoiceCase{"Unknown", true, false, ""}),
    choiceName);

TEST(MenuPerform, CodeRunsAnItemByItsOwnStateNotItsMenus) {
    MenuRig rig;
    rig.logic.initialiseMenus();  // the Time menu is disabled, its items are not
    EXPECT_TRUE(rig.logic.perform("mlStartSetRTC_Period"));
    rig.logic.setStartSetRTCPeriodEnabled(false);
    EXPECT_FALSE(rig.logic.perform("mlStartSetRTC_Period"));
    EXPECT_FALSE(rig.logic.perform("mlDisconnect"));
    EXPECT_EQ(rig.events, Events{"start clock sync"});
}

// ---- Connect --------------------------------------------------------------------------

struct ConnectCase {
    const char* name;
    int selected;
    bool autoTicked;
    bool finds;
    int storedPort;
};

class ConnectTest : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectTest, TakesPortAndAutoThenConnectsThenWritesTheSettings) {
    const ConnectCase& c = GetParam();
    MenuRig rig;
    rig.logic.initialiseMenus();
    rig.settings.Prompt = true;  // not the dialog's to change here
    rig.settings.ComPort = 5;
    rig.settings.Auto = !c.autoTicked;
    rig.configuration.port = c.selected;
    rig.configuration.autoChecked = c.autoTicked;
    rig.connectFinds = c.finds;
    EXPECT_TRUE(rig.logic.menuItemChosen("mlConnect"));
    EXPECT_EQ(rig.events, (Events{"connect", "write settings"}));
    ASSERT_EQ(rig.written.size(), 1u);
    EXPECT_EQ(rig.written[0].Auto, c.autoTicked);
    EXPECT_EQ(rig.written[0].ComPort, c.storedPort);
    EXPECT_TRUE(rig.written[0].Prompt);
    EXPECT_EQ(rig.logic.isEnabled("mlConnect"), !c.finds);
    EXPECT_EQ(rig.logic.isEnabled("mlDisconnect"), c.finds);
}

INSTANTIATE_TEST_SUITE_P(Connect, ConnectTest,
                         ::testing::Values(ConnectCase{"AutoTickedNotFound", 0, true, false, 0},
                                           ConnectCase{"AutoTickedFound", 2, true, true, 2},
                                           ConnectCase{"AutoClearedFound", 3, false, true, 3},
                                           ConnectCase{"AutoClearedNotFound", 1, false, false, 1},
                                           ConnectCase{"NothingSelectedMeansAuto", -1, true, false, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Disconnect, RunsTheLinkDisconnect) {
    MenuRig rig;
    rig.logic.setConnected(true);
    rig.logic.disconnectChosen();
    EXPECT_EQ(rig.events, Events{"disconnect"});
}

// ---- Configuration ----------------------------------------------------------------------

struct ConfigurationCase {
    const char* name;
    bool ok;
    bool restoreStatus;  // as the dialog's OK stores it
    std::vector<std::string> events;
};

class ConfigurationTest : public ::testing::TestWithParam<ConfigurationCase> {};

TEST_P(ConfigurationTest, OkWritesTheFileThenTheRestoreChoice) {
    const ConfigurationCase& c = GetParam();
    MenuRig rig;
    rig.settings.RestoreStatus = !c.restoreStatus;
    rig.configuration.ok = c.ok;
    rig.configuration.onOk = [&rig, &c] { rig.settings.RestoreStatus = c.restoreStatus; };
    rig.logic.configurationChosen();
    EXPECT_EQ(rig.events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Configuration, ConfigurationTest,
    ::testing::Values(
        ConfigurationCase{"OkRestoreOn", true, true, {"configuration shown", "write settings", "write /EN001\\"}},
        ConfigurationCase{"OkRestoreOff", true, false, {"configuration shown", "write settings", "write /DS001\\"}},
        ConfigurationCase{"CancelSendsNothing", false, true, {"configuration shown"}}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Set Timer, About, Exit -------------------------------------------------------------

TEST(SetTimerFromTimeMenu, OpensOnBankOneWhateverThePanelsShow) {
    for (int F : {1, 4, 14}) {
        MenuRig rig;
        rig.F = F;
        rig.timerDialog.bank = 6;  // left from an earlier opening
        rig.logic.setConnected(true);
        EXPECT_TRUE(rig.logic.menuItemChosen("SetTimer1"));
        EXPECT_EQ(rig.timerDialog.shownOnBank, std::vector<int>{0}) << "F " << F;
    }
}

// ---- Pop-up items through the menu logic --------------------------------------------------

struct PopupCase {
    const char* item;
    int F;
    std::vector<std::string> events;
    const char* versionCaption;  // "" when no box is expected
};

class PopupThroughMenuTest : public ::testing::TestWithParam<PopupCase> {};

TEST_P(PopupThroughMenuTest, ReachesItsAction) {
    const PopupCase& c = GetParam();
    MenuRig rig;
    rig.F = c.F;
    EXPECT_TRUE(rig.logic.popupItemChosen(c.item));
    EXPECT_EQ(rig.events, c.events);
    if (*c.versionCaption != '\0') {
        ASSERT_EQ(rig.dialogs.shown.size(), 1u);
        EXPECT_EQ(rig.dialogs.shown[0].caption, c.versionCaption);
    } else {
        EXPECT_TRUE(rig.dialogs.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Popup, PopupThroughMenuTest,
    ::testing::Values(PopupCase{"CloseOneBank2", 1, {"write /F020\\"}, ""},
                      PopupCase{"MenuItem7", 3, {"write /O000\\"}, ""},
                      PopupCase{"mlCheckVersion3", 2, {}, "Bank 4 Version"},
                      PopupCase{"mlCheckVersion1", 11, {}, "Bank11 Version"}),
    [](const auto& row) { return std::string(row.param.item); });

TEST(PopupThroughMenu, UnknownNameRunsNothing) {
    MenuRig rig;
    EXPECT_FALSE(rig.logic.popupItemChosen("mlConnect"));
    EXPECT_TRUE(rig.events.empty());
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

// ---- Version display ------------------------------------------------------------------------

struct VersionCase {
    const char* name;
    VersionItemSource source;
    int tag;
    int F;
    int bank;             // whose version text is set
    const char* version;  // its text
    const char* caption;
    const char* text;
};

const VersionCase kVersionCases[] = {
    {"PopupSlot3AtF2ReadsBank4", VersionItemSource::popup, 3, 2, 4, "1203", "Bank 4 Version", "Firmware Version: 1.2.3"},
    {"SubMenuBank2IgnoresScroll", VersionItemSource::subMenu, 2, 7, 2, "2110", "Bank 2 Version", "Firmware Version: 2.1.10"},
    {"TwoDigitBankCaption", VersionItemSource::subMenu, 12, 1, 12, "9999", "Bank12 Version", "Firmware Version: 9.9.99"},
    {"WaitAMinuteShownAsIs", VersionItemSource::popup, 1, 1, 1, "Wait a minute", "Bank 1 Version", "Wait a minute"},
    {"ExtraDigitsGoToTheLastNumber", VersionItemSource::subMenu, 1, 1, 1, "12345", "Bank 1 Version", "Firmware Version: 1.2.34"},
    {"ThreeDigitsGiveTheLastAlone", VersionItemSource::subMenu, 1, 1, 1, "120", "Bank 1 Version", "Firmware Version: 1.2.0"},
    {"EmptyBeforeAnyReport", VersionItemSource::subMenu, 3, 1, 3, "", "Bank 3 Version", "Firmware Version: unknown"},
    {"TwoDigitsOnly", VersionItemSource::subMenu, 3, 1, 3, "12", "Bank 3 Version", "Firmware Version: unknown"},
    {"Letters", VersionItemSource::subMenu, 3, 1, 3, "abcd", "Bank 3 Version", "Firmware Version: unknown"},
    {"LetterAfterTwoDigits", VersionItemSource::subMenu, 3, 1, 3, "12x4", "Bank 3 Version", "Firmware Version: unknown"},
    {"WaitPrefixIsNotThePlaceholder", VersionItemSource::subMenu, 3, 1, 3, "Wait a minute!", "Bank 3 Version",
     "Firmware Version: unknown"},
    {"LongGarbage", VersionItemSource::subMenu, 5, 1, 5, "9999999999999999999", "Bank 5 Version",
     "Firmware Version: 9.9.99"},
};

class VersionDisplayTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionDisplayTest, ShowsTheBanksVersionAndSendsNothing) {
    const VersionCase& c = GetParam();
    MenuRig rig;
    rig.F = c.F;
    rig.setVersion(c.bank, c.version);
    rig.logic.checkVersionChosen(c.tag, c.source);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, c.text);
    EXPECT_EQ(rig.dialogs.shown[0].caption, c.caption);
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::none);
    EXPECT_EQ(rig.dialogs.shown[0].buttons, MessageButtons::ok);
    EXPECT_TRUE(rig.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionDisplayTest, ::testing::ValuesIn(kVersionCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(VersionDisplay, OtherBanksTextIsNotUsed) {
    MenuRig rig;
    rig.F = 2;
    rig.setVersion(3, "1203");  // bank of slot 2, not slot 3
    rig.logic.checkVersionChosen(3, VersionItemSource::popup);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].caption, "Bank 4 Version");
    EXPECT_EQ(rig.dialogs.shown[0].text, "Firmware Version: unknown");
}

TEST(VersionDisplay, BankBeyondTheRecordsShowsUnknown) {
    for (int tag : {0, 20, 99, -1}) {
        MenuRig rig;
        rig.logic.checkVersionChosen(tag, VersionItemSource::subMenu);
        ASSERT_EQ(rig.dialogs.shown.size(), 1u) << tag;
        EXPECT_EQ(rig.dialogs.shown[0].text, "Firmware Version: unknown") << tag;
        EXPECT_EQ(rig.dialogs.shown[0].caption, versionCaption(tag)) << tag;
    }
}

TEST(VersionDisplay, PopupTagOutsideTheSlotsShowsNothing) {
    for (int tag : {0, 4}) {
        MenuRig rig;
        rig.logic.checkVersionChosen(tag, VersionItemSource::popup);
        EXPECT_TRUE(rig.dialogs.shown.empty()) << tag;
    }
}

}  // namespace
}  // namespace velmora
