#include "settings/settings_file.h"

#include "platform/dialogs.h"
#include "settings/ini_file.h"
#include "settings_values.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace velmora;
using velmora::testing_support::describe;
using velmora::testing_support::makeSettings;
using velmora::testing_support::readBytes;
using velmora::testing_support::TempFolder;
using velmora::testing_support::writeBytes;
using namespace std::string_literals;

namespace {

class RecordingControls final : public SetRTCControls {
public:
    void setStartSetRTCPeriodEnabled(bool enabled) override {
        calls.push_back(enabled ? "enable mlStartSetRTC_Period" : "disable mlStartSetRTC_Period");
    }
    void stopSetRTCTimer() override { calls.push_back("stop tmSetRTC"); }
    std::vector<std::string> calls;
};


// What a first run must leave on disk, spelled out line by line.
const std::string kExpectedDefaultFile = "[Form]\n"
                                         "ComPort=0\n"
                                         "ChkExist=1\n"
                                         "Auto=0\n"
                                         "Prompt=1\n"
                                         "ComMeg=1\n"
                                         "SetRTC=1\n"
                                         "RestoreStatus=1";

// ---------------------------------------------------------------------------
// First run

TEST(SettingsFirstRun, CreatesTheDefaultFileByteForByte) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    Settings s;
    ScriptedDialogs dialogs;
    RecordingControls controls;

    EXPECT_EQ(ReadSettings(s, path, 3, dialogs, controls), SettingsFileResult::done);

    const std::string bytes = readBytes(path);
    EXPECT_EQ(bytes.size(), 77u);
    EXPECT_EQ(bytes, kExpectedDefaultFile);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_NE(bytes.back(), '\n');
    EXPECT_EQ(kDefaultSettingsText, kExpectedDefaultFile);
    // Nothing but the file is left behind (no temporary files).
    EXPECT_EQ(dir.entries(), std::set<std::string>{"define.ini"});

    EXPECT_EQ(describe(s), describe(makeSettings(0, false, true, true, true, true)));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(controls.calls, std::vector<std::string>{"disable mlStartSetRTC_Period"});
}

TEST(SettingsFirstRun, CreatesMissingParentFolders) {
    TempFolder dir;
    const auto path = dir.path() / "config" / "velmora" / "define.ini";
    ASSERT_TRUE(ensureSettingsFile(path));
    EXPECT_EQ(readBytes(path), kExpectedDefaultFile);
}

#ifndef _WIN32
TEST(SettingsFirstRun, DanglingLinkGetsItsTargetCreated) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "real");
    const auto link = dir / "define.ini";
    std::filesystem::create_symlink(std::filesystem::path("real") / "define.ini", link);
    ASSERT_TRUE(ensureSettingsFile(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(dir.path() / "real" / "define.ini"), kExpectedDefaultFile);
}

#endif  // !_WIN32

TEST(SettingsFirstRun, ExistingFileIsNotRecreated) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, "[Form]\nAuto=1\n");
    ASSERT_TRUE(ensureSettingsFile(path));
    EXPECT_EQ(readBytes(path), "[Form]\nAuto=1\n");
}

// ---------------------------------------------------------------------------
// Reading

struct ReadCase {
    const char* name;
    std::string file;
    int comPortCount;
    Settings expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class SettingsRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SettingsRead, FillsSettingsAndLeavesTheFileAlone) {
    const ReadCase& c = GetParam();
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, c.file);
    Settings s;  // all zero, as before start-up
    ScriptedDialogs dialogs;
    RecordingControls controls;

    EXPECT_EQ(ReadSettings(s, path, c.comPortCount, dialogs, controls), SettingsFileResult::done);
    EXPECT_EQ(describe(s), describe(c.expected));
    EXPECT_TRUE(dialogs.shown.empty());
    // Reading never repairs or rewrites the file.
    EXPECT_EQ(readBytes(path), c.file);
}

