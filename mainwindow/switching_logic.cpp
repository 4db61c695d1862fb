#include "mainwindow/switching_logic.h"

#include <cstdio>
#include <utility>

#include "link/device_state.h"
#include "link/protocol.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_view.h"
#include "mainwindow/menu_view.h"
#include "settings/settings_file.h"

namespace velmora {

namespace {

// Picture indexes of portButtonPictures.
constexpr int kButtonPressed = 0;
constexpr int kButtonReleased = 1;

bool isPortKey(int tag) {
    const int slot = tag / 10;
    const int port = tag % 10;
    return slot >= 1 && slot <= kSlotCount && port >= 1 && port <= kSlotPorts;
}

bool isItemTag(int itemTag) { return itemTag >= 0 && itemTag < kSlotCount; }

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, pattern, args...);
    if (n < 0) return {};
    return std::string(text, static_cast<std::size_t>(n) < sizeof text ? static_cast<std::size_t>(n)
                                                                         : sizeof text - 1);
}

std::string withSlot(const char* prefix, int slot) { return prefix + std::to_string(slot); }

constexpr std::array<PopupItemInfo, 18> kPopupItems{{
    {"OpenOneBank1", 1, 1, 0, PopupAction::openBank, ""},
    {"CloseOneBank1", 1, 2, 0, PopupAction::closeBank, ""},
    {"OpenAllPortofAllBank1", 1, 3, 0, PopupAction::openAll, "Powre on All Ports of All Banks"},
    {"CloseAllPortofAllBank1", 1, 4, 0, PopupAction::closeAll, "Power off All Ports of All Banks"},
    {"mlSetOneTimer1", 1, 6, 0, PopupAction::setTimer, "Set Timer"},
    {"mlCheckVersion1", 1, 7, 1, PopupAction::checkVersion, ""},
    {"OpenOneBank2", 2, 1, 1, PopupAction::openBank, ""},
    {"CloseOneBank2", 2, 2, 1, PopupAction::closeBank, ""},
    {"MenuItem3", 2, 3, 0, PopupAction::openAll, "Power on All Ports of All Banks"},
    {"MenuItem4", 2, 4, 0, PopupAction::closeAll, "Power off All Ports of All Banks"},
    {"mlSetOneTimer2", 2, 6, 1, PopupAction::setTimer, "Set Timer"},
    {"mlCheckVersion2", 2, 7, 2, PopupAction::checkVersion, ""},
    {"OpenOneBank3", 3, 1, 2, PopupAction::openBank, ""},
    {"CloseOneBank3", 3, 2, 2, PopupAction::closeBank, ""},
    {"MenuItem7", 3, 3, 0, PopupAction::openAll, "Powr on All Ports of All Banks"},
    {"MenuItem8", 3, 4, 0, PopupAction::closeAll, "Powr off All Ports of All Banks"},
    {"mlSetOneTimer3", 3, 6, 2, PopupAction::setTimer, "Set Timer"},
    {"mlCheckVersion3", 3, 7, 3, PopupAction::checkVersion, ""},
}};

}  // namespace

const std::array<PopupItemInfo, 18>& popupItems() { return kPopupItems; }

const PopupItemInfo* findPopupItem(std::string_view name) {
    for (const PopupItemInfo& item : kPopupItems) {
        if (item.name == name) return &item;
    }
    return nullptr;
}

bool portOfButton(int tag, int firstShown, PortAddress& address) {
    if (!isPortKey(tag)) return false;
    if (tag > 30) {
        address = {firstShown + 2, tag - 30};
    } else if (tag > 20) {
        address = {firstShown + 1, tag - 20};
    } else {
        address = {firstShown, tag - 10};
    }
    return true;
}

std::string openBankCaption(int bank) { return format("Power on All Ports of Bank %d", bank); }
std::string closeBankCaption(int bank) { return format("Power off All Ports of Bank %d", bank); }
std::string checkVersionCaption(int bank) { return format("Check Bank%2d Version", bank); }

std::string portQuestion(bool switchOn, int bank, int port) {
    return format(switchOn ? "Do you want to power on Bank %d Port %d?"
                           : "Do you want to power off Bank %d Port %d?",
                  bank, port);
}

std::string bankQuestion(bool switchOn, int bank) {
    return format(switchOn ? "Do you want to power on all ports of bank %d?"
                           : "Do you want to power off all ports of bank %d?",
                  bank);
}

std::string allBanksQuestion(bool switchOn) {
    // The off question has two blanks before "all banks": that is how the
    // unit's users have always seen it.
    return switchOn ? "Do you want to power on all ports of all banks?"
                    : "Do you want to power off all ports of  all banks?";
}

