#include "assets/picture_lists.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <utility>

// Q_INIT_RESOURCE must be used outside any namespace. A static library's
// resources are only registered when something references them, so the
// lists do it before their first drawing.
static void initAssetResources() {
    Q_INIT_RESOURCE(assets);
}

namespace velmora {
namespace {

// Distinct sizes are few (one per component kind and screen), so this only
// guards against a caller that asks for ever new sizes.
constexpr std::size_t kMaxCachedPerList = 512;

void ensureResources() {
    static std::once_flag once;
    std::call_once(once, initAssetResources);
}

// Device pixels for a logical length: rounded up, tolerating the rounding
// error of ratios such as 1.25 x 28. 0 when the result would exceed
// kMaxDeviceSide (checked before the conversion, which would overflow).
int devicePixels(int logical, qreal ratio) {
    const double pixels = std::ceil(logical * ratio - 1e-6);
    return pixels > kMaxDeviceSide ? 0 : static_cast<int>(pixels);
}

bool validRatio(qreal ratio) {
    return std::isfinite(ratio) && ratio > 0 && ratio <= kMaxDevicePixelRatio;
}

QImage renderSvg(const QString& resource, QSize deviceSize) {
    ensureResources();
    QSvgRenderer renderer(resource);
    if (!renderer.isValid()) {
        return {};
    }
    QImage image(deviceSize, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(deviceSize)));
    painter.end();
    return image;
}

QString svgResource(const char* file) {
    return QStringLiteral(":/velmora/svg/") + QString::fromLatin1(file);
}

std::vector<QString> numbered(const char* stem, int count) {
    std::vector<QString> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(svgResource(stem) + QString::number(i) + QStringLiteral(".svg"));
    }
    return out;
}

}  // namespace

PictureSet::PictureSet(QString name, QSize pictureSize, std::vector<QString> resources)
    : name_(std::move(name)), pictureSize_(pictureSize), resources_(std::move(resources)) {}

PictureSet::~PictureSet() = default;

QString PictureSet::resource(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    return resources_[static_cast<std::size_t>(index)];
}

QImage PictureSet::image(int index, QSize logicalSize, qreal devicePixelRatio) const {
    if (index < 0 || index >= count() || logicalSize.isEmpty() || !validRatio(devicePixelRatio)) {
        return {};
    }
    const int width = devicePixels(logicalSize.width(), devicePixelRatio);
    const int height = devicePixels(logicalSize.height(), devicePixelRatio);
    if (width <= 0 || height <= 0) {
        return {};
    }
    const Key key{index, width, height, static_cast<int>(std::lround(devicePixelRatio * 1000))};
    {
        std::lock_guard lock(mutex_);
        if (auto found = images_.find(key); found != images_.end()) {
            return found->second;
        }
    }
    // Drawn outside the lock: two threads may draw the same picture once
    // each, which is harmless.
    QImage drawn = renderSvg(resources_[static_cast<std::size_t>(index)], QSize(width, height));
    if (drawn.isNull()) {
        return {};
    }
    drawn.setDevicePixelRatio(devicePixelRatio);
    std::lock_guard lock(mutex_);
    if (images_.size() >= kMaxCachedPerList) {
        images_.clear();
    }
    return images_.emplace(key, std::move(drawn)).first->second;
}

QPixmap PictureSet::pixmap(int index, QSize logicalSize, qreal devicePixelRatio) const {
    const QImage drawn = image(index, logicalSize, devicePixelRatio);
    if (drawn.isNull()) {
        return {};
    }
    const Key key{index, drawn.width(), drawn.height(),
                  static_cast<int>(std::lround(devicePixelRatio * 1000))};
    std::lock_guard lock(mutex_);
    if (auto found = pixmaps_.find(key); found != pixmaps_.end()) {
        return found->second;
    }
    if (pixmaps_.size() >= kMaxCachedPerList) {
        pixmaps_.clear();
    }
    QPixmap converted = QPixmap::fromImage(drawn);
    converted.setDevicePixelRatio(devicePixelRatio);
    return pixmaps_.emplace(key, std::move(converted)).first->second;
}

const PictureSet& portLedPictures() {
    static const PictureSet list(QStringLiteral("portLedPictures"), QSize(21, 28), numbered("led_", 4));
    return list;
}

const PictureSet& firstPortLedPictures() {
    static const PictureSet list(QStringLiteral("firstPortLedPictures"), QSize(50, 26),
                                  numbered("led_wide_", 4));
    return list;
}

const PictureSet& currentDigitPictures() {
    static const PictureSet list = [] {
        std::vector<QString> files = numbered("digit_red_", 10);
        for (QString& point : numbered("digit_red_point_", 10)) {
            files.push_back(std::move(point));
        }
        return PictureSet(QStringLiteral("currentDigitPictures"), QSize(27, 37), std::move(files));
    }();
    return list;
}

const PictureSet& bankDigitPictures() {
    static const PictureSet list(QStringLiteral("bankDigitPictures"), QSize(29, 37),
                                  numbered("digit_green_", 10));
    return list;
}

const PictureSet& portButtonPictures() {
    // Index 0 pressed, 1 released: the order the switching code relies on.
    static const PictureSet list(
        QStringLiteral("portButtonPictures"), QSize(29, 28),
        {svgResource("button_pressed.svg"), svgResource("button_released.svg")});
    return list;
}

const PictureSet& menuButtonPictures() {
    static const PictureSet list(
        QStringLiteral("menuButtonPictures"), QSize(39, 15),
        {svgResource("menu_button_released.svg"), svgResource("menu_button_pressed.svg")});
    return list;
}

const PictureSet& panelArtwork() {
    static const PictureSet list(QStringLiteral("panelArtwork"), QSize(590, 99),
                                  {svgResource("panel.svg")});
    return list;
}

const PictureSet& separatorPicture() {
    static const PictureSet list(QStringLiteral("separatorPicture"), QSize(590, 10),
                                  {svgResource("separator.svg")});
    return list;
}

std::vector<const PictureSet*> allPictureSets() {
    return {&portLedPictures(),    &firstPortLedPictures(), &currentDigitPictures(),   &bankDigitPictures(),
            &portButtonPictures(), &menuButtonPictures(),  &panelArtwork(), &separatorPicture()};
}

QImage applicationIconImage(int pixels) {
    if (pixels < 1 || pixels > kMaxDeviceSide) {
        return {};
    }
    // The detailed drawing turns to mush below about 40 pixels.
    const char* file = pixels < 40 ? "icon_small.svg" : "icon_large.svg";
    return renderSvg(svgResource(file), QSize(pixels, pixels));
}

QIcon applicationIcon() {
    QIcon icon;
    for (int pixels : kApplicationIconSizes) {
        const QImage drawn = applicationIconImage(pixels);
        if (!drawn.isNull()) {
            icon.addPixmap(QPixmap::fromImage(drawn));
        }
    }
    return icon;
}

}  // namespace velmora
