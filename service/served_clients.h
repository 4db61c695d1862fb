#pragma once

// What the owner's control server does with its clients, whatever carries
// their bytes (a Unix-domain socket on POSIX, a named pipe on Windows):
// cutting what each sends into requests for the owner's UI thread, the
// answers coming back, and the limits that keep one client from starving
// the rest (requests queued, answers unread, idle connections, unfinished
// lines, the client count). The serving loop of each system moves the
// bytes and closes what this says to close. Serving thread only, except
// where said.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/control_protocol.h"
#include "service/unit_service.h"

namespace velmora {

class UiDispatcher;

inline constexpr std::size_t kMaxControlClients = 64;
inline constexpr std::size_t kMaxQueuedPerClient = 32;  // requests not yet answered
inline constexpr int kClientIdleMs = 60000;      // no request, no watch, nothing unsent
inline constexpr int kPartialLineMs = 5000;      // an unfinished line this old

struct ServeLimits {
    std::size_t maxClients = kMaxControlClients;
    std::size_t maxQueuedPerClient = kMaxQueuedPerClient;
    int idleMs = kClientIdleMs;
    int partialLineMs = kPartialLineMs;
};

// Shared by the serving loop and the answers on their way from the owner's
// thread, which may come after the loop ended.
struct ServerShared {
    std::mutex mutex;  // guards every client's `out`
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> clients{0};
    // Wakes the serving loop: an answer is waiting to go out. Set before
    // the loop starts.
    std::function<void()> wake;
};

// One client as the serving loop holds it; each system's loop adds what
// carries its bytes.
struct ServedClient {
    virtual ~ServedClient() = default;
    // Its end closed for good. Asked from the owner's thread too.
    virtual bool peerGone() const = 0;

    LineReader reader;
    std::string out;  // under ServerShared::mutex: the owner's thread appends
    bool closeWhenSent = false;
    bool watching = false;              // a watch keeps the connection busy
    bool readDone = false;              // it sends no more; answers still go out
    std::int64_t lastActiveMs = 0;      // a request, an answer or bytes
    std::int64_t partialSinceMs = -1;   // an unfinished line since
    std::atomic<bool> alive{true};
    std::atomic<std::size_t> queued{0};  // requests not yet answered
};

class ServedClients {
public:
    // `submit` runs on the owner's UI thread (posted through `owner`).
    using Submit = std::function<void(Request, UnitService::Reply)>;

    ServedClients(UiDispatcher& owner, Submit submit, const ServeLimits& limits, std::shared_ptr<ServerShared> shared);
    // Every client is told it is no longer alive (the loop closes them).
    ~ServedClients();
    ServedClients(const ServedClients&) = delete;
    ServedClients& operator=(const ServedClients&) = delete;

    std::size_t size() const { return clients_.size(); }
    const std::shared_ptr<ServedClient>& at(std::size_t i) const { return clients_[i]; }

    // Makes room for one more: nothing to do while below the limit; else the
    // client idle longest is taken out and returned for the loop to tell
    // (evictedLine()) and close. Null, and the newcomer is to be refused
    // (refusedLine()), when none is idle.
    struct Room {
        bool granted = false;
        std::shared_ptr<ServedClient> evicted;
    };
    Room makeRoom();
    static std::string evictedLine();
    static std::string refusedLine();
    void add(std::shared_ptr<ServedClient> client, std::int64_t nowMs);
    void remove(std::size_t i);

    // Bytes a client sent: every whole line is handed on. False when it went
    // away meanwhile (what it sent then is nobody's request).
    bool bytesCame(const std::shared_ptr<ServedClient>& client, std::string_view bytes, std::int64_t nowMs);
    // An unfinished line or an idle connection past its time is told so
    // and to be closed.
    void closeIfStale(ServedClient& client, std::int64_t nowMs);
    // What waits to go out to the client, taken out (empty: nothing); what
    // the transport did not take goes back in front with putBack.
    std::string takeOut(ServedClient& client, std::int64_t nowMs);
    void putBack(ServedClient& client, const std::string& pending, std::size_t sent);
    std::size_t outBytes(ServedClient& client);
    // The client is done with: dropped, told to close and told all, or
    // asked nothing more with every answer out.
    bool finished(ServedClient& client);

private:
    void handleLine(const std::shared_ptr<ServedClient>& client, const std::string& line);
    void queueOut(ServedClient& client, const std::string& line);
    void closeWith(ServedClient& client, const std::string& line);
    bool idle(const ServedClient& client);

    UiDispatcher& owner_;
    Submit submit_;
    ServeLimits limits_;
    std::shared_ptr<ServerShared> shared_;
    std::vector<std::shared_ptr<ServedClient>> clients_;
};

}  // namespace velmora