SwitchingLogic::SwitchingLogic(Deps deps) : d_(std::move(deps)) {}

void SwitchingLogic::portButtonPressed(int tag, MouseButton button) {
    if (button != MouseButton::left || !isPortKey(tag)) return;
    d_.view.setPicture(portButtonId(tag), PictureList::portButton, kButtonPressed);
}

void SwitchingLogic::portButtonReleased(int tag, MouseButton button) {
    if (button != MouseButton::left || !isPortKey(tag)) return;
    d_.view.setPicture(portButtonId(tag), PictureList::portButton, kButtonReleased);

    PortAddress at{};
    portOfButton(tag, d_.scrollPosition(), at);
    // The reader may be storing a report meanwhile: read a consistent copy.
    const BankRecord record = d_.state.bankSnapshot(at.bank);
    const bool switchOn = !portIsOn(record.portStatesText(), at.port);
    confirmAndSend(portQuestion(switchOn, at.bank, at.port), cmdSwitchPort(switchOn, at.bank, at.port));
}

void SwitchingLogic::initialisePopupCaptions() {
    for (const PopupItemInfo& item : kPopupItems) {
        if (!item.fixedCaption.empty()) d_.menus.setItemCaption(item.name, item.fixedCaption);
    }
}

bool SwitchingLogic::popupItemChosen(std::string_view name) {
    const PopupItemInfo* item = findPopupItem(name);
    if (item == nullptr) return false;
    switch (item->action) {
        case PopupAction::openBank: openOneBankChosen(item->tag); return true;
        case PopupAction::closeBank: closeOneBankChosen(item->tag); return true;
        case PopupAction::openAll: openAllBanksChosen(); return true;
        case PopupAction::closeAll: closeAllBanksChosen(); return true;
        case PopupAction::setTimer: setTimerChosen(item->tag); return true;
        case PopupAction::checkVersion: return false;
    }
    return false;
}

void SwitchingLogic::portPopupOpening(int menuTag) {
    if (menuTag < 1 || menuTag > kSlotCount) return;
    const int bank = d_.scrollPosition() - 1 + menuTag;
    d_.menus.setItemCaption(withSlot("OpenOneBank", menuTag), openBankCaption(bank));
    d_.menus.setItemCaption(withSlot("CloseOneBank", menuTag), closeBankCaption(bank));
    d_.menus.setItemCaption(withSlot("mlCheckVersion", menuTag), checkVersionCaption(bank));
}

void SwitchingLogic::openOneBankChosen(int itemTag) {
    if (!isItemTag(itemTag)) return;
    const int bank = d_.scrollPosition() + itemTag;
    confirmAndSend(bankQuestion(true, bank), cmdSwitchBank(true, bank));
}

void SwitchingLogic::closeOneBankChosen(int itemTag) {
    if (!isItemTag(itemTag)) return;
    const int bank = d_.scrollPosition() + itemTag;
    confirmAndSend(bankQuestion(false, bank), cmdSwitchBank(false, bank));
}

void SwitchingLogic::openAllBanksChosen() {
    confirmAndSend(allBanksQuestion(true), cmdSwitchAll(true));
}

void SwitchingLogic::closeAllBanksChosen() {
    confirmAndSend(allBanksQuestion(false), cmdSwitchAll(false));
}

void SwitchingLogic::setTimerChosen(int itemTag) {
    TimerDialogHost* dialog = d_.timerDialog;
    if (dialog == nullptr) return;
    if (dialog->DialogBank() == kDialogBankFromMainMenu) {
        dialog->setDialogBank(0);
    } else {
        if (!isItemTag(itemTag)) return;
        dialog->setDialogBank(d_.scrollPosition() + itemTag - 1);
    }
    if (dialog->showModal() && d_.ReturnToTransfer) d_.ReturnToTransfer();
}

void SwitchingLogic::setTimerFromMainMenu() {
    if (d_.timerDialog == nullptr) return;
    d_.timerDialog->setDialogBank(kDialogBankFromMainMenu);
    setTimerChosen(0);
}

void SwitchingLogic::confirmAndSend(const std::string& question, const std::string& command) {
    if (command.empty()) return;
    if (d_.settings.Prompt) {
        const MessageAnswer answer =
            d_.dialogs.message(question, "", kSwitchQuestionIcon, MessageButtons::okCancel);
        if (answer != MessageAnswer::ok) return;
    }
    d_.write(command);
}

}  // namespace velmora
