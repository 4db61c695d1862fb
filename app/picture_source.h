#pragma once

// The window's pictures by list and index, for widget code. This header
// deliberately includes neither the picture-list classes nor the window's
// list names, so that widget files can use both without a name clash.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace velmora {

enum class PictureSource {
    led,            // ports 2..8 LED, 4 pictures
    wideLed,        // port 1 LED, 4 pictures
    currentDigit,   // red digits, 20 pictures (10..19 with decimal point)
    bankDigit,      // green digits, 10 pictures
    portButton,     // 0 pressed, 1 released
    menuButton,     // 0 released, 1 pressed
    panel,          // panel artwork, 1 picture
    separator,      // separator line, 1 picture
};

// Number of pictures of the source.
int pictureSourceCount(PictureSource source);

// Picture `index` drawn at `logicalSize` for a screen of the given device
// pixel ratio (stretched, transparent around the drawing). Null for an
// index outside 0..count-1, an empty size or an unusable ratio. GUI thread.
QPixmap sourcePixmap(PictureSource source, int index, QSize logicalSize, qreal devicePixelRatio);

// The application icon at every size it is drawn at. Needs a QGuiApplication.
QIcon programIcon();

}  // namespace velmora
