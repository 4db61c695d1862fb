#include "service/control_pipe_win32.h"

#include <sddl.h>

#include <vector>

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

namespace velmora::win32pipe {

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;

// A handle closed with the object.
struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

void setWhy(std::string* why, const std::string& what, DWORD error) {
    if (why) *why = what + ": " + errorText(error);
}

std::string sidText(PSID sid) {
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return {};
    std::string out(text);
    LocalFree(text);
    return out;
}

// The user of the process token `token`.
std::string tokenUserSid(HANDLE token, std::string* why) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        setWhy(why, "cannot read the process's user", GetLastError());
        return {};
    }
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        setWhy(why, "cannot read the process's user", GetLastError());
        return {};
    }
    const std::string sid = sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    if (sid.empty()) setWhy(why, "cannot write the process's user as text", GetLastError());
    return sid;
}

}  // namespace

std::string errorText(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : std::string("error");
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    return out + " (" + std::to_string(error) + ")";
}

std::string currentUserSid(std::string* why) {
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.h)) {
        setWhy(why, "cannot open this process's token", GetLastError());
        return {};
    }
    return tokenUserSid(token.h, why);
}

std::optional<std::string> groupSid(const std::string& name, std::string* why) {
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use{};
    LookupAccountNameA(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) {
        if (why) *why = "no group named \"" + name + "\"";
        return std::nullopt;
    }
    std::vector<unsigned char> sid(sidSize);
    std::vector<char> domain(domainSize + 1);
    if (!LookupAccountNameA(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use)) {
        if (why) *why = "no group named \"" + name + "\"";
        return std::nullopt;
    }
    if (use != SidTypeGroup && use != SidTypeAlias && use != SidTypeWellKnownGroup) {
        if (why) *why = "\"" + name + "\" is not a group";
        return std::nullopt;
    }
    return sidText(sid.data());
}

std::unique_ptr<PipeSecurity> PipeSecurity::fromSddl(const std::string& sddl, std::string* why) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        setWhy(why, "cannot make the pipe's security descriptor", GetLastError());
        return nullptr;
    }
    return std::unique_ptr<PipeSecurity>(new PipeSecurity(descriptor));
}

PipeSecurity::PipeSecurity(PSECURITY_DESCRIPTOR descriptor) : descriptor_(descriptor) {
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

PipeSecurity::~PipeSecurity() { LocalFree(descriptor_); }

std::string PipeSecurity::accessListSddl() const {
    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor_, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    std::string out(text);
    LocalFree(text);
    return out;
}

HANDLE createPipeInstance(const std::string& name, bool first, PipeSecurity& security, DWORD* error) {
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD pipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    const HANDLE pipe = CreateNamedPipeA(name.c_str(), openMode, pipeMode, PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes,
                                         kPipeBufferBytes, 0, security.attributes());
    if (pipe == INVALID_HANDLE_VALUE && error) *error = GetLastError();
    return pipe;
}

bool pipeNameTaken(const std::string& name) {
    // Waits for nothing: an instance free now, or all of them busy, both
    // mean the name is served.
    if (WaitNamedPipeA(name.c_str(), 1)) return true;
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

std::optional<std::string> pipeServerSid(HANDLE pipe, std::string* why) {
    ULONG pid = 0;
    if (!GetNamedPipeServerProcessId(pipe, &pid)) {
        setWhy(why, "cannot learn which process serves the pipe", GetLastError());
        return std::nullopt;
    }
    Handle process;
    process.h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process.h) {
        setWhy(why, "cannot look at the process serving the pipe", GetLastError());
        return std::nullopt;
    }
    Handle token;
    if (!OpenProcessToken(process.h, TOKEN_QUERY, &token.h)) {
        setWhy(why, "cannot read the user of the process serving the pipe", GetLastError());
        return std::nullopt;
    }
    std::string sid = tokenUserSid(token.h, why);
    if (sid.empty()) return std::nullopt;
    return sid;
}

}  // namespace velmora::win32pipe
