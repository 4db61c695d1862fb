#include "settings/settings_location.h"

#include "settings/settings_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace velmora;
using velmora::testing_support::readBytes;
using velmora::testing_support::TempFolder;
using velmora::testing_support::writeBytes;
namespace fs = std::filesystem;

namespace {

struct LocationCase {
    const char* name;
    const char* exeDir;
    const char* userDir;
    bool exeDirWritable;
    const char* expected;
};

void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }

class SettingsLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(SettingsLocation, BesideTheProgramWhenWritableElsePerUser) {
    const LocationCase& c = GetParam();
    std::vector<fs::path> asked;
    const auto probe = [&](const fs::path& folder) {
        asked.push_back(folder);
        return c.exeDirWritable;
    };
    EXPECT_EQ(settingsFilePath(c.exeDir, c.userDir, probe), fs::path(c.expected));
    // Only the program's folder is ever probed, and at most once.
    for (const fs::path& p : asked) EXPECT_EQ(p, fs::path(c.exeDir));
    EXPECT_LE(asked.size(), 1u);
}

const LocationCase kLocationCases[] = {
    {"WritableProgramFolder", "/opt/velmora", "/home/u/.config/velmora", true,
     "/opt/velmora/define.ini"},
    {"ReadOnlyProgramFolder", "/opt/velmora", "/home/u/.config/velmora", false,
     "/home/u/.config/velmora/define.ini"},
    {"NoUserFolderKnown", "/opt/velmora", "", false, "/opt/velmora/define.ini"},
    {"NoUserFolderButWritable", "/opt/velmora", "", true, "/opt/velmora/define.ini"},
    {"ProgramFolderWithTrailingSeparator", "/opt/velmora/", "/cfg/velmora", true,
     "/opt/velmora/define.ini"},
};

