// The mouse block of the Upgrade Process dialog on the offscreen platform,
// against a stand-in for the main window with the same kinds of parts: a
// menu bar, a bank panel with a port button inside it, a scroll bar.

#include "maintenance/upgrade_mouse_block.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFrame>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "maintenance/upgrade_dialog.h"

namespace velmora {
namespace {

// Counts the events that reached a widget (object filters run after the
// application's, so this sees only what the block let through).
class DeliveredEvents final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        ++counts[e->type()];
        return false;
    }
    int of(QEvent::Type t) const {
        const auto it = counts.find(t);
        return it == counts.end() ? 0 : it->second;
    }
    std::map<QEvent::Type, int> counts;
};

// A port button: takes every mouse event, so nothing travels to its panel.
class PortButton final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }
    void wheelEvent(QWheelEvent* e) override { e->accept(); }
    void contextMenuEvent(QContextMenuEvent* e) override { e->accept(); }
};

struct MainWindowStandIn {
    MainWindowStandIn() {
        window.setObjectName(QStringLiteral("Form1"));
        window.menuBar()->addMenu(QStringLiteral("File"));
        auto* client = new QWidget(&window);
        window.setCentralWidget(client);
        panel = new QFrame(client);
        panel->setObjectName(QStringLiteral("panel"));
        panel->setGeometry(0, 0, 300, 100);
        button = new PortButton(panel);
        button->setObjectName(QStringLiteral("portButton"));
        button->setGeometry(10, 10, 40, 40);
        button->setMouseTracking(true);  // so plain movement reaches it
        scrollBar = new QScrollBar(Qt::Vertical, client);
        scrollBar->setObjectName(QStringLiteral("ScrollBar1"));
        scrollBar->setGeometry(300, 0, 16, 100);
        window.resize(320, 160);
        // A window of its own that the main window owns: not covered.
        ownedDialog = new QDialog(&window);
        ownedButton = new PortButton(ownedDialog);
        ownedButton->setGeometry(0, 0, 40, 40);
        for (QWidget* w : {static_cast<QWidget*>(button), static_cast<QWidget*>(panel),
                           static_cast<QWidget*>(scrollBar), static_cast<QWidget*>(window.menuBar()),
                           static_cast<QWidget*>(ownedButton)})
            w->installEventFilter(&seen[w]);
    }
    QMainWindow window;
    QFrame* panel = nullptr;
    PortButton* button = nullptr;
    QScrollBar* scrollBar = nullptr;
    QDialog* ownedDialog = nullptr;
    PortButton* ownedButton = nullptr;
    std::map<QWidget*, DeliveredEvents> seen;
};

// At the target's right end: inside it, but clear of the menu bar's menus
// and of the port button inside the panel.
void send(QWidget* target, QEvent::Type type, Qt::MouseButton button) {
    const QPointF at(target->width() - 5, 5);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

void click(QWidget* target, Qt::MouseButton button) {
    send(target, QEvent::MouseButtonPress, button);
    send(target, QEvent::MouseButtonRelease, button);
}

bool activate(QWidget& w) {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

struct BlockTest : ::testing::Test {
    void SetUp() override {
        form.protectFromClicks({&mw.window, mw.panel, mw.scrollBar, mw.window.menuBar()});
        mw.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mw.window));
        form.showDialog();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.messageMemo()->setFocus();
        ASSERT_TRUE(form.mouseBlock()->blocking());
    }
    MainWindowStandIn mw;
    UpgradeDialog form;
};

struct TargetCase {
    const char* name;
    QWidget* (*target)(MainWindowStandIn&);
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class ClicksOnTheMainWindow : public BlockTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(ClicksOnTheMainWindow, DiscardedForEveryButtonWhileTheDialogHasTheFocus) {
    QWidget* target = GetParam().target(mw);
    DeliveredEvents& seen = mw.seen[target];
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(b);
        click(target, b);
    }
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(target, &menu);
    EXPECT_EQ(seen.of(QEvent::MouseButtonPress), 0);
    EXPECT_EQ(seen.of(QEvent::MouseButtonRelease), 0);
    EXPECT_EQ(seen.of(QEvent::ContextMenu), 0);