const ReadCase kReadCases[] = {
    {"DefaultFile", std::string(kDefaultSettingsText), 3, makeSettings(0, false, true, true, true, true)},
    {"OnlySectionLineConnectsAtStartUp", "[Form]", 3, makeSettings(0, true, true, true, true, true)},
    {"EmptyFileTakesEveryDefault", "", 3, makeSettings(0, true, true, true, true, true)},
    {"OtherSectionOnlyTakesDefaults", "[Other]\nAuto=0\nPrompt=0\n", 3,
     makeSettings(0, true, true, true, true, true)},
    {"EveryKeyInOddCaseAndBlanks",
     "[ form ]\r\n  auto = 0 \r\n COMPORT=\t2\r\nprompt=0\r\nCOMMEG = 0\r\n\tsetrtc=0\r\n"
     "RESTORESTATUS =0\r\n",
     3, makeSettings(2, false, false, false, false, false)},
    {"EveryKeyOn", "[Form]\nComPort=1\nAuto=1\nPrompt=1\nComMeg=1\nSetRTC=1\nRestoreStatus=1\n",
     1, makeSettings(1, true, true, true, true, true)},
    {"NonZeroIntegersAreTrue", "[Form]\nAuto=2\nPrompt=-1\nComMeg=10\nSetRTC=007\nRestoreStatus=+3",
     3, makeSettings(0, true, true, true, true, true)},
    {"NonNumericValuesTakeDefaults",
     "[Form]\nComPort=COM3\nAuto=no\nPrompt=off\nComMeg=false\nSetRTC=0.0\nRestoreStatus=0x0\n", 3,
     makeSettings(0, true, true, true, true, true)},
    {"EmptyValuesTakeDefaults", "[Form]\nComPort=\nAuto=\nPrompt=\nComMeg=\nSetRTC=\nRestoreStatus=\n",
     3, makeSettings(0, true, true, true, true, true)},
    {"QuotedValuesAreRead", "[Form]\nComPort=\"2\"\nAuto='0'\n", 3,
     makeSettings(2, false, true, true, true, true)},
    {"FirstOfDuplicateKeysWins", "[Form]\nAuto=0\nAuto=1\nComPort=1\nComPort=2\n", 3,
     makeSettings(1, false, true, true, true, true)},
    {"ChkExistIsNeverRead", "[Form]\nChkExist=0\nAuto=0\n", 3,
     makeSettings(0, false, true, true, true, true)},
    {"ComPortAboveCountIsAuto", "[Form]\nComPort=5\nAuto=0\n", 3,
     makeSettings(0, false, true, true, true, true)},
    {"ComPortEqualToCountStays", "[Form]\nComPort=3\nAuto=0\n", 3,
     makeSettings(3, false, true, true, true, true)},
    {"ComPortNegativeIsAuto", "[Form]\nComPort=-1\nAuto=0\n", 3,
     makeSettings(0, false, true, true, true, true)},
    {"ComPortWithoutAnyPortIsAuto", "[Form]\nComPort=1\nAuto=0\n", 0,
     makeSettings(0, false, true, true, true, true)},
    {"ComPortInt32MinIsAuto", "[Form]\nComPort=-2147483648\nAuto=0\n", 3,
     makeSettings(0, false, true, true, true, true)},
    {"ComPortOverflowTakesDefault", "[Form]\nComPort=4294967297\nAuto=0\n", 9,
     makeSettings(0, false, true, true, true, true)},
    // A NUL glued to a name or number makes it another name or no number.
    {"NulBytesAroundKeys", "[Form]\n\0\nAuto=0\n\0ComPort=1\nComPort=2\0\n"s, 3,
     makeSettings(0, false, true, true, true, true)},
    {"NulBeforeSectionLineHidesIt", "\0[Form]\nAuto=0\n"s, 3,
     makeSettings(0, true, true, true, true, true)},
    {"BinaryGarbage", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe[Form\n=\n==\n]]]\n"s, 3,
     makeSettings(0, true, true, true, true, true)},
};

