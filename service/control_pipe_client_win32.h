#pragma once

// A client of a port's owner on Windows: opens the owner's pipe
// (control_pipe.h names it), makes sure the process serving it runs as
// this user or as SYSTEM before a byte goes out, writes request lines and
// reads answer lines. What ControlClient is on a Unix-domain socket.
// Built for Windows only.

#include "platform/win32_api.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "service/control_protocol.h"

namespace velmora {

class PipeClient {
public:
    static constexpr int kBusyWaitMs = 5000;

    PipeClient();
    ~PipeClient();
    PipeClient(const PipeClient&) = delete;
    PipeClient& operator=(const PipeClient&) = delete;

    // Opens the pipe `name`, waiting up to `waitMs` while every instance is
    // busy. False (with *error) when nobody serves it, this user may not
    // open it (refusedAccess()), or its server is another user's process
    // (untrusted(): nothing was sent). The server may identify this client
    // but never act as it.
    bool connect(const std::string& name, int waitMs, std::string* error = nullptr);
    // As a control socket is connected to: the pipe's name as a path, busy
    // instances waited for a few seconds.
    bool connect(const std::filesystem::path& name, std::string* error = nullptr) {
        return connect(name.string(), kBusyWaitMs, error);
    }
    bool untrusted() const { return untrusted_; }
    bool refusedAccess() const { return refusedAccess_; }
    bool connected() const { return pipe_ != INVALID_HANDLE_VALUE; }
    void close();

    // Writes one request (with its line end); false when the owner is gone
    // (what it said before it went can still be received).
    bool send(const Request& request);
    bool sendLine(const std::string& line);

    // The next answer line, without its line end. Waits up to `timeoutMs`
    // (negative: for ever). Returns early with nullopt when the owner closed
    // the pipe, the time-out passed, or `stop` (an event; may be null) is
    // set; gone() tells the first apart. A read under way when it returns
    // stays under way, so nothing the owner sent is lost.
    std::optional<std::string> receive(int timeoutMs, HANDLE stop = nullptr);
    bool gone() const { return gone_; }

private:
    // Takes what a finished read brought; false when the pipe has ended.
    bool finishRead(bool completed, DWORD bytes, DWORD error);

    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE readDone_ = nullptr;
    HANDLE writeDone_ = nullptr;
    OVERLAPPED read_{};
    bool readPending_ = false;
    std::unique_ptr<char[]> buffer_;
    bool gone_ = false;
    bool untrusted_ = false;
    bool refusedAccess_ = false;
    LineReader reader_{kMaxRequestBytes * 8};
};

}  // namespace velmora
