#pragma once

// A client of a port's owner: connects to its control socket, writes
// request lines and reads answer lines.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "service/control_protocol.h"
#include "service/control_socket.h"

namespace velmora {

class ControlClient {
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // False (with *error) when nobody listens at `path` or it may not be
    // used: a folder or a listener this process cannot trust (see
    // socketFolderTrust) is refused before a byte is sent, and untrusted()
    // then tells it apart from nobody listening.
    bool connect(const std::filesystem::path& path, std::string* error = nullptr);
    bool untrusted() const { return untrusted_; }
    // The socket's permissions turned this user away (another group's).
    bool refusedAccess() const { return refusedAccess_; }
    bool connected() const { return fd_ >= 0; }
    void close();

    // Writes one request (with its line end); false when the owner is gone
    // (it may have said why: receive() still reads what it sent).
    bool send(const Request& request);
    bool sendLine(const std::string& line);

    // The next answer line, without its line end. Waits up to `timeoutMs`
    // (negative: for ever). Returns early with nullopt when the owner closed
    // the connection, the time-out passed, or `stopFd` (>= 0) became
    // readable (a stop signal's pipe); gone() tells the first apart.
    std::optional<std::string> receive(int timeoutMs, int stopFd = -1);
    bool gone() const { return gone_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool gone_ = false;
    bool untrusted_ = false;
    bool refusedAccess_ = false;
    LineReader reader_{kMaxRequestBytes * 8};
};

}  // namespace velmora
