#pragma once

// One request in the service's queue, shared by the queue's stepping
// (unit_service.cpp) and the requests' own steps (unit_service_requests.cpp).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/unit_service.h"

namespace velmora {

// How far a request has come. Each kind goes through its own few steps,
// always from `starting`; a request past `starting` has reached the unit.
enum class JobPhase {
    starting,
    switchSent,           // switching: the command is out, its poll awaited
    offSent,              // cycle: the off command is out
    pausing,              // cycle: off confirmed, the pause runs
    onSent,               // cycle: the on command is out
    answered,             // version: the unit's answer is in
    versionAsked,         // version: the version request is out
    clockSent,            // clock: the command is out, its poll awaited
    scheduleQueued,       // schedule send: the commands are queued
    polled,               // schedule save: the poll is out
    timerReportsAwaited,  // schedule save: answered, its timer reports come
    upgrading,            // upgrade: the owner carries it out
};

struct UnitService::Job {
    Request request;
    Reply reply;
    std::int64_t startedMs = -1;
    std::int64_t deadlineMs = -1;
    // Progress of the request's steps.
    JobPhase phase = JobPhase::starting;
    std::uint64_t answersAtPoll = 0;  // answers_ when the job last polled
    std::int64_t polledMs = -1;       // -1: the job has not polled
    std::int64_t waitUntilMs = -1;    // a pause the job waits out
    std::uint64_t clockErrorsAtWrite = 0;
    std::size_t commands = 0;         // schedule-send: commands queued
    std::string sent;                 // clock: the command written
    std::optional<Json> upgradeEnd;   // upgrade: the owner's final answer
    bool toldSent = false;            // the client knows the unit has it
    std::vector<std::string> warnings;  // schedule-send: records skipped
};

}  // namespace velmora
