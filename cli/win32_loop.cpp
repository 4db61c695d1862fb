#include "cli/win32_loop.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace velmora::cli {

Win32LoopWaiter::Win32LoopWaiter(void* stopEvent)
    : wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), stopEvent_(stopEvent) {}

Win32LoopWaiter::~Win32LoopWaiter() {
    if (wakeEvent_ != nullptr) CloseHandle(wakeEvent_);
}

void Win32LoopWaiter::wait(int ms) {
    if (wakeEvent_ == nullptr) {
        // No event: sleep in short steps instead.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms < 1 ? 1 : ms));
        return;
    }
    HANDLE handles[3];
    DWORD count = 0;
    for (HANDLE h : {wakeEvent_, stopEvent_, inputEvent_})
        if (h != nullptr) handles[count++] = h;
    // The stop event stays set: the loop sees it at once and ends its wait.
    WaitForMultipleObjects(count, handles, FALSE, ms < 0 ? INFINITE : static_cast<DWORD>(ms));
}

void Win32LoopWaiter::wake() {
    if (wakeEvent_ != nullptr) SetEvent(wakeEvent_);
}

}  // namespace velmora::cli
