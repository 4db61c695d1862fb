// The outlet names file: what a name may be, one unit's names kept apart
// from another's, the file written whole and read leniently, and a name on
// a command line standing for exactly one outlet.

#include "service/outlet_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
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

// A names file damaged in one way or another, beside this unit's names
// (/dev/ttyUSB0, 2 banks: "1.3" router) and another unit's: what each keeps,
// what the reader says, and whether the window's rename (read, change one
// unit, write) may replace the file - when it may not, the file stays
// byte for byte as it was.
TEST(NamesFile, DamagedFilesKeepWhatCanBeReadAndAreNeverWrittenOverWhenUnread) {
    using Reading = NamesFile::Reading;
    using Names = std::map<std::pair<int, int>, std::string>;
    const std::string mine = R"({"port":"/dev/ttyUSB0","banks":2,"names":{"1.3":"router"}})";
    auto other = [](const std::string& names) {
        return R"({"port":"/dev/ttyUSB1","banks":4,"names":{"4.8":"kettle",)" + names + "}}";
    };
    auto file = [&](const std::string& units) { return R"({"units":[)" + units + "]}"; };
    // A valid file of more than 1 MiB: a long run of blanks in it.
    const std::string oversize =
        R"({"units":[)" + mine + std::string(kMaxNamesFileBytes, ' ') + "]}";
    const struct {
        const char* what;
        std::string text;
        Names mineKept;       // of /dev/ttyUSB0, 2 banks
        Names otherKept;      // of /dev/ttyUSB1, 4 banks
        Reading reading;
        std::size_t skipped;
        const char* says;     // in warning() ("" when it is empty)
    } cases[] = {
        {"bad UTF-8 in a name of another unit", file(other("\"1.1\":\"caf\xe9\"") + "," + mine),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 1, "\"1.1\": not UTF-8 text"},
        {"a cut-short UTF-8 sequence", file(mine + "," + other("\"2.2\":\"\xe2\x82\"")),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 1, "1 entry was left out"},
        {"an overlong form and a surrogate in UTF-8", file(mine + "," + other("\"2.2\":\"\xc0\xaf\",\"2.3\":\"\xed\xa0\x80\"")),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 2, "2 entries were left out"},
        {"bad UTF-8 in another unit's port",
         file(R"({"port":"/dev/tty)" + std::string("\xff\xfe") + R"(","banks":2,"names":{"1.1":"x"}},)" + mine),
         {{{1, 3}, "router"}}, {}, Reading::whole, 1, "its port is not UTF-8 text"},
        {"bad UTF-8 in a key", file(mine + "," + other("\"1.\xff\":\"x\"")), {{{1, 3}, "router"}},
         {{{4, 8}, "kettle"}}, Reading::whole, 1, "a key: names no bank or outlet"},
        {"an unpaired surrogate escape", file(mine + "," + other(R"("1.1":"a\ud800b","1.2":"\ud83d\ude00")")),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}, {{1, 2}, "\xf0\x9f\x98\x80"}}, Reading::whole, 1, "UTF-8"},
        {"a raw line break and a control escape", file(mine + "," + other("\"1.1\":\"a\nb\",\"1.2\":\"\\u0007\"")),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 2, "control character"},
        {"an escape JSON has not", file(mine + "," + other(R"("1.1":"a\qb")")), {{{1, 3}, "router"}},
         {{{4, 8}, "kettle"}}, Reading::whole, 1, "\"1.1\""},
        {"a name too long", file(mine + "," + other("\"1.1\":\"" + std::string(33, 'x') + "\"")),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 1, "at most 32 characters"},
        {"bad keys", file(mine + "," + other(R"("17":"a","1.9":"b","x":"c","":"d")")), {{{1, 3}, "router"}},
         {{{4, 8}, "kettle"}}, Reading::whole, 4, "\"17\": names no bank or outlet"},
        {"wrong types", file(R"(7,"unit",{"port":5,"banks":2},{"port":"/dev/ttyUSB1","banks":"4"},)" +
                             std::string(R"({"port":"/dev/ttyUSB1","banks":4,"names":["1.1","x"]},)") +
                             R"({"port":"/dev/ttyUSB1","banks":4,"names":{"1.1":5,"1.2":null,"4.8":"kettle"}},)" + mine),
         {{{1, 3}, "router"}}, {{{4, 8}, "kettle"}}, Reading::whole, 7, "and 4 more"},
        {"a unit listed twice", file(mine + "," + R"({"port":"/dev/ttyUSB0","banks":2,"names":{"2.1":"lamp"}})"),
         {{{1, 3}, "router"}, {{2, 1}, "lamp"}}, {}, Reading::whole, 0, ""},
        {"oversize", oversize, {}, {}, Reading::tooLarge, 0, "larger than the 1 MiB"},
        {"truncated JSON", file(mine + "," + other("\"1.1\":\"x\"")).substr(0, 70), {}, {}, Reading::notNames, 0,
         "is not JSON"},
        {"bad UTF-8 outside the strings", file(mine) + "\xff", {}, {}, Reading::notNames, 0, "is not JSON"},
        {"units not a list", R"({"units":{"port":"/dev/ttyUSB0","banks":2}})", {}, {}, Reading::notNames, 0,
         "no \"units\" list"},
        {"a list, no object", "[" + mine + "]", {}, {}, Reading::notNames, 0, "no \"units\" list"},
        {"empty", "", {}, {}, Reading::missing, 0, ""},
        {"blank", " \n", {}, {}, Reading::missing, 0, ""},
    };
    const UnitKey myKey{"/dev/ttyUSB0", 2};
    const UnitKey otherKey{"/dev/ttyUSB1", 4};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const auto path = folder / "names.json";
        writeBytes(path, c.text);
        const NamesFile read = NamesFile::read(path);
        EXPECT_EQ(read.unit(myKey).all(), c.mineKept);
        EXPECT_EQ(read.unit(otherKey).all(), c.otherKept);
        EXPECT_EQ(read.reading(), c.reading);
        EXPECT_EQ(read.skipped(), c.skipped) << read.warning();
        if (std::string(c.says).empty()) {
            EXPECT_EQ(read.warning(), "");
        } else {
            EXPECT_NE(read.warning().find(c.says), std::string::npos) << read.warning();
            EXPECT_EQ(read.warning().rfind(path.string(), 0), 0u) << "the warning names the file: " << read.warning();
            EXPECT_EQ(read.warning().find('\n'), std::string::npos) << "one line";
        }

        // The window's rename: this unit's bank 1 port 4 named, the file written.
        NamesFile changed = read;
        OutletNames unit = changed.unit(myKey);
        ASSERT_FALSE(unit.rename(1, 4, "lamp"));
        changed.setUnit(myKey, unit);
        const FileSave saved = changed.write(path);
        if (read.mayReplace()) {
            ASSERT_EQ(saved.status, FileIoStatus::ok) << saved.error;
            const NamesFile again = NamesFile::read(path);
            Names expected = c.mineKept;
            expected[{1, 4}] = "lamp";
            EXPECT_EQ(again.unit(myKey).all(), expected);
            EXPECT_EQ(again.unit(otherKey).all(), c.otherKept) << "another unit's names were lost";
            EXPECT_EQ(again.warning(), "");
        } else {
            EXPECT_EQ(saved.status, FileIoStatus::failed);
            EXPECT_NE(saved.error.find("not written over"), std::string::npos) << saved.error;
            EXPECT_EQ(readBytes(path), c.text) << "the file was changed";
            EXPECT_EQ(folder.entries(), std::set<std::string>{"names.json"});
        }
    }
}

