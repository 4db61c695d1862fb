#pragma once

// Names users give outlets ("router", "DUT 3") and banks, kept in a file of
// their own beside the user's settings - never in define.ini - and shared by
// the window and velmoractl. Names belong to a unit: its port (the stable
// /dev/serial/by-id/ path where there is one) and its bank count.
//
// The file ($XDG_CONFIG_HOME/velmora/names.json):
//   {"units":[{"port":"/dev/serial/by-id/usb-...","banks":2,
//              "names":{"1.3":"router","2":"lab bench"}}]}
// "B.P" names bank B's port P, "B" the bank. It is replaced whole (a
// temporary file renamed over it) and read leniently, entry by entry: a unit
// or a name that is not such an entry (not UTF-8, too long, a control
// character, a key that is no bank or outlet, a wrong type) is skipped alone
// with a warning, the rest kept. A file that cannot be read whole (larger
// than kMaxNamesFileBytes, unreadable, not JSON, no "units" list) has no
// names, and is never written over: its names would be lost.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/environment.h"

namespace velmora {

inline constexpr std::size_t kMaxNameCharacters = 32;
// Banks a name may be given for ("16.8" at most).
inline constexpr int kMaxNamedBanks = 16;
// The names file's size at most: every name of many units fits many times.
inline constexpr std::uintmax_t kMaxNamesFileBytes = 1u << 20;

// Why a name cannot be given (in words), or nullopt when it can: at most 32
// characters of UTF-8, no control character, not blank.
std::optional<std::string> nameRefusal(std::string_view name);

// The port as names are keyed: a /dev/serial/by-id/ link to the same device
// when there is one (it survives replugging), else the device's real path.
std::string stablePortPath(const std::string& device,
                           const std::filesystem::path& byId = "/dev/serial/by-id");

struct UnitKey {
    std::string port;  // stablePortPath()
    int banks = 0;
    friend bool operator==(const UnitKey&, const UnitKey&) = default;
};

// One unit's names.
class OutletNames {
public:
    // "" when the outlet (port 1..8) or the bank (port 0) has no name.
    std::string name(int bank, int port) const;
    // Names (or, with "", unnames) an outlet or a bank. nullopt when done,
    // else why not (nameRefusal, a bank or port outside 1..16 / 0..8).
    std::optional<std::string> rename(int bank, int port, std::string_view name);
    // The outlets of banks 1..bankCount called `name` (exact,
    // case-sensitive), in bank and port order; bank names are not outlets.
    std::vector<std::pair<int, int>> outletsNamed(std::string_view name, int bankCount = kMaxNamedBanks) const;
    bool empty() const { return names_.empty(); }
    const std::map<std::pair<int, int>, std::string>& all() const { return names_; }

private:
    std::map<std::pair<int, int>, std::string> names_;  // (bank, port); port 0: the bank
};

// What a name given on a command line stands for.
struct NameTarget {
    int bank = 0;
    int port = 0;
    std::string error;  // why it stands for no single outlet (then bank, port are 0)
};
// Among the outlets of banks 1..bankCount: names of outlets the unit does
// not have ("9.1" for a unit of 3 banks) are ignored.
NameTarget resolveName(const OutletNames& names, std::string_view name, int bankCount = kMaxNamedBanks);

class NamesFile {
public:
    // How the file read.
    enum class Reading {
        whole,       // read (perhaps with entries skipped: see warning()), or nothing read yet
        missing,     // no such file, or an empty one: no names
        tooLarge,    // over kMaxNamesFileBytes: not read
        unreadable,  // permissions, not a regular file...: not read
        notNames,    // not JSON, or no {"units": [...]} in it
    };

    // Never fails: a file that cannot be read has no names, and says why in
    // warning(). Takes time in proportion to the file's size.
    static NamesFile read(const std::filesystem::path& path);
    OutletNames unit(const UnitKey& key) const;
    void setUnit(const UnitKey& key, const OutletNames& names);
    // The whole file, replaced at once - unless it was read from a file that
    // could not be read whole (mayReplace()): then nothing is written and
    // the status is failed, with the reason.
    FileSave write(const std::filesystem::path& path) const;
    std::string text() const;

    Reading reading() const { return reading_; }
    // Whether writing this over the file read loses nothing but entries
    // that could not be read.
    bool mayReplace() const { return reading_ == Reading::whole || reading_ == Reading::missing; }
    // What went wrong reading, in one line naming the file ("" when
    // nothing did): why it was not read, or which entries were skipped.
    // For the caller to show once (velmoractl on stderr, the window in a
    // message).
    const std::string& warning() const { return warning_; }
    // Entries (units and names) skipped as unreadable.
    std::size_t skipped() const { return skipped_; }

private:
    std::vector<std::pair<UnitKey, OutletNames>> units_;
    std::map<std::pair<std::string, int>, std::size_t> index_;  // (port, banks) -> units_ position
    Reading reading_ = Reading::whole;
    std::string warning_;
    std::size_t skipped_ = 0;
};

// One unit's names as the names file has them now: read again only when
// the file was written since, or the unit changed.
class NamesOfUnit {
public:
    explicit NamesOfUnit(std::filesystem::path file) : file_(std::move(file)) {}
    const OutletNames& of(const UnitKey& key);
    const std::filesystem::path& file() const { return file_; }
    // NamesFile::warning() of the last reading ("" when none).
    const std::string& warning() const { return warning_; }

private:
    std::filesystem::path file_;
    FileStamp stamp_{};
    bool read_ = false;
    UnitKey key_;
    OutletNames names_;
    std::string warning_;
};

// $XDG_CONFIG_HOME/velmora/names.json, else $HOME/.config/velmora/names.json;
// empty when neither is known.
std::filesystem::path namesFilePath(const EnvLookup& env);

}  // namespace velmora
