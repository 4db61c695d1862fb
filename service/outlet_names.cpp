#include "service/outlet_names.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "service/json.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The length of the UTF-8 sequence at s[i] (1..4), its code point in `cp`;
// 0 when the bytes there are not UTF-8 (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate, past U+10FFFF).
std::size_t utf8Sequence(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    cp = c;
    if (c < 0x80) return 1;
    std::size_t len = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Code points of valid UTF-8, or -1 when it is not UTF-8; sets `control`
// when a control character (C0, DEL, C1) occurs.
long utf8Length(std::string_view s, bool& control) {
    long count = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = utf8Sequence(s, i, cp);
        if (len == 0) return -1;
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) control = true;
        i += len;
        ++count;
    }
    return count;
}

// What stands in the text to be parsed for whatever in a JSON string would
// make the whole file unreadable to the parser: an escaped NUL, which no
// port, key or name may hold, so that only the entry that had it is skipped.
constexpr std::string_view kMarred = "\\u0000";

std::optional<std::uint32_t> hex4(std::string_view s, std::size_t at) {
    if (at + 4 > s.size()) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t k = at; k < at + 4; ++k) {
        const char c = s[k];
        v <<= 4;
        if (c >= '0' && c <= '9') {
            v |= static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            v |= static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            v |= static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return v;
}

// The file's text with every string made one the parser takes: bytes that
// are not UTF-8, raw control characters, escapes that are not JSON's and
// unpaired surrogates become kMarred. Outside strings nothing changes (a
// file broken there is no JSON). One pass, in proportion to the size.
std::string withStringsMended(std::string_view in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    bool inString = false;
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (!inString || c == '"') {
            if (c == '"') inString = !inString;
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= in.size()) {  // cut short: no JSON either way
                out += '\\';
                ++i;
                continue;
            }
            const char e = in[i + 1];
            if (e == 'u') {
                const std::optional<std::uint32_t> u = hex4(in, i + 2);
                if (!u) {
                    out += kMarred;
                    i += 2;
                } else if (*u >= 0xD800 && *u <= 0xDBFF) {
                    // A high surrogate counts only with its low one.
                    std::optional<std::uint32_t> low;
                    if (i + 7 < in.size() && in[i + 6] == '\\' && in[i + 7] == 'u') low = hex4(in, i + 8);
                    if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                        out.append(in.substr(i, 12));
                        i += 12;
                    } else {
                        out += kMarred;
                        i += 6;
                    }
                } else if (*u >= 0xDC00 && *u <= 0xDFFF) {
                    out += kMarred;
                    i += 6;
                } else {
                    out.append(in.substr(i, 6));
                    i += 6;
                }
                continue;
            }
            if (std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos) {
                out.append(in.substr(i, 2));
            } else {
                out += kMarred;
            }
            i += 2;
            continue;
        }
        if (c < 0x20) {
            out += kMarred;
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
        const std::size_t len = utf8Sequence(in, i, cp);
        if (len == 0) {
            out += kMarred;
            ++i;
            continue;
        }
        out.append(in.substr(i, len));
        i += len;
    }
    return out;
}

// A port, key or name as a warning may show it: quoted when it is short
// text, else nothing ("").
std::string shown(std::string_view text, std::size_t most) {
    bool control = false;
    const long length = utf8Length(text, control);
    if (length <= 0 || control || static_cast<std::size_t>(length) > most) return {};
    return "\"" + std::string(text) + "\"";
}

// "1.3" -> (1, 3); "2" -> (2, 0).
std::optional<std::pair<int, int>> parseKey(std::string_view key) {
    const std::size_t dot = key.find('.');
    auto number = [](std::string_view t, int lo, int hi) -> std::optional<int> {
        int v = 0;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || v < lo || v > hi) return std::nullopt;
        return v;
    };
    const auto bank = number(key.substr(0, dot), 1, 16);
    if (!bank) return std::nullopt;
    if (dot == std::string_view::npos) return std::make_pair(*bank, 0);
    const auto port = number(key.substr(dot + 1), 1, 8);
    if (!port) return std::nullopt;
    return std::make_pair(*bank, *port);
}

std::string keyText(int bank, int port) {
    std::string k = std::to_string(bank);
    if (port != 0) {
        k += '.';
        k += std::to_string(port);
    }
    return k;
}

}  // namespace

std::optional<std::string> nameRefusal(std::string_view name) {
    bool control = false;
    const long length = utf8Length(name, control);
    if (length < 0) return std::string("a name must be UTF-8 text");
    if (control) return std::string("a name may not hold a control character (a line break, a tab...)");
    if (static_cast<std::size_t>(length) > kMaxNameCharacters)
        return "a name has at most " + std::to_string(kMaxNameCharacters) + " characters";
    if (name.find_first_not_of(' ') == std::string_view::npos) return std::string("a name may not be blank");
    return std::nullopt;
}

