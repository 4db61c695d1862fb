// The firmware upgrade with manual timers, scripted dialogs, a recording
// view and recording writes; the unit's lines go through the program's
// line processor.

#include "maintenance/firmware_upgrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "maintenance/upgrade_rig.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::Bytes;
using test::bytesOf;
using test::kMarks;
using test::kPrompt;
using test::printable;
using test::UpgradeRig;
using testing_support::TempFolder;
using testing_support::writeBytes;
using Strings = std::vector<std::string>;

// A file of `size` bytes that uses every byte value, frame characters and
// line ends included: the image is sent raw.
// An enabled daily timer at 08:00.
TimerEntry dailyTimer() {
    TimerEntry e;
    e.enabled = 1;
    e.kind = KindEveryDay;
    e.hour = 8;
    return e;
}

std::string imageOf(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xff);
    return s;
}

struct UpgradeTest : ::testing::Test {
    TempFolder folder;
    UpgradeRig rig;

    // Writes the image file and has the chooser return it.
    std::string offerFile(const std::string& bytes, const char* name = "image.x") {
        const std::filesystem::path p = folder / name;
        writeBytes(p, bytes);
        rig.script.paths.push_back(p.string());
        return p.string();
    }
    // Upgrade chosen with an image of `size` bytes; the command went out.
    void startWith(std::size_t size) {
        offerFile(imageOf(size));
        rig.upgrade.startUpgrade();
        ASSERT_EQ(rig.upgrade.upgradeState(), UpgradeState::awaitingPrompt);
    }
    // The bytes written after the upgrade command.
    Bytes imageBytesSent() const {
        Bytes sent;
        bool afterCommand = false;
        for (const Bytes& w : rig.writes) {
            if (afterCommand) sent.insert(sent.end(), w.begin(), w.end());
            if (w == bytesOf("/UPGRADE\\")) afterCommand = true;
        }
        return sent;
    }
    void marks(int count) {
        for (int i = 0; i < count; ++i) rig.deliver(std::string(1, kMarks[static_cast<std::size_t>(i) % 4]));
    }
};

// ---------------------------------------------------------------------------
// The image on the wire

struct TransferCase {
    const char* name;
    std::size_t fileSize;
};

void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.name; }

class ImageTransfer : public UpgradeTest, public ::testing::WithParamInterface<TransferCase> {};

// The unit gets the file, 0xFF and then zeros: at least the 20 bytes of the
// prompt's burst, and with enough marks the file, 0xFF and one 0x00. Each
// byte is one write; marks beyond the end send nothing.
TEST_P(ImageTransfer, FileThenEndByteThenZeroOneWritePerByte) {
    const std::size_t size = GetParam().fileSize;
    startWith(size);
    EXPECT_EQ(rig.upgrade.FirmwareLength(), static_cast<std::int32_t>(size + 1));
    EXPECT_EQ(rig.writes, (std::vector<Bytes>{bytesOf("/UPGRADE\\")}));

    rig.deliver(kPrompt);
    EXPECT_EQ(imageBytesSent().size(), 20u) << "the prompt's burst";
    EXPECT_EQ(rig.upgrade.UpgradeIndex(), 19);
    marks(static_cast<int>(size) + 50);

    const std::string file = imageOf(size);
    Bytes want(file.begin(), file.end());
    want.push_back(0xFF);
    want.resize(std::max<std::size_t>(want.size() + 1, 20), 0x00);
    const Bytes sent = imageBytesSent();
    EXPECT_EQ(sent.size(), want.size());
    EXPECT_TRUE(sent == want) << "first difference at "
                              << (std::mismatch(sent.begin(), sent.end(), want.begin(), want.end()).first - sent.begin());
    for (std::size_t i = 1; i < rig.writes.size(); ++i) ASSERT_EQ(rig.writes[i].size(), 1u) << "write " << i;
}

