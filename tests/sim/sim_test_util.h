#pragma once

// Helpers for the simulator's tests: a reading of the unit's output that is
// written here again on purpose, so that it does not share the program's
// parser or the simulator's own code.

#include <string>
#include <string_view>
#include <vector>

namespace velmora::sim::testing {

// The framed lines "/text\" of an answer, in order, without the frame
// characters. Bytes outside frames are skipped; a "/" restarts a frame.
inline std::vector<std::string> framedLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string cur;
    bool open = false;
    for (char c : bytes) {
        if (c == '/') {
            cur.clear();
            open = true;
        } else if (c == '\\' && open) {
            lines.push_back(cur);
            open = false;
        } else if (open) {
            cur += c;
        }
    }
    return lines;
}

// Bytes outside any "/...\" frame.
inline std::string unframedBytes(const std::string& bytes) {
    std::string out;
    bool open = false;
    for (char c : bytes) {
        if (c == '/') open = true;
        else if (c == '\\' && open) open = false;
        else if (!open) out += c;
    }
    return out;
}

// Upgrade text cut the way the PC cuts it in upgrade text mode: a line
// ends at a backspace (value 8) or a line feed; empty lines are dropped.
// Carriage returns stay in the line, as the PC keeps them.
inline std::vector<std::string> upgradeTextLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : bytes) {
        if (c == 8 || c == '\n') {
            if (!cur.empty()) lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return lines;
}

// Blank-separated words of a line (carriage returns count as blanks).
inline std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    for (char c : line) {
        if (c == ' ' || c == '\r' || c == '\t') {
            if (!cur.empty()) words.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) words.push_back(cur);
    return words;
}

inline std::string bytesOf(const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); }

// Pieces joined by appending (g++ 12 at -O3 warns falsely about overlapping
// copies in chains of string operator+).
template <typename... Pieces>
std::string joined(const Pieces&... pieces) {
    std::string out;
    (out.append(std::string_view(pieces)), ...);
    return out;
}

}  // namespace velmora::sim::testing
