#include "mainwindow/menu_logic.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "link/device_state.h"
#include "link/protocol.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/switching_logic.h"
#include "platform/dialogs.h"

namespace velmora {

namespace {

// The items inside the Tools and Time menus: usable only while their menu is.
struct MenuMember {
    std::string_view item;
    std::string_view menu;
};
constexpr std::array<MenuMember, 5> kMenuMembers{{
    {"Upgrade1", "mlTools1"},
    {"CheckVersion1", "mlTools1"},
    {"mlSetRTCNow", "mlSetRTC"},
    {"mlStartSetRTC_Period", "mlSetRTC"},
    {"SetTimer1", "mlSetRTC"},
}};

// Every main-menu item and menu with its state at start-up.
struct StartState {
    std::string_view name;
    bool enabled;
    bool visible;
};
constexpr std::array<StartState, 18> kStartStates{{
    {"N1", true, true},
    {"N2", true, true},
    {"Detect", true, true},
    {"mlConnect", true, true},
    {"mlDisconnect", false, true},
    {"mlConfiguration1", true, true},
    {"N7", true, false},
    {"SetTimer11", false, false},
    {"mlTools1", false, true},
    {"Upgrade1", true, true},
    {"CheckVersion1", true, true},
    {"mlSetRTC", false, true},
    {"mlSetRTCNow", true, true},
    {"mlStartSetRTC_Period", true, true},
    {"N8", true, true},
    {"SetTimer1", false, true},
    {"Help", true, true},
    {"N3", true, true},
}};

// Items out of reach while an upgrade waits for the unit's prompt, and
// the ones added while the image goes out.
constexpr std::array<std::string_view, 7> kLockedAwaitingPrompt{
    "mlConnect", "mlConfiguration1", "Upgrade1", "mlSetRTCNow", "mlStartSetRTC_Period", "SetTimer1", "SetTimer11"};
constexpr std::array<std::string_view, 2> kLockedTransferring{"mlDisconnect", "N2"};

}  // namespace

std::string versionCaption(int bank) {
    char text[32];
    std::snprintf(text, sizeof text, "Bank%2d Version", bank);
    return text;
}

MenuLogic::MenuLogic(Deps deps) : d_(std::move(deps)) {
    for (const StartState& s : kStartStates) {
        enabled_[std::string(s.name)] = s.enabled;
        visible_[std::string(s.name)] = s.visible;
    }
}

void MenuLogic::initialiseMenus() {
    for (const StartState& s : kStartStates) {
        setEnabled(s.name, s.enabled);
        setVisible(s.name, s.visible);
    }
    connected_ = false;
}

void MenuLogic::setConnected(bool connected) {
    connected_ = connected;
    setEnabled("mlConnect", !connected);
    setEnabled("mlDisconnect", connected);
    setEnabled("SetTimer1", connected);
    setEnabled("mlTools1", connected);
    setEnabled("mlSetRTC", connected);
}

bool MenuLogic::wanted(std::string_view name) const {
    const auto it = enabled_.find(name);
    return it != enabled_.end() && it->second;
}

bool MenuLogic::lockedByUpgrade(std::string_view name) const {
    if (lock_ == UpgradeMenuLock::none) return false;
    const auto in = [name](const auto& list) { return std::find(list.begin(), list.end(), name) != list.end(); };
    return in(kLockedAwaitingPrompt) || (lock_ == UpgradeMenuLock::transferring && in(kLockedTransferring));
}

bool MenuLogic::itemEnabled(std::string_view name) const { return wanted(name) && !lockedByUpgrade(name); }

void MenuLogic::setUpgradeLock(UpgradeMenuLock lock) {
    if (lock == lock_) return;
    lock_ = lock;
    for (std::string_view name : kLockedAwaitingPrompt) d_.menus.setItemEnabled(name, itemEnabled(name));
    for (std::string_view name : kLockedTransferring) d_.menus.setItemEnabled(name, itemEnabled(name));
}

bool MenuLogic::isEnabled(std::string_view name) const {
    if (!itemEnabled(name)) return false;
    for (const MenuMember& m : kMenuMembers) {
        if (m.item == name) return itemEnabled(m.menu);
    }
    return true;
}

bool MenuLogic::isVisible(std::string_view name) const {
    const auto it = visible_.find(name);
    return it != visible_.end() && it->second;
}

bool MenuLogic::menuItemChosen(std::string_view name) { return isEnabled(name) && runAction(name); }

bool MenuLogic::perform(std::string_view name) { return itemEnabled(name) && runAction(name); }

bool MenuLogic::runAction(std::string_view name) {
    if (name == "mlConnect") {
        connectChosen();
    } else if (name == "mlDisconnect") {
        disconnectChosen();
    } else if (name == "mlConfiguration1") {
        configurationChosen();
    } else if (name == "N2") {
        exitChosen();
    } else if (name == "N3") {
        aboutChosen();
    } else if (name == "SetTimer1") {
        setTimerMenuChosen();
    } else if (name == "Upgrade1") {
        run(d_.upgrade);
    } else if (name == "mlSetRTCNow") {
        run(d_.setClockNow);
    } else if (name == "mlStartSetRTC_Period") {
        run(d_.startClockSync);
    } else {
        // Menus, separators and the hidden SetTimer11 have no action.
        return false;
    }
    return true;
}

bool MenuLogic::popupItemChosen(std::string_view name) {
    const PopupItemInfo* item = findPopupItem(name);
    if (item == nullptr) return false;
    if (item->action == PopupAction::checkVersion) {
        checkVersionChosen(item->tag, VersionItemSource::popup);
        return true;
    }
    return d_.switching.popupItemChosen(name);
}

void MenuLogic::connectChosen() {
    const int position = d_.configuration.selectedPortPosition();
    d_.settings.ComPort = position < 0 ? 0 : position;
    d_.settings.Auto = d_.configuration.autoConnectChecked();
    d_.connect();
    // Stored whatever came of it, so the Auto choice survives a failed search.
    d_.writeSettings();
}

void MenuLogic::disconnectChosen() { d_.disconnect(); }

void MenuLogic::configurationChosen() {
    if (!d_.configuration.showModal()) return;
    d_.writeSettings();
    d_.write(cmdRestoreStatus(d_.settings.RestoreStatus));
}

void MenuLogic::exitChosen() { run(d_.closeMainWindow); }

void MenuLogic::aboutChosen() { run(d_.showAbout); }

void MenuLogic::setTimerMenuChosen() { d_.switching.setTimerFromMainMenu(); }

void MenuLogic::checkVersionChosen(int tag, VersionItemSource source) {
    if (source == VersionItemSource::popup && (tag < 1 || tag > kSlotCount)) return;
    const int bank = source == VersionItemSource::popup ? d_.scrollPosition() - 1 + tag : tag;
    // A bank outside the records reads as an empty version text.
    const BankRecord record = d_.state.bankSnapshot(bank);
    d_.dialogs.message(versionText(record.versionText()), versionCaption(bank), MessageIcon::none,
                       MessageButtons::ok);
}

void MenuLogic::setStartSetRTCPeriodEnabled(bool enabled) { setEnabled("mlStartSetRTC_Period", enabled); }

void MenuLogic::stopSetRTCTimer() { run(d_.stopClockSyncTimer); }

void MenuLogic::setEnabled(std::string_view name, bool enabled) {
    enabled_[std::string(name)] = enabled;
    d_.menus.setItemEnabled(name, itemEnabled(name));
}

void MenuLogic::setVisible(std::string_view name, bool visible) {
    visible_[std::string(name)] = visible;
    d_.menus.setItemVisible(name, visible);
}

}  // namespace velmora
