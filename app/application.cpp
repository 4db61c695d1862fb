#include "app/application.h"

#include <QDateTime>
#include <QMenuBar>
#include <QScrollBar>
#include <QThread>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "app/owner_socket.h"
#include "mainwindow/current_history_window.h"
#include "mainwindow/rename_dialog.h"
#include "app/simulated_unit.h"
#include "maintenance/clock_sync.h"
#include "maintenance/firmware_upgrade.h"
#include "maintenance/upgrade_dialog.h"
#include "schedule/set_timer_dialog.h"
#include "schedule/set_timer_logic.h"
#include "settings/detect_dialog.h"
#include "link/serial_link.h"
#include "link/protocol.h"
#include "mainwindow/menu_logic.h"
#include "mainwindow/switching_logic.h"
#include "mainwindow/main_window.h"
#include "mainwindow/window_logic.h"
#include "session/unit_session.h"
#include "platform/serial_device.h"
#include "platform/traced_serial.h"
#include "settings/about_box.h"
#include "settings/configuration_dialog.h"
#include "service/unit_service.h"

namespace velmora {

// The main menu's items as the menu logic sees them.
struct Application::MenuAdapter final : MenuView {
    explicit MenuAdapter(MainWindow& w) : window(w) {}
    void setItemEnabled(std::string_view name, bool enabled) override {
        if (QAction* item = window.menuItem(name)) item->setEnabled(enabled);
    }
    void setItemVisible(std::string_view name, bool visible) override {
        if (QAction* item = window.menuItem(name)) item->setVisible(visible);
    }
    void setItemCaption(std::string_view name, std::string_view caption) override {
        window.setMenuItemCaption(name, caption);
    }
    MainWindow& window;
};

// The Set Timer dialog as the panels' menus and the Time menu open it.
struct Application::TimerDialogAdapter final : TimerDialogHost {
    explicit TimerDialogAdapter(SetTimerDialog& d) : dialog(d) {}
    int DialogBank() const override { return dialog.DialogBank(); }
    void setDialogBank(int bankIndex) override { dialog.setDialogBank(bankIndex); }
    bool showModal() override { return dialog.showModal(); }
    SetTimerDialog& dialog;
};

// The Configuration dialog as the menu commands use it.
struct Application::ConfigurationAdapter final : ConfigurationSource {
    explicit ConfigurationAdapter(Application& a) : app(a) {}
    int selectedPortPosition() const override { return app.configDialog_->choice().ComPort; }
    bool autoConnectChecked() const override { return app.configDialog_->choice().Auto; }
    bool showModal() override { return app.configDialog_->execute(app.state_.GreetingSeen.load(), *app.menus_); }
    Application& app;
};

Application::Application(ApplicationOptions options)
    : options_(std::move(options)),
      clock_(options_.clock ? *options_.clock : static_cast<const Clock&>(systemClock_)),
      timers_(options_.timers ? *options_.timers : static_cast<TimerFactory&>(qtTimers_)) {
    window_ = std::make_unique<MainWindow>();
    dialogs_.setParent(window_.get());
    detectDialog_ = new DetectDialog(dispatcher_, window_.get());

    session_ = std::make_unique<UnitSession>(UnitSession::Deps{
        .state = state_,
        .tables = tables_,
        .clock = clock_,
        .timers = timers_,
        .write = [this](std::string_view text) { link_->write(text); },
        .sendInfoRequest = [this] { link_->SendInfoRequest(); },
        .watchdogExpired = [this] { link_->WatchdogExpired(); },
        .scheduleShown = [this](int bankIndex) { return logic_->scheduleShowsBank(bankIndex); }});
    // Heard before the window: the menus go back to "not connected" before
    // the window's tabs and items go.
    menusFollowLink_ = std::make_unique<FunctionSubscriber>(nullptr, [this](LinkChange change) {
        switch (change) {
            case LinkChange::reset:
                menus_->setConnected(false);
                clockSync_->linkReset();
                upgrade_->linkReset();
                // The port is free again: the others open it themselves.
                if (socket_) socket_->stop();
                if (service_) service_->linkLost();
                return;
            case LinkChange::lost:
                if (configDialog_) configDialog_->closeAsCancelled();
                return;
            case LinkChange::clockSyncRequested:
                // As the menu item would run it: nothing while the item is
                // disabled, which it is whenever SetRTC is on (the version
                // report starts it then).
                menus_->perform("mlStartSetRTC_Period");
                return;
            default: return;
        }
    });
    maintenanceFollowsUnit_ = std::make_unique<FunctionSubscriber>([this](const UnitEvent& event) {
        if (event.layoutChanged) return;
        switch (event.kind) {
            case ukUpgradeBegin: upgrade_->upgradeBegin(); return;
            case ukUpgradeDone:
                upgrade_->upgradeDone();
                // A clock setting that fell due during the transfer goes now.
                clockSync_->upgradeCompleted();
                return;
            case ukUpgradeStep: upgrade_->upgradeStep(); return;
            case ukUpgradeFailed: upgrade_->upgradeFailed(); return;
            case ukUpgradeMessage: upgrade_->upgradeMessage(); return;
            case ukClockError: clockSync_->clockErrorReported(); return;
            case ukVersion:
                if (settings_.SetRTC) clockSync_->startPeriodicClockSetting();
                return;
            default: return;
        }
    });
    serviceFollowsUnit_ = std::make_unique<FunctionSubscriber>([this](const UnitEvent& event) {
        if (service_) service_->viewUpdate(event.kind);
        if (isCurrentReport(event.kind)) recordCurrent();
    });
    logic_ = std::make_unique<MainWindowLogic>(MainWindowLogic::Deps{
        .state = state_, .tables = tables_, .clock = clock_, .view = *window_, .timers = timers_});
    session_->subscribe(SubscriberStage::view, *menusFollowLink_);
    session_->subscribe(SubscriberStage::view, *logic_);
    session_->subscribe(SubscriberStage::maintenance, *maintenanceFollowsUnit_);
    session_->subscribe(SubscriberStage::service, *serviceFollowsUnit_);

    link_ = std::make_unique<SerialLink>(SerialLink::Deps{
        .state = state_,
        .tables = tables_,
        .dispatcher = dispatcher_,
        .clock = clock_,
        .events = *session_,
        .dialogs = dialogs_,
        // The simulated unit, when it lives in the program, is reached
        // through devices of its own.
        .makeDevice = tracedFactory(
            [this] { return simulator_ ? simulator_->makeSerialDevice() : makeSerialDevice(); }, options_.trace),
        .options = [this] { return LinkOptions{settings_.RestoreStatus, settings_.SetRTC}; },
        .sleep = [](int milliseconds) {
            QThread::msleep(static_cast<unsigned long>(milliseconds > 0 ? milliseconds : 0));
        }});

    // The Set Timer and Upgrade Process dialogs live as long as the window.
    timerDialog_ = new SetTimerDialog(SetTimerLogic::Deps{.tables = tables_,
                                                          .clock = clock_,
                                                          .dialogs = dialogs_,
                                                          .bankCount = [this] { return state_.BankCount.load(); },
                                                          .ReturnToTransfer = [this] { session_->sendSchedule(); }},
                                      window_.get());
    window_->setTimerDialog(timerDialog_);
    timerDialogHost_ = std::make_unique<TimerDialogAdapter>(*timerDialog_);
    upgradeDialog_ = new UpgradeDialog(window_.get());
    upgradeDialog_->protectFromClicks({window_.get(), window_->component(panelId(1)), window_->component(panelId(2)),
                                       window_->component(panelId(3)), window_->scrollBar(),
                                       window_->menuBar()});
    const auto pause = [](int milliseconds) {
        QThread::msleep(static_cast<unsigned long>(milliseconds > 0 ? milliseconds : 0));
    };
    upgrade_ = std::make_unique<FirmwareUpgrade>(FirmwareUpgrade::Deps{
        .state = state_,
        .tables = tables_,
        .dialogs = dialogs_,
        .timers = timers_,
        .view = *upgradeDialog_,
        .writeBytes = [this](const std::uint8_t* bytes, std::size_t count) { link_->writeForUpgrade(bytes, count); },
        .writeGreeting = [this] { link_->writeGreeting(); },
        .purgeReceive = [this] { link_->purgeReceive(); },
        .disconnect = [this] { link_->Disconnect(); },
        .sendInfoRequest = [this] { link_->SendInfoRequest(); },
        .stopWindowTimers = [this] { session_->pausePolling(); },
        .startWindowTimers = [this] { session_->resumePolling(); },
        .pause = pause,
        .performUpgrade = [this] { menus_->perform("Upgrade1"); },
        .holdPort = [this](bool held) { link_->setUpgradeHold(held); },
        .stateChanged = [this](UpgradeState state) { upgradeStateChanged(state); }});
    clockSync_ = std::make_unique<ClockSync>(ClockSync::Deps{
        .state = state_,
        .tables = tables_,
        .clock = clock_,
        .dialogs = dialogs_,
        .timers = timers_,
        .write = [this](std::string_view text) { link_->write(text); },
        .setRtcOn = [this] { return settings_.SetRTC; },
        .portHeld = [this] { return link_->heldForUpgrade(); }});

    service_ = std::make_unique<UnitService>(OwnerLink{
        .state = state_,
        .tables = tables_,
        .clock = clock_,
        .timers = timers_,
        .session = *session_,
        .nowMs = [this] { return monotonicMs(); },
        .write = [this](std::string_view text) { return link_->write(text); },
        // The session's poll: every front end hears the answer at once.
        .poll = [this] { session_->poll(); },
        .refusal =
            [this] {
                if (!link_->isOpen() || !state_.GreetingSeen.load())
                    return OwnerRefusal{kAnswerNoUnit,
                                        std::string(kNotFoundMessage) + "\n(the window is not connected)"};
                if (link_->heldForUpgrade()) return OwnerRefusal{kAnswerBusy, "the unit's firmware is being upgraded"};
                return OwnerRefusal{};
            },
        .schedulesAllowed = [this] { return !timerDialog_->isVisible(); },
        .ownerKind = "window",
        .device = "",
        .upgrade = {},
        .outletName = [this](int bank, int port) { return outletName(bank, port); }});
    socket_ = makeOwnerSocket(dispatcher_, *service_);
    historyWindow_ = new CurrentHistoryWindow(history_, [this] { return monotonicMs(); }, dialogs_, window_.get());
    renameDialog_ = new RenameDialog([](std::string_view name) { return nameRefusal(name); }, dialogs_, window_.get());
    QObject::connect(renameDialog_, &RenameDialog::namesChosen, renameDialog_,
                     [this](int bank, const RenameDialog::Names& names) { saveNames(bank, names); });
    if (!options_.namesPath.empty()) names_ = std::make_unique<NamesOfUnit>(options_.namesPath);

    menuView_ = std::make_unique<MenuAdapter>(*window_);
    configurationSource_ = std::make_unique<ConfigurationAdapter>(*this);
    switching_ = std::make_unique<SwitchingLogic>(SwitchingLogic::Deps{
        .state = state_,
        .settings = settings_,
        .dialogs = dialogs_,
        .view = *window_,
        .menus = *menuView_,
        .scrollPosition = [this] { return logic_->scrollPosition(); },
        .write = [this](std::string_view text) { link_->write(text); },
        .timerDialog = timerDialogHost_.get(),
        .ReturnToTransfer = [this] { session_->sendSchedule(); }});
    MenuLogic::Deps menuDeps{
        .settings = settings_,
        .state = state_,
        .dialogs = dialogs_,
        .menus = *menuView_,
        .configuration = *configurationSource_,
        .switching = *switching_,
        .scrollPosition = [this] { return logic_->scrollPosition(); },
        .connect = [this] { Connect(); },
        .disconnect = [this] { link_->Disconnect(); },
        .writeSettings = [this] { WriteSettings(settings_, options_.settingsPath, dialogs_); },
        .write = [this](std::string_view text) { link_->write(text); },
        .closeMainWindow = [this] { window_->close(); },
        .showAbout = [this] { aboutBox_->showModal(); },
        .upgrade = [this] { upgrade_->startUpgrade(); },
        .setClockNow = [this] { clockSync_->setClockNow(); },
        .startClockSync = [this] { clockSync_->startPeriodicClockSetting(); },
        .stopClockSyncTimer = [this] { clockSync_->stopClockSyncTimer(); }};
    menus_ = std::make_unique<MenuLogic>(std::move(menuDeps));

    wireWindow();
}

Application::~Application() { shutdown(); }

void Application::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // A reader waiting for a view update is released first, so that joining
    // it cannot wait on this very thread.
    // No client's request reaches the UI thread any more.
    socket_->stop();
    dispatcher_.shutdown();
    link_->shutdown();
    session_->linkStopped();
    if (simulator_) simulator_->stop();
}

