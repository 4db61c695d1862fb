#pragma once

// Message boxes and file choosers for a program without windows: a message
// goes to the error stream (a carriage return in it starts a new line), and
// a file chooser answers with the file the command line named, once.

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace velmora::cli {

class ConsoleDialogs final : public Dialogs {
public:
    // `json`: each message as {"message":"..."} on a line of its own.
    ConsoleDialogs(std::ostream& err, bool json) : err_(err), json_(json) {}

    MessageAnswer message(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ok) override;
    // The next queued file, or "" (cancelled) when none is left.
    std::string openFile(const FileChoice& choice) override;
    std::string saveFile(const FileChoice& choice) override;

    void queueFile(std::string path) { files_.push_back(std::move(path)); }
    // Every message shown, as given.
    const std::vector<std::string>& shown() const { return shown_; }

private:
    std::ostream& err_;
    bool json_;
    std::deque<std::string> files_;
    std::vector<std::string> shown_;
};

// A message's text for a terminal line: each carriage return (with a line
// feed after it or not) becomes a line feed.
std::string consoleText(const std::string& text);

}  // namespace velmora::cli
