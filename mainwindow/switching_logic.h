#pragma once

// Switching from the bank panels without the widgets: the port buttons,
// the pop-up menus of the panels' menu buttons (captions, whole bank, all
// banks, Set Timer for the panel's bank) and their confirmation questions.
// Nothing here changes an LED: the unit's next status report does. Every
// command goes out at once in one write call, not through the pending
// queue. UI thread only.
//
// Tags: port buttons carry their port key (11..18, 21..28, 31..38). The
// pop-up menus popForm1..3 carry their slot 1..3; their items are, by
// position, OpenOneBank1..3 and CloseOneBank1..3 (tags 0..2),
// "OpenAllPortofAllBank1", "MenuItem3", "MenuItem7" (power on all banks),
// "CloseAllPortofAllBank1", "MenuItem4", "MenuItem8" (power off all banks),
// mlSetOneTimer1..3 (tags 0..2) and mlCheckVersion1..3 (tags 1..3).

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "link/report_rules.h"
#include "platform/dialogs.h"

namespace velmora {

class DeviceState;
class MainView;
class MenuView;
struct Settings;

enum class MouseButton { left, right, middle };

// Look of the switching questions.
inline constexpr MessageIcon kSwitchQuestionIcon = MessageIcon::exclamation;

// DialogBank value by which the Time menu asks for the Set Timer dialog on
// bank 1 whatever the panels show (no bank index reaches it).
inline constexpr int kDialogBankFromMainMenu = 17;

// The Set Timer dialog (SetTimerDialog) as the panels' menus open it.
class TimerDialogHost {
public:
    virtual ~TimerDialogHost() = default;
    // The bank index (0-based) the dialog opens on.
    virtual int DialogBank() const = 0;
    virtual void setDialogBank(int bankIndex) = 0;
    // Shows the dialog modally; true when it closed with OK.
    virtual bool showModal() = 0;
};

// Where a port button is: a PortAddress (link/report_rules.h).

// What an item of the panels' pop-up menus does.
enum class PopupAction { openBank, closeBank, openAll, closeAll, setTimer, checkVersion };

// One item of popForm1..3: its name, its menu's tag (the slot), its
// position in the menu (1..7; 5 is the separator), its tag and its caption
// when it has a fixed one (empty for the items portPopupOpening rewrites).
struct PopupItemInfo {
    std::string_view name;
    int menuTag;
    int position;
    int tag;
    PopupAction action;
    std::string_view fixedCaption;
};

// The 18 items of the three pop-up menus, menu by menu, in menu order.
// The all-bank items are captioned differently in each menu (as the unit's
// users know them) but do the same.
const std::array<PopupItemInfo, 18>& popupItems();
// The item of that name, or nullptr.
const PopupItemInfo* findPopupItem(std::string_view name);

// Bank and port of the port button with tag `tag` while the scroll bar
// stands at `firstShown` (F): tag 3p -> bank F + 2, tag 2p -> bank F + 1,
// tag 1p -> bank F; port p. False for a tag that is no port key.
bool portOfButton(int tag, int firstShown, PortAddress& address);

// Captions of the pop-up items that name the panel's bank b.
std::string openBankCaption(int bank);     // "Power on All Ports of Bank %d"
std::string closeBankCaption(int bank);    // "Power off All Ports of Bank %d"
std::string checkVersionCaption(int bank); // "Check Bank%2d Version"

// The switching questions, filled in.
std::string portQuestion(bool switchOn, int bank, int port);
std::string bankQuestion(bool switchOn, int bank);
std::string allBanksQuestion(bool switchOn);

class SwitchingLogic {
public:
    struct Deps {
        const DeviceState& state;  // BankInfo.portStates
        const Settings& settings;  // Prompt
        Dialogs& dialogs;
        MainView& view;            // the port buttons' pictures
        MenuView& menus;           // the pop-up items' captions
        // F, the position of ScrollBar1 (the first shown bank).
        std::function<int()> scrollPosition;
        // Writes one command text in one write call (nothing while closed).
        std::function<void(std::string_view)> write;
        // The Set Timer dialog; nullptr while the program has none (then
        // the Set Timer items do nothing).
        TimerDialogHost* timerDialog = nullptr;
        // Sends the edited schedule to the unit; optional.
        std::function<void()> ReturnToTransfer;
    };

    explicit SwitchingLogic(Deps deps);
    SwitchingLogic(const SwitchingLogic&) = delete;
    SwitchingLogic& operator=(const SwitchingLogic&) = delete;

    // ---- Port buttons (left button only; other buttons and tags that are
    // no port key do nothing) ----
    // Pressed picture into "imButton"+tag.
    void portButtonPressed(int tag, MouseButton button);
    // Released picture, then the port is toggled: off when its letter in
    // BankInfo.portStates is 'O', on otherwise, after the question when
    // Settings.Prompt is on (only OK lets the command go).
    void portButtonReleased(int tag, MouseButton button);

    // ---- Pop-up menus ----
    // The fixed captions of every pop-up item (positions 3, 4 and 6).
    void initialisePopupCaptions();
    // Runs the action of a pop-up item by its name, with the item's own
    // tag. False (and nothing runs) for a name that is not a pop-up item or
    // for a version item, whose display belongs to the menu logic.
    bool popupItemChosen(std::string_view name);
    // Menu `menuTag` (1..3) is opening: its bank items and version item name
    // bank F - 1 + menuTag. Other tags do nothing.
    void portPopupOpening(int menuTag);
    // All ports of bank F + itemTag (item tags 0..2; others do nothing).
    void openOneBankChosen(int itemTag);
    void closeOneBankChosen(int itemTag);
    // Every port of every bank.
    void openAllBanksChosen();
    void closeAllBanksChosen();
    // The Set Timer dialog on the panel's bank (DialogBank F + itemTag - 1),
    // or on bank 1 when DialogBank holds kDialogBankFromMainMenu; on OK the
    // schedule is sent. Item tags other than 0..2 do nothing.
    void setTimerChosen(int itemTag);
    // The Time menu's Set Timer: DialogBank to kDialogBankFromMainMenu, then
    // the action above, so the dialog opens on bank 1.
    void setTimerFromMainMenu();

private:
    // The question (when Prompt is on) and the command; the command text
    // goes out only when the question was answered OK. An empty command
    // (out-of-range fields) sends nothing and asks nothing.
    void confirmAndSend(const std::string& question, const std::string& command);

    Deps d_;
};

}  // namespace velmora
