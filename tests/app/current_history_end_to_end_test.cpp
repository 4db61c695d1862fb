// Each bank's current as the unit reports it goes into the history; Tools
// -> "Current history" draws every bank, a panel's pop-up item its bank
// alone, and "Export CSV..." writes the samples through the file chooser.

#include "app/application.h"

#include <QAction>
#include <QFileDialog>
#include <QLineSeries>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "app/program_rig.h"
#include "mainwindow/current_history_window.h"
#include "mainwindow/main_window.h"
#include "support/event_loop.h"

namespace velmora {
namespace {

using test::ProgramOptions;
using test::ProgramRig;

TEST(CurrentHistoryEndToEnd, ReportedCurrentIsDrawnPerBankAndExported) {
    ProgramOptions o;
    o.unit.banks = 3;
    ProgramRig rig(o);
    // Bank 2 draws 2.4 A + 3.3 A.
    rig.unit().withModel([](sim::UnitModel& m) {
        m.setPort(2, 3, true);
        m.setPort(2, 5, true);
    });
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(3));
    const auto bank2Seen = [&] {
        const auto s = rig.app().history().samples(2, rig.timers().nowMs());
        return !s.empty() && std::fabs(s.back().amperes - 5.7f) < 0.01f;
    };
    for (int poll = 0; poll < 6 && !bank2Seen(); ++poll) {
        rig.clock().advanceSeconds(1);
        rig.afterNextPoll(bank2Seen);
    }
    ASSERT_TRUE(bank2Seen()) << "bank 2's reported current never reached the history";

    // Tools -> Current history: one line per bank, bank 2's at 5.7 A.
    test::triggerAndRun(rig.app().window().menuItem("mlCurrentHistory"));
    CurrentHistoryWindow& window = rig.app().historyWindow();
    ASSERT_TRUE(window.isVisible());
    ASSERT_EQ(window.lines().size(), 3u);
    EXPECT_EQ(window.lines()[1]->name().toStdString(), "Bank 2");
    ASSERT_GT(window.lines()[1]->count(), 0);
    EXPECT_NEAR(window.lines()[1]->points().back().y(), 5.7, 0.01);
    EXPECT_DOUBLE_EQ(window.lines()[0]->points().back().y(), 0.0) << "bank 1 draws nothing";

    // A new report while the window is open is drawn at once.
    const int before = window.lines()[1]->count();
    rig.unit().withModel([](sim::UnitModel& m) { m.setPort(2, 5, false); });
    rig.clock().advanceSeconds(1);
    ASSERT_TRUE(rig.afterNextPoll([&] {
        return window.lines()[1]->count() > before && std::fabs(window.lines()[1]->points().back().y() - 2.4) < 0.01;
    })) << "the open window did not follow the unit";

    // The second panel's pop-up item: that bank alone.
    test::triggerAndRun(rig.app().window().menuItem("mlHistory2"));
    ASSERT_EQ(window.lines().size(), 1u);
    EXPECT_EQ(window.lines()[0]->name().toStdString(), "Bank 2");
    EXPECT_EQ(window.windowTitle().toStdString(), "Current history - Bank 2");

    // Export CSV...: local time of the program's clock, bank, amperes.
    const std::filesystem::path csv = rig.folder() / "history.csv";
    rig.onModal = [&](QWidget* modal) {
        if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
            chooser->selectFile(QString::fromStdString(csv.string()));
            static_cast<QDialog*>(chooser)->accept();
        }
    };
    window.findChild<QPushButton*>("btnExportCsv")->click();
    std::ifstream in(csv);
    ASSERT_TRUE(in) << "nothing was written";
    std::stringstream text;
    text << in.rdbuf();
    const std::string written = text.str();
    EXPECT_EQ(written.rfind("time,bank,current\n", 0), 0u) << written;
    EXPECT_NE(written.find(",2,5.7\n"), std::string::npos) << written;
    EXPECT_NE(written.find(",2,2.4\n"), std::string::npos) << written;
    EXPECT_NE(written.find("2026-12-08T21:00:"), std::string::npos) << "not the program's clock: " << written;
    EXPECT_TRUE(rig.messages.empty()) << rig.messages.front();
}

}  // namespace
}  // namespace velmora
