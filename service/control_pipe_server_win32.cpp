#include "service/control_pipe_server_win32.h"

#include <chrono>
#include <mutex>
#include <string_view>
#include <vector>

#include "service/control_pipe.h"

namespace velmora {

namespace {

constexpr DWORD kReadBytes = 64 * 1024;
constexpr ULONG_PTR kWakeKey = 1;
constexpr ULONG_PTR kPipeKey = 2;
// Answers a client has not read stop its reading: it cannot pile up error
// lines faster than it takes them.
constexpr std::size_t kReadPauseBytes = 256u << 10;
// How long the loop waits, at its end, for I/O it cancelled to come back.
constexpr DWORD kCancelWaitMs = 2000;

std::int64_t steadyMs() {
    using Steady = std::chrono::steady_clock;
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count();
}

struct PipeEnd;

// One overlapped operation on an instance; the completion hands back the
// OVERLAPPED's address, which is this.
struct PipeOp {
    enum class Kind { connect, read, write };
    OVERLAPPED overlapped{};
    Kind kind = Kind::connect;
    PipeEnd* end = nullptr;
};

// One instance of the pipe: waiting for a client, then serving it.
struct PipeEnd final : ServedClient, std::enable_shared_from_this<PipeEnd> {
    explicit PipeEnd(HANDLE h) : handle(h) {
        connectOp = {.kind = PipeOp::Kind::connect, .end = this};
        readOp = {.kind = PipeOp::Kind::read, .end = this};
        writeOp = {.kind = PipeOp::Kind::write, .end = this};
    }
    ~PipeEnd() override { closeHandle(); }

    // Asked from the owner's thread too: a client that closed its end
    // leaves the pipe broken.
    bool peerGone() const override {
        std::lock_guard lock(handleMutex);
        DWORD available = 0;
        return handle == INVALID_HANDLE_VALUE || !PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr);
    }
    // What was written stays readable by the client after this; I/O under
    // way is cancelled and its completion still comes.
    void closeHandle() {
        std::lock_guard lock(handleMutex);
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    mutable std::mutex handleMutex;
    HANDLE handle;  // closed only on the serving thread
    PipeOp connectOp, readOp, writeOp;
    int outstanding = 0;  // operations whose completion has not come
    bool reading = false;
    bool writing = false;
    bool broken = false;  // the client went (a read or write failed)
    bool ended = false;   // closed here; waits only for its completions
    std::unique_ptr<char[]> readBuffer{new char[kReadBytes]};
    std::string sending;  // the write under way
    std::string farewell;  // closing: the line to write once `sending` is
};

}  // namespace

struct PipeServer::Port {
    explicit Port(HANDLE h) : handle(h) {}
    ~Port() { CloseHandle(handle); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    const HANDLE handle;
};

// The serving thread's state: the instance waiting for the next client,
// the clients, and the instances closed whose cancelled I/O has yet to
// come back.
class PipeServer::ServeLoop {
public:
    ServeLoop(PipeServer& server, HANDLE first)
        : server_(server), shared_(server.shared_), port_(server.port_->handle),
          clients_(server.owner_, server.submit_, server.options_.limits, server.shared_) {
        listen(first);
    }
    ~ServeLoop() {
        if (listener_) endPipe(listener_);
        while (clients_.size() > 0) drop(clients_.size() - 1);
        // No last line is waited for any more.
        for (const auto& end : ending_) end->closeHandle();
        const ULONGLONG until = GetTickCount64() + kCancelWaitMs;
        while (!ending_.empty() && GetTickCount64() < until) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* overlapped = nullptr;
            GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, 100);
            if (overlapped) completed(*reinterpret_cast<PipeOp*>(overlapped), false, 0, ERROR_OPERATION_ABORTED);
        }
        // Windows never gave those back: their buffers must outlive it.
        for (auto& end : ending_) new std::shared_ptr<PipeEnd>(std::move(end));
    }

