// The Set Timer dialog's widgets on the offscreen platform: names, places,
// captions and accessible names, and that rows, tabs and buttons reach the
// logic (the rules themselves are tested on the logic).
#include "schedule/set_timer_dialog.h"
#include "schedule_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::enabledTimer;
using velmora::testing::onWeekday;

namespace {

struct WidgetRig {
    explicit WidgetRig(int banks = 3) : bankCount(banks) {
        for (int b = 1; b <= banks; ++b) dlg.appendTimerTab("Bank" + std::to_string(b) + " ");
    }

    template <typename T = QWidget>
    T* find(const QString& name) {
        T* w = dlg.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    template <typename T = QWidget>
    T* row(const char* prefix, int r) {
        return find<T>(QString::fromLatin1(prefix) + QString::number(r));
    }

    // Shown (not modal) and active, so that keys and focus work as for a user.
    void showActive() {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    // Runs `whileShown` inside the modal loop; a dialog still open afterwards
    // is cancelled so that a failing test cannot hang.
    bool runModal(const std::function<void()>& whileShown) {
        QTimer::singleShot(0, &dlg, [this, whileShown] {
            whileShown();
            if (dlg.isVisible()) dlg.done(QDialog::Rejected);
        });
        return dlg.showModal();
    }

    int bankCount;
    TimerTables tables;
    FixedClock clock{onWeekday(2, 8, 0, 0)};
    ScriptedDialogs dialogs;
    int transfers = 0;
    SetTimerDialog dlg{SetTimerLogic::Deps{tables, clock, dialogs, [this] { return bankCount; }, [this] { ++transfers; }}};
};

// ------------------------------------------------------------------ layout

struct PlaceCase {
    const char* name;
    const char* parent;  // object name of the parent widget
    int x, y, width, height;  // width / height 0: not fixed
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class SetTimerLayout : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(SetTimerLayout, ComponentIsNamedAndPlaced) {
    const PlaceCase& c = GetParam();
    WidgetRig rig;
    rig.dlg.show();
    QWidget* w = rig.find(QString::fromLatin1(c.name));
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
    EXPECT_EQ(w->pos(), QPoint(c.x, c.y));
    if (c.width) {
        EXPECT_EQ(w->width(), c.width);
    }
    if (c.height) {
        EXPECT_EQ(w->height(), c.height);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Components, SetTimerLayout,
    ::testing::Values(PlaceCase{"PageControl1", "Form4", 8, 8, 681, 401}, PlaceCase{"TabSet1", "Form4", 8, 408, 641, 25},
                      PlaceCase{"btnClear", "Form4", 112, 440, 75, 25}, PlaceCase{"btnLoad", "Form4", 200, 440, 75, 25},
                      PlaceCase{"btnSave", "Form4", 288, 440, 75, 25}, PlaceCase{"okButton", "Form4", 376, 440, 75, 25},
                      PlaceCase{"cancelButton", "Form4", 464, 440, 75, 25}, PlaceCase{"Apply", "Form4", 552, 440, 75, 25},
                      PlaceCase{"btnOneBank", "tbOn", 544, 344, 75, 25},
                      PlaceCase{"btnOneClear1", "tbOff", 544, 344, 75, 25},
                      PlaceCase{"chkEnable0", "tbOn", 29, 44, 20, 0}, PlaceCase{"lblBank1", "tbOn", 72, 72, 0, 0},
                      PlaceCase{"lblPort2", "tbOn", 116, 102, 0, 0}, PlaceCase{"cmbAfter3", "tbOn", 164, 132, 100, 0},
                      PlaceCase{"cmbDay4", "tbOn", 267, 162, 67, 0}, PlaceCase{"edHour5", "tbOn", 336, 192, 30, 0},
                      PlaceCase{"udHour6", "tbOn", 366, 222, 20, 0}, PlaceCase{"edMin7", "tbOn", 391, 252, 30, 0},
                      PlaceCase{"udMin8", "tbOn", 421, 282, 20, 0}, PlaceCase{"lblSince9", "tbOn", 465, 312, 0, 0},
                      PlaceCase{"chkEnable10", "tbOff", 29, 44, 20, 0}, PlaceCase{"cmbAfter19", "tbOff", 164, 312, 100, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SetTimerWindow, EveryControlIsWhollyInsideItsParent) {
    WidgetRig rig;
    rig.dlg.show();
    EXPECT_EQ(rig.dlg.size(), QSize(kSetTimerClientWidth, kSetTimerClientHeight));
    EXPECT_EQ(rig.dlg.minimumSize(), rig.dlg.maximumSize()) << "fixed border";
    for (QTabWidget* pages : {rig.dlg.pages()}) {
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QWidget* page = pages->widget(i);
            for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                EXPECT_TRUE(page->rect().contains(w->geometry())) << w->objectName().toStdString() << " on page " << i;
            }
        }
    }
    for (QWidget* w : rig.dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(rig.dlg.rect().contains(w->geometry())) << w->objectName().toStdString();
    // Captions fit their buttons.
    for (QPushButton* b : rig.dlg.findChildren<QPushButton*>()) {
        int needed = QFontMetrics(b->font()).horizontalAdvance(b->text()) + 8;
        if (!b->icon().isNull()) needed += b->iconSize().width() + 4;
        EXPECT_LE(needed, b->width()) << b->objectName().toStdString();
    }
}

TEST(SetTimerWindow, CaptionsHeadersItemsAndFonts) {
    WidgetRig rig;
    EXPECT_EQ(rig.dlg.windowTitle(), QStringLiteral("Set Timer"));
    QTabWidget* pages = rig.dlg.pages();
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Power ON      "));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Power OFF    "));
    for (int i = 0; i < 2; ++i) {
        QStringList headers;
        for (QLabel* l : pages->widget(i)->findChildren<QLabel*>())
            if (l->objectName().isEmpty()) headers << l->text();
        for (const char* h : {"Enable", "Bank", "Port", "Day", "Hour", "Minute", "Applied since Date/Time"})
            EXPECT_TRUE(headers.contains(QString::fromLatin1(h))) << h << " on page " << i;
    }
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"btnClear", "Clear All"}, {"btnLoad", "Load"},     {"btnSave", "Save"},
        {"okButton", "OK"},         {"cancelButton", "Cancel"},   {"Apply", "Apply"},
        {"btnOneBank", "Clear Bank 1"}, {"btnOneClear1", "Clear Bank 1"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(rig.find<QPushButton>(QString::fromLatin1(name))->text(), QString::fromLatin1(caption)) << name;
    QComboBox* kinds = rig.row<QComboBox>("cmbAfter", 0);
    QComboBox* days = rig.row<QComboBox>("cmbDay", 0);
    ASSERT_EQ(kinds->count(), 4);
    EXPECT_EQ(kinds->itemText(3), QStringLiteral("Every week"));
    ASSERT_EQ(days->count(), 8);
    EXPECT_EQ(days->itemText(0), QStringLiteral("NULL"));
    EXPECT_EQ(days->itemText(7), QStringLiteral("Sat"));
    QTabBar* banks = rig.dlg.tabBar();
    ASSERT_EQ(banks->count(), 3);
    EXPECT_EQ(banks->tabText(2), QStringLiteral("Bank3 "));
    EXPECT_TRUE(banks->font().families().startsWith(QStringLiteral("Times New Roman")));
    EXPECT_TRUE(rig.dlg.font().families().startsWith(QStringLiteral("MS Sans Serif")));
}

// ------------------------------------------------------------------ accessibility

TEST(SetTimerAccessibility, EveryRowControlSaysPageRowAndField) {
    WidgetRig rig;
    for (int r = 0; r < kTimerRows; ++r) {
        const struct {
            const char* prefix;
            RowField field;
        } parts[] = {{"chkEnable", RowField::enable}, {"cmbAfter", RowField::kind}, {"cmbDay", RowField::day},
                     {"edHour", RowField::hour},      {"udHour", RowField::hour},   {"edMin", RowField::minute},
                     {"udMin", RowField::minute}};
        for (const auto& p : parts)
            EXPECT_EQ(rig.row(p.prefix, r)->accessibleName().toStdString(), rowAccessibleName(r, p.field))
                << p.prefix << r;
        for (QToolButton* arrow : rig.row("udHour", r)->findChildren<QToolButton*>())
            EXPECT_TRUE(arrow->accessibleName().startsWith(QString::fromStdString(rowAccessibleName(r, RowField::hour))));
    }
    EXPECT_EQ(rig.row("edHour", 4)->accessibleName(), QStringLiteral("Power ON Port 3 hour"));
    EXPECT_EQ(rig.row("chkEnable", 11)->accessibleName(), QStringLiteral("Power OFF Whole bank enable"));
    EXPECT_EQ(rig.row("lblBank", 0)->accessibleName(), QStringLiteral("Power ON All banks bank all"));
    for (const char* name : {"TabSet1", "PageControl1", "btnOneBank", "okButton"})
        EXPECT_FALSE(rig.find(QString::fromLatin1(name))->accessibleName().isEmpty()) << name;
}

TEST(SetTimerAccessibility, SinceLabelSpeaksItsTextAndAFlaggedPortSaysInvalid) {
    WidgetRig rig;
    TimerEntry e = enabledTimer(KindAt, 7, 5);
    setSinceDate(e, "2026/3/2");
    e.baseHour = 21;
    e.baseMinute = 30;
    rig.tables.setEntry(TableId::LiveOn, 0, 1, e);
    TimerEntry flagged;
    flagged.invalid = 1;
    rig.tables.setEntry(TableId::LiveOn, 0, 2, flagged);
    rig.dlg.show();
    QLabel* since = rig.row<QLabel>("lblSince", 3);
    EXPECT_EQ(since->text(), QStringLiteral("2026/3/2 21:30"));
    EXPECT_EQ(since->accessibleName(), since->text());
    QLabel* invalid = rig.row<QLabel>("lblSince", 4);
    EXPECT_EQ(invalid->text(), QStringLiteral("Invalid"));
    EXPECT_EQ(invalid->accessibleName(), QStringLiteral("Invalid"));
    EXPECT_EQ(invalid->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(invalid->isEnabled());
    EXPECT_FALSE(rig.row("chkEnable", 4)->isVisible());
    EXPECT_FALSE(rig.row("edHour", 4)->isVisible());
    EXPECT_TRUE(rig.row("chkEnable", 5)->isVisible());
    EXPECT_NE(rig.row<QLabel>("lblSince", 5)->palette().color(QPalette::WindowText), QColor(Qt::red));
}

// ------------------------------------------------------------------ rows reach the logic

TEST(SetTimerWiring, CheckBoxClickRunsTheRulesAndShowsTheirOutcome) {
    WidgetRig rig;
    rig.showActive();
    QComboBox* kind = rig.row<QComboBox>("cmbAfter", 4);
    kind->setFocus();
    QTest::keyClick(kind, Qt::Key_End);  // "Every week", day still "NULL"
    EXPECT_EQ(rig.dlg.logic().row(4).kind, KindEveryWeek);
    EXPECT_TRUE(rig.row("cmbDay", 4)->isEnabled());
    QCheckBox* box = rig.row<QCheckBox>("chkEnable", 4);
    box->click();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, kDayFieldMessage);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(rig.dlg.logic().row(4).checked);

    QTest::keyClick(rig.row<QComboBox>("cmbDay", 4), Qt::Key_Down);  // "Sun"
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(kind->isEnabled()) << "a set row is locked";
    EXPECT_FALSE(rig.row("edHour", 4)->isEnabled());
}

TEST(SetTimerWiring, TypedHoursGoThroughTheLimitAndTheKeyFilter) {
    WidgetRig rig;
    rig.showActive();
    auto* hour = rig.row<QLineEdit>("edHour", 14);
    rig.dlg.pages()->setCurrentIndex(1);
    QTest::keyClick(rig.row("cmbAfter", 14), Qt::Key_Down);  // "At"
    hour->setFocus();
    hour->selectAll();
    QTest::keyClicks(hour, "x7-5");
    EXPECT_EQ(hour->text(), QStringLiteral("23"));
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Value range: 0 - 23");
    EXPECT_EQ(rig.dlg.logic().row(14).hourText, "23");
    EXPECT_TRUE(hour->hasFocus());

    QTest::keyClick(hour, Qt::Key_Up);
    EXPECT_EQ(hour->text(), QStringLiteral("0")) << "Up steps and wraps";
    QTest::keyClick(hour, Qt::Key_Return);
    EXPECT_TRUE(rig.row("edMin", 14)->hasFocus()) << "Enter moves on";
    EXPECT_TRUE(rig.dlg.isVisible()) << "Enter in a field is not the default button";
}

TEST(SetTimerWiring, LeavingAnEmptiedMinuteFieldPutsTheLimitBack) {
    WidgetRig rig;
    rig.showActive();
    auto* minute = rig.row<QLineEdit>("edMin", 2);
    minute->setFocus();
    QTest::keyClick(minute, Qt::Key_Backspace);
    EXPECT_EQ(minute->text(), QString());
    QTest::keyClick(minute, Qt::Key_Tab);
    EXPECT_EQ(minute->text(), QStringLiteral("59"));
    ASSERT_FALSE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.dialogs.shown.back().text, "Value must between 0 and 59");
    EXPECT_TRUE(minute->hasFocus());
}

TEST(SetTimerWiring, UpDownArrowsStepTheFieldAndFocusIt) {
    WidgetRig rig;
    rig.showActive();
    QWidget* upDown = rig.row("udMin", 6);
    QToolButton* down = upDown->findChild<QToolButton*>(QStringLiteral("down"));
    ASSERT_NE(down, nullptr);
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(rig.row<QLineEdit>("edMin", 6)->text(), QStringLiteral("59"));
    EXPECT_TRUE(rig.row("edMin", 6)->hasFocus());
}

TEST(SetTimerWiring, TabStripClickShowsTheChosenBank) {
    WidgetRig rig;
    rig.tables.setEntry(TableId::LiveOff, 2, 0, enabledTimer(KindEveryDay, 6, 0));
    rig.showActive();
    QTabBar* banks = rig.dlg.tabBar();
    QTest::mouseClick(banks, Qt::LeftButton, {}, banks->tabRect(2).center());
    EXPECT_EQ(rig.dlg.logic().PageBank(), 2);
    EXPECT_EQ(rig.find<QPushButton>(QStringLiteral("btnOneBank"))->text(), QStringLiteral("Clear Bank 3"));
    EXPECT_EQ(rig.row<QLabel>("lblBank", 12)->text(), QStringLiteral("3"));
    EXPECT_TRUE(rig.row<QCheckBox>("chkEnable", 12)->isChecked());
}

TEST(SetTimerWiring, TabsFollowTheMainWindow) {
    WidgetRig rig(0);
    rig.dlg.appendTimerTab("Bank1 ");
    rig.dlg.appendTimerTab("Bank2 ");
    EXPECT_EQ(rig.dlg.tabBar()->count(), 2);
    EXPECT_EQ(rig.dlg.selectedTab(), 0);
    EXPECT_EQ(rig.dlg.tabBar()->currentIndex(), 0);
    rig.dlg.deleteTimerTab(0);
    EXPECT_EQ(rig.dlg.tabBar()->tabText(0), QStringLiteral("Bank2 "));
    rig.dlg.selectFirstTimerTab();
    EXPECT_EQ(rig.dlg.selectedTab(), 0);
    EXPECT_FALSE(rig.dlg.timerDialogVisible());
}

// ------------------------------------------------------------------ buttons and the modal result

TEST(SetTimerModal, OkCollectsAndAnswersTrue) {
    WidgetRig rig;
    rig.dlg.setDialogBank(1);
    const bool ok = rig.runModal([&] {
        EXPECT_TRUE(rig.dlg.timerDialogVisible());
        EXPECT_EQ(rig.dlg.logic().PageBank(), 1) << "the show steps ran";
        rig.row<QCheckBox>("chkEnable", 3)->click();
        rig.find<QPushButton>(QStringLiteral("okButton"))->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(rig.tables.entry(TableId::EditOn, 1, 1).pending, 1);
    EXPECT_EQ(rig.tables.entry(TableId::EditOn, 1, 1).enabled, 1);
    EXPECT_EQ(rig.transfers, 0) << "OK leaves the sending to the main window";
}

TEST(SetTimerModal, CancelEscapeAndTheMainWindowsCancelAnswerFalse) {
    const std::vector<std::pair<const char*, std::function<void(WidgetRig&)>>> ways = {
        {"Cancel", [](WidgetRig& r) { r.find<QPushButton>(QStringLiteral("cancelButton"))->click(); }},
        {"Escape", [](WidgetRig& r) { QTest::keyClick(&r.dlg, Qt::Key_Escape); }},
        {"CloseBox", [](WidgetRig& r) { r.dlg.close(); }},
        {"MainWindow", [](WidgetRig& r) { r.dlg.cancelTimerDialog(); }},
    };
    for (const auto& [name, way] : ways) {
        WidgetRig rig;
        bool stillShown = true;
        const bool ok = rig.runModal([&] {
            rig.row<QCheckBox>("chkEnable", 3)->click();
            way(rig);
            stillShown = rig.dlg.isVisible();
        });
        EXPECT_FALSE(ok) << name;
        EXPECT_FALSE(stillShown) << name;
        EXPECT_EQ(rig.tables.entry(TableId::EditOn, 0, 1), TimerEntry{}) << name << ": nothing collected";
    }
}

TEST(SetTimerModal, ApplySendsAndStaysOpenAndRefreshRefills) {
    WidgetRig rig;
    rig.runModal([&] {
        rig.row<QCheckBox>("chkEnable", 9)->click();
        rig.find<QPushButton>(QStringLiteral("Apply"))->click();
        EXPECT_EQ(rig.transfers, 1);
        EXPECT_TRUE(rig.dlg.isVisible());
        // The unit confirmed: the dialog shows the live tables again.
        rig.tables.setEntry(TableId::LiveOn, 0, 2, enabledTimer(KindAt, 9, 0));
        rig.dlg.refreshTimerDialog();
        EXPECT_TRUE(rig.row<QCheckBox>("chkEnable", 4)->isChecked());
        EXPECT_FALSE(rig.row<QCheckBox>("chkEnable", 9)->isChecked()) << "not confirmed yet";
    });
}

TEST(SetTimerModal, KeyboardAloneSetsAndSendsATimer) {
    WidgetRig rig;
    const bool ok = rig.runModal([&] {
        rig.dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.dlg));
        rig.row("cmbAfter", 5)->setFocus(Qt::TabFocusReason);
        QWidget* w = QApplication::focusWidget();
        ASSERT_EQ(w, rig.row("cmbAfter", 5));
        QTest::keyClick(w, Qt::Key_Down);          // "At"
        QTest::keyClick(w, Qt::Key_Tab);           // the day is closed for "At": on to the hour
        w = QApplication::focusWidget();
        ASSERT_EQ(w, rig.row("edHour", 5));
        QTest::keyClick(w, Qt::Key_Backspace);
        QTest::keyClicks(w, "9");
        QTest::keyClick(w, Qt::Key_Return);        // on to the minute
        w = QApplication::focusWidget();
        ASSERT_EQ(w, rig.row("edMin", 5));
        QTest::keyClick(w, Qt::Key_Backspace);
        QTest::keyClicks(w, "30");
        QTest::keyClick(w, Qt::Key_Return);        // on to the check box
        w = QApplication::focusWidget();
        ASSERT_EQ(w, rig.row("chkEnable", 5));
        QTest::keyClick(w, Qt::Key_Space);         // set
        QTest::keyClick(w, Qt::Key_Return);        // the default button: OK
    });
    EXPECT_TRUE(ok);
    const TimerEntry e = rig.tables.entry(TableId::EditOn, 0, 3);
    EXPECT_EQ(e.pending, 1);
    EXPECT_EQ(e.enabled, 1);
    EXPECT_EQ(e.kind, KindAt);
    EXPECT_EQ(e.hour, 9);
    EXPECT_EQ(e.minute, 30);
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

}  // namespace
