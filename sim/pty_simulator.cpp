#include "sim/pty_simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace velmora::sim {

namespace {

constexpr std::size_t kLogLimit = 4u << 20;  // bytes kept per direction

std::string errnoText(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

bool makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

PtySimulator::PtySimulator(UnitConfig config, PtyOptions options)
    : options_(std::move(options)), model_(std::move(config)) {
    if (options_.bytesPerSecond <= 0) options_.bytesPerSecond = 960;
    if (options_.tickMs <= 0) options_.tickMs = 20;
}

PtySimulator::~PtySimulator() { stop(); }

std::int64_t PtySimulator::monotonicNow() const {
    if (options_.monotonicMs) return options_.monotonicMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool PtySimulator::start(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        if (master_ >= 0) ::close(master_);
        if (wakeFd_ >= 0) ::close(wakeFd_);
        master_ = wakeFd_ = -1;
        slavePath_.clear();
        return false;
    };
    if (started_) return fail("simulator already started once");
    started_ = true;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail(errnoText("posix_openpt"));
    if (grantpt(master_) != 0) return fail(errnoText("grantpt"));
    if (unlockpt(master_) != 0) return fail(errnoText("unlockpt"));
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return fail(errnoText("ptsname_r"));
    // A fresh pty echoes and maps line ends: make both sides raw before the
    // program can open the slave, or it would read its own commands back.
    if (!makeRaw(master_)) return fail(errnoText("raw master"));
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return fail(errnoText("open slave"));
    const bool slaveRaw = makeRaw(slave);
    const int savedErrno = errno;
    ::close(slave);
    if (!slaveRaw) {
        errno = savedErrno;
        return fail(errnoText("raw slave"));
    }
    int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail(errnoText("non-blocking master"));
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return fail(errnoText("eventfd"));
    slavePath_ = name;
    stopRequested_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void PtySimulator::wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    ssize_t r = ::write(wakeFd_, &one, sizeof one);
    (void)r;  // a full counter already wakes the thread
}

void PtySimulator::stop() {
    stopRequested_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    changed_.notify_all();
}

void PtySimulator::hangUp() {
    hangUpRequested_ = true;
    if (thread_.joinable()) {
        wake();
        return;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    std::lock_guard lock(mutex_);
    dropped_ = true;
    changed_.notify_all();
}

void PtySimulator::appendLog(std::vector<std::uint8_t>& log, const std::uint8_t* bytes, std::size_t n) {
    if (log.size() + n > kLogLimit) log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(std::min(log.size(), n + kLogLimit / 2)));
    log.insert(log.end(), bytes, bytes + n);
}

void PtySimulator::queueOutput(const std::string& bytes) { pending_ += bytes; }

void PtySimulator::serve() {
    using Clock = std::chrono::steady_clock;
    std::int64_t lastTick = monotonicNow();
    bool peer = true;  // someone has the slave open, as far as we know
    // Paced, each byte takes one byte time on the line and reaches the far
    // side when its stop bit has gone: it is written at the end of its slot.
    // Slots follow each other without a gap while bytes wait, so the rate
    // holds however late this thread wakes; a byte that comes while the line
    // is idle starts its slot when it comes.
    const auto byteTime = std::chrono::nanoseconds(1000000000LL / options_.bytesPerSecond);
    Clock::time_point lineFreeAt = Clock::now();
    Clock::time_point slotEnd{};
    bool slotBooked = false;
    // Paced: the program's bytes still on the line. The unit takes each one
    // only once its last bit would have arrived, one byte time after the one
    // before it (or after it was written, on an idle line).
    std::string inbox;
    Clock::time_point inboxNextAt{};
    std::uint8_t buf[4096];

    while (!stopRequested_) {
        bool dropNow = hangUpRequested_.load();
        bool havePending = false;
        {
            std::lock_guard lock(mutex_);
            const std::int64_t now = monotonicNow();
            if (now > lastTick) {
                queueOutput(model_.advance(now - lastTick));
                lastTick = now;
            }
            std::size_t arrived = 0;
            for (const auto at = Clock::now(); arrived < inbox.size() && inboxNextAt <= at; ++arrived) {
                queueOutput(model_.feed(reinterpret_cast<const std::uint8_t*>(inbox.data() + arrived), 1));
                inboxNextAt += byteTime;
            }
            inbox.erase(0, arrived);
            dropNow = dropNow || model_.hangUpRequested();
            changed_.notify_all();  // the unit's time moved: waitUntil() looks again
            if (!peer) {
                pending_.clear();  // nobody listening: answers are lost
                inbox.clear();
            }
            havePending = !pending_.empty();
        }
        if (dropNow) {
            // Whatever the unit still had to say goes out first, as far as the
            // line takes it without waiting; the far side may lose it anyway.
            {
                std::lock_guard lock(mutex_);
                if (peer && !pending_.empty()) {
                    ssize_t n = ::write(master_, pending_.data(), pending_.size());
                    if (n > 0) appendLog(sent_, reinterpret_cast<const std::uint8_t*>(pending_.data()), static_cast<std::size_t>(n));
                }
                pending_.clear();
            }
            ::close(master_);
            master_ = -1;
            std::lock_guard lock(mutex_);
            dropped_ = true;
            changed_.notify_all();
            return;
        }

        std::chrono::nanoseconds timeout = std::chrono::milliseconds(options_.tickMs);
        bool wantWrite = havePending && peer;
        if (!havePending) slotBooked = false;
        if (wantWrite && options_.paced) {
            const Clock::time_point now = Clock::now();
            if (!slotBooked) {
                slotEnd = std::max(now, lineFreeAt) + byteTime;
                slotBooked = true;
            }
            if (slotEnd > now) {
                wantWrite = false;
                timeout = std::min(timeout, std::chrono::duration_cast<std::chrono::nanoseconds>(slotEnd - now));
            }
        }

        if (!inbox.empty()) {
            const auto untilNext = inboxNextAt - Clock::now();
            timeout = std::clamp(std::chrono::duration_cast<std::chrono::nanoseconds>(untilNext),
                                 std::chrono::nanoseconds(0), timeout);
        }

        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {master_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        // Without a peer the master reports a hang-up at once and for ever:
        // sleep on the wake-up alone and look again after a tick.
        const nfds_t count = peer ? 2 : 1;
        if (!peer) timeout = std::chrono::milliseconds(options_.tickMs);
        // ppoll: a byte slot is about a millisecond, finer than poll() waits.
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
        const timespec wait{static_cast<time_t>(seconds.count()),
                            static_cast<long>((timeout - seconds).count())};
        int r = ::ppoll(fds, count, &wait, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t v;
            ssize_t n = ::read(wakeFd_, &v, sizeof v);
            (void)n;
        }
        if (!peer) {
            peer = true;  // look again at the next turn
            continue;
        }
        const short ev = fds[1].revents;
        if (ev & POLLIN) {
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard lock(mutex_);
                appendLog(received_, buf, static_cast<std::size_t>(n));
                if (options_.paced) {
                    if (inbox.empty()) inboxNextAt = Clock::now() + byteTime;
                    inbox.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
                } else {
                    queueOutput(model_.feed(buf, static_cast<std::size_t>(n)));
                }
                changed_.notify_all();
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) peer = false;
        } else if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            peer = false;
        }
        if (!peer) continue;
        if (ev & POLLOUT) {
            std::lock_guard lock(mutex_);
            const std::size_t chunk = options_.paced ? std::min<std::size_t>(1, pending_.size()) : pending_.size();
            if (chunk == 0) continue;
            ssize_t n = ::write(master_, pending_.data(), chunk);
            if (n > 0) {
                appendLog(sent_, reinterpret_cast<const std::uint8_t*>(pending_.data()), static_cast<std::size_t>(n));
                pending_.erase(0, static_cast<std::size_t>(n));
                if (options_.paced) {
                    // The next waiting byte's slot follows this one at once.
                    lineFreeAt = slotEnd;
                    slotEnd = lineFreeAt + byteTime;
                    slotBooked = !pending_.empty();
                }
                changed_.notify_all();
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                peer = false;
            }
        }
    }
}

std::vector<std::string> PtySimulator::portStates() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> states;
    for (int b = 1; b <= model_.bankCount(); ++b) states.push_back(model_.portStates(b));
    return states;
}

std::vector<std::uint8_t> PtySimulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::uint8_t> PtySimulator::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<std::string> PtySimulator::commands() const {
    std::lock_guard lock(mutex_);
    return model_.commands();
}

bool PtySimulator::waitForCommand(const std::string& body, std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        const auto& log = model_.commands();
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), body)) >= count;
    });
}

bool PtySimulator::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

bool PtySimulator::waitUntil(const std::function<bool(const UnitModel&)>& holds,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return holds(model_); });
}

bool PtySimulator::waitForLineDropped(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return dropped_.load(); });
}

}  // namespace velmora::sim
