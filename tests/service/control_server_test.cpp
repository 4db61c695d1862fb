// The control socket with real clients on real sockets: several at once,
// one that sends junk or a line without end, one that vanishes mid-command,
// a second owner, and a peer of another user. The owner's UI thread is the
// test thread, draining the dispatcher and moving the unit's time on.

#include "service/control_server.h"

#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/queue_dispatcher.h"
#include "service/control_client.h"
#include "control_server_rig.h"
#include "service/service_rig.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using testing_support::TempFolder;

struct ServerRig : test::ServiceRig, test::ControlServerRig {
    ServerRig()
        : ControlServerRig([this](Request r, UnitService::Reply reply) {
              service.submit(std::move(r), std::move(reply));
          }) {}

    // The owner's loop until `done`: requests handed over, the unit's time
    // moving in steps while its answers come in.
    bool serveUntil(const std::function<bool()>& done) {
        const bool ok = ControlServerRig::serveUntil(done, [this] { run(kServiceTickMs); });
        if (ok) owner.drain();
        return ok;
    }
};

// "2.1": built by appending (g++ 12 at -O3 warns falsely on string chains).
std::string idOf(int client, int request) {
    std::string id = std::to_string(client);
    id += '.';
    id += std::to_string(request);
    return id;
}

// The next final answer ("more" steps skipped).
Json answerTo(ControlClient& c) {
    for (;;) {
        const std::optional<std::string> line = c.receive(20000);
        if (!line) return Json();
        Json a = Json::parse(*line, nullptr, false);
        if (!a.is_object() || !a.value("more", false)) return a;
    }
}

TEST(ControlServer, SeveralClientsAtOnceEachGetTheirOwnAnswersInOrder) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    constexpr int kClients = 5;
    std::atomic<int> finished{0};
    std::vector<std::vector<Json>> got(kClients);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            ControlClient client;
            if (client.connect(rig.path)) {
                // Each client switches its own port on, off and on again.
                for (int i = 0; i < 3; ++i) {
                    const std::string id = idOf(c, i);
                    client.sendLine(R"({"id":")" + id + R"(","command":"switch","on":)" + (i % 2 ? "false" : "true") +
                                    R"(,"bank":1,"port":)" + std::to_string(c + 1) + "}\n");
                }
                for (int i = 0; i < 3; ++i) got[static_cast<std::size_t>(c)].push_back(answerTo(client));
            }
            ++finished;
        });
    }
    ASSERT_TRUE(rig.serveUntil([&] { return finished.load() == kClients; }));
    for (auto& t : clients) t.join();
    for (int c = 0; c < kClients; ++c) {
        const auto& answers = got[static_cast<std::size_t>(c)];
        ASSERT_EQ(answers.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const Json& a = answers[static_cast<std::size_t>(i)];
            EXPECT_EQ(a.value("id", std::string()), idOf(c, i)) << a.dump();
            EXPECT_TRUE(a.value("confirmed", false)) << a.dump();
        }
        const std::string port = std::to_string(c + 1);
        EXPECT_EQ(rig.count("/O01" + port + "\\"), 2) << "port " << port;
        EXPECT_EQ(rig.count("/F01" + port + "\\"), 1) << "port " << port;
        EXPECT_TRUE(rig.unit.portOn(1, c + 1));
    }
    // One at a time: every command is followed by the poll that confirms it.
    for (std::size_t i = 0; i + 1 < rig.written.size(); ++i) {
        if (rig.written[i] != "/C\\") {
            EXPECT_EQ(rig.written[i + 1], "/C\\") << "after " << rig.written[i];
        }
    }
}

