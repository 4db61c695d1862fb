#include "link/command_queue.h"

#include <utility>

namespace velmora {

void CommandQueue::append(std::string text) {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(text));
}

std::optional<std::string> CommandQueue::head() const {
    std::lock_guard lock(mutex_);
    if (commands_.empty()) return std::nullopt;
    return commands_.front();
}

bool CommandQueue::empty() const {
    std::lock_guard lock(mutex_);
    return commands_.empty();
}

std::size_t CommandQueue::size() const {
    std::lock_guard lock(mutex_);
    return commands_.size();
}

namespace {

bool headMatches(char letter, std::string_view head, std::string_view word) {
    if (letter == 'Q') {
        // Head "/Q0110\": its letter and four digits against the whole word.
        return head.size() >= 6 && head.substr(1, 5) == word;
    }
    // Head "/T0110 0010530\": the four digits after the letter against the
    // word's four digits after its "E".
    return head.size() >= 6 && word.size() >= 5 && head.substr(2, 4) == word.substr(1, 4);
}

}  // namespace

CommandQueue::Match CommandQueue::matchConfirmation(char letter, std::string_view firstWord,
                                                    int portIndex) {
    if (letter != 'Q' && letter != 'E') return Match::noMatch;
    std::lock_guard lock(mutex_);
    if (commands_.empty()) return Match::noMatch;
    if (portIndex != 0 && !headMatches(letter, commands_.front(), firstWord)) {
        return Match::noMatch;
    }
    if (commands_.size() > 1) return Match::moreWaiting;
    commands_.pop_front();
    return Match::lastRemoved;
}

std::optional<std::string> CommandQueue::advance() {
    std::lock_guard lock(mutex_);
    if (!commands_.empty()) commands_.pop_front();
    if (commands_.empty()) return std::nullopt;
    return commands_.front();
}

void CommandQueue::clear() {
    std::lock_guard lock(mutex_);
    commands_.clear();
}

}  // namespace velmora
