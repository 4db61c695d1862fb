// The whole program against the simulated unit on a real pty, driven the
// way a user drives it: clicks on the port buttons, the panels' pop-up
// menus and the main menu's Connect and Disconnect, each question answered
// in its message box. The unit, not the test, says whether a command went
// out; the window's LEDs must follow the unit's next status report.
//
// The program's window timers are manual: a step that waits for the LEDs
// moves their time on by one poll interval, so the next poll goes out at
// once. The serial line, the reader and the detection run for real. Every
// wait has a generous bound; nothing here measures speed.

#include "app/application.h"
#include "session/unit_session.h"

#include <QAccessible>
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/detect_dialog.h"
#include "support/event_loop.h"
#include "link/device_state.h"
#include "link/serial_link.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_window.h"
#include "mainwindow/window_logic.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "support/temp_folder.h"
#include "sim/pty_simulator.h"

namespace velmora {
namespace {

using test::spinUntil;

// A slow answer on a loaded machine; only a hang reaches it.
constexpr int kStepBoundMs = 30000;
// Past this, since the rig started, a modal still open is closed by force
// (the test then fails instead of hanging).
constexpr int kWholeTestBoundMs = 600000;
constexpr int kBanks = 2;

// What a message box showed, and how it was answered.
struct Question {
    std::string text;
    std::string caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasOk = false;
    bool hasCancel = false;
};

// The program with the simulated unit found by detection at start-up:
// Auto on, ComPort "AUTO", questions on. Message boxes are answered with
// OK or Cancel as `answerOk` says, and recorded.
class Rig {
public:
    Rig() : unit_(makeConfig()) {}

    // false: something in the set-up failed; *why says what.
    bool start(std::string* why) {
        if (!unit_.start(why)) return false;
        {
            std::ofstream ini(folder_ / "define.ini");
            ini << "[Form]\nComPort=0\nChkExist=1\nAuto=1\nPrompt=1\nComMeg=1\nSetRTC=0\nRestoreStatus=1\n";
        }
        ApplicationOptions options;
        options.extraPorts = {unit_.slavePath()};
        options.settingsPath = folder_ / "define.ini";
        options.clock = &clock_;
        options.timers = &timers_;
        app_ = std::make_unique<Application>(options);
        answerer_ = std::make_unique<test::ModalAnswerer>([this](QWidget* modal) { answer(modal); },
                                                          kWholeTestBoundMs);
        if (!app_->start(why)) return false;
        if (!app_->link().isOpen()) {
            *why = "the unit was not found at start-up";
            return false;
        }
        if (!firstPoll()) {
            *why = "the greeting's answer never started the polls";
            return false;
        }
        if (!spinUntil([&] { return app_->state().ShownBankCount.load() == kBanks; }, kStepBoundMs)) {
            *why = "the unit's banks never reached the window";
            return false;
        }
        if (!spinUntil([&] { return windowShowsUnit(); }, kStepBoundMs)) {
            *why = "the first status report never reached the LEDs";
            return false;
        }
        return true;
    }

    // The greeting's answer arms the first poll 10 ms ahead: let it go.
    bool firstPoll() {
        if (!spinUntil([&] { return app_->session().pollTimer().enabled(); }, kStepBoundMs)) return false;
        timers_.advance(kFirstPollDelayMs);
        return true;
    }
    // Lets one poll interval pass (the next "/C\" goes out), then waits for
    // `done` while the answer comes in.
    bool afterNextPoll(const std::function<bool()>& done) {
        timers_.advance(kPollIntervalMs);
        return spinUntil(done, kStepBoundMs);
    }

    Application& app() { return *app_; }
    MainWindow& window() { return app_->window(); }
    sim::PtySimulator& unit() { return unit_; }
    const std::filesystem::path& settingsFile() const { return settingsFile_; }

    bool answerOk = true;
    std::vector<Question> questions;
    int detectDialogsAnswered = 0;
    bool forced() const { return answerer_->forced(); }

    // Every LED of every shown panel as the unit's ports stand.
    bool windowShowsUnit() {
        const std::vector<std::string> states = unit_.portStates();
        if (states.size() != static_cast<std::size_t>(kBanks)) return false;
        for (int bank = 1; bank <= kBanks; ++bank) {
            const std::string& s = states[static_cast<std::size_t>(bank - 1)];
            if (s.size() != 8) return false;
            for (int port = 1; port <= 8; ++port) {
                const PictureRef lit = ledPicture(port, s[static_cast<std::size_t>(port - 1)] == 'O', false);
                if (window().shownPicture(portLedId(portKey(bank, port))) != lit) return false;
            }
        }
        return true;
    }

