#include "platform/serial_errors_posix.h"

#include <cerrno>

namespace velmora {

SerialStatus serialStatusFromErrno(int err, PosixSerialStep step) {
    if (err == 0) return SerialStatus::ok;
    switch (step) {
        case PosixSerialStep::open:
            switch (err) {
                case ENOENT:
                case ENODEV:
                case ENXIO:  // node exists but no driver or hardware behind it
                case ENOTDIR:
                    return SerialStatus::notFound;
                case EACCES:
                case EPERM:
                case EROFS:
                    return SerialStatus::accessDenied;
                case EBUSY:  // someone else set TIOCEXCL
                    return SerialStatus::busy;
                default:
                    return SerialStatus::failed;
            }
        case PosixSerialStep::lock:
            switch (err) {
                case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
                case EAGAIN:
#endif
                case EBUSY:
                    return SerialStatus::busy;
                case EACCES:
                case EPERM:
                    return SerialStatus::accessDenied;
                default:
                    return SerialStatus::failed;
            }
        case PosixSerialStep::io:
            switch (err) {
                case EIO:     // USB adapter pulled, far side of a pty closed
                case ENXIO:
                case ENODEV:
                case EBADF:
                case EPIPE:
                case ENOTTY:  // the node no longer answers as a terminal
                    return SerialStatus::deviceGone;
                case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
                case EAGAIN:
#endif
                case ETIMEDOUT:
                    return SerialStatus::timeout;
                default:
                    return SerialStatus::failed;
            }
    }
    return SerialStatus::failed;
}

}  // namespace velmora