INSTANTIATE_TEST_SUITE_P(Rule, SettingsLocation, ::testing::ValuesIn(kLocationCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SettingsLocationProbe, MissingProbeCountsAsNotWritable) {
    EXPECT_EQ(settingsFilePath("/opt/velmora", "/cfg/velmora", nullptr),
              fs::path("/cfg/velmora/define.ini"));
}

struct EnvCase {
    const char* name;
    std::map<std::string, std::string> env;
    const char* expected;
    FolderConvention convention = FolderConvention::posix;
};

void PrintTo(const EnvCase& c, std::ostream* os) { *os << c.name; }

class UserConfigDir : public ::testing::TestWithParam<EnvCase> {};

TEST_P(UserConfigDir, FollowsTheUsualVariables) {
    const EnvCase& c = GetParam();
    const auto lookup = [&](const char* name) -> std::optional<std::string> {
        const auto it = c.env.find(name);
        if (it == c.env.end()) return std::nullopt;
        return it->second;
    };
    EXPECT_EQ(userConfigDir(lookup, c.convention), fs::path(c.expected));
}

const EnvCase kEnvCases[] = {
    {"XdgWins", {{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/home/u"}}, "/x/cfg/velmora"},
    {"HomeWhenNoXdg", {{"HOME", "/home/u"}}, "/home/u/.config/velmora"},
    {"EmptyXdgIgnored", {{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}}, "/home/u/.config/velmora"},
    {"RelativeXdgIgnored", {{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/u"}},
     "/home/u/.config/velmora"},
    {"RelativeHomeIgnored", {{"HOME", "home/u"}}, ""},
    {"AppDataLast", {{"APPDATA", "/appdata"}}, "/appdata/velmora"},
    {"HomeBeforeAppData", {{"HOME", "/home/u"}, {"APPDATA", "/appdata"}},
     "/home/u/.config/velmora"},
    {"NothingKnown", {}, ""},
    // Windows: the roaming application data, even where a HOME is set.
    {"WindowsAppDataBeforeHome", {{"HOME", "/home/u"}, {"APPDATA", "/appdata"}}, "/appdata/velmora",
     FolderConvention::windows},
    {"WindowsHomeWithoutAppData", {{"HOME", "/home/u"}}, "/home/u/.config/velmora", FolderConvention::windows},
    {"WindowsEmptyAppDataIgnored", {{"APPDATA", ""}, {"HOME", "/home/u"}}, "/home/u/.config/velmora",
     FolderConvention::windows},
};

INSTANTIATE_TEST_SUITE_P(Environments, UserConfigDir, ::testing::ValuesIn(kEnvCases),
                         [](const auto& row) { return std::string(row.param.name); });

// The folder of an installed program on Windows is no place for define.ini
// even where the user may write (an administrator, Wine); a portable copy
// elsewhere keeps it beside itself.
TEST(ProgramFilesFolder, IsTheSystemsProgramFoldersWithoutCase) {
    const std::map<std::string, std::string> env = {{"ProgramFiles", "C:\\Program Files"},
                                                    {"ProgramFiles(x86)", "C:\\Program Files (x86)\\"},
                                                    {"ProgramW6432", ""}};
    const auto lookup = [&](const char* name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
    };
    const struct {
        const char* folder;
        bool installed;
    } rows[] = {
        {"C:\\Program Files\\Velmora Manager", true},
        {"c:/program files/velmora manager/", true},
        {"C:\\PROGRAM FILES (X86)\\Velmora", true},
        {"C:\\Program Files", true},
        {"C:\\Program Files Extra\\Velmora", false},  // a longer name is another folder
        {"C:\\Program", false},
        {"D:\\Tools\\Velmora", false},
        {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(isUnderProgramFiles(r.folder, lookup), r.installed) << r.folder;
    EXPECT_FALSE(isUnderProgramFiles("C:\\Program Files\\Velmora", nullptr)) << "no environment";
}

TEST(FolderWritable, AnswersForRealFoldersAndLeavesNothingBehind) {
    TempFolder dir;
    writeBytes(dir / "plain-file", "x");
    fs::create_directories(dir / "sub");
    struct Row {
        const char* name;
        fs::path folder;
        bool expected;
    };
    const Row rows[] = {
        {"ExistingFolder", dir.path(), true},
        {"NestedFolder", dir / "sub", true},
        {"MissingFolder", dir / "missing", false},
        {"RegularFileIsNoFolder", dir / "plain-file", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(isFolderWritable(r.folder), r.expected) << r.name;
    }
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"plain-file", "sub"}));
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
}

TEST(FolderWritable, ReadOnlyFolderIsNotWritable) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempFolder dir;
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(isFolderWritable(dir / "ro"));
    EXPECT_TRUE(isFolderWritable(dir.path()));
}

TEST(SettingsLocationEndToEnd, PerUserFolderIsCreatedOnFirstRun) {
    TempFolder dir;
    fs::create_directories(dir / "program");
    const fs::path user = dir.path() / "home" / ".config" / "velmora";
    const auto path = settingsFilePath(dir / "program", user, [](const fs::path&) { return false; });
    ASSERT_EQ(path, user / "define.ini");
    ASSERT_TRUE(ensureSettingsFile(path));
    EXPECT_EQ(readBytes(path), kDefaultSettingsText);
    EXPECT_TRUE(fs::is_empty(dir / "program"));
}

}  // namespace

// An installed program's folder is nobody's to keep settings in - not even
// root's, who can write there - so define.ini goes to the user's folder.
TEST(InstalledProgram, SettingsGoToTheUsersFolder) {
    testing_support::TempFolder prefix;
    std::filesystem::create_directories(prefix / "bin");
    EXPECT_FALSE(isInstalledProgramFolder(prefix / "bin")) << "a build's bin folder";
    std::filesystem::create_directories(prefix / "share" / "applications");
    std::ofstream(prefix / "share" / "applications" / "velmora-manager.desktop") << "[Desktop Entry]\n";
    for (const std::filesystem::path& folder :
         {std::filesystem::path("/usr/bin"), std::filesystem::path("/usr/local/bin/"), prefix / "bin"}) {
        EXPECT_TRUE(isInstalledProgramFolder(folder)) << folder;
        EXPECT_EQ(programSettingsPath(folder, prefix / "config"), prefix / "config" / "define.ini") << folder;
    }
    EXPECT_FALSE(isInstalledProgramFolder(prefix / "share"));
    EXPECT_EQ(programSettingsPath(prefix / "share", prefix / "config"), prefix / "share" / "define.ini")
        << "a folder of its own, writable: beside the program as ever";
}
