// What a screen reader hears: the main window's accessibility tree, walked
// from the window down as an assistive tool walks it, after the unit's
// reports, after a scroll and while the flash timer blinks the ALARM lamps.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/event_loop.h"
#include "support/live_window.h"

namespace velmora {
namespace {

// Every named object the tree reaches, with the name it speaks.
using SpokenNames = std::map<std::string, std::string>;

void collect(QAccessibleInterface* node, SpokenNames& names, int depth) {
    if (!node || !node->isValid() || depth > 32) return;
    if (QObject* object = node->object(); object && !object->objectName().isEmpty())
        names[object->objectName().toStdString()] = node->text(QAccessible::Name).toStdString();
    for (int i = 0; i < node->childCount(); ++i) collect(node->child(i), names, depth + 1);
}

std::string objectNameOf(ComponentId id) { return std::string(componentName(id).view()); }

SpokenNames walkTree(QWidget& window) {
    SpokenNames names;
    collect(QAccessible::queryAccessibleInterface(&window), names, 0);
    return names;
}

using test::BankReport;
using test::spinFor;
using test::spinUntil;
using Window = test::LiveWindow;

// One expected spoken name.
struct Heard {
    ComponentId component;
    const char* name;
};

struct ReportCase {
    const char* name;
    int banks;
    std::vector<BankReport> reports;
    std::vector<Heard> heard;
};

class SpokenAfterReports : public ::testing::TestWithParam<ReportCase> {};

TEST_P(SpokenAfterReports, TreeSpeaksWhatTheReportsDrew) {
    const ReportCase& c = GetParam();
    Window w;
    w.reportBankCount(c.banks);
    for (const BankReport& r : c.reports) w.report(r);
    const SpokenNames names = walkTree(w.form);
    for (const Heard& h : c.heard) {
        const std::string object = objectNameOf(h.component);
        const auto it = names.find(object);
        ASSERT_NE(it, names.end()) << object << " is not in the accessibility tree";
        EXPECT_EQ(it->second, h.name) << object;
    }
}

INSTANTIATE_TEST_SUITE_P(
    App, SpokenAfterReports,
    ::testing::Values(
        ReportCase{"OnePortOnNoAlarm",
                   1,
                   {{1, "OCCCCCCC", "GGGGGGGG", 3.46f}},
                   {{portLedId(11), "Bank 1 Port 1 on"},
                    {portLedId(12), "Bank 1 Port 2 off"},
                    {portLedId(18), "Bank 1 Port 8 off"},
                    {portButtonId(11), "Bank 1 Port 1"},
                    {portButtonId(18), "Bank 1 Port 8"},
                    {currentDisplayId(1), "Bank 1 current 3.4 A"},
                    {bankDisplayId(1), "Bank 1"},
                    {menuButtonId(1), "Bank 1 menu"}}},
        ReportCase{"FlaggedPortsSpeakTheirAlarm",
                   3,
                   {{3, "CCCOCCCO", "GGGFGGGF", 12.7f}},
                   {{portLedId(34), "Bank 3 Port 4 on, alarm"},
                    {portLedId(38), "Bank 3 Port 8 on, alarm"},
                    {portLedId(33), "Bank 3 Port 3 off"},
                    {timeLabelId(34), ""},
                    {currentDisplayId(3), "Bank 3 current 12 A"}}},
        ReportCase{"FlaggedPortOffKeepsItsAlarm", 2, {{2, "CCCCCCCC", "FGGGGGGG", 0.0f}},
                   {{portLedId(21), "Bank 2 Port 1 off, alarm"}, {portLedId(22), "Bank 2 Port 2 off"},
                    {currentDisplayId(2), "Bank 2 current 0.0 A"}}},
        ReportCase{"EachSlotSpeaksItsOwnBank",
                   3,
                   {{1, "OOOOOOOO", "GGGGGGGG", 9.99f}, {2, "CCCCCCCC", "GGGGGGGG", 10.0f},
                    {3, "OCOCOCOC", "GGGGGGGG", 0.05f}},
                   {{portLedId(18), "Bank 1 Port 8 on"},
                    {portLedId(28), "Bank 2 Port 8 off"},
                    {portLedId(37), "Bank 3 Port 7 on"},
                    {currentDisplayId(1), "Bank 1 current 9.9 A"},
                    {currentDisplayId(2), "Bank 2 current 10 A"},
                    {currentDisplayId(3), "Bank 3 current 0.0 A"},
                    {bankDisplayId(3), "Bank 3"},
                    {menuButtonId(2), "Bank 2 menu"}}},
        ReportCase{"LaterReportReplacesTheName",
                   1,
                   {{1, "OCCCCCCC", "FGGGGGGG", 5.5f}, {1, "CCCCCCCC", "GGGGGGGG", 0.4f}},
                   {{portLedId(11), "Bank 1 Port 1 off"}, {currentDisplayId(1), "Bank 1 current 0.4 A"}}}),
    [](const auto& row) { return std::string(row.param.name); });

struct ScrollCase {
    const char* name;
    int banks;
    int position;
    std::vector<Heard> heard;
};

class SpokenAfterScroll : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(SpokenAfterScroll, SlotsSpeakTheBanksTheyNowShow) {
    const ScrollCase& c = GetParam();
    Window w;
    w.reportBankCount(c.banks);
    // Bank b: port b on (ports beyond 8 none), flag on port 9 - b, current b.b A.
    for (int b = 1; b <= c.banks; ++b) {
        std::string states(8, 'C');
        std::string flags(8, 'G');
        if (b <= 8) states[static_cast<std::size_t>(b - 1)] = 'O';
        if (b <= 8) flags[static_cast<std::size_t>(8 - b)] = 'F';
        w.report({b, states.c_str(), flags.c_str(), static_cast<float>(b) * 1.1f});
    }
    w.form.scrollBar()->setValue(c.position);  // as the user drags it
    ASSERT_EQ(w.logic.scrollPosition(), c.position);
    const SpokenNames names = walkTree(w.form);
    for (const Heard& h : c.heard) {
        const std::string object = objectNameOf(h.component);
        const auto it = names.find(object);
        ASSERT_NE(it, names.end()) << object << " is not in the accessibility tree";
        EXPECT_EQ(it->second, h.name) << object;
    }
}

INSTANTIATE_TEST_SUITE_P(
    App, SpokenAfterScroll,
    ::testing::Values(ScrollCase{"FiveBanksToTheEnd",
                                 5,
                                 3,
                                 {{portButtonId(11), "Bank 3 Port 1"},
                                  {portButtonId(38), "Bank 5 Port 8"},
                                  {portLedId(13), "Bank 3 Port 3 on"},
                                  {portLedId(16), "Bank 3 Port 6 off, alarm"},
                                  {portLedId(25), "Bank 4 Port 5 off, alarm"},
                                  {portLedId(24), "Bank 4 Port 4 on"},
                                  {portLedId(35), "Bank 5 Port 5 on"},
                                  {bankDisplayId(1), "Bank 3"},
                                  {bankDisplayId(3), "Bank 5"},
                                  {currentDisplayId(1), "Bank 3 current 3.3 A"},
                                  {currentDisplayId(2), "Bank 4 current 4.4 A"},
                                  {currentDisplayId(3), "Bank 5 current 5.5 A"},
                                  {menuButtonId(1), "Bank 3 menu"},
                                  {menuButtonId(3), "Bank 5 menu"}}},
                      ScrollCase{"TwelveBanksToTheEnd",
                                 12,
                                 10,
                                 {{portButtonId(21), "Bank 11 Port 1"},
                                  {portLedId(31), "Bank 12 Port 1 off"},
                                  {bankDisplayId(1), "Bank 10"},
                                  {bankDisplayId(3), "Bank 12"},
                                  {currentDisplayId(1), "Bank 10 current 11 A"},
                                  {currentDisplayId(3), "Bank 12 current 13 A"},
                                  {menuButtonId(2), "Bank 11 menu"}}},
                      ScrollCase{"FourBanksOneStep",
                                 4,
                                 2,
                                 {{portButtonId(11), "Bank 2 Port 1"},
                                  {portLedId(12), "Bank 2 Port 2 on"},
                                  {portLedId(17), "Bank 2 Port 7 off, alarm"},
                                  {portLedId(34), "Bank 4 Port 4 on"},
                                  {currentDisplayId(2), "Bank 3 current 3.3 A"},
                                  {menuButtonId(3), "Bank 4 menu"}}}),
    [](const auto& row) { return std::string(row.param.name); });

// What kind of object each picture is: a screen reader announces port and
// menu buttons as buttons it can press, lamps as images and each digit
// display as one label, and a port button says whether its port is on.
QAccessibleInterface* interfaceOf(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }

int countNamed(QAccessibleInterface* node, const QString& name, int depth = 0) {
    if (!node || !node->isValid() || depth > 32) return 0;
    int n = node->text(QAccessible::Name) == name ? 1 : 0;
    for (int i = 0; i < node->childCount(); ++i) n += countNamed(node->child(i), name, depth + 1);
    return n;
}

TEST(AccessibleRoles, ButtonsPressLampsAreImagesDisplaysAreOneLabel) {
    Window w;
    std::vector<std::string> pressed;
    MainWindow::Handlers h;
    h.portButtonPressed = [&](int key) { pressed.push_back("down " + std::to_string(key)); };
    h.portButtonReleased = [&](int key) { pressed.push_back("up " + std::to_string(key)); };
    h.menuButtonPressed = [&](int slot) { pressed.push_back("menu down " + std::to_string(slot)); };
    h.menuButtonReleased = [&](int slot) { pressed.push_back("menu up " + std::to_string(slot)); };
    w.form.setHandlers(h);
    w.reportBankCount(1);
    w.report({1, "COCCCCCC", "GGGGGGGG", 3.46f});

    QAccessibleInterface* button = interfaceOf(w.form.component(portButtonId(12)));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_TRUE(button->state().checkable);
    EXPECT_TRUE(button->state().checked) << "port 2 is on";
    EXPECT_EQ(button->text(QAccessible::Description), "on");
    QAccessibleInterface* offButton = interfaceOf(w.form.component(portButtonId(11)));
    EXPECT_FALSE(offButton->state().checked) << "port 1 is off";
    EXPECT_EQ(offButton->text(QAccessible::Description), "off");
    QAccessibleActionInterface* actions = button->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    // Pressing through the bus answers the screen reader at once (the click
    // may ask a question in a modal box), then takes the path of a click:
    // press, then release.
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(pressed.empty()) << "the click ran inside the accessibility call";
    EXPECT_TRUE(spinUntil([&] { return pressed.size() >= 2; }));
    EXPECT_EQ(pressed, (std::vector<std::string>{"down 12", "up 12"}));

    QAccessibleInterface* menu = interfaceOf(w.form.component(menuButtonId(1)));
    EXPECT_EQ(menu->role(), QAccessible::Button);
    menu->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(spinUntil([&] { return pressed.back() == "menu up 1"; }));

    // Locked (an upgrade sends its image): no press reaches the window.
    pressed.clear();
    w.form.setInputLocked(true);
    actions->doAction(QAccessibleActionInterface::pressAction());
    spinFor(50);
    EXPECT_TRUE(pressed.empty());
    w.form.setInputLocked(false);

    EXPECT_EQ(interfaceOf(w.form.component(portLedId(12)))->role(), QAccessible::Graphic);

    // The state follows the unit's next report.
    w.report({1, "CCCCCCCC", "GGGGGGGG", 0.0f});
    EXPECT_FALSE(button->state().checked);

    // One display, one object, one name; its digits are not read on their own.
    w.report({1, "COCCCCCC", "GGGGGGGG", 3.46f});
    QAccessibleInterface* current = interfaceOf(w.form.component(currentDisplayId(1)));
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->role(), QAccessible::StaticText);
    EXPECT_EQ(current->text(QAccessible::Name), "Bank 1 current 3.4 A");
    EXPECT_EQ(current->childCount(), 0);
    const SpokenNames names = walkTree(w.form);
    EXPECT_EQ(names.count(objectNameOf(currentDigitId(1, 1))) + names.count(objectNameOf(currentDigitId(1, 2))), 0u);
    EXPECT_EQ(names.count(objectNameOf(bankDigitId(1, 1))) + names.count(objectNameOf(bankDigitId(1, 2))), 0u);
    QAccessibleInterface* root = interfaceOf(w.form.component(panelId(1)));
    EXPECT_EQ(countNamed(root, "Bank 1 current 3.4 A"), 1);
    EXPECT_EQ(root->role(), QAccessible::Grouping) << "a panel, not a filler";
    EXPECT_EQ(root->text(QAccessible::Name), "Bank 1");
    EXPECT_EQ(countNamed(root, "Bank 1"), 2) << "the panel and its bank-number display";
}

// The flash timer: an enabled timer makes the ALARM lamp blink, and the
// spoken name follows the lamp; the time label speaks what it shows.
struct FlashCase {
    const char* name;
    int ticks;
    const char* ledName;
    const char* labelText;
};

class SpokenWhileFlashing : public ::testing::TestWithParam<FlashCase> {};

TEST_P(SpokenWhileFlashing, AlarmIsSpokenOnlyWhileTheLampIsLit) {
    const FlashCase& c = GetParam();
    Window w;
    w.reportBankCount(1);
    w.report({1, "CCOCCCCC", "GGGGGGGG", 1.0f});
    // Port 3: power-on every day at 12:05, 2 hours 5 minutes from 10:00.
    TimerEntry on{};
    on.enabled = 1;
    on.kind = KindEveryDay;
    on.hour = 12;
    on.minute = 5;
    ASSERT_TRUE(w.tables.setEntry(TableId::LiveOn, 0, 2, on));
    for (int i = 0; i < c.ticks; ++i) w.logic.flashTick();
    ASSERT_EQ(w.logic.FlashPhase(), c.ticks % 2);

    const SpokenNames names = walkTree(w.form);
    EXPECT_EQ(names.at(objectNameOf(portLedId(13))), c.ledName);
    EXPECT_EQ(names.at(objectNameOf(timeLabelId(13))), c.labelText);
    // A port without a timer keeps a steady, alarm-free name and an empty label.
    EXPECT_EQ(names.at(objectNameOf(portLedId(14))), "Bank 1 Port 4 off");
    EXPECT_EQ(names.at(objectNameOf(timeLabelId(14))), "");
}

INSTANTIATE_TEST_SUITE_P(App, SpokenWhileFlashing,
                         ::testing::Values(FlashCase{"BeforeAnyTick", 0, "Bank 1 Port 3 on", ""},
                                           FlashCase{"LampLit", 1, "Bank 1 Port 3 on, alarm", " 2: 5"},
                                           FlashCase{"LampDark", 2, "Bank 1 Port 3 on", " 2: 5"},
                                           FlashCase{"LitAgain", 3, "Bank 1 Port 3 on, alarm", " 2: 5"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
