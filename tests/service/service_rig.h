#pragma once

// The service as an owner runs it, without a port: the owner's writes go
// straight into the simulated unit's model, and what the unit says comes
// back through the program's own line assembler and line processing to
// the owner's unit session, which tells the service. Time is the manual
// timers' time.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include "service/json.h"

#include "link/device_state.h"
#include "link/line_assembler.h"
#include "link/line_processor.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "service/unit_service.h"
#include "session/unit_session.h"
#include "sim/unit_model.h"

namespace velmora::test {

inline sim::UnitConfig serviceUnit(int banks) {
    sim::UnitConfig c;
    c.banks = banks;
    c.statusForm = sim::StatusForm::split;
    c.clockStart = LocalMoment{2026, 12, 8, 3, 21, 0, 15};
    return c;
}

struct ServiceRig {
    explicit ServiceRig(sim::UnitConfig config = serviceUnit(2)) : unit(config) {
        session.subscribe(SubscriberStage::service, serviceHears);
    }

    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 21, 0, 15}};
    ManualTimerHost timers;
    sim::UnitModel unit;
    LineAssembler assembler;
    std::string fromUnit;                 // said by the unit, not yet delivered
    std::vector<std::string> written;     // every write of the owner, in order
    bool unitHears = true;                // false: writes go nowhere (a deaf unit)
    OwnerRefusal refusal;
    bool schedulesAllowed = true;
    std::map<std::string, std::vector<Json>> answers;  // by request id

    UnitSession session{UnitSession::Deps{.state = state,
                                          .tables = tables,
                                          .clock = clock,
                                          .timers = timers,
                                          .write = [this](std::string_view t) { write(t); }},
                        SessionOptions{.steadyPolling = false}};
    UnitService service{OwnerLink{.state = state,
                                  .tables = tables,
                                  .clock = clock,
                                  .timers = timers,
                                  .session = session,
                                  .nowMs = [this] { return timers.nowMs(); },
                                  .write = [this](std::string_view t) { return write(t); },
                                  .poll = [this] { session.poll(); },
                                  .refusal = [this] { return refusal; },
                                  .schedulesAllowed = [this] { return schedulesAllowed; },
                                  .ownerKind = "serve",
                                  .device = "/dev/ttyTEST",
                                  .upgrade = {},
                                  .outletName = {}}};
    FunctionSubscriber serviceHears{[this](const UnitEvent& e) { service.viewUpdate(e.kind); },
                                    [this](LinkChange c) {
                                        if (c == LinkChange::reset) service.linkLost();
                                    }};

    bool write(std::string_view text) {
        written.emplace_back(text);
        if (unitHears) fromUnit += unit.feed(text);
        return true;
    }

    // What the unit said reaches the owner, as the reader hands it on.
    void deliver() {
        while (!fromUnit.empty()) {
            const std::string bytes = std::move(fromUnit);
            fromUnit.clear();
            for (char c : bytes) {
                if (!assembler.feed(static_cast<unsigned char>(c), state.RawLineMode.load())) continue;
                const LineOutcome out = processLine(assembler.line(), state, tables, clock.now());
                for (int i = 0; i < out.updateCount; ++i) {
                    // The window's layout step, taken before the session hears it.
                    state.ShownBankCount = state.BankCount.load();
                    session.reportStored(out.updates[static_cast<std::size_t>(i)]);
                }
                if (out.scheduleBank >= 0 && out.updateCount == 0) session.reportStored(ukScheduleRefresh);
            }
        }
    }

    // Time passes in small steps, the unit answering as it goes.
    void run(std::int64_t ms, std::int64_t stepMs = kServiceTickMs) {
        deliver();
        for (std::int64_t t = 0; t < ms; t += stepMs) {
            timers.advance(stepMs);
            deliver();
        }
    }

    std::map<std::string, int> toldSent;  // "sent" steps by request id (not in answers)
    std::map<std::string, bool> waiting;  // false: the client of that id went away

    UnitService::Reply replyTo(const std::string& id) {
        return [this, id](const std::string& line) {
            Json answer = Json::parse(line);
            if (answer.value("step", std::string()) == "sent") {
                ++toldSent[id];
            } else {
                answers[id].push_back(std::move(answer));
            }
            return true;
        };
    }
    void submit(const std::string& id, std::string_view requestJson) {
        Json object = Json::parse(requestJson);
        object["id"] = id;
        RequestParse p = parseRequest(object.dump());
        ASSERT_TRUE(p.request) << p.error;
        waiting[id] = true;
        p.request->wanted = [this, id] { return waiting[id]; };
        service.submit(*p.request, replyTo(id));
    }
    const Json& last(const std::string& id) { return answers[id].back(); }
    int count(std::string_view text) const {
        int n = 0;
        for (const std::string& w : written) n += w == text;
        return n;
    }
};

}  // namespace velmora::test
