#include "app/application.h"

#include <QThread>

#include <cstdio>
#include <optional>
#include <string>

#include "app/simulated_unit.h"
#include "app/tform3.h"
#include "link/serial_link.h"
#include "mainwindow/tform1.h"
#include "mainwindow/window_logic.h"
#include "platform/serial_device.h"

namespace velmora {

namespace {

// The two main-window items the settings' clock-sync rule touches.
class WindowSetRTCControls final : public SetRTCControls {
public:
    explicit WindowSetRTCControls(TForm1& window) : window_(window) {}
    void setStartSetRTCPeriodEnabled(bool enabled) override {
        if (QAction* item = window_.menuItem("mlStartSetRTC_Period")) item->setEnabled(enabled);
    }
    // The hourly clock-setting timer belongs to the clock synchronisation,
    // which is not part of this program yet: nothing runs to be stopped.
    void stopSetRTCTimer() override {}

private:
    TForm1& window_;
};

// Highest list position the connect sequence accepts.
constexpr int kMaxConnectPosition = 8;

}  // namespace

Application::Application(ApplicationOptions options) : options_(std::move(options)) {
    window_ = std::make_unique<TForm1>();
    dialogs_.setParent(window_.get());
    detectDialog_ = new TForm3(dispatcher_, window_.get());

    MainWindowHooks hooks;
    hooks.setRtcOn = [this] { return settings_.SetRTC; };
    hooks.resetLinkMenus = [this] { window_->setConnectedMenus(false); };
    logic_ = std::make_unique<MainWindowLogic>(MainWindowLogic::Deps{
        state_, tables_, clock_, *window_, timers_,
        [this](std::string_view text) { link_->write(text); },
        [this] { link_->WatchdogExpired(); },
        [this] { link_->SendInfoRequest(); },
        std::move(hooks)});

    link_ = std::make_unique<SerialLink>(SerialLink::Deps{
        state_, tables_, dispatcher_, clock_, *logic_, dialogs_,
        [] { return makeSerialDevice(); },
        [this] { return LinkOptions{settings_.RestoreStatus, settings_.SetRTC}; },
        [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds > 0 ? milliseconds : 0)); }});

    wireWindow();
}

Application::~Application() { shutdown(); }

void Application::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // A reader waiting for a view update is released first, so that joining
    // it cannot wait on this very thread.
    dispatcher_.shutdown();
    link_->shutdown();
    logic_->stopLinkTimers();
    if (simulator_) simulator_->stop();
}

void Application::wireWindow() {
    TForm1::Handlers h;
    h.portButtonPressed = [this](int key) {
        window_->setPicture(buttonName(key), PictureList::imlButton, 0);  // pressed
    };
    h.portButtonReleased = [this](int key) {
        window_->setPicture(buttonName(key), PictureList::imlButton, 1);  // released
    };
    h.menuButtonPressed = [this](int slot) {
        window_->setPicture(menuButtonName(slot), PictureList::imLogo, 1);  // pressed
    };
    h.menuButtonReleased = [this](int slot) {
        const QPoint at = window_->popupPoint(slot);
        window_->setPicture(menuButtonName(slot), PictureList::imLogo, 0);  // released
        window_->openPopup(slot, at);
    };
    h.popupOpening = [this](int slot) {
        // popForm1Popup: the captions name the bank the panel shows.
        const int bank = logic_->scrollPosition() - 1 + slot;
        char text[64];
        std::snprintf(text, sizeof text, "Power on All Ports of Bank %d", bank);
        window_->setMenuItemCaption("OpenOneBank" + std::to_string(slot), text);
        std::snprintf(text, sizeof text, "Power off All Ports of Bank %d", bank);
        window_->setMenuItemCaption("CloseOneBank" + std::to_string(slot), text);
        std::snprintf(text, sizeof text, "Check Bank%2d Version", bank);
        window_->setMenuItemCaption("mlCheckVersion" + std::to_string(slot), text);
    };
    h.scrollBarMoved = [this](int position) { logic_->scrollBarMoved(position); };
    h.menuItemChosen = [this](const std::string& item) { menuItemChosen(item); };
    window_->setHandlers(std::move(h));
}

void Application::menuItemChosen(const std::string& item) {
    if (item == "mlConnect") {
        Connect();
        WriteSettings(settings_, options_.settingsPath, dialogs_);
    } else if (item == "mlDisconnect") {
        link_->Disconnect();
    }
}

void Application::buildPortList() {
    ports_ = ComPortList{};
    std::vector<std::string> devices;
    if (simulator_) devices.push_back(simulator_->device());
    for (const SerialPortInfo& port : listSerialPorts()) devices.push_back(port.device);
    for (const std::string& device : options_.extraPorts) devices.push_back(device);
    appendExtraPorts(ports_, devices);
    link_->setPortDevices(ports_.devices);
}

bool Application::start(std::string* error) {
    if (options_.simulate) {
        simulator_ = startSimulatedUnit(options_.simulatedBanks, clock_.now(), error);
        if (!simulator_) return false;
    }
    buildPortList();

    logic_->initialiseView();
    WindowSetRTCControls controls(*window_);
    ReadSettings(settings_, options_.settingsPath, ports_.count(), dialogs_, controls);

    window_->show();

    if (simulator_) {
        // The simulated unit is known to be at position 1: no detection.
        window_->setConnectedMenus(true);
        link_->OpenLink(1);
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
    const std::optional<int> found = detectDialog_->runDetection(deps, settings_.ComMeg);
    const int position = found.value_or(0);
    if (position < 1 || position > kMaxConnectPosition) {
        link_->LinkLost();
        return;
    }
    window_->setConnectedMenus(true);
    link_->OpenLink(position);
}

}  // namespace velmora
