#pragma once

// Small doubles of the window's side of the link, shared by the link tests
// that run against real ports (over ptys, and under Wine).

#include "link/device_state.h"
#include "link/link_events.h"

#include <string>
#include <vector>

namespace velmora::test {

// Records the kind of every report and the greetings; the link's other
// events are not looked at by these tests.
class RecordingLinkEvents final : public LinkEvents {
public:
    std::vector<int> kinds;
    int polling = 0;  // greetings heard
    void reportStored(std::int32_t kind) override { kinds.push_back(kind); }
    void greeted() override { ++polling; }
    bool scheduleShown(int) override { return false; }
    void linkClosing() override {}
    void linkStopped() override {}
    void linkLost() override {}
    void linkReset() override {}
    void clockSyncRequested() override {}
};

// The Detect dialog's report list.
class ListReport final : public ProbeReport {
public:
    std::vector<std::string> lines;
    void append(const std::string& l) override { lines.push_back(l); }
    void removeLast() override {
        if (!lines.empty()) lines.pop_back();
    }
};

}  // namespace velmora::test