    // The user turns to the main window: its clicks work again.
    ASSERT_TRUE(activate(mw.window));
    EXPECT_FALSE(form.mouseBlock()->blocking());
    click(target, Qt::LeftButton);
    EXPECT_EQ(seen.of(QEvent::MouseButtonPress), 1);
    EXPECT_EQ(seen.of(QEvent::MouseButtonRelease), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Block, ClicksOnTheMainWindow,
    ::testing::Values(TargetCase{"PortButtonInsideAPanel", [](MainWindowStandIn& m) -> QWidget* { return m.button; }},
                      TargetCase{"BankPanel", [](MainWindowStandIn& m) -> QWidget* { return m.panel; }},
                      TargetCase{"ScrollBar", [](MainWindowStandIn& m) -> QWidget* { return m.scrollBar; }},
                      TargetCase{"MenuBar", [](MainWindowStandIn& m) -> QWidget* { return m.window.menuBar(); }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(BlockTest, DoubleClicksWheelMovementAndOtherButtonsPass) {
    DeliveredEvents& seen = mw.seen[mw.button];
    send(mw.button, QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(mw.button, QEvent::MouseMove, Qt::NoButton);
    QWheelEvent wheel(QPointF(5, 5), mw.button->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(mw.button, &wheel);
    click(mw.button, Qt::BackButton);
    EXPECT_EQ(seen.of(QEvent::MouseButtonDblClick), 1);
    EXPECT_EQ(seen.of(QEvent::MouseMove), 1);
    EXPECT_EQ(seen.of(QEvent::Wheel), 1);
    EXPECT_EQ(seen.of(QEvent::MouseButtonPress), 1) << "the back button";
}

// The window manager activates the window clicked on: the press was
// discarded while the dialog had the focus, so its release must go too, or
// the port button would see half a click and switch the port.
TEST_F(BlockTest, ReleaseOfADiscardedPressIsDiscardedAfterTheFocusMoved) {
    DeliveredEvents& seen = mw.seen[mw.button];
    send(mw.button, QEvent::MouseButtonPress, Qt::LeftButton);
    ASSERT_TRUE(activate(mw.window));
    send(mw.button, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_EQ(seen.of(QEvent::MouseButtonRelease), 0);
    click(mw.button, Qt::LeftButton);
    EXPECT_EQ(seen.of(QEvent::MouseButtonPress), 1);
    EXPECT_EQ(seen.of(QEvent::MouseButtonRelease), 1);
}

TEST_F(BlockTest, WindowsOfTheirOwnAndTheDialogItselfAreNotCovered) {
    click(mw.ownedButton, Qt::LeftButton);
    EXPECT_EQ(mw.seen[mw.ownedButton].of(QEvent::MouseButtonPress), 1);
    EXPECT_EQ(mw.seen[mw.ownedButton].of(QEvent::MouseButtonRelease), 1);
    DeliveredEvents onMemo;
    form.messageMemo()->viewport()->installEventFilter(&onMemo);
    click(form.messageMemo()->viewport(), Qt::LeftButton);
    EXPECT_EQ(onMemo.of(QEvent::MouseButtonPress), 1);
    EXPECT_EQ(form.mouseBlock()->discardedCount(), 0);
}

TEST_F(BlockTest, FocusOnTheDialogItselfBlocksHiddenDialogDoesNot) {
    form.messageMemo()->clearFocus();
    EXPECT_TRUE(form.mouseBlock()->blocking()) << "the active dialog holds the focus itself";
    click(mw.button, Qt::LeftButton);
    EXPECT_EQ(mw.seen[mw.button].of(QEvent::MouseButtonPress), 0);
    form.closeDialog();
    ASSERT_TRUE(activate(mw.window));
    click(mw.button, Qt::LeftButton);
    EXPECT_EQ(mw.seen[mw.button].of(QEvent::MouseButtonPress), 1);
}

TEST(UpgradeMouseBlockLifetime, ProtectedWidgetsThatAreGoneAreSkipped) {
    UpgradeDialog form;
    QWidget other;
    DeliveredEvents seen;
    other.installEventFilter(&seen);
    {
        QMainWindow gone;
        form.protectFromClicks({&gone, &other});
    }
    form.showDialog();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    click(&other, Qt::LeftButton);
    EXPECT_EQ(seen.of(QEvent::MouseButtonPress), 0);
    EXPECT_EQ(form.mouseBlock()->discardedCount(), 2);
}

}  // namespace
}  // namespace velmora
