#pragma once

// One request in the service's queue, shared by the queue's stepping
// (unit_service.cpp) and the requests' own steps (unit_service_requests.cpp).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/unit_service.h"

namespace velmora {

struct UnitService::Job {
    Request request;
    Reply reply;
    std::int64_t startedMs = -1;
    std::int64_t deadlineMs = -1;
    // Progress of the request's steps.
    int phase = 0;
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
