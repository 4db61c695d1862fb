#pragma once

// The main window's behaviour without the widgets: the bank panels and
// their scroll bar, the reaction to the unit's reports (reportStored), and the
// flash, poll and watchdog timers. It draws through MainView, so it runs
// and is tested without a screen. UI thread only.
//
// It hears the link's events: the reader hands its reports to reportStored
// and the link's connect/disconnect sequences reach the window parts here.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/device_state.h"
#include "link/link_events.h"
#include "link/report_rules.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_view.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora {

// Timer intervals, milliseconds (the poll and watchdog cadence is in
// link/report_rules.h).
inline constexpr int kFlashIntervalMs = 500;     // tmFlash1

// Window heights (client pixels) and the top edge used for three panels.
inline constexpr int kHeightOneBank = 190;
inline constexpr int kHeightTwoBanks = 300;
inline constexpr int kHeightThreeBanks = 410;
inline constexpr int kTopEdgeThreeBanks = 100;

// The work other parts of the program do for some view updates and for the
// link reset. Each is optional: an empty function does nothing (and an
// empty setRtcOn reads as off).
struct MainWindowHooks {
    std::function<void()> upgradeBegin;    // ukUpgradeBegin: start sending the image
    std::function<void()> upgradeDone;     // ukUpgradeDone: completion of the upgrade
    std::function<void()> upgradeStep;     // ukUpgradeStep: the next image byte
    std::function<void()> upgradeFailed;   // ukUpgradeFailed: failure message, upgrade again
    std::function<void()> upgradeMessage;  // ukUpgradeMessage: append LastLine to the progress list
    std::function<void()> clockError;      // ukClockError: enable tmRTCErr
    std::function<bool()> setRtcOn;        // the SetRTC setting
    // ukVersion with SetRTC on: tmSetRTC to 1000 ms and enabled.
    std::function<void()> armClockSetting;
    // Link reset, the menu and maintenance part: tmSetRTC off, mlConnect on,
    // mlDisconnect, mlTools1, mlSetRTC, SetTimer1 off, tmUpgradeTimeOut off.
    std::function<void()> resetLinkMenus;
    // End the Configuration dialog as cancelled when it is shown.
    std::function<void()> closeConfigurationDialog;
    // Start the hourly clock synchronisation.
    std::function<void()> startClockSyncPeriod;
    // After every view update, with the kind the reader raised (the
    // service of the port's owner follows the unit's reports through it).
    std::function<void(std::int32_t kind)> viewUpdated;
};

