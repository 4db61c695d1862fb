// Shape of every picture list the window draws from: names, counts, sizes,
// drawing at component sizes and device pixel ratios, refusal of bad
// requests, caching and drawing from several threads.

#include "assets/picture_lists.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

using testing::detailShare;
using testing::differingPixels;
using testing::visibleShare;

struct ListCase {
    std::string label;
    const PictureSet& (*list)();
    const char* name;
    QSize size;
    int count;
    double minVisible;  // share of the picture that must be drawn
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.label; }

const ListCase kLists[] = {
    {"PortLeds", portLedPictures, "portLedPictures", {21, 28}, 4, 0.2},
    {"PortOneLeds", firstPortLedPictures, "firstPortLedPictures", {50, 26}, 4, 0.15},
    {"CurrentDigits", currentDigitPictures, "currentDigitPictures", {27, 37}, 20, 0.9},
    {"BankDigits", bankDigitPictures, "bankDigitPictures", {29, 37}, 10, 0.9},
    {"PortButtons", portButtonPictures, "portButtonPictures", {29, 28}, 2, 0.7},
    {"MenuButtons", menuButtonPictures, "menuButtonPictures", {39, 15}, 2, 0.8},
    {"PanelArtwork", panelArtwork, "panelArtwork", {590, 99}, 1, 0.95},
    {"Separator", separatorPicture, "separatorPicture", {590, 10}, 1, 0.95},
};

class PictureListShape : public ::testing::TestWithParam<ListCase> {};

TEST_P(PictureListShape, HasTheNameSizeAndCountTheWindowUses) {
    const ListCase& c = GetParam();
    const PictureSet& list = c.list();
    EXPECT_EQ(list.name(), QString::fromLatin1(c.name));
    EXPECT_EQ(list.pictureSize(), c.size);
    EXPECT_EQ(list.count(), c.count);
}

TEST_P(PictureListShape, EveryPictureIsDrawnAtItsSizeAndRatio) {
    const ListCase& c = GetParam();
    const PictureSet& list = c.list();
    for (qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
        for (int i = 0; i < list.count(); ++i) {
            SCOPED_TRACE(::testing::Message() << "index " << i << " ratio " << ratio);
            const QImage picture = list.image(i, ratio);
            ASSERT_FALSE(picture.isNull());
            EXPECT_EQ(picture.width(), static_cast<int>(std::ceil(c.size.width() * ratio)));
            EXPECT_EQ(picture.height(), static_cast<int>(std::ceil(c.size.height() * ratio)));
            EXPECT_DOUBLE_EQ(picture.devicePixelRatio(), ratio);
            EXPECT_EQ(picture.deviceIndependentSize().toSize(), c.size);
        }
    }
}

TEST_P(PictureListShape, EveryPictureHasContent) {
    const ListCase& c = GetParam();
    const PictureSet& list = c.list();
    for (int i = 0; i < list.count(); ++i) {
        SCOPED_TRACE(::testing::Message() << "index " << i);
        const QImage picture = list.image(i, 2.0);
        EXPECT_GE(visibleShare(picture), c.minVisible);
        // Not a flat box: a good part differs from the commonest colour.
        EXPECT_GE(detailShare(picture), 0.05);
    }
}

TEST_P(PictureListShape, PicturesOfDifferentIndexesDiffer) {
    const PictureSet& list = GetParam().list();
    for (int i = 0; i < list.count(); ++i) {
        for (int j = i + 1; j < list.count(); ++j) {
            SCOPED_TRACE(::testing::Message() << "indexes " << i << " and " << j);
            EXPECT_GE(differingPixels(list.image(i, 2.0), list.image(j, 2.0)), 8);
        }
    }
}

TEST_P(PictureListShape, PixmapsCarryTheRatioAndAreCached) {
    const ListCase& c = GetParam();
    const PictureSet& list = c.list();
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap first = list.pixmap(list.count() - 1, ratio);
        ASSERT_FALSE(first.isNull());
        EXPECT_DOUBLE_EQ(first.devicePixelRatio(), ratio);
        EXPECT_EQ(first.deviceIndependentSize().toSize(), c.size);
        EXPECT_EQ(list.pixmap(list.count() - 1, ratio).cacheKey(), first.cacheKey());
    }
    EXPECT_NE(list.pixmap(0, 1.0).cacheKey(), list.pixmap(0, 2.0).cacheKey());
}

INSTANTIATE_TEST_SUITE_P(Lists, PictureListShape, ::testing::ValuesIn(kLists),
                         [](const auto& row) { return row.param.label; });

// Pictures go to components of other sizes (the digit displays are 24 x 30)
// and are drawn for them directly rather than scaled afterwards.
struct ComponentCase {
    std::string label;
    const PictureSet& (*list)();
    QSize component;
    qreal ratio;
    QSize devicePixels;
};

void PrintTo(const ComponentCase& c, std::ostream* os) { *os << c.label; }

