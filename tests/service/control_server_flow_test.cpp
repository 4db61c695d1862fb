// The control socket's flow of answers with an owner that answers at once:
// a client that reads slowly gets every answer whole and in order, one
// that reads nothing while its answers pile up is dropped, and answers that
// come after the server stopped go nowhere.

#include "service/control_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "control_server_rig.h"
#include "platform/queue_dispatcher.h"
#include "service/control_client.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using testing_support::TempFolder;

// An owner whose requests are answered by `onRequest`, on the test thread.
struct FlowRig : test::ControlServerRig {
    FlowRig()
        : ControlServerRig([this](Request r, UnitService::Reply reply) {
              if (onRequest) onRequest(std::move(r), std::move(reply));
          }) {}
    std::function<void(Request, UnitService::Reply)> onRequest;
};

std::string progressLine(int seq, std::size_t padding) {
    std::string line = R"({"id":1,"more":true,"seq":)" + std::to_string(seq) + R"(,"pad":")";
    line.append(padding, 'x');
    line += "\"}\n";
    return line;
}

// Far more than a socket takes at once: the server sends part, keeps the
// rest in front of what comes later, and the client, reading late, gets
// every line whole and in order.
TEST(ControlServerFlow, ASlowReaderGetsEveryAnswerWholeAndInOrder) {
    FlowRig rig;
    constexpr int kLines = 40;
    constexpr std::size_t kPadding = 64 * 1024;
    bool replied = false;
    rig.onRequest = [&](Request, UnitService::Reply reply) {
        for (int i = 0; i < kLines; ++i) ASSERT_TRUE(reply(progressLine(i, kPadding)));
        reply("{\"id\":1,\"ok\":true}\n");
        replied = true;
    };
    ASSERT_TRUE(rig.start());
    ControlClient client;
    ASSERT_TRUE(client.connect(rig.path));
    ASSERT_TRUE(client.sendLine("{\"id\":1,\"command\":\"status\"}\n"));
    ASSERT_TRUE(rig.serveUntil([&] { return replied; }));

    for (int i = 0; i < kLines; ++i) {
        const std::optional<std::string> line = client.receive(20000);
        ASSERT_TRUE(line) << "line " << i << " never came";
        EXPECT_EQ(*line + "\n", progressLine(i, kPadding)) << "line " << i << " is not whole or out of order";
    }
    const std::optional<std::string> last = client.receive(20000);
    ASSERT_TRUE(last);
    EXPECT_EQ(*last, "{\"id\":1,\"ok\":true}");
    EXPECT_EQ(rig.server.clientCount(), 1u) << "a client that reads is kept";
}

// A client that asks and never reads cannot make the owner hold its
// answers without end: once too much waits for it, it is dropped and the
// owner hears that nobody listens any more.
TEST(ControlServerFlow, AClientThatNeverReadsIsDroppedAndTheOwnerHearsIt) {
    FlowRig rig;
    int accepted = 0;
    bool refused = false;
    rig.onRequest = [&](Request, UnitService::Reply reply) {
        const std::string big = progressLine(0, 1024 * 1024);
        for (int i = 0; i < 32 && !refused; ++i) {
            if (reply(big)) {
                ++accepted;
            } else {
                refused = true;
            }
        }
    };
    ASSERT_TRUE(rig.start());
    ControlClient client;
    ASSERT_TRUE(client.connect(rig.path));
    ASSERT_TRUE(client.sendLine("{\"id\":1,\"command\":\"watch\"}\n"));
    ASSERT_TRUE(rig.serveUntil([&] { return refused; }));
    EXPECT_LT(accepted, 32);
    EXPECT_GE(accepted, 4) << "dropped before much was waiting";
    ASSERT_TRUE(rig.serveUntil([&] { return rig.server.clientCount() == 0; }));
    // What reaches the client is whole lines, then the end of the connection.
    while (const std::optional<std::string> line = client.receive(20000)) {
        EXPECT_EQ(*line + "\n", progressLine(0, 1024 * 1024));
    }
    EXPECT_TRUE(client.gone());
}

// Answers of requests still with the owner when the server stops go
// nowhere, and say so.
TEST(ControlServerFlow, RepliesAfterStopGoNowhere) {
    FlowRig rig;
    std::vector<UnitService::Reply> held;
    rig.onRequest = [&](Request, UnitService::Reply reply) { held.push_back(std::move(reply)); };
    ASSERT_TRUE(rig.start());
    ControlClient first, second;
    ASSERT_TRUE(first.connect(rig.path));
    ASSERT_TRUE(second.connect(rig.path));
    ASSERT_TRUE(first.sendLine("{\"id\":1,\"command\":\"status\"}\n"));
    ASSERT_TRUE(second.sendLine("{\"id\":2,\"command\":\"watch\"}\n"));
    ASSERT_TRUE(rig.serveUntil([&] { return held.size() == 2; }));
    ASSERT_TRUE(held[1]("{\"id\":2,\"more\":true}\n")) << "a live watch is listened to";

    rig.server.stop();
    EXPECT_FALSE(rig.server.running());
    for (auto& reply : held) EXPECT_FALSE(reply("{\"ok\":true}\n"));
    EXPECT_FALSE(std::filesystem::exists(rig.path)) << "the socket file outlived the server";
}

}  // namespace
}  // namespace velmora
