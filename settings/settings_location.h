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

// The per-user configuration folder of this program: $XDG_CONFIG_HOME/velmora
// when that is an absolute path, else $HOME/.config/velmora, else
// $APPDATA/velmora (Windows). Empty when none of them is usable.
std::filesystem::path userConfigDir(const EnvironmentLookup& env);

// userConfigDir() over the process environment.
std::filesystem::path userConfigDirFromEnvironment();

// True when a file can be created in `folder` right now: tries it with a
// temporary file, which it removes again. False when the folder is missing.
bool isFolderWritable(const std::filesystem::path& folder);

}  // namespace velmora