    // Switching commands ("O013", "F000"...) the unit received after the
    // first `skip` commands of all kinds.
    std::vector<std::string> switchCommandsAfter(std::size_t skip) const {
        std::vector<std::string> out;
        const std::vector<std::string> all = unit_.commands();
        for (std::size_t i = skip; i < all.size(); ++i) {
            const std::string& c = all[i];
            const bool digits = c.size() == 4 && std::isdigit(static_cast<unsigned char>(c[1])) &&
                                std::isdigit(static_cast<unsigned char>(c[2])) &&
                                std::isdigit(static_cast<unsigned char>(c[3]));
            if (digits && (c[0] == 'O' || c[0] == 'F')) out.push_back(c);
        }
        return out;
    }
    std::size_t commandCount() const { return unit_.commands().size(); }

private:
    static sim::UnitConfig makeConfig() {
        sim::UnitConfig config;
        config.banks = kBanks;
        return config;
    }

    void answer(QWidget* modal) {
        if (modal == &app_->detectDialog()) {
            if (app_->detectDialog().okButton()->isEnabled()) {
                ++detectDialogsAnswered;
                app_->detectDialog().okButton()->click();
            }
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        Question q;
        q.text = box->text().toStdString();
        q.caption = box->windowTitle().toStdString();
        q.icon = box->icon();
        q.hasOk = box->button(QMessageBox::Ok) != nullptr;
        q.hasCancel = box->button(QMessageBox::Cancel) != nullptr;
        questions.push_back(q);
        QAbstractButton* choice = box->button(answerOk ? QMessageBox::Ok : QMessageBox::Cancel);
        if (choice) {
            choice->click();
        } else {
            box->reject();  // not a question: the check on hasOk/hasCancel fails
        }
    }

    testing_support::TempFolder folder_;
    std::filesystem::path settingsFile_ = folder_ / "define.ini";
    sim::PtySimulator unit_;
    ManualTimerHost timers_;
    FixedClock clock_{LocalMoment{2026, 12, 8, 3, 14, 0, 0}};
    std::unique_ptr<Application> app_;
    std::unique_ptr<test::ModalAnswerer> answerer_;
};

// A left click as the mouse gives it: press, then release, on the widget.
void leftClick(QWidget* target) {
    const QPointF inside(target->width() / 2.0, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(inside);
    QMouseEvent press(QEvent::MouseButtonPress, inside, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

// The unit's ports, bank by bank, as one text for messages: "OOCCCCCC|CCCCCCCC".
std::string joined(const std::vector<std::string>& states) {
    std::string out;
    for (const std::string& s : states) out += (out.empty() ? "" : "|") + s;
    return out;
}

// ---- Port buttons and pop-up items: question, command, unit, LEDs ----

// portButton: a mouse click; screenReader: the Press action a screen reader
// (or any accessibility client) performs on the button.
enum class Source { portButton, screenReader, popupItem };

// What a step acts on: a port button, or a pop-up item by its name.
struct Target {
    Target(ComponentId b) : button(b) {}
    Target(const char* i) : item(i) {}
    ComponentId button = portButtonId(0);
    const char* item = "";
};

struct SwitchStep {
    const char* what;          // for failure messages
    Source source;
    Target target;             // a port button or a pop-up item
    bool answerOk;
    const char* question;      // the text the message box must show
    const char* command;       // the command the unit must receive; "" for none
    const char* statesAfter;   // the unit's ports afterwards, "bank1|bank2"
};

// In order: each step starts from the unit's state the one before left,
// and the window must show that state before the next step is taken (the
// port button's question depends on what the last report said).
const SwitchStep kSwitchSteps[] = {
    {"port button switches a port on", Source::portButton, portButtonId(13), true,
     "Do you want to power on Bank 1 Port 3?", "O013", "CCOCCCCC|CCCCCCCC"},
    {"cancelled port button sends nothing", Source::portButton, portButtonId(13), false,
     "Do you want to power off Bank 1 Port 3?", "", "CCOCCCCC|CCCCCCCC"},
    {"second panel's button addresses bank 2", Source::portButton, portButtonId(25), true,
     "Do you want to power on Bank 2 Port 5?", "O025", "CCOCCCCC|CCCCOCCC"},
    {"port button switches an on port off", Source::portButton, portButtonId(13), true,
     "Do you want to power off Bank 1 Port 3?", "F013", "CCCCCCCC|CCCCOCCC"},
    {"whole bank on from the first panel", Source::popupItem, "OpenOneBank1", true,
     "Do you want to power on all ports of bank 1?", "O010", "OOOOOOOO|CCCCOCCC"},
    {"cancelled whole bank off sends nothing", Source::popupItem, "CloseOneBank1", false,
     "Do you want to power off all ports of bank 1?", "", "OOOOOOOO|CCCCOCCC"},
    {"whole bank off from the first panel", Source::popupItem, "CloseOneBank1", true,
     "Do you want to power off all ports of bank 1?", "F010", "CCCCCCCC|CCCCOCCC"},
    {"all banks on from the second panel's menu", Source::popupItem, "MenuItem3", true,
     "Do you want to power on all ports of all banks?", "O000", "OOOOOOOO|OOOOOOOO"},
    {"cancelled all banks off sends nothing", Source::popupItem, "CloseAllPortofAllBank1", false,
     "Do you want to power off all ports of  all banks?", "", "OOOOOOOO|OOOOOOOO"},
    {"whole bank off from the second panel", Source::popupItem, "CloseOneBank2", true,
     "Do you want to power off all ports of bank 2?", "F020", "OOOOOOOO|CCCCCCCC"},
    {"all banks off from the third menu's item", Source::popupItem, "MenuItem8", true,
     "Do you want to power off all ports of  all banks?", "F000", "CCCCCCCC|CCCCCCCC"},
    {"all banks on from the first menu's item", Source::popupItem, "OpenAllPortofAllBank1", true,
     "Do you want to power on all ports of all banks?", "O000", "OOOOOOOO|OOOOOOOO"},
    {"a screen reader presses a port button", Source::screenReader, portButtonId(27), true,
     "Do you want to power off Bank 2 Port 7?", "F027", "OOOOOOOO|OOOOOOCO"},
    {"a screen reader's press asks first too", Source::screenReader, portButtonId(27), false,
     "Do you want to power on Bank 2 Port 7?", "", "OOOOOOOO|OOOOOOCO"},
    {"after it the mouse works as before", Source::portButton, portButtonId(27), true,
     "Do you want to power on Bank 2 Port 7?", "O027", "OOOOOOOO|OOOOOOOO"},
};

TEST(SwitchingEndToEnd, ClicksAndPopupItemsSwitchTheUnitAfterTheQuestionAndTheLedsFollow) {
    Rig rig;
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_EQ(joined(rig.unit().portStates()), "CCCCCCCC|CCCCCCCC") << "the unit did not start with every port off";
    ASSERT_TRUE(rig.questions.empty()) << rig.questions.front().text;

    // A cancelled step is proven silent by the next step: the next switching
    // command the unit receives after it must be the next step's own.
    std::size_t mark = rig.commandCount();
    std::vector<std::string> expectedSinceMark;
    for (const SwitchStep& step : kSwitchSteps) {
        SCOPED_TRACE(step.what);
        rig.answerOk = step.answerOk;
        rig.questions.clear();

        if (step.source == Source::portButton || step.source == Source::screenReader) {
            QWidget* button = rig.window().component(step.target.button);
            ASSERT_NE(button, nullptr);
            if (step.source == Source::portButton) {
                leftClick(button);
            } else {
                QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(button);
                ASSERT_NE(spoken, nullptr);
                ASSERT_EQ(spoken->role(), QAccessible::Button);
                ASSERT_NE(spoken->actionInterface(), nullptr);
                spoken->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
                // The bus call returns first; the click and its question follow.
                ASSERT_TRUE(test::spinUntil([&] { return !rig.questions.empty(); }));
            }
            // The released picture is back, whatever the answer was.
            EXPECT_EQ(rig.window().shownPicture(step.target.button), (PictureRef{PictureList::portButton, 1}));
        } else {
            QAction* item = rig.window().menuItem(step.target.item);
            ASSERT_NE(item, nullptr);
            ASSERT_GE(rig.window().popupItemTag(step.target.item), 0) << "not a pop-up item";
            test::triggerAndRun(item);
        }

        ASSERT_EQ(rig.questions.size(), 1u) << "exactly one question per action";
        const Question& q = rig.questions.front();
        EXPECT_EQ(q.text, step.question);
        EXPECT_EQ(q.caption, "");
        EXPECT_EQ(q.icon, QMessageBox::Warning) << "the exclamation icon";
        EXPECT_TRUE(q.hasOk && q.hasCancel);

        if (*step.command != '\0') {
            expectedSinceMark.push_back(step.command);
            EXPECT_TRUE(rig.unit().waitForCommand(step.command, 1, std::chrono::milliseconds(kStepBoundMs)));
            ASSERT_TRUE(spinUntil([&] { return rig.switchCommandsAfter(mark).size() >= expectedSinceMark.size(); },
                                  kStepBoundMs))
                << "the command never reached the unit";
            EXPECT_EQ(rig.switchCommandsAfter(mark), expectedSinceMark)
                << "a cancelled question let a command out, or a command went twice";
            mark = rig.commandCount();
            expectedSinceMark.clear();
        }
        EXPECT_EQ(joined(rig.unit().portStates()), step.statesAfter);
        // The window changes only through the unit's next status report.
        EXPECT_TRUE(rig.afterNextPoll([&] { return rig.windowShowsUnit(); }))
            << "the LEDs did not follow the unit: " << joined(rig.unit().portStates());
    }
    // The last cancelled step is followed by sent ones, so every cancel was
    // checked against the command after it.
    EXPECT_TRUE(expectedSinceMark.empty());
    EXPECT_FALSE(rig.forced());
    rig.app().shutdown();
}

// ---- The menu button opens the pop-up menu named for its bank ----

TEST(SwitchingEndToEnd, MenuButtonOpensThePanelMenuWithItsBankFilledIn) {
    Rig rig;
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;

    struct Row {
        int slot;
        const char* onCaption;
        const char* offCaption;
        const char* versionCaption;
        const char* allOnCaption;
        const char* allOffCaption;
    };
    const Row rows[] = {
        {1, "Power on All Ports of Bank 1", "Power off All Ports of Bank 1", "Check Bank 1 Version",
         "Powre on All Ports of All Banks", "Power off All Ports of All Banks"},
        {2, "Power on All Ports of Bank 2", "Power off All Ports of Bank 2", "Check Bank 2 Version",
         "Power on All Ports of All Banks", "Power off All Ports of All Banks"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("slot " + std::to_string(row.slot));
        const std::string slot = std::to_string(row.slot);
        // Different captions first, so only the opening can fill them in.
        rig.window().setMenuItemCaption("OpenOneBank" + slot, "-");
        rig.window().setMenuItemCaption("CloseOneBank" + slot, "-");
        rig.window().setMenuItemCaption("mlCheckVersion" + slot, "-");
        QMenu* menu = rig.window().popupMenu(row.slot);
        ASSERT_NE(menu, nullptr);
        std::vector<std::string> shown;
        test::PopupCloser closer(menu, [&] {
            for (QAction* a : menu->actions()) {
                if (!a->isSeparator()) shown.push_back(a->text().toStdString());
            }
        });
        const std::size_t before = rig.commandCount();
        leftClick(rig.window().component(menuButtonId(row.slot)));
        ASSERT_TRUE(closer.looked()) << "the menu never opened";
        const std::vector<std::string> expected = {row.onCaption, row.offCaption, row.allOnCaption,
                                                   row.allOffCaption, "Set Timer",
                                                   row.versionCaption, "Current history", "Rename..."};
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(rig.window().shownPicture(menuButtonId(row.slot)), (PictureRef{PictureList::menuButton, 0}));
        // Opening the menu asks nothing and sends nothing.
        EXPECT_TRUE(rig.questions.empty());
        EXPECT_TRUE(rig.switchCommandsAfter(before).empty());
    }
    EXPECT_FALSE(rig.forced());
}

// ---- Disconnect and Connect from the main menu ----

struct MenuState {
    const char* item;
    bool enabledConnected;
};
// "Connect" the other way round from the rest: each is checked in both
// states.
const MenuState kMenuStates[] = {
    {"mlConnect", false}, {"mlDisconnect", true}, {"mlTools1", true}, {"mlSetRTC", true}, {"SetTimer1", true},
};

void expectMenus(MainWindow& window, bool connected) {
    for (const MenuState& m : kMenuStates) {
        QAction* item = window.menuItem(m.item);
        ASSERT_NE(item, nullptr) << m.item;
        EXPECT_EQ(item->isEnabled(), connected ? m.enabledConnected : !m.enabledConnected)
            << m.item << (connected ? " when connected" : " when not connected");
    }
}

bool panelsShown(MainWindow& window, bool shown) {
    for (int slot = 1; slot <= kBanks; ++slot) {
        if (window.component(panelId(slot))->isVisible() != shown) return false;
    }
    return true;
}

TEST(SwitchingEndToEnd, DisconnectAndConnectFromTheMainMenu) {
    Rig rig;
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_EQ(rig.detectDialogsAnswered, 1);
    expectMenus(rig.window(), true);
    EXPECT_TRUE(panelsShown(rig.window(), true));
    EXPECT_FALSE(rig.window().component(panelId(3))->isVisible());

    // ---- Disconnect: link closed, panels hidden, menus reset ----
    test::triggerAndRun(rig.window().menuItem("mlDisconnect"));
    EXPECT_FALSE(rig.app().link().isOpen());
    EXPECT_TRUE(spinUntil([&] { return panelsShown(rig.window(), false); }, kStepBoundMs));
    expectMenus(rig.window(), false);
    EXPECT_TRUE(rig.questions.empty()) << rig.questions.front().text;
    // A disabled item does nothing when triggered: no second disconnect,
    // nothing reconnected behind the user's back.
    test::triggerAndRun(rig.window().menuItem("mlDisconnect"));
    EXPECT_FALSE(rig.app().link().isOpen());
    EXPECT_EQ(rig.detectDialogsAnswered, 1);

    // ---- Connect: the Detect dialog finds the unit again ----
    // The settings file goes, so that only this Connect can write it.
    std::filesystem::remove(rig.settingsFile());
    const std::size_t greetingsBefore = [&] {
        std::size_t n = 0;
        for (const std::string& c : rig.unit().commands()) n += c == "uni";
        return n;
    }();
    test::triggerAndRun(rig.window().menuItem("mlConnect"));
    EXPECT_EQ(rig.detectDialogsAnswered, 2);
    ASSERT_TRUE(rig.app().link().isOpen());
    expectMenus(rig.window(), true);
    EXPECT_TRUE(rig.questions.empty()) << rig.questions.front().text;
    EXPECT_TRUE(rig.unit().waitForCommand("uni", greetingsBefore + 1, std::chrono::milliseconds(kStepBoundMs)))
        << "no greeting on the new link";
    ASSERT_TRUE(rig.firstPoll());
    EXPECT_TRUE(spinUntil([&] { return panelsShown(rig.window(), true); }, kStepBoundMs))
        << "the panels did not come back";

    // The settings as the Configuration dialog's controls stood went to the
    // file, whatever the outcome.
    {
        ASSERT_TRUE(std::filesystem::exists(rig.settingsFile())) << "the settings were not written";
        std::ifstream ini(rig.settingsFile());
        std::stringstream text;
        text << ini.rdbuf();
        EXPECT_NE(text.str().find("Auto=1"), std::string::npos) << text.str();
        EXPECT_NE(text.str().find("ComPort=0"), std::string::npos) << text.str();
    }

    // The new link carries switching and status reports like the first.
    rig.answerOk = true;
    const std::size_t before = rig.commandCount();
    leftClick(rig.window().component(portButtonId(21)));
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions.front().text, "Do you want to power on Bank 2 Port 1?");
    EXPECT_TRUE(rig.unit().waitForCommand("O021", 1, std::chrono::milliseconds(kStepBoundMs)));
    EXPECT_EQ(rig.switchCommandsAfter(before), std::vector<std::string>{"O021"});
    EXPECT_EQ(joined(rig.unit().portStates()), "CCCCCCCC|OCCCCCCC");
    EXPECT_TRUE(rig.afterNextPoll([&] { return rig.windowShowsUnit(); }));
    EXPECT_FALSE(rig.forced());
    rig.app().shutdown();
}

}  // namespace
}  // namespace velmora