TEST(ControlServer, JunkGetsAnErrorLineAndAnEndlessLineEndsTheConnection) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    ControlClient junk;
    ASSERT_TRUE(junk.connect(rig.path));
    junk.sendLine("hello there\n");
    junk.sendLine("{\"id\":7,\"command\":\"reboot\"}\n");
    std::vector<Json> answers;
    std::atomic<bool> read{false};
    std::thread reader([&] {
        answers.push_back(answerTo(junk));
        answers.push_back(answerTo(junk));
        read = true;
    });
    ASSERT_TRUE(rig.serveUntil([&] { return read.load(); }));
    reader.join();
    EXPECT_EQ(answers[0]["exitCode"], kAnswerUsage);
    EXPECT_EQ(answers[1]["id"], 7);
    EXPECT_NE(answers[1].value("error", std::string()).find("reboot"), std::string::npos);

    ControlClient flood;
    ASSERT_TRUE(flood.connect(rig.path));
    std::atomic<bool> closed{false};
    Json last;
    std::thread writer([&] {
        const std::string chunk(64 * 1024, 'x');
        for (std::size_t sent = 0; sent <= kMaxRequestBytes + chunk.size() && flood.sendLine(chunk); sent += chunk.size()) {
        }
        last = answerTo(flood);
        while (flood.receive(2000)) {
        }
        closed = flood.gone();
    });
    ASSERT_TRUE(rig.serveUntil([&] { return closed.load(); }));
    writer.join();
    EXPECT_NE(last.value("error", std::string()).find("longer than"), std::string::npos) << last.dump();

    // The owner serves the next client as if nothing happened.
    ControlClient next;
    ASSERT_TRUE(next.connect(rig.path));
    next.sendLine("{\"id\":1,\"command\":\"status\"}\n");
    Json status;
    std::atomic<bool> answered{false};
    std::thread r([&] {
        status = answerTo(next);
        answered = true;
    });
    ASSERT_TRUE(rig.serveUntil([&] { return answered.load(); }));
    r.join();
    EXPECT_TRUE(status.value("ok", false));
}

TEST(ControlServer, ClientThatVanishesMidCommandCostsTheOwnerNothing) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    {
        ControlClient gone;
        ASSERT_TRUE(gone.connect(rig.path));
        gone.sendLine(R"({"id":1,"command":"switch","on":true,"bank":2,"port":4})" "\n");
        // Handed to the service, which asks the unit for its bank count
        // before it switches anything.
        ASSERT_TRUE(rig.owner.drainUntil([&] { return rig.service.pending() == 1; }, 10000));
    }  // closed before its answer
    // The unit is held back until the server has seen the client go.
    for (int i = 0; i < 20000 && rig.server.clientCount() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(rig.serveUntil([&] { return rig.service.pending() == 0; }));
    rig.run(2000);
    EXPECT_FALSE(rig.unit.portOn(2, 4)) << "withdrawn: nobody waits for it";
    EXPECT_EQ(rig.count("/O024\\"), 0);
    EXPECT_EQ(rig.service.withdrawn(), 1u);
}