INSTANTIATE_TEST_SUITE_P(Upgrade, ImageTransfer,
                         ::testing::Values(TransferCase{"OneByte", 1}, TransferCase{"EighteenBytes", 18},
                                           TransferCase{"NineteenBytes", 19}, TransferCase{"TwentyBytes", 20},
                                           TransferCase{"ThousandBytes", 1000},
                                           TransferCase{"LargestThatFits", 65533}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(UpgradeTest, ThousandByteImageReaches1002BytesAndTheBarIsFullAtPosition1000) {
    startWith(1000);
    rig.deliver(kPrompt);
    ASSERT_EQ(rig.view.progress, std::vector<int>{0});
    ASSERT_TRUE(rig.view.shown);
    // Position p goes out with the p - 19th mark.
    marks(980);  // up to position 999
    EXPECT_LT(rig.view.progress.back(), 100);
    marks(1);  // position 1000, the 0xFF
    EXPECT_EQ(rig.view.progress.back(), 100);
    marks(5);  // position 1001 (the 0x00), then nothing
    EXPECT_EQ(rig.view.progress.back(), 100);
    EXPECT_EQ(imageBytesSent().size(), 1002u);
    EXPECT_EQ(imageBytesSent()[1000], 0xFF);
    EXPECT_EQ(imageBytesSent()[1001], 0x00);
    EXPECT_TRUE(std::is_sorted(rig.view.progress.begin(), rig.view.progress.end()));
}

TEST_F(UpgradeTest, ShortFileSendsTheBurstAndNothingForLaterMarks) {
    startWith(5);
    rig.deliver(kPrompt);
    marks(30);
    const Bytes sent = imageBytesSent();
    ASSERT_EQ(sent.size(), 20u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 5), bytesOf(imageOf(5)));
    EXPECT_EQ(sent[5], 0xFF);
    EXPECT_TRUE(std::all_of(sent.begin() + 6, sent.end(), [](std::uint8_t b) { return b == 0; }));
    // Past the end a mark still counts as life: the time-out starts afresh.
    EXPECT_TRUE(rig.upgrade.upgradeTimeOutTimer().enabled());
}

TEST_F(UpgradeTest, PromptPurgesReceivedBytesThenSendsThenShowsTheDialog) {
    startWith(100);
    rig.log.clear();
    rig.deliver(kPrompt);
    EXPECT_EQ(rig.log, (Strings{"purge receive", "show dialog"}));
    EXPECT_EQ(rig.view.progress, std::vector<int>{0});
    EXPECT_FALSE(rig.upgrade.upgradeTimeOutTimer().enabled()) << "the time-out starts with the first mark";
}

// ---------------------------------------------------------------------------
// Choosing the file

TEST_F(UpgradeTest, ChooserOffersFirmwareFilesWithoutReadOnlyOptionAndResizable) {
    rig.upgrade.startUpgrade();
    ASSERT_EQ(rig.script.opened.size(), 1u);
    const FileChoice& c = rig.script.opened[0];
    EXPECT_EQ(c.filter, "x files(*.x)|*.x");
    EXPECT_TRUE(c.hideReadOnly);
    EXPECT_TRUE(c.resizable);
}

struct CancelCase {
    const char* name;
    bool firmwareFailed;
    Strings log;
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class CancelledChooser : public UpgradeTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelledChooser, HealthyUnitRunsOnUnitWithoutFirmwareIsLeft) {
    rig.state.FirmwareFailed = GetParam().firmwareFailed;
    rig.upgrade.startUpgrade();
    EXPECT_EQ(rig.log, GetParam().log);
    EXPECT_TRUE(rig.writes.empty());
    EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::idle);
    if (GetParam().firmwareFailed) {
        ASSERT_EQ(rig.script.shown.size(), 1u);
        EXPECT_EQ(rig.script.shown[0].caption, "Caution");
        EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::stop);
    } else {
        EXPECT_TRUE(rig.script.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, CancelledChooser,
    ::testing::Values(CancelCase{"HealthyUnitTimersRunAgain", false,
                                 {"window timers off", "choose file", "window timers on"}},
                      CancelCase{"NoFirmwareReloadMessageThenDisconnect", true,
                                 {"window timers off", "choose file", "message: Please re-load Firmware Code",
                                  "pause 100", "purge receive", "disconnect", "close dialog"}}),
    [](const auto& row) { return std::string(row.param.name); });

// Refused files: nothing is sent, the message names the file (and the limit
// or the reason), and the link goes on as after a cancel.
struct RefusedCase {
    const char* name;
    std::size_t size;        // bytes of the file written
    bool makeFile;           // false: the chooser names a file that is not there
    bool folder;             // the chooser names a folder
    std::string mentions;    // text the message must contain besides the path
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedImage : public UpgradeTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedImage, NothingSentMessageNamesTheFileLinkGoesOnAsAfterCancel) {
    const RefusedCase& c = GetParam();
    for (bool firmwareFailed : {false, true}) {
        SCOPED_TRACE(firmwareFailed ? "unit without firmware" : "healthy unit");
        UpgradeRig fresh;
        std::filesystem::path p = folder / (std::string(c.name) + ".x");
        if (c.folder) {
            std::filesystem::create_directories(p);
        } else if (c.makeFile) {
            writeBytes(p, imageOf(c.size));
        }
        fresh.state.FirmwareFailed = firmwareFailed;
        fresh.script.paths.push_back(p.string());
        fresh.upgrade.startUpgrade();

        EXPECT_TRUE(fresh.writes.empty()) << printable(fresh.wire());
        ASSERT_GE(fresh.script.shown.size(), 1u);
        const std::string& text = fresh.script.shown[0].text;
        EXPECT_NE(text.find(p.string()), std::string::npos) << text;
        EXPECT_NE(text.find(c.mentions), std::string::npos) << text;
        EXPECT_EQ(fresh.script.shown[0].icon, MessageIcon::stop);
        const Strings tail = firmwareFailed ? Strings{"message: Please re-load Firmware Code", "pause 100",
                                                      "purge receive", "disconnect", "close dialog"}
                                            : Strings{"window timers on"};
        const Strings log(fresh.log.end() - static_cast<std::ptrdiff_t>(tail.size()), fresh.log.end());
        EXPECT_EQ(log, tail);
        // A prompt now finds no image waiting: no zeros go to the loader.
        fresh.deliver(kPrompt);
        EXPECT_TRUE(fresh.writes.empty());
        EXPECT_FALSE(fresh.view.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, RefusedImage,
    ::testing::Values(RefusedCase{"EmptyFile", 0, true, false, "empty"},
                      RefusedCase{"OneByteOverTheLimit", 65534, true, false, "65533"},
                      RefusedCase{"FarOverTheLimit", 200000, true, false, "65533"},
                      RefusedCase{"MissingFile", 0, false, false, "no such file"},
                      RefusedCase{"FolderInsteadOfFile", 0, false, true, "not a regular file"}),
    [](const auto& row) { return std::string(row.param.name); });

// An image given as bytes (a client's through the port's owner) goes the
// file's way without a file chooser: the same refusals, named as given, or
// the command and the image behind the prompt.
TEST(UpgradeWithImage, TheClientsBytesAreRefusedOrSentAsAChosenFilesWouldBe) {
    const struct {
        const char* name;
        std::size_t size;
        const char* mentions;  // in the message; "" for none
    } rows[] = {
        {"empty", 0, "empty"},
        {"one_byte_over_the_limit", 65534, "65533"},
        {"largest", 65533, ""},
        {"small", 300, ""},
    };
    for (const auto& r : rows) {
        UpgradeRig rig;
        std::string bytes(r.size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
        rig.upgrade.upgradeWithImage("sent by the client", bytes);
        EXPECT_TRUE(rig.script.opened.empty()) << r.name << ": a file chooser was opened";
        if (*r.mentions != '\0') {
            ASSERT_EQ(rig.script.shown.size(), 1u) << r.name;
            EXPECT_NE(rig.script.shown[0].text.find("\"sent by the client\""), std::string::npos) << r.name;
            EXPECT_NE(rig.script.shown[0].text.find(r.mentions), std::string::npos) << r.name;
            EXPECT_TRUE(rig.writes.empty()) << r.name;
            EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::idle) << r.name;
            continue;
        }
        EXPECT_TRUE(rig.script.shown.empty()) << r.name;
        EXPECT_EQ(printable(rig.wire()), "/UPGRADE\\") << r.name;
        EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::awaitingPrompt) << r.name;
        EXPECT_EQ(rig.upgrade.FirmwareLength(), static_cast<std::int32_t>(r.size) + 1) << r.name;
        const auto& image = rig.upgrade.FirmwareImage();
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin(),
                               [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
            << r.name;
        EXPECT_EQ(image[r.size], 0xFF) << r.name;
    }
}

TEST_F(UpgradeTest, UnitWithoutFirmwareGetsNoCommandAndWaitsForItsPrompt) {
    rig.state.FirmwareFailed = true;
    startWith(50);
    EXPECT_TRUE(rig.writes.empty());
    rig.deliver(kPrompt);
    EXPECT_EQ(rig.wire().size(), 20u);
}

// ---------------------------------------------------------------------------
// The unit's messages, completion, failure, time-out

TEST_F(UpgradeTest, LoaderMessagesGoIntoTheList) {
    startWith(300);
    rig.deliver(kPrompt);
    // In upgrade text mode the unit's line ends keep their carriage return.
    for (const char* line : {"Velmora Boot Loader\r", "Serial received 256 bytes\r", "CPU flash block 3\r",
                             "Timer memory cleared now\r", "Display shows new version\r"})
        rig.deliver(line);
    rig.deliver("Firmware upgrade mode entered");  // chatter: not shown
    EXPECT_EQ(rig.view.messages, (Strings{"Velmora Boot Loader\r", "Serial received 256 bytes\r",
                                          "CPU flash block 3\r", "Timer memory cleared now\r",
                                          "Display shows new version\r"}));
}

struct CompletionCase {
    const char* name;
    const char* line;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class Completion : public UpgradeTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(Completion, StepsInOrderThenVersionsWaitAndTheSixthPollAsksAgain) {
    rig.tables.setEntry(TableId::LiveOn, 1, 4, dailyTimer());
    rig.tables.setEntry(TableId::EditOff, 0, 0, dailyTimer());
    rig.state.editBank(1, [](BankRecord& r) { copyField(r.version, "1203"); });
    rig.state.editBank(2, [](BankRecord& r) { copyField(r.version, "1203"); });
    startWith(40);
    rig.deliver(kPrompt);
    marks(22);
    rig.writes.clear();
    rig.log.clear();
    // As after a unit recovered from its loader that ends without "OK".
    rig.state.FirmwareFailed = true;

    rig.deliver(GetParam().line);
    EXPECT_EQ(rig.log, (Strings{"memo: " + std::string(GetParam().line), "greeting",
                                "message: Firmware Upgrade Completed", "close dialog", "write /VER\\",
                                "memo cleared", "info request"}));
    // The greeting byte by byte, then the version request in one write.
    EXPECT_EQ(rig.writes, (std::vector<Bytes>{{'/'}, {'u'}, {'n'}, {'i'}, {'\\'}, bytesOf("/VER\\")}));
    ASSERT_EQ(rig.script.shown.size(), 1u);
    EXPECT_EQ(rig.script.shown[0].caption, "");
    EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::none);
    for (int bank : {1, 2}) EXPECT_EQ(rig.state.bankSnapshot(bank).versionText(), "Wait a minute") << bank;
    EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 1, 4).enabled, 0);
    EXPECT_EQ(rig.tables.entry(TableId::EditOff, 0, 0).enabled, 0);
    EXPECT_FALSE(rig.state.InfoRequestSent);
    EXPECT_EQ(rig.state.PollCount, 0);
    EXPECT_FALSE(rig.state.FirmwareFailed) << "the next upgrade must send its command";
    EXPECT_FALSE(rig.upgrade.upgradeTimeOutTimer().enabled());
    EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::idle);
    // Later marks belong to no upgrade.
    marks(3);
    EXPECT_EQ(rig.writes.size(), 6u);
}