void Application::upgradeStateChanged(UpgradeState state) {
    const bool underWay = state == UpgradeState::awaitingPrompt || state == UpgradeState::transferring;
    menus_->setUpgradeLock(state == UpgradeState::transferring    ? UpgradeMenuLock::transferring
                           : state == UpgradeState::awaitingPrompt ? UpgradeMenuLock::awaitingPrompt
                                                                   : UpgradeMenuLock::none);
    window_->setInputLocked(underWay);
}

bool Application::upgradeUnderWay() const {
    const UpgradeState state = upgrade_->upgradeState();
    return state == UpgradeState::awaitingPrompt || state == UpgradeState::transferring;
}

void Application::wireWindow() {
    MainWindow::Handlers h;
    // Closing now would leave the unit with half an image.
    h.mayClose = [this] { return !upgradeUnderWay(); };
    h.portButtonPressed = [this](int key) { switching_->portButtonPressed(key, MouseButton::left); };
    h.portButtonReleased = [this](int key) { switching_->portButtonReleased(key, MouseButton::left); };
    h.menuButtonPressed = [this](int slot) {
        window_->setPicture(menuButtonId(slot), PictureList::menuButton, 1);  // pressed
    };
    h.menuButtonReleased = [this](int slot) {
        const QPoint at = window_->popupPoint(slot);
        window_->setPicture(menuButtonId(slot), PictureList::menuButton, 0);  // released
        window_->openPopup(slot, at);
    };
    h.popupOpening = [this](int slot) { switching_->portPopupOpening(slot); };
    h.popupItemChosen = [this](const std::string& item, int tag) {
        // The panel's own bank alone.
        if (item.rfind("mlHistory", 0) == 0) {
            showHistory(logic_->bankInSlot(tag));
            return;
        }
        if (item.rfind("mlRename", 0) == 0) {
            showRename(logic_->bankInSlot(tag));
            return;
        }
        menus_->popupItemChosen(item);
    };
    h.outletNameDoubleClicked = [this](int key) {
        if (!window_->inputLocked()) showRename(logic_->bankInSlot(key / 10), key % 10);
    };
    h.versionItemChosen = [this](int tag) { menus_->checkVersionChosen(tag, VersionItemSource::subMenu); };
    h.scrollBarMoved = [this](int position) { logic_->scrollBarMoved(position); };
    h.menuItemChosen = [this](const std::string& item) {
        if (item == "mlCurrentHistory") {
            if (menus_->isEnabled("mlTools1")) showHistory();
            return;
        }
        menus_->menuItemChosen(item);
    };
    window_->setHandlers(std::move(h));
}

