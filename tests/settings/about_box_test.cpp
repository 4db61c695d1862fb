#include "settings/about_box.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include "caption_fits.h"

#include <string>

namespace velmora {
namespace {

using testing_support::captionFits;

struct AboutControlCase {
    const char* name;
    const char* text;
    int x, y, width, height;  // width/height 0: follows the text
};

void PrintTo(const AboutControlCase& c, std::ostream* os) { *os << c.name; }

class AboutLayout : public ::testing::TestWithParam<AboutControlCase> {};

TEST_P(AboutLayout, ControlIsNamedPlacedAndReadable) {
    const AboutControlCase& row = GetParam();
    AboutBox about;
    about.show();
    auto* w = about.findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(w, nullptr);
    const QString text = QString::fromLatin1(row.text);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        EXPECT_EQ(l->text(), text);
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        EXPECT_EQ(b->text(), text);
    }
    EXPECT_EQ(w->accessibleName(), text);
    EXPECT_EQ(w->pos(), QPoint(row.x, row.y));
    if (row.width) {
        EXPECT_EQ(w->width(), row.width);
    }
    if (row.height) {
        EXPECT_EQ(w->height(), row.height);
    }
    EXPECT_TRUE(w->isVisible());
    // Not clipped, neither by the control nor by the window.
    EXPECT_TRUE(captionFits(*w));
    EXPECT_LE(w->x() + w->width(), about.width());
    EXPECT_LE(w->y() + w->height(), about.height());
    about.hide();
}

const AboutControlCase kAboutControls[] = {
    {"Label7", "Velmora Management V2.84", 52, 24, 0, 0},
    {"Label1", "Copyright (c) Velmora. All rights reserved.", 80, 64, 0, 0},
    {"okButton", "OK", 121, 104, 75, 25},
};

INSTANTIATE_TEST_SUITE_P(Controls, AboutLayout, ::testing::ValuesIn(kAboutControls),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(AboutWindow, NameInALargerFontThanTheNotice) {
    AboutBox about;
    EXPECT_GT(QFontInfo(about.titleLabel()->font()).pixelSize(), QFontInfo(about.noticeLabel()->font()).pixelSize());
}

TEST(AboutWindow, EmptyTitleNoCloseBoxFixedSizeCentred) {
    AboutBox about;
    EXPECT_TRUE(about.windowTitle().isEmpty());
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    for (const Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                        Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint,
                                        Qt::WindowSystemMenuHint}) {
        EXPECT_FALSE(flags.testFlag(button)) << button;
    }
    EXPECT_EQ(about.size(), QSize(298, 138));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    about.show();
    const QPoint screenCentre = about.screen()->availableGeometry().center();
    EXPECT_LE((about.geometry().center() - screenCentre).manhattanLength(), 4);  // rounding of both centres
    about.hide();
}

TEST(AboutWindow, OkEndsTheModalShowingEveryTime) {
    AboutBox about;
    for (int showing = 1; showing <= 2; ++showing) {
        bool wasVisible = false;
        QTimer::singleShot(0, &about, [&] {
            wasVisible = about.isVisible();
            about.okButton()->click();
            // Should the click not close it, end the showing so the test fails
            // rather than hangs.
            if (about.isVisible()) about.done(QDialog::Rejected);
        });
        about.showModal();
        EXPECT_TRUE(wasVisible) << "showing " << showing;
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), QDialog::Accepted) << "showing " << showing;
    }
}

}  // namespace
}  // namespace velmora
