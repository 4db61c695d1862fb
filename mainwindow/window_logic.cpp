#include "mainwindow/window_logic.h"

#include <algorithm>

#include "schedule/timer_arithmetic.h"

namespace velmora {

namespace {

// The LED loops stop at the first key of a hidden second or third panel.
bool keyBeyondShownPanels(int key, const MainWindowLogic& w) {
    return (key > 20 && !w.panelShown(2)) || (key > 30 && !w.panelShown(3));
}

}  // namespace

MainWindowLogic::MainWindowLogic(Deps deps) : d_(std::move(deps)), flashTimer_(d_.timers.create("tmFlash1")) {
    flashTimer_->setEnabled(false);
    flashTimer_->setInterval(kFlashIntervalMs);
    flashTimer_->setOnTimer([this] { flashTick(); });
}

MainWindowLogic::~MainWindowLogic() = default;

bool MainWindowLogic::panelShown(int slot) const {
    return slot >= 1 && slot <= kSlotCount && panels_[static_cast<std::size_t>(slot - 1)];
}

// ---- Start-up -----------------------------------------------------------------

void MainWindowLogic::initialiseView() {
    d_.view.setWindowHeight(kHeightOneBank);
    hidePanels();
    scrollMaximum_ = 1;
    scrollPosition_ = 1;
    d_.view.setScrollBarMaximum(scrollMaximum_);
    d_.view.setScrollBarPosition(scrollPosition_);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        for (int port = 1; port <= kSlotPorts; ++port) {
            const int key = portKey(slot, port);
            d_.view.setPicture(portButtonId(key), PictureList::portButton, 1);  // released
            d_.view.setLabelBackground(timeLabelId(key), kBlackBackground);
            setTimeLabel(key, "");
        }
        d_.view.setPicture(menuButtonId(slot), PictureList::menuButton, 0);  // released
    }
    showScrolledBanks();
}

// ---- Scroll bar -----------------------------------------------------------------

void MainWindowLogic::scrollBarMoved(int position) { setScrollPosition(position); }

void MainWindowLogic::setScrollPosition(int position) {
    position = std::clamp(position, 1, scrollMaximum_);
    if (position == scrollPosition_) return;
    scrollPosition_ = position;
    d_.view.setScrollBarPosition(position);
    showScrolledBanks();
}

void MainWindowLogic::setScrollMaximum(int maximum) {
    scrollMaximum_ = std::max(maximum, 1);
    d_.view.setScrollBarMaximum(scrollMaximum_);
    // A maximum below the position drags the position along, which redraws
    // the slots just as a user's scroll does.
    if (scrollPosition_ > scrollMaximum_) setScrollPosition(scrollMaximum_);
}

void MainWindowLogic::setScrollVisible(bool visible) {
    scrollVisible_ = visible;
    d_.view.setScrollBarVisible(visible);
}

void MainWindowLogic::showScrolledBanks() {
    std::array<BankRecord, kSlotCount> records;
    for (int slot = 1; slot <= kSlotCount; ++slot)
        records[static_cast<std::size_t>(slot - 1)] = d_.state.bankSnapshot(bankInSlot(slot));

    for (int slot = 1; slot <= kSlotCount; ++slot) drawBankNumber(slot, bankInSlot(slot));
    for (int slot = 1; slot <= kSlotCount; ++slot)
        drawCurrent(slot, bankInSlot(slot), records[static_cast<std::size_t>(slot - 1)].current);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const int bank = bankInSlot(slot);
        for (int port = 1; port <= kSlotPorts; ++port) {
            const int key = portKey(slot, port);
            d_.view.setOutletName(key, outletName_ ? outletName_(bank, port) : std::string());
            drawFlaggedLed(slot, port, bank, records[static_cast<std::size_t>(slot - 1)]);
            // The slot's bank changed: the button speaks its new bank.
            speakNamed(portButtonId(key), spokenButton(bank, port), bank, port);
        }
        d_.view.setAccessibleName(menuButtonId(slot), spokenMenuButton(bank));
        speakNamed(panelId(slot), spokenBankNumber(bank), bank, 0);
    }
}

void MainWindowLogic::setOutletNames(std::function<std::string(int bank, int port)> names) {
    outletName_ = std::move(names);
    showScrolledBanks();
}

void MainWindowLogic::speakNamed(ComponentId component, std::string_view spoken, int bank, int port) {
    const std::string name = outletName_ ? outletName_(bank, port) : std::string();
    if (name.empty()) {
        d_.view.setAccessibleName(component, spoken);
        return;
    }
    const std::size_t at = (port == 0 ? spokenBankNumber(bank) : spokenButton(bank, port)).size();
    std::string text(spoken);
    text.insert(std::min(at, text.size()), " " + name);
    d_.view.setAccessibleName(component, text);
}

// ---- Drawing --------------------------------------------------------------------

