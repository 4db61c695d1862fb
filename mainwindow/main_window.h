#pragma once

// The main window's widgets: a thin shell over MainView. It builds every
// component with the name, size and position the window's logic refers to,
// draws what the logic asks for and reports the user's clicks to the
// handlers the program installs. It decides nothing itself.

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mainwindow/main_view.h"

class QAction;
class QLabel;
class QMenu;
class QScrollBar;
class QSystemTrayIcon;

namespace velmora {

class PictureBox;
class SetTimerDialog;

// Client-area width of the main window, pixels.
inline constexpr int kClientWidth = 639;
// The window heights the logic asks for (190, 300, 410) are outer heights
// of a classic window: title bar, menu bar and borders took this many of
// them. The client area below the menu bar gets the rest, so that the
// panels fit with the same small margin whatever the desktop draws around.
inline constexpr int kClassicFrameHeight = 56;

class MainWindow final : public QMainWindow, public MainView {
    Q_OBJECT

public:
    // What the user did; each handler may be empty (nothing happens).
    struct Handlers {
        // Left mouse button down / up on port button "imButton"+key (the up
        // counts wherever the pointer is). Space or Enter on a focused port
        // button gives a press followed by a release.
        std::function<void(int key)> portButtonPressed;
        std::function<void(int key)> portButtonReleased;
        // Any mouse button down / up on "btnRight"+slot (Space/Enter too).
        std::function<void(int slot)> menuButtonPressed;
        std::function<void(int slot)> menuButtonReleased;
        // The user moved ScrollBar1 to `position` (not called when the
        // logic sets it through MainView).
        std::function<void(int position)> scrollBarMoved;
        // An item of the Check Version sub-menu: its tag (bank number).
        std::function<void(int tag)> versionItemChosen;
        // Pop-up menu "popForm"+slot is about to open (portPopupOpening).
        std::function<void(int slot)> popupOpening;
        // An item of a pop-up menu: its name ("OpenOneBank2", "MenuItem3"...)
        // and its tag (see popupItemTag).
        std::function<void(const std::string& item, int tag)> popupItemChosen;
        // A menu item was chosen; `item` is its name ("mlConnect", ...).
        // File -> Exit ("N2") closes the window itself and is not reported.
        // Every menu item's handler (main menu, pop-up, Check Version) runs
        // from the event loop right after the item was triggered, never
        // inside the trigger call itself.
        std::function<void(const std::string& item)> menuItemChosen;
        // The window closes (FormClose); the application ends after it.
        std::function<void()> closing;
        // Asked at every close request (title bar, Alt+F4, File -> Exit, the
        // desktop): false keeps the window open. Empty: always closes.
        std::function<bool()> mayClose;
        // A double click on the name beneath port button key `key`.
        std::function<void(int key)> outletNameDoubleClicked;
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // ---- MainView ----
    void setPicture(ComponentId component, PictureList list, int index) override;
    void setComponentVisible(ComponentId component, bool visible) override;
    void setLabelText(ComponentId label, std::string_view text) override;
    void setLabelBackground(ComponentId label, std::uint32_t rgb) override;
    void setLabelVisible(ComponentId label, bool visible) override;
    void setAccessibleName(ComponentId component, std::string_view name) override;
    void setPortButtonOn(ComponentId button, bool on) override;
    void setOutletName(int key, std::string_view name) override;
    // The name shown beneath port button `key` (clipped to fit), "" for none.
    QString shownOutletName(int key) const;
    void setWindowHeight(int pixels) override;
    void setWindowTop(int pixels) override;
    void setScrollBarPosition(int position) override;
    void setScrollBarMaximum(int maximum) override;
    void setScrollBarVisible(bool visible) override;
    void appendVersionItem(std::string_view caption, int tag) override;
    void removeLastVersionItem() override;
    // The Set Timer dialog (SetTimerDialog). Until setTimerDialog() gives it, the
    // tab calls are kept and handed over then, and the dialog reads as hidden.
    void setTimerDialog(SetTimerDialog* dialog);
    void appendTimerTab(std::string_view caption) override;
    void deleteTimerTab(int index) override;
    void selectFirstTimerTab() override;
    bool timerDialogVisible() const override;
    int timerDialogBank() const override;
    int timerDialogTab() const override;
    void cancelTimerDialog() override;
    void refreshTimerDialog() override;

