#include "service/control_pipe_client_win32.h"

#include <algorithm>
#include <string_view>

#include "service/control_pipe.h"
#include "service/control_pipe_win32.h"
#include "service/owner_client.h"

namespace velmora {

namespace {

constexpr DWORD kReadBytes = 64 * 1024;

// Milliseconds left until `deadline` (GetTickCount64's), at least 0.
DWORD leftUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

PipeClient::PipeClient()
    : readDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      writeDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      buffer_(new char[kReadBytes]) {}

PipeClient::~PipeClient() {
    close();
    if (readDone_) CloseHandle(readDone_);
    if (writeDone_) CloseHandle(writeDone_);
}

void PipeClient::close() {
    if (pipe_ == INVALID_HANDLE_VALUE) return;
    if (readPending_) {
        // The buffer and the OVERLAPPED must outlive the read.
        CancelIoEx(pipe_, &read_);
        DWORD ignored = 0;
        GetOverlappedResult(pipe_, &read_, &ignored, TRUE);
        readPending_ = false;
    }
    CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
}

bool PipeClient::connect(const std::string& name, int waitMs, std::string* error) {
    close();
    gone_ = false;
    untrusted_ = false;
    refusedAccess_ = false;
    reader_ = LineReader(kMaxRequestBytes * 8);
    if (!readDone_ || !writeDone_) {
        if (error) *error = "cannot reach " + name + ": " + win32pipe::errorText(GetLastError());
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitMs < 0 ? 0 : waitMs);
    for (;;) {
        // SECURITY_IDENTIFICATION: whoever serves the pipe may learn who
        // this is, not act as this user.
        pipe_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe_ != INVALID_HANDLE_VALUE) break;
        const DWORD failed = GetLastError();
        if (failed == ERROR_PIPE_BUSY) {
            const DWORD left = leftUntil(deadline);
            if (left > 0 && (WaitNamedPipeA(name.c_str(), left) || GetLastError() == ERROR_PIPE_BUSY)) continue;
            if (error) *error = "cannot reach " + name + ": every instance of the pipe stayed busy";
            return false;
        }
        refusedAccess_ = failed == ERROR_ACCESS_DENIED;
        if (error) *error = "cannot reach " + name + ": " + win32pipe::errorText(failed);
        return false;
    }
    // Anybody may create a pipe of any name first: a request (a schedule,
    // an image) never goes to a stranger.
    auto refuse = [&](const std::string& why) {
        untrusted_ = true;
        if (error) *error = "ignoring " + name + ": " + why;
        close();
        return false;
    };
    std::string why;
    const std::string me = win32pipe::currentUserSid(&why);
    if (me.empty()) return refuse(why);
    const std::optional<std::string> server = win32pipe::pipeServerSid(pipe_, &why);
    if (!server) return refuse(why);
    if (!pipeServerAllowed(*server, me)) return refuse("it is answered by another user (" + *server + ")");
    return true;
}

bool PipeClient::send(const Request& request) { return sendLine(requestLine(request)); }

bool PipeClient::sendLine(const std::string& line) {
    std::size_t done = 0;
    while (pipe_ != INVALID_HANDLE_VALUE && done < line.size()) {
        OVERLAPPED write{};
        write.hEvent = writeDone_;
        ResetEvent(writeDone_);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(line.size() - done, kReadBytes));
        DWORD written = 0;
        if (!WriteFile(pipe_, line.data() + done, chunk, &written, &write)) {
            if (GetLastError() != ERROR_IO_PENDING) return false;
            if (!GetOverlappedResult(pipe_, &write, &written, TRUE)) return false;
        }
        if (written == 0) return false;
        done += written;
    }
    return pipe_ != INVALID_HANDLE_VALUE;
}

bool PipeClient::finishRead(bool completed, DWORD bytes, DWORD error) {
    readPending_ = false;
    if (!completed && error != ERROR_MORE_DATA) {
        gone_ = true;  // broken pipe: the owner closed its end
        return false;
    }
    reader_.feed(std::string_view(buffer_.get(), bytes));
    return true;
}

std::optional<std::string> PipeClient::receive(int timeoutMs, HANDLE stop) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (auto line = reader_.next()) return line;
        if (pipe_ == INVALID_HANDLE_VALUE || gone_ || reader_.overflowed()) return std::nullopt;
        if (!readPending_) {
            read_ = OVERLAPPED{};
            read_.hEvent = readDone_;
            ResetEvent(readDone_);
            DWORD got = 0;
            const BOOL done = ReadFile(pipe_, buffer_.get(), kReadBytes, &got, &read_);
            const DWORD failed = done ? 0 : GetLastError();
            if (!done && failed == ERROR_IO_PENDING) {
                readPending_ = true;
            } else if (!finishRead(done != FALSE, got, failed)) {
                return reader_.next();
            } else {
                continue;
            }
        }
        // A stop comes before what the owner sent meanwhile, as on POSIX.
        HANDLE waits[2];
        DWORD count = 0;
        if (stop) waits[count++] = stop;
        waits[count++] = readDone_;
        const DWORD wait = timeoutMs < 0 ? INFINITE : leftUntil(deadline);
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, wait);
        if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) return std::nullopt;
        if (stop && woke == WAIT_OBJECT_0) return std::nullopt;
        DWORD got = 0;
        const BOOL done = GetOverlappedResult(pipe_, &read_, &got, FALSE);
        if (!finishRead(done != FALSE, got, done ? 0 : GetLastError())) return reader_.next();
    }
}

// The owner's pipe of `device` when a process of this user's (or SYSTEM)
// serves it. Asking opens one of its instances and closes it again.
std::optional<std::filesystem::path> findOwner(const std::string& device, const EnvLookup&,
                                               std::vector<std::string>* warnings) {
    const std::string name = controlPipeName(device);
    if (!win32pipe::pipeNameTaken(name)) return std::nullopt;
    PipeClient probe;
    std::string why;
    if (probe.connect(name, PipeClient::kBusyWaitMs, &why)) return std::filesystem::path(name);
    if (warnings && probe.untrusted()) warnings->push_back(why);
    if (warnings && probe.refusedAccess()) {
        warnings->push_back("the port's owner serves " + name +
                            ", but this user may not connect: ask for a place in its group (serve --group)");
    }
    return std::nullopt;
}

// Windows lists no pipes by owner: the ports are asked one by one.
std::vector<std::filesystem::path> liveOwners(const EnvLookup&, std::vector<std::string>*) { return {}; }

}  // namespace velmora
