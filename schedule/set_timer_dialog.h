#pragma once

// The Set Timer dialog (SetTimerDialog): the power-on and power-off pages with ten
// timer rows each, the bank tab strip and the buttons. A thin shell over
// SetTimerLogic: every event goes to the logic, and the logic draws the
// rows back through SetTimerView. Created once at start-up and kept; modal
// while shown. UI thread only.
//
// Components carry the names the logic and the tests use: "PageControl1"
// with the pages "tbOn" and "tbOff"; per row r (0..19) "chkEnable"+r,
// "lblBank"+r, "lblPort"+r, "cmbAfter"+r, "cmbDay"+r, "edHour"+r,
// "udHour"+r, "edMin"+r, "udMin"+r, "lblSince"+r; "btnOneBank" (tbOn) and
// "btnOneClear1" (tbOff); "TabSet1"; "btnClear", "btnLoad", "btnSave",
// "okButton" (OK), "cancelButton" (Cancel) and "Apply".

#include <QDialog>

#include <array>
#include <string_view>

#include "schedule/set_timer_logic.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTabWidget;
class QToolButton;

namespace velmora {

// The client area. The page control is 681 pixels wide at left 8, so the
// window is 8 + 681 + 8 wide (rather than 653) to show it whole.
inline constexpr int kSetTimerClientWidth = 697;
inline constexpr int kSetTimerClientHeight = 471;

class SetTimerDialog final : public QDialog, public SetTimerView {
    Q_OBJECT

public:
    // createControls: builds both pages and every row; no bank tab yet (the
    // main window appends them as the unit reports its banks).
    SetTimerDialog(SetTimerLogic::Deps deps, QWidget* parent = nullptr);
    ~SetTimerDialog() override;

    SetTimerLogic& logic() { return logic_; }
    const SetTimerLogic& logic() const { return logic_; }

    // ---- What the main window uses ----
    int DialogBank() const { return logic_.DialogBank(); }
    void setDialogBank(int bankIndex) { logic_.setDialogBank(bankIndex); }
    // Shows the dialog modally (the show steps run as it appears); true
    // when it closed with OK. The caller then sends the schedule.
    bool showModal();
    // The bank tab the user has selected (0-based), -1 without tabs: the
    // bank whose confirmations must refresh the dialog.
    int selectedTab() const { return logic_.selectedTab(); }
    void appendTimerTab(std::string_view caption);
    void deleteTimerTab(int index);
    void selectFirstTimerTab();
    bool timerDialogVisible() const { return isVisible(); }
    // Ends a showing as cancelled; nothing while hidden.
    void cancelTimerDialog();
    // The unit confirmed timers of the shown bank: the show steps again
    // (rows refilled from the live tables), once a handler of the dialog
    // that is running has finished; nothing while hidden.
    void refreshTimerDialog();

    // ---- SetTimerView ----
    void drawRow(int row, const TimerRow& state) override;
    void setClearBankCaption(std::string_view caption) override;
    void appendTab(std::string_view caption) override;
    void removeTab(int index) override;
    void selectTab(int index) override;
    void focusField(int row, RowField field) override;
    void closeDialog(bool ok) override;
    bool dialogVisible() const override { return isVisible(); }

    // Components (tests, accessibility checks).
    QTabWidget* pages() const { return pageControl_; }
    QTabBar* tabBar() const { return tabSet_; }

public slots:
    // Escape and the close box: as Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct RowWidgets {
        QCheckBox* chkEnable = nullptr;
        QLabel* lblBank = nullptr;
        QLabel* lblPort = nullptr;
        QComboBox* cmbAfter = nullptr;
        QComboBox* cmbDay = nullptr;
        QLineEdit* edHour = nullptr;
        QWidget* udHour = nullptr;
        QLineEdit* edMin = nullptr;
        QWidget* udMin = nullptr;
        QLabel* lblSince = nullptr;
    };

    QWidget* buildPage(TimerPage page);
    void buildRow(QWidget* page, int row);
    QWidget* buildUpDown(QWidget* page, int row, RowField field, int x, int y);
    bool fieldKey(int row, RowField field, QEvent* event);
    void setTabOrderChain();

    SetTimerLogic logic_;
    QTabWidget* pageControl_ = nullptr;
    QTabBar* tabSet_ = nullptr;
    QPushButton* btnOneBank_ = nullptr;
    QPushButton* btnOneClear_ = nullptr;
    std::array<RowWidgets, kTimerRows> rows_{};
    bool drawingTabs_ = false;  // tab strip changes made by the logic, not the user
};

}  // namespace velmora
