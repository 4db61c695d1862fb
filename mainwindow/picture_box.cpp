#include "mainwindow/picture_box.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "assets/picture_lists.h"

namespace velmora {

void PictureBox::setPortOn(bool on) {
    if (portOn_ == on) return;
    portOn_ = on;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void PictureBox::setPicture(const PictureSet& pictures, int index) {
    if (&pictures == pictures_ && index == index_) return;  // the flash tick repeats itself
    pictures_ = &pictures;
    index_ = index;
    update();
}

void PictureBox::makeButton(std::function<void()> pressed, std::function<void()> released, bool anyMouseButton) {
    pressed_ = std::move(pressed);
    released_ = std::move(released);
    anyMouseButton_ = anyMouseButton;
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void PictureBox::paintEvent(QPaintEvent*) {
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

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (!takesButton(event->button())) return QWidget::mousePressEvent(event);
    if (pressed_) pressed_();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (!takesButton(event->button())) return QWidget::mouseReleaseEvent(event);
    if (released_) released_();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    const bool click = k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter;
    if (!click || !isButton()) return QWidget::keyPressEvent(event);
    if (event->isAutoRepeat()) return;
    press();
}

}  // namespace velmora
