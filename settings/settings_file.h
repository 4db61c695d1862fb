#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace velmora {

// The six settings kept between runs in define.ini. Before the file is read
// every field is 0 / false.
struct Settings {
    std::int32_t ComPort = 0;  // position in the COM port list: 0 "AUTO", k the k-th port
    bool Auto = false;         // connect at start-up
    bool Prompt = false;       // confirm before switching from buttons and bank menus
    bool ComMeg = false;       // show the Detect dialog's report list
    bool SetRTC = false;       // keep the unit's clock synchronised
    bool RestoreStatus = false;  // unit restores its last port states ("/EN001\" vs "/DS001\")

    friend bool operator==(const Settings&, const Settings&) = default;
};

inline constexpr std::string_view kSettingsFileName = "define.ini";
inline constexpr std::string_view kSettingsSection = "Form";

// What a newly created define.ini holds, byte for byte: 77 bytes, LF line
// ends, no line end after the last line.
inline constexpr std::string_view kDefaultSettingsText =
    "[Form]\n"
    "ComPort=0\n"
    "ChkExist=1\n"
    "Auto=0\n"
    "Prompt=1\n"
    "ComMeg=1\n"
    "SetRTC=1\n"
    "RestoreStatus=1";

inline constexpr std::string_view kCannotFindConfigText = "Can not find configuration file !";

// The two main-window items the clock-sync start-up rule touches. The main
// window implements it; tests record the calls.
class SetRTCControls {
public:
    virtual ~SetRTCControls() = default;
    // Enables or disables the menu item "Sync System Time per hour"
    // (mlStartSetRTC_Period).
    virtual void setStartSetRTCPeriodEnabled(bool enabled) = 0;
    // Stops the hourly clock-setting timer clockSettingTimer.
    virtual void stopSetRTCTimer() = 0;
};

// How a ReadSettings / WriteSettings call went. Callers may ignore it: every
// outcome that needs the user's attention has already been shown.
enum class SettingsFileResult {
    done,            // file was there (or was created) and was read / written
    cannotCreate,    // file missing and could not be created: message shown,
                     // Auto and ComPort cleared, nothing else changed
    unreadable,      // file there but not readable (or absurdly large):
                     // ReadSettings used the defaults; WriteSettings wrote
                     // nothing, showed an error and left the file as it was
    writeFailed,     // WriteSettings could not replace the file: error shown,
                     // the old file is intact
};

// Makes sure a settings file exists at `path`: when there is no regular file
// there, creates the missing parent folders and writes kDefaultSettingsText
// (all at once, through a temporary file). Returns false when that failed.
bool ensureSettingsFile(const std::filesystem::path& path);

// Fills `settings` from the file at `path` (creating it with defaults when
// missing). Missing keys and values that are not decimal integers take their
// defaults: Auto, Prompt, ComMeg, SetRTC, RestoreStatus true, ComPort 0. A
// ComPort outside 0..ComPortCount (negative included) becomes 0. Then the
// clock-sync start-up rule: SetRTC on disables "Sync System Time per hour";
// off stops clockSettingTimer and enables it. When the file can neither be found nor
// created, "Can not find configuration file !" goes to `dialogs` as a plain
// box (empty caption, OK, no icon), Auto and ComPort are cleared and nothing
// else happens (the SetRTC rule included).
SettingsFileResult ReadSettings(Settings& settings, const std::filesystem::path& path,
                                int ComPortCount, Dialogs& dialogs, SetRTCControls& controls);

// Writes Auto (under the key "auto", which matches an existing "Auto" line),
// ComPort, Prompt, ComMeg, SetRTC and RestoreStatus to the file at `path`
// (creating it with defaults first when missing). Other lines, ChkExist
// included, are kept as they are. When the file cannot be created, Auto and
// ComPort in `settings` are cleared and the same plain box is shown. When the
// file cannot be read or replaced, settingsWriteErrorText() is shown with the
// stop icon and the file keeps its old contents.
SettingsFileResult WriteSettings(Settings& settings, const std::filesystem::path& path,
                                 Dialogs& dialogs);

// The error text shown when the file at `path` cannot be replaced.
std::string settingsWriteErrorText(const std::filesystem::path& path);

// 0 when `comPort`, taken as unsigned, exceeds `comPortCount`; else comPort.
std::int32_t clampComPort(std::int32_t comPort, int comPortCount);

}  // namespace velmora
