#pragma once

// The pictures of the main window: the picture lists the bank panels copy
// from (portLedPictures, firstPortLedPictures, currentDigitPictures, bankDigitPictures, portButtonPictures, menuButtonPictures), the panel
// artwork, the separator and the application icon.
//
// Every picture is an SVG compiled into the program's resources and drawn on
// demand at the size it is shown at, times the screen's device pixel ratio,
// so that it stays sharp on HiDPI screens and when a component stretches it
// (the digit components are smaller than the digit pictures, for instance).
//
// Sizes are in logical (device-independent) pixels unless said otherwise.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace velmora {

// Index meanings shared by the window code.
inline constexpr int kPortButtonPressed = 0;   // portButtonPictures: pressed (dark)
inline constexpr int kPortButtonReleased = 1;  // portButtonPictures: released (light)
inline constexpr int kMenuButtonReleased = 0;  // menuButtonPictures
inline constexpr int kMenuButtonPressed = 1;   // menuButtonPictures
// currentDigitPictures: index d is digit d, index kDecimalPointOffset + d is digit d
// followed by a decimal point.
inline constexpr int kDecimalPointOffset = 10;

// Largest device pixel ratio and largest side (in device pixels) drawn.
// Larger requests are refused rather than allocating huge bitmaps.
inline constexpr qreal kMaxDevicePixelRatio = 8.0;
inline constexpr int kMaxDeviceSide = 8192;

// A fixed list of pictures of one size, chosen by index.
// Thread safety: image() may be called from any thread; pixmap() only on
// the GUI thread (QPixmap is a GUI-thread object).
class PictureSet {
public:
    // `resources` are Qt resource paths of SVG files, one per index.
    PictureSet(QString name, QSize pictureSize, std::vector<QString> resources);
    ~PictureSet();
    PictureSet(const PictureSet&) = delete;
    PictureSet& operator=(const PictureSet&) = delete;

    // The window's name of the list, e.g. "portLedPictures".
    const QString& name() const { return name_; }
    // Size of every picture of the list, logical pixels.
    QSize pictureSize() const { return pictureSize_; }
    // Number of pictures; valid indexes are 0 .. count() - 1.
    int count() const { return static_cast<int>(resources_.size()); }
    // Resource path of picture `index`; empty when the index is out of range.
    QString resource(int index) const;

    // Picture `index` drawn at `logicalSize` for a screen with the given
    // device pixel ratio: the image has logicalSize x ratio device pixels
    // (rounded up), its devicePixelRatio set to `devicePixelRatio`, ARGB
    // premultiplied with transparent surroundings. Pictures are stretched to
    // the size, not cropped. Results are cached.
    // Returns a null image when the index is out of range, the size is empty,
    // the ratio is not in (0, kMaxDevicePixelRatio], a side would exceed
    // kMaxDeviceSide device pixels, or the resource cannot be read.
    QImage image(int index, QSize logicalSize, qreal devicePixelRatio) const;
    // The same at the list's own picture size.
    QImage image(int index, qreal devicePixelRatio = 1.0) const {
        return image(index, pictureSize_, devicePixelRatio);
    }

    // As image(), converted to a pixmap and cached; GUI thread only.
    // A null pixmap in the same cases as a null image.
    QPixmap pixmap(int index, QSize logicalSize, qreal devicePixelRatio) const;
    QPixmap pixmap(int index, qreal devicePixelRatio = 1.0) const {
        return pixmap(index, pictureSize_, devicePixelRatio);
    }

private:
    // (index, device width, device height, ratio in 1/1000)
    using Key = std::tuple<int, int, int, int>;
    QString name_;
    QSize pictureSize_;
    std::vector<QString> resources_;
    mutable std::mutex mutex_;
    mutable std::map<Key, QImage> images_;
    mutable std::map<Key, QPixmap> pixmaps_;
};

// LED of ports 2..8, 21 x 28, 4 pictures: red ALARM lamp above, green ON
// lamp below; index = 2 x on + alarm (0 both dark, 1 ALARM lit, 2 ON lit,
// 3 both lit).
const PictureSet& portLedPictures();
// LED of port 1, 50 x 26, the same four states, with the words ALARM and ON
// printed beside the lamps.
const PictureSet& firstPortLedPictures();
// Red seven-segment digits for the current, 27 x 37, 20 pictures: 0..9 the
// digits, 10..19 the digits followed by a decimal point.
const PictureSet& currentDigitPictures();
// Green seven-segment digits 0..9 for the bank number, 29 x 37, 10 pictures.
const PictureSet& bankDigitPictures();
// Port button, 29 x 28, 2 pictures: 0 pressed (dark), 1 released (light).
const PictureSet& portButtonPictures();
// Panel menu button, 39 x 15, 2 pictures: 0 released, 1 pressed.
const PictureSet& menuButtonPictures();

// Panel artwork of the bank panels (Image1..Image3), 590 x 99, one picture.
const PictureSet& panelArtwork();
// Separator between two panels (imSeparated1, imSeparated2), 590 x 10, one
// picture.
const PictureSet& separatorPicture();

// Every list above, in the order given, for tools that show them all.
std::vector<const PictureSet*> allPictureSets();

// Pixel sizes the application icon is drawn at.
inline constexpr int kApplicationIconSizes[] = {16, 32, 48, 256};

// The application icon (a power strip with a lit lamp) drawn at `pixels` x
// `pixels` device pixels; small sizes use a simplified drawing that stays
// legible. Null when pixels is not in 1..kMaxDeviceSide.
QImage applicationIconImage(int pixels);
// The application icon with a picture for every size of
// kApplicationIconSizes. Needs a QGuiApplication.
QIcon applicationIcon();

}  // namespace velmora