std::string stablePortPath(const std::string& device, const fs::path& byId) {
    const std::string real = canonicalDevice(device);
    std::error_code ec;
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (fs::canonical(it->path(), ec2).string() == real && !ec2) return it->path().string();
    }
    return real;
}

std::string OutletNames::name(int bank, int port) const {
    const auto it = names_.find({bank, port});
    return it == names_.end() ? std::string() : it->second;
}

std::optional<std::string> OutletNames::rename(int bank, int port, std::string_view name) {
    if (bank < 1 || bank > 16 || port < 0 || port > 8) return std::string("no such outlet or bank");
    if (name.empty()) {
        names_.erase({bank, port});
        return std::nullopt;
    }
    if (auto why = nameRefusal(name)) return why;
    names_[{bank, port}] = std::string(name);
    return std::nullopt;
}

std::vector<std::pair<int, int>> OutletNames::outletsNamed(std::string_view name, int bankCount) const {
    std::vector<std::pair<int, int>> found;
    for (const auto& [at, n] : names_)
        if (at.first >= 1 && at.first <= bankCount && at.second >= 1 && at.second <= 8 && n == name) found.push_back(at);
    return found;
}

NameTarget resolveName(const OutletNames& names, std::string_view name, int bankCount) {
    NameTarget t;
    const auto found = names.outletsNamed(name, bankCount);
    if (found.empty()) {
        t.error = "no outlet is named \"" + std::string(name) + "\"";
    } else if (found.size() > 1) {
        t.error = "\"";
        t.error += name;
        t.error += "\" names ";
        t.error += std::to_string(found.size());
        t.error += " outlets:";
        for (const auto& [bank, port] : found) {
            t.error += " bank ";
            t.error += std::to_string(bank);
            t.error += " port ";
            t.error += std::to_string(port);
            t.error += ',';
        }
        t.error.back() = ';';
        t.error += " give BANK PORT instead";
    } else {
        t.bank = found[0].first;
        t.port = found[0].second;
    }
    return t;
}

namespace {

// Entries skipped while reading: how many, and the first few in words.
struct Skipped {
    std::size_t count = 0;
    std::vector<std::string> said;
    void add(std::string what) {
        ++count;
        if (said.size() < 3) said.push_back(std::move(what));
    }
};

}  // namespace

