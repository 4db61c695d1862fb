#include "settings/configuration_logic.h"

#include "link/protocol.h"

namespace velmora {

ConfigurationChoice choiceFromSettings(const Settings& settings, int ComPortCount) {
    ConfigurationChoice choice;
    const bool listed = settings.ComPort >= 0 && ComPortCount >= 0 && settings.ComPort <= ComPortCount;
    choice.ComPort = listed ? settings.ComPort : 0;
    choice.Auto = settings.Auto;
    choice.Prompt = settings.Prompt;
    choice.SetRTC = settings.SetRTC;
    choice.RestoreStatus = settings.RestoreStatus;
    return choice;
}

void storeChoice(Settings& settings, const ConfigurationChoice& choice) {
    settings.ComPort = choice.ComPort;
    settings.Auto = choice.Auto;
    settings.Prompt = choice.Prompt;
    settings.SetRTC = choice.SetRTC;
    settings.RestoreStatus = choice.RestoreStatus;
}

void storeConnectChoice(Settings& settings, const ConfigurationChoice& choice) {
    settings.ComPort = choice.ComPort;
    settings.Auto = choice.Auto;
}

void applySetRTCChoice(bool SetRTC, SetRTCMenu& menu) {
    if (SetRTC) {
        // A menu action performed from code runs only while its item is
        // enabled: with SetRTC already on the countdown is not restarted.
        if (menu.startSetRTCPeriodEnabled()) menu.startSetRTCPeriod();
        menu.setStartSetRTCPeriodEnabled(false);
    } else {
        menu.stopSetRTCTimer();
        menu.setStartSetRTCPeriodEnabled(true);
    }
}

SettingsFileResult configurationAccepted(Settings& settings, const std::filesystem::path& path,
                                         Dialogs& dialogs,
                                         const std::function<void(const std::string&)>& writeToPort) {
    const SettingsFileResult result = WriteSettings(settings, path, dialogs);
    if (writeToPort) writeToPort(cmdRestoreStatus(settings.RestoreStatus));
    return result;
}

}  // namespace velmora