const ComponentCase kComponents[] = {
    {"CurrentDigitAt1x", currentDigitPictures, {24, 30}, 1.0, {24, 30}},
    {"CurrentDigitAt2x", currentDigitPictures, {24, 30}, 2.0, {48, 60}},
    {"BankDigitAt2x", bankDigitPictures, {24, 30}, 2.0, {48, 60}},
    {"BankDigitAtOneAndAQuarter", bankDigitPictures, {24, 30}, 1.25, {30, 38}},
    {"LedAtOneAndAQuarter", portLedPictures, {21, 28}, 1.25, {27, 35}},
    {"PanelStretchedWider", panelArtwork, {640, 99}, 1.0, {640, 99}},
};

class PictureAtComponentSize : public ::testing::TestWithParam<ComponentCase> {};

TEST_P(PictureAtComponentSize, FillsTheComponentInDevicePixels) {
    const ComponentCase& c = GetParam();
    const PictureSet& list = c.list();
    for (int i = 0; i < list.count(); ++i) {
        const QImage picture = list.image(i, c.component, c.ratio);
        ASSERT_FALSE(picture.isNull()) << "index " << i;
        EXPECT_EQ(picture.size(), c.devicePixels) << "index " << i;
        EXPECT_DOUBLE_EQ(picture.devicePixelRatio(), c.ratio);
        EXPECT_GE(detailShare(picture), 0.05) << "index " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Components, PictureAtComponentSize, ::testing::ValuesIn(kComponents),
                         [](const auto& row) { return row.param.label; });

// Requests that must be refused with a null picture, never a crash or a
// huge allocation.
struct BadRequest {
    std::string label;
    int index;
    QSize size;
    qreal ratio;
};

void PrintTo(const BadRequest& c, std::ostream* os) { *os << c.label; }

const BadRequest kBadRequests[] = {
    {"NegativeIndex", -1, {21, 28}, 1.0},
    {"IndexOneTooFar", 4, {21, 28}, 1.0},
    {"HugeIndex", std::numeric_limits<int>::max(), {21, 28}, 1.0},
    {"EmptySize", 0, {0, 0}, 1.0},
    {"ZeroWidth", 0, {0, 28}, 1.0},
    {"NegativeSize", 0, {-21, 28}, 1.0},
    {"ZeroRatio", 0, {21, 28}, 0.0},
    {"NegativeRatio", 0, {21, 28}, -2.0},
    {"NotANumberRatio", 0, {21, 28}, std::numeric_limits<qreal>::quiet_NaN()},
    {"InfiniteRatio", 0, {21, 28}, std::numeric_limits<qreal>::infinity()},
    {"RatioAboveLimit", 0, {21, 28}, kMaxDevicePixelRatio * 1.01},
    {"SideAboveLimit", 0, {kMaxDeviceSide + 1, 28}, 1.0},
    {"SideAboveLimitAfterRatio", 0, {kMaxDeviceSide / 2 + 1, 28}, 2.0},
    {"OverflowingSize", 0, {std::numeric_limits<int>::max(), 28}, 8.0},
};

class RefusedRequest : public ::testing::TestWithParam<BadRequest> {};

TEST_P(RefusedRequest, GivesNullPictureAndPixmap) {
    const BadRequest& c = GetParam();
    EXPECT_TRUE(portLedPictures().image(c.index, c.size, c.ratio).isNull());
    EXPECT_TRUE(portLedPictures().pixmap(c.index, c.size, c.ratio).isNull());
}

INSTANTIATE_TEST_SUITE_P(Requests, RefusedRequest, ::testing::ValuesIn(kBadRequests),
                         [](const auto& row) { return row.param.label; });

TEST(PictureListResources, OutOfRangeIndexHasNoResource) {
    EXPECT_TRUE(portLedPictures().resource(-1).isEmpty());
    EXPECT_TRUE(portLedPictures().resource(portLedPictures().count()).isEmpty());
    EXPECT_FALSE(portLedPictures().resource(0).isEmpty());
}

TEST(PictureListResources, ListingHoldsEveryListOnce) {
    const std::vector<const PictureSet*> lists = allPictureSets();
    ASSERT_EQ(lists.size(), std::size(kLists));
    for (const ListCase& c : kLists) {
        EXPECT_EQ(std::count(lists.begin(), lists.end(), &c.list()), 1) << c.name;
    }
}

// The reader thread must never wait for the UI thread, so pictures may be
// drawn off it; the cache is shared.
TEST(PictureListThreads, ConcurrentDrawingGivesTheSamePictures) {
    const QSize odd(23, 31);  // a size no other test draws, so nothing is cached yet
    std::vector<std::vector<QImage>> results(4);
    std::vector<std::thread> threads;
    for (auto& out : results) {
        threads.emplace_back([&out, odd] {
            for (int i = 0; i < currentDigitPictures().count(); ++i) {
                out.push_back(currentDigitPictures().image(i, odd, 2.0));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < currentDigitPictures().count(); ++i) {
        ASSERT_FALSE(results[0][static_cast<std::size_t>(i)].isNull());
        for (std::size_t k = 1; k < results.size(); ++k) {
            EXPECT_EQ(results[k][static_cast<std::size_t>(i)], results[0][static_cast<std::size_t>(i)])
                << "index " << i << " thread " << k;
        }
    }
}

}  // namespace
}  // namespace velmora
