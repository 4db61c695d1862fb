#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace velmora::sim {

// The unit's receiver for the PC's commands "/body\". A "/" starts a new
// command (dropping an unfinished one), a "\" completes it; bytes outside a
// command are ignored. A body longer than kMaxBody is dropped whole, and the
// receiver waits for the next "/".
class CommandFramer {
public:
    static constexpr std::size_t kMaxBody = 64;  // characters

    // Takes one byte. Returns the body of the command it completes, or
    // nothing (byte consumed, no command complete yet or the byte ignored).
    std::optional<std::string> push(unsigned char c);

    // Forgets a half-received command (the unit switched modes).
    void reset();

private:
    std::string body_;
    bool inCommand_ = false;
};

}  // namespace velmora::sim
