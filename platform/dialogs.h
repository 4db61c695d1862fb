#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora {

// The three looks of the program's message boxes.
enum class MessageIcon { none, stop, information, question, exclamation };

enum class MessageButtons { ok, okCancel, yesNo };

enum class MessageAnswer { ok, cancel, yes, no };

// What a file chooser offers.
struct FileChoice {
    // The classic "description|pattern|description|pattern" form, e.g.
    // "x files(*.x)|*.x"; empty offers every file.
    std::string filter;
    std::string caption;
    // File name the chooser starts with ("default0"); empty for none.
    std::string defaultName;
    // Appended to a typed name without an extension (".pwr"); empty for none.
    std::string defaultExtension;
    // No "open read-only" choice in the chooser.
    bool hideReadOnly = false;
    // The user may resize the chooser.
    bool resizable = true;

    friend bool operator==(const FileChoice&, const FileChoice&) = default;
};

// Message boxes and file choosers. The Qt implementation shows real
// dialogs; tests install a scripted one that records every text shown and
// gives prepared answers. A carriage return inside a text is a line break.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Blocks until the user answers (modal). Closing the box without a
    // button counts as cancel (or no for yes/no boxes).
    virtual MessageAnswer message(const std::string& text, const std::string& caption,
                                  MessageIcon icon, MessageButtons buttons = MessageButtons::ok) = 0;
    // File choosers: the chosen path, or empty when the user cancelled.
    virtual std::string openFile(const FileChoice& choice) = 0;
    virtual std::string saveFile(const FileChoice& choice) = 0;
};

// Records every message and answers from a script (tests).
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        std::string text;
        std::string caption;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer message(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::ok) override {
        shown.push_back({text, caption, icon, buttons});
        runWhileOpen();
        if (!answers.empty()) {
            MessageAnswer a = answers.front();
            answers.erase(answers.begin());
            return a;
        }
        return buttons == MessageButtons::yesNo ? MessageAnswer::yes : MessageAnswer::ok;
    }
    std::string openFile(const FileChoice& choice) override {
        opened.push_back(choice);
        runWhileOpen();
        return nextPath();
    }
    std::string saveFile(const FileChoice& choice) override {
        saved.push_back(choice);
        runWhileOpen();
        return nextPath();
    }

    // Work the UI thread does while a box or chooser is open (a real one
    // runs a nested event loop); runs once, then is dropped.
    std::function<void()> whileOpen;

    std::vector<Shown> shown;              // every message, in order
    std::vector<MessageAnswer> answers;    // consumed front first; default: ok / yes
    std::vector<std::string> paths;        // answers for the file choosers; default: cancel
    std::vector<FileChoice> opened;        // every open chooser shown, in order
    std::vector<FileChoice> saved;         // every save chooser shown, in order

private:
    void runWhileOpen() {
        if (!whileOpen) return;
        const std::function<void()> work = std::move(whileOpen);
        whileOpen = nullptr;
        work();
    }
    std::string nextPath() {
        if (paths.empty()) return {};
        std::string p = paths.front();
        paths.erase(paths.begin());
        return p;
    }
};

}  // namespace velmora
