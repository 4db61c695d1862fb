#include "platform/qt/qt_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include <vector>

namespace velmora {

QString fromProgramText(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString messageBoxText(std::string_view text) {
    QString out = fromProgramText(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString qtFileFilter(std::string_view filter) {
    if (filter.empty()) return {};
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t bar = filter.find('|');
        parts.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) break;
        filter.remove_prefix(bar + 1);
    }
    QStringList entries;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        const QString description = fromProgramText(parts[i]).trimmed();
        QStringList patterns;
        if (i + 1 < parts.size()) {
            for (const QString& p : fromProgramText(parts[i + 1]).split(QLatin1Char(';'))) {
                if (!p.trimmed().isEmpty()) patterns << p.trimmed();
            }
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        if (description.isEmpty() && i + 1 >= parts.size()) continue;  // trailing '|'
        entries << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

std::unique_ptr<QMessageBox> buildMessageBox(const std::string& text, const std::string& caption,
                                             MessageIcon icon, MessageButtons buttons,
                                             QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(fromProgramText(caption));
    box->setText(messageBoxText(text));
    box->setTextFormat(Qt::PlainText);  // unit texts are never markup
    switch (icon) {
        case MessageIcon::none: box->setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::stop: box->setIcon(QMessageBox::Critical); break;
        case MessageIcon::information: box->setIcon(QMessageBox::Information); break;
        case MessageIcon::question: box->setIcon(QMessageBox::Question); break;
        case MessageIcon::exclamation: box->setIcon(QMessageBox::Warning); break;
    }
    switch (buttons) {
        case MessageButtons::ok:
            box->setStandardButtons(QMessageBox::Ok);
            box->setDefaultButton(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Ok);
            break;
        case MessageButtons::okCancel:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box->setDefaultButton(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Cancel);
            break;
        case MessageButtons::yesNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::Yes);
            box->setEscapeButton(QMessageBox::No);
            break;
    }
    return box;
}

MessageAnswer answerFor(int clickedButton, MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::ok:
            return MessageAnswer::ok;
        case MessageButtons::okCancel:
            return clickedButton == QMessageBox::Ok ? MessageAnswer::ok : MessageAnswer::cancel;
        case MessageButtons::yesNo:
            return clickedButton == QMessageBox::Yes ? MessageAnswer::yes : MessageAnswer::no;
    }
    return MessageAnswer::cancel;
}

MessageAnswer QtDialogs::message(const std::string& text, const std::string& caption, MessageIcon icon,
                                 MessageButtons buttons) {
    auto box = buildMessageBox(text, caption, icon, buttons, parent_.data());
    return answerFor(box->exec(), buttons);
}

namespace {

// Paths go back to the program in the file system's own encoding.
std::string toLocalPath(const QString& path) {
    if (path.isEmpty()) return {};
    return QFile::encodeName(path).toStdString();
}

// Qt's own chooser, so that every choice below holds on every desktop (a
// platform chooser may ignore the default suffix or the size grip). Qt's
// chooser never offers "open read-only", so hideReadOnly needs nothing.
std::string runChooser(QWidget* parent, const FileChoice& choice, QFileDialog::AcceptMode mode) {
    QFileDialog chooser(parent, fromProgramText(choice.caption), QString(), qtFileFilter(choice.filter));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    // The list of file types shows the program's own words ("x files(*.x)")
    // and not the patterns a second time behind them.
    chooser.setOption(QFileDialog::HideNameFilterDetails, true);
    chooser.setAcceptMode(mode);
    chooser.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    std::string_view suffix = choice.defaultExtension;
    if (!suffix.empty() && suffix.front() == '.') suffix.remove_prefix(1);
    if (!suffix.empty()) chooser.setDefaultSuffix(fromProgramText(suffix));
    if (!choice.defaultName.empty()) chooser.selectFile(QFile::decodeName(choice.defaultName.c_str()));
    chooser.setSizeGripEnabled(choice.resizable);
    if (!choice.resizable) chooser.setFixedSize(chooser.sizeHint());
    if (chooser.exec() != QDialog::Accepted) return {};
    const QStringList files = chooser.selectedFiles();
    return files.isEmpty() ? std::string() : toLocalPath(files.front());
}

}  // namespace

std::string QtDialogs::openFile(const FileChoice& choice) {
    return runChooser(parent_.data(), choice, QFileDialog::AcceptOpen);
}

std::string QtDialogs::saveFile(const FileChoice& choice) {
    return runChooser(parent_.data(), choice, QFileDialog::AcceptSave);
}

}  // namespace velmora
