// The main window's menus: the main menu, the bank panels' pop-up menus
// and the Check Version items.

#include "mainwindow/main_window.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace velmora {

namespace {

QString qtext(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string key(std::string_view name) { return std::string(name); }

}  // namespace

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto addMenu = [&](QMenu* parentMenu, const char* name, const char* caption) {
        QMenu* menu = parentMenu ? parentMenu->addMenu(QString::fromLatin1(caption))
                                 : bar->addMenu(QString::fromLatin1(caption));
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        menuItems_[name] = menu->menuAction();
        return menu;
    };
    auto addItem = [&](QMenu* menu, const char* name, const char* caption) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        menuItems_[name] = action;
        const std::string itemName = name;
        // Queued: an item whose action opens a modal box or chooser must not
        // keep the one who triggered it waiting - a screen reader's press
        // gets its answer first, the action runs right after.
        connect(action, &QAction::triggered, this, [this, itemName] { chooseMenuItem(itemName); },
                Qt::QueuedConnection);
        return action;
    };
    auto addSeparator = [&](QMenu* menu, const char* name) {
        QAction* action = menu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        menuItems_[name] = action;
        return action;
    };

    QMenu* file = addMenu(nullptr, "N1", "File");
    addItem(file, "N2", "Exit")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    QMenu* setting = addMenu(nullptr, "Detect", "Setting..");
    addItem(setting, "mlConnect", "Connect");
    addItem(setting, "mlDisconnect", "Disconnect");
    addItem(setting, "mlConfiguration1", "Configuration");
    addSeparator(setting, "N7")->setVisible(false);
    QAction* hiddenSetTimer = addItem(setting, "SetTimer11", "Set Timer");
    hiddenSetTimer->setEnabled(false);
    hiddenSetTimer->setVisible(false);

    QMenu* tools = addMenu(nullptr, "mlTools1", "Tools ");
    addItem(tools, "Upgrade1", "Upgrade");
    checkVersion_ = addMenu(tools, "CheckVersion1", "Check Version");
    addItem(tools, "mlCurrentHistory", "Current history");

    QMenu* time = addMenu(nullptr, "mlSetRTC", "Time");
    addItem(time, "mlSetRTCNow", "Set System Time");
    addItem(time, "mlStartSetRTC_Period", "Sync System Time per hour");
    addSeparator(time, "N8");
    addItem(time, "SetTimer1", "Set Timer");

    QMenu* help = addMenu(nullptr, "Help", "&Help");
    addItem(help, "N3", "About");

    setConnectedMenus(false);
}

void MainWindow::buildPopups() {
    struct Item {
        const char* names[3];
        const char* captions[3];
        bool tagIsIndex;  // tag 0..2 (slot - 1); else tag = slot (version) or none
        bool tagIsSlot;
    };
    // The captions of the all-banks items differ between the menus.
    static const Item items[] = {
        {{"OpenOneBank1", "OpenOneBank2", "OpenOneBank3"},
         {"Power on All Ports of Bank 1", "Power on All Ports of Bank 2", "Power on All Ports of Bank 3"}, true, false},
        {{"CloseOneBank1", "CloseOneBank2", "CloseOneBank3"},
         {"Power off All Ports of Bank 1", "Power off All Ports of Bank 2", "Power off All Ports of Bank 3"}, true, false},
        {{"OpenAllPortofAllBank1", "MenuItem3", "MenuItem7"},
         {"Powre on All Ports of All Banks", "Power on All Ports of All Banks", "Powr on All Ports of All Banks"}, false,
         false},
        {{"CloseAllPortofAllBank1", "MenuItem4", "MenuItem8"},
         {"Power off All Ports of All Banks", "Power off All Ports of All Banks", "Powr off All Ports of All Banks"},
         false, false},
        {{nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}, false, false},  // separator
        {{"mlSetOneTimer1", "mlSetOneTimer2", "mlSetOneTimer3"}, {"Set Timer", "Set Timer", "Set Timer"}, true, false},
        {{"mlCheckVersion1", "mlCheckVersion2", "mlCheckVersion3"},
         {"Check Bank 1 Version", "Check Bank 2 Version", "Check Bank 3 Version"}, false, true},
        {{"mlHistory1", "mlHistory2", "mlHistory3"}, {"Current history", "Current history", "Current history"}, false,
         true},
        {{"mlRename1", "mlRename2", "mlRename3"}, {"Rename...", "Rename...", "Rename..."}, false, true},
    };
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const auto m = static_cast<std::size_t>(slot - 1);
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("popForm%1").arg(slot));
        menu->setProperty("tag", slot);
        popups_[m] = menu;
        for (const Item& item : items) {
            if (!item.names[m]) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromLatin1(item.captions[m]));
            action->setObjectName(QString::fromLatin1(item.names[m]));
            const int tag = item.tagIsIndex ? slot - 1 : item.tagIsSlot ? slot : 0;
            action->setData(tag);
            menuItems_[item.names[m]] = action;
            const std::string name = item.names[m];
            connect(
                action, &QAction::triggered, this,
                [this, name, tag] {
                    if (handlers_.popupItemChosen) handlers_.popupItemChosen(name, tag);
                },
                Qt::QueuedConnection);  // as the main menu's items
        }
    }
}