INSTANTIATE_TEST_SUITE_P(Files, SettingsRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SettingsRead, HugeLineDoesNotHideTheKeys) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    const std::string file =
        "[Form]\nNotes=" + std::string(700 * 1024, 'x') +
        "\nAuto=0\nComPort=2\nPrompt=0\nComMeg=1\nSetRTC=1\nRestoreStatus=1\n";
    writeBytes(path, file);
    Settings s;
    ScriptedDialogs dialogs;
    RecordingControls controls;
    EXPECT_EQ(ReadSettings(s, path, 2, dialogs, controls), SettingsFileResult::done);
    EXPECT_EQ(describe(s), describe(makeSettings(2, false, false, true, true, true)));

    // And writing keeps the huge line as it was.
    s.Prompt = true;
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
    const std::string after = readBytes(path);
    EXPECT_EQ(after.size(), file.size());
    EXPECT_NE(after.find("Notes=" + std::string(700 * 1024, 'x') + "\n"), std::string::npos);
    EXPECT_NE(after.find("\nPrompt=1\n"), std::string::npos);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(SettingsComPort, OutOfRangeChoiceFallsBackToAuto) {
    struct Row {
        std::int32_t stored;
        int count;
        std::int32_t expected;
    };
    const Row rows[] = {
        {0, 0, 0},   {0, 3, 0},  {1, 3, 1},   {3, 3, 3},          {4, 3, 0},
        {5, 3, 0},   {-1, 3, 0}, {-1, 0, 0},  {255, 255, 255},    {256, 255, 0},
        {1, 0, 0},   {2147483647, 3, 0},      {-2147483647 - 1, 3, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(clampComPort(r.stored, r.count), r.expected)
            << "stored " << r.stored << " with " << r.count << " ports";
    }
}

// ---------------------------------------------------------------------------
// The clock-sync start-up rule

struct SetRtcCase {
    const char* name;
    std::string file;
    bool expectedSetRTC;
    std::vector<std::string> expectedCalls;
};

void PrintTo(const SetRtcCase& c, std::ostream* os) { *os << c.name; }

class SettingsSetRtcRule : public ::testing::TestWithParam<SetRtcCase> {};

TEST_P(SettingsSetRtcRule, DrivesTheHourlySyncMenuAndTimer) {
    const SetRtcCase& c = GetParam();
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, c.file);
    Settings s;
    ScriptedDialogs dialogs;
    RecordingControls controls;
    ReadSettings(s, path, 3, dialogs, controls);
    EXPECT_EQ(s.SetRTC, c.expectedSetRTC);
    EXPECT_EQ(controls.calls, c.expectedCalls);
}

const std::vector<std::string> kSyncOn = {"disable mlStartSetRTC_Period"};
const std::vector<std::string> kSyncOff = {"stop tmSetRTC", "enable mlStartSetRTC_Period"};

const SetRtcCase kSetRtcCases[] = {
    {"StoredOnDisablesHourlyItem", "[Form]\nSetRTC=1\n", true, kSyncOn},
    {"StoredOffStopsTimerAndEnablesItem", "[Form]\nSetRTC=0\n", false, kSyncOff},
    {"MissingKeyMeansOn", "[Form]\nAuto=0\n", true, kSyncOn},
    {"GarbageMeansOn", "[Form]\nSetRTC=never\n", true, kSyncOn},
    {"OtherCaseOff", "[FORM]\nsetrtc = 0\n", false, kSyncOff},
};

