// The shell's input on each system: what it reads arrives whole and in
// order, readiness follows what waits to be taken, the end stays the end,
// and a stop wins over input that waits too.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cli/shell_input.h"

#ifdef _WIN32
#include "platform/win32_api.h"
#else
#include <unistd.h>
#endif

namespace velmora::cli {
namespace {

// A pipe whose read end is the shell's input (on Windows: this process's
// standard input, as the shell reads it) and a stop to set.
class InputRig {
public:
    InputRig() {
#ifdef _WIN32
        HANDLE readEnd = nullptr;
        EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd_, nullptr, 0));
        savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
        SetStdHandle(STD_INPUT_HANDLE, readEnd);
        input_ = standardInput();
        // The input's thread holds the handle it took: ours goes back.
        SetStdHandle(STD_INPUT_HANDLE, savedInput_);
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
#else
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        readEnd_ = fds[0];
        writeEnd_ = fds[1];
        input_ = descriptorInput(readEnd_);
        int stops[2];
        EXPECT_EQ(::pipe(stops), 0);
        stop_ = stops[0];
        stopWrite_ = stops[1];
#endif
    }
    ~InputRig() {
        closeWriter();
#ifdef _WIN32
        CloseHandle(stop_);
#else
        ::close(readEnd_);
        ::close(stop_);
        ::close(stopWrite_);
#endif
    }

    ShellInput& input() { return *input_; }
    StopHandle stop() const { return stop_; }

    void write(const std::string& text) {
#ifdef _WIN32
        DWORD wrote = 0;
        ASSERT_TRUE(WriteFile(writeEnd_, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
        ASSERT_EQ(wrote, text.size());
#else
        ASSERT_EQ(::write(writeEnd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
#endif
    }
    void closeWriter() {
#ifdef _WIN32
        if (writeEnd_ != nullptr) CloseHandle(writeEnd_);
        writeEnd_ = nullptr;
#else
        if (writeEnd_ >= 0) ::close(writeEnd_);
        writeEnd_ = -1;
#endif
    }
    void setStop() {
#ifdef _WIN32
        SetEvent(stop_);
#else
        ASSERT_EQ(::write(stopWrite_, "s", 1), 1);
#endif
    }
    // Blocks until the input is ready; false when a stop came first.
    bool waitForInput() {
        OwnerClient nobody;
        bool ownerGone = false;
        return waitForInputOrStop(*input_, stop_, nobody, ownerGone);
    }
    std::string readSome() {
        char buffer[64];
        return std::string(buffer, input_->read(buffer, sizeof buffer));
    }

private:
    std::unique_ptr<ShellInput> input_;
#ifdef _WIN32
    HANDLE writeEnd_ = nullptr;
    HANDLE savedInput_ = nullptr;
    HANDLE stop_ = nullptr;
#else
    int readEnd_ = -1;
    int writeEnd_ = -1;
    int stop_ = -1;
    int stopWrite_ = -1;
#endif
};

TEST(ShellInput, WhatIsWrittenIsReadInOrderAndReadinessFollowsIt) {
    InputRig rig;
    EXPECT_FALSE(rig.input().ready()) << "nothing was written yet";
    rig.write("on 3\n");
    ASSERT_TRUE(rig.waitForInput());
    EXPECT_TRUE(rig.input().ready());
    EXPECT_EQ(rig.readSome(), "on 3\n");
    EXPECT_FALSE(rig.input().ready()) << "all of it was taken";

    // More than one read takes: the rest waits, whole.
    const std::string longer(150, 'x');
    rig.write(longer);
    std::string got;
    while (got.size() < longer.size()) {
        ASSERT_TRUE(rig.waitForInput());
        got += rig.readSome();
    }
    EXPECT_EQ(got, longer);
}

TEST(ShellInput, TheEndIsReadyAndStaysTheEnd) {
    InputRig rig;
    rig.write("quit");
    rig.closeWriter();
    std::string got;
    for (int reads = 0; reads < 4; ++reads) {
        ASSERT_TRUE(rig.waitForInput());
        const std::string some = rig.readSome();
        if (some.empty()) break;
        got += some;
    }
    EXPECT_EQ(got, "quit");
    for (int again = 0; again < 2; ++again) {
        EXPECT_TRUE(rig.input().ready()) << "the end must not make the shell wait for ever";
        EXPECT_EQ(rig.readSome(), "");
    }
}

TEST(ShellInput, AStopWinsOverInputThatWaitsToo) {
    InputRig rig;
    rig.write("status\n");
    ASSERT_TRUE(rig.waitForInput());
    rig.setStop();
    EXPECT_FALSE(rig.waitForInput());
}

}  // namespace
}  // namespace velmora::cli
