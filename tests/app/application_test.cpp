// The whole program against the simulated unit on a real pty: start-up,
// connection, the window following the unit, and the exit order. Waits on
// real I/O with generous bounds; nothing here measures speed.

#include "app/application.h"

#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <QAction>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/detect_dialog.h"
#include "support/event_loop.h"
#include "link/serial_link.h"
#include "mainwindow/main_window.h"
#include "mainwindow/window_logic.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::spinUntil;

struct SimulatedCase {
    const char* name;
    int banks;
    int visiblePanels;
    bool scrollBar;
};

class ApplicationWithSimulator : public ::testing::TestWithParam<SimulatedCase> {};

TEST_P(ApplicationWithSimulator, ConnectsAtStartAndShowsEveryBank) {
    const SimulatedCase& c = GetParam();
    testing_support::TempFolder folder;
    ApplicationOptions options;
    options.simulate = true;
    options.simulatedBanks = c.banks;
    options.settingsPath = folder / "define.ini";
    Application app(options);
    std::string error;
    ASSERT_TRUE(app.start(&error)) << error;

    // The simulated unit comes first after AUTO; define.ini was created.
    ASSERT_GE(app.ports().count(), 1);
    EXPECT_EQ(app.ports().names[0], "AUTO");
    EXPECT_TRUE(std::filesystem::exists(options.settingsPath));
    EXPECT_TRUE(app.link().isOpen());
    EXPECT_FALSE(app.window().menuItem("mlConnect")->isEnabled());
    EXPECT_TRUE(app.window().menuItem("mlDisconnect")->isEnabled());
    // A new define.ini keeps the unit's clock in step, so the hourly item is off.
    EXPECT_TRUE(app.settings().SetRTC);
    EXPECT_FALSE(app.window().menuItem("mlStartSetRTC_Period")->isEnabled());

    ASSERT_TRUE(spinUntil([&] {
        return app.state().BankCount.load() == c.banks && app.window().component(panelId(1))->isVisible();
    })) << "BankCount " << app.state().BankCount.load();
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(app.window().component(panelId(s))->isVisible(), s <= c.visiblePanels);
    }
    EXPECT_EQ(app.window().scrollBar()->isVisible(), c.scrollBar);
    // The version reports build one Check Version item per bank.
    EXPECT_TRUE(spinUntil([&] { return app.logic().versionItemCount() == c.banks; }));

    // Disconnect from the menu: panels hidden, menus back, link closed.
    test::triggerAndRun(app.window().menuItem("mlDisconnect"));
    EXPECT_FALSE(app.link().isOpen());
    EXPECT_FALSE(app.window().component(panelId(1))->isVisible());
    EXPECT_TRUE(app.window().menuItem("mlConnect")->isEnabled());
    EXPECT_EQ(app.state().BankCount.load(), 0);

    // Connect again from the menu: the Detect dialog finds the unit at
    // position 1; the user closes it with OK once the scan has ended.
    {
        test::ModalAnswerer answerer([&](QWidget*) {
            DetectDialog& detect = app.detectDialog();
            if (detect.isVisible() && detect.okButton()->isEnabled()) detect.okButton()->click();
        });
        test::triggerAndRun(app.window().menuItem("mlConnect"));
        EXPECT_FALSE(answerer.forced());
    }
    EXPECT_EQ(app.detectDialog().DetectResult(), 1);
    EXPECT_EQ(app.detectDialog().reportLines().last().toStdString(), "Velmora Found!");
    EXPECT_TRUE(app.link().isOpen());
    EXPECT_TRUE(spinUntil([&] { return app.state().BankCount.load() == c.banks; }));
}

INSTANTIATE_TEST_SUITE_P(App, ApplicationWithSimulator,
                         ::testing::Values(SimulatedCase{"OneBank", 1, 1, false},
                                           SimulatedCase{"ThreeBanks", 3, 3, false},
                                           SimulatedCase{"FiveBanks", 5, 3, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ApplicationExit, EndsWhileTheReaderWaitsForTheWindow) {
    testing_support::TempFolder folder;
    ApplicationOptions options;
    options.simulate = true;
    options.simulatedBanks = 2;
    options.settingsPath = folder / "define.ini";
    auto app = std::make_unique<Application>(options);
    ASSERT_TRUE(app->start());
    // The unit answers the greeting at once; without the event loop turning
    // the reader soon waits for a view update. Exit must not wait for it.
    EXPECT_TRUE(app->link().isOpen());
    app->shutdown();
    EXPECT_EQ(app->link().readerCount(), 0u);
    app.reset();
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

struct PopupCase {
    const char* name;
    int scrollSteps;
    int slot;
    const char* bankItem;
    const char* versionItem;
};

class ApplicationPopup : public ::testing::TestWithParam<PopupCase> {};

TEST_P(ApplicationPopup, MenuButtonOpensThePanelMenuForItsBank) {
    const PopupCase& c = GetParam();
    testing_support::TempFolder folder;
    ApplicationOptions options;
    options.simulate = true;
    options.simulatedBanks = 12;
    options.settingsPath = folder / "define.ini";
    Application app(options);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(spinUntil([&] { return app.state().BankCount.load() == 12; }));
    ASSERT_TRUE(spinUntil([&] { return app.window().scrollBar()->isVisible(); }));
    for (int i = 0; i < c.scrollSteps; ++i) app.window().scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);

    const std::string slot = std::to_string(c.slot);
    std::string bankCaption, versionCaption;
    std::optional<PictureRef> buttonWhileOpen;
    test::PopupCloser closer(app.window().popupMenu(c.slot), [&] {
        bankCaption = app.window().menuItem("OpenOneBank" + slot)->text().toStdString();
        versionCaption = app.window().menuItem("mlCheckVersion" + slot)->text().toStdString();
        buttonWhileOpen = app.window().shownPicture(menuButtonId(c.slot));
    });
    QTest::mouseClick(app.window().component(menuButtonId(c.slot)), Qt::LeftButton);
    EXPECT_TRUE(closer.looked());
    EXPECT_EQ(bankCaption, c.bankItem);
    EXPECT_EQ(versionCaption, c.versionItem);
    EXPECT_EQ(buttonWhileOpen, (PictureRef{PictureList::menuButton, 0}));  // released before the menu opens
}

INSTANTIATE_TEST_SUITE_P(App, ApplicationPopup,
                         ::testing::Values(PopupCase{"FirstPanelAtTop", 0, 1, "Power on All Ports of Bank 1", "Check Bank 1 Version"},
                                           PopupCase{"ThirdPanelScrolledTwice", 2, 3, "Power on All Ports of Bank 5", "Check Bank 5 Version"},
                                           PopupCase{"SecondPanelScrolledToTen", 9, 2, "Power on All Ports of Bank 11", "Check Bank11 Version"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
