#pragma once

// The loop's sleep on POSIX: poll() on an eventfd that wake() signals and,
// when given, the stop-signal descriptor (posix_signals.h).

#include "cli/session.h"

namespace velmora::cli {

class PosixLoopWaiter final : public LoopWaiter {
public:
    // `stopFd` -1: no stop descriptor.
    explicit PosixLoopWaiter(int stopFd = -1);
    ~PosixLoopWaiter() override;
    PosixLoopWaiter(const PosixLoopWaiter&) = delete;
    PosixLoopWaiter& operator=(const PosixLoopWaiter&) = delete;

    void wait(int ms) override;
    void wake() override;
    // A descriptor whose readability also ends a wait (the shell's input);
    // -1: none.
    void watchInput(int fd) { inputFd_ = fd; }

private:
    int wakeFd_ = -1;
    int stopFd_ = -1;
    int inputFd_ = -1;
};

}  // namespace velmora::cli
