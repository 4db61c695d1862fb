// States of the lamps and buttons: which lamp glows at which index, where
// the lamps sit, pressed pictures darker than released ones, and the
// application icon.

#include "assets/picture_lists.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <QIcon>

#include <ostream>
#include <string>

namespace velmora {
namespace {

using testing::Glow;
using testing::litMask;
using testing::onPanel;

struct Centroid {
    int pixels = 0;
    double x = 0;  // share of the width, 0 left .. 1 right
    double y = 0;  // share of the height, 0 top .. 1 bottom
};

Centroid litCentroid(const QImage& picture, Glow glow) {
    const auto mask = litMask(picture, glow);
    const int width = picture.width();
    Centroid c;
    for (std::size_t px = 0; px < mask.size(); ++px) {
        if (mask[px]) {
            ++c.pixels;
            c.x += static_cast<double>(px % static_cast<std::size_t>(width));
            c.y += static_cast<double>(px / static_cast<std::size_t>(width));
        }
    }
    if (c.pixels > 0) {
        c.x = c.x / c.pixels / width;
        c.y = c.y / c.pixels / picture.height();
    }
    return c;
}

struct LedCase {
    std::string label;
    const PictureSet& (*list)();
    int index;
    bool alarmLit;  // red upper lamp
    bool onLit;     // green lower lamp
};

void PrintTo(const LedCase& c, std::ostream* os) { *os << c.label; }

const LedCase kLedCases[] = {
    {"PortLedBothDark", portLedPictures, 0, false, false},
    {"PortLedAlarm", portLedPictures, 1, true, false},
    {"PortLedOn", portLedPictures, 2, false, true},
    {"PortLedOnAndAlarm", portLedPictures, 3, true, true},
    {"PortOneLedBothDark", firstPortLedPictures, 0, false, false},
    {"PortOneLedAlarm", firstPortLedPictures, 1, true, false},
    {"PortOneLedOn", firstPortLedPictures, 2, false, true},
    {"PortOneLedOnAndAlarm", firstPortLedPictures, 3, true, true},
};

class LedState : public ::testing::TestWithParam<LedCase> {};

TEST_P(LedState, LightsExactlyTheLampsOfItsIndex) {
    const LedCase& c = GetParam();
    const QImage picture = c.list().image(c.index, 2.0);
    const Centroid red = litCentroid(picture, Glow::Red);
    const Centroid green = litCentroid(picture, Glow::Green);
    // A lit lamp is a disc of some 8 logical pixels across: at 2x well over
    // 60 device pixels glow; a dark one none.
    if (c.alarmLit) {
        EXPECT_GE(red.pixels, 60);
        EXPECT_LT(red.y, 0.5) << "the ALARM lamp is the upper one";
    } else {
        EXPECT_EQ(red.pixels, 0);
    }
    if (c.onLit) {
        EXPECT_GE(green.pixels, 60);
        EXPECT_GT(green.y, 0.5) << "the ON lamp is the lower one";
    } else {
        EXPECT_EQ(green.pixels, 0);
    }
}

// Port 1's lamps sit where the narrow LED's do, at the right end, so that
// they line up with the other ports' lamps; the words go on the left.
TEST(LedLayout, PortOneLampsSitAtTheRightWithWordsOnTheLeft) {
    const qreal ratio = 2.0;
    const QImage wide = firstPortLedPictures().image(3, ratio);
    const QImage narrow = portLedPictures().image(3, ratio);
    for (Glow glow : {Glow::Red, Glow::Green}) {
        const Centroid w = litCentroid(wide, glow);
        const Centroid n = litCentroid(narrow, glow);
        ASSERT_GT(w.pixels, 0);
        ASSERT_GT(n.pixels, 0);
        // Distance of the lamp centre from the right edge, logical pixels.
        const double wideFromRight = (1 - w.x) * 50;
        const double narrowFromRight = (1 - n.x) * 21;
        EXPECT_NEAR(wideFromRight, narrowFromRight, 1.0);
    }
    // The words: light, unsaturated strokes left of the lamps, in all states.
    for (int index = 0; index < firstPortLedPictures().count(); ++index) {
        const QImage seen = onPanel(firstPortLedPictures().image(index, ratio));
        int legend = 0;
        for (int y = 0; y < seen.height(); ++y) {
            for (int x = 0; x < static_cast<int>(27 * ratio); ++x) {
                const QRgb p = seen.pixel(x, y);
                legend += qRed(p) > 150 && qGreen(p) > 150 && qBlue(p) > 150 &&
                                  std::abs(qRed(p) - qBlue(p)) < 40
                              ? 1
                              : 0;
            }
        }
        EXPECT_GE(legend, 40) << "index " << index;
    }
}

INSTANTIATE_TEST_SUITE_P(Leds, LedState, ::testing::ValuesIn(kLedCases),
                         [](const auto& row) { return row.param.label; });

double meanLuminance(const QImage& picture) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    int n = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) == 255) {
                sum += 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
                ++n;
            }
        }
    }
    return n > 0 ? sum / n : -1;
}

struct ButtonCase {
    std::string label;
    const PictureSet& (*list)();
    int pressed;
    int released;
};

void PrintTo(const ButtonCase& c, std::ostream* os) { *os << c.label; }

const ButtonCase kButtonCases[] = {
    {"PortButton", portButtonPictures, kPortButtonPressed, kPortButtonReleased},
    {"MenuButton", menuButtonPictures, kMenuButtonPressed, kMenuButtonReleased},
};

class ButtonState : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(ButtonState, PressedIsClearlyDarkerThanReleased) {
    const ButtonCase& c = GetParam();
    const double pressed = meanLuminance(c.list().image(c.pressed, 2.0));
    const double released = meanLuminance(c.list().image(c.released, 2.0));
    ASSERT_GE(pressed, 0);
    ASSERT_GE(released, 0);
    EXPECT_LT(pressed + 30, released);
}

INSTANTIATE_TEST_SUITE_P(Buttons, ButtonState, ::testing::ValuesIn(kButtonCases),
                         [](const auto& row) { return row.param.label; });

class ApplicationIconSize : public ::testing::TestWithParam<int> {};

TEST_P(ApplicationIconSize, IsDrawnWithItsLitLamp) {
    const int pixels = GetParam();
    const QImage icon = applicationIconImage(pixels);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(pixels, pixels));
    EXPECT_GE(testing::visibleShare(icon), 0.25);
    EXPECT_GE(testing::detailShare(icon), 0.1);
    EXPECT_GE(testing::countOf(litMask(icon, Glow::Green)), 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ApplicationIconSize, ::testing::ValuesIn(kApplicationIconSizes));

TEST(ApplicationIcon, OffersEverySize) {
    const QList<QSize> sizes = applicationIcon().availableSizes();
    for (int pixels : kApplicationIconSizes) {
        EXPECT_TRUE(sizes.contains(QSize(pixels, pixels))) << pixels;
    }
}

TEST(ApplicationIcon, RefusesImpossibleSizes) {
    for (int pixels : {0, -1, -256, kMaxDeviceSide + 1}) {
        EXPECT_TRUE(applicationIconImage(pixels).isNull()) << pixels;
    }
}

}  // namespace
}  // namespace velmora
