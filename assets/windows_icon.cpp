#include "assets/windows_icon.h"

#include <QBuffer>
#include <QtEndian>

namespace velmora {

namespace {

void appendLe16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void appendLe32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

}  // namespace

QByteArray windowsIconFile(const std::vector<QImage>& images) {
    if (images.empty() || images.size() > 0xffff) return {};
    std::vector<QByteArray> pngs;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() != image.height() || image.width() > 256) return {};
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG")) return {};
        pngs.push_back(png);
    }
    // ICONDIR, then one ICONDIRENTRY per image, then the images.
    constexpr quint32 kDirBytes = 6, kEntryBytes = 16;
    QByteArray out;
    appendLe16(out, 0);  // reserved
    appendLe16(out, 1);  // an icon, not a cursor
    appendLe16(out, static_cast<quint16>(images.size()));
    quint32 offset = kDirBytes + kEntryBytes * static_cast<quint32>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int side = images[i].width();
        out.append(static_cast<char>(side == 256 ? 0 : side));  // width; 0 means 256
        out.append(static_cast<char>(side == 256 ? 0 : side));  // height
        out.append('\0');                                       // no palette
        out.append('\0');                                       // reserved
        appendLe16(out, 1);                                     // colour planes
        appendLe16(out, 32);                                    // bits per pixel
        appendLe32(out, static_cast<quint32>(pngs[i].size()));
        appendLe32(out, offset);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray& png : pngs) out.append(png);
    return out;
}

}  // namespace velmora
