// velmora-screenshots: pictures of the program for review. The real
// program runs against simulated units on ptys and its windows are grabbed
// into PNG files:
//   main_1_bank.png, main_2_banks.png, main_3_banks.png, main_5_banks.png,
//   main_5_banks_scrolled.png  the main window, live, with ports on and
//                              off, a flagged port, counting timers and
//                              the bank's load current;
//   detect_mid_scan.png        the Detect dialog while it probes the ports;
//   set_timer_power_on.png,
//   set_timer_power_off.png    the Set Timer dialog on a bank with the
//                              unit's timers on both pages and a port the
//                              unit flagged (an invalid row);
//   main_timers_counting.png   the main window after those timers went out;
//   upgrade_mid_transfer.png   the Upgrade Process dialog while the
//                              simulated unit takes an image at line rate;
//   current_history.png        the Current history window on three banks
//                              after an hour of a rack's loads.
// Usage: velmora-screenshots [OUTPUT_FOLDER]   (default: screenshots)
// Runs on any Qt platform; scripts/screenshots uses offscreen.

#include <QAction>
#include <QDateTime>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QFileDialog>
#include <QScrollBar>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "platform/qt/guarded_application.h"
#include "assets/picture_lists.h"
#include "settings/detect_dialog.h"
#include "link/serial_link.h"
#include "mainwindow/current_history_window.h"
#include "mainwindow/main_window.h"
#include "mainwindow/menu_logic.h"
#include "mainwindow/switching_logic.h"
#include "mainwindow/window_logic.h"
#include "settings/about_box.h"
#include "settings/configuration_dialog.h"
#include "maintenance/firmware_upgrade.h"
#include "maintenance/upgrade_dialog.h"
#include "schedule/set_timer_dialog.h"
#include "sim/pty_simulator.h"

namespace velmora {
namespace {

// Runs the event loop until done() or boundMs; false on time-out.
bool spinUntil(const std::function<bool()>& done, int boundMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() >= boundMs) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool save(QWidget& widget, const QDir& out, const QString& name) {
    const QString path = out.filePath(name);
    const bool ok = widget.grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return ok;
}

// Where the runs keep their settings files; removed at exit.
QString gSettingsRoot;

// A settings file that neither connects at start-up nor sets the clock,
// in a folder of its own.
std::filesystem::path writeSettings(const std::string& tag) {
    const std::filesystem::path dir = std::filesystem::path(gSettingsRoot.toStdString()) / tag;
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "define.ini";
    std::ofstream(file) << "[Form]\nComPort=0\nChkExist=1\nAuto=0\nPrompt=1\nComMeg=1\nSetRTC=0\nRestoreStatus=1\n";
    return file;
}

int positionOf(const Application& app, const std::string& device) {
    for (int i = 1; i <= app.ports().count(); ++i)
        if (app.ports().devices[static_cast<std::size_t>(i)] == device) return i;
    return 0;
}

// A unit with a varied picture: ports on and off, one port flagged by the
// unit, and power-on/power-off timers counting down on a few ports.
void dressUnit(sim::PtySimulator& unit, int banks) {
    unit.withModel([banks](sim::UnitModel& m) {
        for (int b = 1; b <= banks; ++b) {
            for (int p = 1; p <= 8; ++p) m.setPort(b, p, (p * 3 + b) % 5 < 2 || (b == 1 && p == 1));
            m.setTimerFlag(b, 8 - (b % 3), true);
            // "Lbbpa hhhmmss": T after a delay, action 1 on / 0 off.
            char cmd[96];
            std::snprintf(cmd, sizeof cmd, "/T%02d%d1 %03d%02d00\\", b, 2, b, 5 * b);
            m.feed(cmd);
            std::snprintf(cmd, sizeof cmd, "/T%02d%d0 %03d%02d00\\", b, 4, 12 + b, 30);
            m.feed(cmd);
        }
    });
}

bool shootMainWindow(const QDir& out, int banks) {
    sim::UnitConfig config;
    config.banks = banks;
    sim::PtySimulator unit(config);
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    dressUnit(unit, banks);

    ApplicationOptions options;
    options.extraPorts = {unit.slavePath()};
    options.settingsPath = writeSettings(std::to_string(banks));
    Application app(options);
    if (!app.start(&error)) {
        std::fprintf(stderr, "start: %s\n", error.c_str());
        return false;
    }
    const int position = positionOf(app, unit.slavePath());
    if (position < 1) return false;
    // What the connect sequence does after a find, without the dialog.
    app.window().setConnectedMenus(true);
    app.link().OpenLink(position);

    // Laid out, every bank's version and timers in, a current on screen and
    // the time labels written by a few flash ticks.
    const bool live = spinUntil(
        [&] {
            return app.state().ShownBankCount.load() == banks && app.logic().versionItemCount() == banks &&
                   unit.withModel([](sim::UnitModel& m) { return m.pollsReceived(); }) >= 2;
        },
        20000);
    if (!live) {
        std::fprintf(stderr, "%d banks: the window never followed the unit\n", banks);
        return false;
    }
    // The grab shows the ALARM lamps of counting ports lit.
    spinUntil([&] { return app.logic().FlashPhase() == 1; }, 2000);
    const QString name = banks == 1 ? QStringLiteral("main_1_bank.png") : QStringLiteral("main_%1_banks.png").arg(banks);
    bool ok = save(app.window(), out, name);
    if (banks > 3) {
        app.window().scrollBar()->setValue(banks - 2);
        spinUntil([&] { return app.logic().FlashPhase() == 0; }, 2000);
        spinUntil([&] { return app.logic().FlashPhase() == 1; }, 2000);
        ok &= save(app.window(), out, QStringLiteral("main_%1_banks_scrolled.png").arg(banks));
    }
    app.shutdown();
    return ok;
}

// The Detect dialog while the automatic scan works through a list of
// ports: a few that do not exist, then the unit.
bool shootDetectDialog(const QDir& out) {
    sim::UnitConfig config;
    config.banks = 2;
    sim::PtySimulator unit(config);
    std::string error;
    if (!unit.start(&error)) return false;
    ApplicationOptions options;
    for (int i = 0; i < 4; ++i) options.extraPorts.push_back("/nonexistent/velmora-port-" + std::to_string(i));
    options.extraPorts.push_back(unit.slavePath());
    options.settingsPath = writeSettings("detect");
    Application app(options);
    if (!app.start(&error)) return false;

    DetectDialog& dialog = app.detectDialog();
    bool shot = false;
    bool ok = false;
    QTimer watcher;
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!dialog.isVisible()) return;
        // Mid-scan: a few ports done, the label on the next one.
        if (!shot && dialog.progressBar()->value() >= 3 && dialog.reportLines().size() >= 6) {
            shot = true;
            ok = save(dialog, out, QStringLiteral("detect_mid_scan.png"));
        }
        if ((shot && dialog.okButton()->isEnabled()) || elapsed.elapsed() > 60000) dialog.okButton()->click();
        if (elapsed.elapsed() > 70000) dialog.close();
    });
    watcher.start(20);
    app.Connect();
    watcher.stop();
    app.shutdown();
    return ok;
}

