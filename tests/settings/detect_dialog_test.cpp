#include "settings/detect_dialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>

#include "platform/qt/qt_dispatcher.h"
#include "support/event_loop.h"

namespace velmora {
namespace {

using test::spinUntil;

// Shows the dialog, lets the scan run, then closes it the way `close` says
// once OK is enabled (or at once for an early close).
struct DialogRun {
    QtUiDispatcher dispatcher;
    DetectDialog dialog{dispatcher};
    std::optional<int> result;
    QStringList lines;
    QString label;
    int progress = -1;
    int progressMax = -1;
    bool reportVisible = false;
    bool okWasDisabledAtFirst = false;
    bool forced = false;

    enum class Close { ok, closeBoxAfterScan, closeBoxDuringScan };

    void run(DetectScanDeps deps, bool showReport, Close close) {
        bool firstLook = true;
        test::ModalAnswerer answerer([&](QWidget*) {
            if (!dialog.isVisible()) return;
            if (firstLook) {
                firstLook = false;
                okWasDisabledAtFirst = !dialog.okButton()->isEnabled();
            }
            if (close == Close::closeBoxDuringScan && dialog.scanning()) {
                dialog.reject();
                return;
            }
            if (!dialog.okButton()->isEnabled()) return;
            lines = dialog.reportLines();
            label = dialog.label()->text();
            progress = dialog.progressBar()->value();
            progressMax = dialog.progressBar()->maximum();
            reportVisible = dialog.report()->isVisible();
            if (close == Close::ok) {
                dialog.okButton()->click();
            } else {
                dialog.reject();
            }
        });
        result = dialog.runDetection(std::move(deps), showReport);
        forced = answerer.forced();
    }
};

DetectScanDeps twoPorts(int answering) {
    DetectScanDeps deps;
    deps.names = {"AUTO", "COM1", "COM3"};
    deps.probe = [answering](int index, ProbeReport& report) {
        report.append("probe " + std::to_string(index));
        return index == answering ? 1 : 0;
    };
    return deps;
}

TEST(DetectDialogDialog, ComponentsAndCaption) {
    QtUiDispatcher dispatcher;
    DetectDialog dialog(dispatcher);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Detect Velmora");
    EXPECT_EQ(dialog.size(), QSize(440, 237));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    for (const char* name : {"Label1", "ProgressBar1", "moShowComCheck", "okButton"}) {
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_EQ(dialog.okButton()->text().toStdString(), "OK");
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_TRUE(dialog.report()->isReadOnly());
    EXPECT_EQ(dialog.report()->font().family().toStdString(), "Courier New");
    EXPECT_EQ(dialog.DetectResult(), 0);
}

struct RunCase {
    const char* name;
    int answering;
    bool showReport;
    DialogRun::Close close;
    std::optional<int> result;
    int detectResult;
    const char* label;
    int progress;
};

class DetectDialogRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(DetectDialogRuns, ScanOnTheWorkerShowsInTheDialog) {
    const RunCase& c = GetParam();
    DialogRun r;
    r.run(twoPorts(c.answering), c.showReport, c.close);
    EXPECT_TRUE(r.okWasDisabledAtFirst);
    EXPECT_FALSE(r.forced);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.dialog.DetectResult(), c.detectResult);
    EXPECT_EQ(r.label.toStdString(), c.label);
    EXPECT_EQ(r.progressMax, 2);
    EXPECT_EQ(r.progress, c.progress);
    EXPECT_EQ(r.reportVisible, c.showReport);
    // The report in the order the scan wrote it, whether shown or not.
    ASSERT_GE(r.lines.size(), 4);
    EXPECT_EQ(r.lines[0].toStdString(), "Check COM1");
    EXPECT_EQ(r.lines[1].toStdString(), "probe 1");
    EXPECT_EQ(r.lines.last().toStdString(),
              c.answering ? "Velmora Found!" : "Could not find Velmora. Please check the connection between Velmora and PC");
}

INSTANTIATE_TEST_SUITE_P(
    App, DetectDialogRuns,
    ::testing::Values(RunCase{"FoundOnSecondClosedWithOk", 2, true, DialogRun::Close::ok, 2, 2, "CheckingCOM3... Velmora Found!", 2},
                      RunCase{"FoundWithReportHidden", 1, false, DialogRun::Close::ok, 1, 1, "CheckingCOM1... Velmora Found!", 2},
                      RunCase{"NotFoundClosedWithOk", 0, true, DialogRun::Close::ok, 100, 100, "CheckingCOM3", 2},
                      RunCase{"FoundButClosedWithCloseBox", 2, true, DialogRun::Close::closeBoxAfterScan, std::nullopt, 2,
                              "CheckingCOM3... Velmora Found!", 2}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DetectDialogDialog, ClosedDuringTheScanEndsWithoutResultAfterTheWorker) {
    DialogRun r;
    std::atomic<int> probes{0};
    DetectScanDeps deps;
    deps.names = {"AUTO", "COM1", "COM2", "COM3", "COM4"};
    deps.probe = [&](int, ProbeReport&) {
        ++probes;
        return 0;
    };
    r.run(deps, true, DialogRun::Close::closeBoxDuringScan);
    EXPECT_FALSE(r.result.has_value());
    EXPECT_FALSE(r.dialog.scanning());
    EXPECT_LT(probes.load(), 4) << "the scan should have stopped early";
}

TEST(DetectDialogDialog, SecondRunStartsAfresh) {
    DialogRun r;
    r.run(twoPorts(2), true, DialogRun::Close::ok);
    ASSERT_EQ(r.result, 2);
    // Look at the dialog as the second run shows it, before its scan.
    bool checked = false;
    QTimer::singleShot(0, [&] {
        checked = true;
        EXPECT_TRUE(r.dialog.label()->text().isEmpty());
        EXPECT_EQ(r.dialog.progressBar()->value(), 0);
        EXPECT_TRUE(r.dialog.reportLines().isEmpty());
        EXPECT_FALSE(r.dialog.okButton()->isEnabled());
    });
    r.run(twoPorts(0), true, DialogRun::Close::ok);
    EXPECT_TRUE(checked);
    EXPECT_EQ(r.result, 100);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Clicks OK within the very update that enables it, before anything else
// the scan handed to the UI thread has run.
class ClickWhenEnabled final : public QObject {
public:
    explicit ClickWhenEnabled(QPushButton* button) : button_(button) { button->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_ && event->type() == QEvent::EnabledChange && button_->isEnabled()) {
            QMetaObject::invokeMethod(button_, [b = button_] { b->click(); }, Qt::DirectConnection);
        }
        return false;
    }

private:
    QPushButton* button_;
};

struct EarlyOkCase {
    const char* name;
    int answering;
    int comPort;
    int result;
};

class DetectDialogEarlyOk : public ::testing::TestWithParam<EarlyOkCase> {};

TEST_P(DetectDialogEarlyOk, AnswersThisScanNotTheLastOne) {
    QtUiDispatcher dispatcher;
    DetectDialog dialog(dispatcher);
    ClickWhenEnabled clicker(dialog.okButton());
    for (int run = 0; run < 2; ++run) {  // the second run must not answer the first's value
        DetectScanDeps deps = twoPorts(run == 0 ? 1 : GetParam().answering);
        deps.comPort = GetParam().comPort;
        const std::optional<int> result = dialog.runDetection(deps, true);
        if (run == 1) {
            EXPECT_EQ(result, GetParam().result);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(App, DetectDialogEarlyOk,
                         ::testing::Values(EarlyOkCase{"AutoFoundOnSecond", 2, 0, 2},
                                           EarlyOkCase{"AutoNotFound", 0, 0, 100},
                                           EarlyOkCase{"FixedNotFound", 0, 1, 100}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
