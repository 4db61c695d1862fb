#pragma once

// The Win32 side of the owner's pipe (control_pipe.h): whose process this
// is, the pipe's security descriptor, the pipe's instances, and who serves
// a pipe a client opened. Built for Windows only.

#include "platform/win32_api.h"

#include <memory>
#include <optional>
#include <string>

namespace velmora::win32pipe {

// This process's user as a string SID ("S-1-5-21-..."); empty, and *why
// set, when Windows does not tell.
std::string currentUserSid(std::string* why);
// A group's SID by its name (serve --group); nullopt, and *why set, when
// there is no such group.
std::optional<std::string> groupSid(const std::string& name, std::string* why);

// A security descriptor made from SDDL, freed with the object.
class PipeSecurity {
public:
    static std::unique_ptr<PipeSecurity> fromSddl(const std::string& sddl, std::string* why);
    ~PipeSecurity();
    PipeSecurity(const PipeSecurity&) = delete;
    PipeSecurity& operator=(const PipeSecurity&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }
    // The access list as Windows reads it back, in SDDL.
    std::string accessListSddl() const;

private:
    explicit PipeSecurity(PSECURITY_DESCRIPTOR descriptor);
    PSECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

// One server end of the pipe `name` (overlapped, bytes, local clients
// only). `first`: only if no instance of that name exists yet, from any
// process - a second owner of the port fails here with
// ERROR_ACCESS_DENIED. INVALID_HANDLE_VALUE and *error on failure.
HANDLE createPipeInstance(const std::string& name, bool first, PipeSecurity& security, DWORD* error);

// Whether any process serves a pipe of that name now (an instance exists,
// connected or not). What a second owner asks first where creating the
// first instance does not refuse it (Wine).
bool pipeNameTaken(const std::string& name);

// The user of the process serving the pipe a client opened, as a string
// SID; nullopt, and *why set, when Windows does not tell.
std::optional<std::string> pipeServerSid(HANDLE pipe, std::string* why);

// "the system cannot find the file specified (2)" and its kin.
std::string errorText(DWORD error);

}  // namespace velmora::win32pipe
