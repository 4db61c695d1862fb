#pragma once

// What the Configuration dialog does with the settings, without widgets:
// which values its five bound controls show, what OK and Connect take from
// them, the clock-sync menu rule after OK and the work after an OK.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/dialogs.h"
#include "settings/settings_file.h"

namespace velmora {

// The values of the dialog's five bound controls: the selected position of
// comboPortSel and the check states of chkAuto, cbOnPrompt, ckbSetRTC and
// cbRestoreStatus. ComMeg has no control.
struct ConfigurationChoice {
    std::int32_t ComPort = 0;  // list position: 0 "AUTO", k the k-th port
    bool Auto = false;
    bool Prompt = false;
    bool SetRTC = false;
    bool RestoreStatus = false;

    friend bool operator==(const ConfigurationChoice&, const ConfigurationChoice&) = default;
};

// The controls as loaded from `settings` with a list of ComPortCount ports
// after "AUTO". A ComPort outside 0..ComPortCount (negative included), which
// the list cannot show, selects 0 ("AUTO").
ConfigurationChoice choiceFromSettings(const Settings& settings, int ComPortCount);

// OK: all five values go into `settings`; ComMeg is left alone.
void storeChoice(Settings& settings, const ConfigurationChoice& choice);

// Connect: only ComPort and Auto are taken from the controls.
void storeConnectChoice(Settings& settings, const ConfigurationChoice& choice);

// The main window's clock-sync menu as the dialog's OK needs it. The main
// window implements it; tests record the calls.
class SetRTCMenu : public SetRTCControls {
public:
    // Whether "Sync System Time per hour" (mlStartSetRTC_Period) is enabled.
    virtual bool startSetRTCPeriodEnabled() const = 0;
    // The item's action (startPeriodicClockSetting): the one-second
    // clock-set countdown. Called only while the item is enabled.
    virtual void startSetRTCPeriod() = 0;
};

// The menu rule after OK. SetRTC on: the item's action runs when the item is
// still enabled (SetRTC was off before), then the item is disabled. SetRTC
// off: clockSettingTimer is stopped and the item enabled.
void applySetRTCChoice(bool SetRTC, SetRTCMenu& menu);

// What the main window does once the dialog closed with OK: WriteSettings to
// `path` (its messages go to `dialogs`), then the restore choice to the unit,
// "/EN001\" when RestoreStatus is on, "/DS001\" when off, as one write.
// The command is sent even when the file could not be written. With no link
// open `writeToPort` is expected to do nothing. Returns WriteSettings' result.
SettingsFileResult configurationAccepted(Settings& settings, const std::filesystem::path& path,
                                         Dialogs& dialogs,
                                         const std::function<void(const std::string&)>& writeToPort);

}  // namespace velmora
