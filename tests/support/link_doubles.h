#pragma once

// Small doubles of the window's side of the link, shared by the link tests
// that run against real ports (over ptys, and under Wine).

#include "link/device_state.h"
#include "link/link_ui.h"

#include <string>
#include <vector>

namespace velmora::test {

// Records the kind of every view update and the greeting; the rest of the
// window's part is not looked at by these tests.
class UpdateRecordingUi final : public LinkUi {
public:
    DeviceState* state = nullptr;
    std::vector<int> kinds;
    int polling = 0;
    void SyncUpdate() override { kinds.push_back(state->UpdateKind.load()); }
    void startPolling() override { ++polling; }
    bool scheduleShowsBank(int) override { return false; }
    void hidePanels() override {}
    void resetLinkUi() override {}
    void stopLinkTimers() override {}
    void closeLinkDialogs() override {}
    void startClockSyncPeriod() override {}
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
