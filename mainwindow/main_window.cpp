#include "mainwindow/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QPointer>
#include <QSystemTrayIcon>

#include <algorithm>
#include <array>
#include <optional>

#include "assets/picture_lists.h"
#include "schedule/set_timer_dialog.h"

namespace velmora {

namespace {

QString qtext(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string key(std::string_view name) { return std::string(name); }

// The window's picture lists and the pictures drawn for them.
const PictureSet& picturesOf(PictureList list) {
    switch (list) {
        case PictureList::portLed: return portLedPictures();
        case PictureList::firstPortLed: return firstPortLedPictures();
        case PictureList::currentDigits: return currentDigitPictures();
        case PictureList::bankDigits: return bankDigitPictures();
        case PictureList::portButton: return portButtonPictures();
        case PictureList::menuButton: return menuButtonPictures();
    }
    return portLedPictures();
}

constexpr int kPanelLeft = 20;
constexpr int kPanelWidth = 590;
constexpr int kPanelHeight = 99;
constexpr std::array<int, kSlotCount> kPanelTops{25, 134, 243};
constexpr std::array<int, 2> kSeparatorTops{124, 233};
constexpr int kSeparatorHeight = 10;

constexpr std::array<int, kSlotPorts> kButtonLefts{133, 176, 220, 263, 306, 349, 393, 436};
constexpr int kButtonTop = 15;
constexpr std::array<int, kSlotPorts> kLedLefts{99, 171, 214, 257, 301, 344, 387, 430};
constexpr int kLedTop = 48;
constexpr std::array<int, kSlotPorts> kLabelLefts{130, 173, 217, 260, 303, 346, 390, 433};
constexpr int kLabelTop = 83;

}  // namespace

// An image component: shows one picture of one list, stretched to its size
// and drawn at the screen's pixel ratio. It paints nothing else, so the
// panel artwork shows around the drawing. As a button it takes focus and
// reports presses and releases; Space and Enter work like a click.
class PictureBox final : public QWidget {
public:
    PictureBox(QWidget* parent, const PictureSet& pictures) : QWidget(parent), pictures_(&pictures) {}

