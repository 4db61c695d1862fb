#include "service/control_socket.h"

#include "service/control_pipe.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

std::string socketFileName(const std::string& device) {
    const std::string real = canonicalDevice(device);
    // The whole path's hash: two ports with one last part differ.
    const std::uint32_t hash = portNameHash(real);
    const std::string last = portNamePart(fs::path(real).filename().string());
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%08x.sock", hash);
    return last + tail;
}

namespace {

std::optional<fs::path> absoluteFolder(const EnvLookup& env, const char* name, const char* below = nullptr) {
    const std::optional<std::string> v = env(name);
    if (!v || v->empty() || (*v)[0] != '/') return std::nullopt;
    fs::path p(*v);
    if (below) p /= below;
    return p;
}

fs::path privateTmpFolder() { return fs::path("/tmp") / ("velmora-" + std::to_string(::geteuid())); }

}  // namespace

std::vector<fs::path> socketFolders(const EnvLookup& env) {
    std::vector<fs::path> folders;
    auto add = [&](const std::optional<fs::path>& p) {
        if (p && std::find(folders.begin(), folders.end(), *p) == folders.end()) folders.push_back(*p);
    };
    add(absoluteFolder(env, "VELMORA_SOCKET_DIR"));
    add(absoluteFolder(env, "XDG_RUNTIME_DIR", "velmora"));
    add(fs::path("/run/velmora"));
    add(privateTmpFolder());
    return folders;
}

fs::path defaultSocketFolder(const EnvLookup& env) {
    if (auto p = absoluteFolder(env, "VELMORA_SOCKET_DIR")) return *p;
    if (auto p = absoluteFolder(env, "XDG_RUNTIME_DIR", "velmora")) return *p;
    // Root (cron, ssh without a session) may make the system folder, which
    // nobody else can take first.
    if (::geteuid() == 0) return fs::path("/run/velmora");
    return privateTmpFolder();
}

bool peerAllowed(const PeerPolicy& policy, uid_t uid, gid_t gid, const std::vector<gid_t>& groups) {
    if (uid == policy.owner || uid == 0) return true;
    if (!policy.group) return false;
    return gid == *policy.group || std::find(groups.begin(), groups.end(), *policy.group) != groups.end();
}

std::vector<gid_t> groupsOfUser(uid_t uid, gid_t primary) {
    std::vector<gid_t> groups;
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return groups;
    int count = 64;
    std::vector<gid_t> list(static_cast<std::size_t>(count));
    if (::getgrouplist(pw.pw_name, primary, list.data(), &count) < 0) {
        list.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(pw.pw_name, primary, list.data(), &count) < 0) return groups;
    }
    list.resize(static_cast<std::size_t>(count));
    return list;
}

std::optional<gid_t> groupNamed(const std::string& name) {
    if (name.empty()) return std::nullopt;
    struct group gr {};
    struct group* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrnam_r(name.c_str(), &gr, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_gid;
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(name.c_str(), &end, 10);
    if (errno == 0 && end != name.c_str() && *end == '\0' && n < 0x7fffffffUL) {
        if (::getgrgid_r(static_cast<gid_t>(n), &gr, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
            return found->gr_gid;
    }
    return std::nullopt;
}

namespace {

bool processHasGroup(gid_t group) {
    if (::getegid() == group) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// A folder one may name instead of an untrusted one.
std::string saferFolderHint() {
    if (::geteuid() == 0) return "--socket-dir /run/velmora";
    return "--socket-dir with a folder of your own (and VELMORA_SOCKET_DIR set to it for the clients), or log in "
           "with a session that has XDG_RUNTIME_DIR";
}

}  // namespace

SocketTrust socketFolderTrust(const fs::path& folder) {
    SocketTrust t;
    const uid_t me = ::geteuid();
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        t.why = folder.string() + ": " + std::strerror(errno);
        return t;
    }
    if (!S_ISDIR(st.st_mode)) {
        t.why = folder.string() + " is not a folder";
        return t;
    }
    if ((st.st_mode & 0022) != 0) {
        t.why = folder.string() + " may be written by other users";
        return t;
    }
    if (st.st_uid == me || st.st_uid == 0) {
        t.trusted = true;
        t.answerers = {me, 0};
        return t;
    }
    // A service's folder: private to its user and group, in a parent that
    // nobody else could have made it in.
    struct stat parent {};
    const fs::path above = folder.parent_path();
    const bool parentSafe = ::lstat(above.c_str(), &parent) == 0 && S_ISDIR(parent.st_mode) &&
                            (parent.st_mode & 0022) == 0 && (parent.st_uid == 0 || parent.st_uid == me);
    if ((st.st_mode & 0007) != 0 || !parentSafe) {
        t.why = folder.string() + " belongs to another user (uid " + std::to_string(st.st_uid) +
                "): a socket there could be anybody's";
        return t;
    }
    if (!processHasGroup(st.st_gid)) {
        const struct group* g = ::getgrgid(st.st_gid);
        const std::string name = g ? g->gr_name : std::to_string(st.st_gid);
        t.why = folder.string() + " is for the members of the group " + name + ": join it (sudo usermod -aG " +
                name + " USER, then log in again)";
        return t;
    }
    t.trusted = true;
    t.answerers = {me, 0, st.st_uid};
    return t;
}

bool prepareSocketFolder(const fs::path& folder, std::optional<gid_t> group, std::string* why) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    auto failWithHint = [&](const std::string& text) { return fail(text + "; serve with " + saferFolderHint()); };
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder, ec))) {
        fs::create_directories(folder.parent_path(), ec);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return fail("cannot make " + folder.string() + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return fail("cannot use " + folder.string() + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return failWithHint(folder.string() + " is not a folder");
    if (st.st_uid != ::geteuid())
        return failWithHint(folder.string() + " belongs to another user: a socket there could be anybody's");
    if ((st.st_mode & 0022) != 0) return failWithHint(folder.string() + " may be written by other users");
    if (group && (st.st_gid != *group || (st.st_mode & 0050) != 0050)) {
        // The group's members must be able to enter to reach the socket.
        if (::chown(folder.c_str(), static_cast<uid_t>(-1), *group) != 0)
            return fail("cannot give " + folder.string() + " to its group: " + std::strerror(errno) +
                        " (this user must be a member of the group)");
        if (::chmod(folder.c_str(), (st.st_mode & 0700) | 0050) != 0)
            return fail("cannot let the group into " + folder.string() + ": " + std::strerror(errno));
    }
    return true;
}

}  // namespace velmora
