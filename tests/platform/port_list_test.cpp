#include "platform/port_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <stdlib.h>

using namespace velmora;

namespace {

// ---- registry numbers ----

struct RegistryNumberCase {
    const char* name;
    std::string data;
    int expected;
};

class RegistryNumber : public ::testing::TestWithParam<RegistryNumberCase> {};

TEST_P(RegistryNumber, TwoCharactersAfterThePrefix) {
    EXPECT_EQ(parseRegistryPortNumber(GetParam().data), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RegistryNumber,
    ::testing::Values(RegistryNumberCase{"OneDigit", "COM3", 3}, RegistryNumberCase{"TwoDigits", "COM10", 10},
                      RegistryNumberCase{"ThreeDigitsKeepFirstTwo", "COM123", 12},
                      RegistryNumberCase{"LeadingZero", "COM07", 7},
                      RegistryNumberCase{"LetterAfterPrefix", "COMx", 0},
                      RegistryNumberCase{"DigitThenLetter", "COM1a", 0},
                      RegistryNumberCase{"NothingAfterPrefix", "COM", 0},
                      RegistryNumberCase{"ShorterThanPrefix", "CO", 0}, RegistryNumberCase{"Empty", "", 0},
                      RegistryNumberCase{"Zero", "COM0", 0}, RegistryNumberCase{"DoubleZero", "COM00", 0},
                      RegistryNumberCase{"SignIsNotADigit", "COM-1", 0},
                      RegistryNumberCase{"BlankIsNotADigit", "COM 5", 0},
                      RegistryNumberCase{"PrefixTextIsNotChecked", "USB4", 4},
                      RegistryNumberCase{"HighestTwoDigit", "COM99", 99}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- registry list ----

struct RegistryListCase {
    const char* name;
    std::vector<std::string> values;
    std::vector<int> numbers;  // slots 1..count
};

class RegistryList : public ::testing::TestWithParam<RegistryListCase> {};

TEST_P(RegistryList, SortedWithAutoFirst) {
    const auto& c = GetParam();
    ComPortList list = buildComPortList(c.values);
    ASSERT_EQ(list.count(), static_cast<int>(c.numbers.size()));
    ASSERT_EQ(list.names.size(), c.numbers.size() + 1);
    ASSERT_EQ(list.devices.size(), c.numbers.size() + 1);
    EXPECT_EQ(list.names[0], "AUTO");
    EXPECT_EQ(list.numbers[0], 0);
    EXPECT_EQ(list.devices[0], "");
    for (std::size_t i = 0; i < c.numbers.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(list.numbers[i + 1], c.numbers[i]);
        EXPECT_EQ(list.names[i + 1], "COM" + std::to_string(c.numbers[i]));
        EXPECT_EQ(list.devices[i + 1], "\\\\.\\COM" + std::to_string(c.numbers[i]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RegistryList,
    ::testing::Values(RegistryListCase{"TenThreeOne", {"COM10", "COM3", "COM1"}, {1, 3, 10}},
                      RegistryListCase{"NoDigitsSkipped", {"COMx", "COM5", "COM"}, {5}},
                      RegistryListCase{"ThreeDigitsTruncated", {"COM123", "COM2"}, {2, 12}},
                      RegistryListCase{"DuplicatesKept", {"COM4", "COM2", "COM4"}, {2, 4, 4}},
                      RegistryListCase{"ZeroDropped", {"COM0", "COM00", "COM6"}, {6}},
                      RegistryListCase{"EmptyRegistry", {}, {}},
                      RegistryListCase{"Descending", {"COM9", "COM8", "COM7", "COM6", "COM5"}, {5, 6, 7, 8, 9}},
                      RegistryListCase{"AlreadySorted", {"COM1", "COM2", "COM30"}, {1, 2, 30}}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Windows device names ----

TEST(WindowsDeviceName, NoLeadingZerosForAnyNumber) {
    const struct {
        int number;
        const char* expected;
    } rows[] = {{1, "\\\\.\\COM1"}, {9, "\\\\.\\COM9"}, {10, "\\\\.\\COM10"}, {99, "\\\\.\\COM99"},
                {255, "\\\\.\\COM255"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.number);
        EXPECT_EQ(windowsDeviceName(r.number), r.expected);
    }
}

// What a user types after --port on Windows, as CreateFile must get it.
TEST(WindowsPortPath, ComNamesGetTheDevicePrefixOthersAreKept) {
    const struct {
        const char* typed;
        const char* opened;
    } rows[] = {{"COM3", "\\\\.\\COM3"},         {"com12", "\\\\.\\COM12"},
                {"Com255", "\\\\.\\COM255"},     {"\\\\.\\COM12", "\\\\.\\COM12"},
                {"COM0", "COM0"},                  {"COM256", "COM256"},
                {"COM03", "COM03"},                {"COM", "COM"},
                {"COM1x", "COM1x"},                {"/dev/ttyUSB0", "/dev/ttyUSB0"},
                {"LPT1", "LPT1"},                  {"", ""}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        EXPECT_EQ(windowsPortPath(r.typed), r.opened);
    }
}

// ---- extra ports ----

struct ExtraPortsCase {
    const char* name;
    std::vector<SerialPortInfo> base;
    std::vector<std::string> extras;
    std::vector<std::string> names;    // whole list, slot 0 included
    std::vector<int> numbers;          // whole list
    std::vector<std::string> devices;  // whole list
    PortNaming naming = PortNaming::lastPart;
};

class ExtraPorts : public ::testing::TestWithParam<ExtraPortsCase> {};

TEST_P(ExtraPorts, AppendedAfterTheOthers) {
    const auto& c = GetParam();
    ComPortList list = comPortListFrom(c.base);
    appendExtraPorts(list, c.extras, c.naming);
    EXPECT_EQ(list.names, c.names);
    EXPECT_EQ(list.numbers, c.numbers);
    EXPECT_EQ(list.devices, c.devices);
    EXPECT_EQ(list.count(), static_cast<int>(c.names.size()) - 1);
}

const std::vector<SerialPortInfo> kTwoLinuxPorts = {{1, "ttyS0", "/dev/ttyS0"}, {2, "ttyUSB0", "/dev/ttyUSB0"}};
const std::vector<SerialPortInfo> kWindowsPorts = {{3, "COM3", "\\\\.\\COM3"}, {10, "COM10", "\\\\.\\COM10"}};

INSTANTIATE_TEST_SUITE_P(
    Rules, ExtraPorts,
    ::testing::Values(
        ExtraPortsCase{"NoExtras", kTwoLinuxPorts, {}, {"AUTO", "ttyS0", "ttyUSB0"}, {0, 1, 2}, {"", "/dev/ttyS0", "/dev/ttyUSB0"}},
        ExtraPortsCase{"PtyNamedByLastComponent",
                       kTwoLinuxPorts,
                       {"/dev/pts/3"},
                       {"AUTO", "ttyS0", "ttyUSB0", "3"},
                       {0, 1, 2, 3},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/pts/3"}},
        ExtraPortsCase{"EmptyListGetsNumberOne", {}, {"/dev/rfcomm0"}, {"AUTO", "rfcomm0"}, {0, 1}, {"", "/dev/rfcomm0"}},
        ExtraPortsCase{"AlreadyListedNotAddedTwice",
                       kTwoLinuxPorts,
                       {"/dev/ttyUSB0", "/dev//ttyUSB0", "/dev/./ttyS0"},
                       {"AUTO", "ttyS0", "ttyUSB0"},
                       {0, 1, 2},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0"}},
        ExtraPortsCase{"GivenTwiceAddedOnce",
                       kTwoLinuxPorts,
                       {"/tmp/sim", "/tmp/sim"},
                       {"AUTO", "ttyS0", "ttyUSB0", "sim"},
                       {0, 1, 2, 3},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0", "/tmp/sim"}},
        ExtraPortsCase{"SameLastComponentShowsFullPaths",
                       {},
                       {"/tmp/a/ttyV0", "/tmp/b/ttyV0"},
                       {"AUTO", "/tmp/a/ttyV0", "/tmp/b/ttyV0"},
                       {0, 1, 2},
                       {"", "/tmp/a/ttyV0", "/tmp/b/ttyV0"}},
        ExtraPortsCase{"ClashWithListedNameShowsFullPath",
                       kTwoLinuxPorts,
                       {"/tmp/ttyUSB0"},
                       {"AUTO", "ttyS0", "ttyUSB0", "/tmp/ttyUSB0"},
                       {0, 1, 2, 3},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0", "/tmp/ttyUSB0"}},
        ExtraPortsCase{"AutoIsNeverAPortName", {}, {"/tmp/AUTO"}, {"AUTO", "/tmp/AUTO"}, {0, 1}, {"", "/tmp/AUTO"}},
        ExtraPortsCase{"TrailingSlashShowsFullPath", {}, {"/tmp/x/"}, {"AUTO", "/tmp/x/"}, {0, 1}, {"", "/tmp/x/"}},
        ExtraPortsCase{"EmptyDeviceIgnored", kTwoLinuxPorts, {""}, {"AUTO", "ttyS0", "ttyUSB0"}, {0, 1, 2}, {"", "/dev/ttyS0", "/dev/ttyUSB0"}},
        ExtraPortsCase{"NumbersContinueAfterHighestComNumber",
                       kWindowsPorts,
                       {"\\\\.\\COM20", "COM21"},
                       {"AUTO", "COM3", "COM10", "COM20", "COM21"},
                       {0, 3, 10, 11, 12},
                       {"", "\\\\.\\COM3", "\\\\.\\COM10", "\\\\.\\COM20", "COM21"}},
        // Devices the user named are shown by the path given: "3" says nothing.
        ExtraPortsCase{"UserPtyNamedByItsPath",
                       kTwoLinuxPorts,
                       {"/dev/pts/3"},
                       {"AUTO", "ttyS0", "ttyUSB0", "/dev/pts/3"},
                       {0, 1, 2, 3},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/pts/3"},
                       PortNaming::path},
        ExtraPortsCase{"UserPathAlreadyListedNotAddedTwice",
                       kTwoLinuxPorts,
                       {"/dev//ttyUSB0"},
                       {"AUTO", "ttyS0", "ttyUSB0"},
                       {0, 1, 2},
                       {"", "/dev/ttyS0", "/dev/ttyUSB0"},
                       PortNaming::path}),
    [](const auto& row) { return std::string(row.param.name); });

// No port ever stands at position 100, the Detect dialog's "not found".
TEST(PortListLimit, NoListHoldsMoreThanNinetyNinePorts) {
    std::vector<std::string> many;
    std::vector<SerialPortInfo> listed;
    std::vector<std::string> registry;
    for (int i = 1; i <= 120; ++i) {
        many.push_back("/dev/pts/" + std::to_string(i));
        listed.push_back({i, "ttyS" + std::to_string(i), "/dev/ttyS" + std::to_string(i)});
        registry.push_back("COM" + std::to_string(i % 100));
    }
    ComPortList appended;
    appendExtraPorts(appended, many, PortNaming::path);
    EXPECT_EQ(appended.count(), kMaxListedPorts);
    EXPECT_EQ(appended.devices.back(), "/dev/pts/99");
    ComPortList grown = comPortListFrom(std::vector<SerialPortInfo>(listed.begin(), listed.begin() + 90));
    appendExtraPorts(grown, many, PortNaming::lastPart);
    EXPECT_EQ(grown.count(), kMaxListedPorts);
    EXPECT_EQ(comPortListFrom(listed).count(), kMaxListedPorts);
    EXPECT_EQ(buildComPortList(registry).count(), kMaxListedPorts);
}

// ---- natural order ----

TEST(NaturalOrder, DigitsCompareAsNumbers) {
    const struct {
        const char* a;
        const char* b;
        bool less;
    } rows[] = {
        {"ttyACM0", "ttyACM2", true},   {"ttyACM2", "ttyACM10", true}, {"ttyACM10", "ttyACM2", false},
        {"ttyACM10", "ttyS0", true},    {"ttyS0", "ttyUSB0", true},    {"ttyS9", "ttyS10", true},
        {"ttyUSB0", "ttyUSB0", false},  {"ttyS", "ttyS0", true},       {"ttyS0", "ttyS", false},
        {"ttyS01", "ttyS1", true},      {"ttyS1", "ttyS01", false},    {"ttyS01", "ttyS2", true},
        {"a99999999999999999999", "a100000000000000000000", true},
        {"ttyUSB1a", "ttyUSB1b", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.a) + " < " + r.b);
        EXPECT_EQ(naturalLess(r.a, r.b), r.less);
    }
}

TEST(NaturalOrder, SortsAShuffledListTheSameWay) {
    const std::vector<std::string> expected = {"ttyACM0", "ttyACM2", "ttyACM10", "ttyAMA0", "ttyS0",
                                               "ttyS1",   "ttyS2",   "ttyS10",   "ttyUSB0", "ttyUSB11"};
    std::mt19937 shuffler(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> names = expected;
        std::shuffle(names.begin(), names.end(), shuffler);
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
        EXPECT_EQ(names, expected);
    }
}

// ---- Linux sysfs listing ----
#ifdef __linux__

namespace fs = std::filesystem;

class TempTree {
public:
    TempTree() {
        std::string pattern = (fs::temp_directory_path() / "velmora-sysfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    }
    ~TempTree() {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

// One entry of the fake /sys/class/tty.
struct SysfsEntry {
    std::string name;
    bool device;                      // has a "device" link (hardware behind it)
    std::optional<std::string> type;  // content of the "type" file, none: no file
    std::optional<std::string> driver;  // what device/driver points at
};

void writeEntry(const fs::path& classDir, const SysfsEntry& e) {
    fs::path dir = classDir / e.name;
    fs::create_directories(dir);
    if (e.device) {
        fs::path target = classDir.parent_path() / "devices" / e.name;
        fs::create_directories(target);
        fs::create_directory_symlink(target, dir / "device");
        if (e.driver) fs::create_directory_symlink("../../bus/platform/drivers/" + *e.driver, target / "driver");
    }
    if (e.type) std::ofstream(dir / "type") << *e.type << "\n";
}

TEST(LinuxPortList, RealPortsInNaturalOrder) {
    TempTree tree;
    ASSERT_FALSE(tree.root().empty());
    const fs::path classDir = tree.root() / "class" / "tty";
    const std::string devDir = (tree.root() / "dev").string();  // no nodes: TIOCGSERIAL cannot answer

    const SysfsEntry entries[] = {
        {"tty0", false, std::nullopt, std::nullopt},          // virtual terminal
        {"ptmx", false, std::nullopt, std::nullopt},          // pty multiplexer
        {"console", false, std::nullopt, std::nullopt},
        {"ttyS0", true, "4", "serial8250"},                   // a 16550A
        {"ttyS1", true, "0", "serial8250"},                   // no UART at that address
        {"ttyS2", true, std::nullopt, "serial8250"},          // type unreadable, node silent
        {"ttyS3", true, std::nullopt, "fsl-lpuart"},          // type unreadable, other driver
        {"ttyS10", true, "4", "serial8250"},
        {"ttyUSB1", true, std::nullopt, "ftdi_sio"},
        {"ttyUSB0", true, std::nullopt, "ftdi_sio"},
        {"ttyACM10", true, std::nullopt, "cdc_acm"},
        {"ttyACM2", true, std::nullopt, "cdc_acm"},
        {"ttyACM0", true, std::nullopt, "cdc_acm"},
        {"ttyAMA0", true, "83", "uart-pl011"},
    };
    for (const auto& e : entries) writeEntry(classDir, e);

    const std::vector<std::string> expected = {"ttyACM0", "ttyACM2", "ttyACM10", "ttyAMA0", "ttyS0",
                                               "ttyS3",   "ttyS10",  "ttyUSB0",  "ttyUSB1"};
    std::vector<SerialPortInfo> ports = listSerialPortsIn(classDir.string(), devDir);
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(ports[i].name, expected[i]);
        EXPECT_EQ(ports[i].device, (fs::path(devDir) / expected[i]).string());
        EXPECT_EQ(ports[i].number, static_cast<int>(i) + 1);
    }
}

TEST(LinuxPortList, MissingClassDirectoryGivesNoPorts) {
    TempTree tree;
    ASSERT_FALSE(tree.root().empty());
    EXPECT_TRUE(listSerialPortsIn((tree.root() / "nothing").string(), "/dev").empty());
}

TEST(LinuxPortList, ComPortListKeepsTheOrderAfterAuto) {
    TempTree tree;
    ASSERT_FALSE(tree.root().empty());
    const fs::path classDir = tree.root() / "tty";
    for (const char* name : {"ttyUSB3", "ttyACM1"}) writeEntry(classDir, {name, true, std::nullopt, "x"});
    ComPortList list = comPortListFrom(listSerialPortsIn(classDir.string(), "/dev"));
    EXPECT_EQ(list.names, (std::vector<std::string>{"AUTO", "ttyACM1", "ttyUSB3"}));
    EXPECT_EQ(list.numbers, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list.devices, (std::vector<std::string>{"", "/dev/ttyACM1", "/dev/ttyUSB3"}));
}

#endif  // __linux__

}  // namespace
