#include "mainwindow/main_window.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/component_print.h"
#include "support/event_loop.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace velmora {
namespace {

// ---- Every component: name, parent, position and size ----------------------------

struct Geometry {
    std::string name;
    std::string parent;  // "ClientArea" or the panel's name
    int left, top, width, height;
    std::optional<ComponentId> id = std::nullopt;  // for the components the logic draws
};

Geometry at(ComponentId id, const std::string& parent, int left, int top, int width, int height) {
    return {std::string(componentName(id).view()), parent, left, top, width, height, id};
}

std::vector<Geometry> expectedComponents() {
    std::vector<Geometry> rows = {
        at(panelId(1), "ClientArea", 20, 25, 590, 99),       at(panelId(2), "ClientArea", 20, 134, 590, 99),
        at(panelId(3), "ClientArea", 20, 243, 590, 99),      at(separatorId(1), "ClientArea", 20, 124, 590, 10),
        at(separatorId(2), "ClientArea", 20, 233, 590, 10), {"ScrollBar1", "ClientArea", 616, 24, 17, 321},
    };
    const std::array<int, 8> buttonLefts{133, 176, 220, 263, 306, 349, 393, 436};
    const std::array<int, 8> ledLefts{99, 171, 214, 257, 301, 344, 387, 430};
    const std::array<int, 8> labelLefts{130, 173, 217, 260, 303, 346, 390, 433};
    for (int s = 1; s <= 3; ++s) {
        const std::string panel(componentName(panelId(s)).view());
        rows.push_back({"Image" + std::to_string(s), panel, 0, 0, 590, 99});
        for (int p = 1; p <= 8; ++p) {
            const int k = portKey(s, p);
            const auto i = static_cast<std::size_t>(p - 1);
            rows.push_back(at(portButtonId(k), panel, buttonLefts[i], 15, 29, 28));
            if (p == 1) {
                rows.push_back(at(portLedId(k), panel, 99, 48, 50, 26));
            } else {
                rows.push_back(at(portLedId(k), panel, ledLefts[i], 48, 21, 28));
            }
            rows.push_back(at(timeLabelId(k), panel, labelLefts[i], 83, 32, 13));
        }
        rows.push_back(at(currentDigitId(s, 1), panel, 45, 31, 24, 30));
        rows.push_back(at(currentDigitId(s, 2), panel, 73, 31, 24, 30));
        rows.push_back(at(bankDigitId(s, 1), panel, 493, 31, 24, 30));
        rows.push_back(at(bankDigitId(s, 2), panel, 521, 31, 24, 30));
        rows.push_back(at(menuButtonId(s), panel, 2, 83, 39, 15));
    }
    return rows;
}

class MainWindowComponents : public ::testing::TestWithParam<Geometry> {
protected:
    MainWindow form;
};

TEST_P(MainWindowComponents, IsNamedAndPlaced) {
    const Geometry& g = GetParam();
    QWidget* w = form.findChild<QWidget*>(QString::fromStdString(g.name));
    ASSERT_NE(w, nullptr) << g.name;
    // The logic's id reaches the same widget.
    if (g.id) {
        EXPECT_EQ(form.component(*g.id), w) << g.name;
    }
    // Placed inside its panel (a digit sits in its display, itself in the panel).
    QWidget* container = w->parentWidget();
    while (container && container->objectName().toStdString() != g.parent) container = container->parentWidget();
    ASSERT_NE(container, nullptr) << g.name << " is not inside " << g.parent;
    EXPECT_EQ(QRect(w->mapTo(container, QPoint(0, 0)), w->size()), QRect(g.left, g.top, g.width, g.height)) << g.name;
}

INSTANTIATE_TEST_SUITE_P(App, MainWindowComponents, ::testing::ValuesIn(expectedComponents()),
                         [](const auto& row) { return row.param.name; });

// ---- Start-up state ---------------------------------------------------------------

TEST(MainWindowWindow, StartsWithCaptionFixedSizeAndHiddenPanels) {
    MainWindow form;
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Velmora Management");
    EXPECT_EQ(form.centralWidget()->width(), 639);
    EXPECT_EQ(form.clientHeight(), 190 - kClassicFrameHeight);
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "window must not be resizable";
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    for (ComponentId id : {panelId(1), panelId(2), panelId(3), separatorId(1), separatorId(2)}) {
        EXPECT_FALSE(form.component(id)->isVisible()) << id;
    }
    EXPECT_FALSE(form.scrollBar()->isVisible());
    EXPECT_TRUE(form.findChild<QWidget*>(QStringLiteral("Bevel1"))->isVisible());
    EXPECT_EQ(form.scrollBar()->orientation(), Qt::Vertical);
    EXPECT_EQ(form.scrollBar()->minimum(), 1);
    EXPECT_EQ(form.scrollBar()->value(), 1);
}

struct HeightCase {
    const char* name;
    int asked;
    int client;
};

class MainWindowHeight : public ::testing::TestWithParam<HeightCase> {};

TEST_P(MainWindowHeight, ClientAreaFollowsTheAskedHeight) {
    MainWindow form;
    form.show();
    const int menuAndClient = form.height();
    form.setWindowHeight(GetParam().asked);
    EXPECT_EQ(form.clientHeight(), GetParam().client);
    // The whole window follows: still fixed, grown or shrunk by the same.
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.height() - menuAndClient, GetParam().client - (190 - kClassicFrameHeight));
}