// A panel's pop-up menu open over the window, the Configuration dialog
// while connected (port choice locked) and the About box.
// The program connected to `unit` without the Detect dialog, laid out and
// polled twice. Null when it did not get there.
std::unique_ptr<Application> connectedTo(sim::PtySimulator& unit, int banks, const std::string& tag) {
    ApplicationOptions options;
    options.extraPorts = {unit.slavePath()};
    options.settingsPath = writeSettings(tag);
    auto app = std::make_unique<Application>(options);
    std::string error;
    if (!app->start(&error)) return nullptr;
    const int position = positionOf(*app, unit.slavePath());
    if (position < 1) return nullptr;
    app->menus().setConnected(true);
    app->link().OpenLink(position);
    if (!spinUntil([&] {
            return app->state().ShownBankCount.load() == banks &&
                   unit.withModel([](sim::UnitModel& m) { return m.pollsReceived(); }) >= 2;
        }, 20000)) {
        std::fprintf(stderr, "%s: the window never followed the unit\n", tag.c_str());
        return nullptr;
    }
    return app;
}

bool shootMenusAndDialogs(const QDir& out) {
    sim::UnitConfig config;
    config.banks = 3;
    sim::PtySimulator unit(config);
    std::string error;
    if (!unit.start(&error)) return false;
    dressUnit(unit, 3);
    auto connected = connectedTo(unit, 3, "menus");
    if (!connected) return false;
    Application& app = *connected;

    // The pop-up of slot 2 as the menu button opens it, drawn over the window.
    bool ok = true;
    QMenu* menu = app.window().popupMenu(2);
    if (!menu) return false;
    app.switching().portPopupOpening(2);
    menu->popup(app.window().popupPoint(2));
    spinUntil([&] { return menu->isVisible(); }, 2000);
    QPixmap canvas = app.window().grab();
    {
        QPainter painter(&canvas);
        painter.drawPixmap(app.window().mapFromGlobal(menu->pos()), menu->grab());
    }
    ok &= canvas.save(out.filePath(QStringLiteral("main_popup_menu.png")), "PNG");
    std::printf("wrote %s\n", out.filePath(QStringLiteral("main_popup_menu.png")).toLocal8Bit().constData());
    menu->hide();

    ConfigurationDialog& configuration = app.configurationDialog();
    configuration.aboutToShow(app.state().GreetingSeen.load());
    configuration.show();
    spinUntil([&] { return configuration.isVisible(); }, 2000);
    ok &= save(configuration, out, QStringLiteral("configuration_dialog.png"));
    configuration.hide();

    AboutBox& about = app.aboutBox();
    about.show();
    spinUntil([&] { return about.isVisible(); }, 2000);
    ok &= save(about, out, QStringLiteral("about_box.png"));
    about.hide();

    // An hour of a rack's day: bank 1 a steady load that breathes, bank 2's
    // servers switched on 40 minutes ago, bank 3 a lab bench for the last 15.
    CurrentHistory& history = app.history();
    history.clear();
    const std::int64_t now = app.monotonicMs();
    const QDateTime wallNow = QDateTime::currentDateTime();
    for (int ago = 3600; ago >= 1; ago -= 5) {
        const QDateTime wall = wallNow.addSecs(-ago);
        const double t = 3600.0 - ago;
        const double loads[] = {3.2 + 0.8 * std::sin(t / 500.0) + 0.15 * std::sin(t / 37.0),
                                ago > 2400 ? 1.1 : 6.4 + 0.3 * std::sin(t / 90.0),
                                ago > 900 ? 0.0 : 2.3 + 0.4 * std::sin(t / 60.0)};
        for (int bank = 1; bank <= 3; ++bank) {
            const float amperes = static_cast<float>(std::round(loads[bank - 1] * 10.0) / 10.0);
            history.record(bank, CurrentSample{now - ago * 1000LL, wall.toSecsSinceEpoch(), wall.offsetFromUtc(), amperes});
        }
    }
    app.showHistory();
    spinUntil([] { return false; }, 200);
    ok &= save(app.historyWindow(), out, QStringLiteral("current_history.png"));
    app.historyWindow().hide();
    app.shutdown();
    return ok;
}

