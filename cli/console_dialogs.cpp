#include "cli/console_dialogs.h"

#include "cli/cli_output.h"

namespace velmora::cli {

std::string consoleText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

MessageAnswer ConsoleDialogs::message(const std::string& text, const std::string&, MessageIcon,
                                      MessageButtons buttons) {
    shown_.push_back(text);
    if (json_) {
        err_ << "{\"message\":" << jsonString(consoleText(text)) << "}\n";
    } else {
        err_ << "velmoractl: " << consoleText(text) << "\n";
    }
    err_.flush();
    // Nobody is there to answer: questions take their default.
    return buttons == MessageButtons::yesNo ? MessageAnswer::yes : MessageAnswer::ok;
}

std::string ConsoleDialogs::openFile(const FileChoice&) {
    if (files_.empty()) return {};
    std::string path = std::move(files_.front());
    files_.pop_front();
    return path;
}

std::string ConsoleDialogs::saveFile(const FileChoice&) { return {}; }

}  // namespace velmora::cli