INSTANTIATE_TEST_SUITE_P(App, MainWindowHeight,
                         ::testing::Values(HeightCase{"OneBank", 190, 134}, HeightCase{"TwoBanks", 300, 244},
                                           HeightCase{"ThreeBanks", 410, 354}, HeightCase{"Absurd", -5, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowWindow, EveryPanelFitsTheClientAreaItIsShownIn) {
    MainWindow form;
    const std::array<int, 3> heights{190, 300, 410};
    for (int banks = 1; banks <= 3; ++banks) {
        form.setWindowHeight(heights[static_cast<std::size_t>(banks - 1)]);
        const QRect last = form.component(panelId(banks))->geometry();
        EXPECT_LE(last.bottom() + 1 + 10, form.clientHeight()) << banks << " banks";
    }
    EXPECT_LE(form.scrollBar()->geometry().bottom() + 1, form.clientHeight());
}

// ---- Time labels --------------------------------------------------------------------

TEST(MainWindowLabels, YellowArialOnBlackAndEmpty) {
    MainWindow form;
    for (int key : {11, 18, 21, 25, 31, 38}) {
        auto* label = qobject_cast<QLabel*>(form.component(timeLabelId(key)));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->text().isEmpty());
        EXPECT_TRUE(label->autoFillBackground());
        EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        EXPECT_EQ(label->font().family().toStdString(), "Arial");
        EXPECT_EQ(label->font().pixelSize(), 11);
    }
}

TEST(MainWindowLabels, TextBackgroundAndVisibilityByName) {
    MainWindow form;
    form.show();
    auto* label = qobject_cast<QLabel*>(form.component(timeLabelId(23)));
    form.setLabelText(timeLabelId(23), "12: 5");
    form.setLabelBackground(timeLabelId(23), 0x102030);
    form.setLabelVisible(timeLabelId(23), false);
    EXPECT_EQ(label->text().toStdString(), "12: 5");
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(label->isHidden());
    // Other labels untouched, unknown names ignored.
    form.setLabelText(timeLabelId(99), "x");
    form.setLabelText(portLedId(23), "x");
    EXPECT_TRUE(qobject_cast<QLabel*>(form.component(timeLabelId(24)))->text().isEmpty());
}

// ---- Pictures ---------------------------------------------------------------------------

struct PictureCase {
    const char* name;
    ComponentId component;
    PictureList list;
    int index;
};

class MainWindowPictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(MainWindowPictures, ShowsThePictureAskedFor) {
    const PictureCase& c = GetParam();
    MainWindow form;
    form.setPicture(c.component, c.list, c.index);
    const auto shown = form.shownPicture(c.component);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown, (PictureRef{c.list, c.index}));
}

