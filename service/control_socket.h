#pragma once

// Where the owner of a serial port listens for the other programs, and who
// may talk to it. One socket per port, named after the port's device: the
// device's real path (a /dev/serial/by-id/ link and the ttyUSB it points to
// share one socket), its last part and a short hash of the whole.
//
// Folders, first to last - an owner listens in the first it can use, a
// client looks in all of them:
//   $VELMORA_SOCKET_DIR              when set (tests, unusual set-ups)
//   $XDG_RUNTIME_DIR/velmora         the user's session (the window)
//   /run/velmora                     a system service (velmoractl serve)
//   /tmp/velmora-<uid>               no runtime folder at all
// A folder the owner creates is private to its user (0700; 0750 with a
// group); a socket file is 0600 (0660 with a group).

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace velmora {

// "ttyUSB0-1a2b3c4d.sock": at most 64 characters, only [A-Za-z0-9._-].
std::string socketFileName(const std::string& device);

// The folders above that apply, in order.
std::vector<std::filesystem::path> socketFolders(const EnvLookup& env);
// Where an owner listens unless told: $VELMORA_SOCKET_DIR, else
// $XDG_RUNTIME_DIR/velmora, else /run/velmora for root, else
// /tmp/velmora-<uid>.
std::filesystem::path defaultSocketFolder(const EnvLookup& env);

// Who may connect: the owner's user, root, and the members of `group`.
struct PeerPolicy {
    uid_t owner = 0;
    std::optional<gid_t> group;
};
// `groups` are the peer's supplementary groups (its primary one counts too).
bool peerAllowed(const PeerPolicy& policy, uid_t uid, gid_t gid, const std::vector<gid_t>& groups);
// The supplementary groups of the user `uid` (empty when unknown).
std::vector<gid_t> groupsOfUser(uid_t uid, gid_t primary);
// A group by name or number; nullopt when there is none.
std::optional<gid_t> groupNamed(const std::string& name);

// Whether this process may trust an owner's socket in `folder`: a real
// folder nobody but its owner may write to, owned by this user or root -
// or by the user of a system service (`serve --group`) in a folder others
// cannot enter, below a parent only root or this user may write to (so
// nobody could have made it under that name first, as anyone can in
// /tmp), whose group this process has. Only the listed users may answer
// at a socket there (SO_PEERCRED); `why` says what is wrong otherwise.
struct SocketTrust {
    bool trusted = false;
    std::vector<uid_t> answerers;  // users who may listen there
    std::string why;
};
SocketTrust socketFolderTrust(const std::filesystem::path& folder);

// Makes `folder` (and its parents) when missing; the folder itself private
// to this user (0700, or 0750 and the group when given). An existing
// folder must belong to this user and be writable by nobody else: anything
// else is refused with *why (another user could put a socket there), and
// *why names a folder to use instead. With a group, a folder of this
// user's is given that group's access (0750) when it lacks it.
bool prepareSocketFolder(const std::filesystem::path& folder, std::optional<gid_t> group, std::string* why);

}  // namespace velmora
