#pragma once

// The order the unit is looked for in when no port is given: every listed
// port in turn, the first that answers wins. The Detect dialog draws each
// step as it goes; velmoractl only wants the answer.

#include <atomic>
#include <functional>

namespace velmora {

struct PortSearch {
    int count = 0;  // list positions 1..count
    // True when the unit answered at `position`.
    std::function<bool(int position)> probe;
    // Set from another thread to end the search before its next position.
    // May be null.
    const std::atomic<bool>* stop = nullptr;
    // Around each probe, for whoever shows the search. Both may be empty.
    std::function<void(int position)> beforeProbe;
    std::function<void(int position, bool found)> afterProbe;
};

struct PortSearchResult {
    int found = 0;   // the position that answered, 0 when none did
    int probed = 0;  // positions probed
};

PortSearchResult searchPorts(const PortSearch& search);

}  // namespace velmora
