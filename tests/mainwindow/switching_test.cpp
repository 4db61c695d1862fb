// Switching from the bank panels: port buttons, the pop-up menus' captions
// and items, the questions and the commands that go out.

#include <gtest/gtest.h>

#include <map>
#include <string>
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
    void setItemEnabled(std::string_view name, bool enabled) override { enabled_[std::string(name)] = enabled; }
    void setItemVisible(std::string_view name, bool visible) override { visible_[std::string(name)] = visible; }
    void setItemCaption(std::string_view name, std::string_view caption) override {
        captions[std::string(name)] = std::string(caption);
    }
    std::string caption(const std::string& name) const {
        auto it = captions.find(name);
        return it == captions.end() ? "<unset>" : it->second;
    }
    std::map<std::string, std::string> captions;

private:
    std::map<std::string, bool> enabled_;
    std::map<std::string, bool> visible_;
};

class FakeTimerDialog final : public TimerDialogHost {
public:
    int DialogBank() const override { return bank; }
    void setDialogBank(int bankIndex) override { bank = bankIndex; }
    bool showModal() override {
        shownOnBank.push_back(bank);
        return answerOk;
    }
    int bank = 0;
    bool answerOk = true;
    std::vector<int> shownOnBank;
};

struct SwitchRig {
    DeviceState state;
    Settings settings;
    ScriptedDialogs dialogs;
    test::RecordingView view;
    RecordingMenus menus;
    FakeTimerDialog timerDialog;
    int F = 1;
    std::vector<std::string> writes;
    int transfers = 0;
    SwitchingLogic logic{SwitchingLogic::Deps{
        state, settings, dialogs, view, menus, [this] { return F; },
        [this](std::string_view text) { writes.emplace_back(text); }, &timerDialog,
        [this] { ++transfers; }}};

    void setPortStates(int bank, std::string_view states) {
        ASSERT_TRUE(state.editBank(bank, [&](BankRecord& r) { copyField(r.portStates, states); }));
    }
    void click(int tag, MouseButton button = MouseButton::left) {
        logic.portButtonPressed(tag, button);
        logic.portButtonReleased(tag, button);
    }
};

using Writes = std::vector<std::string>;

// ---- Port buttons -----------------------------------------------------------

struct PortCase {
    const char* name;
    int F;
    int tag;
    const char* portStates;  // of the addressed bank
    int bank;
    int port;
    const char* command;
    const char* question;
};

const PortCase kPortCases[] = {
    {"Slot2AtF4OffPortSwitchesOn", 4, 23, "CCCCCCCC", 5, 3, "/O053\\", "Do you want to power on Bank 5 Port 3?"},
    {"Slot2AtF4OnPortSwitchesOff", 4, 23, "CCOCCCCC", 5, 3, "/F053\\", "Do you want to power off Bank 5 Port 3?"},
    {"Slot1FirstPortOn", 1, 11, "OCCCCCCC", 1, 1, "/F011\\", "Do you want to power off Bank 1 Port 1?"},
    {"Slot3LastPortOn", 1, 38, "CCCCCCCO", 3, 8, "/F038\\", "Do you want to power off Bank 3 Port 8?"},
    {"Slot3AtF14TwoDigitBank", 14, 31, "CCCCCCCC", 16, 1, "/O161\\", "Do you want to power on Bank 16 Port 1?"},
    {"NeighbourOnDoesNotCount", 2, 24, "CCOCOCCC", 3, 4, "/O034\\", "Do you want to power on Bank 3 Port 4?"},
    {"EmptyStatesReadAsOff", 2, 31, "", 4, 1, "/O041\\", "Do you want to power on Bank 4 Port 1?"},
    {"TooShortStatesReadAsOff", 1, 17, "OOO", 1, 7, "/O017\\", "Do you want to power on Bank 1 Port 7?"},
    {"LowerCaseLetterIsNotOn", 1, 12, "oooooooo", 1, 2, "/O012\\", "Do you want to power on Bank 1 Port 2?"},
    {"UnknownLetterIsNotOn", 1, 15, "XXXXXXXX", 1, 5, "/O015\\", "Do you want to power on Bank 1 Port 5?"},
};

class PortButtonTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortButtonTest, AddressesTheShownBankAndPort) {
    const PortCase& c = GetParam();
    PortAddress at{};
    ASSERT_TRUE(portOfButton(c.tag, c.F, at));
    EXPECT_EQ(at, (PortAddress{c.bank, c.port}));
}

TEST_P(PortButtonTest, PromptOffWritesAtOnceWithoutQuestion) {
    const PortCase& c = GetParam();
    SwitchRig rig;
    rig.F = c.F;
    rig.settings.Prompt = false;
    rig.setPortStates(c.bank, c.portStates);
    rig.click(c.tag);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.writes, Writes{c.command});
}

TEST_P(PortButtonTest, PromptOnAsksThenWritesOnOk) {
    const PortCase& c = GetParam();
    SwitchRig rig;
    rig.F = c.F;
    rig.settings.Prompt = true;
    rig.setPortStates(c.bank, c.portStates);
    rig.dialogs.answers = {MessageAnswer::ok};
    rig.click(c.tag);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, c.question);
    EXPECT_EQ(rig.dialogs.shown[0].caption, "");
    EXPECT_EQ(rig.dialogs.shown[0].icon, kSwitchQuestionIcon);
    EXPECT_EQ(rig.dialogs.shown[0].buttons, MessageButtons::okCancel);
    EXPECT_EQ(rig.writes, Writes{c.command});
}

INSTANTIATE_TEST_SUITE_P(Ports, PortButtonTest, ::testing::ValuesIn(kPortCases),
                         [](const auto& row) { return std::string(row.param.name); });

// Only OK lets a command go out; any other way of ending the question
// leaves the port alone.
struct AnswerCase {
    const char* name;
    MessageAnswer answer;
    bool sends;
};

class QuestionAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(QuestionAnswerTest, PortButton) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.F = 4;
    rig.dialogs.answers = {GetParam().answer};
    rig.click(23);
    EXPECT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.writes, GetParam().sends ? Writes{"/O053\\"} : Writes{});
}

TEST_P(QuestionAnswerTest, WholeBank) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.F = 2;
    rig.dialogs.answers = {GetParam().answer};
    rig.logic.closeOneBankChosen(1);
    EXPECT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.writes, GetParam().sends ? Writes{"/F030\\"} : Writes{});
}

TEST_P(QuestionAnswerTest, AllBanks) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.dialogs.answers = {GetParam().answer};
    rig.logic.openAllBanksChosen();
    EXPECT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.writes, GetParam().sends ? Writes{"/O000\\"} : Writes{});
}

