// The seven-segment digits show the right segments: the pattern is read
// back from the pixels, so no geometry of the artwork is assumed.
//
// Every lit pixel of "8" belongs to one segment; the set of digits that
// light that pixel (its signature) must be the set of digits that use the
// segment. A digit with a missing, extra or swapped segment produces
// signatures that fit no segment.

#include "assets/picture_lists.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing::Glow;
using testing::litMask;

// Segments a..g of each digit (6 with its top bar, 7 without side bar,
// 9 with its bottom bar).
const char* const kSegmentsOf[10] = {"abcdef", "bc",      "abdeg", "abcdg", "bcfg",
                                     "acdfg",  "acdefg",  "abc",   "abcdefg", "abcdfg"};

// Digits using each segment, as a bit set over 0..9.
std::map<unsigned, char> segmentSignatures() {
    std::map<unsigned, char> out;
    for (char segment = 'a'; segment <= 'g'; ++segment) {
        unsigned bits = 0;
        for (unsigned d = 0; d < 10; ++d) {
            if (std::string(kSegmentsOf[d]).find(segment) != std::string::npos) {
                bits |= 1u << d;
            }
        }
        out[bits] = segment;
    }
    return out;
}

struct DigitCase {
    std::string label;
    const PictureSet& (*list)();
    int first;  // index of digit 0
    Glow glow;
    QSize size;  // drawn at this size ...
    qreal ratio;  // ... and ratio
};

void PrintTo(const DigitCase& c, std::ostream* os) { *os << c.label; }

const DigitCase kDigitCases[] = {
    {"CurrentDigits", currentDigitPictures, 0, Glow::Red, {27, 37}, 3.0},
    {"CurrentDigitsWithPoint", currentDigitPictures, kDecimalPointOffset, Glow::Red, {27, 37}, 3.0},
    {"CurrentDigitsInTheirComponent", currentDigitPictures, 0, Glow::Red, {24, 30}, 2.0},
    {"BankDigits", bankDigitPictures, 0, Glow::Green, {29, 37}, 3.0},
    {"BankDigitsInTheirComponent", bankDigitPictures, 0, Glow::Green, {24, 30}, 2.0},
};

class SevenSegment : public ::testing::TestWithParam<DigitCase> {
protected:
    std::vector<std::vector<bool>> masks(Glow glow) const {
        const DigitCase& c = GetParam();
        std::vector<std::vector<bool>> out;
        for (int d = 0; d < 10; ++d) {
            out.push_back(litMask(c.list().image(c.first + d, c.size, c.ratio), glow));
        }
        return out;
    }
};

TEST_P(SevenSegment, LitPixelsFormTheSegmentsOfEachDigit) {
    const auto lit = masks(GetParam().glow);
    const auto signatures = segmentSignatures();
    const std::vector<bool>& eight = lit[8];
    std::map<char, int> pixelsOfSegment;
    int fitting = 0, total = 0, outsideEight = 0;
    for (std::size_t px = 0; px < eight.size(); ++px) {
        unsigned bits = 0;
        for (unsigned d = 0; d < 10; ++d) {
            bits |= lit[d][px] ? 1u << d : 0u;
        }
        if (!eight[px]) {
            // With a decimal point every digit lights it; 8 lights it too,
            // so anything lit here belongs to no segment of 8.
            outsideEight += bits != 0 ? 1 : 0;
            continue;
        }
        ++total;
        if (auto found = signatures.find(bits); found != signatures.end()) {
            ++fitting;
            ++pixelsOfSegment[found->second];
        }
    }
    ASSERT_GT(total, 0);
    // Anti-aliased edges may fall either way; the segments themselves may not.
    EXPECT_GE(fitting, total * 9 / 10) << fitting << " of " << total << " lit pixels fit a segment";
    EXPECT_LE(outsideEight, total / 50);
    for (char segment = 'a'; segment <= 'g'; ++segment) {
        EXPECT_GE(pixelsOfSegment[segment], total / 30) << "segment " << segment;
    }
}

TEST_P(SevenSegment, OnlyTheDisplaysOwnColourIsLit) {
    const Glow other = GetParam().glow == Glow::Red ? Glow::Green : Glow::Red;
    for (const auto& mask : masks(other)) {
        EXPECT_EQ(testing::countOf(mask), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Displays, SevenSegment, ::testing::ValuesIn(kDigitCases),
                         [](const auto& row) { return row.param.label; });

// currentDigitPictures[10 + d] is digit d followed by a decimal point: the same
// segments plus one spot, the same for every digit, at the lower right.
TEST(DecimalPoint, AddsTheSameSpotAtTheLowerRightToEveryDigit) {
    const qreal ratio = 3.0;
    const QSize size = currentDigitPictures().pictureSize();
    const int width = static_cast<int>(size.width() * ratio);
    const int height = static_cast<int>(size.height() * ratio);
    std::vector<bool> firstSpot;
    for (int d = 0; d < 10; ++d) {
        SCOPED_TRACE(::testing::Message() << "digit " << d);
        const auto plain = litMask(currentDigitPictures().image(d, ratio), Glow::Red);
        const auto pointed = litMask(currentDigitPictures().image(kDecimalPointOffset + d, ratio), Glow::Red);
        std::vector<bool> spot(plain.size());
        int lost = 0, spotPixels = 0;
        long sumX = 0, sumY = 0;
        for (std::size_t px = 0; px < plain.size(); ++px) {
            lost += plain[px] && !pointed[px] ? 1 : 0;
            spot[px] = pointed[px] && !plain[px];
            if (spot[px]) {
                ++spotPixels;
                sumX += static_cast<long>(px % static_cast<std::size_t>(width));
                sumY += static_cast<long>(px / static_cast<std::size_t>(width));
            }
        }
        EXPECT_LE(lost, 3) << "the point must not switch segments off";
        ASSERT_GE(spotPixels, 10);
        EXPECT_GT(sumX / spotPixels, width * 3 / 4);
        EXPECT_GT(sumY / spotPixels, height * 3 / 4);
        if (d == 0) {
            firstSpot = spot;
        } else {
            int moved = 0;
            for (std::size_t px = 0; px < spot.size(); ++px) {
                moved += spot[px] != firstSpot[px] ? 1 : 0;
            }
            EXPECT_LE(moved, spotPixels / 10);
        }
    }
}

// The bank display has no decimal point: no digit lights anything at the
// place where the current display's point is.
TEST(DecimalPoint, BankDigitsNeverLightOne) {
    const qreal ratio = 3.0;
    const int width = static_cast<int>(bankDigitPictures().pictureSize().width() * ratio);
    const int height = static_cast<int>(bankDigitPictures().pictureSize().height() * ratio);
    for (int d = 0; d < 10; ++d) {
        const auto lit = litMask(bankDigitPictures().image(d, ratio), Glow::Green);
        int inCorner = 0;
        for (std::size_t px = 0; px < lit.size(); ++px) {
            const int x = static_cast<int>(px % static_cast<std::size_t>(width));
            const int y = static_cast<int>(px / static_cast<std::size_t>(width));
            inCorner += lit[px] && x > width * 4 / 5 && y > height * 3 / 4 ? 1 : 0;
        }
        EXPECT_EQ(inCorner, 0) << "digit " << d;
    }
}

}  // namespace
}  // namespace velmora