// An owner may upgrade before its first poll has told the bank count: the
// versions its probe read are still not the new firmware's.
TEST_F(UpgradeTest, CompletionBeforeAnyPollStillAwaitsEveryBanksVersion) {
    rig.state.BankCount = 0;
    for (int bank : {1, 2, 3}) rig.state.editBank(bank, [](BankRecord& r) { copyField(r.version, "1203"); });
    rig.tables.setEntry(TableId::LiveOn, 2, 4, dailyTimer());
    startWith(40);
    rig.deliver(kPrompt);
    marks(22);
    rig.deliver("Version 1.2.04 firmware ready\r");
    ASSERT_EQ(rig.upgrade.upgradeState(), UpgradeState::idle);
    for (int bank : {1, 2, 3}) EXPECT_EQ(rig.state.bankSnapshot(bank).versionText(), "Wait a minute") << bank;
    EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 2, 4).enabled, 0);
}

INSTANTIATE_TEST_SUITE_P(Upgrade, Completion,
                         ::testing::Values(CompletionCase{"VersionLine", "Version 1.2.04 firmware ready\r"},
                                           CompletionCase{"TwoWordsEndingOk", "Upgrade OK\r"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(UpgradeTest, TimeOutTenSecondsAfterTheLastMarkClosesDialogAndLink) {
    startWith(100);
    rig.deliver(kPrompt);
    rig.timers.advance(60000);
    EXPECT_TRUE(rig.script.shown.empty()) << "no time-out before the first mark";
    marks(3);
    rig.timers.advance(9000);
    marks(1);  // counts afresh
    rig.timers.advance(9999);
    EXPECT_TRUE(rig.script.shown.empty());
    rig.log.clear();
    rig.timers.advance(1);
    EXPECT_EQ(rig.log, (Strings{"message: Upgrade timeout. \rPlease try again.", "press cancel", "disconnect",
                                "close dialog"}));
    ASSERT_EQ(rig.script.shown.size(), 1u);
    EXPECT_EQ(rig.script.shown[0].caption, "");
    EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::stop);
    rig.timers.advance(60000);
    EXPECT_EQ(rig.script.shown.size(), 1u) << "one time-out";
}

struct FailureCase {
    const char* name;
    bool duringTransfer;  // false: the greeting's answer at connect
    const char* line;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailureReport : public UpgradeTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureReport, MessageThenChooserCancelMeansReloadAndDisconnect) {
    if (GetParam().duringTransfer) {
        startWith(100);
        rig.deliver(kPrompt);
        marks(10);
    }
    rig.log.clear();
    rig.deliver(GetParam().line);
    EXPECT_EQ(rig.log, (Strings{"message: Firmware Failure! Please re-upgrade firmware", "window timers off",
                                "choose file", "message: Please re-load Firmware Code", "pause 100",
                                "purge receive", "disconnect", "close dialog"}));
    EXPECT_EQ(rig.script.shown[0].caption, "Velmora Management");
    EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::none);
    EXPECT_FALSE(rig.linkOpen);
}

TEST_P(FailureReport, MessageThenChosenImageWaitsForTheLoaderWithoutCommand) {
    if (GetParam().duringTransfer) {
        startWith(100);
        rig.deliver(kPrompt);
        marks(10);
    }
    offerFile(imageOf(30), "second.x");
    rig.writes.clear();
    rig.deliver(GetParam().line);
    EXPECT_TRUE(rig.writes.empty()) << printable(rig.wire());
    EXPECT_TRUE(rig.state.FirmwareFailed);
    EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::awaitingPrompt);
    // Picking the file may take long: the old transfer's time-out must not
    // close the link meanwhile.
    rig.timers.advance(30000);
    EXPECT_TRUE(rig.linkOpen);
    rig.deliver(std::string(kPrompt) + "\r");  // upgrade text mode keeps the carriage return
    const Bytes burst = rig.wire();
    ASSERT_EQ(burst.size(), 20u);
    EXPECT_EQ(Bytes(burst.begin(), burst.begin() + 20), bytesOf(imageOf(20)));
}

