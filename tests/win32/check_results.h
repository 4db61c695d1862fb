#pragma once

// Pass/fail bookkeeping for the plain test programs run under Wine: one
// line per check, and last exactly "N passed, N failed".

#include "platform/win32_api.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/serial_device.h"

namespace velmora {

namespace crash_report {

// Straight to the standard output handle, past the C library: a crash may
// come while its stream lock is held.
inline void say(const char* text, int length) {
    if (length <= 0) return;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

// Last chance for an exception nobody handled: name it and end the program
// with its code, instead of leaving a silent exit code behind.
inline LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    char line[200];
    int n = std::snprintf(line, sizeof line, "CRASH: unhandled exception 0x%08lx at %p in thread %lu",
                          static_cast<unsigned long>(r->ExceptionCode), r->ExceptionAddress,
                          static_cast<unsigned long>(GetCurrentThreadId()));
    if (r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2 && n > 0 &&
        n < static_cast<int>(sizeof line))
        n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " (%s address %p)",
                           r->ExceptionInformation[0] == 0 ? "reading" : "writing",
                           reinterpret_cast<void*>(r->ExceptionInformation[1]));
    if (n >= static_cast<int>(sizeof line) - 1) n = static_cast<int>(sizeof line) - 2;
    if (n > 0) line[n++] = '\n';
    say(line, n);
    TerminateProcess(GetCurrentProcess(), r->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

inline void onTerminate() {
    std::string line = "CRASH: std::terminate";
    if (std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            line += std::string(" after an uncaught exception: ") + ex.what();
        } catch (...) {
            line += " after an uncaught exception of unknown type";
        }
    }
    line += "\n";
    say(line.data(), static_cast<int>(line.size()));
    TerminateProcess(GetCurrentProcess(), 3);
}

inline void onAbort(int) {
    static const char line[] = "CRASH: abort()\n";
    say(line, static_cast<int>(sizeof line - 1));
    TerminateProcess(GetCurrentProcess(), 3);
}

}  // namespace crash_report

struct CheckResults {
    int passed = 0;
    int failed = 0;

    // The one CheckResults of a check program is made before main runs:
    // from then on every line printed is on its way at once (a crash keeps
    // them), and a crash says what it was.
    CheckResults() {
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        SetUnhandledExceptionFilter(crash_report::onUnhandledException);
        std::set_terminate(crash_report::onTerminate);
        std::signal(SIGABRT, crash_report::onAbort);
    }

    void check(bool ok, const std::string& name, const std::string& detail = {}) {
        if (ok) {
            ++passed;
            std::printf("PASS %s\n", name.c_str());
        } else {
            ++failed;
            std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        }
        std::fflush(stdout);
    }
    void expectStatus(SerialStatus got, SerialStatus want, const std::string& name) {
        check(got == want, name,
              std::string("got \"") + serialStatusText(got) + "\", want \"" + serialStatusText(want) + "\"");
    }
    // A check that could not finish: report it and stop the program.
    [[noreturn]] void abort(const std::string& name) {
        check(false, name, "did not finish in time; stopping here");
        finish();
    }
    [[noreturn]] void finish() {
        std::printf("%d passed, %d failed\n", passed, failed);
        std::fflush(stdout);
        // ExitProcess: a thread may still be stuck after an aborted check.
        ExitProcess(failed == 0 ? 0 : 1);
    }
};

}  // namespace velmora