TEST(ControlServer, SecondOwnerIsRefusedAndAStaleSocketIsReplaced) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    QueueDispatcher other;
    ControlServer second(other, [](Request, UnitService::Reply) {});
    ControlServer::Options o;
    o.path = rig.path;
    std::string why;
    EXPECT_FALSE(second.start(o, &why));
    EXPECT_NE(why.find("another owner"), std::string::npos) << why;

    struct stat st {};
    ASSERT_EQ(::stat(rig.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "only the owner's user may connect";

    // An owner that ended without cleaning up leaves a file nobody answers at.
    rig.server.stop();
    ASSERT_EQ(::symlink("/nonexistent", rig.path.c_str()), 0);
    EXPECT_TRUE(second.start(o, &why)) << why;
    second.stop();
    other.shutdown();
}

TEST(ControlSocket, FolderOfAnotherUserOrWritableByOthersIsRefused) {
    TempFolder folder;
    std::string why;
    EXPECT_TRUE(prepareSocketFolder(folder / "velmora", std::nullopt, &why)) << why;
    struct stat st {};
    ASSERT_EQ(::stat((folder / "velmora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod((folder / "velmora").c_str(), 0777), 0);
    EXPECT_FALSE(prepareSocketFolder(folder / "velmora", std::nullopt, &why));
    EXPECT_NE(why.find("other users"), std::string::npos) << why;
    EXPECT_NE(why.find("--socket-dir"), std::string::npos) << "names a folder to use instead: " << why;
}

// serve --group in a folder of its own made earlier without the group: the
// group's members could not enter to reach the socket.
TEST(ControlSocket, AFolderWithoutTheGroupsAccessIsGivenIt) {
    TempFolder folder;
    const std::filesystem::path sockets = folder / "velmora";
    std::string why;
    ASSERT_TRUE(prepareSocketFolder(sockets, std::nullopt, &why)) << why;
    ASSERT_TRUE(prepareSocketFolder(sockets, ::getegid(), &why)) << why;
    struct stat st {};
    ASSERT_EQ(::stat(sockets.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
    EXPECT_EQ(st.st_gid, ::getegid());
}

TEST(ControlSocket, PeersAreTheOwnersUserRootOrTheNamedGroup) {
    const PeerPolicy alone{1000, std::nullopt};
    const PeerPolicy withGroup{1000, 2000};
    const struct {
        const char* name;
        PeerPolicy policy;
        uid_t uid;
        gid_t gid;
        std::vector<gid_t> groups;
        bool allowed;
    } cases[] = {
        {"owner", alone, 1000, 1000, {}, true},
        {"root", alone, 0, 0, {}, true},
        {"other user", alone, 1001, 1001, {2000}, false},
        {"group by primary gid", withGroup, 1001, 2000, {}, true},
        {"group by membership", withGroup, 1001, 1001, {27, 2000}, true},
        {"other group", withGroup, 1001, 1001, {27}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(peerAllowed(c.policy, c.uid, c.gid, c.groups), c.allowed) << c.name;
}

TEST(ControlSocket, SocketNamesFollowTheRealDeviceAndStayShort) {
    TempFolder folder;
    const std::filesystem::path real = folder / "ttyUSB0";
    std::ofstream(real) << "";
    std::filesystem::create_directories(folder / "by-id");
    std::filesystem::create_symlink(real, folder / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(socketFileName((folder / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string()),
              socketFileName(real.string()));
    EXPECT_NE(socketFileName("/dev/ttyUSB0"), socketFileName("/dev/other/ttyUSB0"));
    const std::string longName = socketFileName("/dev/" + std::string(200, 'x') + "$ /weird name");
    EXPECT_LE(longName.size(), 64u);
    EXPECT_EQ(longName.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-"),
              std::string::npos);
}

// A child process with other credentials (root only): runs `body` and
// hands back what it returned.
std::string asOtherUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, ServerRig* rig,
                        const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string said = "cannot change user";
        if (::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0) said = body();
        [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    const auto ended = [&] { return ::waitpid(child, &status, WNOHANG) == child; };
    if (rig) {
        EXPECT_TRUE(rig->serveUntil(ended));
    } else {
        while (!ended()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    return said;
}

std::string statusAsClient(const std::filesystem::path& path) {
    ControlClient client;
    std::string why;
    if (!client.connect(path, &why)) return "cannot connect: " + why;
    client.sendLine("{\"id\":1,\"command\":\"status\"}\n");
    const auto line = client.receive(10000);
    return line ? *line : "no answer";
}

// As root (CI), a client running as user nobody reaches the socket (made
// reachable on purpose) and is turned away by its credentials - unless it
// holds the owner's group, if only as a supplementary group of its process
// that the user database does not list (systemd's SupplementaryGroups=).
TEST(ControlServer, PeersAreCheckedByTheirProcessCredentials) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    constexpr gid_t kServiceGroup = 48123;  // in no user's entry of /etc/group
    const struct {
        const char* name;
        std::optional<gid_t> group;  // the owner's --group
        std::vector<gid_t> peerGroups;
        bool allowed;
    } cases[] = {
        {"another user", std::nullopt, {}, false},
        {"another user, another group", kServiceGroup, {65534}, false},
        {"a member by its process only", kServiceGroup, {kServiceGroup}, true},
    };
    for (const auto& c : cases) {
        ServerRig rig;
        ASSERT_EQ(::chmod(rig.folder.path().c_str(), 0755), 0);
        ControlServer::Options o;
        o.path = rig.path;
        o.group = c.group;
        o.mode = 0666;
        std::string why;
        ASSERT_TRUE(rig.server.start(o, &why)) << why;
        const std::string said =
            asOtherUser(65534, 65534, c.peerGroups, &rig, [&] { return statusAsClient(rig.path); });
        if (c.allowed) {
            EXPECT_NE(said.find("\"ok\":true"), std::string::npos) << c.name << ": " << said;
        } else {
            EXPECT_NE(said.find("not allowed"), std::string::npos) << c.name << ": " << said;
            EXPECT_TRUE(rig.written.empty()) << c.name << ": the stranger's request reached the unit";
        }
    }
}

// Where a client may believe an owner: its own or root's private folder,
// or a service's folder it was let into - never one anybody could make.
TEST(ControlSocket, FoldersAreTrustedOnlyWhereNoStrangerCouldListen) {
    TempFolder top;
    const auto make = [&](const char* name, mode_t mode, uid_t uid, gid_t gid) {
        const std::filesystem::path p = top / name;
        std::filesystem::create_directories(p);
        EXPECT_EQ(::chown(p.c_str(), uid, gid), 0);
        EXPECT_EQ(::chmod(p.c_str(), mode), 0);
        return p;
    };
    const uid_t me = ::geteuid();
    const gid_t myGroup = ::getegid();
    EXPECT_TRUE(socketFolderTrust(make("own", 0700, me, myGroup)).trusted);
    EXPECT_FALSE(socketFolderTrust(make("own-open", 0777, me, myGroup)).trusted);
    EXPECT_FALSE(socketFolderTrust(make("own-group-writable", 0770, me, myGroup)).trusted);
    EXPECT_FALSE(socketFolderTrust(top / "missing").trusted);
    std::filesystem::create_directory_symlink(top / "own", top / "link");
    EXPECT_FALSE(socketFolderTrust(top / "link").trusted) << "a link could point anywhere later";
    if (me != 0) GTEST_SKIP() << "the other users' cases need root";
    ASSERT_EQ(::chmod(top.path().c_str(), 0755), 0);
    // A service's folder (serve --group) in a parent only root writes.
    const SocketTrust service = socketFolderTrust(make("service", 0750, 65534, myGroup));
    EXPECT_TRUE(service.trusted) << service.why;
    EXPECT_NE(std::find(service.answerers.begin(), service.answerers.end(), 65534u), service.answerers.end());
    EXPECT_FALSE(socketFolderTrust(make("service-open", 0755, 65534, myGroup)).trusted);
    EXPECT_FALSE(socketFolderTrust(make("not-my-group", 0750, 65534, 65534)).trusted);
    // The same folder where anybody may create names (/tmp) is a stranger's.
    ASSERT_EQ(::chmod(top.path().c_str(), 01777), 0);
    const SocketTrust sticky = socketFolderTrust(top / "service");
    EXPECT_FALSE(sticky.trusted);
    EXPECT_NE(sticky.why.find("another user"), std::string::npos) << sticky.why;
}

// A listener of another user in a folder the client trusts (root made the
// socket, the listener then became nobody) gets no byte of the request.
TEST(ControlClient, AListenerOfAnotherUserIsNotBelieved) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    const std::filesystem::path path = folder / "stranger.sock";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.string().size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // The stranger listens (its credentials are those of listen()) and
        // reports any byte it receives.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0) ::_exit(2);
        const int peer = ::accept(fd, nullptr, nullptr);
        char byte = 0;
        ::_exit(peer >= 0 && ::recv(peer, &byte, 1, 0) > 0 ? 1 : 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // lets the child listen; a late listen only refuses
    ControlClient client;
    std::string why;
    const bool connected = client.connect(path, &why);
    EXPECT_FALSE(connected);
    EXPECT_TRUE(client.untrusted()) << why;
    EXPECT_NE(why.find("another user"), std::string::npos) << why;
    client.sendLine("{\"id\":1,\"command\":\"status\"}\n");
    ::close(fd);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "the stranger received the request";
}

// The client's next line, read on a thread while the owner's loop runs.
std::optional<std::string> nextLineServed(ServerRig& rig, ControlClient& client) {
    std::optional<std::string> said;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        said = client.receive(20000);
        done = true;
    });
    const bool served = rig.serveUntil([&] { return done.load(); });
    reader.join();
    EXPECT_TRUE(served);
    return said;
}

// Connections that hold a place without using it are closed; one with a
// watch keeps its place. A full owner makes room by closing the longest
// idle one, and turns a newcomer away only when every place is busy.
TEST(ControlServer, IdleAndUnfinishedConnectionsGiveTheirPlaceUp) {
    ServerRig rig;
    ControlServer::Options o;
    o.path = rig.path;
    o.idleMs = 400;
    o.partialLineMs = 400;
    o.maxClients = 3;
    std::string why;
    ASSERT_TRUE(rig.server.start(o, &why)) << why;
    ControlClient idle, trickle, watcher;
    ASSERT_TRUE(idle.connect(rig.path));
    ASSERT_TRUE(trickle.connect(rig.path));
    ASSERT_TRUE(watcher.connect(rig.path));
    trickle.sendLine("{\"id\":1,");
    watcher.sendLine("{\"id\":\"w\",\"command\":\"watch\"}\n");
    std::vector<std::string> idleSaid, trickleSaid;
    std::atomic<int> closed{0};
    std::thread readers([&] {
        for (auto* c : {&idle, &trickle}) {
            auto& said = c == &idle ? idleSaid : trickleSaid;
            while (auto line = c->receive(20000)) said.push_back(*line);
            closed += c->gone();
        }
    });
    ASSERT_TRUE(rig.serveUntil([&] { return closed.load() == 2; }));
    readers.join();
    ASSERT_FALSE(idleSaid.empty());
    EXPECT_NE(idleSaid.back().find("no request for"), std::string::npos) << idleSaid.back();
    ASSERT_FALSE(trickleSaid.empty());
    EXPECT_NE(trickleSaid.back().find("unfinished"), std::string::npos) << trickleSaid.back();
    // The clients see their end as the owner closes them, a moment before
    // it forgets them: the count settles at one, the watcher.
    EXPECT_TRUE(rig.serveUntil([&] { return rig.server.clientCount() == 1u; }))
        << "the watcher stays; clients now: " << rig.server.clientCount();

    // Full of watchers: the next is turned away with the owner's reason.
    ControlClient w2, w3, late;
    ASSERT_TRUE(w2.connect(rig.path));
    w2.sendLine("{\"id\":\"w\",\"command\":\"watch\"}\n");
    ASSERT_TRUE(w3.connect(rig.path));
    ASSERT_TRUE(rig.serveUntil([&] { return rig.server.clientCount() == 3; }));
    // w3 is idle: a newcomer takes its place.
    ASSERT_TRUE(late.connect(rig.path));
    const std::optional<std::string> w3Said = nextLineServed(rig, w3);
    ASSERT_TRUE(w3Said);
    EXPECT_NE(w3Said->find("make room"), std::string::npos) << *w3Said;
    late.sendLine("{\"id\":\"w\",\"command\":\"watch\"}\n");
    ASSERT_TRUE(rig.serveUntil([&] { return rig.service.watches() == 3; }));
    ControlClient refused;
    ASSERT_TRUE(refused.connect(rig.path));
    const std::optional<std::string> refusedSaid = nextLineServed(rig, refused);
    ASSERT_TRUE(refusedSaid);
    EXPECT_NE(refusedSaid->find("too many clients"), std::string::npos) << *refusedSaid;
}

// One connection cannot queue without end, and what it queued goes with it.
TEST(ControlServer, AConnectionsQueueIsBoundedAndLeavesWithIt) {
    ServerRig rig;
    ControlServer::Options o;
    o.path = rig.path;
    o.maxQueuedPerClient = 4;
    std::string why;
    ASSERT_TRUE(rig.server.start(o, &why)) << why;
    ControlClient flood;
    ASSERT_TRUE(flood.connect(rig.path));
    std::string lines;
    for (int i = 0; i < 10; ++i)
        lines += R"({"id":)" + std::to_string(i) + R"(,"command":"switch","on":true,"bank":1,"port":)" +
                 std::to_string(i % 8 + 1) + "}\n";
    flood.sendLine(lines);
    std::vector<Json> refusals;
    std::thread reader([&] {
        while (refusals.size() < 6) {
            const Json a = answerTo(flood);
            if (a.is_null()) break;
            if (a.value("error", std::string()).find("too many requests") != std::string::npos) refusals.push_back(a);
        }
    });
    // The refusals come from the server itself: the owner is not asked.
    reader.join();
    ASSERT_EQ(refusals.size(), 6u);
    EXPECT_EQ(refusals.front()["id"], 4);
    EXPECT_EQ(refusals.front()["exitCode"], kAnswerBusy);
    // Gone with its four still waiting for the owner.
    flood.close();
    for (int i = 0; i < 20000 && rig.server.clientCount() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(rig.serveUntil([&] { return rig.service.pending() == 0; }));
    rig.run(3000);
    EXPECT_EQ(rig.written, std::vector<std::string>{}) << "a request of a client that went away reached the unit";
    EXPECT_EQ(rig.service.withdrawn(), 4u);
}

// Blank lines are no requests and get no answers: a client cannot make the
// owner write for it by sending nothing.
TEST(ControlServer, BlankLinesAreSkippedWithoutAnswers) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    ControlClient client;
    ASSERT_TRUE(client.connect(rig.path));
    client.sendLine(std::string(100000, '\n') + "{\"id\":\"after\",\"command\":\"hello\"}\n");
    Json first;
    std::atomic<bool> got{false};
    std::thread r([&] {
        first = answerTo(client);
        got = true;
    });
    ASSERT_TRUE(rig.serveUntil([&] { return got.load(); }));
    r.join();
    EXPECT_EQ(first.value("id", std::string()), "after") << first.dump();
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A client that shuts its writing down after its requests (a pipe into a
// socket tool) still gets their answers; one that closes for good gets
// nothing run for it.
TEST(ControlServer, AHalfClosedClientStillHearsItsAnswers) {
    ServerRig rig;
    ASSERT_TRUE(rig.start());
    ControlClient client;
    ASSERT_TRUE(client.connect(rig.path));
    client.sendLine("{\"id\":\"half\",\"command\":\"switch\",\"on\":true,\"bank\":1,\"port\":5}\n");
    ASSERT_EQ(::shutdown(client.fd(), SHUT_WR), 0);
    Json answer;
    std::atomic<bool> got{false};
    std::thread r([&] {
        answer = answerTo(client);
        got = true;
    });
    ASSERT_TRUE(rig.serveUntil([&] { return got.load(); }));
    r.join();
    EXPECT_EQ(answer.value("id", std::string()), "half") << answer.dump();
    EXPECT_TRUE(answer.value("confirmed", false)) << answer.dump();
    EXPECT_TRUE(rig.unit.portOn(1, 5));
    ASSERT_TRUE(rig.serveUntil([&] { return rig.server.clientCount() == 0; })) << "closed once answered";
}

}  // namespace
}  // namespace velmora
