#include "settings/detect_scan.h"

#include "link/serial_link.h"

namespace velmora {

namespace {

// Forwards the probe's report lines to the dialog and counts the lines the
// list holds, which decides its scroll bar.
class CountingReport final : public ProbeReport {
public:
    explicit CountingReport(DetectView& view) : view_(view) {}
    void append(const std::string& line) override {
        view_.appendLine(line);
        ++lines_;
    }
    void removeLast() override {
        if (lines_ == 0) return;
        view_.removeLastLine();
        --lines_;
    }
    int lines() const { return lines_; }

private:
    DetectView& view_;
    int lines_ = 0;
};

std::string nameAt(const std::vector<std::string>& names, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < names.size() ? names[static_cast<std::size_t>(index)]
                                                                        : std::string();
}

}  // namespace

int ScanPorts(const DetectScanDeps& deps, DetectView& view, int previous) {
    CountingReport report(view);
    const int count = deps.names.empty() ? 0 : static_cast<int>(deps.names.size()) - 1;
    auto pause = [&](int ms) {
        if (deps.pause) deps.pause(ms);
    };
    auto probe = [&](int index) { return deps.probe ? deps.probe(index, report) : 0; };
    int result = previous;
    view.setProgressMaximum(count);

    if (deps.comPort == 0) {
        for (int i = 1; i <= count; ++i) {
            if (deps.stop && deps.stop->load()) break;
            const std::string name = nameAt(deps.names, i);
            view.setLabel("Checking" + name);
            view.setReportScrollBar(report.lines() >= kDetectScrollBarLines);
            pause(kDetectStepPauseMs);
            view.advanceProgress();
            report.append("Check " + name);
            if (probe(i) == 1) {
                view.appendToLabel(kDetectFoundLabelSuffix);
                view.fillProgress();
                result = i;
                view.setDetectResult(result);
                report.append(kDetectSeparator);
                report.append(kDetectFoundLine);
                pause(kDetectFoundPauseMs);
                view.enableOk();
                return result;
            }
            result = kDetectNotFound;
            view.setDetectResult(result);
            report.append(kDetectSeparator);
            if (i == count) report.append(kNotFoundMessage);
        }
        view.enableOk();
        return result;
    }

    const int k = deps.comPort;
    const std::string name = nameAt(deps.names, k);
    view.setLabel("Checking " + name);
    report.append("Check " + name);
    if (probe(k) == 1) {
        view.appendToLabel(kDetectFoundLabelSuffix);
        view.fillProgress();
        result = k;
        view.setDetectResult(result);
        report.append(kDetectSeparator);
        report.append(kDetectFoundLine);
        pause(kDetectFixedFoundPauseMs);
        view.enableOk();
        return result;
    }
    report.append(kDetectSeparator);
    report.append(kNotFoundMessage);
    view.setDetectResult(kDetectNotFound);
    view.enableOk();
    return kDetectNotFound;
}

bool isDetectedPosition(int detectResult, int portCount) {
    return detectResult != kDetectNotFound && detectResult >= 1 && detectResult <= portCount;
}

}  // namespace velmora
