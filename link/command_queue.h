#pragma once

// The list of commands (clears and sets of a schedule transfer) that wait for
// the unit's confirmation. Only the head is ever outstanding on the wire.
// The UI thread appends and advances, the reader matches confirmations and
// removes the last command; every operation takes the one lock inside.

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class CommandQueue {
public:
    enum class Match {
        noMatch,      // list empty, or the confirmation is not for the head: nothing changed
        lastRemoved,  // matched a head with no successor: it was removed, the list is now empty
        moreWaiting,  // matched a head with a successor: the head is still in the list; the
                      // UI calls advance() and writes the text it returns
    };

    // Puts a complete command text (with "/" and "\") behind the last one.
    void append(std::string text);
    // The command waiting for its confirmation; nullopt when the list is empty.
    std::optional<std::string> head() const;
    bool empty() const;
    std::size_t size() const;

    // Tests a confirmation line against the head. letter is 'Q' (a clear was
    // confirmed) or 'E' (a set); firstWord is the line's first word, e.g.
    // "Q0110"; portIndex is the line's port index after the scope conversion.
    //  'Q': matches when characters 2..6 of the head (counting from 1) equal
    //       the whole word, or when portIndex is 0.
    //  'E': matches when characters 3..6 of the head equal characters 2..5 of
    //       the word, or when portIndex is 0.
    // Characters that a short head or word does not have never match. Any
    // other letter never matches.
    Match matchConfirmation(char letter, std::string_view firstWord, int portIndex);

    // Removes the head and returns the text of the new head (the command to
    // write next); nullopt when the list is empty afterwards (or was).
    std::optional<std::string> advance();

    // Throws every waiting command away (link reset).
    void clear();

private:
    mutable std::mutex mutex_;
    std::deque<std::string> commands_;
};

}  // namespace velmora
