#pragma once

// The program put together: device state, timer tables, the link, the main
// window's logic and its widgets, the settings and, on request, a simulated
// unit. It owns them all and takes them down in the one safe order.

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_dispatcher.h"
#include "platform/qt/qt_timer.h"
#include "link/device_state.h"
#include "mainwindow/current_history.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/clock.h"
#include "platform/port_list.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "service/outlet_names.h"
#include "settings/settings_file.h"

namespace velmora {

class MainWindowLogic;
class UnitSession;
class UnitSubscriber;
class MenuLogic;
class SerialLink;
class SwitchingLogic;
class MainWindow;
class AboutBox;
class DetectDialog;
class ConfigurationDialog;
class SetTimerDialog;
class UpgradeDialog;
class FirmwareUpgrade;
class ClockSync;
class SimulatedUnit;
class TraceWriter;
class UnitService;
class OwnerSocket;
class CurrentHistoryWindow;
class RenameDialog;

struct ApplicationOptions {
    std::vector<std::string> extraPorts;  // --port devices, in order
    bool simulate = false;                // run a simulated unit and connect to it
    int simulatedBanks = 3;
    std::filesystem::path settingsPath;   // define.ini
    // Where "now" and the window timers come from: the PC clock and Qt
    // timers when null. Tests pass a fixed clock and manual timers, which
    // must outlive the Application.
    const Clock* clock = nullptr;
    TimerFactory* timers = nullptr;
    // Milliseconds on a clock that never goes back (the current history's
    // order); the steady clock when empty. Tests pass the manual timers'.
    std::function<std::int64_t()> monotonicMs;
    // --trace: every byte to and from the unit is written here; null: off.
    std::shared_ptr<TraceWriter> trace;
    // The user's outlet names (names.json, shared with velmoractl); empty:
    // none, and nothing can be renamed.
    std::filesystem::path namesPath;
};

// Create on the UI thread after the QApplication, destroy before it.
class Application {
public:
    explicit Application(ApplicationOptions options);
    // shutdown(), then the windows go.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up: the simulated unit (if asked for), the port list, define.ini,
    // the start picture and the window shown; then the connection (to the
    // simulated unit, or by detection when the Auto setting is on).
    // false: the simulated unit could not be started; *error says why.
    bool start(std::string* error = nullptr);

    // Stops the dispatcher (pending and new hand-overs return without
    // running), then closes the link and joins its reader. Idempotent; the
    // windows stay until destruction.
    void shutdown();

    // The Detect dialog (modal) searches the configured port, or every
    // port in "AUTO" mode; a find at any list position opens the link there
    // (menus to connected). Anything else - no find, the dialog closed by
    // its close box - shows the not-found message.
    void Connect();
    // What Connect does after a find at list position `position`: the menus
    // to connected, the link opened, and the control socket listening so
    // that other programs share the port.
    void openLink(int position);

    MainWindow& window() { return *window_; }
    DetectDialog& detectDialog() { return *detectDialog_; }
    MainWindowLogic& logic() { return *logic_; }
    UnitSession& session() { return *session_; }
    MenuLogic& menus() { return *menus_; }
    SwitchingLogic& switching() { return *switching_; }
    ConfigurationDialog& configurationDialog() { return *configDialog_; }
    AboutBox& aboutBox() { return *aboutBox_; }
    SetTimerDialog& timerDialog() { return *timerDialog_; }
    UpgradeDialog& upgradeDialog() { return *upgradeDialog_; }
    FirmwareUpgrade& upgrade() { return *upgrade_; }
    // What the window does for other programs while it holds the port.
    UnitService& service() { return *service_; }
    // The control socket's path while connected (empty when none listens).
    std::string controlSocketPath() const;
    // Each bank's current of the last day, and its window.
    CurrentHistory& history() { return history_; }
    CurrentHistoryWindow& historyWindow() { return *historyWindow_; }
    // Opens "Current history" on every bank, or on `bank` alone (1..16).
    void showHistory(int bank = 0);
    // The clock the history's samples are ordered by.
    std::int64_t monotonicMs() const;
    // The user's name of bank `bank`'s port `port` (0: the bank), "" for
    // none or while no unit is connected.
    std::string outletName(int bank, int port);
    // "Rename": the names of `bank`, the cursor at `port` (0: the bank's).
    void showRename(int bank, int port = 0);
    RenameDialog& renameDialog() { return *renameDialog_; }
    ClockSync& clockSync() { return *clockSync_; }
    SerialLink& link() { return *link_; }
    DeviceState& state() { return state_; }
    TimerTables& tables() { return tables_; }
    const ComPortList& ports() const { return ports_; }
    const Settings& settings() const { return settings_; }
    QtUiDispatcher& dispatcher() { return dispatcher_; }

    // An upgrade waits for the unit's prompt or sends its image: the port
    // is held for it and the window takes no close request.
    bool upgradeUnderWay() const;

private:
    void wireWindow();
    void upgradeStateChanged(UpgradeState state);
    void recordCurrent();
    void saveNames(int bank, const std::array<std::string, 9>& names);
    void buildPortList();
    struct MenuAdapter;
    struct ConfigurationAdapter;
    struct TimerDialogAdapter;

    ApplicationOptions options_;
    DeviceState state_;
    TimerTables tables_;
    SystemClock systemClock_;
    QtTimerFactory qtTimers_;
    const Clock& clock_;
    TimerFactory& timers_;
    QtUiDispatcher dispatcher_;
    QtDialogs dialogs_;
    Settings settings_;
    ComPortList ports_;
    std::unique_ptr<MainWindow> window_;
    DetectDialog* detectDialog_ = nullptr;  // owned by the main window
    std::unique_ptr<UnitSession> session_;
    // What the program does for the unit's reports and link steps besides
    // drawing: its menus and dialogs, the upgrade and the clock, the
    // owner's service and the current history.
    std::unique_ptr<UnitSubscriber> menusFollowLink_;
    std::unique_ptr<UnitSubscriber> maintenanceFollowsUnit_;
    std::unique_ptr<UnitSubscriber> serviceFollowsUnit_;
    std::unique_ptr<MainWindowLogic> logic_;
    std::unique_ptr<MenuAdapter> menuView_;
    std::unique_ptr<ConfigurationAdapter> configurationSource_;
    SetTimerDialog* timerDialog_ = nullptr;    // owned by the main window
    UpgradeDialog* upgradeDialog_ = nullptr;  // owned by the main window
    std::unique_ptr<TimerDialogAdapter> timerDialogHost_;
    std::unique_ptr<FirmwareUpgrade> upgrade_;
    std::unique_ptr<ClockSync> clockSync_;
    std::unique_ptr<SwitchingLogic> switching_;
    std::unique_ptr<MenuLogic> menus_;
    ConfigurationDialog* configDialog_ = nullptr;  // owned by the main window
    AboutBox* aboutBox_ = nullptr;           // owned by the main window
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<SimulatedUnit> simulator_;
    std::unique_ptr<UnitService> service_;
    CurrentHistory history_;
    CurrentHistoryWindow* historyWindow_ = nullptr;  // owned by the main window
    RenameDialog* renameDialog_ = nullptr;            // owned by the main window
    std::unique_ptr<NamesOfUnit> names_;
    std::string namedPort_;  // the connected port as names are keyed; "" when none
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::unique_ptr<OwnerSocket> socket_;
    bool shutDown_ = false;
};

}  // namespace velmora
