#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

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

// What reading and writing the settings does to the windows. The main window
// implements it; tests record the calls.
class SettingsUi {
public:
    virtual ~SettingsUi() = default;
    // A message box with `text`, an empty caption, an OK button and no icon.
    virtual void showPlainMessage(const std::string& text) = 0;
    // A message box with `text` and the stop icon (an error), OK button.
    virtual void showErrorMessage(const std::string& text) = 0;
    // Enables or disables the menu item "Sync System Time per hour"
    // (mlStartSetRTC_Period).
    virtual void setStartSetRTCPeriodEnabled(bool enabled) = 0;
    // Stops the hourly clock-setting timer tmSetRTC.
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
// off stops tmSetRTC and enables it.
SettingsFileResult ReadSettings(Settings& settings, const std::filesystem::path& path,
                                int ComPortCount, SettingsUi& ui);

// Writes Auto (under the key "auto", which matches an existing "Auto" line),
// ComPort, Prompt, ComMeg, SetRTC and RestoreStatus to the file at `path`
// (creating it with defaults first when missing). Other lines, ChkExist
// included, are kept as they are. When the file cannot be created, Auto and
// ComPort in `settings` are cleared, as at start-up.
SettingsFileResult WriteSettings(Settings& settings, const std::filesystem::path& path,
                                 SettingsUi& ui);

// 0 when `comPort`, taken as unsigned, exceeds `comPortCount`; else comPort.
std::int32_t clampComPort(std::int32_t comPort, int comPortCount);

}  // namespace velmora