INSTANTIATE_TEST_SUITE_P(Answers, QuestionAnswerTest,
                         ::testing::Values(AnswerCase{"Ok", MessageAnswer::ok, true},
                                           AnswerCase{"Cancel", MessageAnswer::cancel, false},
                                           AnswerCase{"No", MessageAnswer::no, false},
                                           AnswerCase{"Yes", MessageAnswer::yes, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(PortButtonPicture, PressedWhileDownReleasedAfterUp) {
    SwitchRig rig;
    rig.logic.portButtonPressed(27, MouseButton::left);
    EXPECT_EQ(rig.view.pictureIndex(portButtonId(27)), 0);
    EXPECT_TRUE(rig.writes.empty());
    rig.logic.portButtonReleased(27, MouseButton::left);
    EXPECT_EQ(rig.view.pictureIndex(portButtonId(27)), 1);
    EXPECT_EQ(rig.view.picture(portButtonId(27)).list, PictureList::portButton);
    EXPECT_EQ(rig.writes, Writes{"/O027\\"});
}

TEST(PortButtonPicture, ReleasedPictureIsDrawnBeforeTheQuestion) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.dialogs.answers = {MessageAnswer::cancel};
    rig.click(12);
    EXPECT_EQ(rig.view.pictureIndex(portButtonId(12)), 1);
    EXPECT_EQ(rig.view.logged("picture"),
              std::vector<std::string>(2, "picture " + test::RecordingView::nameOf(portButtonId(12))));
}

// Other buttons than the left one, and tags that are no port key, change
// neither the picture nor the port.
struct IgnoredCase {
    const char* name;
    int tag;
    MouseButton button;
};

class IgnoredPressTest : public ::testing::TestWithParam<IgnoredCase> {};

TEST_P(IgnoredPressTest, NothingDrawnAskedOrWritten) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.click(GetParam().tag, GetParam().button);
    EXPECT_TRUE(rig.view.pictures.empty());
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_TRUE(rig.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Presses, IgnoredPressTest,
    ::testing::Values(IgnoredCase{"RightButton", 23, MouseButton::right},
                      IgnoredCase{"MiddleButton", 11, MouseButton::middle},
                      IgnoredCase{"PortZero", 20, MouseButton::left},
                      IgnoredCase{"PortNine", 19, MouseButton::left},
                      IgnoredCase{"SlotFour", 41, MouseButton::left},
                      IgnoredCase{"SlotZero", 5, MouseButton::left},
                      IgnoredCase{"Negative", -11, MouseButton::left}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Pop-up menus -------------------------------------------------------------

struct PopupCaptionCase {
    const char* name;
    int menuTag;
    int F;
    const char* open;
    const char* close;
    const char* version;
};

class PopupCaptionTest : public ::testing::TestWithParam<PopupCaptionCase> {};

TEST_P(PopupCaptionTest, NamesTheBankShownInTheSlot) {
    const PopupCaptionCase& c = GetParam();
    SwitchRig rig;
    rig.F = c.F;
    rig.logic.portPopupOpening(c.menuTag);
    const std::string t = std::to_string(c.menuTag);
    EXPECT_EQ(rig.menus.caption("OpenOneBank" + t), c.open);
    EXPECT_EQ(rig.menus.caption("CloseOneBank" + t), c.close);
    EXPECT_EQ(rig.menus.caption("mlCheckVersion" + t), c.version);
    EXPECT_EQ(rig.menus.captions.size(), 3u);  // the other menus' items are left alone
}

INSTANTIATE_TEST_SUITE_P(
    Captions, PopupCaptionTest,
    ::testing::Values(
        PopupCaptionCase{"Slot2AtF3", 2, 3, "Power on All Ports of Bank 4", "Power off All Ports of Bank 4",
                         "Check Bank 4 Version"},
        PopupCaptionCase{"Slot1AtF1", 1, 1, "Power on All Ports of Bank 1", "Power off All Ports of Bank 1",
                         "Check Bank 1 Version"},
        PopupCaptionCase{"Slot3AtF8TwoDigits", 3, 8, "Power on All Ports of Bank 10",
                         "Power off All Ports of Bank 10", "Check Bank10 Version"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PopupCaption, MenuTagOutsideTheSlotsSetsNothing) {
    for (int tag : {0, 4, -1}) {
        SwitchRig rig;
        rig.logic.portPopupOpening(tag);
        EXPECT_TRUE(rig.menus.captions.empty()) << "menu tag " << tag;
    }
}

struct FixedCaptionCase {
    const char* item;
    const char* caption;
};

TEST(PopupCaption, FixedCaptionsOfEachMenuExactly) {
    const FixedCaptionCase cases[] = {
        {"OpenAllPortofAllBank1", "Powre on All Ports of All Banks"},
        {"MenuItem3", "Power on All Ports of All Banks"},
        {"MenuItem7", "Powr on All Ports of All Banks"},
        {"CloseAllPortofAllBank1", "Power off All Ports of All Banks"},
        {"MenuItem4", "Power off All Ports of All Banks"},
        {"MenuItem8", "Powr off All Ports of All Banks"},
        {"mlSetOneTimer1", "Set Timer"},
        {"mlSetOneTimer2", "Set Timer"},
        {"mlSetOneTimer3", "Set Timer"},
    };
    SwitchRig rig;
    rig.logic.initialisePopupCaptions();
    for (const auto& c : cases) EXPECT_EQ(rig.menus.caption(c.item), c.caption) << c.item;
    EXPECT_EQ(rig.menus.captions.size(), std::size(cases));
}

TEST(PopupItems, EachMenuHasItsSixItemsInOrderWithTheirTags) {
    int index = 0;
    const int positions[] = {1, 2, 3, 4, 6, 7};
    for (int menu = 1; menu <= 3; ++menu) {
        for (int position : positions) {
            const PopupItemInfo& item = popupItems()[static_cast<std::size_t>(index++)];
            EXPECT_EQ(item.menuTag, menu) << item.name;
            EXPECT_EQ(item.position, position) << item.name;
            EXPECT_EQ(findPopupItem(item.name), &item);
            const bool bankItem = position == 1 || position == 2 || position == 6;
            const int expectedTag = bankItem ? menu - 1 : position == 7 ? menu : 0;
            EXPECT_EQ(item.tag, expectedTag) << item.name;
        }
    }
    EXPECT_EQ(findPopupItem("mlConnect"), nullptr);
}

// The items by name, as the menus report them, with the command each sends
// (Prompt off).
struct PopupItemCase {
    const char* name;
    int F;
    const char* command;
};

class PopupItemTest : public ::testing::TestWithParam<PopupItemCase> {};

TEST_P(PopupItemTest, SendsItsCommand) {
    SwitchRig rig;
    rig.F = GetParam().F;
    EXPECT_TRUE(rig.logic.popupItemChosen(GetParam().name));
    EXPECT_EQ(rig.writes, Writes{GetParam().command});
}

INSTANTIATE_TEST_SUITE_P(
    Items, PopupItemTest,
    ::testing::Values(PopupItemCase{"OpenOneBank1", 1, "/O010\\"},
                      PopupItemCase{"OpenOneBank2", 3, "/O040\\"},
                      PopupItemCase{"CloseOneBank3", 14, "/F160\\"},
                      PopupItemCase{"OpenAllPortofAllBank1", 5, "/O000\\"},
                      PopupItemCase{"MenuItem3", 5, "/O000\\"},
                      PopupItemCase{"MenuItem7", 5, "/O000\\"},
                      PopupItemCase{"CloseAllPortofAllBank1", 2, "/F000\\"},
                      PopupItemCase{"MenuItem4", 2, "/F000\\"},
                      PopupItemCase{"MenuItem8", 2, "/F000\\"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PopupItem, UnknownNamesAndVersionItemsRunNothingHere) {
    for (const char* name : {"mlConnect", "", "OpenOneBank4", "mlCheckVersion2"}) {
        SwitchRig rig;
        EXPECT_FALSE(rig.logic.popupItemChosen(name)) << name;
        EXPECT_TRUE(rig.writes.empty()) << name;
        EXPECT_TRUE(rig.dialogs.shown.empty()) << name;
    }
}

struct QuestionCase {
    const char* name;
    void (*act)(SwitchingLogic&);
    int F;
    const char* question;
    const char* command;
};

class SwitchQuestionTest : public ::testing::TestWithParam<QuestionCase> {};

TEST_P(SwitchQuestionTest, AsksExactlyThenSends) {
    const QuestionCase& c = GetParam();
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.F = c.F;
    c.act(rig.logic);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, c.question);
    EXPECT_EQ(rig.dialogs.shown[0].caption, "");
    EXPECT_EQ(rig.dialogs.shown[0].buttons, MessageButtons::okCancel);
    EXPECT_EQ(rig.dialogs.shown[0].icon, kSwitchQuestionIcon);
    EXPECT_EQ(rig.writes, Writes{c.command});
}

INSTANTIATE_TEST_SUITE_P(
    Questions, SwitchQuestionTest,
    ::testing::Values(
        QuestionCase{"BankOnSlot1", [](SwitchingLogic& l) { l.openOneBankChosen(0); }, 3,
                     "Do you want to power on all ports of bank 3?", "/O030\\"},
        QuestionCase{"BankOffSlot3", [](SwitchingLogic& l) { l.closeOneBankChosen(2); }, 3,
                     "Do you want to power off all ports of bank 5?", "/F050\\"},
        QuestionCase{"AllOn", [](SwitchingLogic& l) { l.openAllBanksChosen(); }, 1,
                     "Do you want to power on all ports of all banks?", "/O000\\"},
        QuestionCase{"AllOffWithTwoBlanks", [](SwitchingLogic& l) { l.closeAllBanksChosen(); }, 1,
                     "Do you want to power off all ports of  all banks?", "/F000\\"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(WholeBank, ItemTagOutsideTheSlotsSendsNothing) {
    for (int tag : {-1, 3, 17}) {
        SwitchRig rig;
        rig.logic.openOneBankChosen(tag);
        rig.logic.closeOneBankChosen(tag);
        EXPECT_TRUE(rig.writes.empty()) << "item tag " << tag;
    }
}

TEST(WholeBank, BankBeyondTheCommandFieldAsksAndSendsNothing) {
    SwitchRig rig;
    rig.settings.Prompt = true;
    rig.F = 98;  // slot 3 would be bank 100: no two-digit field holds it
    rig.logic.openOneBankChosen(2);
    rig.click(31);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_TRUE(rig.writes.empty());
}

// ---- Set Timer for a bank -----------------------------------------------------

struct SetTimerCase {
    const char* name;
    bool fromMainMenu;
    const char* item;  // pop-up item when not from the main menu
    int F;
    int dialogBank;
};

class SetTimerTest : public ::testing::TestWithParam<SetTimerCase> {};

TEST_P(SetTimerTest, OpensOnTheBankAndSendsOnOk) {
    const SetTimerCase& c = GetParam();
    for (bool ok : {true, false}) {
        SwitchRig rig;
        rig.F = c.F;
        rig.timerDialog.answerOk = ok;
        if (c.fromMainMenu) {
            rig.logic.setTimerFromMainMenu();
        } else {
            EXPECT_TRUE(rig.logic.popupItemChosen(c.item));
        }
        EXPECT_EQ(rig.timerDialog.shownOnBank, std::vector<int>{c.dialogBank});
        EXPECT_EQ(rig.transfers, ok ? 1 : 0);
        EXPECT_TRUE(rig.writes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Dialog, SetTimerTest,
                         ::testing::Values(SetTimerCase{"Slot3AtF1", false, "mlSetOneTimer3", 1, 2},
                                           SetTimerCase{"Slot1AtF5", false, "mlSetOneTimer1", 5, 4},
                                           SetTimerCase{"Slot2AtF7", false, "mlSetOneTimer2", 7, 7},
                                           SetTimerCase{"MainMenuScrolled", true, "", 9, 0},
                                           SetTimerCase{"MainMenuAtStart", true, "", 1, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SetTimer, WithoutDialogNothingHappens) {
    DeviceState state;
    Settings settings;
    ScriptedDialogs dialogs;
    test::RecordingView view;
    RecordingMenus menus;
    int transfers = 0;
    SwitchingLogic logic{SwitchingLogic::Deps{state, settings, dialogs, view, menus, [] { return 1; },
                                              [](std::string_view) {}, nullptr, [&] { ++transfers; }}};
    logic.setTimerChosen(0);
    logic.setTimerFromMainMenu();
    EXPECT_EQ(transfers, 0);
}

}  // namespace
}  // namespace velmora
