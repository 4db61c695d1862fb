// The Windows icon file: the shell reads its directory, so every entry must
// name its own size (256 written as 0) and the place of its own picture,
// and the pictures must come back as drawn.

#include "assets/picture_lists.h"
#include "assets/windows_icon.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

using velmora::windowsIconFile;

QImage filled(int side, QRgb colour) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// The directory as the shell reads it, written here again.
struct Entry {
    int width, height, bits;
    quint32 bytes, offset;
};
std::vector<Entry> directoryOf(const QByteArray& ico) {
    const auto* p = reinterpret_cast<const uchar*>(ico.constData());
    std::vector<Entry> entries;
    if (ico.size() < 6 || qFromLittleEndian<quint16>(p + 2) != 1) return entries;
    const int count = qFromLittleEndian<quint16>(p + 4);
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i) {
        const uchar* e = p + 6 + 16 * i;
        entries.push_back({e[0] == 0 ? 256 : e[0], e[1] == 0 ? 256 : e[1], qFromLittleEndian<quint16>(e + 6),
                           qFromLittleEndian<quint32>(e + 8), qFromLittleEndian<quint32>(e + 12)});
    }
    return entries;
}

TEST(WindowsIcon, EveryEntryPointsAtItsOwnPictureAsDrawn) {
    const std::vector<QImage> images = {filled(16, qRgba(255, 0, 0, 255)), filled(48, qRgba(0, 128, 0, 128)),
                                        filled(256, qRgba(0, 0, 255, 255))};
    const QByteArray ico = windowsIconFile(images);
    const std::vector<Entry> entries = directoryOf(ico);
    ASSERT_EQ(entries.size(), images.size());
    quint32 expectedOffset = 6 + 16 * 3;
    for (std::size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].width, images[i].width());
        EXPECT_EQ(entries[i].height, images[i].height());
        EXPECT_EQ(entries[i].bits, 32);
        EXPECT_EQ(entries[i].offset, expectedOffset) << "pictures follow one another, none overlaps";
        expectedOffset += entries[i].bytes;
        // Each entry's bytes are a picture of its own, with its colours.
        const QImage back = QImage::fromData(ico.mid(static_cast<int>(entries[i].offset), static_cast<int>(entries[i].bytes)));
        ASSERT_EQ(back.size(), images[i].size());
        EXPECT_EQ(back.pixel(3, 3), images[i].pixel(3, 3));
    }
    EXPECT_EQ(expectedOffset, static_cast<quint32>(ico.size())) << "nothing after the last picture";
    // And Qt's own reader of icon files takes it whole.
    QBuffer buffer(const_cast<QByteArray*>(&ico));
    QImageReader reader(&buffer, "ico");
    EXPECT_EQ(reader.imageCount(), 3);
}

TEST(WindowsIcon, PicturesTheShellCannotTakeMakeNoFile) {
    const struct {
        const char* name;
        std::vector<QImage> images;
    } rows[] = {
        {"none", {}},
        {"not square", {QImage(16, 32, QImage::Format_ARGB32)}},
        {"larger than 256", {filled(16, 0), filled(512, 0)}},
        {"null picture", {QImage()}},
    };
    for (const auto& r : rows) EXPECT_TRUE(windowsIconFile(r.images).isEmpty()) << r.name;
}

TEST(WindowsIcon, TheProgramsIconIsDrawnAtEverySizeTheShellAsksFor) {
    std::vector<QImage> images;
    for (int pixels : velmora::kWindowsIconSizes) images.push_back(velmora::applicationIconImage(pixels));
    const std::vector<Entry> entries = directoryOf(windowsIconFile(images));
    ASSERT_EQ(entries.size(), std::size(velmora::kWindowsIconSizes));
    EXPECT_EQ(entries.back().width, 256);
}

}  // namespace
