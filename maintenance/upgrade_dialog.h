#pragma once

// The Upgrade Process dialog: a percentage bar and the unit's messages
// while a firmware image goes out. Created at start-up and kept for the
// whole run; shown without being modal. It decides nothing: the upgrade
// logic drives it through UpgradeView. While it (or its message list) has
// the focus, mouse clicks on the widgets given to protectFromClicks() are
// discarded (see UpgradeMouseBlock).

#include <QDialog>

#include <string_view>
#include <vector>

#include "maintenance/firmware_upgrade.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace velmora {

class UpgradeMouseBlock;

// Client area of the dialog, pixels.
inline constexpr int kUpgradeDialogWidth = 537;
inline constexpr int kUpgradeDialogHeight = 240;

class UpgradeDialog final : public QDialog, public UpgradeView {
    Q_OBJECT

public:
    // createControls: the controls, and the mouse block installed on the
    // application for as long as the dialog lives (FormDestroy removes it).
    // Needs the QApplication.
    explicit UpgradeDialog(QWidget* parent = nullptr);
    ~UpgradeDialog() override;

    // The widgets whose clicks are discarded while the dialog has the focus:
    // the main window, its bank panels, its scroll bar and its menu bar
    // (everything inside them within their window is covered too).
    void protectFromClicks(const std::vector<QWidget*>& widgets);

    // ---- UpgradeView ----
    void showDialog() override;
    void closeDialog() override;
    void pressCancel() override;
    void setProgress(int percent) override;
    // The line as the unit sent it (8-bit text); the carriage return that
    // ends the unit's lines is not shown.
    void appendMessage(std::string_view line) override;
    void clearMessages() override;

    // Components (tests, accessibility checks).
    QProgressBar* progressBar() const { return progressBar_; }
    QPlainTextEdit* messageMemo() const { return messageMemo_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    UpgradeMouseBlock* mouseBlock() const { return mouseBlock_; }

public slots:
    // The hidden cancel button: closes the dialog.
    void onCancelClicked();

private:
    QProgressBar* progressBar_ = nullptr;
    QPlainTextEdit* messageMemo_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    UpgradeMouseBlock* mouseBlock_ = nullptr;
};

}  // namespace velmora