INSTANTIATE_TEST_SUITE_P(
    App, MainWindowPictures,
    ::testing::Values(PictureCase{"WideLedBothLit", portLedId(11), PictureList::firstPortLed, 3},
                      PictureCase{"LedOnLit", portLedId(37), PictureList::portLed, 2},
                      PictureCase{"CurrentDigitWithPoint", currentDigitId(2, 1), PictureList::currentDigits, 13},
                      PictureCase{"CurrentLastDigit", currentDigitId(3, 2), PictureList::currentDigits, 19},
                      PictureCase{"BankTens", bankDigitId(1, 1), PictureList::bankDigits, 1},
                      PictureCase{"ButtonPressed", portButtonId(28), PictureList::portButton, 0},
                      PictureCase{"MenuButtonPressed", menuButtonId(3), PictureList::menuButton, 1}),
    [](const auto& row) { return std::string(row.param.name); });

struct BadPictureCase {
    const char* name;
    ComponentId component;
    PictureList list;
    int index;
};

class MainWindowBadPictures : public ::testing::TestWithParam<BadPictureCase> {};

TEST_P(MainWindowBadPictures, AreIgnoredAndKeepTheOldPicture) {
    const BadPictureCase& c = GetParam();
    MainWindow form;
    form.setPicture(portLedId(12), PictureList::portLed, 1);
    form.setPicture(c.component, c.list, c.index);
    EXPECT_EQ(form.shownPicture(portLedId(12)), (PictureRef{PictureList::portLed, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    App, MainWindowBadPictures,
    ::testing::Values(BadPictureCase{"IndexPastTheList", portLedId(12), PictureList::portLed, 4},
                      BadPictureCase{"NegativeIndex", portLedId(12), PictureList::portLed, -1},
                      BadPictureCase{"DigitPastBankList", portLedId(12), PictureList::bankDigits, 10},
                      BadPictureCase{"UnknownComponent", portLedId(19), PictureList::portLed, 3},
                      BadPictureCase{"LabelIsNoPicture", timeLabelId(12), PictureList::portLed, 3},
                      BadPictureCase{"NumberOutOfRange", portLedId(400), PictureList::portLed, 3},
                      BadPictureCase{"NegativeNumber", portLedId(-12), PictureList::portLed, 3}),
    [](const auto& row) { return std::string(row.param.name); });

QImage grabOf(MainWindow& form, ComponentId id) { return form.component(id)->grab().toImage(); }

TEST(MainWindowDrawing, ALitLampLooksDifferentFromADarkOne) {
    MainWindow form;
    form.setComponentVisible(panelId(1), true);
    form.show();
    form.setPicture(portLedId(12), PictureList::portLed, 0);
    const QImage dark = grabOf(form, portLedId(12));
    form.setPicture(portLedId(12), PictureList::portLed, 3);
    const QImage lit = grabOf(form, portLedId(12));
    ASSERT_FALSE(dark.isNull());
    EXPECT_EQ(dark.size(), QSize(21, 28) * form.devicePixelRatioF());
    EXPECT_NE(dark, lit);
    // Going back draws the same picture again.
    form.setPicture(portLedId(12), PictureList::portLed, 0);
    EXPECT_EQ(grabOf(form, portLedId(12)), dark);
}

TEST(MainWindowDrawing, PicturesLetThePanelArtworkShowAround) {
    MainWindow form;
    form.setComponentVisible(panelId(1), true);
    form.show();
    QWidget* button = form.component(portButtonId(11));
    const QRect at = button->geometry();
    // Without a picture the button shows the artwork beneath it, exactly as
    // if it were not there: no background of its own.
    button->hide();
    const QImage artwork = grabOf(form, panelId(1)).copy(at);
    button->show();
    EXPECT_EQ(grabOf(form, panelId(1)).copy(at), artwork);
    // With the released picture something is drawn on top.
    form.setPicture(portButtonId(11), PictureList::portButton, 1);
    EXPECT_NE(grabOf(form, panelId(1)).copy(at), artwork);
}

// ---- Visibility, accessible names -------------------------------------------------------

TEST(MainWindowComponents2, VisibilityAndAccessibleNamesByName) {
    MainWindow form;
    form.show();
    form.setComponentVisible(panelId(2), true);
    form.setComponentVisible(separatorId(1), true);
    EXPECT_TRUE(form.component(panelId(2))->isVisible());
    EXPECT_TRUE(form.component(separatorId(1))->isVisible());
    EXPECT_FALSE(form.component(panelId(3))->isVisible());
    form.setAccessibleName(portButtonId(23), "Bank 2 Port 3");
    form.setAccessibleName(bankDigitId(3, 1), "Bank 3");
    EXPECT_EQ(form.component(portButtonId(23))->accessibleName().toStdString(), "Bank 2 Port 3");
    // A digit's name is its display's: one display, one name.
    EXPECT_EQ(form.component(bankDisplayId(3))->accessibleName().toStdString(), "Bank 3");
    // Ids the window has no component for are ignored.
    for (ComponentId missing : {panelId(4), separatorId(3), portLedId(400), bankDigitId(-1, 1)}) {
        form.setComponentVisible(missing, true);
        form.setAccessibleName(missing, "x");
        EXPECT_EQ(form.component(missing), nullptr) << missing;
    }
}

// ---- Buttons ----------------------------------------------------------------------------

struct ButtonCase {
    const char* name;
    ComponentId component;
    int tag;
    bool portButton;
};

class MainWindowButtons : public ::testing::TestWithParam<ButtonCase> {
protected:
    void SetUp() override {
        MainWindow::Handlers h;
        h.portButtonPressed = [this](int k) { log.push_back("portDown" + std::to_string(k)); };
        h.portButtonReleased = [this](int k) { log.push_back("portUp" + std::to_string(k)); };
        h.menuButtonPressed = [this](int s) { log.push_back("menuDown" + std::to_string(s)); };
        h.menuButtonReleased = [this](int s) { log.push_back("menuUp" + std::to_string(s)); };
        form.setHandlers(h);
        for (int s = 1; s <= 3; ++s) form.setComponentVisible(panelId(s), true);
        form.setWindowHeight(410);
        form.show();
    }
    std::string down() const {
        return (GetParam().portButton ? "portDown" : "menuDown") + std::to_string(GetParam().tag);
    }
    std::string up() const {
        return (GetParam().portButton ? "portUp" : "menuUp") + std::to_string(GetParam().tag);
    }
    QWidget* widget() { return form.component(GetParam().component); }

    MainWindow form;
    std::vector<std::string> log;
};

TEST_P(MainWindowButtons, CarryTheirTagHandCursorAndFocus) {
    EXPECT_EQ(widget()->property("tag").toInt(), GetParam().tag);
    EXPECT_EQ(widget()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(widget()->focusPolicy(), Qt::StrongFocus);
}

TEST_P(MainWindowButtons, LeftClickReportsPressThenRelease) {
    QTest::mouseClick(widget(), Qt::LeftButton);
    EXPECT_EQ(log, (std::vector<std::string>{down(), up()}));
}

TEST_P(MainWindowButtons, RightClickCountsOnlyOnMenuButtons) {
    QTest::mouseClick(widget(), Qt::RightButton);
    if (GetParam().portButton) {
        EXPECT_TRUE(log.empty());
    } else {
        EXPECT_EQ(log, (std::vector<std::string>{down(), up()}));
    }
}

TEST_P(MainWindowButtons, SpaceAndEnterActLikeAClick) {
    widget()->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        log.clear();
        QTest::keyClick(widget(), key);
        EXPECT_EQ(log, (std::vector<std::string>{down(), up()})) << key;
    }
    log.clear();
    QTest::keyClick(widget(), Qt::Key_A);
    EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(App, MainWindowButtons,
                         ::testing::Values(ButtonCase{"FirstPortButton", portButtonId(11), 11, true},
                                           ButtonCase{"MiddlePortButton", portButtonId(24), 24, true},
                                           ButtonCase{"LastPortButton", portButtonId(38), 38, true},
                                           ButtonCase{"FirstMenuButton", menuButtonId(1), 1, false},
                                           ButtonCase{"LastMenuButton", menuButtonId(3), 3, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowButtons2, PressedPicturesAreNotButtons) {
    MainWindow form;
    for (ComponentId id : {portLedId(11), bankDigitId(1, 1), currentDigitId(2, 2), separatorId(1)}) {
        EXPECT_EQ(form.component(id)->focusPolicy(), Qt::NoFocus) << id;
    }
    EXPECT_EQ(form.findChild<QWidget*>(QStringLiteral("Image1"))->focusPolicy(), Qt::NoFocus);
}

// ---- Scroll bar -------------------------------------------------------------------------

TEST(MainWindowScrollBar, OnlyTheUserMovingItIsReported) {
    MainWindow form;
    std::vector<int> moved;
    MainWindow::Handlers h;
    h.scrollBarMoved = [&](int p) { moved.push_back(p); };
    form.setHandlers(h);

    form.setScrollBarMaximum(3);
    form.setScrollBarPosition(3);
    form.setScrollBarVisible(true);
    EXPECT_EQ(form.scrollBar()->maximum(), 3);
    EXPECT_EQ(form.scrollBar()->value(), 3);
    form.setScrollBarMaximum(2);  // Qt pulls the value in; the logic knows
    EXPECT_EQ(form.scrollBar()->value(), 2);
    EXPECT_TRUE(moved.empty());

    form.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(moved, std::vector<int>{1});
    form.setScrollBarMaximum(0);  // never below the minimum of 1
    EXPECT_EQ(form.scrollBar()->maximum(), 1);
}

// ---- Menus ------------------------------------------------------------------------------

struct MenuCase {
    const char* name;
    const char* caption;
    bool enabledAtStart;
    bool enabledConnected;
};

class MainWindowMenus : public ::testing::TestWithParam<MenuCase> {};

TEST_P(MainWindowMenus, CaptionAndStates) {
    const MenuCase& c = GetParam();
    MainWindow form;
    QAction* item = form.menuItem(c.name);
    ASSERT_NE(item, nullptr) << c.name;
    EXPECT_EQ(item->objectName().toStdString(), c.name);
    EXPECT_EQ(item->text().toStdString(), c.caption);
    EXPECT_EQ(item->isEnabled(), c.enabledAtStart);
    form.setConnectedMenus(true);
    EXPECT_EQ(item->isEnabled(), c.enabledConnected);
    form.setConnectedMenus(false);
    EXPECT_EQ(item->isEnabled(), c.enabledAtStart);
}

INSTANTIATE_TEST_SUITE_P(
    App, MainWindowMenus,
    ::testing::Values(MenuCase{"N1", "File", true, true}, MenuCase{"N2", "Exit", true, true},
                      MenuCase{"Detect", "Setting..", true, true}, MenuCase{"mlConnect", "Connect", true, false},
                      MenuCase{"mlDisconnect", "Disconnect", false, true},
                      MenuCase{"mlConfiguration1", "Configuration", true, true},
                      MenuCase{"mlTools1", "Tools ", false, true}, MenuCase{"Upgrade1", "Upgrade", true, true},
                      MenuCase{"CheckVersion1", "Check Version", true, true},
                      MenuCase{"mlSetRTC", "Time", false, true},
                      MenuCase{"mlSetRTCNow", "Set System Time", true, true},
                      MenuCase{"mlStartSetRTC_Period", "Sync System Time per hour", true, true},
                      MenuCase{"SetTimer1", "Set Timer", false, true}, MenuCase{"SetTimer11", "Set Timer", false, false},
                      MenuCase{"Help", "&Help", true, true}, MenuCase{"N3", "About", true, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowMenuActions, ExitHasCtrlXAndClosesTheWindow) {
    MainWindow form;
    int closing = 0;
    std::vector<std::string> chosen;
    MainWindow::Handlers h;
    h.closing = [&] { ++closing; };
    h.menuItemChosen = [&](const std::string& item) { chosen.push_back(item); };
    form.setHandlers(h);
    form.show();
    QAction* exit = form.menuItem("N2");
    EXPECT_EQ(exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    test::triggerAndRun(exit);
    EXPECT_EQ(closing, 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(chosen.empty());
}

TEST(MainWindowMenuActions, OtherItemsAreReportedByName) {
    MainWindow form;
    std::vector<std::string> chosen;
    MainWindow::Handlers h;
    h.menuItemChosen = [&](const std::string& item) { chosen.push_back(item); };
    form.setHandlers(h);
    form.setConnectedMenus(true);
    for (const char* name : {"mlDisconnect", "mlConfiguration1", "Upgrade1", "N3"})
        test::triggerAndRun(form.menuItem(name));
    EXPECT_EQ(chosen, (std::vector<std::string>{"mlDisconnect", "mlConfiguration1", "Upgrade1", "N3"}));
}

TEST(MainWindowMenuActions, VersionItemsAreAppendedAndRemovedLastFirst) {
    MainWindow form;
    std::vector<int> chosen;
    MainWindow::Handlers h;
    h.versionItemChosen = [&](int tag) { chosen.push_back(tag); };
    form.setHandlers(h);
    form.appendVersionItem("Bank 1", 1);
    form.appendVersionItem("Bank 2", 2);
    form.appendVersionItem("Bank 3", 3);
    QList<QAction*> items = form.checkVersionMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[1]->text().toStdString(), "Bank 2");
    test::triggerAndRun(items[2]);
    test::triggerAndRun(items[0]);
    EXPECT_EQ(chosen, (std::vector<int>{3, 1}));

    form.removeLastVersionItem();
    items = form.checkVersionMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items.last()->text().toStdString(), "Bank 2");
    form.removeLastVersionItem();
    form.removeLastVersionItem();
    form.removeLastVersionItem();  // nothing left: nothing happens
    EXPECT_TRUE(form.checkVersionMenu()->actions().isEmpty());
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// ---- Pop-up menus of the panels ---------------------------------------------------------

struct PopupItemCase {
    const char* name;
    int slot;
    int position;  // 0-based among the menu's entries, separator included
    const char* caption;
    int tag;
};

class MainWindowPopups : public ::testing::TestWithParam<PopupItemCase> {};

TEST_P(MainWindowPopups, ItemsInOrderWithCaptionsAndTags) {
    const PopupItemCase& c = GetParam();
    MainWindow form;
    QMenu* menu = form.popupMenu(c.slot);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName().toStdString(), "popForm" + std::to_string(c.slot));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 9) << "the system's seven entries, Current history and Rename...";
    EXPECT_EQ(actions[7]->text().toStdString(), "Current history");
    EXPECT_EQ(actions[8]->text().toStdString(), "Rename...");
    EXPECT_TRUE(actions[4]->isSeparator());
    QAction* item = actions[c.position];
    EXPECT_EQ(item->objectName().toStdString(), c.name);
    EXPECT_EQ(item->text().toStdString(), c.caption);
    EXPECT_EQ(form.popupItemTag(c.name), c.tag);
}

INSTANTIATE_TEST_SUITE_P(
    App, MainWindowPopups,
    ::testing::Values(PopupItemCase{"OpenOneBank1", 1, 0, "Power on All Ports of Bank 1", 0},
                      PopupItemCase{"CloseOneBank3", 3, 1, "Power off All Ports of Bank 3", 2},
                      PopupItemCase{"OpenAllPortofAllBank1", 1, 2, "Powre on All Ports of All Banks", 0},
                      PopupItemCase{"MenuItem3", 2, 2, "Power on All Ports of All Banks", 0},
                      PopupItemCase{"MenuItem7", 3, 2, "Powr on All Ports of All Banks", 0},
                      PopupItemCase{"CloseAllPortofAllBank1", 1, 3, "Power off All Ports of All Banks", 0},
                      PopupItemCase{"MenuItem4", 2, 3, "Power off All Ports of All Banks", 0},
                      PopupItemCase{"MenuItem8", 3, 3, "Powr off All Ports of All Banks", 0},
                      PopupItemCase{"mlSetOneTimer2", 2, 5, "Set Timer", 1},
                      PopupItemCase{"mlCheckVersion3", 3, 6, "Check Bank 3 Version", 3}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowPopupActions, ItemsReportNameAndTagAndCaptionsChange) {
    MainWindow form;
    std::vector<std::string> chosen;
    MainWindow::Handlers h;
    h.popupItemChosen = [&](const std::string& item, int tag) { chosen.push_back(item + ":" + std::to_string(tag)); };
    form.setHandlers(h);
    test::triggerAndRun(form.menuItem("CloseOneBank2"));
    test::triggerAndRun(form.menuItem("mlCheckVersion1"));
    test::triggerAndRun(form.menuItem("MenuItem8"));
    EXPECT_EQ(chosen, (std::vector<std::string>{"CloseOneBank2:1", "mlCheckVersion1:1", "MenuItem8:0"}));
    form.setMenuItemCaption("OpenOneBank2", "Power on All Ports of Bank 12");
    EXPECT_EQ(form.menuItem("OpenOneBank2")->text().toStdString(), "Power on All Ports of Bank 12");
    EXPECT_EQ(form.popupItemTag("N2"), -1);  // a main-menu item
    EXPECT_EQ(form.popupItemTag("nothing"), -1);
    EXPECT_EQ(form.popupMenu(0), nullptr);
    EXPECT_EQ(form.popupMenu(4), nullptr);
}

TEST(MainWindowPopupActions, OpensBesideItsPanel) {
    MainWindow form;
    form.show();
    form.move(200, 150);
    for (int slot = 1; slot <= 3; ++slot) {
        const QPoint panel = form.component(panelId(slot))->pos();
        EXPECT_EQ(form.popupPoint(slot), form.frameGeometry().topLeft() + panel + QPoint(20, 55)) << slot;
    }
    EXPECT_EQ(form.popupPoint(2) - form.popupPoint(1), QPoint(0, 109));
}

TEST(MainWindowPopupActions, OpeningAsksForCaptionsFirst) {
    MainWindow form;
    form.show();
    std::vector<int> opened;
    MainWindow::Handlers h;
    h.popupOpening = [&](int slot) {
        opened.push_back(slot);
        form.setMenuItemCaption("OpenOneBank2", "Power on All Ports of Bank 4");
    };
    form.setHandlers(h);
    std::string captionWhenShown;
    test::PopupCloser closer(form.popupMenu(2), [&] {
        captionWhenShown = form.popupMenu(2)->actions()[0]->text().toStdString();
    });
    form.openPopup(2, form.popupPoint(2));
    EXPECT_TRUE(closer.looked());
    EXPECT_EQ(opened, std::vector<int>{2});
    EXPECT_EQ(captionWhenShown, "Power on All Ports of Bank 4");
}

}  // namespace
}  // namespace velmora