void Application::buildPortList() {
    ports_ = ComPortList{};
    // The simulated unit first; the machine's own ports by their short
    // names; the devices the user named by the path given, so the Detect
    // report says which device it probed.
    if (simulator_) appendExtraPorts(ports_, {simulator_->device()}, PortNaming::path);
    std::vector<std::string> listed;
    for (const SerialPortInfo& port : listSerialPorts()) listed.push_back(port.device);
    appendExtraPorts(ports_, listed, PortNaming::lastPart);
    appendExtraPorts(ports_, options_.extraPorts, PortNaming::path);
    link_->setPortDevices(ports_.devices);
}

bool Application::start(std::string* error) {
    if (options_.simulate) {
        simulator_ = startSimulatedUnit(options_.simulatedBanks, clock_.now(), error);
        if (!simulator_) return false;
    }
    buildPortList();

    logic_->initialiseView();
    menus_->initialiseMenus();
    switching_->initialisePopupCaptions();
    ReadSettings(settings_, options_.settingsPath, ports_.count(), dialogs_, *menus_);
    // Made once the port list and the settings are known: its controls
    // start from the stored settings.
    configDialog_ = new ConfigurationDialog(ports_.names, settings_, window_.get());
    aboutBox_ = new AboutBox(window_.get());

    window_->show();

    if (simulator_) {
        // The simulated unit is known to be at position 1: no detection.
        openLink(1);
    } else if (settings_.Auto) {
        Connect();
    }
    return true;
}

