#include "cli/restore_setting.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/file_io.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"

namespace velmora::cli {

bool restoreStatusFrom(const std::filesystem::path& path, bool fallback) {
    // define.ini is a few lines; anything large is not one.
    const FileLoad f = loadFileBytes(path, 1u << 16);
    if (f.status != FileIoStatus::ok) return fallback;
    return ProfileFile::parse(f.bytes).readBool(kSettingsSection, "RestoreStatus", fallback);
}

std::filesystem::path windowSettingsPath() {
    std::error_code ec;
#ifdef _WIN32
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) ec = std::make_error_code(std::errc::filename_too_long);
    const std::filesystem::path exe = ec ? std::filesystem::path() : std::filesystem::path(name);
#else
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
    const std::filesystem::path exeDir = ec ? std::filesystem::current_path(ec) : exe.parent_path();
    // Looked up without the window's writability probe, which would create
    // a file beside the program on every run.
    const std::filesystem::path beside = exeDir / kSettingsFileName;
    if (std::filesystem::is_regular_file(beside, ec)) return beside;
    const std::filesystem::path user = userConfigDirFromEnvironment();
    return user.empty() ? beside : user / kSettingsFileName;
}

}  // namespace velmora::cli
