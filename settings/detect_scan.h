#pragma once

// The Detect dialog's scan without the widgets: which ports it probes, in
// what order, and every text it shows. It runs on a worker thread in the
// program (the dialog stays responsive) and on the test thread in tests.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "link/link_events.h"

namespace velmora {

// "No port answered" value of DetectResult.
inline constexpr int kDetectNotFound = 100;
inline constexpr const char* kDetectSeparator = "============================================";
inline constexpr const char* kDetectFoundLine = "Velmora Found!";
inline constexpr const char* kDetectFoundLabelSuffix = "... Velmora Found!";
// Pauses of the scan, milliseconds.
inline constexpr int kDetectStepPauseMs = 200;
inline constexpr int kDetectFoundPauseMs = 700;
inline constexpr int kDetectFixedFoundPauseMs = 500;
// Report lines from which the report list gets its vertical scroll bar.
inline constexpr int kDetectScrollBarLines = 10;

// What the scan does to the Detect dialog, in the order it does it. Called
// on the scan's thread; the program's implementation hands each call to
// the UI thread in order.
class DetectView {
public:
    virtual ~DetectView() = default;
    virtual void setLabel(const std::string& text) = 0;       // Label1
    virtual void appendToLabel(const std::string& text) = 0;  // Label1, after its text
    virtual void setProgressMaximum(int maximum) = 0;         // ProgressBar1, minimum 0
    virtual void advanceProgress() = 0;                       // position + 1
    virtual void fillProgress() = 0;                          // position = maximum
    virtual void appendLine(const std::string& line) = 0;     // moShowComCheck
    virtual void removeLastLine() = 0;
    virtual void setReportScrollBar(bool shown) = 0;
    // DetectResult takes `value` (a list position, or kDetectNotFound); it
    // always comes before enableOk, so OK never answers an older value.
    virtual void setDetectResult(int value) = 0;
    virtual void enableOk() = 0;  // the OK button: the scan has ended
};

struct DetectScanDeps {
    // Port list: slot 0 "AUTO", then the port names.
    std::vector<std::string> names;
    // The ComPort setting: 0 scans every port, k only list position k.
    int comPort = 0;
    // Probes list position `index`: 1 when the unit answered, else 0;
    // writes its report lines to the report.
    std::function<int(int index, ProbeReport& report)> probe;
    // Waits `ms` milliseconds (real time in the program).
    std::function<void(int ms)> pause;
    // Set from another thread to end an automatic scan before its next port
    // (the dialog was closed). May be null.
    const std::atomic<bool>* stop = nullptr;
};

// True when a DetectResult names a port the unit answered on: a list
// position 1..portCount, and never kDetectNotFound, however long the list.
bool isDetectedPosition(int detectResult, int portCount);

// Runs the scan and returns the new DetectResult: the list position where
// the unit answered, kDetectNotFound when a probed port did not answer, or
// `previous` (the value kept from the last run) when nothing was probed.
// The report list is taken to be empty at the start.
int ScanPorts(const DetectScanDeps& deps, DetectView& view, int previous);

}  // namespace velmora
