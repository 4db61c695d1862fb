// velmora-render-assets [--icons] FOLDER
// velmora-render-assets --ico FILE
//
// Writes every picture of every picture list to FOLDER as PNG files
// (<list>_<index>.png at 1x and <list>_<index>@2x.png at 2x), the
// application icon at each of its sizes (icon_<pixels>.png), and
// contact_sheet.png: two bank panels laid out as the window shows them plus
// every picture on the panel background, once at 1x and once at 2x, so that
// the artwork can be judged at a glance. --ico writes the Windows icon
// file of the program (app/velmora.ico is made with it).

#include "assets/picture_lists.h"
#include "assets/windows_icon.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <vector>

namespace {

using velmora::PictureSet;

constexpr int kSheetWidth = 700;
const QColor kWindowColour(0xd9, 0xdb, 0xde);
const QColor kRowColour(0x26, 0x29, 0x2e);
const QColor kCaptionColour(0x20, 0x22, 0x25);

struct Placed {
    const PictureSet* list;
    int index;
    QRect rect;  // logical pixels inside the panel
};

// One bank panel with its components where the window puts them.
// `slot` varies the states shown so that every kind of picture appears.
std::vector<Placed> panelComponents(int slot) {
    std::vector<Placed> out;
    const int buttonLefts[] = {133, 176, 220, 263, 306, 349, 393, 436};
    const int ledLefts[] = {171, 214, 257, 301, 344, 387, 430};
    for (int p = 0; p < 8; ++p) {
        const int state = (p + slot) % 3 == 0 ? velmora::kPortButtonPressed
                                              : velmora::kPortButtonReleased;
        out.push_back({&velmora::portButtonPictures(), state, QRect(buttonLefts[p], 15, 29, 28)});
    }
    out.push_back({&velmora::firstPortLedPictures(), slot == 1 ? 2 : 3, QRect(99, 48, 50, 26)});
    for (int p = 0; p < 7; ++p) {
        out.push_back({&velmora::portLedPictures(), (p + slot) % 4, QRect(ledLefts[p], 48, 21, 28)});
    }
    // Current 3.4 A in slot 1 ("3." "4"), 12 A in slot 2; bank numbers 01, 02.
    const int first = slot == 1 ? velmora::kDecimalPointOffset + 3 : 1;
    const int second = slot == 1 ? 4 : 2;
    out.push_back({&velmora::currentDigitPictures(), first, QRect(45, 31, 24, 30)});
    out.push_back({&velmora::currentDigitPictures(), second, QRect(73, 31, 24, 30)});
    out.push_back({&velmora::bankDigitPictures(), 0, QRect(493, 31, 24, 30)});
    out.push_back({&velmora::bankDigitPictures(), slot, QRect(521, 31, 24, 30)});
    out.push_back({&velmora::menuButtonPictures(), slot == 1 ? velmora::kMenuButtonReleased
                                                 : velmora::kMenuButtonPressed,
                   QRect(2, 83, 39, 15)});
    return out;
}

void drawPanel(QPainter& painter, QPoint at, int slot, qreal ratio) {
    painter.drawImage(at, velmora::panelArtwork().image(0, QSize(590, 99), ratio));
    for (const Placed& c : panelComponents(slot)) {
        // Drawn at the component size, as the window shows them.
        painter.drawImage(c.rect.topLeft() + at, c.list->image(c.index, c.rect.size(), ratio));
    }
    const int labelLefts[] = {130, 173, 217, 260, 303, 346, 390, 433};
    for (int left : labelLefts) {
        painter.fillRect(QRect(at + QPoint(left, 83), QSize(32, 13)), Qt::black);
    }
}

// Draws the whole sheet in logical pixels; returns the height used.
int drawSheet(QPainter* painter, qreal ratio) {
    int y = 8;
    // The window area: two panels and the separator between them.
    const int windowTop = y;
    if (painter) {
        painter->fillRect(QRect(0, windowTop, 639, 243), kWindowColour);
        drawPanel(*painter, QPoint(20, windowTop + 25), 1, ratio);
        painter->drawImage(QPoint(20, windowTop + 124),
                           velmora::separatorPicture().image(0, QSize(590, 10), ratio));
        drawPanel(*painter, QPoint(20, windowTop + 134), 2, ratio);
    }
    y += 243 + 10;
    for (const PictureSet* list : velmora::allPictureSets()) {
        const QSize size = list->pictureSize();
        if (painter) {
            painter->setPen(kCaptionColour);
            painter->drawText(QRect(4, y, kSheetWidth - 8, 14), Qt::AlignLeft | Qt::AlignVCenter,
                              QStringLiteral("%1  (%2 x %3, %4 pictures)")
                                  .arg(list->name())
                                  .arg(size.width())
                                  .arg(size.height())
                                  .arg(list->count()));
        }
        y += 16;
        const int perRow = std::max(1, (kSheetWidth - 8) / (size.width() + 6));
        const int rows = (list->count() + perRow - 1) / perRow;
        const int rowHeight = size.height() + 8;
        if (painter) {
            painter->fillRect(QRect(0, y, kSheetWidth, rows * rowHeight), kRowColour);
            for (int i = 0; i < list->count(); ++i) {
                const QPoint at(4 + (i % perRow) * (size.width() + 6), y + 4 + (i / perRow) * rowHeight);
                painter->drawImage(at, list->image(i, ratio));
            }
        }
        y += rows * rowHeight + 6;
    }
    return y;
}

QImage sheetAt(qreal ratio) {
    const int height = drawSheet(nullptr, ratio);
    QImage sheet(QSize(kSheetWidth, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(ratio);
    sheet.fill(QColor(0xf2, 0xf3, 0xf5));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    drawSheet(&painter, ratio);
    return sheet;
}

bool save(const QImage& image, const QString& path) {
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "velmora-render-assets: could not write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");  // a tool: no window is needed
    }
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    // --icons: the application icon alone, at each size (the install's
    // hicolor theme takes them).
    if (args.size() == 3 && args[1] == QStringLiteral("--ico")) {
        std::vector<QImage> images;
        for (int pixels : velmora::kWindowsIconSizes) images.push_back(velmora::applicationIconImage(pixels));
        const QByteArray ico = velmora::windowsIconFile(images);
        QFile file(args[2]);
        if (ico.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
            std::fprintf(stderr, "velmora-render-assets: cannot write %s\n", qPrintable(args[2]));
            return 1;
        }
        return 0;
    }
    const bool iconsOnly = args.size() == 3 && args[1] == QStringLiteral("--icons");
    if (iconsOnly) args.removeAt(1);
    if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: velmora-render-assets [--icons] FOLDER | --ico FILE\n");
        return 2;
    }
    QDir folder(args[1]);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "velmora-render-assets: cannot create %s\n", qPrintable(args[1]));
        return 1;
    }
    bool ok = true;
    if (iconsOnly) {
        for (int pixels : velmora::kApplicationIconSizes) {
            ok = save(velmora::applicationIconImage(pixels),
                      folder.filePath(QStringLiteral("icon_%1.png").arg(pixels))) && ok;
        }
        return ok ? 0 : 1;
    }
    int written = 0;
    for (const PictureSet* list : velmora::allPictureSets()) {
        for (int i = 0; i < list->count(); ++i) {
            const QString stem = folder.filePath(list->name() + QLatin1Char('_') + QString::number(i));
            ok = save(list->image(i, 1.0), stem + QStringLiteral(".png")) && ok;
            ok = save(list->image(i, 2.0), stem + QStringLiteral("@2x.png")) && ok;
            written += 2;
        }
    }
    for (int pixels : velmora::kApplicationIconSizes) {
        ok = save(velmora::applicationIconImage(pixels),
                  folder.filePath(QStringLiteral("icon_%1.png").arg(pixels))) && ok;
        ++written;
    }

    // The 1x sheet above the 2x sheet, both at their own device pixels.
    const QImage one = sheetAt(1.0);
    const QImage two = sheetAt(2.0);
    QImage contact(two.width(), one.height() + two.height() + 16 + 256 + 16,
                   QImage::Format_ARGB32_Premultiplied);
    contact.fill(QColor(0xf2, 0xf3, 0xf5));
    {
        QPainter painter(&contact);
        QImage plainOne = one;
        QImage plainTwo = two;
        plainOne.setDevicePixelRatio(1.0);
        plainTwo.setDevicePixelRatio(1.0);
        painter.drawImage(QPoint(0, 0), plainOne);
        painter.drawImage(QPoint(0, one.height() + 8), plainTwo);
        int x = 8;
        const int top = one.height() + 8 + two.height() + 8;
        for (int pixels : velmora::kApplicationIconSizes) {
            painter.drawImage(QPoint(x, top), velmora::applicationIconImage(pixels));
            x += pixels + 16;
        }
    }
    ok = save(contact, folder.filePath(QStringLiteral("contact_sheet.png"))) && ok;
    ++written;
    std::printf("velmora-render-assets: %d files in %s\n", written, qPrintable(folder.absolutePath()));
    return ok ? 0 : 1;
}
