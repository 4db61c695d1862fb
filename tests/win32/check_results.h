#pragma once

// Pass/fail bookkeeping for the plain test programs run under Wine: one
// line per check, and last exactly "N passed, N failed".

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/serial_device.h"

namespace velmora {

struct CheckResults {
    int passed = 0;
    int failed = 0;

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
