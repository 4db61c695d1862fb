#include "settings/configuration_dialog.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

namespace velmora {

namespace {

constexpr int kClientWidth = 402;
constexpr int kClientHeight = 235;
constexpr int kCheckBoxHeight = 17;

QCheckBox* makeCheckBox(QWidget* parent, const char* name, const char* caption, int x, int y, int width) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(box->text());
    box->setGeometry(x, y, width, kCheckBoxHeight);
    return box;
}

}  // namespace

ConfigurationDialog::ConfigurationDialog(const std::vector<std::string>& ComPortNames, Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("OKRightDlg"));
    setWindowTitle(QStringLiteral("Configuration"));
    // Dialog border: title and close box only, not resizable.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    // The classic dialog face; where it is missing a metric-compatible sans.
    QFont face;
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    face.setPixelSize(11);
    setFont(face);

    portLabel_ = new QLabel(QStringLiteral("Select Com Port"), this);
    portLabel_->setObjectName(QStringLiteral("Label1"));
    portLabel_->setAccessibleName(portLabel_->text());
    portLabel_->setGeometry(33, 44, 95, 13);

    comboPortSel_ = new QComboBox(this);
    comboPortSel_->setObjectName(QStringLiteral("comboPortSel"));
    comboPortSel_->setEditable(false);  // selection only
    comboPortSel_->setAccessibleName(portLabel_->text());
    comboPortSel_->setGeometry(130, 39, 79, 21);
    portLabel_->setBuddy(comboPortSel_);
    // createControls: the port list in slot order. Long device names fit in the
    // open list even though the closed box keeps its width.
    for (const std::string& name : ComPortNames)
        comboPortSel_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    comboPortSel_->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    comboPortSel_->view()->setMinimumWidth(comboPortSel_->minimumSizeHint().width());

    constexpr int kBoxWidth = kClientWidth - 24 - 8;
    chkAuto_ = makeCheckBox(this, "chkAuto", "Auto connect to Velmora on start", 24, 85, kBoxWidth);
    confirmPromptBox_ = makeCheckBox(this, "cbOnPrompt", "Touch Panel Power ON/OFF Confirmation Prompt", 24, 111, kBoxWidth);
    ckbSetRTC_ = makeCheckBox(this, "ckbSetRTC", "Auto-sync system time with host time on start", 24, 136, kBoxWidth);
    cbRestoreStatus_ =
        makeCheckBox(this, "cbRestoreStatus", "Restore last-known port status on start", 24, 160, kBoxWidth);
    // Never shown and bound to nothing.
    debugMessageBox_ = makeCheckBox(this, "CheckBox1", "Show Debug Message", 24, 192, 150);
    debugMessageBox_->setVisible(false);

    okButton_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setAccessibleName(okButton_->text());
    okButton_->setDefault(true);
    okButton_->setGeometry(211, 196, 76, 25);
    connect(okButton_, &QPushButton::clicked, this, &ConfigurationDialog::accept);

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAccessibleName(cancelButton_->text());
    cancelButton_->setAutoDefault(false);
    cancelButton_->setGeometry(296, 196, 75, 25);
    connect(cancelButton_, &QPushButton::clicked, this, &ConfigurationDialog::reject);

    // Tab order: OK, Cancel, prompt, port list, auto-connect, (hidden debug
    // box), clock sync, restore.
    QWidget* order[] = {okButton_, cancelButton_, confirmPromptBox_, comboPortSel_, chkAuto_, debugMessageBox_, ckbSetRTC_,
                        cbRestoreStatus_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    okButton_->setFocus();

    loadControls();
}

void ConfigurationDialog::setChoice(const ConfigurationChoice& choice) {
    comboPortSel_->setCurrentIndex(choice.ComPort);
    chkAuto_->setChecked(choice.Auto);
    confirmPromptBox_->setChecked(choice.Prompt);
    ckbSetRTC_->setChecked(choice.SetRTC);
    cbRestoreStatus_->setChecked(choice.RestoreStatus);
}

void ConfigurationDialog::loadControls() {
    // The list holds "AUTO" and the ports; choiceFromSettings falls back to 0
    // for a position it cannot show.
    setChoice(choiceFromSettings(settings_, comboPortSel_->count() - 1));
}

void ConfigurationDialog::aboutToShow(bool GreetingSeen) {
    loadControls();
    // The port cannot change under an open link.
    comboPortSel_->setEnabled(!GreetingSeen);
    chkAuto_->setEnabled(!GreetingSeen);
}

ConfigurationChoice ConfigurationDialog::choice() const {
    ConfigurationChoice c;
    c.ComPort = comboPortSel_->currentIndex() < 0 ? 0 : comboPortSel_->currentIndex();
    c.Auto = chkAuto_->isChecked();
    c.Prompt = confirmPromptBox_->isChecked();
    c.SetRTC = ckbSetRTC_->isChecked();
    c.RestoreStatus = cbRestoreStatus_->isChecked();
    return c;
}

void ConfigurationDialog::takeConnectChoice() { storeConnectChoice(settings_, choice()); }

bool ConfigurationDialog::execute(bool GreetingSeen, SetRTCMenu& menu) {
    aboutToShow(GreetingSeen);
    menu_ = &menu;
    okButton_->setFocus();
    const int result = exec();
    menu_ = nullptr;
    return result == QDialog::Accepted;
}

void ConfigurationDialog::closeAsCancelled() {
    if (isVisible()) reject();
}

void ConfigurationDialog::accept() {
    storeChoice(settings_, choice());
    if (menu_) applySetRTCChoice(settings_.SetRTC, *menu_);
    QDialog::accept();
}

void ConfigurationDialog::reject() {
    // Edits are dropped however the dialog is left without OK, so that
    // Connect never takes a choice the user cancelled. The lock stays.
    loadControls();
    QDialog::reject();
}

void ConfigurationDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

bool runConfigurationCommand(ConfigurationDialog& dialog, bool GreetingSeen, SetRTCMenu& menu,
                             const std::filesystem::path& settingsPath,
                             Dialogs& dialogs, const std::function<void(const std::string&)>& writeToPort) {
    if (!dialog.execute(GreetingSeen, menu)) return false;
    configurationAccepted(dialog.boundSettings(), settingsPath, dialogs, writeToPort);
    return true;
}

}  // namespace velmora
