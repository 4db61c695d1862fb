#pragma once

// Pixel helpers for the picture tests: what a viewer sees when a picture is
// shown on the panel, and simple colour classes of lit lamps and segments.

#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdlib>
#include <map>
#include <vector>

namespace velmora::testing {

// Dark panel colour the pictures are shown on.
inline const QColor kPanelColour(0x2a, 0x2e, 0x34);

// The picture composed onto the panel colour, one device pixel per pixel.
inline QImage onPanel(const QImage& picture) {
    QImage flat = picture;
    flat.setDevicePixelRatio(1.0);
    QImage out(flat.size(), QImage::Format_RGB32);
    out.fill(kPanelColour);
    QPainter painter(&out);
    painter.drawImage(0, 0, flat);
    painter.end();
    return out;
}

enum class Glow { Red, Green };

// A lit red or green element: strongly saturated and bright. Unlit lamps and
// segments, halos and the panel are all far below these limits.
inline bool isLit(QRgb p, Glow glow) {
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (glow == Glow::Red) {
        return r > 200 && r > g + 60 && r > b + 60;
    }
    return g > 200 && g > r + 60 && g > b + 40;
}

// Mask of lit pixels, row by row.
inline std::vector<bool> litMask(const QImage& picture, Glow glow) {
    const QImage seen = onPanel(picture);
    std::vector<bool> mask(static_cast<std::size_t>(seen.width()) * seen.height());
    for (int y = 0; y < seen.height(); ++y) {
        for (int x = 0; x < seen.width(); ++x) {
            mask[static_cast<std::size_t>(y) * seen.width() + x] = isLit(seen.pixel(x, y), glow);
        }
    }
    return mask;
}

inline int countOf(const std::vector<bool>& mask) {
    int n = 0;
    for (bool b : mask) {
        n += b ? 1 : 0;
    }
    return n;
}

// Pixels whose colour differs clearly (more than `tolerance` in a channel)
// between two pictures of the same size, both seen on the panel.
inline int differingPixels(const QImage& a, const QImage& b, int tolerance = 24) {
    const QImage sa = onPanel(a), sb = onPanel(b);
    if (sa.size() != sb.size()) {
        return -1;
    }
    int n = 0;
    for (int y = 0; y < sa.height(); ++y) {
        for (int x = 0; x < sa.width(); ++x) {
            const QRgb p = sa.pixel(x, y), q = sb.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance) {
                ++n;
            }
        }
    }
    return n;
}

// Share of the picture's pixels that are drawn (alpha at least one half).
inline double visibleShare(const QImage& picture) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            n += qAlpha(argb.pixel(x, y)) >= 128 ? 1 : 0;
        }
    }
    return argb.isNull() ? 0.0 : double(n) / (double(argb.width()) * argb.height());
}

// Share of the drawn pixels whose colour differs clearly from the picture's
// most common drawn colour: near 0 for a flat box, however large.
inline double detailShare(const QImage& picture) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    std::map<QRgb, int> histogram;
    std::vector<QRgb> drawn;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) >= 128) {
                ++histogram[p | 0xff000000u];
                drawn.push_back(p);
            }
        }
    }
    if (drawn.empty()) {
        return 0.0;
    }
    QRgb mode = 0;
    int best = -1;
    for (const auto& [colour, n] : histogram) {
        if (n > best) {
            best = n;
            mode = colour;
        }
    }
    int differing = 0;
    for (QRgb p : drawn) {
        differing += (std::abs(qRed(p) - qRed(mode)) > 24 || std::abs(qGreen(p) - qGreen(mode)) > 24 ||
                      std::abs(qBlue(p) - qBlue(mode)) > 24) ? 1 : 0;
    }
    return double(differing) / double(drawn.size());
}

}  // namespace velmora::testing
