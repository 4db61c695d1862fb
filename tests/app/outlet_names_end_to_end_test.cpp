// The user's outlet names in the window: read from the names file shared
// with velmoractl, shown beneath the port buttons and spoken with them,
// changed through "Rename..." (a panel's pop-up or a double click on a
// name) and written back without losing other units' names.

#include "app/application.h"

#include <QAction>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/program_rig.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_window.h"
#include "mainwindow/rename_dialog.h"
#include "service/outlet_names.h"
#include "support/event_loop.h"

namespace velmora {
namespace {

using test::ProgramOptions;
using test::ProgramRig;

std::string accessibleName(ProgramRig& rig, ComponentId component) {
    return rig.app().window().component(component)->accessibleName().toStdString();
}

TEST(OutletNamesEndToEnd, NamesAreShownSpokenRenamedAndKeptBesideOtherUnits) {
    ProgramOptions o;
    o.unit.banks = 2;
    ProgramRig rig(o);
    std::string why;
    const std::filesystem::path file = rig.folder() / "names.json";
    ASSERT_TRUE(rig.start(&why)) << why;
    // Names already given by velmoractl's user: this unit's, and another's.
    const UnitKey key{stablePortPath(rig.unit().slavePath()), 2};
    const UnitKey other{"/dev/serial/by-id/usb-other", 4};
    {
        NamesFile names;
        OutletNames mine, theirs;
        ASSERT_FALSE(mine.rename(1, 3, "router").has_value());
        ASSERT_FALSE(mine.rename(2, 1, "rack switch upstairs").has_value());
        ASSERT_FALSE(theirs.rename(4, 8, "kettle").has_value());
        names.setUnit(key, mine);
        names.setUnit(other, theirs);
        ASSERT_EQ(names.write(file).status, FileIoStatus::ok);
    }
    ASSERT_TRUE(rig.firstPoll(2));
    MainWindow& window = rig.app().window();

    EXPECT_EQ(window.shownOutletName(portKey(1, 3)).toStdString(), "router");
    EXPECT_EQ(window.shownOutletName(portKey(1, 4)).toStdString(), "");
    EXPECT_EQ(accessibleName(rig, portButtonId(13)), "Bank 1 Port 3 router");
    EXPECT_EQ(accessibleName(rig, portButtonId(14)), "Bank 1 Port 4");
    EXPECT_EQ(window.component(portButtonId(13))->toolTip().toStdString(), "router");
    // A name wider than its box is clipped there and whole in the tooltip.
    const QString clipped = window.shownOutletName(portKey(2, 1));
    EXPECT_TRUE(clipped.endsWith(QChar(0x2026))) << clipped.toStdString();
    EXPECT_EQ(window.component(portButtonId(21))->toolTip().toStdString(), "rack switch upstairs");

    // Bank 2's pop-up: Rename..., the bank and a port named, one unnamed.
    test::triggerAndRun(window.menuItem("mlRename2"));
    RenameDialog& dialog = rig.app().renameDialog();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.bank(), 2);
    dialog.field(0)->setText(QStringLiteral("lab bench"));
    dialog.field(5)->setText(QStringLiteral("  DUT 3  "));
    // A name too long is refused with a message, and nothing is written.
    dialog.field(6)->setText(QString(33, QLatin1Char('x')));
    dialog.accept();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0], "Port 6: a name has at most 32 characters");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(NamesFile::read(file).unit(key).name(2, 5).empty());

    dialog.field(6)->setText(QString::fromUtf8("Messger\xC3\xA4t \xE2\x9A\xA1"));  // UTF-8 kept whole
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    const NamesFile written = NamesFile::read(file);
    EXPECT_EQ(written.unit(key).name(2, 0), "lab bench");
    EXPECT_EQ(written.unit(key).name(2, 5), "DUT 3");
    EXPECT_EQ(written.unit(key).name(2, 6), "Messger\xC3\xA4t \xE2\x9A\xA1");
    EXPECT_EQ(written.unit(key).name(1, 3), "router") << "another bank's name was lost";
    EXPECT_EQ(written.unit(other).name(4, 8), "kettle") << "another unit's name was lost";

    EXPECT_EQ(window.shownOutletName(portKey(2, 5)).toStdString(), "DUT 3");
    EXPECT_EQ(accessibleName(rig, panelId(2)), "Bank 2 lab bench");
    EXPECT_EQ(accessibleName(rig, portLedId(25)).rfind("Bank 2 Port 5 DUT 3 ", 0), 0u) << accessibleName(rig, portLedId(25));
    // Other programs asking the window's owner socket get the names too.
    EXPECT_EQ(rig.app().outletName(2, 5), "DUT 3");

    // Emptying a field takes the name away.
    test::triggerAndRun(window.menuItem("mlRename1"));
    ASSERT_EQ(dialog.field(3)->text().toStdString(), "router");
    dialog.field(3)->clear();
    dialog.accept();
    EXPECT_TRUE(NamesFile::read(file).unit(key).name(1, 3).empty());
    EXPECT_EQ(accessibleName(rig, portButtonId(13)), "Bank 1 Port 3");
    EXPECT_EQ(window.shownOutletName(portKey(1, 3)).toStdString(), "");
}

// A names file the window cannot read whole (not JSON, or over the size a
// names file may have) is never written over by "Rename...": the window
// says why and the file stays byte for byte. One with an unreadable entry
// in another unit's names is: only that entry goes, and the window says so.
TEST(OutletNamesEndToEnd, RenameNeverWritesOverAFileItCouldNotRead) {
    ProgramOptions o;
    o.unit.banks = 2;
    ProgramRig rig(o);
    std::string why;
    const std::filesystem::path file = rig.folder() / "names.json";
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    MainWindow& window = rig.app().window();
    RenameDialog& dialog = rig.app().renameDialog();
    const UnitKey key{stablePortPath(rig.unit().slavePath()), 2};
    auto write = [&](const std::string& text) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    };
    auto read = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string others = R"({"port":"/dev/serial/by-id/usb-other","banks":4,"names":{"4.8":"kettle"}})";

    const struct {
        const char* what;
        std::string text;
        bool saved;
        const char* says;
    } cases[] = {
        {"not JSON", R"({"units":[)" + others, false, "is not JSON"},
        {"too large", R"({"units":[)" + others + std::string(kMaxNamesFileBytes, ' ') + "]}", false,
         "is larger than the 1 MiB"},
        {"bad UTF-8 in another unit's name",
         R"({"units":[{"port":"/dev/serial/by-id/usb-other","banks":4,"names":{"4.8":"kettle","4.7":"caf)" +
             std::string("\xe9") + R"("}}]})",
         true, "1 entry was left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.text);
        rig.messages.clear();
        test::triggerAndRun(window.menuItem("mlRename1"));
        ASSERT_TRUE(dialog.isVisible());
        dialog.field(2)->setText(QStringLiteral("lamp"));
        dialog.accept();
        ASSERT_EQ(rig.messages.size(), 1u);
        EXPECT_NE(rig.messages[0].find(c.says), std::string::npos) << rig.messages[0];
        if (c.saved) {
            const NamesFile written = NamesFile::read(file);
            EXPECT_EQ(written.unit(key).name(1, 2), "lamp");
            EXPECT_EQ(written.unit(UnitKey{"/dev/serial/by-id/usb-other", 4}).name(4, 8), "kettle")
                << "another unit's name was lost";
        } else {
            EXPECT_NE(rig.messages[0].find("were not saved"), std::string::npos) << rig.messages[0];
            EXPECT_EQ(read(), c.text) << "the file was written over";
        }
    }
}

}  // namespace
}  // namespace velmora