    // What a screen reader is told the picture is.
    enum class Speaks { image, button, partOfDisplay };
    Speaks speaks() const { return speaks_; }
    void setSpeaks(Speaks speaks) { speaks_ = speaks; }
    // A port button's port: on or off (unset for other pictures).
    std::optional<bool> portOn() const { return portOn_; }
    void setPortOn(bool on) {
        if (portOn_ == on) return;
        portOn_ = on;
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    // A press and a release, exactly as a click or the keyboard gives them.
    void press() {
        if (pressed_) pressed_();
        if (released_) released_();
    }

    void setPicture(const PictureSet& pictures, int index) {
        if (&pictures == pictures_ && index == index_) return;  // the flash tick repeats itself
        pictures_ = &pictures;
        index_ = index;
        update();
    }
    int index() const { return index_; }
    const PictureSet& pictures() const { return *pictures_; }

    // Makes it a button: `anyMouseButton` false reacts to the left one only.
    void makeButton(std::function<void()> pressed, std::function<void()> released, bool anyMouseButton) {
        pressed_ = std::move(pressed);
        released_ = std::move(released);
        anyMouseButton_ = anyMouseButton;
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (index_ >= 0) {
            const QPixmap pixmap = pictures_->pixmap(index_, size(), devicePixelRatioF());
            if (!pixmap.isNull()) painter.drawPixmap(rect(), pixmap);
        }
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect().adjusted(1, 1, -1, -1);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (!takesButton(event->button())) return QWidget::mousePressEvent(event);
        if (pressed_) pressed_();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (!takesButton(event->button())) return QWidget::mouseReleaseEvent(event);
        if (released_) released_();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int k = event->key();
        const bool click = k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter;
        if (!click || !isButton()) return QWidget::keyPressEvent(event);
        if (event->isAutoRepeat()) return;
        press();
    }

private:
    bool isButton() const { return pressed_ || released_; }
    bool takesButton(Qt::MouseButton b) const {
        return isButton() && (anyMouseButton_ || b == Qt::LeftButton);
    }

    const PictureSet* pictures_;
    int index_ = -1;
    Speaks speaks_ = Speaks::image;
    std::optional<bool> portOn_;
    bool anyMouseButton_ = false;
    std::function<void()> pressed_;
    std::function<void()> released_;
};

// The two digit pictures of one current or bank-number display: one object
// with one name for a screen reader, which never sees the digits alone.
class DigitDisplay final : public QWidget {
public:
    using QWidget::QWidget;
};

// One bank panel (UniClassN): the artwork and the bank's controls.
class BankPanel final : public QWidget {
public:
    using QWidget::QWidget;
};

// The user's name of an outlet, beneath its port button; a double click
// renames it.
class OutletNameLabel final : public QLabel {
public:
    OutletNameLabel(QWidget* parent, std::function<void()> doubleClicked)
        : QLabel(parent), doubleClicked_(std::move(doubleClicked)) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (doubleClicked_) doubleClicked_();
        QLabel::mouseDoubleClickEvent(event);
    }

private:
    std::function<void()> doubleClicked_;
};

namespace {

// How the panel's pictures appear on the accessibility bus.
class PictureBoxAccessible final : public QAccessibleWidget {
public:
    explicit PictureBoxAccessible(PictureBox* box)
        : QAccessibleWidget(box, box->speaks() == PictureBox::Speaks::button ? QAccessible::Button
                                                                              : QAccessible::Graphic) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (const std::optional<bool> on = box()->portOn()) {
            s.checkable = true;
            s.checked = *on;
        }
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description) {
            if (const std::optional<bool> on = box()->portOn()) return *on ? QStringLiteral("on") : QStringLiteral("off");
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (box()->speaks() == PictureBox::Speaks::button) names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && box()->speaks() == PictureBox::Speaks::button) {
            // The click may ask a question in a modal box: the screen reader
            // gets its answer first, the click runs right after.
            QPointer<PictureBox> target = box();
            QMetaObject::invokeMethod(
                target,
                [target] {
                    if (target && target->isEnabled()) target->press();
                },
                Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    PictureBox* box() const { return static_cast<PictureBox*>(widget()); }
};

class DigitDisplayAccessible final : public QAccessibleWidget {
public:
    explicit DigitDisplayAccessible(DigitDisplay* display) : QAccessibleWidget(display, QAccessible::StaticText) {}
    // The digits are drawn, not read: the display speaks for them.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
};

QAccessibleInterface* panelAccessibility(const QString&, QObject* object) {
    if (auto* box = dynamic_cast<PictureBox*>(object)) return new PictureBoxAccessible(box);
    if (auto* display = dynamic_cast<DigitDisplay*>(object)) return new DigitDisplayAccessible(display);
    // A bank panel is a group of its bank's controls, named for the bank.
    if (auto* panel = dynamic_cast<BankPanel*>(object)) return new QAccessibleWidget(panel, QAccessible::Grouping);
    return nullptr;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    static const bool accessibilityInstalled = [] {
        QAccessible::installFactory(panelAccessibility);
        return true;
    }();
    (void)accessibilityInstalled;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora Management"));
    // System menu and minimise box, no maximise box; the size is fixed below.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(13);
    setFont(font);

    buildMenus();
    buildPopups();

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client_);

    auto* bevel = new QFrame(client_);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, 0, kClientWidth, 2);

    for (int slot = 1; slot <= kSlotCount; ++slot) buildPanel(slot);
    for (int i = 1; i <= 2; ++i) {
        PictureBox* sep = addPicture(client_, separatorId(i), kPanelLeft,
                                     kSeparatorTops[static_cast<std::size_t>(i - 1)], kPanelWidth,
                                     kSeparatorHeight);
        sep->setPicture(separatorPicture(), 0);
        sep->hide();
    }

    scrollBar_ = new QScrollBar(Qt::Vertical, client_);
    scrollBar_->setObjectName(QStringLiteral("ScrollBar1"));
    scrollBar_->setGeometry(616, 24, 17, 321);
    scrollBar_->setRange(1, 1);
    scrollBar_->setValue(1);
    scrollBar_->setPageStep(1);
    scrollBar_->hide();
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (handlers_.scrollBarMoved) handlers_.scrollBarMoved(value);
    });

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(this);
        tray_->setObjectName(QStringLiteral("TrayIcon1"));
        tray_->setIcon(QApplication::windowIcon());
        tray_->setToolTip(windowTitle());
        connect(tray_, &QSystemTrayIcon::activated, this, [this] { restoreFromTray(); });
        tray_->show();
    }

    // The window follows the client area's fixed size and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowHeight(190);
}

