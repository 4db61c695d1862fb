#include "mainwindow/current_history_window.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/dialogs.h"
#include "platform/file_io.h"

namespace velmora {

CurrentHistoryWindow::CurrentHistoryWindow(const CurrentHistory& history, std::function<std::int64_t()> nowMs,
                                           Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), history_(history), nowMs_(std::move(nowMs)), dialogs_(dialogs) {
    setObjectName(QStringLiteral("CurrentHistory"));
    setWindowTitle(QStringLiteral("Current history"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(720, 420);

    chart_ = new QChart();
    chart_->legend()->setAlignment(Qt::AlignBottom);
    view_ = new QChartView(chart_, this);
    view_->setObjectName(QStringLiteral("HistoryChart"));
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setAccessibleName(QStringLiteral("Current of each bank over time"));

    auto* buttons = new QHBoxLayout();
    spans_ = new QButtonGroup(this);
    const struct {
        const char* name;
        const char* caption;
        std::int64_t ms;
    } spans[] = {{"btnLastHour", "Last hour", kHistoryHourMs},
                 {"btnSixHours", "6 hours", 6 * kHistoryHourMs},
                 {"btnDay", "24 hours", kHistorySpanMs}};
    for (const auto& s : spans) {
        auto* b = new QPushButton(QString::fromLatin1(s.caption), this);
        b->setObjectName(QString::fromLatin1(s.name));
        b->setCheckable(true);
        b->setChecked(s.ms == spanMs_);
        spans_->addButton(b);
        buttons->addWidget(b);
        const std::int64_t ms = s.ms;
        connect(b, &QPushButton::clicked, this, [this, ms] { setSpan(ms); });
    }
    buttons->addStretch();
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("btnExportCsv"));
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    buttons->addWidget(exportButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
}

void CurrentHistoryWindow::showBanks(int bankCount, int onlyBank) {
    banks_.clear();
    if (onlyBank >= 1 && onlyBank <= kHistoryBanks) {
        banks_.push_back(onlyBank);
    } else {
        for (int b = 1; b <= std::clamp(bankCount, 0, kHistoryBanks); ++b) banks_.push_back(b);
    }
    for (QLineSeries* s : series_) {
        chart_->removeSeries(s);
        delete s;
    }
    series_.clear();
    // Fresh axes with every set of lines: a date-time axis the chart laid
    // out once without a line (a grab or a show before this) keeps no room
    // for its labels and title afterwards.
    for (QAbstractAxis* axis : chart_->axes()) {
        chart_->removeAxis(axis);
        delete axis;
    }
    x_ = new QDateTimeAxis(chart_);
    x_->setFormat(QStringLiteral("HH:mm"));
    x_->setTitleText(QStringLiteral("Local time"));
    y_ = new QValueAxis(chart_);
    y_->setTitleText(QStringLiteral("Current (A)"));
    y_->setLabelFormat(QStringLiteral("%.1f"));
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(y_, Qt::AlignLeft);
    for (int bank : banks_) {
        auto* line = new QLineSeries();
        line->setName(QStringLiteral("Bank %1").arg(bank));
        chart_->addSeries(line);
        line->attachAxis(x_);
        line->attachAxis(y_);
        connect(line, &QLineSeries::hovered, this, [bank](const QPointF& point, bool state) {
            if (!state) return;
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x()));
            QToolTip::showText(QCursor::pos(), QStringLiteral("Bank %1: %2 A at %3")
                                                   .arg(bank)
                                                   .arg(point.y(), 0, 'f', 1)
                                                   .arg(when.toString(QStringLiteral("HH:mm:ss"))));
        });
        series_.push_back(line);
    }
    setWindowTitle(onlyBank >= 1 ? QStringLiteral("Current history - Bank %1").arg(onlyBank)
                                 : QStringLiteral("Current history"));
    refresh();
    show();
    raise();
    activateWindow();
}

void CurrentHistoryWindow::setSpan(std::int64_t ms) {
    spanMs_ = ms;
    for (QAbstractButton* b : spans_->buttons()) {
        b->setChecked((ms == kHistoryHourMs && b->objectName() == QStringLiteral("btnLastHour")) ||
                      (ms == 6 * kHistoryHourMs && b->objectName() == QStringLiteral("btnSixHours")) ||
                      (ms == kHistorySpanMs && b->objectName() == QStringLiteral("btnDay")));
    }
    refresh();
}

void CurrentHistoryWindow::refresh() {
    if (!x_ || !y_) return;  // nothing shown yet
    const std::int64_t now = nowMs_();
    // The x axis runs in wall-clock time: the span before the newest sample.
    std::int64_t newestWallMs = QDateTime::currentMSecsSinceEpoch();
    bool any = false;
    for (int bank : banks_) {
        const std::optional<CurrentSample> last = history_.newest(bank);
        if (!last || now - last->monotonicMs > spanMs_) continue;
        if (!any || last->wallSeconds * 1000 > newestWallMs) newestWallMs = last->wallSeconds * 1000;
        any = true;
    }
    const std::int64_t fromWallMs = newestWallMs - spanMs_;
    // A day of samples is many more than the chart has pixels across: the
    // lowest and highest of every two pixels draw the same picture, and
    // keep the lines' outlines (hover finds a line by them) small.
    const int columns = std::max(200, view_->width() / 2);
    double top = 1.0;
    for (std::size_t i = 0; i < series_.size(); ++i) {
        history_.samplesInto(banks_[i], now, spanMs_, scratch_);
        QList<QPointF> points;
        for (const CurrentSample& s : samplesToDraw(scratch_, fromWallMs, newestWallMs, columns)) {
            points.append(QPointF(static_cast<double>(s.wallSeconds) * 1000.0, s.amperes));
            top = std::max(top, static_cast<double>(s.amperes));
        }
        series_[i]->replace(points);
    }
    x_->setRange(QDateTime::fromMSecsSinceEpoch(fromWallMs), QDateTime::fromMSecsSinceEpoch(newestWallMs));
    y_->setRange(0.0, top * 1.15);
    y_->applyNiceNumbers();
}

void CurrentHistoryWindow::exportCsv() {
    FileChoice choice;
    choice.filter = "CSV files(*.csv)|*.csv|all file(*.*)|*.*";
    choice.caption = "Export current history";
    choice.defaultName = "current-history";
    choice.defaultExtension = ".csv";
    const std::string path = dialogs_.saveFile(choice);
    if (path.empty()) return;
    const FileSave saved = saveFileAtomically(path, history_.csv(nowMs_()));
    if (saved.status != FileIoStatus::ok) {
        dialogs_.message("The current history could not be written to\r" + path + "\r(" + saved.error +
                             "). The file on disk was not changed.",
                         "", MessageIcon::stop);
    }
}

}  // namespace velmora
