#include "settings/detect_dialog.h"

#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <chrono>
#include <memory>

#include "platform/ui_dispatcher.h"

namespace velmora {

namespace {

QString qtext(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// Hands each change of the worker's scan to the dialog on the UI thread, in
// order. After the dispatcher has shut down the changes are dropped.
// A change still queued when the dialog is destroyed is dropped.
class PostingView final : public DetectView {
public:
    PostingView(UiDispatcher& dispatcher, DetectView& target, std::weak_ptr<bool> alive)
        : d_(dispatcher), t_(target), alive_(std::move(alive)) {}
    void setLabel(const std::string& text) override {
        post([&t = t_, text] { t.setLabel(text); });
    }
    void appendToLabel(const std::string& text) override {
        post([&t = t_, text] { t.appendToLabel(text); });
    }
    void setProgressMaximum(int maximum) override {
        post([&t = t_, maximum] { t.setProgressMaximum(maximum); });
    }
    void advanceProgress() override {
        post([&t = t_] { t.advanceProgress(); });
    }
    void fillProgress() override {
        post([&t = t_] { t.fillProgress(); });
    }
    void appendLine(const std::string& line) override {
        post([&t = t_, line] { t.appendLine(line); });
    }
    void removeLastLine() override {
        post([&t = t_] { t.removeLastLine(); });
    }
    void setReportScrollBar(bool shown) override {
        post([&t = t_, shown] { t.setReportScrollBar(shown); });
    }
    void setDetectResult(int value) override {
        post([&t = t_, value] { t.setDetectResult(value); });
    }
    void enableOk() override {
        post([&t = t_] { t.enableOk(); });
    }

private:
    template <class F>
    void post(F f) {
        d_.post([alive = alive_, f = std::move(f)] {
            if (alive.lock()) f();
        });
    }

    UiDispatcher& d_;
    DetectView& t_;
    std::weak_ptr<bool> alive_;
};

}  // namespace

DetectDialog::DetectDialog(UiDispatcher& dispatcher, QWidget* parent) : QDialog(parent), dispatcher_(dispatcher) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Detect Velmora"));
    // Fixed border, only the close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 237);

    label_ = new QLabel(QStringLiteral("Checking COM1 ..."), this);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setAlignment(Qt::AlignCenter);
    label_->setGeometry(8, 8, 424, 17);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setRange(0, 8);
    progress_->setValue(0);
    progress_->setTextVisible(false);  // a smooth bar, no percentage
    progress_->setGeometry(8, 30, 424, 17);

    report_ = new QPlainTextEdit(this);
    report_->setObjectName(QStringLiteral("moShowComCheck"));
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPixelSize(12);
    report_->setFont(fixed);
    report_->setGeometry(8, 54, 424, 140);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);
    ok_->setGeometry(182, 203, 75, 25);
    connect(ok_, &QPushButton::clicked, this, [this] { accept(); });  // onOkClicked

    scanTimer_.setObjectName(QStringLiteral("Timer1"));
    scanTimer_.setSingleShot(true);
    scanTimer_.setInterval(20);
    connect(&scanTimer_, &QTimer::timeout, this, [this] { scanTick(); });
}

DetectDialog::~DetectDialog() {
    alive_.reset();
    stopWorker();
}

void DetectDialog::stopWorker() {
    {
        std::lock_guard lock(pauseMutex_);
        stop_ = true;
    }
    pauseCv_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void DetectDialog::joinWorker() {
    if (worker_.joinable()) worker_.join();
    scanning_ = false;
}

std::optional<int> DetectDialog::runDetection(DetectScanDeps deps, bool showReport) {
    // A scan whose OK was pressed may not have returned yet: it has nothing
    // left to do but return.
    joinWorker();
    deps_ = std::move(deps);
    aboutToShow(showReport);
    const int outcome = exec();
    if (outcome == QDialog::Accepted) return DetectResult_;
    return std::nullopt;
}

void DetectDialog::aboutToShow(bool showReport) {
    ok_->setEnabled(false);
    closeWanted_ = false;
    scanTimer_.start();
    label_->clear();
    progress_->setValue(0);
    report_->setVisible(showReport);
    lines_.clear();
    report_->clear();
}

void DetectDialog::scanTick() {
    scanTimer_.stop();
    joinWorker();
    stop_ = false;
    scanning_ = true;
    const int scan = ++scanNumber_;
    DetectScanDeps deps = deps_;
    deps.stop = &stop_;
    deps.pause = [this](int ms) { pauseWorker(ms); };
    const int previous = DetectResult_;
    std::weak_ptr<bool> alive = alive_;
    worker_ = std::thread([this, deps, previous, alive, scan] {
        PostingView view(dispatcher_, *this, alive);
        ScanPorts(deps, view, previous);
        dispatcher_.post([this, alive, scan] {
            if (alive.lock()) scanFinished(scan);
        });
    });
}

void DetectDialog::pauseWorker(int ms) {
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void DetectDialog::scanFinished(int scan) {
    if (scan != scanNumber_ || !scanning_) return;  // already joined
    joinWorker();  // it only had to return
    if (closeWanted_) QDialog::reject();
}

void DetectDialog::reject() {
    if (scanTimer_.isActive()) scanTimer_.stop();  // closed before the scan began
    if (!scanning_) {
        QDialog::reject();
        return;
    }
    // The scan ends before its next port; the dialog goes when it has.
    closeWanted_ = true;
    {
        std::lock_guard lock(pauseMutex_);
        stop_ = true;
    }
    pauseCv_.notify_all();
}

// ---- DetectView ----------------------------------------------------------------------

void DetectDialog::setLabel(const std::string& text) { label_->setText(qtext(text)); }

void DetectDialog::appendToLabel(const std::string& text) { label_->setText(label_->text() + qtext(text)); }

void DetectDialog::setProgressMaximum(int maximum) {
    // A range of 0..0 would turn the bar into a busy indicator.
    progress_->setMaximum(maximum < 1 ? 1 : maximum);
}

void DetectDialog::advanceProgress() {
    if (progress_->value() < progress_->maximum()) progress_->setValue(progress_->value() + 1);
}

void DetectDialog::fillProgress() { progress_->setValue(progress_->maximum()); }

void DetectDialog::appendLine(const std::string& line) {
    lines_ << qtext(line);
    report_->appendPlainText(qtext(line));
}

void DetectDialog::removeLastLine() {
    if (lines_.isEmpty()) return;
    lines_.removeLast();
    report_->setPlainText(lines_.join(QLatin1Char('\n')));
}

void DetectDialog::setReportScrollBar(bool shown) {
    report_->setVerticalScrollBarPolicy(shown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void DetectDialog::setDetectResult(int value) { DetectResult_ = value; }

void DetectDialog::enableOk() { ok_->setEnabled(true); }

}  // namespace velmora
