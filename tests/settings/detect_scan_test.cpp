#include "settings/detect_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

const std::string kSep = "============================================";
const std::string kMiss = "Could not find Velmora. Please check the connection between Velmora and PC";

// Records every change to the dialog, and the pauses, in one log.
class RecordingDetectView final : public DetectView {
public:
    void setLabel(const std::string& t) override { log.push_back("label=" + t); }
    void appendToLabel(const std::string& t) override { log.push_back("label+=" + t); }
    void setProgressMaximum(int m) override { log.push_back("max=" + std::to_string(m)); }
    void advanceProgress() override { log.push_back("step"); }
    void fillProgress() override { log.push_back("full"); }
    void appendLine(const std::string& l) override { log.push_back("line:" + l); }
    void removeLastLine() override { log.push_back("remove"); }
    void setReportScrollBar(bool shown) override { log.push_back(shown ? "scroll=on" : "scroll=off"); }
    void setDetectResult(int value) override { log.push_back("result=" + std::to_string(value)); }
    void enableOk() override { log.push_back("ok"); }
    std::vector<std::string> log;
};

struct ScanCase {
    const char* name;
    std::vector<std::string> names;
    int comPort;
    std::vector<int> answering;  // list positions where the unit greets
    int previous;
    int result;
    std::vector<std::string> log;
    std::vector<int> probed;
};

class DetectScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(DetectScanTest, ShowsEveryStepInOrder) {
    const ScanCase& c = GetParam();
    RecordingDetectView view;
    std::vector<int> probed;
    DetectScanDeps deps;
    deps.names = c.names;
    deps.comPort = c.comPort;
    deps.probe = [&](int index, ProbeReport& report) {
        probed.push_back(index);
        // The probe's own lines, including its provisional one.
        std::string own = "p";  // built in steps: g++ 12 -O3 warns falsely on "p" + ...
        own += std::to_string(index);
        report.append(own);
        report.append("provisional");
        report.removeLast();
        const bool found = std::find(c.answering.begin(), c.answering.end(), index) != c.answering.end();
        report.append(found ? "pass" : "fail");
        return found ? 1 : 0;
    };
    deps.pause = [&](int ms) {
        std::string line = "pause ";
        line += std::to_string(ms);
        view.log.push_back(line);
    };
    EXPECT_EQ(ScanPorts(deps, view, c.previous), c.result);
    EXPECT_EQ(view.log, c.log);
    EXPECT_EQ(probed, c.probed);
}

std::vector<std::string> probeLines(int index, bool found) {
    return {"line:p" + std::to_string(index), "line:provisional", "remove", found ? "line:pass" : "line:fail"};
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    App, DetectScanTest,
    ::testing::Values(
        ScanCase{"AutoFoundOnSecondOfTwo", {"AUTO", "COM1", "COM3"}, 0, {2}, 0, 2,
                 concat({{"max=2", "label=CheckingCOM1", "scroll=off", "pause 200", "step", "line:Check COM1"},
                         probeLines(1, false),
                         {"result=100", "line:" + kSep, "label=CheckingCOM3", "scroll=off", "pause 200", "step", "line:Check COM3"},
                         probeLines(2, true),
                         {"label+=... Velmora Found!", "full", "result=2", "line:" + kSep, "line:Velmora Found!", "pause 700", "ok"}}),
                 {1, 2}},
        ScanCase{"AutoFoundOnFirstStopsThere", {"AUTO", "COM1", "COM3"}, 0, {1, 2}, 0, 1,
                 concat({{"max=2", "label=CheckingCOM1", "scroll=off", "pause 200", "step", "line:Check COM1"},
                         probeLines(1, true),
                         {"label+=... Velmora Found!", "full", "result=1", "line:" + kSep, "line:Velmora Found!", "pause 700", "ok"}}),
                 {1}},
        ScanCase{"AutoNothingAnswers", {"AUTO", "COM1", "COM2"}, 0, {}, 0, 100,
                 concat({{"max=2", "label=CheckingCOM1", "scroll=off", "pause 200", "step", "line:Check COM1"},
                         probeLines(1, false),
                         {"result=100", "line:" + kSep, "label=CheckingCOM2", "scroll=off", "pause 200", "step", "line:Check COM2"},
                         probeLines(2, false),
                         {"result=100", "line:" + kSep, "line:" + kMiss, "ok"}}),
                 {1, 2}},
        ScanCase{"AutoEmptyListKeepsTheOldResult", {"AUTO"}, 0, {}, 7, 7, {"max=0", "ok"}, {}},
        ScanCase{"AutoEmptyListFirstRunStaysZero", {"AUTO"}, 0, {}, 0, 0, {"max=0", "ok"}, {}},
        ScanCase{"FixedPortFound", {"AUTO", "COM1", "COM2", "COM5"}, 3, {3}, 0, 3,
                 concat({{"max=3", "label=Checking COM5", "line:Check COM5"},
                         probeLines(3, true),
                         {"label+=... Velmora Found!", "full", "result=3", "line:" + kSep, "line:Velmora Found!", "pause 500", "ok"}}),
                 {3}},
        ScanCase{"FixedPortSilent", {"AUTO", "COM1", "COM2", "COM5"}, 2, {3}, 3, 100,
                 concat({{"max=3", "label=Checking COM2", "line:Check COM2"},
                         probeLines(2, false),
                         {"line:" + kSep, "line:" + kMiss, "result=100", "ok"}}),
                 {2}}),
    [](const auto& row) { return std::string(row.param.name); });

