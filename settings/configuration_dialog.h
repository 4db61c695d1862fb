#pragma once

// The Configuration dialog: the COM port to use, auto-connect at start-up,
// the switching prompt, automatic clock synchronisation and port-status
// restore. Created once at start-up and kept; modal while shown. Its port
// list and auto-connect box are also what Connect takes its choice from.

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "settings/configuration_logic.h"
#include "settings/settings_file.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmora {

class ConfigurationDialog final : public QDialog {
    Q_OBJECT

public:
    // createControls: fills comboPortSel with `ComPortNames` in slot order (slot
    // 0 "AUTO" first) and loads the controls from `settings`, so that a
    // Connect before the first showing keeps the stored port and Auto.
    // Create it after ReadSettings (or call loadControls() after it).
    // `settings` must outlive the dialog.
    ConfigurationDialog(const std::vector<std::string>& ComPortNames, Settings& settings, QWidget* parent = nullptr);

    // Sets the five bound controls from Settings. A ComPort the list cannot
    // show selects "AUTO".
    void loadControls();

    // aboutToShow: loadControls(); with GreetingSeen (a unit greeted on the open
    // link) the port list and the auto-connect box are disabled, otherwise
    // enabled. The other boxes stay enabled.
    void aboutToShow(bool GreetingSeen);

    // Shows the dialog modally, after aboutToShow(GreetingSeen).
    // true: closed with OK; the five values are in Settings and the
    // clock-sync menu rule has been applied to `menu` (the caller then
    // writes define.ini and sends the restore choice: configurationAccepted).
    // false: closed otherwise (Cancel, Escape, close box,
    // closeAsCancelled()); Settings and `menu` untouched, the controls show
    // Settings again.
    bool execute(bool GreetingSeen, SetRTCMenu& menu);

    // The controls as they stand.
    ConfigurationChoice choice() const;

    // Connect's first step: ComPort and Auto from the port list and the
    // auto-connect box into Settings; the rest of Settings is left alone.
    void takeConnectChoice();

    // The Settings record the dialog was created with.
    Settings& boundSettings() const { return settings_; }

    // Ends a showing as cancelled. Does nothing while the dialog is hidden.
    void closeAsCancelled();

    // Components (tests, accessibility checks).
    QLabel* portLabel() const { return portLabel_; }
    QComboBox* comboPortSel() const { return comboPortSel_; }
    QCheckBox* chkAuto() const { return chkAuto_; }
    QCheckBox* cbOnPrompt() const { return confirmPromptBox_; }
    QCheckBox* ckbSetRTC() const { return ckbSetRTC_; }
    QCheckBox* cbRestoreStatus() const { return cbRestoreStatus_; }
    QCheckBox* debugMessageBox() const { return debugMessageBox_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

public slots:
    // onOkClicked: the controls into Settings, the clock-sync menu rule,
    // closed with OK.
    void accept() override;
    // onCancelClicked (also Escape and the close box): the controls reloaded
    // from Settings, closed with Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setChoice(const ConfigurationChoice& choice);

    Settings& settings_;
    SetRTCMenu* menu_ = nullptr;  // set while execute() runs
    QLabel* portLabel_ = nullptr;
    QComboBox* comboPortSel_ = nullptr;
    QCheckBox* chkAuto_ = nullptr;
    QCheckBox* confirmPromptBox_ = nullptr;
    QCheckBox* ckbSetRTC_ = nullptr;
    QCheckBox* cbRestoreStatus_ = nullptr;
    QCheckBox* debugMessageBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

// The Configuration menu command (configurationChosen): shows `dialog`
// modally (see execute); after OK writes its Settings to define.ini at `settingsPath`
// (messages to `dialogs`) and then sends the restore choice, "/EN001\" or
// "/DS001\", through `writeToPort` in one write (which does nothing when no
// link is open). Without OK nothing is written or sent.
// Returns whether the dialog closed with OK.
bool runConfigurationCommand(ConfigurationDialog& dialog, bool GreetingSeen, SetRTCMenu& menu,
                             const std::filesystem::path& settingsPath,
                             Dialogs& dialogs, const std::function<void(const std::string&)>& writeToPort);

}  // namespace velmora