MainWindow::~MainWindow() = default;

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
        close();  // N2Click: closing the main window ends the application
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

PictureBox* MainWindow::addPicture(QWidget* parent, const QString& name, int left, int top, int width,
                               int height) {
    auto* box = new PictureBox(parent, panelArtwork());
    box->setObjectName(name);
    box->setGeometry(left, top, width, height);
    return box;
}

PictureBox* MainWindow::addPicture(QWidget* parent, ComponentId id, int left, int top, int width, int height) {
    PictureBox* box = addPicture(parent, qtext(componentName(id)), left, top, width, height);
    addComponent(id, box);
    components_[static_cast<std::size_t>(componentIndex(id))].picture = box;
    return box;
}

void MainWindow::addComponent(ComponentId id, QWidget* widget) {
    const int index = componentIndex(id);
    Q_ASSERT(index >= 0);
    widget->setObjectName(qtext(componentName(id)));
    components_[static_cast<std::size_t>(index)].widget = widget;
}

void MainWindow::addDigitDisplay(QWidget* panel, ComponentId displayId, int left, int top,
                                 const std::array<ComponentId, 2>& digits) {
    auto* display = new DigitDisplay(panel);
    addComponent(displayId, display);
    display->setGeometry(left, top, 52, 30);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        PictureBox* digit = addPicture(display, digits[i], static_cast<int>(i) * 28, 0, 24, 30);
        digit->setSpeaks(PictureBox::Speaks::partOfDisplay);
        components_[static_cast<std::size_t>(componentIndex(digits[i]))].display = display;
    }
}

void MainWindow::buildPanel(int slot) {
    auto* panel = new BankPanel(client_);
    addComponent(panelId(slot), panel);
    panel->setGeometry(kPanelLeft, kPanelTops[static_cast<std::size_t>(slot - 1)], kPanelWidth, kPanelHeight);

    // The artwork first, so every other component lies above it.
    PictureBox* artwork = addPicture(panel, QStringLiteral("Image%1").arg(slot), 0, 0, kPanelWidth, kPanelHeight);
    artwork->setPicture(panelArtwork(), 0);

    for (int port = 1; port <= kSlotPorts; ++port) {
        const int k = portKey(slot, port);
        const auto i = static_cast<std::size_t>(port - 1);

        PictureBox* button = addPicture(panel, portButtonId(k), kButtonLefts[i], kButtonTop, 29, 28);
        button->setProperty("tag", k);
        button->setSpeaks(PictureBox::Speaks::button);
        button->makeButton(
            [this, k] {
                if (handlers_.portButtonPressed) handlers_.portButtonPressed(k);
            },
            [this, k] {
                if (handlers_.portButtonReleased) handlers_.portButtonReleased(k);
            },
            false);

        if (port == 1) {
            addPicture(panel, portLedId(k), kLedLefts[i], kLedTop, 50, 26);
        } else {
            addPicture(panel, portLedId(k), kLedLefts[i], kLedTop, 21, 28);
        }

        auto* label = new QLabel(panel);
        addComponent(timeLabelId(k), label);
        label->setGeometry(kLabelLefts[i], kLabelTop, 32, 13);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::yellow);
        label->setPalette(palette);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        label->setFont(font);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        components_[static_cast<std::size_t>(componentIndex(timeLabelId(k)))].label = label;
        label->setProperty("portKey", k);

        // In the same box while no time is shown there: light grey, smaller.
        auto* name = new OutletNameLabel(panel, [this, k] {
            if (handlers_.outletNameDoubleClicked) handlers_.outletNameDoubleClicked(k);
        });
        name->setObjectName(QStringLiteral("lblName%1").arg(k));
        name->setGeometry(kLabelLefts[i], kLabelTop, 32, 13);
        QPalette namePalette = name->palette();
        namePalette.setColor(QPalette::WindowText, QColor(0xC8, 0xC8, 0xC8));
        name->setPalette(namePalette);
        QFont nameFont(QStringLiteral("Arial"));
        nameFont.setPixelSize(9);
        name->setFont(nameFont);
        name->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        name->raise();
        nameLabels_[k] = name;
    }

    addDigitDisplay(panel, currentDisplayId(slot), 45, 31,
                    {currentDigitId(slot, 1), currentDigitId(slot, 2)});
    addDigitDisplay(panel, bankDisplayId(slot), 493, 31,
                    {bankDigitId(slot, 1), bankDigitId(slot, 2)});

    PictureBox* menuButton = addPicture(panel, menuButtonId(slot), 2, 83, 39, 15);
    menuButton->setProperty("tag", slot);
    menuButton->setSpeaks(PictureBox::Speaks::button);
    menuButton->makeButton(
        [this, slot] {
            if (handlers_.menuButtonPressed) handlers_.menuButtonPressed(slot);
        },
        [this, slot] {
            if (handlers_.menuButtonReleased) handlers_.menuButtonReleased(slot);
        },
        true);

    panel->hide();
}

