#pragma once

// Where GetLastError() values become SerialStatus values for the Win32
// serial back end. Built for Windows only.

#include "platform/win32_api.h"

#include "platform/serial_device.h"

namespace velmora::win32serial {

// What the failing call was doing, because Windows reuses codes: access
// denied at open means "somebody else has the port", on an open handle it
// means the adapter went away; an aborted operation is ours when we asked
// for it (close/wake) and a dying device otherwise.
enum class ErrorContext {
    opening,    // CreateFileA
    io,         // any call on an open handle
    cancelled,  // the call ended after we cancelled it (close or wake)
};

// The one place where GetLastError() values become SerialStatus.
SerialStatus statusFromError(DWORD error, ErrorContext context);

}  // namespace velmora::win32serial
