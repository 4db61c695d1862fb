#include "platform/file_io.h"

#include <atomic>
#include <charconv>
#include <fstream>
#include <random>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Disk access

FileLoad loadFileBytes(const fs::path& path, std::uintmax_t maxBytes) {
    FileLoad result;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) {
        result.status = FileIoStatus::missing;
        return result;
    }
    if (ec) {
        result.error = ec.message();
        return result;
    }
    if (st.type() != fs::file_type::regular) {
        result.error = "not a regular file";
        return result;
    }

    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "cannot open for reading";
        return result;
    }
    // Read at most one byte beyond the limit: the size seen by status() may
    // already be stale, and a file that grows meanwhile must not be slurped.
    std::string bytes;
    char buffer[8192];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > maxBytes) {
            result.status = FileIoStatus::tooLarge;
            return result;
        }
    }
    if (in.bad()) {
        result.error = "read error";
        return result;
    }
    result.status = FileIoStatus::ok;
    result.bytes = std::move(bytes);
    return result;
}

namespace {

std::string randomSuffix() {
    static std::atomic<unsigned> counter{0};
    std::uint64_t seed = counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    try {
        std::random_device rd;
        seed ^= (std::uint64_t{rd()} << 32) ^ rd();
    } catch (...) {
        // No entropy source: the counter and the address below still keep
        // names apart within this process.
    }
    seed ^= reinterpret_cast<std::uintptr_t>(&counter);
    char text[17];
    auto [end, ec] = std::to_chars(text, text + 16, seed, 16);
    (void)ec;
    return std::string(text, end);
}

// Follows a chain of symbolic links so that the rename replaces the file
// the link points to, not the link itself.
fs::path resolveLinks(const fs::path& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        fs::path target = fs::read_symlink(p, ec);
        if (ec) return p;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p;
}

}  // namespace

FileSave saveFileAtomically(const fs::path& path, std::string_view bytes) {
    FileSave result;
    const fs::path target = resolveLinks(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();

    std::error_code ec;
    const fs::file_status old = fs::status(target, ec);
    const bool replacing = !ec && old.type() == fs::file_type::regular;
    // A file marked read-only stays as it is: renaming over it would work on
    // POSIX, but the user asked for it not to change.
    constexpr fs::perms anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (replacing && (old.permissions() & anyWrite) == fs::perms::none) {
        result.error = "the file is read-only";
        return result;
    }

    fs::path temp;
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Built as a path, not via string(), so names that do not fit the
        // narrow code page (Windows) cannot throw here.
        fs::path name = ".";
        name += target.filename();
        name += ".";
        name += randomSuffix();
        name += ".tmp";
        fs::path candidate = folder / name;
        if (!fs::exists(fs::symlink_status(candidate, ec))) {
            temp = std::move(candidate);
            break;
        }
    }
    if (temp.empty()) {
        result.error = "no free name for a temporary file";
        return result;
    }

    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            result.error = "cannot create the temporary file";
            fs::remove(temp, ec);
            return result;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        const bool written = static_cast<bool>(out);
        out.close();
        if (!written || out.fail()) {
            result.error = "write error";
            fs::remove(temp, ec);
            return result;
        }
    }

    if (replacing) {
        fs::permissions(temp, old.permissions(), fs::perm_options::replace, ec);
        ec.clear();
    }

    fs::rename(temp, target, ec);
    if (ec) {
        result.error = ec.message();
        std::error_code ignored;
        fs::remove(temp, ignored);
        return result;
    }
    result.status = FileIoStatus::ok;
    return result;
}

}  // namespace velmora
