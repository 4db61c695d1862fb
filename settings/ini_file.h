#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"

namespace velmora {

// An INI-style profile file held in memory, with the lookup and update rules
// of the classic private-profile-string calls:
//  - section and key names match without regard to ASCII letter case;
//  - a section line is "[name]" (blanks around the name and before "[" are
//    ignored); a key line is "key=value", blanks around key and value ignored;
//  - a value enclosed in a matching pair of double or single quotes is read
//    without them;
//  - lines outside any section, lines without "=" and lines whose key matches
//    nothing are never touched;
//  - when a section appears more than once, reads and writes use the first
//    key line found in any of them, so a write is always what the next read
//    sees;
//  - a write replaces the value of an existing key line in place (keeping the
//    key as spelled in the file), appends a missing key after the last
//    non-blank line of the first such section, and appends a missing section
//    at the end of the file.
// Bytes are kept as they are (8-bit text, NULs included); every other line,
// its order and its own line end survive a write byte for byte. New lines get
// the line end the file already uses (CR LF when its first line end is CR LF,
// LF otherwise).
class ProfileFile {
public:
    ProfileFile() = default;

    // Splits `bytes` into lines; never fails.
    static ProfileFile parse(std::string_view bytes);
    // The file's bytes, ready to be written back.
    std::string serialize() const;

    // The trimmed (and unquoted) value of `key` in `section`, or nullopt when
    // the section or the key is absent. An empty value is "" (present).
    std::optional<std::string> readString(std::string_view section, std::string_view key) const;

    // The value as a decimal integer (optional sign, 32-bit range), or
    // `defaultValue` when the key is missing or its value is not such a number.
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;

    // readInteger(...) != 0, with `defaultValue` when missing or not a number.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Sets `key` in `section` to `value` as described above. Returns false and
    // changes nothing when a name or the value could break the file's
    // structure: an empty or blank-padded name, a line break or NUL anywhere,
    // "=" in the key or a leading "[" in it, "]" in the section name.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    // Decimal text; booleans are written as 1 or 0.
    bool writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    bool writeBool(std::string_view section, std::string_view key, bool value);

    std::size_t lineCount() const { return lines_.size(); }

private:
    struct Line {
        std::string text;  // without its line end
        std::string eol;   // "\n", "\r\n" or "" (last line without a line end)
    };
    struct KeyHit {
        std::size_t line;
        std::string_view value;  // raw text after "=", untrimmed
    };

    std::optional<KeyHit> findKey(std::string_view section, std::string_view key) const;
    std::string newline() const;

    std::vector<Line> lines_;
};

// Parses a whole value as a decimal 32-bit integer: optional "+" or "-",
// then at least one digit, nothing else. nullopt when it is not one or is
// out of range.
std::optional<std::int32_t> parseDecimalInt32(std::string_view text);

// A settings file is around a hundred bytes; anything beyond this is not one
// of ours and is neither parsed nor overwritten.
inline constexpr std::uintmax_t kMaxProfileFileBytes = 1024 * 1024;

}  // namespace velmora