void Application::Connect() {
    DetectScanDeps deps;
    deps.names = ports_.names;
    deps.comPort = settings_.ComPort;
    // The probe runs on the dialog's worker while the UI thread only keeps
    // the dialog drawn; the link is closed meanwhile (the menu offers Connect
    // only then), so nothing else uses the port list or the probe state.
    deps.probe = [this](int index, ProbeReport& report) { return link_->ProbePort(index, report); };
    link_->forgetProbeRefusals();
    const std::optional<int> found = detectDialog_->runDetection(deps, settings_.ComMeg);
    // Any listed position is accepted: refusing a find beyond the eighth
    // port after the dialog reported it would tell the user the unit is
    // missing while it answered.
    const int position = found.value_or(0);
    if (!isDetectedPosition(position, ports_.count())) {
        link_->LinkLost();
        // A port the user may not open is no missing unit: say how to fix it.
        if (const std::string denied = link_->probeAccessDenied(); !denied.empty()) {
            dialogs_.message("Permission denied on " + denied + ": " + kSerialPermissionAdvice + ".", "",
                             MessageIcon::information);
        }
        return;
    }
    openLink(position);
}

void Application::openLink(int position) {
    menus_->setConnected(true);
    link_->OpenLink(position);
    if (!link_->isOpen()) return;
    std::string why;
    const std::string device = ports_.devices[static_cast<std::size_t>(position)];
    service_->setDevice(device);
    namedPort_ = stablePortPath(device);
    logic_->setOutletNames([this](int bank, int port) { return outletName(bank, port); });
    if (!socket_->start(device, &why))
        std::fprintf(stderr, "velmora: other programs cannot share %s: %s\n", device.c_str(), why.c_str());
}

