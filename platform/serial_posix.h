#pragma once

// The termios back end with the two calls that read and apply a port's line
// settings passed in, so that a test can stand in for a driver that keeps
// only part of what it is given. makeSerialDevice() is this with the C
// library's calls.

#include "platform/serial_device.h"

#include <functional>
#include <memory>

#include <termios.h>

namespace velmora {

struct TermiosCalls {
    // Both return 0 on success, -1 with errno set otherwise, like
    // tcgetattr(fd, &out) and tcsetattr(fd, when, &in).
    std::function<int(int fd, termios& out)> get;
    std::function<int(int fd, int when, const termios& in)> set;
};

// The C library's tcgetattr and tcsetattr.
TermiosCalls systemTermiosCalls();

std::unique_ptr<SerialDevice> makePosixSerialDevice(TermiosCalls calls);

}  // namespace velmora
