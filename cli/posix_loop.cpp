#include "cli/posix_loop.h"

#include <cerrno>
#include <cstdint>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velmora::cli {

PosixLoopWaiter::PosixLoopWaiter(int stopFd) : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), stopFd_(stopFd) {}

PosixLoopWaiter::~PosixLoopWaiter() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void PosixLoopWaiter::wait(int ms) {
    if (wakeFd_ < 0) {
        // No eventfd: sleep in short steps instead.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms < 1 ? 1 : ms));
        return;
    }
    pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {inputFd_, POLLIN, 0}};
    const int r = ::poll(fds, 3, ms);  // negative descriptors are skipped
    if (r > 0 && (fds[0].revents & POLLIN)) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &value, sizeof value);
    }
}

void PosixLoopWaiter::wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

}  // namespace velmora::cli