INSTANTIATE_TEST_SUITE_P(Upgrade, FailureReport,
                         ::testing::Values(FailureCase{"FailDuringTransfer", true, "Fail\r"},
                                           FailureCase{"NoFirmwareAtConnect", false, "abc"}),
                         [](const auto& row) { return std::string(row.param.name); });

// Lines of the dialogue that come while no upgrade is under way (line noise,
// a unit talking to another program) do nothing: a stray mark must not arm
// the time-out that would close a healthy link, a stray prompt must not send
// zeros to the loader, a stray completion must not wipe the timers.
TEST_F(UpgradeTest, DialogueLinesOutsideAnUpgradeDoNothing) {
    rig.tables.setEntry(TableId::LiveOn, 0, 0, dailyTimer());
    for (const char* line : {"|", "-", "Please send the file", "Version 1.2.04 firmware ready", "V01 OK"}) {
        SCOPED_TRACE(line);
        rig.deliver(line);
        rig.timers.advance(20000);
        // Left in upgrade text mode, no later answer of the unit would end.
        EXPECT_FALSE(rig.state.RawLineMode);
    }
    EXPECT_TRUE(rig.holds.empty()) << "the port was never held";
    EXPECT_TRUE(rig.writes.empty()) << printable(rig.wire());
    EXPECT_TRUE(rig.script.shown.empty());
    EXPECT_FALSE(rig.view.shown);
    EXPECT_EQ(rig.tables.entry(TableId::LiveOn, 0, 0).enabled, 1);
    EXPECT_TRUE(rig.linkOpen);
}

