// The owner's pipe on Windows (run under Wine): its access list as Windows
// reads it back, one owner per name, and the user a client finds behind a
// pipe it opened.

#include "service/control_pipe_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "service/control_pipe.h"

namespace velmora {
namespace {

using namespace win32pipe;

struct Closing {
    HANDLE h;
    ~Closing() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

std::string testPipe(const char* what) {
    return controlPipeName("COM" + std::to_string(100 + (GetCurrentProcessId() % 100))) + "-" + what;
}

TEST(ControlPipeWin32, ThisProcessHasAUser) {
    std::string why;
    const std::string me = currentUserSid(&why);
    EXPECT_EQ(me.rfind("S-1-", 0), 0u) << me << " " << why;
}

TEST(ControlPipeWin32, TheAccessListReadsBackAsWritten) {
    std::string why;
    const std::string me = currentUserSid(&why);
    ASSERT_FALSE(me.empty()) << why;
    const auto security = PipeSecurity::fromSddl(pipeSecuritySddl(me, std::nullopt), &why);
    ASSERT_TRUE(security) << why;
    const std::string list = security->accessListSddl();
    EXPECT_EQ(list.rfind("D:P", 0), 0u) << list;
    EXPECT_NE(list.find(me), std::string::npos) << list;
    EXPECT_NE(list.find(";SY)"), std::string::npos) << list;
    EXPECT_NE(list.find(";BA)"), std::string::npos) << list;
    EXPECT_EQ(list.find(";WD)"), std::string::npos) << "everyone admitted: " << list;

    EXPECT_FALSE(PipeSecurity::fromSddl("D:P(A;;GA;;;not-a-sid)", &why));
    EXPECT_FALSE(why.empty());
}

// Wine leaves FILE_FLAG_FIRST_PIPE_INSTANCE unenforced.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(ControlPipeWin32, ANameIsTakenWhileAnInstanceLives) {
    std::string why;
    const auto security = PipeSecurity::fromSddl(pipeSecuritySddl(currentUserSid(&why), std::nullopt), &why);
    ASSERT_TRUE(security) << why;
    const std::string name = testPipe("taken");
    EXPECT_FALSE(pipeNameTaken(name));
    DWORD error = 0;
    {
        Closing owner{createPipeInstance(name, true, *security, &error)};
        ASSERT_NE(owner.h, INVALID_HANDLE_VALUE) << errorText(error);
        EXPECT_TRUE(pipeNameTaken(name));
        // A client connected to it: still taken.
        Closing client{CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
        ASSERT_NE(client.h, INVALID_HANDLE_VALUE) << errorText(GetLastError());
        EXPECT_TRUE(pipeNameTaken(name));
    }
    EXPECT_FALSE(pipeNameTaken(name)) << "gone with its last instance";
}

TEST(ControlPipeWin32, ASecondFirstInstanceIsRefused) {
    if (underWine()) GTEST_SKIP() << "Wine does not enforce FILE_FLAG_FIRST_PIPE_INSTANCE (pipeNameTaken covers it)";
    std::string why;
    const auto security = PipeSecurity::fromSddl(pipeSecuritySddl(currentUserSid(&why), std::nullopt), &why);
    ASSERT_TRUE(security) << why;
    const std::string name = testPipe("owner");
    DWORD error = 0;
    Closing first{createPipeInstance(name, true, *security, &error)};
    ASSERT_NE(first.h, INVALID_HANDLE_VALUE) << errorText(error);
    Closing second{createPipeInstance(name, true, *security, &error)};
    EXPECT_EQ(second.h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED)) << errorText(error);
    // The owner's own further instances, for more clients, are fine.
    Closing more{createPipeInstance(name, false, *security, &error)};
    EXPECT_NE(more.h, INVALID_HANDLE_VALUE) << errorText(error);
}

TEST(ControlPipeWin32, AClientFindsTheServersUser) {
    std::string why;
    const std::string me = currentUserSid(&why);
    const auto security = PipeSecurity::fromSddl(pipeSecuritySddl(me, std::nullopt), &why);
    ASSERT_TRUE(security) << why;
    const std::string name = testPipe("peer");
    DWORD error = 0;
    Closing server{createPipeInstance(name, true, *security, &error)};
    ASSERT_NE(server.h, INVALID_HANDLE_VALUE) << errorText(error);
    Closing client{CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
    ASSERT_NE(client.h, INVALID_HANDLE_VALUE) << errorText(GetLastError());
    const std::optional<std::string> served = pipeServerSid(client.h, &why);
    ASSERT_TRUE(served) << why;
    EXPECT_EQ(*served, me);
    EXPECT_TRUE(pipeServerAllowed(*served, me));
}

TEST(ControlPipeWin32, AGroupIsFoundByNameOrRefusedSayingWhy) {
    std::string why;
    EXPECT_FALSE(groupSid("no-such-group-velmora", &why));
    EXPECT_NE(why.find("no-such-group-velmora"), std::string::npos) << why;
}

}  // namespace
}  // namespace velmora
