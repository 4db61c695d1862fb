#pragma once

// What one unit's session tells the parts of the program that follow the
// unit: each report the reader stored, as a value, and the steps of the
// link's life. The subscribers are called on the UI thread, stage by stage.

#include <cstdint>
#include <functional>
#include <utility>

namespace velmora {

// One report of the unit, as it was stored. Subscribers read the record of
// `bank` from the device state; none changes what the others are told.
struct UnitEvent {
    std::int32_t kind = 0;       // one of the uk* values
    int bank = 0;                // the bank the report named (ReportedBank)
    // The unit's bank count differs from the one the window is laid out
    // for: the report is the layout step, nothing else is acted on.
    bool layoutChanged = false;
};

// Steps of the link's life, in the order a subscriber may hear them.
enum class LinkChange {
    greeted,             // "xyz": polling starts
    closing,             // Disconnect or watchdog: the link is about to close
    stopped,             // the port was open and is closed now
    lost,                // the unit was lost (watchdog, not found)
    reset,               // everything learnt of the unit is forgotten
    clockSyncRequested,  // the information request went out with SetRTC on
    pollingPaused,       // an upgrade holds the line
    pollingResumed,      // and gave it back
};

// Who hears first: the window draws before the maintenance work runs,
// which runs before the owner's service, which runs before the history.
enum class SubscriberStage { view, maintenance, service, history };

class UnitSubscriber {
public:
    virtual ~UnitSubscriber() = default;
    virtual void unitReported(const UnitEvent& event) = 0;
    virtual void linkChanged(LinkChange change) { (void)change; }
};

// A subscriber made of two functions; either may be empty.
class FunctionSubscriber final : public UnitSubscriber {
public:
    explicit FunctionSubscriber(std::function<void(const UnitEvent&)> reported,
                                std::function<void(LinkChange)> changed = {})
        : reported_(std::move(reported)), changed_(std::move(changed)) {}
    void unitReported(const UnitEvent& event) override {
        if (reported_) reported_(event);
    }
    void linkChanged(LinkChange change) override {
        if (changed_) changed_(change);
    }

private:
    std::function<void(const UnitEvent&)> reported_;
    std::function<void(LinkChange)> changed_;
};

}  // namespace velmora
