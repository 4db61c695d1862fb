#include "settings/settings_location.h"

#include "settings/settings_file.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

fs::path settingsFilePath(const fs::path& exeDir, const fs::path& userConfigDir,
                          const FolderWritableProbe& isWritable) {
    const fs::path beside = exeDir / kSettingsFileName;
    if (userConfigDir.empty()) return beside;
    if (isWritable && isWritable(exeDir)) return beside;
    return userConfigDir / kSettingsFileName;
}

fs::path userConfigDir(const EnvironmentLookup& env, FolderConvention convention) {
    auto usable = [&](const char* name) -> std::optional<fs::path> {
        if (!env) return std::nullopt;
        const auto value = env(name);
        if (!value || value->empty()) return std::nullopt;
        fs::path p(*value);
        // A relative base would make the file's place depend on the current
        // folder; such values are ignored.
        if (!p.is_absolute()) return std::nullopt;
        return p;
    };
    if (convention == FolderConvention::windows) {
        if (auto appData = usable("APPDATA")) return *appData / "velmora";
    }
    if (auto xdg = usable("XDG_CONFIG_HOME")) return *xdg / "velmora";
    if (auto home = usable("HOME")) return *home / ".config" / "velmora";
    if (auto appData = usable("APPDATA")) return *appData / "velmora";
    return {};
}

fs::path userConfigDirFromEnvironment() {
    return userConfigDir([](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        if (!v) return std::nullopt;
        return std::string(v);
    });
}

bool isFolderWritable(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return false;
    static std::atomic<unsigned> counter{0};
    unsigned salt = 0;
    try {
        salt = std::random_device{}();
    } catch (...) {
        // No entropy source: the counter alone keeps our own probes apart.
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        const fs::path probe = folder / (".velmora-write-test-" + std::to_string(salt) + "-" +
                                         std::to_string(counter.fetch_add(1)));
        if (fs::exists(fs::symlink_status(probe, ec))) continue;
        bool ok = false;
        {
            std::ofstream out(probe, std::ios::binary);
            ok = static_cast<bool>(out);
        }
        fs::remove(probe, ec);
        return ok;
    }
    return false;
}

namespace {

// A Windows path compared as the system does: either separator, ASCII
// letters without case, no trailing separator.
std::string comparableWindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

bool isUnderProgramFiles(const std::string& folder, const EnvironmentLookup& env) {
    if (!env) return false;
    const std::string f = comparableWindowsPath(folder);
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const auto value = env(name);
        if (!value || value->empty()) continue;
        const std::string base = comparableWindowsPath(*value);
        if (f == base || (f.size() > base.size() && f.compare(0, base.size(), base) == 0 && f[base.size()] == '/'))
            return true;
    }
    return false;
}

bool isInstalledProgramFolder(const std::filesystem::path& folder) {
#ifdef _WIN32
    // In UTF-8 from the wide forms, so that no name is lost to the ANSI
    // code page.
    const auto utf8 = [](const std::filesystem::path& p) {
        const auto s = p.u8string();
        return std::string(s.begin(), s.end());
    };
    return isUnderProgramFiles(utf8(folder), [&](const char* name) -> std::optional<std::string> {
        const std::wstring wide(name, name + std::strlen(name));
        const wchar_t* value = _wgetenv(wide.c_str());
        if (!value) return std::nullopt;
        return utf8(std::filesystem::path(value));
    });
#else
    std::filesystem::path f = folder.lexically_normal();
    // "/usr/bin/" is /usr/bin.
    if (f.filename().empty() && f.has_parent_path()) f = f.parent_path();
    for (const char* system : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        if (f == std::filesystem::path(system)) return true;
    }
    if (f.filename() != "bin") return false;
    std::error_code ec;
    return std::filesystem::exists(f.parent_path() / "share" / "applications" / "velmora-manager.desktop", ec);
#endif
}

std::filesystem::path programSettingsPath(const std::filesystem::path& exeDir,
                                          const std::filesystem::path& userConfigDir) {
    return settingsFilePath(exeDir, userConfigDir, [](const std::filesystem::path& folder) {
        return !isInstalledProgramFolder(folder) && isFolderWritable(folder);
    });
}

}  // namespace velmora
