#include "platform/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/event_loop.h"

#include <string>

namespace velmora {
namespace {

struct FilterCase {
    const char* name;
    const char* classic;
    const char* qt;
};

class FileFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FileFilterTest, BecomesQtFilter) {
    EXPECT_EQ(qtFileFilter(GetParam().classic).toStdString(), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    App, FileFilterTest,
    ::testing::Values(
        FilterCase{"FirmwareImages", "x files(*.x)|*.x", "x files(*.x) (*.x)"},
        FilterCase{"ScheduleFiles", "Power files|*.pwr", "Power files (*.pwr)"},
        FilterCase{"TwoPairs", "Images|*.x|All files|*.*", "Images (*.x);;All files (*.*)"},
        FilterCase{"SeveralPatterns", "Text|*.txt;*.log", "Text (*.txt *.log)"},
        FilterCase{"BlankAroundPatterns", "Text| *.txt ; *.log ", "Text (*.txt *.log)"},
        FilterCase{"DescriptionWithoutPattern", "Anything", "Anything (*)"},
        FilterCase{"TrailingBar", "Images|*.x|", "Images (*.x)"},
        FilterCase{"EmptyPattern", "Images|", "Images (*)"},
        FilterCase{"Empty", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

struct TextCase {
    const char* name;
    std::string text;
    std::string shown;
};

class MessageTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(MessageTextTest, CarriageReturnsBreakLines) {
    EXPECT_EQ(messageBoxText(GetParam().text).toStdString(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    App, MessageTextTest,
    ::testing::Values(
        TextCase{"Plain", "Battery no power or RTC failure", "Battery no power or RTC failure"},
        TextCase{"UpgradeTimeout", "Upgrade timeout. \rPlease try again.", "Upgrade timeout. \nPlease try again."},
        TextCase{"CrLfIsOneBreak", "a\r\nb", "a\nb"},
        TextCase{"TwoReturns", "a\r\rb", "a\n\nb"},
        TextCase{"LineFeedKept", "a\nb", "a\nb"},
        TextCase{"EndsWithReturn", "a\r", "a\n"},
        TextCase{"EightBitByteKept", std::string("Temp \xB0" "C"), "Temp \xC2\xB0" "C"},
        TextCase{"EmbeddedNulKept", std::string("a\0b", 3), std::string("a\0b", 3)}),
    [](const auto& row) { return std::string(row.param.name); });

struct BoxCase {
    const char* name;
    MessageIcon icon;
    MessageButtons buttons;
    QMessageBox::Icon qtIcon;
    QMessageBox::StandardButtons qtButtons;
    QMessageBox::StandardButton escape;
};

class MessageBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxTest, HasCaptionTextIconAndButtons) {
    const BoxCase& c = GetParam();
    auto box = buildMessageBox("Upgrade timeout. \rPlease try again.", "Bank 3 Version", c.icon, c.buttons, nullptr);
    EXPECT_EQ(box->windowTitle().toStdString(), "Bank 3 Version");
    EXPECT_EQ(box->text().toStdString(), "Upgrade timeout. \nPlease try again.");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), c.qtIcon);
    EXPECT_EQ(box->standardButtons(), c.qtButtons);
    ASSERT_NE(box->escapeButton(), nullptr);
    EXPECT_EQ(box->escapeButton(), box->button(c.escape));
}

INSTANTIATE_TEST_SUITE_P(
    App, MessageBoxTest,
    ::testing::Values(
        BoxCase{"PlainNotice", MessageIcon::none, MessageButtons::ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok},
        BoxCase{"StopError", MessageIcon::stop, MessageButtons::ok, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
        BoxCase{"InformationWarning", MessageIcon::information, MessageButtons::ok, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
        BoxCase{"QuestionOkCancel", MessageIcon::question, MessageButtons::okCancel, QMessageBox::Question,
                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
        BoxCase{"YesNo", MessageIcon::none, MessageButtons::yesNo, QMessageBox::NoIcon,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No}),
    [](const auto& row) { return std::string(row.param.name); });

struct AnswerCase {
    const char* name;
    int clicked;
    MessageButtons buttons;
    MessageAnswer answer;
};

class AnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, ClickedButtonGivesAnswer) {
    EXPECT_EQ(answerFor(GetParam().clicked, GetParam().buttons), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    App, AnswerTest,
    ::testing::Values(AnswerCase{"OkOfOkBox", QMessageBox::Ok, MessageButtons::ok, MessageAnswer::ok},
                      AnswerCase{"ClosedOkBox", 0, MessageButtons::ok, MessageAnswer::ok},
                      AnswerCase{"OkOfOkCancel", QMessageBox::Ok, MessageButtons::okCancel, MessageAnswer::ok},
                      AnswerCase{"CancelOfOkCancel", QMessageBox::Cancel, MessageButtons::okCancel, MessageAnswer::cancel},
                      AnswerCase{"ClosedOkCancel", 0, MessageButtons::okCancel, MessageAnswer::cancel},
                      AnswerCase{"YesOfYesNo", QMessageBox::Yes, MessageButtons::yesNo, MessageAnswer::yes},
                      AnswerCase{"NoOfYesNo", QMessageBox::No, MessageButtons::yesNo, MessageAnswer::no},
                      AnswerCase{"ClosedYesNo", 0, MessageButtons::yesNo, MessageAnswer::no},
                      AnswerCase{"ForeignButtonOnYesNo", QMessageBox::Ok, MessageButtons::yesNo, MessageAnswer::no}),
    [](const auto& row) { return std::string(row.param.name); });

// The real modal box, answered from inside its own event loop.
struct ModalCase {
    const char* name;
    MessageButtons buttons;
    QMessageBox::StandardButton press;  // NoButton: close with Escape
    MessageAnswer answer;
};

class ModalMessageTest : public ::testing::TestWithParam<ModalCase> {};

TEST_P(ModalMessageTest, AnswersWhatTheUserPressed) {
    const ModalCase& c = GetParam();
    QtDialogs dialogs;
    std::string seenText;
    bool answered = false;
    test::ModalAnswerer answerer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || answered) return;
        answered = true;
        seenText = box->text().toStdString();
        if (c.press == QMessageBox::NoButton) {
            box->reject();  // Escape, or the title-bar close box
        } else {
            box->button(c.press)->click();
        }
    });
    const MessageAnswer answer = dialogs.message("one\rtwo", "caption", MessageIcon::none, c.buttons);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(answerer.forced());
    EXPECT_EQ(seenText, "one\ntwo");
    EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    App, ModalMessageTest,
    ::testing::Values(ModalCase{"OkPressed", MessageButtons::okCancel, QMessageBox::Ok, MessageAnswer::ok},
                      ModalCase{"CancelPressed", MessageButtons::okCancel, QMessageBox::Cancel, MessageAnswer::cancel},
                      ModalCase{"OkCancelClosed", MessageButtons::okCancel, QMessageBox::NoButton, MessageAnswer::cancel},
                      ModalCase{"NoPressed", MessageButtons::yesNo, QMessageBox::No, MessageAnswer::no},
                      ModalCase{"YesPressed", MessageButtons::yesNo, QMessageBox::Yes, MessageAnswer::yes},
                      ModalCase{"YesNoClosed", MessageButtons::yesNo, QMessageBox::NoButton, MessageAnswer::no}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora

#include <QFileDialog>

#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

namespace velmora {
namespace {

// The real file choosers, answered from inside their own event loop.
struct ChooserCase {
    const char* name;
    bool save;
    bool accept;
    const char* filter;
    const char* qtFilter;
    const char* typesShown;  // the chooser's list of file types, as the user reads it
    const char* typed;     // name typed by the user when saving ("" keeps the default)
    const char* expected;  // file name the program gets
};

class FileChooserTest : public ::testing::TestWithParam<ChooserCase> {};

TEST_P(FileChooserTest, ShowsTheFilterAndGivesThePathOrNothing) {
    const ChooserCase& c = GetParam();
    testing_support::TempFolder folder;
    // Open picks an existing file; Save takes the offered default name in
    // an empty folder (an existing file would bring up the chooser's own
    // overwrite question).
    const std::filesystem::path file = folder / c.expected;
    if (!c.save) std::ofstream(file) << "x";
    QtDialogs dialogs;
    QStringList filtersShown;
    QStringList typesShown;
    QString captionShown;
    QString suffixShown;
    QStringList offered;
    bool answered = false;
    bool unexpected = false;
    test::ModalAnswerer answerer([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        if (!chooser) {  // anything else would wait forever
            unexpected = true;
            modal->close();
            return;
        }
        if (answered) return;
        answered = true;
        filtersShown = chooser->nameFilters();
        if (const auto* types = chooser->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i) typesShown << types->itemText(i);
        }
        captionShown = chooser->windowTitle();
        suffixShown = chooser->defaultSuffix();
        offered = chooser->selectedFiles();
        if (c.accept) {
            if (c.save) {
                chooser->setDirectory(QString::fromStdString(folder.path().string()));
                chooser->selectFile(QString::fromLatin1(*c.typed ? c.typed : "default0"));
            } else {
                chooser->selectFile(QString::fromStdString(file.string()));
            }
            static_cast<QDialog*>(chooser)->accept();  // the dialog's own accept, as Open/Save does
        } else {
            chooser->reject();
        }
    });
    FileChoice choice;
    choice.filter = c.filter;
    choice.caption = c.save ? "Save schedule" : "Open image";
    choice.defaultName = c.save ? "default0" : "";
    choice.defaultExtension = c.save ? ".pwr" : "";
    const std::string chosen = c.save ? dialogs.saveFile(choice) : dialogs.openFile(choice);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(unexpected);
    EXPECT_FALSE(answerer.forced());
    EXPECT_EQ(filtersShown.join(QStringLiteral(";;")).toStdString(), c.qtFilter);
    EXPECT_EQ(typesShown.join(QStringLiteral(";;")).toStdString(), c.typesShown);
    EXPECT_EQ(captionShown.toStdString(), c.save ? "Save schedule" : "Open image");
    if (c.save) {
        // The default name is offered and a name without extension gets ".pwr".
        EXPECT_EQ(suffixShown.toStdString(), "pwr");
        ASSERT_FALSE(offered.isEmpty());
        EXPECT_EQ(std::filesystem::path(offered.front().toStdString()).stem(), "default0");
    }
    if (c.accept) {
        EXPECT_EQ(std::filesystem::path(chosen), file);
    } else {
        EXPECT_EQ(chosen, "");
    }
}

INSTANTIATE_TEST_SUITE_P(App, FileChooserTest,
                         ::testing::Values(ChooserCase{"OpenChosen", false, true, "x files(*.x)|*.x", "x files(*.x) (*.x)", "x files(*.x)", "", "image.x"},
                                           ChooserCase{"OpenCancelled", false, false, "x files(*.x)|*.x", "x files(*.x) (*.x)", "x files(*.x)", "", "image.x"},
                                           ChooserCase{"SaveDefaultNameGetsExtension", true, true, "power file(*.pwr)|*.pwr|all file(*.*)|*.*", "power file(*.pwr) (*.pwr);;all file(*.*) (*.*)", "power file(*.pwr);;all file(*.*)", "", "default0.pwr"},
                                           ChooserCase{"SaveTypedExtensionKept", true, true, "Schedule|*.pwr", "Schedule (*.pwr)", "Schedule", "night.sched", "night.sched"},
                                           ChooserCase{"SaveCancelled", true, false, "power file(.pwr)|*.pwr|all file(*.*)|*.*", "power file(.pwr) (*.pwr);;all file(*.*) (*.*)", "power file(.pwr);;all file(*.*)", "", "default0.pwr"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