QMenu* MainWindow::popupMenu(int slot) const {
    return slot >= 1 && slot <= kSlotCount ? popups_[static_cast<std::size_t>(slot - 1)] : nullptr;
}

int MainWindow::popupItemTag(std::string_view item) const {
    QAction* action = menuItem(item);
    if (!action) return -1;
    for (QMenu* popup : popups_) {
        if (popup->actions().contains(action)) return action->data().toInt();
    }
    return -1;
}

void MainWindow::setMenuItemCaption(std::string_view item, std::string_view caption) {
    if (QAction* action = menuItem(item)) action->setText(qtext(caption));
}

QPoint MainWindow::popupPoint(int slot) const {
    const QWidget* panel = component(panelId(slot));
    if (!panel) return frameGeometry().topLeft();
    return frameGeometry().topLeft() + panel->pos() + QPoint(20, 55);
}

void MainWindow::openPopup(int slot, QPoint at) {
    QMenu* menu = popupMenu(slot);
    if (!menu) return;
    if (handlers_.popupOpening) handlers_.popupOpening(slot);
    menu->exec(at);
}

void MainWindow::chooseMenuItem(const std::string& name) {
    if (name == "N2") {
        close();  // exitChosen: closing the main window ends the application
        return;
    }
    if (handlers_.menuItemChosen) handlers_.menuItemChosen(name);
}

void MainWindow::setConnectedMenus(bool connected) {
    menuItems_.at("mlConnect")->setEnabled(!connected);
    menuItems_.at("mlDisconnect")->setEnabled(connected);
    menuItems_.at("mlTools1")->setEnabled(connected);
    menuItems_.at("mlSetRTC")->setEnabled(connected);
    menuItems_.at("SetTimer1")->setEnabled(connected);
}

QAction* MainWindow::menuItem(std::string_view name) const {
    const auto it = menuItems_.find(key(name));
    return it == menuItems_.end() ? nullptr : it->second;
}

// ---- Check Version sub-menu --------------------------------------------------------

void MainWindow::appendVersionItem(std::string_view caption, int tag) {
    QAction* action = checkVersion_->addAction(qtext(caption));
    action->setData(tag);
    connect(
        action, &QAction::triggered, this,
        [this, tag] {
            if (handlers_.versionItemChosen) handlers_.versionItemChosen(tag);
        },
        Qt::QueuedConnection);  // as the main menu's items
}

void MainWindow::removeLastVersionItem() {
    const QList<QAction*> actions = checkVersion_->actions();
    if (actions.isEmpty()) return;
    QAction* last = actions.last();
    checkVersion_->removeAction(last);
    delete last;
}

}  // namespace velmora
