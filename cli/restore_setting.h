#pragma once

// The window's "RestoreStatus" setting, read (never written) so that the
// information request velmoractl sends at connect ("/EN001\" or "/DS001\")
// is the one the window would send and does not flip the unit's setting.

#include <filesystem>

namespace velmora::cli {

// RestoreStatus from the define.ini at `path`; `fallback` when the file is
// missing, unreadable or has no such key (a new define.ini says 1).
bool restoreStatusFrom(const std::filesystem::path& path, bool fallback = true);

// The define.ini the window reads when it is installed beside this
// program: the one beside the executable when there is one, else the one
// in the user's configuration folder.
std::filesystem::path windowSettingsPath();

}  // namespace velmora::cli