NamesFile NamesFile::read(const fs::path& path) {
    NamesFile file;
    const std::string where = path.string();
    auto notRead = [&](Reading reading, const std::string& why) {
        file.reading_ = reading;
        file.warning_ = where + " " + why + ": no outlet names were read from it, and it is not written over";
        return std::move(file);
    };
    const FileLoad load = loadFileBytes(path, kMaxNamesFileBytes);
    switch (load.status) {
        case FileIoStatus::ok: break;
        case FileIoStatus::missing: file.reading_ = Reading::missing; return file;
        case FileIoStatus::tooLarge: {
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(path, ec);
            return notRead(Reading::tooLarge, "is larger than the " + std::to_string(kMaxNamesFileBytes >> 20) +
                                                  " MiB a names file may have" +
                                                  (ec ? std::string() : " (" + std::to_string(size) + " bytes)"));
        }
        case FileIoStatus::failed: return notRead(Reading::unreadable, "could not be read (" + load.error + ")");
    }
    if (load.bytes.find_first_not_of(" \t\r\n") == std::string::npos) {
        file.reading_ = Reading::missing;  // empty: nothing in it to lose
        return file;
    }
    // Parsed into std::map objects (not the ordered ones the program writes
    // with, whose every insertion searches the object): in proportion to the
    // size, whatever the number of keys.
    const nlohmann::json root = nlohmann::json::parse(withStringsMended(load.bytes), nullptr, false);
    if (root.is_discarded()) return notRead(Reading::notNames, "is not JSON (cut short or damaged?)");
    const auto units = root.is_object() ? root.find("units") : root.end();
    if (!root.is_object() || units == root.end() || !units->is_array())
        return notRead(Reading::notNames, "is no names file (no \"units\" list in it)");

    Skipped skipped;
    std::size_t number = 0;
    for (const nlohmann::json& u : *units) {
        ++number;
        std::string unitText = "unit " + std::to_string(number);
        if (!u.is_object()) {
            skipped.add(unitText + ": not a unit");
            continue;
        }
        const auto port = u.find("port");
        const auto banks = u.find("banks");
        if (port == u.end() || !port->is_string() || banks == u.end() || !banks->is_number_integer()) {
            skipped.add(unitText + ": no port or bank count");
            continue;
        }
        const std::string& portText = port->get_ref<const std::string&>();
        if (portText.empty() || portText.find('\0') != std::string::npos) {
            skipped.add(unitText + ": its port is not UTF-8 text, or has a control character in it");
            continue;
        }
        if (const std::string p = shown(portText, 200); !p.empty()) unitText += " " + p;
        const UnitKey key{portText, static_cast<int>(std::clamp<long long>(banks->get<long long>(), -1, 99))};
        OutletNames names = file.unit(key);  // a unit listed twice: its names together
        const auto given = u.find("names");
        if (given != u.end() && !given->is_object()) {
            skipped.add(unitText + ": its names are not a list of names");
        } else if (given != u.end()) {
            for (auto it = given->begin(); it != given->end(); ++it) {
                const std::string k = shown(it.key(), 16);
                const std::string nameText = unitText + ", " + (k.empty() ? std::string("a key") : k);
                const auto at = parseKey(it.key());
                if (!at) {
                    skipped.add(nameText + ": names no bank or outlet");
                } else if (!it.value().is_string()) {
                    skipped.add(nameText + ": not text");
                } else if (it.value().get_ref<const std::string&>().find('\0') != std::string::npos) {
                    skipped.add(nameText + ": not UTF-8 text, or a control character in it");
                } else if (auto why = names.rename(at->first, at->second, it.value().get_ref<const std::string&>())) {
                    skipped.add(nameText + ": " + *why);
                }
            }
        }
        file.setUnit(key, names);
    }
    file.skipped_ = skipped.count;
    if (skipped.count > 0) {
        std::string w = where + ": " + std::to_string(skipped.count) +
                        (skipped.count == 1 ? " entry was" : " entries were") + " left out, unreadable (";
        for (std::size_t i = 0; i < skipped.said.size(); ++i) w += (i ? "; " : "") + skipped.said[i];
        if (skipped.count > skipped.said.size())
            w += "; and " + std::to_string(skipped.count - skipped.said.size()) + " more";
        file.warning_ = w + "); the other names are kept";
    }
    return file;
}

OutletNames NamesFile::unit(const UnitKey& key) const {
    const auto it = index_.find({key.port, key.banks});
    return it == index_.end() ? OutletNames{} : units_[it->second].second;
}

void NamesFile::setUnit(const UnitKey& key, const OutletNames& names) {
    const auto [it, added] = index_.try_emplace({key.port, key.banks}, units_.size());
    if (added) {
        units_.emplace_back(key, names);
    } else {
        units_[it->second].second = names;
    }
}

std::string NamesFile::text() const {
    Json units = Json::array();
    for (const auto& [key, names] : units_) {
        if (names.empty()) continue;
        Json n = Json::object();
        for (const auto& [at, name] : names.all()) n[keyText(at.first, at.second)] = name;
        units.push_back({{"port", key.port}, {"banks", key.banks}, {"names", std::move(n)}});
    }
    return Json{{"units", std::move(units)}}.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

FileSave NamesFile::write(const fs::path& path) const {
    if (!mayReplace()) {
        // What could not be read cannot be written back: the names in it
        // would be lost.
        FileSave refused;
        refused.status = FileIoStatus::failed;
        refused.error = warning_.empty() ? path.string() + " could not be read whole: it is not written over"
                                         : warning_;
        return refused;
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return saveFileAtomically(path, text());
}

const OutletNames& NamesOfUnit::of(const UnitKey& key) {
    const std::optional<FileStamp> stamp = fileStampOf(file_);
    if (!stamp) {
        names_ = {};  // no file (yet, or any more): no names
        warning_.clear();
        read_ = false;
        return names_;
    }
    if (!read_ || !(*stamp == stamp_) || !(key == key_)) {
        const NamesFile file = NamesFile::read(file_);
        names_ = file.unit(key);
        warning_ = file.warning();
        stamp_ = *stamp;
        key_ = key;
        read_ = true;
    }
    return names_;
}

fs::path namesFilePath(const EnvLookup& env) {
#ifdef _WIN32
    if (auto a = env("APPDATA"); a && !a->empty()) return fs::path(*a) / "velmora" / "names.json";
#endif
    if (auto x = env("XDG_CONFIG_HOME"); x && !x->empty() && (*x)[0] == '/') return fs::path(*x) / "velmora" / "names.json";
    if (auto h = env("HOME"); h && !h->empty()) return fs::path(*h) / ".config" / "velmora" / "names.json";
    return {};
}

}  // namespace velmora