std::string Application::controlSocketPath() const { return socket_ ? socket_->path() : std::string(); }

std::int64_t Application::monotonicMs() const {
    if (options_.monotonicMs) return options_.monotonicMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
}

void Application::recordCurrent() {
    const int bank = state_.ReportedBank.load();
    // The program's clock, read as local time (a fixed one in tests).
    const LocalMoment m = clock_.now();
    const QDateTime wall(QDate(m.year, m.month, m.day), QTime(m.hour, m.minute, m.second));
    history_.record(bank, CurrentSample{monotonicMs(), wall.toSecsSinceEpoch(), wall.offsetFromUtc(),
                                        state_.bankSnapshot(bank).current});
    if (historyWindow_ && historyWindow_->isVisible()) historyWindow_->refresh();
}

std::string Application::outletName(int bank, int port) {
    const int banks = state_.BankCount.load();
    if (!names_ || namedPort_.empty() || banks <= 0) return {};
    return names_->of(UnitKey{namedPort_, banks}).name(bank, port);
}

void Application::showRename(int bank, int port) {
    if (!names_ || namedPort_.empty() || bank < 1 || bank > state_.BankCount.load()) return;
    RenameDialog::Names now;
    for (int p = 0; p <= 8; ++p) now[static_cast<std::size_t>(p)] = outletName(bank, p);
    renameDialog_->edit(bank, now, port);
}

void Application::saveNames(int bank, const std::array<std::string, 9>& names) {
    const int banks = state_.BankCount.load();
    if (!names_ || namedPort_.empty() || banks <= 0) return;
    const UnitKey key{namedPort_, banks};
    // The file as it is now: velmoractl or another window may have named
    // other units since.
    NamesFile file = NamesFile::read(names_->file());
    // A file that could not be read whole (too large, unreadable, not JSON)
    // is not written over: the names of every other unit in it would go.
    if (!file.mayReplace()) {
        dialogs_.message("The names were not saved:\r" + file.warning() + ".\rMend or move the file, then rename again.",
                         "", MessageIcon::stop);
        return;
    }
    OutletNames unit = file.unit(key);
    for (int p = 0; p <= 8; ++p) {
        if (const std::optional<std::string> why = unit.rename(bank, p, names[static_cast<std::size_t>(p)])) {
            dialogs_.message(*why, "", MessageIcon::exclamation);
            return;
        }
    }
    file.setUnit(key, unit);
    const FileSave saved = file.write(names_->file());
    if (saved.status != FileIoStatus::ok) {
        dialogs_.message("The names could not be written to\r" + names_->file().string() + "\r(" + saved.error +
                             "). The file on disk was not changed.",
                         "", MessageIcon::stop);
        return;
    }
    if (!file.warning().empty()) {
        // Entries that could not be read (bad UTF-8, too long...) were left
        // out; the user learns that they are gone now.
        dialogs_.message("The names were saved.\r" + file.warning() + "; the entries left out were not written back.",
                         "", MessageIcon::exclamation);
    }
    logic_->showScrolledBanks();
}

void Application::showHistory(int bank) { historyWindow_->showBanks(state_.BankCount.load(), bank); }

}  // namespace velmora
