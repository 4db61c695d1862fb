#pragma once

#include <QFontMetrics>
#include <QPushButton>
#include <QWidget>

namespace velmora::testing_support {

// Whether a control shows its whole caption. Push buttons have a style
// minimum width above their text, so for them only the text and icon with
// the frame margins must fit; other controls need their full size hint.
inline bool captionFits(const QWidget& w) {
    if (const auto* b = qobject_cast<const QPushButton*>(&w)) {
        int needed = QFontMetrics(b->font()).horizontalAdvance(b->text()) + 2 * 6;
        if (!b->icon().isNull()) needed += b->iconSize().width() + 4;
        return needed <= b->width();
    }
    return w.sizeHint().width() <= w.width();
}

}  // namespace velmora::testing_support