#ifndef _WIN32
// A names file the reader cannot open (here: a folder in its place) has no
// names, says so, and is not replaced.
TEST(NamesFile, AnUnreadableFileIsNotWrittenOver) {
    TempFolder folder;
    const auto path = folder / "names.json";
    std::filesystem::create_directories(path / "inside");
    const NamesFile read = NamesFile::read(path);
    EXPECT_EQ(read.reading(), NamesFile::Reading::unreadable);
    EXPECT_FALSE(read.mayReplace());
    EXPECT_NE(read.warning().find("could not be read"), std::string::npos) << read.warning();
    NamesFile changed = read;
    OutletNames unit;
    ASSERT_FALSE(unit.rename(1, 1, "x"));
    changed.setUnit(UnitKey{"/dev/ttyUSB0", 2}, unit);
    EXPECT_EQ(changed.write(path).status, FileIoStatus::failed);
    EXPECT_TRUE(std::filesystem::is_directory(path / "inside"));
}
#endif

// Reading takes time in proportion to the file: 80 000 keys in one unit's
// names, and many units, read with every good name found (the speed is
// seen in bench/ or by hand, not asserted here).
TEST(NamesFile, ManyKeysAndManyUnitsAreAllRead) {
    TempFolder folder;
    const auto path = folder / "names.json";
    std::string names = R"("1.1":"first","16.8":"last")";
    for (int i = 0; i < 80000; ++i) names += ",\"k" + std::to_string(i) + "\":0";
    std::string text = R"({"units":[{"port":"/dev/ttyUSB0","banks":16,"names":{)" + names + "}}";
    for (int i = 0; i < 2000; ++i)
        text += R"(,{"port":"/dev/p)" + std::to_string(i) + R"(","banks":2,"names":{"2.5":"n)" + std::to_string(i) + "\"}}";
    text += "]}";
    ASSERT_LE(text.size(), kMaxNamesFileBytes);
    writeBytes(path, text);
    const NamesFile read = NamesFile::read(path);
    EXPECT_EQ(read.reading(), NamesFile::Reading::whole);
    const OutletNames big = read.unit(UnitKey{"/dev/ttyUSB0", 16});
    EXPECT_EQ(big.all().size(), 2u);
    EXPECT_EQ(big.name(16, 8), "last");
    EXPECT_EQ(read.skipped(), 80000u);
    EXPECT_NE(read.warning().find("80000 entries were left out"), std::string::npos) << read.warning().substr(0, 200);
    EXPECT_NE(read.warning().find("and 79997 more"), std::string::npos);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(read.unit(UnitKey{"/dev/p" + std::to_string(i), 2}).name(2, 5), "n" + std::to_string(i)) << i;
}