class MainWindowLogic final : public LinkEvents {
public:
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        const Clock& clock;
        MainView& view;
        TimerFactory& timers;
        // Writes one command text to the port in one write call (nothing
        // while the link is closed).
        std::function<void(std::string_view)> write;
        // The link watchdog ran out: close the link and tell the user.
        std::function<void()> watchdogExpired;
        // "/VER\" and the restore setting, once per link.
        std::function<void()> sendInfoRequest;
        MainWindowHooks hooks;
    };

    explicit MainWindowLogic(Deps deps);
    ~MainWindowLogic() override;
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    // Start-up picture: window 190 high; panels, separators and scroll bar
    // hidden; scroll bar at 1; bank numbers 01, 02, 03; currents 0.0; LEDs
    // dark; buttons released; time labels empty on black; accessible names
    // for all of it.
    void initialiseView();

    // ---- ScrollBar1 ----
    // The user moved the scroll bar. The position is kept within
    // 1..scrollMaximum(); a new position redraws the slots.
    void scrollBarMoved(int position);
    // Redraw of the three slots for the banks at the current position:
    // bank numbers, currents, timer flags and LEDs (time labels are left to
    // the next flash tick, except that a flagged port's label is emptied).
    void ScrollBar1Change();
    // The user's names of outlets (port 1..8) and banks (port 0), "" for
    // none: shown on the panels and spoken with their buttons and lamps.
    // Redraws the slots.
    void setOutletNames(std::function<std::string(int bank, int port)> names);
    int scrollPosition() const { return scrollPosition_; }  // F, first shown bank
    int scrollMaximum() const { return scrollMaximum_; }
    bool scrollBarVisible() const { return scrollVisible_; }
    // Bank shown in slot 1..3.
    int bankInSlot(int slot) const { return velmora::bankInSlot(scrollPosition_, slot); }
    // True while the panel of slot 1..3 is shown; false for other slots.
    bool panelShown(int slot) const;

    // ---- The link's events ----
    // Keeps the layout in step with BankCount, else acts on the report.
    void reportStored(std::int32_t kind) override;
    void greeted() override { startPolling(); }
    bool scheduleShown(int bankIndex) override { return scheduleShowsBank(bankIndex); }
    void linkClosing() override { hidePanels(); }
    void linkStopped() override { stopLinkTimers(); }
    void linkLost() override { closeLinkDialogs(); }
    void linkReset() override { resetLinkUi(); }
    void clockSyncRequested() override;

    // The greeting arrived: flash timer on, first poll after 10 ms.
    void startPolling();
    // True when the Set Timer dialog is shown with the tab of bank index
    // bankIndex selected.
    bool scheduleShowsBank(int bankIndex);
    // Sends the schedule of the working tables: every pending entry becomes
    // a clear or set command behind those still waiting in Queue, and the
    // head of Queue is written once (nothing when Queue stays empty). The
    // rest go out one by one as the unit confirms them (reportStored).
    void ReturnToTransfer();
    // Hides the panels, separators and the scroll bar.
    void hidePanels();
    // The window's part of the link reset: the menu hook, every Set Timer
    // tab (first one each time), every Check Version item (last first).
    void resetLinkUi();
    // tmFlash1, tmQuery and tmOpenComError off.
    void stopLinkTimers();
    // And on again (after an upgrade's file choice came to nothing).
    void startLinkTimers();
    // Configuration dialog (hook) and Set Timer dialog ended as cancelled.
    void closeLinkDialogs();

    // ---- Timer ticks (also called by the timers themselves) ----
    void tmFlash1Timer();
    void tmQueryTimer();
    void tmOpenComErrorTimer();

    WindowTimer& tmFlash1() { return *tmFlash1_; }
    WindowTimer& tmQuery() { return *tmQuery_; }
    WindowTimer& tmOpenComError() { return *tmOpenComError_; }

    // 0 or 1, toggled by each flash tick: the ALARM lamp of blinking ports.
    int FlashPhase() const { return flashPhase_; }
    // Items in the Check Version sub-menu and tabs in the Set Timer dialog.
    int versionItemCount() const { return versionItems_; }
    int timerTabCount() const { return timerTabs_; }

private:
    void handleUpdate(std::int32_t kind);
    void layoutCheck(int shown, int count);
    void showPanels(int count);
    void setPanelShown(int slot, bool shown);
    void setSeparatorShown(int index, bool shown);
    void setScrollPosition(int position);
    void setScrollMaximum(int maximum);
    void setScrollVisible(bool visible);
    void displayBranch(std::int32_t kind);
    void resetRemovedBank(int bank);
    void addBankItems(int bank);

    void drawBankNumber(int slot, int bank);
    void drawCurrent(int slot, int bank, float amperes);
    // Timer-flag rule then LED rule for one port, from the bank's record.
    void drawFlaggedLed(int slot, int port, int bank, const BankRecord& record);
    void drawLed(int key, int port, int bank, bool on, bool alarm);
    // `spoken` ("Bank B Port P...", "Bank B") with the user's name of the
    // outlet (or, port 0, the bank) after its "Bank B Port P" / "Bank B".
    void speakNamed(ComponentId component, std::string_view spoken, int bank, int port);
    void setTimeLabel(int key, std::string_view text);

    Deps d_;
    std::unique_ptr<WindowTimer> tmFlash1_;
    std::unique_ptr<WindowTimer> tmQuery_;
    std::unique_ptr<WindowTimer> tmOpenComError_;

    int scrollPosition_ = 1;
    int scrollMaximum_ = 1;
    bool scrollVisible_ = false;
    std::array<bool, kSlotCount> panels_{};
    std::function<std::string(int bank, int port)> outletName_;
    int flashPhase_ = 0;
    int versionItems_ = 0;
    int timerTabs_ = 0;
};

}  // namespace velmora
