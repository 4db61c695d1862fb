#include "mainwindow/rename_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/dialogs.h"

namespace velmora {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RenameDialog::RenameDialog(Check check, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), check_(std::move(check)), dialogs_(dialogs) {
    setObjectName(QStringLiteral("RenameOutlets"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowModality(Qt::WindowModal);
    auto* form = new QFormLayout();
    for (int port = 0; port <= 8; ++port) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(port == 0 ? QStringLiteral("edBankName") : QStringLiteral("edPortName%1").arg(port));
        edit->setPlaceholderText(QStringLiteral("no name"));
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 20);
        auto* label = new QLabel(port == 0 ? QString() : QStringLiteral("Port &%1:").arg(port), this);
        label->setBuddy(edit);  // a screen reader names the field by it
        if (port == 0) bankLabel_ = label;
        form->addRow(label, edit);
        fields_[static_cast<std::size_t>(port)] = edit;
    }
    auto* hint = new QLabel(QStringLiteral("Up to 32 characters; an empty field takes the name away."), this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RenameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RenameDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addWidget(buttons);
}

void RenameDialog::edit(int bank, const Names& names, int port) {
    bank_ = bank;
    setWindowTitle(QStringLiteral("Rename - Bank %1").arg(bank));
    bankLabel_->setText(QStringLiteral("&Bank %1:").arg(bank));
    for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->setText(fromUtf8(names[i]));
    open();
    raise();
    activateWindow();
    QLineEdit* focus = fields_[static_cast<std::size_t>(port >= 0 && port <= 8 ? port : 0)];
    focus->setFocus();
    focus->selectAll();
}

RenameDialog::Names RenameDialog::names() const {
    Names names;
    for (std::size_t i = 0; i < fields_.size(); ++i) names[i] = fields_[i]->text().trimmed().toStdString();
    return names;
}

void RenameDialog::accept() {
    const Names chosen = names();
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i].empty() || !check_) continue;
        if (const std::optional<std::string> why = check_(chosen[i])) {
            const std::string what = i == 0 ? "Bank " + std::to_string(bank_) : "Port " + std::to_string(i);
            dialogs_.message(what + ": " + *why, "", MessageIcon::exclamation);
            fields_[i]->setFocus();
            fields_[i]->selectAll();
            return;
        }
    }
    QDialog::accept();
    emit namesChosen(bank_, chosen);
}

}  // namespace velmora
