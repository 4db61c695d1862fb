#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::sim {

// How the unit words its status for one bank in answer to a poll.
enum class StatusForm {
    split,               // "Sb OOCCCCCC", "Sb GGGGGGGG" and "Cb 2.5": three lines
    combined,            // "Sb OOCCCCCC GGGGGGGG 2.5"
    combinedFlagsFirst,  // "Sb GGGGGGGG OOCCCCCC 2.5"
    rotate,              // the three above in turn, by poll number and bank
};

// How a successful upgrade ends.
enum class CompletionStyle {
    versionLine,  // "Version 1.2.04 firmware ready"
    twoWordOk,    // "Upgrade OK", followed by the status line "OK"
};

// Misbehaviour on request. Every fault is off by default.
struct Faults {
    int silentAfterPolls = -1;   // answer this many polls, then nothing at all; -1: never
    bool missingFirmware = false;  // starts in its loader: greeting "abc", waits for an image
    bool clockError = false;     // "err" after every clock set; timer flags read "F"; a power
                                 // cycle puts the clock back to clockStart
    int upgradeFailures = 0;     // this many upgrades end in "Fail"; -1: every one
    long stallAfterBytes = -1;   // the next upgrade goes quiet after this many image bytes
    bool junk = false;           // stray bytes and over-long lines around poll answers
    bool badBanks = false;       // poll and version answers carry bank numbers out of range
    int hangUpAfterPolls = -1;   // answer this many polls, drop the line at the next; -1: never
    bool versionsLostAfterUpgrade = false;  // new firmware answers polls but never its versions
};

struct UnitConfig {
    int banks = 2;                        // 1..16; other values are clamped
    std::vector<std::string> versions;    // per bank, 4 digits; missing or malformed ones read "1203"
    LocalMoment clockStart{};             // the unit's own clock at power-up
    StatusForm statusForm = StatusForm::rotate;
    std::string upgradedVersion = "1204";  // version every bank reports after an upgrade (4 digits)
    long imageLength = 0;                 // bytes that make a complete image; 0: the image ends
                                          // when the PC has been quiet for quietGapMs
    int quietGapMs = 2000;                // milliseconds
    int bannerEvery = 256;                // image bytes between two loader messages; 0: none
    int loaderPromptEveryMs = 8000;       // without firmware: prompt again after this much quiet
    int stallResetMs = 15000;             // a stalled loader restarts after this much quiet
    CompletionStyle completion = CompletionStyle::versionLine;
    Faults faults;
};

}  // namespace velmora::sim
