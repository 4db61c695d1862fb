#include "platform/console_stop_win32.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace velmora {

namespace {

// How long a close waits for the program's own end: Windows allows a
// console handler about five seconds before it ends the process anyway.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<bool> installed{false};
std::atomic<int> stopSignal{0};
HANDLE stopEvent = nullptr;
HANDLE doneEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    int number = 0;
    switch (type) {
        case CTRL_C_EVENT: number = SIGINT; break;
        case CTRL_BREAK_EVENT: number = SIGBREAK; break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: number = SIGTERM; break;
        default: return FALSE;
    }
    int none = 0;
    stopSignal.compare_exchange_strong(none, number);
    SetEvent(stopEvent);
    if (number == SIGTERM) WaitForSingleObject(doneEvent, kCloseGraceMs);
    return TRUE;
}

}  // namespace

std::unique_ptr<ConsoleStop> ConsoleStop::install(std::string* error) {
    bool expected = false;
    if (!installed.compare_exchange_strong(expected, true)) {
        if (error) *error = "a console stop handler is installed already";
        return nullptr;
    }
    stopSignal = 0;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    doneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent == nullptr || doneEvent == nullptr || !SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        if (error) *error = "cannot set up the console stop handler (error " + std::to_string(GetLastError()) + ")";
        if (stopEvent != nullptr) CloseHandle(stopEvent);
        if (doneEvent != nullptr) CloseHandle(doneEvent);
        stopEvent = doneEvent = nullptr;
        installed = false;
        return nullptr;
    }
    return std::unique_ptr<ConsoleStop>(new ConsoleStop());
}

ConsoleStop::~ConsoleStop() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    // A close still waiting in the handler may go on now.
    SetEvent(doneEvent);
    CloseHandle(stopEvent);
    // The done event stays: a handler thread may still be waking on it.
    stopEvent = nullptr;
    installed = false;
}

void* ConsoleStop::event() const { return stopEvent; }

int ConsoleStop::signalNumber() const { return stopSignal.load(); }

void ConsoleStop::finished() { SetEvent(doneEvent); }

}  // namespace velmora
