#pragma once

#include "platform/serial_device.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The port list the windows show and the settings refer to by slot. Slot 0 is
// "AUTO" (number 0, no device: search every port); slots 1..count() are the
// ports. The three vectors always have count() + 1 entries.
// List positions stop here: the Detect dialog reports "no port answered" as
// position 100, so no port may ever stand there.
inline constexpr int kMaxListedPorts = 99;

struct ComPortList {
    std::vector<std::string> names{"AUTO"};  // what the user sees: "COM3", "ttyUSB0"
    std::vector<int> numbers{0};             // COM number (Windows) or running number
    std::vector<std::string> devices{""};    // what SerialDevice::open() takes
    int count() const { return static_cast<int>(numbers.size()) - 1; }
};

// Port number from a value of the registry's serial-port list ("COM3"): the
// two characters after the first three, converted as a decimal number. 0 when
// there are no such characters, when they are not all digits, or when the
// number lies outside 1..255. "COM123" gives 12 (only two characters count).
int parseRegistryPortNumber(std::string_view data);

// The Windows port list from the registry values in the order the registry
// returned them: numbers outside 1..255 are skipped, the rest sorted
// ascending, duplicates kept; names "COM<n>", devices windowsDeviceName(n).
ComPortList buildComPortList(const std::vector<std::string>& registryValues);

// "\\.\COM<n>" with n in decimal without leading zeros, for every n.
std::string windowsDeviceName(int number);

// The path CreateFile takes for a port a user names: "COM12" or "com3" (a
// name CreateFile knows without the prefix only up to COM9) becomes
// "\\.\COM12"; anything else ("\\.\COM12", a device path) is kept.
std::string windowsPortPath(std::string_view name);

// The list of a back end's ports (listSerialPorts()), in their order, after
// the "AUTO" slot.
ComPortList comPortListFrom(const std::vector<SerialPortInfo>& ports);

// How appended devices are named in the list.
enum class PortNaming {
    lastPart,  // the machine's own ports: what follows the last '/' or '\' ("ttyUSB0")
    path,      // devices the user named (--port): the path as given ("/dev/pts/3")
};

// Appends devices. A device already in the list (same path, also after
// removing "." and doubled slashes) or given twice is added once; empty
// names are ignored, and nothing is added beyond kMaxListedPorts ports. By
// `naming`, its name is the last part of its path ("/dev/ttyUSB0" ->
// "ttyUSB0", "\\.\COM20" -> "COM20") or the path itself; a last part that
// is empty, "AUTO", or the name of another port of the list or of another
// appended device gives the whole path too. Numbers continue after the
// highest in the list.
void appendExtraPorts(ComPortList& list, const std::vector<std::string>& devices,
                      PortNaming naming = PortNaming::lastPart);

// Order of port names that compares runs of digits as numbers:
// ttyACM2 < ttyACM10 < ttyS0 < ttyUSB0. A strict weak order; names that
// differ only in leading zeros are ordered by the plain text.
bool naturalLess(std::string_view a, std::string_view b);

// Linux: the serial ports under a sysfs tty class directory. Kept: entries
// with a "device" link (real hardware). Left out: ttyS ports without a UART
// (their "type" file says 0, PORT_UNKNOWN; without a readable type file, a
// serial8250 port whose device node `devDir`/name does not answer
// TIOCGSERIAL with a real type). Named "ttyUSB0", device `devDir`/ttyUSB0,
// in naturalLess order, numbered 1..N.
std::vector<SerialPortInfo> listSerialPortsIn(const std::string& ttyClassDir, const std::string& devDir);

}  // namespace velmora
