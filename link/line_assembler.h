#pragma once

// Cuts the bytes from the unit into lines, one byte at a time, in one of two
// modes. The caller reads RawLineMode again before every byte, so a line that
// switches the mode takes effect from the next byte on.
//
// Normal mode: "/" starts a new line (an unfinished one is dropped); ">",
// "\", "!", carriage return and line feed end a line.
// Upgrade text (raw) mode: only backspace (8) and line feed end a line; every
// other byte belongs to the line.
// Empty lines are never reported. A line longer than 51 characters keeps its
// first 51 and the rest up to its end is thrown away; the cut line is still
// reported, so long upgrade banners stay visible. The buffer is fixed: no
// allocation, whatever arrives.

#include <cstddef>
#include <string_view>

#include "link/device_state.h"

namespace velmora {

class LineAssembler {
public:
    // Takes one byte. Returns true when it completed a line; line() then
    // views that line's bytes (1..51 of them, NUL bytes included) until the
    // next call of feed(). Returns false otherwise.
    bool feed(unsigned char byte, bool rawMode);
    std::string_view line() const { return std::string_view(buffer_, completed_); }

    // Number of characters of the open line (0: no line open).
    std::size_t pending() const { return count_; }
    // Forgets the open line (a new link starts).
    void reset();

private:
    bool endLine();

    char buffer_[kMaxLineLength + 1] = {};
    std::size_t count_ = 0;
    std::size_t completed_ = 0;  // length of the line just completed, 0 if none
};

}  // namespace velmora
