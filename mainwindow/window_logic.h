#pragma once

// The main window's behaviour without the widgets: the bank panels and
// their scroll bar, what the unit's reports draw, and the flash timer. It
// draws through MainView, so it runs and is tested without a screen. UI
// thread only.
//
// It follows the unit's session as a subscriber of its view stage: each
// report and each step of the link reaches it there. Polling, the watchdog
// and the command queue are the session's.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/device_state.h"
#include "link/report_rules.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_view.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "session/unit_event.h"

namespace velmora {

// Timer intervals, milliseconds (the poll and watchdog cadence is the
// session's, in link/report_rules.h).
inline constexpr int kFlashIntervalMs = 500;     // flashTimer

// Window heights (client pixels) and the top edge used for three panels.
inline constexpr int kHeightOneBank = 190;
inline constexpr int kHeightTwoBanks = 300;
inline constexpr int kHeightThreeBanks = 410;
inline constexpr int kTopEdgeThreeBanks = 100;

class MainWindowLogic final : public UnitSubscriber {
public:
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        const Clock& clock;
        MainView& view;
        TimerFactory& timers;  // the flash timer's
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
    void showScrolledBanks();
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

    // ---- The session's view stage ----
    // Keeps the layout in step with BankCount, else draws the report.
    void unitReported(const UnitEvent& event) override;
    // Greeted or resumed: flashing; stopped or paused: not; closing: the
    // panels go; lost: the Set Timer dialog ends; reset: tabs and items go.
    void linkChanged(LinkChange change) override;

    // True when the Set Timer dialog is shown with the tab of bank index
    // bankIndex selected.
    bool scheduleShowsBank(int bankIndex);
    // Hides the panels, separators and the scroll bar.
    void hidePanels();
    // The window's part of the link reset: every Set Timer tab (first one
    // each time), every Check Version item (last first).
    void removeBankItems();
    // The Set Timer dialog ended as cancelled when it is shown.
    void closeLinkDialogs();

    // ---- The flash timer (its tick is also called by the timer itself) ----
    void flashTick();
    WindowTimer& flashTimer() { return *flashTimer_; }

    // 0 or 1, toggled by each flash tick: the ALARM lamp of blinking ports.
    int FlashPhase() const { return flashPhase_; }
    // Items in the Check Version sub-menu and tabs in the Set Timer dialog.
    int versionItemCount() const { return versionItems_; }
    int timerTabCount() const { return timerTabs_; }

private:
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
    std::unique_ptr<WindowTimer> flashTimer_;

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
