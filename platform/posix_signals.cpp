#include "platform/posix_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

// Only async-signal-safe state: a lock-free atomic and plain descriptors.
std::atomic<int> gSignal{0};
std::atomic<bool> gInstalled{false};
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[kSignalCount];
struct sigaction gPreviousPipe;

static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int sig) {
    const int savedErrno = errno;
    int expected = 0;
    gSignal.compare_exchange_strong(expected, sig);
    const char byte = static_cast<char>(sig);
    // A full pipe already says "stop"; nothing to do about a failure here.
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

std::unique_ptr<StopSignals> StopSignals::install(std::string* error) {
    bool expected = false;
    if (!gInstalled.compare_exchange_strong(expected, true)) {
        if (error) *error = "stop signals are already being handled";
        return nullptr;
    }
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::strerror(errno);
        gInstalled = false;
        return nullptr;
    }
    gSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted calls: the loop learns of the signal from the pipe.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignalCount; ++i) ::sigaction(kStopSignals[i], &action, &gPrevious[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &gPreviousPipe);
    return std::unique_ptr<StopSignals>(new StopSignals());
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < kSignalCount; ++i) ::sigaction(kStopSignals[i], &gPrevious[i], nullptr);
    ::sigaction(SIGPIPE, &gPreviousPipe, nullptr);
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
    gSignal = 0;
    gInstalled = false;
}

int StopSignals::fd() const { return gPipe[0]; }

int StopSignals::signalNumber() const { return gSignal.load(); }

}  // namespace velmora
