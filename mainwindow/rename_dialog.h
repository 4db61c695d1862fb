#pragma once

// "Rename": the user's names of one bank and its eight outlets in one form
// ("router", "DUT 3"), opened from a panel's pop-up menu or by a double
// click on a name beneath a port button. OK takes the form only when every
// name passes the check; otherwise it says which one and why.

#include <QDialog>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;

namespace velmora {

class Dialogs;

class RenameDialog final : public QDialog {
    Q_OBJECT

public:
    // Why a name cannot be given, or nullopt when it can ("" always can).
    using Check = std::function<std::optional<std::string>(std::string_view name)>;
    // names[0]: the bank's; names[1..8]: its ports'.
    using Names = std::array<std::string, 9>;

    RenameDialog(Check check, Dialogs& dialogs, QWidget* parent = nullptr);

    // Shown (window-modal) for `bank` with its names now, the cursor in the
    // field of `port` (0: the bank's).
    void edit(int bank, const Names& names, int port);
    int bank() const { return bank_; }
    // What the fields hold, blanks around each name taken off.
    Names names() const;
    QLineEdit* field(int port) const { return fields_[static_cast<std::size_t>(port)]; }

    // Refuses, with a message, a form that has a name the check refuses.
    void accept() override;

signals:
    // OK with a form every name of which passed.
    void namesChosen(int bank, const velmora::RenameDialog::Names& names);

private:
    Check check_;
    Dialogs& dialogs_;
    int bank_ = 0;
    std::array<QLineEdit*, 9> fields_{};
    QLabel* bankLabel_ = nullptr;
};

}  // namespace velmora