    void run() {
        while (!shared_->stopping.load()) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* overlapped = nullptr;
            // Idle and unfinished lines are looked at a few times a second;
            // a listener that failed is made again as often.
            const DWORD wait = clients_.size() == 0 && listener_ ? INFINITE : 250;
            const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, wait);
            const DWORD error = ok ? 0 : GetLastError();
            if (overlapped) {
                completed(*reinterpret_cast<PipeOp*>(overlapped), ok != FALSE, bytes, error);
            } else if (!ok && error != WAIT_TIMEOUT) {
                break;  // the port itself failed
            }
            if (shared_->stopping.load()) break;
            const std::int64_t now = steadyMs();
            for (std::size_t k = clients_.size(); k-- > 0;) {
                if (!serve(k, now)) drop(k);
            }
            if (!listener_) listen(INVALID_HANDLE_VALUE);
        }
    }

private:
    std::shared_ptr<PipeEnd> pipeAt(std::size_t i) const { return std::static_pointer_cast<PipeEnd>(clients_.at(i)); }

    // An instance made ready for the next client (`instance`, else a new
    // one). On failure none listens, and the next round tries again.
    void listen(HANDLE instance) {
        for (;;) {
            if (instance == INVALID_HANDLE_VALUE) {
                DWORD error = 0;
                instance = win32pipe::createPipeInstance(server_.options_.name, false, *server_.security_, &error);
                if (instance == INVALID_HANDLE_VALUE) return;
            }
            auto end = std::make_shared<PipeEnd>(instance);
            instance = INVALID_HANDLE_VALUE;
            if (!CreateIoCompletionPort(end->handle, port_, kPipeKey, 0)) return;
            if (!ConnectNamedPipe(end->handle, &end->connectOp.overlapped)) {
                const DWORD error = GetLastError();
                if (error == ERROR_IO_PENDING) {
                    ++end->outstanding;
                    listener_ = std::move(end);
                    return;
                }
                // Connected between the instance's making and now: no
                // completion comes for it.
                if (error != ERROR_PIPE_CONNECTED) return;
            }
            admit(std::move(end));
        }
    }

    void admit(std::shared_ptr<PipeEnd> end) {
        const ServedClients::Room room = clients_.makeRoom();
        if (room.evicted) tellAndEnd(std::static_pointer_cast<PipeEnd>(room.evicted), ServedClients::evictedLine());
        if (!room.granted) {
            tellAndEnd(std::move(end), ServedClients::refusedLine());
            return;
        }
        clients_.add(std::move(end), steadyMs());
    }

    void completed(PipeOp& op, bool ok, DWORD bytes, DWORD error) {
        PipeEnd& end = *op.end;
        --end.outstanding;
        if (end.ended) {
            if (op.kind == PipeOp::Kind::write) {
                end.writing = false;
                end.sending.clear();
                if (ok && !end.farewell.empty()) {
                    end.sending = std::move(end.farewell);
                    end.farewell.clear();
                    startWrite(end);
                }
                // Its last line is in the pipe (or never will be).
                if (!end.writing) end.closeHandle();
            }
            if (end.outstanding == 0) {
                std::erase_if(ending_, [&](const std::shared_ptr<PipeEnd>& e) { return e.get() == &end; });
            }
            return;
        }
        switch (op.kind) {
        case PipeOp::Kind::connect: {
            std::shared_ptr<PipeEnd> came = std::move(listener_);
            if (ok || error == ERROR_PIPE_CONNECTED) {
                admit(std::move(came));
            } else {
                endPipe(came);
            }
            listen(INVALID_HANDLE_VALUE);
            break;
        }
        case PipeOp::Kind::read:
            end.reading = false;
            if (!ok) {
                end.broken = true;  // gone: what it asked for is withdrawn
            } else if (bytes > 0 &&
                       !clients_.bytesCame(end.shared_from_this(), std::string_view(end.readBuffer.get(), bytes),
                                           steadyMs())) {
                end.broken = true;
            }
            break;
        case PipeOp::Kind::write:
            end.writing = false;
            if (!ok) {
                end.broken = true;
            } else {
                clients_.putBack(end, end.sending, bytes);
            }
            end.sending.clear();
            break;
        }
    }

    // One client's turn: false when it is to be dropped.
    bool serve(std::size_t k, std::int64_t now) {
        const std::shared_ptr<PipeEnd> c = pipeAt(k);
        if (!c->alive.load() || c->broken) return false;
        clients_.closeIfStale(*c, now);
        if (!c->writing) {
            c->sending = clients_.takeOut(*c, now);
            if (!c->sending.empty() && !startWrite(*c)) return false;
        }
        if (!c->reading && !c->closeWhenSent && c->sending.size() + clients_.outBytes(*c) <= kReadPauseBytes &&
            !startRead(*c)) {
            return false;
        }
        // A write under way finishes before the instance closes.
        return c->writing || !clients_.finished(*c);
    }

    bool startWrite(PipeEnd& c) {
        c.writeOp.overlapped = OVERLAPPED{};
        if (!WriteFile(c.handle, c.sending.data(), static_cast<DWORD>(c.sending.size()), nullptr,
                       &c.writeOp.overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            c.sending.clear();
            return false;
        }
        // Done at once or not, the completion comes through the port.
        ++c.outstanding;
        c.writing = true;
        return true;
    }

    bool startRead(PipeEnd& c) {
        c.readOp.overlapped = OVERLAPPED{};
        if (!ReadFile(c.handle, c.readBuffer.get(), kReadBytes, nullptr, &c.readOp.overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        ++c.outstanding;
        c.reading = true;
        return true;
    }

    // For a client about to be closed: one line. The instance closes when
    // the write is done: closing it first would cancel the write, and the
    // client would hear only that the owner went.
    void tellAndEnd(std::shared_ptr<PipeEnd> end, const std::string& line) {
        if (end->writing) {
            // An answer's write whose completion has not come yet: the line
            // follows it.
            end->farewell = line;
        } else {
            end->sending = line;
            startWrite(*end);
        }
        endPipe(end, !end->writing);
    }

    void endPipe(const std::shared_ptr<PipeEnd>& end, bool closeNow = true) {
        end->ended = true;
        end->alive = false;
        if (closeNow) end->closeHandle();
        if (end->outstanding > 0) ending_.push_back(end);
    }

    void drop(std::size_t i) {
        const std::shared_ptr<PipeEnd> c = pipeAt(i);
        clients_.remove(i);
        endPipe(c);
    }

    PipeServer& server_;
    const std::shared_ptr<ServerShared> shared_;
    const HANDLE port_;
    ServedClients clients_;
    std::shared_ptr<PipeEnd> listener_;
    std::vector<std::shared_ptr<PipeEnd>> ending_;
};

PipeServer::PipeServer(UiDispatcher& owner, Submit submit) : owner_(owner), submit_(std::move(submit)) {}

PipeServer::~PipeServer() { stop(); }

std::size_t PipeServer::clientCount() const { return shared_ ? shared_->clients.load() : 0; }

bool PipeServer::start(const Options& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (running()) return fail("already serving " + options_.name);
    options_ = options;
    std::string why;
    const std::string me = win32pipe::currentUserSid(&why);
    if (me.empty()) return fail(why);
    security_ = win32pipe::PipeSecurity::fromSddl(pipeSecuritySddl(me, options.groupSid), &why);
    if (!security_) return fail(why);
    // Where the first instance's own check is not kept (Wine), this one is.
    const std::string taken = "another owner already serves " + options.name;
    if (win32pipe::pipeNameTaken(options.name)) return fail(taken);
    DWORD failed = 0;
    const HANDLE first = win32pipe::createPipeInstance(options.name, true, *security_, &failed);
    if (first == INVALID_HANDLE_VALUE) {
        return fail(failed == ERROR_ACCESS_DENIED ? taken
                                                  : "cannot serve " + options.name + ": " + win32pipe::errorText(failed));
    }
    const HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!port) {
        failed = GetLastError();
        CloseHandle(first);
        return fail("cannot make a completion port: " + win32pipe::errorText(failed));
    }
    port_ = std::make_shared<Port>(port);
    shared_ = std::make_shared<ServerShared>();
    // The port lives as long as anybody may still wake the loop: an answer
    // on its way after stop() posts to it harmlessly.
    shared_->wake = [port = port_] { PostQueuedCompletionStatus(port->handle, 0, kWakeKey, nullptr); };
    thread_ = std::thread([this, first] {
        ServeLoop loop(*this, first);
        loop.run();
    });
    return true;
}

void PipeServer::stop() {
    if (!thread_.joinable()) return;
    shared_->stopping = true;
    shared_->wake();
    thread_.join();
    port_.reset();
}

}  // namespace velmora
