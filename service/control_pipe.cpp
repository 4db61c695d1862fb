#include "service/control_pipe.h"

#include <cstdio>

#include "platform/port_list.h"

namespace velmora {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

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
    // A COM name the port list knows comes back as its device path.
    const std::string path = windowsPortPath(name);
    return path != name ? path.substr(4) : name;
}

std::string portNamePart(std::string name) {
    if (name.empty()) return "port";
    for (char& c : name) {
        // ASCII ranges, not isalnum: every program must make the same name,
        // whatever locale it runs in.
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        if (!plain) c = '_';
    }
    if (name.size() > 40) name.resize(40);
    return name;
}

std::string controlPipeName(const std::string& device) {
    const std::string canonical = canonicalPortName(device);
    const std::string part = portNamePart(canonical);
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
