#include "settings/detect_scan.h"

#include "link/port_search.h"
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
    view.setProgressMaximum(count);

    if (deps.comPort == 0) {
        PortSearch search;
        search.count = count;
        search.stop = deps.stop;
        search.probe = [&](int i) { return probe(i) == 1; };
        search.beforeProbe = [&](int i) {
            const std::string name = nameAt(deps.names, i);
            view.setLabel("Checking" + name);
            view.setReportScrollBar(report.lines() >= kDetectScrollBarLines);
            pause(kDetectStepPauseMs);
            view.advanceProgress();
            report.append("Check " + name);
        };
        search.afterProbe = [&](int i, bool found) {
            if (found) {
                view.appendToLabel(kDetectFoundLabelSuffix);
                view.fillProgress();
                view.setDetectResult(i);
                report.append(kDetectSeparator);
                report.append(kDetectFoundLine);
                pause(kDetectFoundPauseMs);
                return;
            }
            view.setDetectResult(kDetectNotFound);
            report.append(kDetectSeparator);
            if (i == count) report.append(kNotFoundMessage);
        };
        const PortSearchResult searched = searchPorts(search);
        view.enableOk();
        if (searched.found != 0) return searched.found;
        return searched.probed > 0 ? kDetectNotFound : previous;
    }

    const int k = deps.comPort;
    const std::string name = nameAt(deps.names, k);
    view.setLabel("Checking " + name);
    report.append("Check " + name);
    if (probe(k) == 1) {
        view.appendToLabel(kDetectFoundLabelSuffix);
        view.fillProgress();
        view.setDetectResult(k);
        report.append(kDetectSeparator);
        report.append(kDetectFoundLine);
        pause(kDetectFixedFoundPauseMs);
        view.enableOk();
        return k;
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