INSTANTIATE_TEST_SUITE_P(Files, SettingsSetRtcRule, ::testing::ValuesIn(kSetRtcCases),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Writing

struct WriteCase {
    const char* name;
    std::string before;
    Settings settings;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class SettingsWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(SettingsWrite, UpdatesKeysInPlaceAndKeepsEverythingElse) {
    const WriteCase& c = GetParam();
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, c.before);
    Settings s = c.settings;
    ScriptedDialogs dialogs;

    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
    EXPECT_EQ(readBytes(path), c.after);
    EXPECT_EQ(describe(s), describe(c.settings));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(dir.entries(), std::set<std::string>{"define.ini"});

    // What was written is what the next start-up reads.
    Settings back;
    RecordingControls controls;
    ReadSettings(back, path, 255, dialogs, controls);
    EXPECT_EQ(describe(back), describe(c.settings));
}

const WriteCase kWriteCases[] = {
    {"AutoClearedUnderExistingKey", "[Form]\nComPort=0\nChkExist=1\nAuto=1\nPrompt=1\nComMeg=1\n"
                                    "SetRTC=1\nRestoreStatus=1",
     makeSettings(0, false, true, true, true, true),
     "[Form]\nComPort=0\nChkExist=1\nAuto=0\nPrompt=1\nComMeg=1\nSetRTC=1\nRestoreStatus=1"},
    {"EveryValueChangedInPlace", std::string(kDefaultSettingsText),
     makeSettings(2, true, false, false, false, false),
     "[Form]\nComPort=2\nChkExist=1\nAuto=1\nPrompt=0\nComMeg=0\nSetRTC=0\nRestoreStatus=0"},
    {"ChkExistKeepsItsOddValue", "[Form]\nChkExist=7\nAuto=1\n",
     makeSettings(0, false, true, true, true, true),
     "[Form]\nChkExist=7\nAuto=0\nComPort=0\nPrompt=1\nComMeg=1\nSetRTC=1\nRestoreStatus=1\n"},
    {"CrLfFileStaysCrLf",
     "[Form]\r\nComPort=0\r\nChkExist=1\r\nAuto=0\r\nPrompt=1\r\nComMeg=1\r\nSetRTC=1\r\n"
     "RestoreStatus=1\r\n",
     makeSettings(1, true, true, false, true, false),
     "[Form]\r\nComPort=1\r\nChkExist=1\r\nAuto=1\r\nPrompt=1\r\nComMeg=0\r\nSetRTC=1\r\n"
     "RestoreStatus=0\r\n"},
    {"OddCaseKeysKeepTheirSpelling", "[form]\nAUTO = 1\ncomport=3\nPROMPT=1\ncommeg=1\n"
                                     "SETRTC=1\nrestorestatus=1\n",
     makeSettings(1, false, false, false, false, false),
     "[form]\nAUTO=0\ncomport=1\nPROMPT=0\ncommeg=0\nSETRTC=0\nrestorestatus=0\n"},
    {"MissingKeysAppendedInWriteOrder", "[Form]\nChkExist=1\n",
     makeSettings(3, true, false, true, false, true),
     "[Form]\nChkExist=1\nauto=1\nComPort=3\nPrompt=0\nComMeg=1\nSetRTC=0\nRestoreStatus=1\n"},
    {"MissingSectionAppended", "; written by hand\n[Other]\nKeep=me\n",
     makeSettings(0, false, true, true, true, true),
     "; written by hand\n[Other]\nKeep=me\n[Form]\nauto=0\nComPort=0\nPrompt=1\nComMeg=1\n"
     "SetRTC=1\nRestoreStatus=1\n"},
    {"OtherSectionsCommentsAndBlankLinesKept",
     "; top\n\n[Form]\nAuto=1\n; note\nComPort=0\n\n[Extra]\nAuto=9\nComPort=9\n",
     makeSettings(2, false, true, true, true, true),
     "; top\n\n[Form]\nAuto=0\n; note\nComPort=2\nPrompt=1\nComMeg=1\nSetRTC=1\n"
     "RestoreStatus=1\n\n[Extra]\nAuto=9\nComPort=9\n"},
    {"EmptyFileGetsSection", "", makeSettings(0, false, false, false, false, false),
     "[Form]\nauto=0\nComPort=0\nPrompt=0\nComMeg=0\nSetRTC=0\nRestoreStatus=0\n"},
};

INSTANTIATE_TEST_SUITE_P(Files, SettingsWrite, ::testing::ValuesIn(kWriteCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SettingsWrite, MissingFileIsCreatedWithDefaultsThenUpdated) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    Settings s = makeSettings(1, true, false, true, false, true);
    ScriptedDialogs dialogs;
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
    EXPECT_EQ(readBytes(path),
              "[Form]\nComPort=1\nChkExist=1\nAuto=1\nPrompt=0\nComMeg=1\nSetRTC=0\n"
              "RestoreStatus=1");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(SettingsWrite, RepeatedWritesNeverGrowTheFile) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, "[Form]\nChkExist=1\n");
    ScriptedDialogs dialogs;
    const Settings rows[] = {makeSettings(0, true, true, true, true, true),
                             makeSettings(3, false, false, false, false, false),
                             makeSettings(1, true, false, true, false, true)};
    Settings s = rows[0];
    ASSERT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
    const std::size_t lines = ProfileFile::parse(readBytes(path)).lineCount();
    for (const Settings& row : rows) {
        s = row;
        ASSERT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
        EXPECT_EQ(ProfileFile::parse(readBytes(path)).lineCount(), lines) << describe(row);
    }
}

