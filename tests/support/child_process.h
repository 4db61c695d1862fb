#pragma once

// Starting a program as a child process for the tests that run velmoractl
// (and pdudaemon) the way a script would: arguments, an environment
// addition, stdout and stderr captured in files, a signal, the exit.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

class ChildProcess {
public:
    // Starts `program` with `args`; stdout and stderr go to files in
    // `folder` (read them with out() and err()).
    ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& folder,
                 const std::string& name = "child")
        : outPath_(folder / (name + ".out")), errPath_(folder / (name + ".err")) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            const int devnull = ::open("/dev/null", O_RDONLY);
            ::dup2(devnull, 0);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Nothing once reaped: the number may belong to another process by then.
    void signal(int sig) {
        if (pid_ > 0 && !reaped_) ::kill(pid_, sig);
    }

    // Waits for the end, at most `limit` (a safety bound for a hung child,
    // not a timing claim). True when it ended; status() then tells how.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        if (reaped_) return true;
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
            if (r == pid_) {
                reaped_ = true;
                return true;
            }
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    bool exited() const { return reaped_ && WIFEXITED(status_); }
    int exitCode() const { return exited() ? WEXITSTATUS(status_) : -1; }
    bool killedBySignal() const { return reaped_ && WIFSIGNALED(status_); }

    std::string out() const { return read(outPath_); }
    std::string err() const { return read(errPath_); }

private:
    static std::string read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path outPath_, errPath_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

}  // namespace velmora::test
