#include "settings/settings_file.h"

#include "settings/ini_file.h"

#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

bool ensureSettingsFile(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(fs::status(path, ec))) return true;
    // A folder in the way makes the creation below fail, which is the right
    // answer; a dangling link gets the file it points to.
    const fs::path folder = path.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) return false;
    }
    return saveFileAtomically(path, kDefaultSettingsText).status == FileIoStatus::ok;
}

std::int32_t clampComPort(std::int32_t comPort, int comPortCount) {
    // Compared as unsigned numbers on purpose: a negative position wraps to
    // a huge one and falls back to "AUTO" with the out-of-range ones.
    return static_cast<std::uint32_t>(comPort) > static_cast<std::uint32_t>(comPortCount)
               ? 0
               : comPort;
}

namespace {

SettingsFileResult cannotCreate(Settings& settings, Dialogs& dialogs) {
    settings.Auto = false;
    settings.ComPort = 0;
    dialogs.message(std::string(kCannotFindConfigText), "", MessageIcon::none, MessageButtons::ok);
    return SettingsFileResult::cannotCreate;
}

}  // namespace

SettingsFileResult ReadSettings(Settings& settings, const fs::path& path, int ComPortCount,
                                Dialogs& dialogs, SetRTCControls& controls) {
    if (!ensureSettingsFile(path)) return cannotCreate(settings, dialogs);

    // An unreadable file reads like an empty one: every key takes its default.
    const FileLoad load = loadFileBytes(path, kMaxProfileFileBytes);
    const ProfileFile ini =
        load.status == FileIoStatus::ok ? ProfileFile::parse(load.bytes) : ProfileFile{};

    settings.Auto = ini.readBool(kSettingsSection, "Auto", true);
    settings.ComPort = ini.readInteger(kSettingsSection, "ComPort", 0);
    settings.Prompt = ini.readBool(kSettingsSection, "Prompt", true);
    settings.ComMeg = ini.readBool(kSettingsSection, "ComMeg", true);
    settings.SetRTC = ini.readBool(kSettingsSection, "SetRTC", true);
    settings.RestoreStatus = ini.readBool(kSettingsSection, "RestoreStatus", true);

    settings.ComPort = clampComPort(settings.ComPort, ComPortCount);

    // Automatic sync makes the manual hourly start pointless.
    if (settings.SetRTC) {
        controls.setStartSetRTCPeriodEnabled(false);
    } else {
        controls.stopSetRTCTimer();
        controls.setStartSetRTCPeriodEnabled(true);
    }
    return load.status == FileIoStatus::ok ? SettingsFileResult::done
                                           : SettingsFileResult::unreadable;
}

std::string settingsWriteErrorText(const fs::path& path) {
    std::string shown;
    try {
        shown = path.string();
    } catch (...) {
        // A name the narrow code page cannot hold (Windows): still say which file.
        shown = std::string(kSettingsFileName);
    }
    return "Unable to write to " + shown;
}

SettingsFileResult WriteSettings(Settings& settings, const fs::path& path, Dialogs& dialogs) {
    if (!ensureSettingsFile(path)) return cannotCreate(settings, dialogs);

    // Rewriting a file we could not read would throw away whatever it held.
    const FileLoad load = loadFileBytes(path, kMaxProfileFileBytes);
    if (load.status != FileIoStatus::ok) {
        dialogs.message(settingsWriteErrorText(path), "", MessageIcon::stop, MessageButtons::ok);
        return SettingsFileResult::unreadable;
    }

    ProfileFile ini = ProfileFile::parse(load.bytes);
    // Lower-case "auto" on purpose: keys match without regard to case, so it
    // updates an existing "Auto" line instead of adding a second one.
    ini.writeBool(kSettingsSection, "auto", settings.Auto);
    ini.writeInteger(kSettingsSection, "ComPort", settings.ComPort);
    ini.writeBool(kSettingsSection, "Prompt", settings.Prompt);
    ini.writeBool(kSettingsSection, "ComMeg", settings.ComMeg);
    ini.writeBool(kSettingsSection, "SetRTC", settings.SetRTC);
    ini.writeBool(kSettingsSection, "RestoreStatus", settings.RestoreStatus);

    if (saveFileAtomically(path, ini.serialize()).status != FileIoStatus::ok) {
        dialogs.message(settingsWriteErrorText(path), "", MessageIcon::stop, MessageButtons::ok);
        return SettingsFileResult::writeFailed;
    }
    return SettingsFileResult::done;
}

}  // namespace velmora
