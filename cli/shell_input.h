#pragma once

// What the shell reads its lines from, per system: standard input as a
// descriptor it polls (POSIX, shell_input_posix.cpp), or, on Windows, a
// thread that reads the console, a pipe or a file and sets an event while
// something waits to be taken (shell_input_win32.cpp). And the shell's wait
// between two lines while a port's owner serves it.

#include <cstddef>
#include <memory>

#include "service/owner_client.h"

namespace velmora::cli {

// What a loop waits on to wake for the shell's input: a descriptor readable
// while input waits (POSIX), an event set while it does (Windows).
#ifdef _WIN32
using InputHandle = void*;
inline constexpr InputHandle kNoInput = nullptr;
#else
using InputHandle = int;
inline constexpr InputHandle kNoInput = -1;
#endif

class ShellInput {
public:
    virtual ~ShellInput() = default;
    // Something to read now, or the end of the input.
    virtual bool ready() = 0;
    // Up to `size` bytes; 0 at the end of the input. Blocks until there is
    // something.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    virtual InputHandle handle() const = 0;
};

// This process's standard input.
std::unique_ptr<ShellInput> standardInput();
#ifndef _WIN32
// A descriptor the caller keeps open while the input is used.
std::unique_ptr<ShellInput> descriptorInput(int fd);
#endif

// Waits until `input` is ready (true) or `stop` came (false). The owner at
// the other end of `client` sends nothing between requests: when it hangs
// up meanwhile *ownerGone is set (where this system can tell it without a
// request) and the wait goes on for input.
bool waitForInputOrStop(ShellInput& input, StopHandle stop, OwnerClient& client, bool& ownerGone);

// Whether the owner behind `client` has hung up since its last answer.
bool ownerHungUp(OwnerClient& client);

}  // namespace velmora::cli
