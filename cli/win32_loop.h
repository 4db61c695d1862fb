#pragma once

// The loop's sleep on Windows: a wait on an event object that wake() sets
// and, when given, the console stop event (console_stop_win32.h) and the
// shell's input event.

#include "cli/session.h"

namespace velmora::cli {

class Win32LoopWaiter final : public LoopWaiter {
public:
    // `stopEvent` (a HANDLE) null: no stop event.
    explicit Win32LoopWaiter(void* stopEvent = nullptr);
    ~Win32LoopWaiter() override;
    Win32LoopWaiter(const Win32LoopWaiter&) = delete;
    Win32LoopWaiter& operator=(const Win32LoopWaiter&) = delete;

    void wait(int ms) override;
    void wake() override;
    // An event whose setting also ends a wait (the shell's input); null:
    // none.
    void watchInput(void* event) { inputEvent_ = event; }

private:
    void* wakeEvent_ = nullptr;
    void* stopEvent_ = nullptr;
    void* inputEvent_ = nullptr;
};

}  // namespace velmora::cli
