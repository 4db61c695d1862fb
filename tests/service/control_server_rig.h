#pragma once

// A control server for a test: listening in a folder of its own, its
// requests handed to `submit` on the test thread, which plays the owner's
// UI thread.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/queue_dispatcher.h"
#include "service/control_server.h"
#include "support/temp_folder.h"

namespace velmora::test {

struct ControlServerRig {
    explicit ControlServerRig(ControlServer::Submit submit) : server(owner, std::move(submit)) {}
    ~ControlServerRig() {
        server.stop();
        owner.shutdown();
    }

    QueueDispatcher owner;
    testing_support::TempFolder folder;
    std::filesystem::path path = folder / "unit.sock";
    ControlServer server;

    bool start(mode_t mode = 0) {
        ControlServer::Options o;
        o.path = path;
        o.mode = mode;
        std::string why;
        const bool ok = server.start(o, &why);
        EXPECT_TRUE(ok) << why;
        return ok;
    }
    // Hands requests over until `done`, with `turn` each round; the bound
    // only guards against a hang.
    bool serveUntil(const std::function<bool()>& done, const std::function<void()>& turn = {}) {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > bound) return false;
            owner.drain();
            if (turn) turn();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

}  // namespace velmora::test