bool shootTimerDialog(const QDir& out) {
    sim::UnitConfig config;
    config.banks = 3;
    sim::PtySimulator unit(config);
    std::string error;
    if (!unit.start(&error)) return false;
    dressUnit(unit, 3);
    unit.withModel([](sim::UnitModel& m) {
        // A daily power-on and a weekly power-off timer on bank 1 as well.
        m.feed("/D0151 0033000\\");
        m.feed("/W0160 0500000\\");
    });
    auto app = connectedTo(unit, 3, "timers");
    if (!app) return false;
    SetTimerDialog& dialog = app->timerDialog();
    dialog.setDialogBank(0);
    dialog.show();
    if (!spinUntil([&] { return dialog.isVisible(); }, 2000)) return false;
    auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    bool ok = pages != nullptr;
    if (pages) {
        pages->setCurrentIndex(0);
        spinUntil([] { return false; }, 100);
        ok &= save(dialog, out, QStringLiteral("set_timer_power_on.png"));
        pages->setCurrentIndex(1);
        spinUntil([] { return false; }, 100);
        ok &= save(dialog, out, QStringLiteral("set_timer_power_off.png"));
    }
    dialog.hide();
    spinUntil([&] { return app->logic().FlashPhase() == 1; }, 2000);
    ok &= save(app->window(), out, QStringLiteral("main_timers_counting.png"));
    app->shutdown();
    return ok;
}

// A real upgrade against a unit that takes the image at line rate; the
// chooser is answered with the image file.
bool shootUpgradeDialog(const QDir& out) {
    sim::UnitConfig config;
    config.banks = 2;
    sim::PtyOptions pacing;
    pacing.paced = true;
    sim::PtySimulator unit(config, pacing);
    std::string error;
    if (!unit.start(&error)) return false;
    auto app = connectedTo(unit, 2, "upgrade");
    if (!app) return false;
    const std::filesystem::path image = std::filesystem::path(gSettingsRoot.toStdString()) / "pdu2.x";
    {
        std::ofstream file(image, std::ios::binary);
        for (int i = 0; i < 6000; ++i) file.put(static_cast<char>(i * 37 % 251));
    }
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            chooser->selectFile(QString::fromStdString(image.string()));
            static_cast<QDialog*>(chooser)->accept();
        }
    });
    answer.start(20);
    app->menus().menuItemChosen("Upgrade1");
    answer.stop();
    UpgradeDialog& dialog = app->upgradeDialog();
    bool ok = spinUntil([&] { return dialog.isVisible() && app->upgrade().UpgradeIndex() > 2400; }, 60000);
    if (ok) ok &= save(dialog, out, QStringLiteral("upgrade_mid_transfer.png"));
    else std::fprintf(stderr, "upgrade: the transfer never got under way\n");
    app->shutdown();
    return ok;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    velmora::GuardedApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora Management"));
    QApplication::setWindowIcon(velmora::applicationIcon());
    const QStringList args = QApplication::arguments();
    const QDir out(args.size() > 1 ? args[1] : QStringLiteral("screenshots"));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", out.path().toLocal8Bit().constData());
        return 1;
    }
    QTemporaryDir settings;
    if (!settings.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    velmora::gSettingsRoot = settings.path();
    bool ok = true;
    for (int banks : {1, 2, 3, 5}) ok &= velmora::shootMainWindow(out, banks);
    ok &= velmora::shootDetectDialog(out);
    ok &= velmora::shootMenusAndDialogs(out);
    ok &= velmora::shootTimerDialog(out);
    ok &= velmora::shootUpgradeDialog(out);
    return ok ? 0 : 1;
}
