// The PC's serial ports on Linux, from sysfs.

#include "platform/port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

bool isLegacySerialName(const std::string& name) {
    if (name.size() <= 4 || name.compare(0, 4, "ttyS") != 0) return false;
    return std::all_of(name.begin() + 4, name.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The "type" attribute of a serial_core port: the UART type, 0 when no UART
// answered at that address. Nothing when the file is missing or unreadable.
std::optional<int> readUartType(const fs::path& entry) {
    std::ifstream in(entry / "type");
    int type = 0;
    if (in >> type) return type;
    return std::nullopt;
}

// Asks the device node itself. Opening a legacy port does not need a UART,
// and O_NONBLOCK keeps the open from waiting for carrier.
bool nodeReportsUart(const fs::path& node) {
    int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    bool uart = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return uart;
}

bool hasUart(const fs::path& entry, const fs::path& node) {
    if (auto type = readUartType(entry)) return *type != PORT_UNKNOWN;
    std::error_code ec;
    fs::path driver = fs::read_symlink(entry / "device" / "driver", ec);
    if (ec || driver.filename() != "serial8250") return true;
    return nodeReportsUart(node);
}

bool hasDeviceLink(const fs::path& entry) {
    std::error_code ec;
    fs::path link = entry / "device";
    return fs::exists(link, ec) || fs::is_symlink(fs::symlink_status(link, ec));
}

}  // namespace

std::vector<SerialPortInfo> listSerialPortsIn(const std::string& ttyClassDir, const std::string& devDir) {
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    fs::directory_iterator it(ttyClassDir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        std::string name = entry.filename().string();
        if (!hasDeviceLink(entry)) continue;  // virtual terminals, ptmx, console
        fs::path node = fs::path(devDir) / name;
        if (isLegacySerialName(name) && !hasUart(entry, node)) continue;
        ports.push_back({0, name, node.string()});
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return naturalLess(a.name, b.name); });
    int number = 0;
    for (auto& p : ports) p.number = ++number;
    return ports;
}

std::vector<SerialPortInfo> listSerialPorts() {
    return listSerialPortsIn("/sys/class/tty", "/dev");
}

}  // namespace velmora
