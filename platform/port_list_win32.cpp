// Windows port list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, read
// only, turned into COM numbers by the registry-number rules of port_list.h.
// Built for Windows only.

#include "platform/win32_api.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/port_list.h"
#include "platform/serial_device.h"

namespace velmora {
namespace {

// The string data of every value of the key, in the order the registry
// returns them. Values that are not strings carry no port name: skipped.
std::vector<std::string> readValueStrings(HKEY key) {
    std::vector<std::string> out;
    DWORD maxNameLength = 0;  // characters, without the terminator
    DWORD maxDataLength = 0;  // bytes
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxNameLength, &maxDataLength, nullptr, nullptr) != ERROR_SUCCESS)
        return out;
    std::vector<char> name(maxNameLength + 1);
    std::vector<BYTE> data(maxDataLength + 1);

    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                      data.data(), &dataLength);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {
            // A value grew since RegQueryInfoKeyA: make room and ask again.
            // The name buffer never reports its need, so it doubles.
            if (dataLength + 1 > data.size()) data.resize(dataLength + 1);
            else if (name.size() < 32768) name.resize(name.size() * 2);
            else break;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        ++index;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        // Registry strings need not be terminated; stop at the first NUL.
        std::string text(reinterpret_cast<const char*>(data.data()),
                         std::min<std::size_t>(dataLength, data.size()));
        if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        out.push_back(std::move(text));
    }
    return out;
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts() {
    HKEY key = nullptr;
    // Opened, never created: a PC without serial ports has no such key.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    const std::vector<std::string> values = readValueStrings(key);
    RegCloseKey(key);

    const ComPortList list = buildComPortList(values);
    std::vector<SerialPortInfo> ports;
    for (int slot = 1; slot <= list.count(); ++slot) {
        const int number = list.numbers[static_cast<std::size_t>(slot)];
        ports.push_back({number, list.names[static_cast<std::size_t>(slot)], windowsDeviceName(number)});
    }
    return ports;
}

}  // namespace velmora
