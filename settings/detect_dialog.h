#pragma once

// The Detect dialog: probes the COM ports for the unit and shows its
// progress and report. The probing runs on a worker thread so the dialog
// stays responsive; every change to the dialog is handed to the UI thread
// in the order the scan makes it.

#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "settings/detect_scan.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace velmora {

class UiDispatcher;

class DetectDialog final : public QDialog, public DetectView {
    Q_OBJECT

public:
    // `dispatcher` hands the worker's changes to the UI thread (the Qt
    // event loop drains it).
    explicit DetectDialog(UiDispatcher& dispatcher, QWidget* parent = nullptr);
    // Stops a running scan and waits for it (the probe under way ends
    // within its own time-outs).
    ~DetectDialog() override;

    // aboutToShow, then the scan 20 ms later, modal until the user closes the
    // dialog. `deps.pause` is ignored: the dialog pauses the worker itself.
    // Returns DetectResult when closed with OK; nullopt when closed with the
    // close box or Escape (a running scan is stopped first; the dialog goes
    // once it has ended).
    std::optional<int> runDetection(DetectScanDeps deps, bool showReport);

    // Position where the unit answered in the last scan, kDetectNotFound,
    // or 0 before any scan set it. Kept between runs.
    int DetectResult() const { return DetectResult_; }
    bool scanning() const { return scanning_; }

    // ---- DetectView, UI thread ----
    void setLabel(const std::string& text) override;
    void appendToLabel(const std::string& text) override;
    void setProgressMaximum(int maximum) override;
    void advanceProgress() override;
    void fillProgress() override;
    void appendLine(const std::string& line) override;
    void removeLastLine() override;
    void setReportScrollBar(bool shown) override;
    void setDetectResult(int value) override;
    void enableOk() override;

    // Components (tests).
    QLabel* label() const { return label_; }
    QProgressBar* progressBar() const { return progress_; }
    QPlainTextEdit* report() const { return report_; }
    QPushButton* okButton() const { return ok_; }
    const QStringList& reportLines() const { return lines_; }

public slots:
    void reject() override;

private:
    void aboutToShow(bool showReport);
    void scanTick();
    void scanFinished(int scan);
    void joinWorker();
    void pauseWorker(int ms);
    void stopWorker();

    UiDispatcher& dispatcher_;
    QLabel* label_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPlainTextEdit* report_ = nullptr;
    QPushButton* ok_ = nullptr;
    QTimer scanTimer_;
    QStringList lines_;

    DetectScanDeps deps_;
    int DetectResult_ = 0;
    bool scanning_ = false;
    bool closeWanted_ = false;
    int scanNumber_ = 0;  // tells a finished scan's late notice from the current one
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseCv_;
    // Changes the worker queued for the UI thread check it before touching
    // the dialog.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velmora
