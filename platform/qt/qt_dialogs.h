#pragma once

#include "platform/dialogs.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// Message boxes and file choosers as Qt dialogs, modal over `parent` (the
// main window; may be null). UI thread only.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MessageAnswer message(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ok) override;
    std::string openFile(const FileChoice& choice) override;
    std::string saveFile(const FileChoice& choice) override;

private:
    QPointer<QWidget> parent_;
};

// The program's texts are 8-bit; every byte maps to the character of the
// same code (Latin-1), so no text is ever refused or cut.
QString fromProgramText(std::string_view text);

// A message text for display: each carriage return (alone or followed by a
// line feed) becomes one line break.
QString messageBoxText(std::string_view text);

// The classic "description|pattern|description|pattern" filter as Qt's
// "description (pattern);;description (pattern)". Patterns separated by ';'
// are separated by blanks. A description without a pattern gets "*"; an
// empty filter gives an empty text (every file).
QString qtFileFilter(std::string_view filter);

// The message box message() shows, ready for exec(): caption, text, icon
// (none, stop = critical, information, question) and buttons, with the
// escape button set so that closing the box answers cancel (or no).
std::unique_ptr<QMessageBox> buildMessageBox(const std::string& text, const std::string& caption,
                                             MessageIcon icon, MessageButtons buttons,
                                             QWidget* parent);

// The answer for the button that closed a box of kind `buttons`. Any value
// that is not one of the box's buttons (the box was closed otherwise)
// answers cancel, or no for a yes/no box; an OK-only box always answers ok.
MessageAnswer answerFor(int clickedButton, MessageButtons buttons);

}  // namespace velmora
