#pragma once

// Whole-file reads and all-or-nothing replacement of files on disk.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Outcome of loading or saving a file on disk.
enum class FileIoStatus {
    ok,
    missing,   // no such file (load only)
    tooLarge,  // larger than the caller's limit: left alone, never rewritten
    failed,    // any other error (permissions, a folder in the way, disk full)
};

struct FileLoad {
    FileIoStatus status = FileIoStatus::failed;
    std::string bytes;  // the whole file when status is ok, else empty
    std::string error;  // reason in words when status is failed
};

// Reads the whole file as bytes; a file of more than maxBytes is not read
// (tooLarge).
FileLoad loadFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes);

struct FileSave {
    FileIoStatus status = FileIoStatus::failed;
    std::string error;  // reason in words when status is failed
};

// Replaces the file's contents with `bytes` all at once: writes a new file in
// the same folder and renames it over the old one, so a crash or a failed
// write leaves either the old or the new contents, never a mix; the new
// file is flushed to disk (fsync) before the rename. When the path is a
// symbolic link the link stays and its target is replaced - on POSIX only
// when the link and the folder holding it belong to this user or to root
// (each link of a chain alike): a link another user may have planted, say in
// /tmp, is not followed (failed, with the reason), nor is any link when the
// temporary file is made. A file that exists keeps its permission bits; one
// without any write permission bit (marked read-only) is not replaced
// (failed). On failure the temporary file is removed and the old file is
// untouched.
FileSave saveFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// What tells one version of a file from the next without reading it: its
// time, its size and, where the system has them, its identity (a rewrite
// by rename is a new file) and its change time. A time alone is not
// enough: two saves within the file system's clock tick share one.
struct FileStamp {
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
    std::uint64_t identity = 0;
    std::int64_t changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// nullopt when the file cannot be looked at (missing, unreadable folder).
std::optional<FileStamp> fileStampOf(const std::filesystem::path& path);

}  // namespace velmora
