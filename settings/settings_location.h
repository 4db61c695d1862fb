#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace velmora {

// Answers whether new files can be created in a folder.
using FolderWritableProbe = std::function<bool(const std::filesystem::path& folder)>;

// Where define.ini lives: beside the executable when `exeDir` is writable
// (the classic place), otherwise in `userConfigDir`, which the caller creates
// when it is missing (ensureSettingsFile does). When `userConfigDir` is empty
// (no home folder known) the file stays beside the executable and creating
// it fails as it would have anyway. Depends only on its inputs and the probe.
std::filesystem::path settingsFilePath(const std::filesystem::path& exeDir,
                                       const std::filesystem::path& userConfigDir,
                                       const FolderWritableProbe& isWritable);

// Environment lookup: the variable's value, or nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// Which system's habits say where a user's files go.
enum class FolderConvention { posix, windows };
#ifdef _WIN32
inline constexpr FolderConvention kThisSystem = FolderConvention::windows;
#else
inline constexpr FolderConvention kThisSystem = FolderConvention::posix;
#endif

// The per-user configuration folder of this program. POSIX:
// $XDG_CONFIG_HOME/velmora when that is an absolute path, else
// $HOME/.config/velmora, else $APPDATA/velmora. Windows: %APPDATA%\velmora
// first (a HOME set by other tools is no place for settings there), then
// the same as POSIX. Empty when none of them is usable.
std::filesystem::path userConfigDir(const EnvironmentLookup& env, FolderConvention convention = kThisSystem);

// Whether `folder` (a Windows path, either separator) lies in one of the
// system's program folders (%ProgramFiles%, %ProgramFiles(x86)%,
// %ProgramW6432%): letters compared without case, whole folder names only.
bool isUnderProgramFiles(const std::string& folder, const EnvironmentLookup& env);

// userConfigDir() over the process environment.
std::filesystem::path userConfigDirFromEnvironment();

// True when a file can be created in `folder` right now: tries it with a
// temporary file, which it removes again. False when the folder is missing.
bool isFolderWritable(const std::filesystem::path& folder);

// True for the folder of an installed program: on Windows a folder under
// Program Files; elsewhere one of the system's program folders (/usr/bin,
// /usr/local/bin, /bin), or a bin folder whose prefix
// holds our desktop entry (share/applications/velmora-manager.desktop, as
// the install rules put it). Such a folder is nobody's to keep settings in,
// even when root could write there.
bool isInstalledProgramFolder(const std::filesystem::path& folder);

// Where an installed or a built program keeps define.ini: settingsFilePath
// with a program folder that counts as writable only when it is not an
// installed program's (isInstalledProgramFolder) and isFolderWritable.
std::filesystem::path programSettingsPath(const std::filesystem::path& exeDir,
                                          const std::filesystem::path& userConfigDir);

}  // namespace velmora
