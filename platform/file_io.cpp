#include "platform/file_io.h"

#include <atomic>
#include <charconv>
#include <fstream>
#include <random>
#include <system_error>

#ifdef _WIN32
#include "platform/win32_api.h"
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

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

// ".define.ini.1f3a....tmp": the temporary file's name beside `target`.
// Built as a path, not via string(), so names that do not fit the narrow
// code page (Windows) cannot throw here.
fs::path temporaryName(const fs::path& target) {
    fs::path name = ".";
    name += target.filename();
    name += ".";
    name += randomSuffix();
    name += ".tmp";
    return name;
}

}  // namespace

#ifdef _WIN32

namespace {

// Follows a chain of symbolic links so that the rename replaces the file
// the link points to, not the link itself. (Making a symbolic link needs a
// privilege on Windows: no other user plants one in a folder of ours.)
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
        fs::path candidate = folder / temporaryName(target);
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

#else  // POSIX

namespace {

// An open file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now, reporting the close's own error (a delayed write error).
    int close() {
        const int r = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

// The folder that holds `p`, opened as a folder: the place every later step
// works in (fstatat, readlinkat, openat, renameat), so that a folder renamed
// meanwhile cannot send the new file elsewhere.
int openFolderOf(const fs::path& p) {
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A symbolic link is followed only when it cannot have been planted by
// another user: the link and the folder holding it belong to this user or
// to root. Why not, or "" when it may be followed.
std::string untrustedLink(const fs::path& link, const struct stat& linkStat, const struct stat& folderStat) {
    const uid_t me = ::geteuid();
    auto trusted = [me](uid_t owner) { return owner == me || owner == 0; };
    if (!trusted(folderStat.st_uid)) {
        return link.string() + " is a symbolic link in a folder of another user's (who may write to it); "
                               "not following it";
    }
    if (!trusted(linkStat.st_uid)) {
        if ((folderStat.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            return link.string() + " is a symbolic link in a folder other users may write to, made by another "
                                   "user (uid " + std::to_string(linkStat.st_uid) + "); not following it";
        }
        return link.string() + " is a symbolic link of another user's (uid " + std::to_string(linkStat.st_uid) +
               "); not following it";
    }
    return {};
}

// Writes all of `bytes` to `fd`.
bool writeAll(int fd, std::string_view bytes, int& error) {
    const char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FileSave saveFileAtomically(const fs::path& path, std::string_view bytes) {
    FileSave result;
    if (path.empty() || !path.has_filename()) {
        result.error = "no file name";
        return result;
    }

    // The file to replace: the path itself, or where its symbolic links lead
    // when they are the user's own (a link as the final name is followed, so
    // that the link stays and its target gets the new contents). Each step
    // looks at the name with lstat (fstatat without following), never
    // through it.
    fs::path target = path;
    Fd folder(openFolderOf(target));
    struct stat old {};
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (folder.get() < 0) {
            result.error = "cannot open the folder of " + target.string() + ": " + errnoText(errno);
            return result;
        }
        const fs::path name = target.filename();
        if (::fstatat(folder.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                result.error = errnoText(errno);
                return result;
            }
            exists = false;
            break;
        }
        exists = true;
        if (!S_ISLNK(old.st_mode)) break;
        if (hops >= 40) {
            result.error = "too many levels of symbolic links";
            return result;
        }
        struct stat folderStat {};
        if (::fstat(folder.get(), &folderStat) != 0) {
            result.error = errnoText(errno);
            return result;
        }
        if (std::string why = untrustedLink(target, old, folderStat); !why.empty()) {
            result.error = std::move(why);
            return result;
        }
        std::string to(static_cast<std::size_t>(old.st_size > 0 ? old.st_size : 0) + 256, '\0');
        const ssize_t n = ::readlinkat(folder.get(), name.c_str(), to.data(), to.size());
        if (n < 0 || static_cast<std::size_t>(n) >= to.size()) {
            result.error = "cannot read the symbolic link " + target.string();
            return result;
        }
        to.resize(static_cast<std::size_t>(n));
        const fs::path next(to);
        if (next.empty() || !next.has_filename()) {
            result.error = "the symbolic link " + target.string() + " does not name a file";
            return result;
        }
        target = next.is_absolute() ? next : (target.has_parent_path() ? target.parent_path() : fs::path(".")) / next;
        folder.reset(openFolderOf(target));
    }
    const fs::path name = target.filename();
    const bool replacing = exists && S_ISREG(old.st_mode);
    // A file marked read-only stays as it is: renaming over it would work on
    // POSIX, but the user asked for it not to change.
    if (replacing && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        result.error = "the file is read-only";
        return result;
    }

    // The new contents in a file of their own in the same folder: created
    // anew (O_EXCL), never through a link (O_NOFOLLOW).
    fs::path temp;
    Fd out;
    for (int attempt = 0; attempt < 8 && out.get() < 0; ++attempt) {
        temp = temporaryName(target);
        out.reset(::openat(folder.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           replacing ? 0600 : 0666));
        if (out.get() < 0 && errno != EEXIST) {
            result.error = "cannot create the temporary file: " + errnoText(errno);
            return result;
        }
    }
    if (out.get() < 0) {
        result.error = "no free name for a temporary file";
        return result;
    }
    auto fail = [&](std::string why) {
        out.close();
        ::unlinkat(folder.get(), temp.c_str(), 0);
        result.error = std::move(why);
        return result;
    };
    int error = 0;
    if (!writeAll(out.get(), bytes, error)) return fail("write error: " + errnoText(error));
    // The file keeps its permission bits.
    if (replacing) (void)::fchmod(out.get(), old.st_mode & 07777);
    if (::fsync(out.get()) != 0) return fail("write error: " + errnoText(errno));
    if (out.close() != 0) return fail("write error: " + errnoText(errno));

    // The rename replaces the name itself: were it a link by now, the link
    // would go, not what it points to.
    if (::renameat(folder.get(), temp.c_str(), folder.get(), name.c_str()) != 0) return fail(errnoText(errno));
    // The rename itself on disk too (some file systems refuse: no matter).
    (void)::fsync(folder.get());
    result.status = FileIoStatus::ok;
    return result;
}

#endif  // _WIN32

std::optional<FileStamp> fileStampOf(const std::filesystem::path& path) {
    std::error_code ec;
    FileStamp stamp;
    stamp.written = std::filesystem::last_write_time(path, ec);
    if (ec) return std::nullopt;
    stamp.size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
#ifdef _WIN32
    // The file's index on its volume: a file renamed over it has another.
    const HANDLE h = CreateFileW(path.wstring().c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(h, &info)) {
            stamp.identity = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow) ^
                             (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 48);
        }
        CloseHandle(h);
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        stamp.identity = static_cast<std::uint64_t>(st.st_ino) ^ (static_cast<std::uint64_t>(st.st_dev) << 32);
        stamp.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    }
#endif
    return stamp;
}

}  // namespace velmora
