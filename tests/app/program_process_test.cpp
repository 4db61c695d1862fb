// The window program as the system runs it: started as a process against
// its built-in simulated unit, with the protocol trace on, and ended by a
// stop signal. It leaves in its orderly way: the port closed (the trace's
// last line says so) and the signal's exit code, not a crash.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

std::string fileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits (bounded) until the file holds `text`.
bool waitForText(const std::filesystem::path& p, const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (fileText(p).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class ProgramStops : public ::testing::TestWithParam<int> {};

TEST_P(ProgramStops, OnAStopSignalWithThePortClosedAndTheTraceComplete) {
    const int sig = GetParam();
    testing_support::TempFolder folder;
    const std::filesystem::path trace = folder / "trace.txt";
    test::ChildProcess program(VELMORA_PROGRAM, {"--simulate=2", "--trace", trace.string()}, folder.path(), "velmora");
    ASSERT_TRUE(program.started());
    // Connected and answered: the first poll's answer is in the trace.
    ASSERT_TRUE(waitForText(trace, "RX")) << fileText(trace) << program.err();
    ASSERT_TRUE(waitForText(trace, "TX /C\\\\")) << fileText(trace);
    program.signal(sig);
    ASSERT_TRUE(program.wait(std::chrono::seconds(30))) << "the program did not end";
    EXPECT_FALSE(program.killedBySignal()) << "it died of the signal instead of ending";
    EXPECT_EQ(program.exitCode(), 128 + sig);
    const std::string t = fileText(trace);
    ASSERT_GE(t.size(), 7u);
    EXPECT_EQ(t.substr(t.size() - 7), " CLOSE\n") << "the port was not closed last:\n" << t;
    EXPECT_NE(t.find(" TX u\n"), std::string::npos) << "the greeting, a byte a write";
}

INSTANTIATE_TEST_SUITE_P(App, ProgramStops, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& row) { return row.param == SIGTERM ? std::string("Term") : std::string("Int"); });

}  // namespace
}  // namespace velmora