// ---- Components by name ----------------------------------------------------------

const MainWindow::Component* MainWindow::entry(ComponentId id) const {
    const int index = componentIndex(id);
    return index < 0 ? nullptr : &components_[static_cast<std::size_t>(index)];
}

QWidget* MainWindow::component(ComponentId id) const {
    const Component* c = entry(id);
    return c ? c->widget : nullptr;
}

QLabel* MainWindow::labelWidget(ComponentId id) const {
    const Component* c = entry(id);
    return c ? c->label : nullptr;
}

PictureBox* MainWindow::pictureBox(ComponentId id) const {
    const Component* c = entry(id);
    return c ? c->picture : nullptr;
}

QAction* MainWindow::menuItem(std::string_view name) const {
    const auto it = menuItems_.find(key(name));
    return it == menuItems_.end() ? nullptr : it->second;
}

std::optional<PictureRef> MainWindow::shownPicture(ComponentId id) const {
    const PictureBox* box = pictureBox(id);
    if (!box || box->index() < 0) return std::nullopt;
    static constexpr std::array<PictureList, 6> lists{PictureList::portLed,     PictureList::firstPortLed,
                                                      PictureList::currentDigits, PictureList::bankDigits,
                                                      PictureList::portButton,  PictureList::menuButton};
    for (PictureList list : lists) {
        if (&picturesOf(list) == &box->pictures()) return PictureRef{list, box->index()};
    }
    return std::nullopt;
}

void MainWindow::setPicture(ComponentId component, PictureList list, int index) {
    PictureBox* box = pictureBox(component);
    if (!box) return;
    // An index the list does not have would draw nothing useful: ignore it.
    const PictureSet& pictures = picturesOf(list);
    if (index < 0 || index >= pictures.count()) return;
    box->setPicture(pictures, index);
}

void MainWindow::setComponentVisible(ComponentId component, bool visible) {
    if (QWidget* w = this->component(component)) w->setVisible(visible);
}

void MainWindow::setLabelText(ComponentId id, std::string_view text) {
    if (QLabel* l = labelWidget(id)) {
        const QString t = qtext(text);
        if (l->text() == t) return;
        l->setText(t);
        if (const QVariant k = l->property("portKey"); k.isValid()) showNameOrTime(k.toInt());
    }
}

void MainWindow::setOutletName(int key, std::string_view name) {
    const auto it = nameLabels_.find(key);
    if (it == nameLabels_.end()) return;
    QLabel* label = it->second;
    const QString whole = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (label->toolTip() == whole) return;
    label->setText(label->fontMetrics().elidedText(whole, Qt::ElideRight, label->width() - 2));
    label->setToolTip(whole);
    label->setAccessibleName(whole);
    if (QWidget* button = component(portButtonId(key))) button->setToolTip(whole);
    if (QLabel* time = labelWidget(timeLabelId(key))) time->setToolTip(whole);
    showNameOrTime(key);
}

QString MainWindow::shownOutletName(int key) const {
    const auto it = nameLabels_.find(key);
    return it == nameLabels_.end() || !it->second->isVisible() ? QString() : it->second->text();
}

void MainWindow::showNameOrTime(int key) {
    const auto it = nameLabels_.find(key);
    QLabel* time = labelWidget(timeLabelId(key));
    if (it == nameLabels_.end() || !time) return;
    it->second->setVisible(time->text().isEmpty());
}

void MainWindow::setLabelBackground(ComponentId id, std::uint32_t rgb) {
    if (QLabel* l = labelWidget(id)) {
        const QColor colour(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                            static_cast<int>(rgb & 0xFF));
        if (l->palette().color(QPalette::Window) == colour) return;
        QPalette palette = l->palette();
        palette.setColor(QPalette::Window, colour);
        l->setPalette(palette);
    }
}

