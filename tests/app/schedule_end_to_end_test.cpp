// The schedule from end to end: the Set Timer dialog opened from a panel's
// pop-up menu of the real program, timers set in both directions and sent
// with OK to the simulated unit on a pty, which confirms every command
// before the next goes out and then reports its timers; the panel counts
// them down and blinks. "Clear All" and OK clear them on the unit again.

#include <QAction>
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "support/event_loop.h"

#include <string>
#include <vector>

#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_window.h"
#include "schedule/set_timer_dialog.h"
#include "app/program_rig.h"

namespace velmora {
namespace {

using test::ProgramRig;

template <typename T = QWidget>
T* child(QWidget* dialog, const QString& name) {
    return dialog->findChild<T*>(name);
}
QString rowName(const char* prefix, int row) { return QString::fromLatin1(prefix) + QString::number(row); }

// Picks a kind the way a user does with the keyboard, from "After".
void pickKind(QWidget* dialog, int row, int downs) {
    auto* kind = child<QComboBox>(dialog, rowName("cmbAfter", row));
    ASSERT_NE(kind, nullptr);
    kind->setFocus();
    for (int i = 0; i < downs; ++i) QTest::keyClick(kind, Qt::Key_Down);
}
void type(QWidget* dialog, const char* prefix, int row, const char* digits) {
    auto* field = child<QLineEdit>(dialog, rowName(prefix, row));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, digits);
}
void click(QWidget* dialog, const QString& name) {
    auto* w = child<QAbstractButton>(dialog, name);
    ASSERT_NE(w, nullptr) << name.toStdString();
    QTest::mouseClick(w, Qt::LeftButton);
}

// The commands the unit received after the first `skip`.
std::vector<std::string> commandsAfter(const sim::PtySimulator& unit, std::size_t skip) {
    const std::vector<std::string> all = unit.commands();
    std::vector<std::string> out;
    for (std::size_t i = skip; i < all.size(); ++i)
        if (all[i] != "C") out.push_back(all[i]);
    return out;
}

TEST(ScheduleEndToEnd, TimersSetInTheDialogReachTheUnitOneByOneAndTheirCountdownShows) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    ProgramRig rig(o);
    // The unit already holds a power-on timer on bank 2, port 2.
    rig.unit().withModel([](sim::UnitModel& m) { m.feed("/T0221 0030000\\"); });
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    ASSERT_TRUE(rig.waitFor([&] { return rig.app().tables().entry(TableId::LiveOn, 1, 1).enabled == 1; }))
        << "the unit's timer report never reached the tables";

    // ---- The user edits bank 2 (the second panel's menu) and presses OK ----
    SetTimerDialog& dialog = rig.app().timerDialog();
    bool edited = false;
    rig.onModal = [&](QWidget* modal) {
        if (modal != &dialog || edited) return;
        edited = true;
        EXPECT_EQ(dialog.DialogBank(), 1);
        ASSERT_TRUE(child<QCheckBox>(&dialog, rowName("chkEnable", 3))->isChecked()) << "port 2's timer is shown";
        click(&dialog, rowName("chkEnable", 3));  // power-on port 2 off
        pickKind(&dialog, 6, 2);                  // power-on port 5: "Every day" 07:30
        type(&dialog, "edHour", 6, "7");
        type(&dialog, "edMin", 6, "30");
        click(&dialog, rowName("chkEnable", 6));
        child<QTabWidget>(&dialog, "PageControl1")->setCurrentIndex(1);
        pickKind(&dialog, 11, 1);  // power-off, the whole bank: "At" 22:00
        type(&dialog, "edHour", 11, "22");
        click(&dialog, rowName("chkEnable", 11));
        EXPECT_TRUE(child<QCheckBox>(&dialog, rowName("chkEnable", 15))->isChecked()) << "the cascade";
        click(&dialog, "okButton");
    };
    const std::size_t before = rig.unit().commands().size();
    QAction* item = rig.app().window().menuItem("mlSetOneTimer2");
    ASSERT_NE(item, nullptr);
    test::triggerAndRun(item);
    EXPECT_TRUE(edited);
    EXPECT_TRUE(rig.messages.empty()) << rig.messages.front();

    // Each command goes out once the unit confirmed the one before it.
    const std::vector<std::string> sent{"Q0221", "D0251 0102945", "T0200 0005945"};
    ASSERT_TRUE(rig.waitFor([&] { return commandsAfter(rig.unit(), before).size() >= sent.size(); }))
        << "the transfer stopped";
    EXPECT_EQ(commandsAfter(rig.unit(), before), sent);
    EXPECT_TRUE(rig.waitFor([&] { return rig.app().state().Queue.empty(); })) << "a command was never confirmed";

    // ---- The unit's reports: the panel counts down and the lamps blink ----
    ASSERT_TRUE(rig.afterNextPoll([&] {
        return rig.app().tables().entry(TableId::LiveOn, 1, 4).enabled == 1 &&
               rig.app().tables().entry(TableId::LiveOff, 1, 0).enabled == 1;
    })) << "the unit did not report the timers it was sent";
    EXPECT_EQ(rig.app().tables().entry(TableId::LiveOn, 1, 1).enabled, 0) << "port 2's timer was cleared";
    std::vector<PictureRef> lamps;
    for (int tick = 0; tick < 2; ++tick) {
        rig.timers().advance(kFlashIntervalMs);
        lamps.push_back(*rig.app().window().shownPicture(portLedId(25)));
        // The whole-bank power-off at 22:00 is the sooner timer of every port.
        for (int port = 1; port <= 8; ++port) {
            auto* label = qobject_cast<QLabel*>(rig.app().window().component(timeLabelId(portKey(2, port))));
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text().toStdString(), " 0:59") << "port " << port;
        }
    }
    EXPECT_NE(lamps[0], lamps[1]) << "the ALARM lamp does not blink";

    // ---- "Clear All" and OK clear them on the unit ----
    bool cleared = false;
    rig.onModal = [&](QWidget* modal) {
        if (modal != &dialog || cleared) return;
        cleared = true;
        click(&dialog, "btnClear");
        click(&dialog, "okButton");
    };
    const std::size_t beforeClear = rig.unit().commands().size();
    test::triggerAndRun(item);
    EXPECT_TRUE(cleared);
    ASSERT_TRUE(rig.waitFor([&] { return commandsAfter(rig.unit(), beforeClear).size() >= 2; }));
    EXPECT_EQ(commandsAfter(rig.unit(), beforeClear), (std::vector<std::string>{"Q0251", "Q0200"}));
    EXPECT_TRUE(rig.waitFor([&] {
        return rig.unit().withModel([](sim::UnitModel& m) { return m.timers().empty(); });
    })) << "the unit still holds timers";
    EXPECT_FALSE(rig.forced());
}

}  // namespace
}  // namespace velmora
