#include "cli/shell_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::cli {

namespace {

bool readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

class DescriptorInput final : public ShellInput {
public:
    explicit DescriptorInput(int fd) : fd_(fd) {}
    bool ready() override { return readable(fd_, 0); }
    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n < 0 && errno == EINTR) continue;
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }
    InputHandle handle() const override { return fd_; }

private:
    const int fd_;
};

}  // namespace

std::unique_ptr<ShellInput> descriptorInput(int fd) { return std::make_unique<DescriptorInput>(fd); }

std::unique_ptr<ShellInput> standardInput() { return descriptorInput(STDIN_FILENO); }

bool waitForInputOrStop(ShellInput& input, StopHandle stop, OwnerClient& client, bool& ownerGone) {
    for (;;) {
        pollfd fds[3] = {{input.handle(), POLLIN, 0}, {stop, POLLIN, 0}, {ownerGone ? -1 : client.fd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents & POLLIN) return false;
        if (fds[0].revents & (POLLIN | POLLHUP)) return true;
        // Nothing is expected from the owner between requests: it went.
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) ownerGone = true;
    }
}

bool ownerHungUp(OwnerClient& client) { return client.gone(); }

}  // namespace velmora::cli