TEST(NamesFile, TheWindowsCacheCarriesTheWarning) {
    TempFolder folder;
    const auto path = folder / "names.json";
    writeBytes(path, R"({"units":[{"port":"/dev/ttyUSB0","banks":2,"names":{"1.3":"router","1.4":")" +
                         std::string("\xff") + R"("}}]})");
    NamesOfUnit names(path);
    EXPECT_EQ(names.of(UnitKey{"/dev/ttyUSB0", 2}).name(1, 3), "router");
    EXPECT_NE(names.warning().find("1 entry was left out"), std::string::npos) << names.warning();
    std::filesystem::remove(path);
    EXPECT_TRUE(names.of(UnitKey{"/dev/ttyUSB0", 2}).empty());
    EXPECT_EQ(names.warning(), "");
}

// Two saves within one tick of the file system's clock share a time: the
// cache still sees the second (a save is a new file, renamed in), even with
// the same size and the time set back to the first's.
TEST(NamesFile, TheCacheSeesARewriteThatKeptTheTimeAndTheSize) {
    TempFolder folder;
    const auto path = folder / "names.json";
    const auto save = [&](const char* name) {
        NamesFile file;
        OutletNames names;
        ASSERT_FALSE(names.rename(1, 3, name));
        file.setUnit(UnitKey{"/dev/ttyUSB0", 2}, names);
        ASSERT_EQ(file.write(path).status, FileIoStatus::ok);
    };
    save("router");
    NamesOfUnit names(path);
    ASSERT_EQ(names.of(UnitKey{"/dev/ttyUSB0", 2}).name(1, 3), "router");
    const auto time = std::filesystem::last_write_time(path);
    const auto size = std::filesystem::file_size(path);
    save("switch");
    std::filesystem::last_write_time(path, time);
    ASSERT_EQ(std::filesystem::file_size(path), size);
    EXPECT_EQ(names.of(UnitKey{"/dev/ttyUSB0", 2}).name(1, 3), "switch");
}

TEST(OutletNames, NamesOfOutletsTheUnitLacksAreIgnored) {
    OutletNames names;
    ASSERT_FALSE(names.rename(9, 1, "bank9"));
    ASSERT_FALSE(names.rename(1, 3, "router"));
    ASSERT_FALSE(names.rename(12, 2, "router"));
    const struct {
        const char* given;
        int banks;
        int bank, port;  // 0, 0: stands for no outlet
    } cases[] = {
        {"bank9", 3, 0, 0}, {"bank9", 9, 9, 1}, {"router", 3, 1, 3}, {"router", 12, 0, 0}, {"router", 0, 0, 0},
        {"bank9", 16, 9, 1}, {"router", 11, 1, 3},
    };
    for (const auto& c : cases) {
        const NameTarget t = resolveName(names, c.given, c.banks);
        EXPECT_EQ(t.bank, c.bank) << c.given << " of " << c.banks;
        EXPECT_EQ(t.port, c.port) << c.given << " of " << c.banks;
        EXPECT_EQ(t.error.empty(), c.bank != 0) << c.given << " of " << c.banks << ": " << t.error;
    }
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
