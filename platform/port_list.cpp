#include "platform/port_list.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

namespace velmora {

int parseRegistryPortNumber(std::string_view data) {
    if (data.size() <= 3) return 0;
    std::string_view digits = data.substr(3, 2);
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return (n >= 1 && n <= 255) ? n : 0;
}

std::string windowsDeviceName(int number) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::string windowsPortPath(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return std::string(name);
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != "com"[i]) return std::string(name);
    }
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return std::string(name);
        n = n * 10 + (c - '0');
    }
    if (name[3] == '0' || n < 1 || n > 255) return std::string(name);
    return windowsDeviceName(n);
}

ComPortList buildComPortList(const std::vector<std::string>& registryValues) {
    std::vector<int> numbers;
    for (const auto& value : registryValues) {
        int n = parseRegistryPortNumber(value);
        if (n != 0) numbers.push_back(n);
    }
    // Exchange sort: every later smaller number is swapped into slot i.
    for (std::size_t i = 0; i < numbers.size(); ++i)
        for (std::size_t j = i + 1; j < numbers.size(); ++j)
            if (numbers[j] < numbers[i]) std::swap(numbers[i], numbers[j]);

    ComPortList list;
    for (int n : numbers) {
        if (list.count() >= kMaxListedPorts) break;
        list.numbers.push_back(n);
        list.names.push_back("COM" + std::to_string(n));
        list.devices.push_back(windowsDeviceName(n));
    }
    return list;
}

ComPortList comPortListFrom(const std::vector<SerialPortInfo>& ports) {
    ComPortList list;
    for (const auto& p : ports) {
        if (list.count() >= kMaxListedPorts) break;
        list.numbers.push_back(p.number);
        list.names.push_back(p.name);
        list.devices.push_back(p.device);
    }
    return list;
}

namespace {

std::string normalPath(const std::string& device) {
    return std::filesystem::path(device).lexically_normal().generic_string();
}

std::string lastComponent(const std::string& device) {
    std::string_view v = device;
    auto slash = v.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? v : v.substr(slash + 1));
}

}  // namespace

void appendExtraPorts(ComPortList& list, const std::vector<std::string>& devices, PortNaming naming) {
    std::set<std::string> known;
    for (const auto& d : list.devices)
        if (!d.empty()) known.insert(normalPath(d));

    std::vector<std::string> added;
    for (const auto& d : devices) {
        if (d.empty() || d.find('\0') != std::string::npos) continue;
        if (known.insert(normalPath(d)).second) added.push_back(d);
    }

    int next = 0;
    for (int n : list.numbers) next = std::max(next, n);

    for (const auto& d : added) {
        if (list.count() >= kMaxListedPorts) break;
        if (naming == PortNaming::path) {
            list.names.push_back(d);
            list.numbers.push_back(++next);
            list.devices.push_back(d);
            continue;
        }
        std::string name = lastComponent(d);
        bool ambiguous = name.empty() || name == "AUTO" ||
                         std::find(list.names.begin(), list.names.end(), name) != list.names.end();
        for (const auto& other : added)
            if (&other != &d && lastComponent(other) == name) ambiguous = true;
        list.names.push_back(ambiguous ? d : name);
        list.numbers.push_back(++next);
        list.devices.push_back(d);
    }
}

bool naturalLess(std::string_view a, std::string_view b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            while (je < b.size() && isDigit(b[je])) ++je;
            std::string_view da = a.substr(i, ie - i), db = b.substr(j, je - j);
            // Compare values without converting: long runs cannot overflow.
            auto strip = [](std::string_view d) {
                std::size_t k = 0;
                while (k + 1 < d.size() && d[k] == '0') ++k;
                return d.substr(k);
            };
            std::string_view va = strip(da), vb = strip(db);
            if (va.size() != vb.size()) return va.size() < vb.size();
            if (va != vb) return va < vb;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i != a.size() || j != b.size()) return i == a.size();  // a prefix comes first
    return a < b;  // equal as numbers ("ttyS01" vs "ttyS1"): plain text decides
}

}  // namespace velmora
