#pragma once

// The port's owner without a window: what `velmoractl serve` and a shell
// that holds the port itself run. Its unit session keeps the link as the
// window's does (a poll every five seconds, the 20 s watchdog); it carries
// out requests through a UnitService, and when the unit goes away
// (watchdog, hang-up) answers everything waiting, then tries to connect
// again every few seconds until the unit is back.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/session.h"
#include "service/unit_service.h"

namespace velmora::cli {

inline constexpr int kReconnectEveryMs = 2000;

class HeadlessOwner {
public:
    // `device`: the port to hold (the probe's find when empty).
    // `upgradesForClients`: carries out the clients' firmware upgrades
    // (serve); otherwise they are refused.
    HeadlessOwner(Session& session, std::string device, std::string ownerKind, bool upgradesForClients = false);
    ~HeadlessOwner();
    HeadlessOwner(const HeadlessOwner&) = delete;
    HeadlessOwner& operator=(const HeadlessOwner&) = delete;

    // The first connection, as one-shot commands connect.
    Session::Connection connect(int timeoutMs);
    // Runs the owner's loop until `done` holds or a stop signal came
    // (Wait::stopped); a lost unit is taken up again, not returned.
    Wait run(const std::function<bool()>& done);

    UnitService& service() { return *service_; }
    bool linkUp() const { return up_; }
    const std::string& device() const { return device_; }

private:
    void lost();
    // A client's firmware upgrade (serve): the window's upgrade, its file
    // chooser answered with the image, its progress and messages told to
    // the client, the end once the unit has its new firmware or gave up.
    void upgrade(const std::string& image, std::function<void(Json)> progress, std::function<void(Json)> done);
    void endUpgrade(Json answer);
    struct ClientUpgrade;
    std::unique_ptr<ClientUpgrade> upgrade_;
    std::function<void(Json)> upgradeDone_;

    Session& s_;
    std::string device_;
    std::unique_ptr<UnitService> service_;
    bool up_ = false;
    std::int64_t nextAttemptMs_ = 0;
};

}  // namespace velmora::cli
