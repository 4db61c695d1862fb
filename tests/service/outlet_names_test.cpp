// The outlet names file: what a name may be, one unit's names kept apart
// from another's, the file written whole and read leniently, and a name on
// a command line standing for exactly one outlet.

#include "service/outlet_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace velmora {
namespace {

using testing_support::TempFolder;
using testing_support::readBytes;
using testing_support::writeBytes;

TEST(OutletNames, WhatANameMayBe) {
    const struct {
        std::string name;
        bool allowed;
    } cases[] = {
        {"router", true},
        {"DUT 3", true},
        {std::string(32, 'x'), true},
        {std::string(33, 'x'), false},
        {"\xc3\xa9tag\xc3\xa8re \xe2\x82\xac" + std::string(22, 'x'), true},  // 32 characters, more bytes
        {"tab\there", false},
        {"line\nbreak", false},
        {"\xc2\x85", false},  // a C1 control (NEL)
        {"\xff\xfe", false},  // not UTF-8
        {"\xc0\xaf", false},  // an overlong form
        {"   ", false},
    };
    for (const auto& c : cases) EXPECT_EQ(!nameRefusal(c.name).has_value(), c.allowed) << c.name;
}

TEST(OutletNames, ACommandLineNameStandsForExactlyOneOutlet) {
    OutletNames names;
    ASSERT_FALSE(names.rename(1, 3, "router"));
    ASSERT_FALSE(names.rename(2, 5, "DUT 3"));
    ASSERT_FALSE(names.rename(2, 6, "twin"));
    ASSERT_FALSE(names.rename(2, 7, "twin"));
    ASSERT_FALSE(names.rename(2, 0, "router"));  // a bank's name is no outlet's
    const struct {
        const char* given;
        int bank, port;
        const char* says;  // in the error, "" when found
    } cases[] = {
        {"router", 1, 3, ""},       {"DUT 3", 2, 5, ""},   {"twin", 0, 0, "names 2 outlets"},
        {"Router", 0, 0, "no outlet"}, {"dut 3", 0, 0, "no outlet"},
    };
    for (const auto& c : cases) {
        const NameTarget t = resolveName(names, c.given);
        EXPECT_EQ(t.bank, c.bank) << c.given;
        EXPECT_EQ(t.port, c.port) << c.given;
        EXPECT_NE(t.error.find(c.says), std::string::npos) << c.given << ": " << t.error;
    }
    EXPECT_TRUE(names.rename(1, 9, "x").has_value()) << "no port 9";
    ASSERT_FALSE(names.rename(1, 3, ""));
    EXPECT_EQ(names.name(1, 3), "") << "an empty name unnames";
}

TEST(NamesFile, EachUnitKeepsItsNamesAndTheFileReadsBackWhole) {
    TempFolder folder;
    const auto path = folder / "config" / "velmora" / "names.json";
    const UnitKey rack{"/dev/serial/by-id/usb-FTDI_rack1-if00-port0", 2};
    const UnitKey other{"/dev/serial/by-id/usb-FTDI_rack1-if00-port0", 3};  // another unit on that port
    NamesFile file;
    OutletNames a;
    a.rename(1, 3, "router");
    a.rename(2, 0, "lab \"bench\"");
    a.rename(2, 8, "\xc3\xa9tag\xc3\xa8re");
    file.setUnit(rack, a);
    OutletNames b;
    b.rename(1, 1, "switch");
    file.setUnit(other, b);
    ASSERT_EQ(file.write(path).status, FileIoStatus::ok);
    EXPECT_TRUE(std::filesystem::is_empty(folder / "config" / "velmora") == false);
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path()))
        EXPECT_EQ(entry.path().filename(), "names.json") << "a temporary file was left";

    // What the window writes, velmoractl reads, and the other way round.
    const NamesFile again = NamesFile::read(path);
    EXPECT_EQ(again.unit(rack).all(), a.all());
    EXPECT_EQ(again.unit(other).all(), b.all());
    EXPECT_TRUE(again.unit(UnitKey{rack.port, 1}).empty());
    EXPECT_EQ(again.text(), file.text());
}

TEST(NamesFile, JunkIsSkippedAndTheRestKept) {
    TempFolder folder;
    const auto path = folder / "names.json";
    const struct {
        const char* name;
        std::string text;
        std::size_t kept;  // names of the unit on /dev/ttyUSB0 with 2 banks
    } cases[] = {
        {"not JSON", "{units: [", 0},
        {"no units", R"({"unit":[]})", 0},
        {"a unit of the wrong shape", R"({"units":[7,{"port":"/dev/ttyUSB0","banks":2,"names":{"1.1":"a"}}]})", 1},
        {"bad keys and values",
         R"({"units":[{"port":"/dev/ttyUSB0","banks":2,"names":{"1.1":"a","1.9":"b","17":"c","x":"d","1.2":5,"1.3":"line\nbreak","2":"bank"}}]})",
         2},
        {"a name too long", R"({"units":[{"port":"/dev/ttyUSB0","banks":2,"names":{"1.1":")" + std::string(40, 'x') + R"("}}]})", 0},
        {"empty", "", 0},
    };
    for (const auto& c : cases) {
        writeBytes(path, c.text);
        EXPECT_EQ(NamesFile::read(path).unit(UnitKey{"/dev/ttyUSB0", 2}).all().size(), c.kept) << c.name;
    }
    EXPECT_TRUE(NamesFile::read(folder / "missing.json").unit(UnitKey{"/dev/ttyUSB0", 2}).empty());
}

// The stable names are the links udev makes under /dev/serial/by-id.
#ifndef _WIN32
TEST(NamesFile, APortIsKeyedByItsStableName) {
    TempFolder folder;
    std::ofstream(folder / "ttyUSB7") << "";
    std::filesystem::create_directories(folder / "by-id");
    std::filesystem::create_symlink(folder / "ttyUSB7", folder / "by-id" / "usb-FTDI_A50285BI-if00-port0");
    EXPECT_EQ(stablePortPath((folder / "ttyUSB7").string(), folder / "by-id"),
              (folder / "by-id" / "usb-FTDI_A50285BI-if00-port0").string());
    std::ofstream(folder / "ttyACM0") << "";
    EXPECT_EQ(stablePortPath((folder / "ttyACM0").string(), folder / "by-id"),
              std::filesystem::canonical(folder / "ttyACM0").string());
}
#endif

}  // namespace
}  // namespace velmora