// ---------------------------------------------------------------------------
// Failures

struct NoFileCase {
    const char* name;
    // Makes a place where define.ini can be neither found nor created.
    std::filesystem::path (*prepare)(const TempFolder&);
};

void PrintTo(const NoFileCase& c, std::ostream* os) { *os << c.name; }

class SettingsCannotCreate : public ::testing::TestWithParam<NoFileCase> {};

TEST_P(SettingsCannotCreate, ReadShowsTheMessageAndClearsAutoAndComPort) {
    TempFolder dir;
    const auto path = GetParam().prepare(dir);
    const std::set<std::string> before = dir.entries();
    Settings s = makeSettings(2, true, true, false, true, false);
    ScriptedDialogs dialogs;
    RecordingControls controls;

    EXPECT_EQ(ReadSettings(s, path, 3, dialogs, controls), SettingsFileResult::cannotCreate);

    EXPECT_EQ(describe(s), describe(makeSettings(0, false, true, false, true, false)));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Can not find configuration file !");
    EXPECT_EQ(dialogs.shown[0].caption, "");
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::none);
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::ok);
    // The routine ends there: the clock-sync rule is not applied.
    EXPECT_TRUE(controls.calls.empty());
    EXPECT_EQ(dir.entries(), before);
}

TEST_P(SettingsCannotCreate, EveryWriteShowsTheMessageAgain) {
    TempFolder dir;
    const auto path = GetParam().prepare(dir);
    const std::set<std::string> before = dir.entries();
    ScriptedDialogs dialogs;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        Settings s = makeSettings(1, true, false, true, false, true);
        EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::cannotCreate);
        EXPECT_EQ(describe(s), describe(makeSettings(0, false, false, true, false, true)));
        ASSERT_EQ(dialogs.shown.size(), static_cast<std::size_t>(attempt));
        EXPECT_EQ(dialogs.shown.back().text, "Can not find configuration file !");
    }
    EXPECT_EQ(dir.entries(), before);
}

const NoFileCase kNoFileCases[] = {
    {"FolderIsARegularFile",
     [](const TempFolder& d) {
         writeBytes(d / "program", "not a folder");
         return d / "program" / "define.ini";
     }},
    {"FolderInTheWayOfTheFile",
     [](const TempFolder& d) {
         std::filesystem::create_directories(d / "define.ini" / "inside");
         return d / "define.ini";
     }},
    {"ParentChainBlockedByFile",
     [](const TempFolder& d) {
         writeBytes(d / "config", "");
         return d / "config" / "velmora" / "define.ini";
     }},
};

INSTANTIATE_TEST_SUITE_P(Places, SettingsCannotCreate, ::testing::ValuesIn(kNoFileCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SettingsUnreadable, OversizedFileReadsAsDefaultsAndIsNeverOverwritten) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    const std::string huge =
        "[Form]\nAuto=0\nSetRTC=0\n" + std::string(kMaxProfileFileBytes, ';') + "\n";
    writeBytes(path, huge);

    Settings s;
    ScriptedDialogs dialogs;
    RecordingControls controls;
    EXPECT_EQ(ReadSettings(s, path, 3, dialogs, controls), SettingsFileResult::unreadable);
    EXPECT_EQ(describe(s), describe(makeSettings(0, true, true, true, true, true)));
    EXPECT_EQ(controls.calls, kSyncOn);

    s.Auto = false;
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::unreadable);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, settingsWriteErrorText(path));
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::stop);
    EXPECT_EQ(readBytes(path), huge);
    EXPECT_EQ(dir.entries(), std::set<std::string>{"define.ini"});
}