void MainWindow::setPortButtonOn(ComponentId button, bool on) {
    PictureBox* box = pictureBox(button);
    if (box && box->speaks() == PictureBox::Speaks::button) box->setPortOn(on);
}

void MainWindow::setLabelVisible(ComponentId id, bool visible) {
    if (QLabel* l = labelWidget(id)) l->setVisible(visible);
}

void MainWindow::setAccessibleName(ComponentId component, std::string_view name) {
    // Both digits of a display name the display: one object, one name.
    if (const Component* c = entry(component); c && c->display) {
        const QString n = qtext(name);
        if (c->display->accessibleName() != n) c->display->setAccessibleName(n);
        return;
    }
    if (QWidget* w = this->component(component)) {
        const QString n = qtext(name);
        if (w->accessibleName() != n) w->setAccessibleName(n);
    }
}

// ---- The window ------------------------------------------------------------------

void MainWindow::setWindowHeight(int pixels) {
    client_->setFixedSize(kClientWidth, std::max(0, pixels - kClassicFrameHeight));
    // Resize the window now rather than on the next layout pass, so that a
    // following setWindowTop places the window as it will be.
    layout()->activate();
}

void MainWindow::setWindowTop(int pixels) { move(x(), pixels); }

int MainWindow::clientHeight() const { return client_->height(); }

void MainWindow::setScrollBarPosition(int position) {
    const QSignalBlocker block(scrollBar_);
    scrollBar_->setValue(position);
}

void MainWindow::setScrollBarMaximum(int maximum) {
    const QSignalBlocker block(scrollBar_);
    scrollBar_->setMaximum(maximum < 1 ? 1 : maximum);
}

void MainWindow::setScrollBarVisible(bool visible) { scrollBar_->setVisible(visible); }

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

// ---- Set Timer dialog ----------------------------------------------------------------

void MainWindow::setTimerDialog(SetTimerDialog* dialog) {
    timerDialog_ = dialog;
    if (!timerDialog_) return;
    for (const std::string& caption : pendingTabs_) timerDialog_->appendTimerTab(caption);
    if (!pendingTabs_.empty()) timerDialog_->selectFirstTimerTab();
    pendingTabs_.clear();
}

void MainWindow::appendTimerTab(std::string_view caption) {
    if (timerDialog_) {
        timerDialog_->appendTimerTab(caption);
    } else {
        pendingTabs_.emplace_back(caption);
    }
}

void MainWindow::deleteTimerTab(int index) {
    if (timerDialog_) {
        timerDialog_->deleteTimerTab(index);
    } else if (index >= 0 && static_cast<std::size_t>(index) < pendingTabs_.size()) {
        pendingTabs_.erase(pendingTabs_.begin() + index);
    }
}

void MainWindow::selectFirstTimerTab() {
    if (timerDialog_) timerDialog_->selectFirstTimerTab();
}

bool MainWindow::timerDialogVisible() const { return timerDialog_ && timerDialog_->timerDialogVisible(); }
int MainWindow::timerDialogBank() const { return timerDialog_ ? timerDialog_->DialogBank() : 0; }
int MainWindow::timerDialogTab() const { return timerDialog_ ? timerDialog_->selectedTab() : -1; }

void MainWindow::cancelTimerDialog() {
    if (timerDialog_) timerDialog_->cancelTimerDialog();
}

void MainWindow::refreshTimerDialog() {
    if (timerDialog_) timerDialog_->refreshTimerDialog();
}

// ---- Events ------------------------------------------------------------------------

void MainWindow::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimised with a notification area: only the icon remains.
    if (event->type() == QEvent::WindowStateChange && tray_ && isMinimized()) {
        QMetaObject::invokeMethod(this, [this] { hide(); }, Qt::QueuedConnection);
    }
}

void MainWindow::setInputLocked(bool locked) {
    // Mouse, keyboard and a screen reader's actions alike: a disabled
    // widget takes none of them, whatever the window manager does first.
    client_->setEnabled(!locked);
}

bool MainWindow::inputLocked() const { return !client_->isEnabled(); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (handlers_.mayClose && !handlers_.mayClose()) {
        event->ignore();
        return;
    }
    if (handlers_.closing) handlers_.closing();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_) return;
    centred_ = true;
    // Centred on the screen when first shown.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace velmora
