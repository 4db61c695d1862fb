// The owner's service against the simulated unit's model: each client's
// request carried out over the owner's link one at a time, in order, with
// one poll answering many status requests.

#include "service/unit_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "maintenance/clock_sync.h"
#include "service/service_rig.h"

namespace velmora {
namespace {

using test::ServiceRig;

// "s7": built by appending (g++ 12 at -O3 warns falsely on literal + string).
std::string idOf(const char* prefix, int i) {
    std::string id = prefix;
    id += std::to_string(i);
    return id;
}

TEST(UnitService, ManyStatusRequestsCostOnePollOfTheUnit) {
    ServiceRig rig;
    for (int i = 0; i < 20; ++i) rig.submit(idOf("s", i), R"({"command":"status"})");
    rig.run(200);
    EXPECT_EQ(rig.count("/C\\"), 1) << "every request after the first answered from its answer";
    for (int i = 0; i < 20; ++i) {
        const Json& a = rig.last(idOf("s", i));
        ASSERT_TRUE(a["ok"].get<bool>()) << a.dump();
        EXPECT_EQ(a["unit"]["bankCount"], 2);
        EXPECT_EQ(a["unit"]["banks"][1]["portStates"], "CCCCCCCC");
    }
    // Older than the cache: the unit is asked again.
    rig.run(kStatusCacheMs + 100);
    rig.submit("later", R"({"command":"status"})");
    rig.run(100);
    EXPECT_EQ(rig.count("/C\\"), 2);
}

TEST(UnitService, SwitchingsGoOutOneAtATimeInOrderEachConfirmedByAPoll) {
    ServiceRig rig;
    rig.submit("a", R"({"command":"switch","on":true,"bank":1,"port":3})");
    rig.submit("b", R"({"command":"switch","on":true,"bank":2,"port":0})");
    rig.submit("c", R"({"command":"switch","on":false,"bank":1,"port":3})");
    rig.run(500);
    // The bank count first (nothing known yet), then each command and the
    // poll that confirms it, none before the one ahead was confirmed.
    const std::vector<std::string> expected{"/C\\", "/O013\\", "/C\\", "/O020\\", "/C\\", "/F013\\", "/C\\"};
    EXPECT_EQ(rig.written, expected);
    for (const char* id : {"a", "b", "c"}) EXPECT_TRUE(rig.last(id)["confirmed"].get<bool>()) << id;
    EXPECT_EQ(rig.unit.portStates(1), "CCCCCCCC");
    EXPECT_EQ(rig.unit.portStates(2), "OOOOOOOO");
    EXPECT_EQ(rig.last("b")["unit"]["banks"][1]["portStates"], "OOOOOOOO");
}

TEST(UnitService, SwitchingTheUnitNeverShowsTimesOutPollingAtAPace) {
    ServiceRig rig;
    rig.submit("count", R"({"command":"status"})");
    rig.run(100);
    rig.written.clear();
    rig.unitHears = false;  // the command and the first poll are lost
    rig.submit("lost", R"({"command":"switch","on":true,"bank":1,"port":1,"timeout":3500})");
    rig.run(500);
    rig.unitHears = true;  // from here on the polls are answered: port 1 stays off
    rig.run(2900);
    EXPECT_TRUE(rig.answers["lost"].empty()) << "answered before its time-out";
    rig.run(200);
    ASSERT_EQ(rig.answers["lost"].size(), 1u);
    const Json& a = rig.last("lost");
    EXPECT_FALSE(a["ok"].get<bool>());
    EXPECT_EQ(a["exitCode"], kAnswerNotConfirmed);
    EXPECT_EQ(a["error"], notConfirmedText(true, 1, 1, 3500));
    EXPECT_EQ(rig.written.front(), "/O011\\");
    EXPECT_EQ(rig.count("/C\\"), 4) << "one poll a second, the lost one included";
}

// Right after an upgrade every bank reads "Wait a minute": that is no
// version, so the unit is asked and its new versions are the answer.
TEST(UnitService, VersionsAwaitedAfterAnUpgradeAreAskedFor) {
    ServiceRig rig;
    rig.submit("first", R"({"command":"version"})");
    rig.run(500);
    ASSERT_TRUE(rig.last("first")["ok"].get<bool>()) << rig.last("first").dump();
    const int asked = rig.count("/VER\\");
    for (int bank = 1; bank <= 2; ++bank)
        rig.state.editBank(bank, [](BankRecord& r) { copyField(r.version, kWaitVersionText); });
    rig.submit("after", R"({"command":"version"})");
    rig.run(500);
    const Json& a = rig.last("after");
    ASSERT_TRUE(a["ok"].get<bool>()) << a.dump();
    EXPECT_EQ(rig.count("/VER\\"), asked + 1);
    EXPECT_EQ(a["unit"]["banks"][0]["version"], rig.unit.version(1));
    EXPECT_EQ(a["unit"]["banks"][1]["version"], rig.unit.version(2));
}

TEST(UnitService, WrongBankAndRefusalsWriteNothing) {
    ServiceRig rig;
    rig.submit("count", R"({"command":"status"})");
    rig.run(100);
    const std::size_t before = rig.written.size();
    rig.submit("bank", R"({"command":"switch","on":true,"bank":5,"port":1})");
    rig.run(100);
    EXPECT_EQ(rig.last("bank")["exitCode"], kAnswerUsage);
    EXPECT_EQ(rig.last("bank")["error"], noSuchBankText(5, 2));
    rig.refusal = OwnerRefusal{kAnswerBusy, "upgrading"};
    rig.submit("held", R"({"command":"switch","on":true,"bank":1,"port":1})");
    EXPECT_EQ(rig.last("held")["exitCode"], kAnswerBusy);
    EXPECT_EQ(rig.written.size(), before);
}

TEST(UnitService, CycleTellsTheOffThenWaitsItsPauseThenSwitchesOn) {
    ServiceRig rig;
    rig.unit.setPort(1, 2, true);
    rig.submit("cycle", R"({"command":"cycle","bank":1,"port":2,"delay":3000})");
    rig.run(500);
    ASSERT_EQ(rig.answers["cycle"].size(), 1u);
    EXPECT_EQ(rig.answers["cycle"][0]["step"], "off");
    EXPECT_FALSE(rig.unit.portOn(1, 2));
    rig.run(2000);
    EXPECT_EQ(rig.count("/O012\\"), 0) << "on before the pause was over";
    rig.run(1500);
    ASSERT_EQ(rig.answers["cycle"].size(), 2u);
    EXPECT_TRUE(rig.answers["cycle"][1]["confirmed"].get<bool>());
    EXPECT_TRUE(rig.unit.portOn(1, 2));
}

TEST(UnitService, ScheduleIsSentCommandByCommandAndAnsweredWhenAllAreConfirmed) {
    ServiceRig rig;
    rig.submit("count", R"({"command":"status"})");
    rig.run(100);
    rig.schedulesAllowed = false;
    rig.submit("open", R"({"command":"schedule-send","text":"1 0 0 1 0 1 0 22 0"})");
    EXPECT_EQ(rig.last("open")["exitCode"], kAnswerBusy);
    rig.schedulesAllowed = true;
    // Power-off at 22:00 for bank 1 port 1, power-on daily 7:30 for bank 2 port 8.
    rig.submit("send", R"({"command":"schedule-send","text":"1 0 0 1 0 1 0 22 0\n0 1 7 1 0 2 0 7 30\n"})");
    rig.run(500);
    const Json& a = rig.last("send");
    ASSERT_TRUE(a["ok"].get<bool>()) << a.dump();
    EXPECT_EQ(a["commands"], 2);
    EXPECT_TRUE(rig.unit.timer(1, 1, 0).has_value());
    EXPECT_TRUE(rig.unit.timer(2, 8, 1).has_value());
    EXPECT_TRUE(rig.state.Queue.empty());
}

TEST(UnitService, ClockFailureOfTheUnitIsNotConfirmed) {
    sim::UnitConfig c = test::serviceUnit(1);
    c.faults.clockError = true;
    ServiceRig rig(c);
    rig.submit("clock", R"({"command":"clock"})");
    rig.run(300);
    EXPECT_EQ(rig.count("/SETTIME2026-12-08 21:00:15\\"), 1);
    EXPECT_EQ(rig.last("clock")["error"], kClockFailureText);
}

TEST(UnitService, WatchHearsEveryAnswerUntilItsClientGoes) {
    ServiceRig rig;
    int heard = 0;
    bool listening = true;
    RequestParse p = parseRequest(R"({"id":"w","command":"watch"})");
    rig.service.submit(*p.request, [&](const std::string&) {
        ++heard;
        return listening;
    });
    rig.submit("s", R"({"command":"status"})");
    rig.run(100);
    EXPECT_EQ(heard, 1);
    rig.write(cmdPoll());
    rig.run(100);
    EXPECT_EQ(heard, 2);
    listening = false;
    rig.write(cmdPoll());
    rig.run(100);
    EXPECT_EQ(rig.service.watches(), 0u);
    rig.write(cmdPoll());
    rig.run(100);
    EXPECT_EQ(heard, 3);
}

TEST(UnitService, AnOwnerThatUpgradesForNobodyRefusesAndWritesNothing) {
    ServiceRig rig;
    rig.submit("up", R"({"command":"upgrade","image":"abc"})");
    rig.run(100);
    EXPECT_EQ(rig.last("up")["exitCode"], kAnswerBusy);
    EXPECT_NE(rig.last("up").value("error", std::string()).find("Tools -> Upgrade"), std::string::npos);
    EXPECT_TRUE(rig.written.empty());
}

// A schedule saved from the unit: what it reports after a poll, as the
// schedule file's text, with the bank count; a silent unit is an error.
TEST(UnitService, ScheduleSaveAnswersWithTheUnitsOwnTimers) {
    ServiceRig rig;
    rig.submit("send", R"({"command":"schedule-send","text":"0 1 7 1 0 2 0 7 30\n"})");
    rig.run(500);
    ASSERT_TRUE(rig.last("send")["ok"].get<bool>()) << rig.last("send").dump();
    rig.submit("save", R"({"command":"schedule-save"})");
    rig.run(kTimerReportsQuietMs + 500);
    const Json& a = rig.last("save");
    ASSERT_TRUE(a["ok"].get<bool>()) << a.dump();
    EXPECT_EQ(a["banks"], 2);
    EXPECT_NE(a["text"].get<std::string>().find("2 0 7 30"), std::string::npos) << a["text"];

    ServiceRig silent;
    silent.unitHears = false;
    silent.submit("save", R"({"command":"schedule-save","timeout":1000})");
    silent.run(1500);
    ASSERT_EQ(silent.answers["save"].size(), 1u);
    EXPECT_EQ(silent.last("save")["exitCode"], kAnswerNoUnit);
}

// Metrics come from a poll answer at most a cache old; a unit that does not
// answer is reported down, which is an answer, not an error.
TEST(UnitService, MetricsSayUpOrDownAndNeverFail) {
    const struct {
        const char* name;
        bool hears;
        bool up;
    } rows[] = {{"answering_unit", true, true}, {"silent_unit", false, false}};
    for (const auto& r : rows) {
        ServiceRig rig;
        rig.unitHears = r.hears;
        rig.submit("m", R"({"command":"metrics","timeout":1000})");
        rig.run(1500);
        ASSERT_EQ(rig.answers["m"].size(), 1u) << r.name;
        const Json& a = rig.last("m");
        EXPECT_TRUE(a["ok"].get<bool>()) << r.name;
        EXPECT_EQ(a["up"].get<bool>(), r.up) << r.name;
        const std::string text = a["text"].get<std::string>();
        EXPECT_NE(text.find(r.up ? "} 1\n" : "} 0\n"), std::string::npos) << r.name << ": " << text.substr(0, 300);
    }
}

// The link goes while a cycle waits out its pause: the cycle is answered
// with the unit lost and its "on" is never written, not even later.
TEST(UnitService, LinkLostDuringACyclesPauseNeverSwitchesOn) {
    ServiceRig rig;
    rig.unit.setPort(1, 2, true);
    rig.submit("cycle", R"({"command":"cycle","bank":1,"port":2,"delay":3000})");
    rig.run(500);
    ASSERT_EQ(rig.answers["cycle"].size(), 1u);
    ASSERT_EQ(rig.answers["cycle"][0]["step"], "off");
    rig.session.linkReset();
    ASSERT_EQ(rig.answers["cycle"].size(), 2u);
    EXPECT_EQ(rig.last("cycle")["exitCode"], kAnswerNoUnit);
    rig.run(5000);
    EXPECT_EQ(rig.count("/O012\\"), 0);
    EXPECT_FALSE(rig.unit.portOn(1, 2));
    EXPECT_EQ(rig.service.pending(), 0u);
}

TEST(UnitService, LinkLossAnswersEveryWaitingRequest) {
    ServiceRig rig;
    rig.unitHears = false;
    rig.submit("a", R"({"command":"status"})");
    rig.submit("b", R"({"command":"switch","on":true,"bank":1,"port":1})");
    rig.run(100);
    rig.session.linkReset();
    for (const char* id : {"a", "b"}) {
        ASSERT_EQ(rig.answers[id].size(), 1u) << id;
        EXPECT_EQ(rig.last(id)["exitCode"], kAnswerNoUnit) << id;
    }
    EXPECT_EQ(rig.service.pending(), 0u);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

using test::ServiceRig;

// Timer commands (clear, once, daily, weekly) the owner wrote.
int timerCommands(const ServiceRig& rig) {
    int n = 0;
    for (const std::string& w : rig.written)
        n += w.size() > 1 && w[0] == '/' && std::string_view("QTDW").find(w[1]) != std::string_view::npos;
    return n;
}

// A client that goes away takes its waiting requests with it; only what
// the unit already has runs to its end. Rows: what the client left queued
// and what of it must reach the unit.
TEST(UnitServiceWithdrawal, RequestsOfAClientThatWentAwayNeverReachTheUnit) {
    const struct {
        const char* name;
        std::vector<std::string> requests;  // the first is on the wire when the client goes
        std::vector<std::string> reachUnit;  // each written exactly once
        std::vector<std::string> never;
        std::uint64_t withdrawn;
    } cases[] = {
        {"switchings",
         {R"({"command":"switch","on":true,"bank":1,"port":1})", R"({"command":"switch","on":true,"bank":1,"port":2})",
          R"({"command":"switch","on":true,"bank":2,"port":3})"},
         {"/O011\\"},
         {"/O012\\", "/O023\\"},
         2},
        {"a cycle already switched off still switches on",
         {R"({"command":"cycle","bank":1,"port":4,"delay":500})", R"({"command":"clock"})",
          R"({"command":"schedule-send","text":"1 0 0 1 0 1 0 22 0"})"},
         {"/F014\\", "/O014\\"},
         {"/SETTIME2026-12-08 21:00:15\\"},
         2},
    };
    for (const auto& c : cases) {
        ServiceRig rig;
        rig.submit("count", R"({"command":"status"})");
        rig.run(100);
        for (std::size_t i = 0; i < c.requests.size(); ++i) {
            // Appended rather than "r" + to_string(i): GCC 12 at -O3 warns
            // (-Wrestrict) inside that operator+ although nothing overlaps.
            std::string id = "r";
            id += std::to_string(i);
            rig.submit(id, c.requests[i]);
        }
        ASSERT_EQ(rig.toldSent["r0"], 1) << c.name << ": the first is on the wire";
        for (auto& [id, waiting] : rig.waiting) waiting = false;
        rig.run(8000);
        for (const std::string& command : c.reachUnit) EXPECT_EQ(rig.count(command), 1) << c.name << " " << command;
        for (const std::string& command : c.never) EXPECT_EQ(rig.count(command), 0) << c.name << " " << command;
        EXPECT_EQ(timerCommands(rig), 0) << c.name << ": the withdrawn schedule was sent";
        EXPECT_EQ(rig.service.withdrawn(), c.withdrawn) << c.name;
        EXPECT_EQ(rig.service.pending(), 0u) << c.name;
    }
}

TEST(UnitServiceWithdrawal, ARequestWhoseClientIsAlreadyGoneIsNeverQueued) {
    ServiceRig rig;
    Request r;
    r.id = 1;
    r.kind = RequestKind::switchPorts;
    r.on = true;
    r.bank = 1;
    r.port = 1;
    r.wanted = [] { return false; };
    bool answered = false;
    rig.service.submit(r, [&](const std::string&) { return answered = true; });
    rig.run(2000);
    EXPECT_EQ(rig.count("/O011\\"), 0);
    EXPECT_FALSE(answered);
    EXPECT_EQ(rig.service.withdrawn(), 1u);
}

// A schedule with nothing usable is an error, not "nothing to send"; the
// records left out are named with their lines.
TEST(UnitServiceSchedule, UnusableTextsAreRefusedAndSkippedRecordsNamed) {
    const struct {
        const char* name;
        const char* text;
        int exitCode;  // 0: sent
        std::vector<std::string> warnings;
    } cases[] = {
        {"nothing readable", "hello\n", kAnswerUsage, {"line 1: reading stopped at a record that is not nine numbers; the 0 records before it are sent"}},
        {"empty", "", kAnswerUsage, {}},
        {"only banks the unit lacks", "1 4 0 1 0 1 0 22 0\n\n1 2 0 1 0 1 0 22 0\n", kAnswerUsage,
         {"line 1: record skipped: bank 5 does not exist: the unit has 2 banks",
          "line 3: record skipped: bank 3 does not exist: the unit has 2 banks"}},
        {"one of two fits", "1 0 0 1 0 1 0 22 0\n1 0 9 1 0 1 0 22 0\n", kAnswerDone,
         {"line 2: record skipped: port 10 does not exist: a bank has ports 1 to 8"}},
    };
    for (const auto& c : cases) {
        ServiceRig rig;
        rig.submit("count", R"({"command":"status"})");
        rig.run(100);
        Json request = {{"command", "schedule-send"}, {"text", c.text}};
        rig.submit("send", request.dump());
        rig.run(1000);
        const Json& a = rig.last("send");
        EXPECT_EQ(a.value("exitCode", 0), c.exitCode) << c.name << ": " << a.dump();
        std::vector<std::string> warnings;
        if (a.contains("warnings")) warnings = a["warnings"].get<std::vector<std::string>>();
        EXPECT_EQ(warnings, c.warnings) << c.name;
        if (c.exitCode != kAnswerDone) {
            EXPECT_EQ(timerCommands(rig), 0) << c.name;
        }
    }
}

}  // namespace
}  // namespace velmora
