#pragma once

// "Current history": each bank's current over the last hour, 6 hours or
// 24 hours as lines on a chart (Qt Charts): local time of day across,
// amperes up, the value under the mouse in a tooltip; "Export CSV..."
// writes what the history holds. A window of its own beside the main
// window, opened from Tools or a panel's pop-up menu (that bank alone).

#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

#include "mainwindow/current_history.h"

class QButtonGroup;
class QLineSeries;
class QValueAxis;
class QDateTimeAxis;
class QChart;
class QChartView;

namespace velmora {

class Dialogs;

inline constexpr std::int64_t kHistoryHourMs = 3600LL * 1000;

class CurrentHistoryWindow final : public QDialog {
    Q_OBJECT

public:
    // `nowMs`: the monotonic clock the samples were taken on.
    CurrentHistoryWindow(const CurrentHistory& history, std::function<std::int64_t()> nowMs, Dialogs& dialogs,
                         QWidget* parent = nullptr);

    // Shown (raised when it is) with banks 1..bankCount, or only `onlyBank`
    // when it is 1..16.
    void showBanks(int bankCount, int onlyBank = 0);
    // Draws the history again (after a new sample while it is shown).
    void refresh();
    // The span shown: the last hour, 6 hours or 24 hours.
    void setSpan(std::int64_t ms);
    std::int64_t span() const { return spanMs_; }
    // Writes the CSV file the chooser gives; says so when it cannot.
    void exportCsv();

    // The chart's lines (tests, screenshots).
    const std::vector<QLineSeries*>& lines() const { return series_; }

private:
    const CurrentHistory& history_;
    std::function<std::int64_t()> nowMs_;
    Dialogs& dialogs_;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QDateTimeAxis* x_ = nullptr;
    QValueAxis* y_ = nullptr;
    QButtonGroup* spans_ = nullptr;
    std::vector<QLineSeries*> series_;
    std::vector<int> banks_;
    std::vector<CurrentSample> scratch_;  // one bank's samples while drawing
    std::int64_t spanMs_ = kHistoryHourMs;
};

}  // namespace velmora