// With twelve ports the report list gets its scroll bar at the first step
// that starts with ten or more lines: each step adds Check, two probe lines
// and the separator, so the fourth step starts with twelve.
TEST(DetectScanScrollBar, AppearsOnceTheListHoldsTenLines) {
    RecordingDetectView view;
    DetectScanDeps deps;
    deps.names = {"AUTO"};
    for (int i = 1; i <= 12; ++i) deps.names.push_back("COM" + std::to_string(i));
    deps.probe = [](int, ProbeReport& report) {
        report.append("a");
        report.append("b");
        return 0;
    };
    ScanPorts(deps, view, 0);
    std::vector<std::string> scroll;
    for (const auto& e : view.log) {
        if (e.rfind("scroll=", 0) == 0) scroll.push_back(e);
    }
    const std::vector<std::string> expected = {"scroll=off", "scroll=off", "scroll=off", "scroll=on",
                                               "scroll=on",  "scroll=on",  "scroll=on",  "scroll=on",
                                               "scroll=on",  "scroll=on",  "scroll=on",  "scroll=on"};
    EXPECT_EQ(scroll, expected);
}

TEST(DetectScanStop, AStopRequestEndsTheAutomaticScanBeforeTheNextPort) {
    RecordingDetectView view;
    std::atomic<bool> stop{false};
    std::vector<int> probed;
    DetectScanDeps deps;
    deps.names = {"AUTO", "COM1", "COM2", "COM3"};
    deps.stop = &stop;
    deps.probe = [&](int index, ProbeReport&) {
        probed.push_back(index);
        if (index == 2) stop = true;  // the dialog was closed meanwhile
        return 0;
    };
    EXPECT_EQ(ScanPorts(deps, view, 0), 100);
    EXPECT_EQ(probed, (std::vector<int>{1, 2}));
    EXPECT_EQ(view.log.back(), "ok");
}

TEST(DetectScanBounds, APortBeyondTheListIsProbedByPositionWithAnEmptyName) {
    RecordingDetectView view;
    std::vector<int> probed;
    DetectScanDeps deps;
    deps.names = {"AUTO", "COM1"};
    deps.comPort = 4;
    deps.probe = [&](int index, ProbeReport&) {
        probed.push_back(index);
        return 0;
    };
    EXPECT_EQ(ScanPorts(deps, view, 0), 100);
    EXPECT_EQ(probed, std::vector<int>{4});
    EXPECT_EQ(view.log[1], "label=Checking ");
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Only a list position the unit answered on opens the link; "not found"
// (100) never does, however many ports the machine lists.
TEST(DetectedPosition, OnlyAListedPositionCountsAsAFind) {
    const struct {
        const char* what;
        int result;
        int ports;
        bool found;
    } rows[] = {
        {"first port", 1, 1, true},
        {"tenth port", 10, 12, true},
        {"last possible position", 99, 99, true},
        {"nothing scanned", 0, 5, false},
        {"beyond the list", 13, 12, false},
        {"not found with few ports", kDetectNotFound, 3, false},
        {"not found with a hundred ports", kDetectNotFound, 100, false},
        {"not found with many ports", kDetectNotFound, 250, false},
        {"negative", -1, 5, false},
    };
    for (const auto& r : rows) EXPECT_EQ(isDetectedPosition(r.result, r.ports), r.found) << r.what;
}

}  // namespace
}  // namespace velmora