void MainWindowLogic::drawBankNumber(int slot, int bank) {
    const BankDigits digits = bankDigits(bank);
    const SpokenText spoken = spokenBankNumber(bank);
    const ComponentId tens = bankDigitId(slot, 1);
    const ComponentId units = bankDigitId(slot, 2);
    d_.view.setPicture(tens, PictureList::bankDigits, digits.tens);
    d_.view.setPicture(units, PictureList::bankDigits, digits.units);
    d_.view.setAccessibleName(tens, spoken);
    d_.view.setAccessibleName(units, spoken);
}

void MainWindowLogic::drawCurrent(int slot, int bank, float amperes) {
    const CurrentDigits digits = currentDigits(amperes);
    const SpokenText spoken = spokenCurrent(bank, digits.reading);
    const ComponentId first = currentDigitId(slot, 1);
    const ComponentId second = currentDigitId(slot, 2);
    d_.view.setPicture(first, PictureList::currentDigits, digits.first);
    d_.view.setPicture(second, PictureList::currentDigits, digits.second);
    d_.view.setAccessibleName(first, spoken);
    d_.view.setAccessibleName(second, spoken);
}

void MainWindowLogic::drawFlaggedLed(int slot, int port, int bank, const BankRecord& record) {
    const int key = portKey(slot, port);
    const TimerFlagEffect flag = timerFlagRule(record.timerFlagsText(), port);
    // Banks beyond the tables have no entries to mark; setInvalid says so.
    d_.tables.setInvalid(bank - 1, port - 1, flag.invalid);
    if (flag.clearLabel) setTimeLabel(key, "");
    drawLed(key, port, bank, portIsOn(record.portStatesText(), port), flag.alarm);
}

void MainWindowLogic::drawLed(int key, int port, int bank, bool on, bool alarm) {
    const PictureRef picture = ledPicture(port, on, alarm);
    const ComponentId name = portLedId(key);
    d_.view.setPicture(name, picture.list, picture.index);
    speakNamed(name, spokenLed(bank, port, on, alarm), bank, port);
    d_.view.setPortButtonOn(portButtonId(key), on);
}

void MainWindowLogic::setTimeLabel(int key, std::string_view text) {
    const ComponentId name = timeLabelId(key);
    d_.view.setLabelText(name, text);
    d_.view.setAccessibleName(name, text);
}

// ---- Panels ---------------------------------------------------------------------

void MainWindowLogic::setPanelShown(int slot, bool shown) {
    panels_[static_cast<std::size_t>(slot - 1)] = shown;
    d_.view.setComponentVisible(panelId(slot), shown);
}

void MainWindowLogic::setSeparatorShown(int index, bool shown) {
    d_.view.setComponentVisible(separatorId(index), shown);
}

void MainWindowLogic::hidePanels() {
    for (int slot = 1; slot <= kSlotCount; ++slot) setPanelShown(slot, false);
    setSeparatorShown(1, false);
    setSeparatorShown(2, false);
    // Without panels the scroll bar would scroll nothing.
    setScrollVisible(false);
}

void MainWindowLogic::showPanels(int count) {
    setPanelShown(3, false);
    setPanelShown(2, false);
    setPanelShown(1, false);
    setSeparatorShown(1, false);
    setSeparatorShown(2, false);
    if (count == 1) {
        setPanelShown(1, true);
        d_.view.setWindowHeight(kHeightOneBank);
    } else if (count == 2) {
        setPanelShown(1, true);
        setSeparatorShown(1, true);
        setPanelShown(2, true);
        d_.view.setWindowHeight(kHeightTwoBanks);
    } else {  // 3, and also 0 or more than 3
        for (int slot = 1; slot <= kSlotCount; ++slot) setPanelShown(slot, true);
        setSeparatorShown(1, true);
        setSeparatorShown(2, true);
        d_.view.setWindowHeight(kHeightThreeBanks);
        d_.view.setWindowTop(kTopEdgeThreeBanks);
    }
}

// ---- Reports ----------------------------------------------------------------------

void MainWindowLogic::unitReported(const UnitEvent& event) {
    if (event.layoutChanged) {
        layoutCheck(d_.state.ShownBankCount.load(), d_.state.BankCount.load());
        return;  // the bank-count report carries nothing else
    }
    if (event.kind == ukScheduleRefresh) {
        d_.view.refreshTimerDialog();
        return;
    }
    // The rest of others' work (the upgrade's, the clock's, the transfer's)
    // is not drawn.
    if (answersAPoll(event.kind)) displayBranch(event.kind);
}

void MainWindowLogic::linkChanged(LinkChange change) {
    switch (change) {
        case LinkChange::greeted:
        case LinkChange::pollingResumed: flashTimer_->setEnabled(true); return;
        case LinkChange::stopped:
        case LinkChange::pollingPaused: flashTimer_->setEnabled(false); return;
        case LinkChange::closing: hidePanels(); return;
        case LinkChange::lost: closeLinkDialogs(); return;
        case LinkChange::reset: removeBankItems(); return;
        case LinkChange::clockSyncRequested: return;
    }
}

