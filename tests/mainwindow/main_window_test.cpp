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

#include "support/event_loop.h"

#include <array>
#include <string>
#include <vector>

namespace velmora {
namespace {

// ---- Every component: name, parent, position and size ----------------------------

struct Geometry {
    std::string name;
    std::string parent;  // "ClientArea" or the panel's name
    int left, top, width, height;
};

std::vector<Geometry> expectedComponents() {
    std::vector<Geometry> rows = {
        {"UniClass1", "ClientArea", 20, 25, 590, 99},   {"UniClass2", "ClientArea", 20, 134, 590, 99},
        {"UniClass3", "ClientArea", 20, 243, 590, 99},  {"imSeparated1", "ClientArea", 20, 124, 590, 10},
        {"imSeparated2", "ClientArea", 20, 233, 590, 10}, {"ScrollBar1", "ClientArea", 616, 24, 17, 321},
    };
    const std::array<int, 8> buttonLefts{133, 176, 220, 263, 306, 349, 393, 436};
    const std::array<int, 8> ledLefts{99, 171, 214, 257, 301, 344, 387, 430};
    const std::array<int, 8> labelLefts{130, 173, 217, 260, 303, 346, 390, 433};
    for (int s = 1; s <= 3; ++s) {
        const std::string panel = "UniClass" + std::to_string(s);
        const std::string sd = std::to_string(s);
        rows.push_back({"Image" + sd, panel, 0, 0, 590, 99});
        for (int p = 1; p <= 8; ++p) {
            const std::string k = std::to_string(s * 10 + p);
            const auto i = static_cast<std::size_t>(p - 1);
            rows.push_back({"imButton" + k, panel, buttonLefts[i], 15, 29, 28});
            if (p == 1) {
                rows.push_back({"imLed" + k, panel, 99, 48, 50, 26});
            } else {
                rows.push_back({"imLed" + k, panel, ledLefts[i], 48, 21, 28});
            }
            rows.push_back({"lblShowTime" + k, panel, labelLefts[i], 83, 32, 13});
        }
        rows.push_back({"imDisCurrent" + sd + "1", panel, 45, 31, 24, 30});
        rows.push_back({"imDisCurrent" + sd + "2", panel, 73, 31, 24, 30});
        rows.push_back({"imDisBank" + sd + "1", panel, 493, 31, 24, 30});
        rows.push_back({"imDisBank" + sd + "2", panel, 521, 31, 24, 30});
        rows.push_back({"btnRight" + sd, panel, 2, 83, 39, 15});
    }
    return rows;
}

class TForm1Components : public ::testing::TestWithParam<Geometry> {
protected:
    TForm1 form;
};

TEST_P(TForm1Components, IsNamedAndPlaced) {
    const Geometry& g = GetParam();
    QWidget* w = form.component(g.name);
    ASSERT_NE(w, nullptr) << g.name;
    EXPECT_EQ(w->objectName().toStdString(), g.name);
    // Placed inside its panel (a digit sits in its display, itself in the panel).
    QWidget* container = w->parentWidget();
    while (container && container->objectName().toStdString() != g.parent) container = container->parentWidget();
    ASSERT_NE(container, nullptr) << g.name << " is not inside " << g.parent;
    EXPECT_EQ(QRect(w->mapTo(container, QPoint(0, 0)), w->size()), QRect(g.left, g.top, g.width, g.height)) << g.name;
    // Found by name the way the window's own code and tests look it up.
    EXPECT_EQ(form.findChild<QWidget*>(QString::fromStdString(g.name)), w);
}

INSTANTIATE_TEST_SUITE_P(App, TForm1Components, ::testing::ValuesIn(expectedComponents()),
                         [](const auto& row) { return row.param.name; });

// ---- Start-up state ---------------------------------------------------------------

TEST(TForm1Window, StartsWithCaptionFixedSizeAndHiddenPanels) {
    TForm1 form;
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Velmora Management");
    EXPECT_EQ(form.centralWidget()->width(), 639);
    EXPECT_EQ(form.clientHeight(), 190 - kClassicFrameHeight);
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "window must not be resizable";
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    for (const char* name : {"UniClass1", "UniClass2", "UniClass3", "imSeparated1", "imSeparated2", "ScrollBar1"}) {
        EXPECT_FALSE(form.component(name)->isVisible()) << name;
    }
    EXPECT_TRUE(form.component("Bevel1")->isVisible());
    EXPECT_EQ(form.scrollBar()->orientation(), Qt::Vertical);
    EXPECT_EQ(form.scrollBar()->minimum(), 1);
    EXPECT_EQ(form.scrollBar()->value(), 1);
}

struct HeightCase {
    const char* name;
    int asked;
    int client;
};

class TForm1Height : public ::testing::TestWithParam<HeightCase> {};

TEST_P(TForm1Height, ClientAreaFollowsTheAskedHeight) {
    TForm1 form;
    form.show();
    const int menuAndClient = form.height();
    form.setWindowHeight(GetParam().asked);
    EXPECT_EQ(form.clientHeight(), GetParam().client);
    // The whole window follows: still fixed, grown or shrunk by the same.
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.height() - menuAndClient, GetParam().client - (190 - kClassicFrameHeight));
}

INSTANTIATE_TEST_SUITE_P(App, TForm1Height,
                         ::testing::Values(HeightCase{"OneBank", 190, 134}, HeightCase{"TwoBanks", 300, 244},
                                           HeightCase{"ThreeBanks", 410, 354}, HeightCase{"Absurd", -5, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(TForm1Window, EveryPanelFitsTheClientAreaItIsShownIn) {
    TForm1 form;
    const std::array<int, 3> heights{190, 300, 410};
    for (int banks = 1; banks <= 3; ++banks) {
        form.setWindowHeight(heights[static_cast<std::size_t>(banks - 1)]);
        const QRect last = form.component("UniClass" + std::to_string(banks))->geometry();
        EXPECT_LE(last.bottom() + 1 + 10, form.clientHeight()) << banks << " banks";
    }
    EXPECT_LE(form.scrollBar()->geometry().bottom() + 1, form.clientHeight());
}

// ---- Time labels --------------------------------------------------------------------

TEST(TForm1Labels, YellowArialOnBlackAndEmpty) {
    TForm1 form;
    for (int key : {11, 18, 21, 25, 31, 38}) {
        auto* label = qobject_cast<QLabel*>(form.component("lblShowTime" + std::to_string(key)));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->text().isEmpty());
        EXPECT_TRUE(label->autoFillBackground());
        EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        EXPECT_EQ(label->font().family().toStdString(), "Arial");
        EXPECT_EQ(label->font().pixelSize(), 11);
    }
}

TEST(TForm1Labels, TextBackgroundAndVisibilityByName) {
    TForm1 form;
    form.show();
    auto* label = qobject_cast<QLabel*>(form.component("lblShowTime23"));
    form.setLabelText("lblShowTime23", "12: 5");
    form.setLabelBackground("lblShowTime23", 0x102030);
    form.setLabelVisible("lblShowTime23", false);
    EXPECT_EQ(label->text().toStdString(), "12: 5");
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(label->isHidden());
    // Other labels untouched, unknown names ignored.
    form.setLabelText("lblShowTime99", "x");
    form.setLabelText("imLed23", "x");
    EXPECT_TRUE(qobject_cast<QLabel*>(form.component("lblShowTime24"))->text().isEmpty());
}

// ---- Pictures ---------------------------------------------------------------------------

struct PictureCase {
    const char* name;
    const char* component;
    PictureList list;
    int index;
};

class TForm1Pictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(TForm1Pictures, ShowsThePictureAskedFor) {
    const PictureCase& c = GetParam();
    TForm1 form;
    form.setPicture(c.component, c.list, c.index);
    const auto shown = form.shownPicture(c.component);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown, (PictureRef{c.list, c.index}));
}

INSTANTIATE_TEST_SUITE_P(
    App, TForm1Pictures,
    ::testing::Values(PictureCase{"WideLedBothLit", "imLed11", PictureList::imlRLed, 3},
                      PictureCase{"LedOnLit", "imLed37", PictureList::imlLed, 2},
                      PictureCase{"CurrentDigitWithPoint", "imDisCurrent21", PictureList::ImageList1, 13},
                      PictureCase{"CurrentLastDigit", "imDisCurrent32", PictureList::ImageList1, 19},
                      PictureCase{"BankTens", "imDisBank11", PictureList::imlBankNo, 1},
                      PictureCase{"ButtonPressed", "imButton28", PictureList::imlButton, 0},
                      PictureCase{"MenuButtonPressed", "btnRight3", PictureList::imLogo, 1}),
    [](const auto& row) { return std::string(row.param.name); });

struct BadPictureCase {
    const char* name;
    const char* component;
    PictureList list;
    int index;
};

class TForm1BadPictures : public ::testing::TestWithParam<BadPictureCase> {};

TEST_P(TForm1BadPictures, AreIgnoredAndKeepTheOldPicture) {
    const BadPictureCase& c = GetParam();
    TForm1 form;
    form.setPicture("imLed12", PictureList::imlLed, 1);
    form.setPicture(c.component, c.list, c.index);
    EXPECT_EQ(form.shownPicture("imLed12"), (PictureRef{PictureList::imlLed, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    App, TForm1BadPictures,
    ::testing::Values(BadPictureCase{"IndexPastTheList", "imLed12", PictureList::imlLed, 4},
                      BadPictureCase{"NegativeIndex", "imLed12", PictureList::imlLed, -1},
                      BadPictureCase{"DigitPastBankList", "imLed12", PictureList::imlBankNo, 10},
                      BadPictureCase{"UnknownComponent", "imLed19", PictureList::imlLed, 3},
                      BadPictureCase{"LabelIsNoPicture", "lblShowTime12", PictureList::imlLed, 3},
                      BadPictureCase{"EmptyName", "", PictureList::imlLed, 3}),
    [](const auto& row) { return std::string(row.param.name); });

QImage grabOf(TForm1& form, const char* name) { return form.component(name)->grab().toImage(); }

TEST(TForm1Drawing, ALitLampLooksDifferentFromADarkOne) {
    TForm1 form;
    form.setComponentVisible("UniClass1", true);
    form.show();
    form.setPicture("imLed12", PictureList::imlLed, 0);
    const QImage dark = grabOf(form, "imLed12");
    form.setPicture("imLed12", PictureList::imlLed, 3);
    const QImage lit = grabOf(form, "imLed12");
    ASSERT_FALSE(dark.isNull());
    EXPECT_EQ(dark.size(), QSize(21, 28) * form.devicePixelRatioF());
    EXPECT_NE(dark, lit);
    // Going back draws the same picture again.
    form.setPicture("imLed12", PictureList::imlLed, 0);
    EXPECT_EQ(grabOf(form, "imLed12"), dark);
}

TEST(TForm1Drawing, PicturesLetThePanelArtworkShowAround) {
    TForm1 form;
    form.setComponentVisible("UniClass1", true);
    form.show();
    QWidget* button = form.component("imButton11");
    const QRect at = button->geometry();
    // Without a picture the button shows the artwork beneath it, exactly as
    // if it were not there: no background of its own.
    button->hide();
    const QImage artwork = grabOf(form, "UniClass1").copy(at);
    button->show();
    EXPECT_EQ(grabOf(form, "UniClass1").copy(at), artwork);
    // With the released picture something is drawn on top.
    form.setPicture("imButton11", PictureList::imlButton, 1);
    EXPECT_NE(grabOf(form, "UniClass1").copy(at), artwork);
}

// ---- Visibility, accessible names -------------------------------------------------------

TEST(TForm1Components2, VisibilityAndAccessibleNamesByName) {
    TForm1 form;
    form.show();
    form.setComponentVisible("UniClass2", true);
    form.setComponentVisible("imSeparated1", true);
    EXPECT_TRUE(form.component("UniClass2")->isVisible());
    EXPECT_TRUE(form.component("imSeparated1")->isVisible());
    EXPECT_FALSE(form.component("UniClass3")->isVisible());
    form.setAccessibleName("imButton23", "Bank 2 Port 3");
    form.setAccessibleName("imDisBank31", "Bank 3");
    EXPECT_EQ(form.component("imButton23")->accessibleName().toStdString(), "Bank 2 Port 3");
    // A digit's name is its display's: one display, one name.
    EXPECT_EQ(form.component("BankDisplay3")->accessibleName().toStdString(), "Bank 3");
    form.setComponentVisible("NoSuchThing", true);  // ignored
    form.setAccessibleName("NoSuchThing", "x");
}

// ---- Buttons ----------------------------------------------------------------------------

struct ButtonCase {
    const char* name;
    const char* component;
    int tag;
    bool portButton;
};

class TForm1Buttons : public ::testing::TestWithParam<ButtonCase> {
protected:
    void SetUp() override {
        TForm1::Handlers h;
        h.portButtonPressed = [this](int k) { log.push_back("portDown" + std::to_string(k)); };
        h.portButtonReleased = [this](int k) { log.push_back("portUp" + std::to_string(k)); };
        h.menuButtonPressed = [this](int s) { log.push_back("menuDown" + std::to_string(s)); };
        h.menuButtonReleased = [this](int s) { log.push_back("menuUp" + std::to_string(s)); };
        form.setHandlers(h);
        for (int s = 1; s <= 3; ++s) form.setComponentVisible("UniClass" + std::to_string(s), true);
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

    TForm1 form;
    std::vector<std::string> log;
};

TEST_P(TForm1Buttons, CarryTheirTagHandCursorAndFocus) {
    EXPECT_EQ(widget()->property("tag").toInt(), GetParam().tag);
    EXPECT_EQ(widget()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(widget()->focusPolicy(), Qt::StrongFocus);
}

TEST_P(TForm1Buttons, LeftClickReportsPressThenRelease) {
    QTest::mouseClick(widget(), Qt::LeftButton);
    EXPECT_EQ(log, (std::vector<std::string>{down(), up()}));
}

TEST_P(TForm1Buttons, RightClickCountsOnlyOnMenuButtons) {
    QTest::mouseClick(widget(), Qt::RightButton);
    if (GetParam().portButton) {
        EXPECT_TRUE(log.empty());
    } else {
        EXPECT_EQ(log, (std::vector<std::string>{down(), up()}));
    }
}

TEST_P(TForm1Buttons, SpaceAndEnterActLikeAClick) {
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

INSTANTIATE_TEST_SUITE_P(App, TForm1Buttons,
                         ::testing::Values(ButtonCase{"FirstPortButton", "imButton11", 11, true},
                                           ButtonCase{"MiddlePortButton", "imButton24", 24, true},
                                           ButtonCase{"LastPortButton", "imButton38", 38, true},
                                           ButtonCase{"FirstMenuButton", "btnRight1", 1, false},
                                           ButtonCase{"LastMenuButton", "btnRight3", 3, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(TForm1Buttons2, PressedPicturesAreNotButtons) {
    TForm1 form;
    for (const char* name : {"imLed11", "imDisBank11", "imDisCurrent22", "Image1", "imSeparated1"}) {
        EXPECT_EQ(form.component(name)->focusPolicy(), Qt::NoFocus) << name;
    }
}

// ---- Scroll bar -------------------------------------------------------------------------

TEST(TForm1ScrollBar, OnlyTheUserMovingItIsReported) {
    TForm1 form;
    std::vector<int> moved;
    TForm1::Handlers h;
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

class TForm1Menus : public ::testing::TestWithParam<MenuCase> {};

TEST_P(TForm1Menus, CaptionAndStates) {
    const MenuCase& c = GetParam();
    TForm1 form;
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
    App, TForm1Menus,
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

TEST(TForm1MenuActions, ExitHasCtrlXAndClosesTheWindow) {
    TForm1 form;
    int closing = 0;
    std::vector<std::string> chosen;
    TForm1::Handlers h;
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

TEST(TForm1MenuActions, OtherItemsAreReportedByName) {
    TForm1 form;
    std::vector<std::string> chosen;
    TForm1::Handlers h;
    h.menuItemChosen = [&](const std::string& item) { chosen.push_back(item); };
    form.setHandlers(h);
    form.setConnectedMenus(true);
    for (const char* name : {"mlDisconnect", "mlConfiguration1", "Upgrade1", "N3"})
        test::triggerAndRun(form.menuItem(name));
    EXPECT_EQ(chosen, (std::vector<std::string>{"mlDisconnect", "mlConfiguration1", "Upgrade1", "N3"}));
}

TEST(TForm1MenuActions, VersionItemsAreAppendedAndRemovedLastFirst) {
    TForm1 form;
    std::vector<int> chosen;
    TForm1::Handlers h;
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

class TForm1Popups : public ::testing::TestWithParam<PopupItemCase> {};

TEST_P(TForm1Popups, ItemsInOrderWithCaptionsAndTags) {
    const PopupItemCase& c = GetParam();
    TForm1 form;
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
    App, TForm1Popups,
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

TEST(TForm1PopupActions, ItemsReportNameAndTagAndCaptionsChange) {
    TForm1 form;
    std::vector<std::string> chosen;
    TForm1::Handlers h;
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

TEST(TForm1PopupActions, OpensBesideItsPanel) {
    TForm1 form;
    form.show();
    form.move(200, 150);
    for (int slot = 1; slot <= 3; ++slot) {
        const QPoint panel = form.component("UniClass" + std::to_string(slot))->pos();
        EXPECT_EQ(form.popupPoint(slot), form.frameGeometry().topLeft() + panel + QPoint(20, 55)) << slot;
    }
    EXPECT_EQ(form.popupPoint(2) - form.popupPoint(1), QPoint(0, 109));
}

TEST(TForm1PopupActions, OpeningAsksForCaptionsFirst) {
    TForm1 form;
    form.show();
    std::vector<int> opened;
    TForm1::Handlers h;
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
