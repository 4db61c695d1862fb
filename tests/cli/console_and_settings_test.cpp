#include "cli/console_dialogs.h"
#include "cli/restore_setting.h"

#include <gtest/gtest.h>

#include <sstream>

#include "json_reader.h"
#include "support/temp_folder.h"

namespace velmora::cli {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

TEST(ConsoleDialogs, MessagesGoToTheErrorStreamWithLineBreaks) {
    std::ostringstream err;
    ConsoleDialogs d(err, false);
    EXPECT_EQ(d.message("Upgrade timeout. \rPlease try again.", "", MessageIcon::stop), MessageAnswer::ok);
    EXPECT_EQ(err.str(), "velmoractl: Upgrade timeout. \nPlease try again.\n");
    EXPECT_EQ(d.message("Sure?", "", MessageIcon::question, MessageButtons::yesNo), MessageAnswer::yes);
    ASSERT_EQ(d.shown().size(), 2u);
    EXPECT_EQ(consoleText("a\r\nb\rc"), "a\nb\nc");
}

TEST(ConsoleDialogs, JsonMessagesAreObjects) {
    std::ostringstream err;
    ConsoleDialogs d(err, true);
    d.message("Firmware Upgrade Completed", "", MessageIcon::none);
    EXPECT_EQ(velmora::test::JsonReader::parse(err.str())["message"].text, "Firmware Upgrade Completed");
}

TEST(ConsoleDialogs, TheFileChooserAnswersWithTheNamedFileOnce) {
    std::ostringstream err;
    ConsoleDialogs d(err, false);
    d.queueFile("fw.x");
    EXPECT_EQ(d.openFile(FileChoice{}), "fw.x");
    // Asked again (after a failed upgrade): nobody is there to choose.
    EXPECT_EQ(d.openFile(FileChoice{}), "");
    EXPECT_EQ(d.saveFile(FileChoice{}), "");
}

TEST(RestoreSetting, TheWindowsSettingDecidesTheInformationRequest) {
    TempFolder folder;
    const struct {
        const char* name;
        const char* text;  // nullptr: no file
        bool fallback, expected;
    } cases[] = {
        {"NoFileTakesTheFallback", nullptr, true, true},
        {"NoFileTakesTheFallbackOff", nullptr, false, false},
        {"Off", "[Form]\nRestoreStatus=0\n", true, false},
        {"On", "[Form]\r\nrestorestatus = 1\r\n", false, true},
        {"KeyMissing", "[Form]\nAuto=1\n", true, true},
        {"NotANumber", "[Form]\nRestoreStatus=yes\n", false, false},
        {"OtherSection", "[Other]\nRestoreStatus=0\n", true, true},
    };
    for (const auto& c : cases) {
        const auto path = folder / (std::string(c.name) + ".ini");
        if (c.text) writeBytes(path, c.text);
        EXPECT_EQ(restoreStatusFrom(path, c.fallback), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace velmora::cli
