// velmoractl as a client of the port's owner: what it makes of the owner's
// refusals, which come without a request id, and of the owner's silence.

#include "cli/through_owner.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/queue_dispatcher.h"
#include "service/control_server.h"
#include "support/temp_folder.h"

namespace velmora::cli {
namespace {

using testing_support::TempFolder;

// A refusal is the owner's word with its exit code, not "the owner went
// away": the owner said why before it closed.
TEST(ThroughOwner, RefusalsCarryTheOwnersWordsAndExitCode) {
    TempFolder folder;
    QueueDispatcher loop;
    ControlServer server(loop, [](Request, UnitService::Reply) {});
    ControlServer::Options o;
    o.path = folder / "unit.sock";
    o.maxClients = 0;  // every client is one too many
    std::string why;
    ASSERT_TRUE(server.start(o, &why)) << why;
    ControlClient client;
    ASSERT_TRUE(client.connect(o.path, &why)) << why;
    Request hello;
    hello.id = 1;
    hello.kind = RequestKind::hello;
    const Json answer = callOwner(client, hello, 10000, -1);
    EXPECT_EQ(answer.value("exitCode", 0), kAnswerBusy) << answer.dump();
    EXPECT_NE(answer.value("error", std::string()).find("too many clients"), std::string::npos) << answer.dump();
    server.stop();
    loop.shutdown();
}

}  // namespace
}  // namespace velmora::cli
