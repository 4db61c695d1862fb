#include "mainwindow/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QScrollBar>
#include <QSystemTrayIcon>

#include <algorithm>
#include <array>
#include <optional>

#include "assets/picture_lists.h"
#include "mainwindow/bank_panel.h"
#include "mainwindow/panel_accessibility.h"
#include "mainwindow/picture_box.h"
#include "schedule/set_timer_dialog.h"

namespace velmora {

namespace {

QString qtext(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

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

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    installPanelAccessibility();
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

    buildPanels();

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
