#include "maintenance/upgrade_dialog.h"

#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "maintenance/upgrade_mouse_block.h"

namespace velmora {

namespace {

constexpr int kControlLeft = 32;
constexpr int kControlWidth = 481;
constexpr int kBarTop = 24;
constexpr int kBarHeight = 16;
constexpr int kMemoTop = 48;
constexpr int kMemoHeight = 177;

// The unit's lines end with a carriage return before the line feed that cut
// them; inside a line a carriage return is a line break.
QString shownLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

UpgradeDialog::UpgradeDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Upgrade Process"));
    // Dialog border with a title but no buttons in it: the upgrade ends the
    // dialog, not the user.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kUpgradeDialogWidth, kUpgradeDialogHeight);
    setModal(false);
    QFont face;
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    face.setPixelSize(11);
    setFont(face);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("UpGrade1"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("Upgrade progress"));
    progressBar_->setGeometry(kControlLeft, kBarTop, kControlWidth, kBarHeight);

    messageMemo_ = new QPlainTextEdit(this);
    messageMemo_->setObjectName(QStringLiteral("Memo1"));
    messageMemo_->setReadOnly(true);
    messageMemo_->setUndoRedoEnabled(false);
    messageMemo_->setAccessibleName(QStringLiteral("Messages from the unit"));
    messageMemo_->setGeometry(kControlLeft, kMemoTop, kControlWidth, kMemoHeight);

    // Never shown: it is what the time-out presses to close the dialog.
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAutoDefault(false);
    cancelButton_->setVisible(false);
    connect(cancelButton_, &QPushButton::clicked, this, &UpgradeDialog::onCancelClicked);

    mouseBlock_ = new UpgradeMouseBlock(this, messageMemo_, this);
    QApplication::instance()->installEventFilter(mouseBlock_);
}

UpgradeDialog::~UpgradeDialog() {
    if (QCoreApplication* app = QApplication::instance()) app->removeEventFilter(mouseBlock_);
}

void UpgradeDialog::protectFromClicks(const std::vector<QWidget*>& widgets) { mouseBlock_->setProtectedWidgets(widgets); }

void UpgradeDialog::showDialog() {
    show();
    raise();
    activateWindow();
}

void UpgradeDialog::closeDialog() {
    if (isVisible()) close();
}

void UpgradeDialog::pressCancel() { cancelButton_->click(); }

void UpgradeDialog::setProgress(int percent) { progressBar_->setValue(percent < 0 ? 0 : percent > 100 ? 100 : percent); }

void UpgradeDialog::appendMessage(std::string_view line) { messageMemo_->appendPlainText(shownLine(line)); }

void UpgradeDialog::clearMessages() { messageMemo_->clear(); }

void UpgradeDialog::onCancelClicked() { close(); }

}  // namespace velmora
