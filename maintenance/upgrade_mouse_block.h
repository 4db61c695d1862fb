#pragma once

// Keeps mouse clicks off the main window while the Upgrade Process dialog
// has the focus, so that nobody switches ports, scrolls or opens a menu in
// the middle of an upgrade. An application-wide event filter: installed
// once and left for the whole run; it only acts while the dialog (or its
// message list) holds the keyboard focus.
//
// Discarded: presses and releases of the left, right and middle buttons
// (and the context-menu request of a discarded right click) aimed at a
// protected widget or anything inside it within the same window. The
// release of a discarded press is discarded too, even when the focus moved
// meanwhile (the window manager activates the window clicked on), so that
// no half click reaches a port button. Double-clicks, the wheel, movement
// and the keyboard pass. Separate windows (menus that pop up, dialogs) are
// never inside a protected widget.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

class QEvent;

namespace velmora {

class UpgradeMouseBlock final : public QObject {
    Q_OBJECT

public:
    // `dialog` and `messages` are the widgets whose focus turns the block
    // on (UpgradeDialog and its messageMemo).
    UpgradeMouseBlock(QWidget* dialog, QWidget* messages, QObject* parent = nullptr);
    ~UpgradeMouseBlock() override;

    // The widgets to keep clicks off (the main window, its bank panels,
    // scroll bar and menu bar). Widgets destroyed later drop out by
    // themselves.
    void setProtectedWidgets(const std::vector<QWidget*>& widgets);

    // True while the dialog or its message list has the keyboard focus.
    bool blocking() const;
    // Presses, releases and context-menu requests discarded so far.
    int discardedCount() const { return discarded_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isProtected(const QWidget* target) const;

    QPointer<QWidget> dialog_;
    QPointer<QWidget> messages_;
    std::vector<QPointer<QWidget>> protected_;
    Qt::MouseButtons swallowed_;  // presses discarded whose release is still due
    bool rightClickSwallowed_ = false;  // its context-menu request is still due
    int discarded_ = 0;
};

}  // namespace velmora
