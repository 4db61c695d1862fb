#pragma once

#include "sim/unit_config.h"

#include <cstdint>
#include <string>

namespace velmora::sim {

enum class UpgradePhase {
    idle,           // not upgrading: bytes are commands
    awaitingImage,  // prompt sent; the next byte is the first image byte
    receiving,      // image bytes arriving, one progress mark each
    stalled,        // hung loader: swallows everything, answers nothing
};

// What an image byte or the passing of time did to the upgrade.
enum class LoaderEvent {
    none,
    completed,   // image accepted; the completion line is in the output
    failed,      // "Fail" is in the output; the unit is left without firmware
    stallReset,  // a stalled loader restarted itself; no output, no firmware
    gaveUp,      // prompted, but no image came: back to what ran before
};

// The unit's firmware loader: the upgrade dialogue as seen on the line.
// Its output is upgrade text: lines end with CR LF, each progress mark is
// followed by a backspace (value 8). Times are milliseconds of the unit's
// own monotonic time.
class Loader {
public:
    explicit Loader(const UnitConfig& config);

    // Starts waiting for an image. With chatter, the two "entering upgrade"
    // lines precede the prompt (answer to the upgrade command); without it
    // only the prompt is sent (a loader asking again by itself).
    std::string prompt(bool withChatter, std::int64_t nowMs);

    // One received byte while phase() != idle: its progress mark (plus any
    // loader message, and at the end the completion or failure line) is
    // appended to out.
    LoaderEvent takeByte(std::uint8_t byte, std::int64_t nowMs, std::string& out);

    // Lets time pass: ends an image by a quiet gap; after stallResetMs of
    // quiet restarts a stalled loader, fails an image that stopped short of
    // its told length, and gives up waiting for an image that never began.
    // Output, if any, is appended to out.
    LoaderEvent advance(std::int64_t nowMs, std::string& out);

    UpgradePhase phase() const { return phase_; }
    long bytesReceived() const { return received_; }      // image bytes of the current/last upgrade
    std::int64_t lastActivityMs() const { return lastMs_; }  // prompt or last byte

    static constexpr char kBackspace = 8;

private:
    LoaderEvent finish(std::string& out);

    std::string upgradedVersion_;
    long imageLength_;
    int quietGapMs_;
    int bannerEvery_;
    int stallResetMs_;
    CompletionStyle completion_;
    int failuresLeft_;    // -1: every upgrade fails
    long stallAfter_;     // -1: no stall pending

    UpgradePhase phase_ = UpgradePhase::idle;
    long received_ = 0;
    std::int64_t lastMs_ = 0;
};

}  // namespace velmora::sim
