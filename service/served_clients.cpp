#include "service/served_clients.h"

#include "platform/ui_dispatcher.h"
#include "service/unit_view.h"

namespace velmora {

namespace {

// A client that reads nothing while its answers pile up is dropped.
constexpr std::size_t kMaxPendingOutput = 8u << 20;

// Appends an answer unless the client already holds too much it has not
// read: such a client is dropped instead (under ServerShared::mutex).
void appendOut(ServedClient& c, const std::string& line) {
    if (c.out.size() + line.size() > kMaxPendingOutput) {
        c.alive = false;
        return;
    }
    c.out += line;
}

}  // namespace

ServedClients::ServedClients(UiDispatcher& owner, Submit submit, const ServeLimits& limits,
                             std::shared_ptr<ServerShared> shared)
    : owner_(owner), submit_(std::move(submit)), limits_(limits), shared_(std::move(shared)) {}

ServedClients::~ServedClients() {
    for (auto& c : clients_) c->alive = false;
    shared_->clients = 0;
}

std::string ServedClients::evictedLine() {
    return errorLine(nullptr, "closed to make room for another client: nothing was asked", kAnswerBusy);
}

std::string ServedClients::refusedLine() {
    return errorLine(nullptr, "too many clients: try again later", kAnswerBusy);
}

ServedClients::Room ServedClients::makeRoom() {
    if (clients_.size() < limits_.maxClients) return {.granted = true, .evicted = nullptr};
    // Full: the connection idle longest makes room, if any is idle.
    std::size_t oldest = clients_.size();
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        if (clients_[i]->closeWhenSent || !idle(*clients_[i])) continue;
        if (oldest == clients_.size() || clients_[i]->lastActiveMs < clients_[oldest]->lastActiveMs) oldest = i;
    }
    if (oldest == clients_.size()) return {};
    Room room{.granted = true, .evicted = clients_[oldest]};
    remove(oldest);
    return room;
}

void ServedClients::add(std::shared_ptr<ServedClient> client, std::int64_t nowMs) {
    client->lastActiveMs = nowMs;
    clients_.push_back(std::move(client));
    shared_->clients = clients_.size();
}

void ServedClients::remove(std::size_t i) {
    clients_[i]->alive = false;
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    shared_->clients = clients_.size();
}

bool ServedClients::bytesCame(const std::shared_ptr<ServedClient>& c, std::string_view bytes, std::int64_t nowMs) {
    c->lastActiveMs = nowMs;
    c->reader.feed(bytes);
    while (auto line = c->reader.next()) {
        // Lines read before the client went are no requests of anybody's.
        if (c->peerGone()) return false;
        handleLine(c, *line);
    }
    if (c->reader.overflowed()) {
        closeWith(*c, errorLine(nullptr,
                                "request longer than " + std::to_string(kMaxRequestBytes) +
                                    " bytes: connection closed",
                                kAnswerUsage));
    }
    c->partialSinceMs = c->reader.buffered() == 0 ? -1 : c->partialSinceMs < 0 ? nowMs : c->partialSinceMs;
    return true;
}

void ServedClients::closeIfStale(ServedClient& c, std::int64_t nowMs) {
    if (!c.closeWhenSent && c.partialSinceMs >= 0 && nowMs - c.partialSinceMs >= limits_.partialLineMs) {
        closeWith(c, errorLine(nullptr,
                               "a request line left unfinished for " + secondsText(limits_.partialLineMs) +
                                   ": connection closed",
                               kAnswerUsage));
    }
    if (!c.closeWhenSent && nowMs - c.lastActiveMs >= limits_.idleMs && idle(c)) {
        closeWith(c, errorLine(nullptr, "no request for " + secondsText(limits_.idleMs) + ": connection closed",
                               kAnswerBusy));
    }
}

std::string ServedClients::takeOut(ServedClient& c, std::int64_t nowMs) {
    // Answers are added from the owner's thread: take what is there under
    // the lock.
    std::string pending;
    {
        std::lock_guard lock(shared_->mutex);
        pending.swap(c.out);
    }
    if (!pending.empty()) c.lastActiveMs = nowMs;
    return pending;
}

void ServedClients::putBack(ServedClient& c, const std::string& pending, std::size_t sent) {
    if (sent >= pending.size()) return;
    std::lock_guard lock(shared_->mutex);
    c.out.insert(0, pending, sent, std::string::npos);
}

std::size_t ServedClients::outBytes(ServedClient& c) {
    std::lock_guard lock(shared_->mutex);
    return c.out.size();
}

bool ServedClients::finished(ServedClient& c) {
    if (!c.alive.load()) return true;
    const bool answered = c.readDone && !c.watching && c.queued.load() == 0;
    return (c.closeWhenSent || answered) && outBytes(c) == 0;
}

void ServedClients::handleLine(const std::shared_ptr<ServedClient>& c, const std::string& line) {
    if (blankLine(line)) return;
    RequestParse parsed = parseRequest(line);
    if (!parsed.request) {
        queueOut(*c, errorLine(parsed.id, "not a request: " + parsed.error, kAnswerUsage));
        return;
    }
    if (c->queued.load() >= limits_.maxQueuedPerClient) {
        queueOut(*c, errorLine(parsed.id,
                               "too many requests waiting on this connection (at most " +
                                   std::to_string(limits_.maxQueuedPerClient) + "): wait for their answers first",
                               kAnswerBusy));
        return;
    }
    if (parsed.request->kind == RequestKind::watch) c->watching = true;
    ++c->queued;
    // The first answer without "more" ends the request (a watch's first
    // answer too: it then only listens).
    auto answered = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<ServerShared> shared = shared_;
    UnitService::Reply reply = [shared, c, answered](const std::string& answer) {
        if (!c->alive.load() || shared->stopping.load()) return false;
        {
            std::lock_guard lock(shared->mutex);
            appendOut(*c, answer);
        }
        if (answer.find("\"more\":true") == std::string::npos && !answered->exchange(true)) --c->queued;
        shared->wake();
        return c->alive.load();
    };
    const Json id = parsed.request->id;
    Submit submit = submit_;
    Request request = std::move(*parsed.request);
    // Withdrawn when the client goes before it reaches the unit. Asked by
    // the owner right before it writes: a client that closed a moment ago
    // is gone already, whether or not the serving loop saw it.
    request.wanted = [c] { return c->alive.load() && !c->peerGone(); };
    const bool posted = owner_.post([submit, request = std::move(request), reply]() mutable {
        submit(std::move(request), std::move(reply));
    });
    if (!posted) queueOut(*c, errorLine(id, "the owner of the port is shutting down", kAnswerBusy));
}

void ServedClients::queueOut(ServedClient& c, const std::string& line) {
    std::lock_guard lock(shared_->mutex);
    appendOut(c, line);
}

void ServedClients::closeWith(ServedClient& c, const std::string& line) {
    queueOut(c, line);
    c.closeWhenSent = true;
}

// Nothing asked, nothing to send, nothing half said, no watch.
bool ServedClients::idle(const ServedClient& c) {
    std::lock_guard lock(shared_->mutex);
    return !c.watching && c.queued.load() == 0 && c.out.empty() && c.reader.buffered() == 0;
}

}  // namespace velmora
