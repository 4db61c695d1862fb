#include "service/outlet_names.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "service/json.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// Code points of valid UTF-8, or -1 when it is not UTF-8; sets `control`
// when a control character (C0, DEL, C1) occurs.
long utf8Length(std::string_view s, bool& control) {
    long count = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 1;
        std::uint32_t cp = c;
        if (c >= 0x80) {
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
                return -1;
            }
            if (i + len > s.size()) return -1;
            for (std::size_t k = 1; k < len; ++k) {
                const auto d = static_cast<unsigned char>(s[i + k]);
                if ((d & 0xC0) != 0x80) return -1;
                cp = (cp << 6) | (d & 0x3F);
            }
            const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
        }
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) control = true;
        i += len;
        ++count;
    }
    return count;
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

NamesFile NamesFile::read(const fs::path& path) {
    NamesFile file;
    const FileLoad load = loadFileBytes(path, kMaxNamesFileBytes);
    if (load.status != FileIoStatus::ok) return file;
    const Json root = Json::parse(load.bytes.begin(), load.bytes.end(), nullptr, false);
    if (!root.is_object() || !root.contains("units") || !root["units"].is_array()) return file;
    for (const Json& u : root["units"]) {
        if (!u.is_object() || !u.contains("port") || !u["port"].is_string() || !u.contains("banks") ||
            !u["banks"].is_number_integer())
            continue;
        UnitKey key{u["port"].get<std::string>(), static_cast<int>(std::clamp<long long>(u["banks"].get<long long>(), -1, 99))};
        OutletNames names;
        if (u.contains("names") && u["names"].is_object()) {
            for (auto it = u["names"].begin(); it != u["names"].end(); ++it) {
                const auto at = parseKey(it.key());
                if (!at || !it.value().is_string()) continue;
                names.rename(at->first, at->second, it.value().get<std::string>());  // a bad name is skipped
            }
        }
        file.setUnit(key, names);
    }
    return file;
}

OutletNames NamesFile::unit(const UnitKey& key) const {
    for (const auto& [k, names] : units_)
        if (k == key) return names;
    return {};
}

void NamesFile::setUnit(const UnitKey& key, const OutletNames& names) {
    for (auto& [k, n] : units_) {
        if (k == key) {
            n = names;
            return;
        }
    }
    units_.emplace_back(key, names);
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
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return saveFileAtomically(path, text());
}

const OutletNames& NamesOfUnit::of(const UnitKey& key) {
    std::error_code ec;
    const auto written = fs::last_write_time(file_, ec);
    if (ec) {
        names_ = {};  // no file (yet, or any more): no names
        read_ = false;
        return names_;
    }
    if (!read_ || written != written_ || !(key == key_)) {
        names_ = NamesFile::read(file_).unit(key);
        written_ = written;
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
