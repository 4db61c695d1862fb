#pragma once

// Where the owner of a serial port listens on Windows, and whom it admits:
// one named pipe per port, "\\.\pipe\velmora-<port>-<hash>", named from the
// port's canonical name as the socket is on Linux ("COM3", "com3" and
// "\\.\COM3" share one pipe). Pure functions: the Win32 side that uses them
// is control_pipe_win32.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// FNV-1a of a port's canonical name: the tail of its socket's and its
// pipe's names, so two ports with one short name still differ.
std::uint32_t portNameHash(std::string_view canonical);

// A port's name as part of a file or pipe name: at most 40 characters, only
// [A-Za-z0-9._-] (anything else becomes '_'), "port" when empty.
std::string portNamePart(std::string name);

// "COM3" for "COM3", "com3", "\\.\COM3" and "//./com3"; any other name as
// given, without a leading "\\.\".
std::string canonicalPortName(const std::string& device);

// "\\.\pipe\velmora-COM3-1a2b3c4d": at most 80 characters, the port part
// only [A-Za-z0-9._-].
std::string controlPipeName(const std::string& device);

// Well-known accounts, as string SIDs.
inline constexpr const char* kLocalSystemSid = "S-1-5-18";

// The pipe's security descriptor in SDDL: full access for the owner's user,
// SYSTEM and the Administrators, read and write for the members of
// `groupSid` when given (serve --group), nobody else; not inherited.
std::string pipeSecuritySddl(const std::string& ownerSid, const std::optional<std::string>& groupSid);

// Whether a client may believe a pipe's server: its process runs as the
// client's own user or as SYSTEM (a service). Anybody can create a pipe of
// any name first, so the client asks before it sends a byte.
bool pipeServerAllowed(const std::string& serverSid, const std::string& clientSid);

}  // namespace velmora
