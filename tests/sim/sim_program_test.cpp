// velmora-sim as a program: started, talked to over its pty, stopped by a
// signal. Waits are bounded and real; nothing here measures speed.
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using velmora::sim::testing::framedLines;

namespace {

constexpr int kBoundMs = 5000;

struct Launched {
    pid_t pid = -1;
    int out = -1;  // the program's stdout
    int err = -1;  // and stderr
};

Launched launch(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    // Everything the child needs is made before fork: only exec follows it.
    std::string prog = VELMORA_SIM_PROGRAM;
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    argv.push_back(prog.data());
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        execv(prog.c_str(), argv.data());
        _exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    return {pid, outPipe[0], errPipe[0]};
}

// Reads fd until `until` appears, end of file, or the bound.
std::string readFrom(int fd, const std::string& until = "", int boundMs = kBoundMs) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (until.empty() || got.find(until) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[512];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// Exit status, or -1 if the program did not end within the bound.
int waitExit(pid_t pid, int boundMs = kBoundMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    int stream;  // 1 stdout, 2 stderr: where the text goes
    std::string mentions;
};

class ProgramExits : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ProgramExits, WithStatusAndText) {
    Launched r = launch(GetParam().args);
    ASSERT_GT(r.pid, 0);
    const std::string text = readFrom(GetParam().stream == 1 ? r.out : r.err);
    EXPECT_EQ(waitExit(r.pid), GetParam().status);
    EXPECT_NE(text.find(GetParam().mentions), std::string::npos) << text;
    ::close(r.out);
    ::close(r.err);
}

INSTANTIATE_TEST_SUITE_P(Sim, ProgramExits,
                         ::testing::Values(ExitCase{"Help", {"--help"}, 0, 1, "Usage: velmora-sim"},
                                           ExitCase{"UnknownOption", {"--nonsense"}, 2, 2, "unknown option: --nonsense"},
                                           ExitCase{"BadBankCount", {"--banks", "40"}, 2, 2, "--banks"}),
                         [](const auto& row) { return std::string(row.param.name); });

struct ServeCase {
    const char* name;
    int signal;
};

class ProgramServes : public ::testing::TestWithParam<ServeCase> {};

TEST_P(ProgramServes, PrintsThePtyAnswersAndStopsOnSignal) {
    Launched r = launch({"--banks", "3", "--versions", "1203,1187,2001"});
    ASSERT_GT(r.pid, 0);
    const std::string printed = readFrom(r.out, "\n");
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line";
    const std::string path = printed.substr(0, printed.size() - 1);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << path;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    ASSERT_EQ(::write(fd, "/uni\\/VER\\", 10), 10);
    const auto lines = framedLines(readFrom(fd, "V03 2001\\"));
    EXPECT_EQ(lines, (std::vector<std::string>{"xyz", "V01 1203", "V02 1187", "V03 2001"}));
    ::close(fd);
    kill(r.pid, GetParam().signal);
    EXPECT_EQ(waitExit(r.pid), 0);
    ::close(r.out);
    ::close(r.err);
}

INSTANTIATE_TEST_SUITE_P(Sim, ProgramServes,
                         ::testing::Values(ServeCase{"Interrupt", SIGINT}, ServeCase{"Terminate", SIGTERM}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