TEST_F(UpgradeTest, LinkResetEndsTheTransferItsTimeOutAndItsDialog) {
    startWith(100);
    rig.deliver(kPrompt);
    marks(5);
    rig.upgrade.linkReset();
    EXPECT_FALSE(rig.view.shown);
    const std::size_t written = rig.writes.size();
    marks(5);
    rig.timers.advance(30000);
    EXPECT_EQ(rig.writes.size(), written);
    EXPECT_TRUE(rig.script.shown.empty());
}

// The port is held for the upgrade's bytes alone from the moment the image
// is chosen until the upgrade ends, however it ends; raw-line mode ends
// with it, so the unit's next answers are lines again.
struct EndingCase {
    const char* name;
    std::function<void(UpgradeRig&)> end;
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

class UpgradeEnding : public UpgradeTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(UpgradeEnding, HoldsThePortFromTheCommandAndLetsItGo) {
    startWith(100);
    EXPECT_TRUE(rig.held) << "held from the upgrade command on";
    rig.deliver(kPrompt);
    marks(3);
    EXPECT_TRUE(rig.held);
    EXPECT_TRUE(rig.state.RawLineMode);
    GetParam().end(rig);
    EXPECT_FALSE(rig.held);
    EXPECT_FALSE(rig.state.RawLineMode);
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, UpgradeEnding,
    ::testing::Values(EndingCase{"VersionLine", [](UpgradeRig& r) { r.deliver("Version 1.2.04 firmware ready"); }},
                      EndingCase{"TwoWordOk", [](UpgradeRig& r) { r.deliver("Upgrade OK"); }},
                      EndingCase{"Failure", [](UpgradeRig& r) { r.deliver("Fail"); }},
                      EndingCase{"TimeOut", [](UpgradeRig& r) { r.timers.advance(kUpgradeTimeOutMs); }},
                      EndingCase{"LinkReset", [](UpgradeRig& r) { r.upgrade.linkReset(); }}),
    [](const auto& row) { return std::string(row.param.name); });

// The Upgrade item reached during a transfer (keyboard, screen reader, a
// script) must neither ask for a file nor restart polling nor send a
// second upgrade command into the image.
TEST_F(UpgradeTest, UpgradeChosenAgainDuringTheTransferDoesNothing) {
    startWith(100);
    rig.deliver(kPrompt);
    marks(5);
    offerFile(imageOf(50), "second.x");
    rig.log.clear();
    const std::size_t written = rig.writes.size();
    rig.upgrade.startUpgrade();
    EXPECT_TRUE(rig.log.empty()) << rig.log.front();
    EXPECT_EQ(rig.writes.size(), written);
    EXPECT_EQ(rig.upgrade.upgradeState(), UpgradeState::transferring);
    marks(1);
    EXPECT_EQ(rig.writes.size(), written + 1) << "the transfer goes on";
    EXPECT_TRUE(rig.held);
}

}  // namespace
}  // namespace velmora