// Permission bits, the file size limit and symbolic links are the POSIX
// file system's; a Windows build leaves these out.
#ifndef _WIN32
TEST(SettingsUnreadable, PermissionDeniedReadsAsDefaultsWithoutCrashing) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads files regardless of permission bits";
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, "[Form]\nAuto=0\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    Settings s;
    ScriptedDialogs dialogs;
    RecordingControls controls;
    EXPECT_EQ(ReadSettings(s, path, 3, dialogs, controls), SettingsFileResult::unreadable);
    EXPECT_EQ(describe(s), describe(makeSettings(0, true, true, true, true, true)));
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::unreadable);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(readBytes(path), "[Form]\nAuto=0\n");
}

// Makes every write beyond `bytes` in this process fail with EFBIG, the
// closest thing to a full disk that also works for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

TEST(SettingsAtomicWrite, FailedWriteLeavesTheOldFileIntact) {
    const std::string old = "[Form]\r\nAuto=1\r\nComPort=0\r\n; keep this comment\r\n";
    const Settings wanted = makeSettings(2, false, false, false, false, false);
    // Size of the complete new file, from an unhindered write elsewhere.
    std::size_t fullSize = 0;
    {
        TempFolder scratch;
        writeBytes(scratch / "define.ini", old);
        Settings s = wanted;
        ScriptedDialogs dialogs;
        ASSERT_EQ(WriteSettings(s, scratch / "define.ini", dialogs), SettingsFileResult::done);
        fullSize = readBytes(scratch / "define.ini").size();
        ASSERT_GT(fullSize, old.size());
    }
    struct Row {
        const char* name;
        rlim_t limit;  // bytes a file may reach before writes fail
    };
    const Row rows[] = {{"NothingFits", 0},
                        {"HalfFits", fullSize / 2},
                        {"AllButOneByte", fullSize - 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TempFolder dir;
        const auto path = dir / "define.ini";
        writeBytes(path, old);
        Settings s = wanted;
        ScriptedDialogs dialogs;
        SettingsFileResult result;
        {
            FileSizeLimit limit(r.limit);
            ASSERT_TRUE(limit.active());
            result = WriteSettings(s, path, dialogs);
        }
        EXPECT_EQ(result, SettingsFileResult::writeFailed);
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(dir.entries(), std::set<std::string>{"define.ini"});
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, settingsWriteErrorText(path));
        EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::stop);
        // Settings in memory are not touched by a failed write.
        EXPECT_EQ(describe(s), describe(wanted));

        // Once the disk has room again the same write goes through.
        EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::done);
        EXPECT_EQ(readBytes(path).size(), fullSize);
        EXPECT_NE(readBytes(path).find("ComPort=2\r\n"), std::string::npos);
    }
}

TEST(SettingsAtomicWrite, ReadOnlyFolderLeavesTheOldFileIntact) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, std::string(kDefaultSettingsText));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    Settings s = makeSettings(1, true, false, false, false, false);
    ScriptedDialogs dialogs;
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::writeFailed);
    EXPECT_EQ(readBytes(path), kDefaultSettingsText);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST(SettingsAtomicWrite, ReadOnlyFileIsNotReplaced) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, "[Form]\nAuto=1\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    Settings s = makeSettings(1, false, true, true, true, true);
    ScriptedDialogs dialogs;
    EXPECT_EQ(WriteSettings(s, path, dialogs), SettingsFileResult::writeFailed);
    EXPECT_EQ(readBytes(path), "[Form]\nAuto=1\n");
    EXPECT_EQ(dir.entries(), std::set<std::string>{"define.ini"});
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::stop);
}

TEST(SettingsAtomicWrite, KeepsPermissionsAndWritesThroughSymbolicLinks) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "real");
    const auto real = dir.path() / "real" / "define.ini";
    const auto link = dir / "define.ini";
    writeBytes(real, std::string(kDefaultSettingsText));
    const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read;
    std::filesystem::permissions(real, mode);
    std::filesystem::create_symlink(std::filesystem::path("real") / "define.ini", link);

    Settings s = makeSettings(3, true, true, true, true, true);
    ScriptedDialogs dialogs;
    ASSERT_EQ(WriteSettings(s, link, dialogs), SettingsFileResult::done);

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(readBytes(real).find("ComPort=3\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(real).permissions(), mode);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"define.ini", "real"}));
}

#endif  // !_WIN32

}  // namespace
