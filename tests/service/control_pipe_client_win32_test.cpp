// The owner's pipe seen from a client (run under Wine): lines both ways,
// the owner's end closing, a stop that loses nothing on its way, an answer
// too long to be one, and nobody serving.

#include "service/control_pipe_client_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "service/control_pipe.h"
#include "service/control_pipe_win32.h"

namespace velmora {
namespace {

using namespace win32pipe;

// The owner's end of one pipe instance, driven by the test.
class PipeOwner {
public:
    explicit PipeOwner(const std::string& name) {
        std::string why;
        security_ = PipeSecurity::fromSddl(pipeSecuritySddl(currentUserSid(&why), std::nullopt), &why);
        if (!security_) {
            ADD_FAILURE() << why;
            return;
        }
        DWORD error = 0;
        pipe_ = createPipeInstance(name, true, *security_, &error);
        if (pipe_ == INVALID_HANDLE_VALUE) ADD_FAILURE() << errorText(error);
        done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~PipeOwner() {
        close();
        CloseHandle(done_);
    }
    bool ready() const { return pipe_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }
    // Writes all of `text`, waiting as long as the client takes to read it.
    void write(const std::string& text) {
        OVERLAPPED o{};
        o.hEvent = done_;
        ResetEvent(done_);
        DWORD n = 0;
        if (!WriteFile(pipe_, text.data(), static_cast<DWORD>(text.size()), &n, &o)) {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << errorText(GetLastError());
            ASSERT_TRUE(GetOverlappedResult(pipe_, &o, &n, TRUE)) << errorText(GetLastError());
        }
        EXPECT_EQ(n, text.size());
    }
    // The same from another thread: false once the client has gone.
    bool writeSome(const std::string& text) {
        OVERLAPPED o{};
        o.hEvent = done_;
        ResetEvent(done_);
        DWORD n = 0;
        if (WriteFile(pipe_, text.data(), static_cast<DWORD>(text.size()), &n, &o)) return true;
        return GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe_, &o, &n, TRUE);
    }
    // What the client sent, up to `bytes` of it.
    std::string read(std::size_t bytes) {
        std::string got(bytes, '\0');
        OVERLAPPED o{};
        o.hEvent = done_;
        ResetEvent(done_);
        DWORD n = 0;
        if (!ReadFile(pipe_, got.data(), static_cast<DWORD>(bytes), &n, &o)) {
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(pipe_, &o, &n, TRUE)) return {};
        }
        got.resize(n);
        return got;
    }

private:
    std::unique_ptr<PipeSecurity> security_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE done_ = nullptr;
};

std::string testPipe(const char* what) {
    return controlPipeName("COM" + std::to_string(200 + (GetCurrentProcessId() % 100))) + "-" + what;
}

TEST(PipeClient, LinesGoBothWaysWholeAndInOrderUntilTheOwnerCloses) {
    const std::string name = testPipe("lines");
    PipeOwner owner(name);
    ASSERT_TRUE(owner.ready());
    PipeClient client;
    std::string why;
    ASSERT_TRUE(client.connect(name, 1000, &why)) << why;
    EXPECT_FALSE(client.untrusted());

    ASSERT_TRUE(client.sendLine("{\"request\":\"status\"}\n"));
    EXPECT_EQ(owner.read(64), "{\"request\":\"status\"}\n");

    // Lines cut anywhere by the pipe come out whole.
    owner.write("{\"a\":1}\n{\"b\"");
    owner.write(":2}\n");
    EXPECT_EQ(client.receive(5000).value_or("<nothing>"), "{\"a\":1}");
    EXPECT_EQ(client.receive(5000).value_or("<nothing>"), "{\"b\":2}");
    EXPECT_FALSE(client.receive(0).has_value()) << "nothing more was sent";
    EXPECT_FALSE(client.gone());

    owner.write("{\"last\":3}\n");
    owner.close();
    EXPECT_EQ(client.receive(5000).value_or("<nothing>"), "{\"last\":3}") << "what came before the end is kept";
    EXPECT_FALSE(client.receive(5000).has_value());
    EXPECT_TRUE(client.gone());
    EXPECT_FALSE(client.sendLine("{}\n"));
}

TEST(PipeClient, AStopEndsTheWaitAndWhatWasOnItsWayStillArrives) {
    const std::string name = testPipe("stop");
    PipeOwner owner(name);
    ASSERT_TRUE(owner.ready());
    PipeClient client;
    std::string why;
    ASSERT_TRUE(client.connect(name, 1000, &why)) << why;

    HANDLE stop = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_FALSE(client.receive(-1, stop).has_value()) << "a stop ends even an endless wait";
    EXPECT_FALSE(client.gone());
    ResetEvent(stop);

    // The read left waiting by the stop takes the next answer.
    owner.write("{\"late\":true}\n");
    EXPECT_EQ(client.receive(5000, stop).value_or("<nothing>"), "{\"late\":true}");
    CloseHandle(stop);
}

TEST(PipeClient, AnAnswerLongerThanAnyEndsTheReadingBeforeTheOwnerStops) {
    const std::string name = testPipe("long");
    PipeOwner owner(name);
    ASSERT_TRUE(owner.ready());
    PipeClient client;
    std::string why;
    ASSERT_TRUE(client.connect(name, 1000, &why)) << why;
    // More than any answer may be, without a line end, then the end.
    std::thread flood([&owner] {
        const std::string chunk(64 * 1024, 'x');
        for (std::size_t sent = 0; sent <= kMaxRequestBytes * 8 && owner.writeSome(chunk); sent += chunk.size()) {
        }
        owner.close();
    });
    EXPECT_FALSE(client.receive(-1).has_value());
    EXPECT_FALSE(client.gone()) << "read to the owner's end instead of giving up on the line";
    client.close();  // the owner's blocked write fails now
    flood.join();
}

TEST(PipeClient, NobodyServingIsSaidAndIsNoTrustMatter) {
    const std::string name = testPipe("nobody");
    PipeClient client;
    std::string why;
    EXPECT_FALSE(client.connect(name, 100, &why));
    EXPECT_FALSE(client.untrusted());
    EXPECT_FALSE(client.refusedAccess());
    EXPECT_NE(why.find(name), std::string::npos) << why;
    EXPECT_FALSE(client.connected());
    EXPECT_FALSE(client.receive(0).has_value());
}

}  // namespace
}  // namespace velmora
