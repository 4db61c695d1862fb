#include "service/control_pipe.h"

#include <cctype>
#include <cstdio>

namespace velmora {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "COM" and one to three digits without a leading zero.
bool isComName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || upper(name.substr(0, 3)) != "COM" || name[3] == '0') return false;
    for (std::size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

std::uint32_t portNameHash(std::string_view canonical) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : canonical) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string canonicalPortName(const std::string& device) {
    std::string name = device;
    // The device namespace's prefix, written either way round.
    if (name.size() > 4 && isSeparator(name[0]) && isSeparator(name[1]) && name[2] == '.' && isSeparator(name[3]))
        name = name.substr(4);
    return isComName(name) ? upper(name) : name;
}

std::string controlPipeName(const std::string& device) {
    const std::string canonical = canonicalPortName(device);
    std::string part = canonical.empty() ? std::string("port") : canonical;
    for (char& c : part) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
        if (!plain) c = '_';
    }
    if (part.size() > 40) part.resize(40);
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%08x", static_cast<unsigned>(portNameHash(canonical)));
    return "\\\\.\\pipe\\velmora-" + part + tail;
}

std::string pipeSecuritySddl(const std::string& ownerSid, const std::optional<std::string>& groupSid) {
    // P: the parent's entries do not apply; GA: generic all; GRGW: read and
    // write; SY and BA: SYSTEM and the Administrators.
    std::string sddl = "D:P(A;;GA;;;" + ownerSid + ")(A;;GA;;;SY)(A;;GA;;;BA)";
    if (groupSid && !groupSid->empty()) sddl += "(A;;GRGW;;;" + *groupSid + ")";
    return sddl;
}

bool pipeServerAllowed(const std::string& serverSid, const std::string& clientSid) {
    if (serverSid.empty()) return false;
    return serverSid == clientSid || serverSid == kLocalSystemSid;
}

}  // namespace velmora
