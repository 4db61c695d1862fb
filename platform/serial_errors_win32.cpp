#include "platform/serial_errors_win32.h"

namespace velmora::win32serial {

SerialStatus statusFromError(DWORD error, ErrorContext context) {
    switch (error) {
        case ERROR_SUCCESS:
            return SerialStatus::ok;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
            return SerialStatus::notFound;
        case ERROR_ACCESS_DENIED:
            // Windows answers a second open of a COM port with access denied.
            return context == ErrorContext::opening ? SerialStatus::busy
                                                    : SerialStatus::deviceGone;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return SerialStatus::busy;
        case ERROR_OPERATION_ABORTED:
            if (context == ErrorContext::cancelled) return SerialStatus::woken;
            // Nobody here cancelled it: the driver gave up on the device.
            return SerialStatus::deviceGone;
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return context == ErrorContext::opening ? SerialStatus::notFound
                                                    : SerialStatus::deviceGone;
        case ERROR_BROKEN_PIPE:  // the far end of a virtual port closed
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_COUNTER_TIMEOUT:
            return context == ErrorContext::opening ? SerialStatus::failed
                                                    : SerialStatus::deviceGone;
        case ERROR_SEM_TIMEOUT:
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
            return SerialStatus::timeout;
        case ERROR_INVALID_HANDLE:
            return SerialStatus::notOpen;
        default:
            return SerialStatus::failed;
    }
}

}  // namespace velmora::win32serial
