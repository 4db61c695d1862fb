#pragma once

// The main menu without the widgets: which items are usable in which link
// state, what each item does, and the firmware version display. It asks
// the window for nothing but the MenuView below, the Configuration dialog
// through ConfigurationSource and the rest of the program through plain
// functions, so it runs and is tested without a screen. UI thread only.
//
// Item and menu names are the window's component names: "N2", "mlConnect",
// "mlDisconnect", "mlConfiguration1", "N7", "SetTimer11", "mlTools1",
// "Upgrade1", "CheckVersion1", "mlSetRTC", "mlSetRTCNow",
// "mlStartSetRTC_Period", "N8", "SetTimer1", "N3"; the pop-up items are
// named as in switching_logic.h.

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "link/report_rules.h"
#include "mainwindow/menu_view.h"
#include "settings/configuration_logic.h"
#include "settings/settings_file.h"

namespace velmora {

class DeviceState;
class Dialogs;
class SwitchingLogic;

// The Configuration dialog (ConfigurationDialog) as the menu commands use it.
class ConfigurationSource {
public:
    virtual ~ConfigurationSource() = default;
    // Selected position of comboPortSel as it stands (0 "AUTO", k the k-th
    // port); -1 when nothing is selected.
    virtual int selectedPortPosition() const = 0;
    // Check state of chkAuto as it stands.
    virtual bool autoConnectChecked() const = 0;
    // Shows the dialog modally. True when it closed with OK, by which time
    // the dialog has stored its controls in the Settings; false for Cancel
    // or the close box (nothing stored).
    virtual bool showModal() = 0;
};

// Caption of the version box: "Bank%2d Version" (bank 4 -> "Bank 4 Version").
// Its text is versionText (link/report_rules.h).
std::string versionCaption(int bank);

// Where a version-display click came from.
enum class VersionItemSource {
    popup,    // mlCheckVersion1..3: the tag is the slot 1..3
    subMenu,  // a "Bank " item of the Check Version sub-menu: the tag is the bank
};

// How far a firmware upgrade under way takes the menu out of reach.
enum class UpgradeMenuLock {
    none,
    // Every item whose action writes to the port (or would start an
    // upgrade, a schedule or a clock setting) is off; Disconnect stays, the
    // way out when the unit never asks for its image.
    awaitingPrompt,
    // The image is going out: Disconnect and Exit are off as well.
    transferring,
};

class MenuLogic final : public SetRTCMenu {
public:
    struct Deps {
        Settings& settings;
        const DeviceState& state;
        Dialogs& dialogs;
        MenuView& menus;
        ConfigurationSource& configuration;
        // Pop-up items and the Set Timer action of the Time menu.
        SwitchingLogic& switching;
        // F, the position of ScrollBar1 (the first shown bank).
        std::function<int()> scrollPosition;
        // The connect sequence: detection, then the link opened (and
        // setConnected(true) called) or the not-found message shown.
        std::function<void()> connect;
        // The link taken down at the user's request (the link reset calls
        // setConnected(false)).
        std::function<void()> disconnect;
        // WriteSettings of the Settings above to define.ini.
        std::function<void()> writeSettings;
        // Writes one command text in one write call (nothing while closed).
        std::function<void(std::string_view)> write;
        // The rest are optional: an empty function does nothing.
        std::function<void()> closeMainWindow;  // N2: File -> Exit
        std::function<void()> showAbout;        // N3: the About box, modal
        std::function<void()> upgrade;          // startUpgrade
        std::function<void()> setClockNow;      // setClockNow
        std::function<void()> startClockSync;   // startPeriodicClockSetting
        std::function<void()> stopClockSyncTimer;  // clockSettingTimer off (settings start-up rule)
    };

    explicit MenuLogic(Deps deps);
    MenuLogic(const MenuLogic&) = delete;
    MenuLogic& operator=(const MenuLogic&) = delete;

    // The start picture of the menu: the not-connected state, "-" N7 hidden,
    // SetTimer11 disabled and hidden, the items inside the Tools and Time
    // menus enabled (their menus are not), "Sync System Time per hour"
    // enabled until the settings' clock-sync rule says otherwise (so call
    // this before ReadSettings).
    void initialiseMenus();

    // Connected: "Connect" off; "Disconnect", "Set Timer", "Tools " and
    // "Time" on. Not connected: the other way round. Other items keep their
    // state.
    void setConnected(bool connected);
    bool connected() const { return connected_; }

    // While an upgrade is under way the items it locks read as disabled,
    // whatever the other rules set meanwhile; when the lock ends every item
    // shows what those rules last set, as if the lock had never been.
    void setUpgradeLock(UpgradeMenuLock lock);
    UpgradeMenuLock upgradeLock() const { return lock_; }

    // The item's (or menu's) own enabled state (off while an upgrade locks
    // it); false for names that are not main-menu items.
    bool itemEnabled(std::string_view name) const;
    // True when the user can reach the item: itemEnabled and, for an item
    // of the Tools or Time menu, its menu enabled too.
    bool isEnabled(std::string_view name) const;
    bool isVisible(std::string_view name) const;

    // The user chose a main-menu item: its action runs only while
    // isEnabled(name). Returns true when an action ran.
    bool menuItemChosen(std::string_view name);
    // Code performs an item's action: it runs only while itemEnabled(name),
    // whatever its menu. Returns true when an action ran.
    bool perform(std::string_view name);
    // A pop-up item ("OpenOneBank2", "MenuItem7", "mlCheckVersion3"...),
    // run with the item's own tag. Returns false for names that are not
    // pop-up items.
    bool popupItemChosen(std::string_view name);

    // ---- The items' actions ----
    // Settings.ComPort and Settings.Auto from the Configuration dialog's
    // controls as they stand (no selection counts as 0, "AUTO"), then the
    // connect sequence, then WriteSettings whatever came of it.
    void connectChosen();
    void disconnectChosen();
    // The Configuration dialog; on OK WriteSettings, then "/EN001\" or
    // "/DS001\" by Settings.RestoreStatus. Cancel does nothing.
    void configurationChosen();
    void exitChosen();
    void aboutChosen();
    // The Set Timer dialog on bank 1, whatever the panels show.
    void setTimerMenuChosen();
    // The version box of a bank (OK button, no icon; nothing is sent).
    // Pop-up: bank F - 1 + tag; sub-menu: bank tag.
    void checkVersionChosen(int tag, VersionItemSource source);

    // ---- SetRTCMenu (the settings' clock-sync rules) ----
    void setStartSetRTCPeriodEnabled(bool enabled) override;
    void stopSetRTCTimer() override;
    bool startSetRTCPeriodEnabled() const override { return itemEnabled("mlStartSetRTC_Period"); }
    // startPeriodicClockSetting; the caller has checked the item is enabled.
    void startSetRTCPeriod() override { run(d_.startClockSync); }

private:
    // The action of a main-menu item; false for names without one.
    bool runAction(std::string_view name);
    void setEnabled(std::string_view name, bool enabled);
    void setVisible(std::string_view name, bool visible);
    bool lockedByUpgrade(std::string_view name) const;
    bool wanted(std::string_view name) const;
    static void run(const std::function<void()>& f) {
        if (f) f();
    }

    Deps d_;
    bool connected_ = false;
    UpgradeMenuLock lock_ = UpgradeMenuLock::none;
    std::map<std::string, bool, std::less<>> enabled_;
    std::map<std::string, bool, std::less<>> visible_;
};

}  // namespace velmora
