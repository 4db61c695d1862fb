#include "maintenance/upgrade_mouse_block.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMouseEvent>

namespace velmora {

namespace {

// The buttons whose clicks the block takes: left, right and middle.
bool blockedButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
}

bool isPress(QEvent::Type type) {
    return type == QEvent::MouseButtonPress || type == QEvent::NonClientAreaMouseButtonPress;
}

bool isRelease(QEvent::Type type) {
    return type == QEvent::MouseButtonRelease || type == QEvent::NonClientAreaMouseButtonRelease;
}

}  // namespace

UpgradeMouseBlock::UpgradeMouseBlock(QWidget* dialog, QWidget* messages, QObject* parent)
    : QObject(parent), dialog_(dialog), messages_(messages) {}

UpgradeMouseBlock::~UpgradeMouseBlock() = default;

void UpgradeMouseBlock::setProtectedWidgets(const std::vector<QWidget*>& widgets) {
    protected_.clear();
    for (QWidget* w : widgets) {
        if (w) protected_.emplace_back(w);
    }
}

bool UpgradeMouseBlock::blocking() const {
    const QWidget* focus = QApplication::focusWidget();
    if (focus) return focus == dialog_.data() || focus == messages_.data();
    // A window without a focusable child holds the focus itself.
    return dialog_ && QApplication::activeWindow() == dialog_.data();
}

bool UpgradeMouseBlock::isProtected(const QWidget* target) const {
    for (const QPointer<QWidget>& p : protected_) {
        // isAncestorOf stays within one window: pop-up menus and dialogs
        // owned by the main window are not covered.
        if (p && (p.data() == target || p->isAncestorOf(target))) return true;
    }
    return false;
}

bool UpgradeMouseBlock::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool press = isPress(type);
    const bool release = isRelease(type);
    if (!press && !release && type != QEvent::ContextMenu) return false;
    if (!watched->isWidgetType()) return false;
    const auto* target = static_cast<const QWidget*>(watched);

    if (type == QEvent::ContextMenu) {
        const auto* menu = static_cast<const QContextMenuEvent*>(event);
        if (menu->reason() != QContextMenuEvent::Mouse || !isProtected(target)) return false;
        // Follows the right click it belongs to (after the press or the
        // release, by platform).
        if (!blocking() && !swallowed_.testFlag(Qt::RightButton) && !rightClickSwallowed_) return false;
        rightClickSwallowed_ = false;
        ++discarded_;
        return true;
    }

    const Qt::MouseButton button = static_cast<const QMouseEvent*>(event)->button();
    if (!blockedButton(button)) return false;
    // The release of a discarded press goes the same way, focus or not.
    if (release && swallowed_.testFlag(button)) {
        swallowed_ &= ~Qt::MouseButtons(button);
        ++discarded_;
        return true;
    }
    if (!isProtected(target) || !blocking()) return false;
    if (press) {
        swallowed_ |= button;
        if (button == Qt::RightButton) rightClickSwallowed_ = true;
    }
    ++discarded_;
    return true;
}

}  // namespace velmora