void MainWindowLogic::layoutCheck(int shownRaw, int countRaw) {
    const int shown = shownBanks(shownRaw);
    const int count = shownBanks(countRaw);

    showPanels(countRaw);

    if (countRaw <= 3) {
        setScrollPosition(1);
        setScrollVisible(false);
    } else {
        setScrollMaximum(count - 2);
        setScrollVisible(true);
    }

    // The dialog goes when the bank it opened on or the bank its tab shows
    // is gone: that tab is about to be deleted under it.
    if (d_.view.timerDialogVisible() &&
        (d_.view.timerDialogBank() >= countRaw || d_.view.timerDialogTab() >= countRaw)) {
        d_.view.cancelTimerDialog();
    }

    for (int bank = shown; bank > count; --bank) resetRemovedBank(bank);
    // Items and tabs follow the banks; kept to our own counts so that a
    // count reset elsewhere never leaves doubles or removes what is absent.
    while (versionItems_ > count) {
        d_.view.removeLastVersionItem();
        --versionItems_;
    }
    while (timerTabs_ > count) {
        d_.view.deleteTimerTab(--timerTabs_);
    }
    for (int bank = std::min(versionItems_, timerTabs_) + 1; bank <= count; ++bank) addBankItems(bank);

    d_.state.ShownBankCount = countRaw;
    // Names belong to a unit of so many banks: the slots show this one's.
    if (outletName_) showScrolledBanks();
}

void MainWindowLogic::resetRemovedBank(int bank) {
    if (versionItems_ == bank) {
        d_.view.removeLastVersionItem();
        --versionItems_;
    }
    if (timerTabs_ == bank) {
        d_.view.deleteTimerTab(bank - 1);
        --timerTabs_;
    }
    forgetBank(d_.state, d_.tables, bank);
}

void MainWindowLogic::addBankItems(int bank) {
    if (versionItems_ == bank - 1) {
        d_.view.appendVersionItem(versionItemCaption(bank), bank);
        ++versionItems_;
    }
    if (timerTabs_ == bank - 1) {
        d_.view.appendTimerTab(timerTabCaption(bank));
        ++timerTabs_;
        d_.view.selectFirstTimerTab();
    }
}

void MainWindowLogic::displayBranch(std::int32_t kind) {
    const int bank = d_.state.ReportedBank.load();
    const int slot = slotOfBank(bank, scrollPosition_);
    if (slot != 0) {
        const BankRecord record = d_.state.bankSnapshot(bank);
        if (isStatusReport(kind)) {
            for (int port = 1; port <= kSlotPorts; ++port) {
                if (keyBeyondShownPanels(portKey(slot, port), *this)) break;
                drawFlaggedLed(slot, port, bank, record);
            }
        }
        if (isCurrentReport(kind)) {
            // Drawn even into a hidden panel, ready for when it shows.
            drawCurrent(slot, bank, record.current);
        }
    }
}

// ---- Link -------------------------------------------------------------------------

bool MainWindowLogic::scheduleShowsBank(int bankIndex) {
    // The bank the user looks at: the selected tab, which after a tab
    // change differs from the bank the dialog opened on.
    return d_.view.timerDialogVisible() && d_.view.timerDialogTab() == bankIndex;
}

void MainWindowLogic::removeBankItems() {
    while (timerTabs_ > 0) {
        d_.view.deleteTimerTab(0);
        --timerTabs_;
    }
    while (versionItems_ > 0) {
        d_.view.removeLastVersionItem();
        --versionItems_;
    }
}

void MainWindowLogic::closeLinkDialogs() {
    if (d_.view.timerDialogVisible()) d_.view.cancelTimerDialog();
}

// ---- Timer ticks ------------------------------------------------------------------

void MainWindowLogic::flashTick() {
    flashPhase_ = 1 - flashPhase_;
    const bool alarmLit = flashPhase_ == 1;
    const LocalMoment now = d_.clock.now();
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const int bank = bankInSlot(slot);
        BankRecord record;
        bool haveRecord = false;
        for (int port = 1; port <= kSlotPorts; ++port) {
            const int key = portKey(slot, port);
            if (keyBeyondShownPanels(key, *this)) return;
            const auto entries = d_.tables.portEntries(bank - 1, port - 1);
            // The unit flagged the port: keep what the last report drew.
            if (entries && entries->ownOn.invalid == 1) continue;
            if (!haveRecord) {
                record = d_.state.bankSnapshot(bank);
                haveRecord = true;
            }
            const bool on = portIsOn(record.portStatesText(), port);
            const auto left = entries ? PortTimeLeft(*entries, now) : std::nullopt;
            if (!left) {  // no enabled timer governs the port
                drawLed(key, port, bank, on, false);
                d_.view.setLabelBackground(timeLabelId(key), kBlackBackground);
                setTimeLabel(key, "");
                continue;
            }
            drawLed(key, port, bank, on, alarmLit);
            const auto text = formatTimeLabel(left->hours, left->minutes);
            // A due time blinks with the ALARM lamp's opposite phase.
            d_.view.setLabelVisible(timeLabelId(key), !(left->due && alarmLit));
            setTimeLabel(key, text);
        }
    }
}

}  // namespace velmora
