#pragma once

#include "platform/serial_device.h"

namespace velmora {

// Which step of the POSIX back end an errno came from: the same code means
// different things at different steps (ENXIO at open is "no such device",
// ENXIO on an open port is "the device went away").
enum class PosixSerialStep {
    open,  // open() of the device node
    lock,  // flock() / TIOCEXCL that make the port ours alone
    io,    // any call on a port that is open: read, write, poll, ioctl, tcsetattr
};

// The one place where errno values become SerialStatus values.
//  open: ENOENT, ENODEV, ENXIO, ENOTDIR -> notFound; EACCES, EPERM, EROFS ->
//        accessDenied; EBUSY -> busy; anything else -> failed.
//  lock: EWOULDBLOCK/EAGAIN, EBUSY -> busy; EACCES, EPERM -> accessDenied;
//        anything else -> failed.
//  io:   EIO, ENXIO, ENODEV, EBADF, EPIPE, ENOTTY -> deviceGone; EAGAIN /
//        EWOULDBLOCK / ETIMEDOUT -> timeout; anything else -> failed.
// err 0 gives ok at every step.
SerialStatus serialStatusFromErrno(int err, PosixSerialStep step);

}  // namespace velmora