    // ---- Menus ----
    // "Connect" enabled and "Disconnect", "Tools ", "Time" and "Set Timer"
    // disabled (not connected), or the other way round.
    void setConnectedMenus(bool connected);
    // Menu item or menu by its name ("N2", "mlConnect", "CheckVersion1",
    // "mlTools1"...); for a menu, the action that opens it. nullptr if none.
    QAction* menuItem(std::string_view name) const;
    QMenu* checkVersionMenu() const { return checkVersion_; }
    // Pop-up menu "popForm"+slot (1..3), nullptr for other slots.
    QMenu* popupMenu(int slot) const;
    // Tag of a pop-up item: the slot's index 0..2 for the bank items and
    // Set Timer, the slot 1..3 for the version item, 0 for the rest; -1 for
    // a name that is not a pop-up item.
    int popupItemTag(std::string_view item) const;
    // Changes the caption of a menu or pop-up item; unknown names are ignored.
    void setMenuItemCaption(std::string_view item, std::string_view caption);
    // Where the pop-up menu of `slot` opens: the window's outer left and top
    // on the screen plus the panel's position in the client area, plus 20
    // across and 55 down.
    QPoint popupPoint(int slot) const;
    // Runs popupOpening for the slot, then shows its pop-up menu at `at`
    // (screen coordinates); returns when the menu has closed.
    void openPopup(int slot, QPoint at);

    // ---- Components ----
    // The component, nullptr when the window has none of that id.
    QWidget* component(ComponentId id) const;
    // The picture last put into an image component, nullopt when none was
    // (or the id is not one of the window's list pictures).
    std::optional<PictureRef> shownPicture(ComponentId component) const;
    // Height of the client area (below the menu bar), pixels: the height
    // last asked for less kClassicFrameHeight.
    int clientHeight() const;
    QScrollBar* scrollBar() const { return scrollBar_; }
    // The notification-area icon (TrayIcon1); nullptr where the desktop has
    // no notification area (then minimising keeps the task-bar entry).
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // A click on the notification-area icon: the window comes back.
    void restoreFromTray();
    // The client area (panels, their buttons and menus, the scroll bar)
    // takes no input while locked: no click, key or accessibility action.
    void setInputLocked(bool locked);
    bool inputLocked() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildPopups();
    void buildPanels();  // the three bank panels and the separators between them
    void buildPanel(int slot);
    // Two digit pictures in one display object.
    void addDigitDisplay(QWidget* panel, ComponentId display, int left, int top,
                         const std::array<ComponentId, 2>& digits);
    PictureBox* addPicture(QWidget* parent, const QString& name, int left, int top, int width,
                           int height);
    PictureBox* addPicture(QWidget* parent, ComponentId id, int left, int top, int width, int height);
    // Registers a component under its id and names it for it.
    void addComponent(ComponentId id, QWidget* widget);
    QLabel* labelWidget(ComponentId id) const;
    PictureBox* pictureBox(ComponentId id) const;
    // The name beneath a port shows while its time label is empty.
    void showNameOrTime(int key);
    void chooseMenuItem(const std::string& name);

    Handlers handlers_;
    QWidget* client_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QMenu* checkVersion_ = nullptr;
    QMenu* popups_[3] = {};
    QSystemTrayIcon* tray_ = nullptr;
    bool centred_ = false;
    // The components by componentIndex(): the widget, and for a digit the
    // display it belongs to.
    struct Component {
        QWidget* widget = nullptr;
        PictureBox* picture = nullptr;
        QLabel* label = nullptr;
        QWidget* display = nullptr;
    };
    const Component* entry(ComponentId id) const;
    std::array<Component, kComponentIndexes> components_{};
    QPointer<SetTimerDialog> timerDialog_;
    std::vector<std::string> pendingTabs_;  // tabs added before the dialog existed
    std::unordered_map<int, QLabel*> nameLabels_;  // by port key
    std::unordered_map<std::string, QAction*> menuItems_;
};

}  // namespace velmora
