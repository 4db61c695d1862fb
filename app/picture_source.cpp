#include "app/picture_source.h"

#include "assets/picture_lists.h"

namespace velmora {

namespace {

const PictureSet& listOf(PictureSource source) {
    switch (source) {
        case PictureSource::led: return imlLed();
        case PictureSource::wideLed: return imlRLed();
        case PictureSource::currentDigit: return ImageList1();
        case PictureSource::bankDigit: return imlBankNo();
        case PictureSource::portButton: return imlButton();
        case PictureSource::menuButton: return imLogo();
        case PictureSource::panel: return panelArtwork();
        case PictureSource::separator: return separatorPicture();
    }
    return panelArtwork();
}

}  // namespace

int pictureSourceCount(PictureSource source) { return listOf(source).count(); }

QPixmap sourcePixmap(PictureSource source, int index, QSize logicalSize, qreal devicePixelRatio) {
    return listOf(source).pixmap(index, logicalSize, devicePixelRatio);
}

QIcon programIcon() { return applicationIcon(); }

}  // namespace velmora
