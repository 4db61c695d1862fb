#include "mainwindow/bank_panel.h"

#include <QPalette>

#include <array>

#include "assets/picture_lists.h"
#include "mainwindow/main_window.h"
#include "mainwindow/picture_box.h"

namespace velmora {

namespace {

QString qtext(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kPanelLeft = 20;
constexpr int kPanelWidth = 590;
constexpr int kPanelHeight = 99;
constexpr std::array<int, kSlotCount> kPanelTops{25, 134, 243};
constexpr std::array<int, 2> kSeparatorTops{124, 233};
constexpr int kSeparatorHeight = 10;

constexpr std::array<int, kSlotPorts> kButtonLefts{133, 176, 220, 263, 306, 349, 393, 436};
constexpr int kButtonTop = 15;
constexpr std::array<int, kSlotPorts> kLedLefts{99, 171, 214, 257, 301, 344, 387, 430};
constexpr int kLedTop = 48;
constexpr std::array<int, kSlotPorts> kLabelLefts{130, 173, 217, 260, 303, 346, 390, 433};
constexpr int kLabelTop = 83;

}  // namespace

void MainWindow::buildPanels() {
    for (int slot = 1; slot <= kSlotCount; ++slot) buildPanel(slot);
    for (int i = 1; i <= 2; ++i) {
        PictureBox* sep = addPicture(client_, separatorId(i), kPanelLeft,
                                     kSeparatorTops[static_cast<std::size_t>(i - 1)], kPanelWidth,
                                     kSeparatorHeight);
        sep->setPicture(separatorPicture(), 0);
        sep->hide();
    }
}

PictureBox* MainWindow::addPicture(QWidget* parent, const QString& name, int left, int top, int width,
                               int height) {
    auto* box = new PictureBox(parent, panelArtwork());
    box->setObjectName(name);
    box->setGeometry(left, top, width, height);
    return box;
}

PictureBox* MainWindow::addPicture(QWidget* parent, ComponentId id, int left, int top, int width, int height) {
    PictureBox* box = addPicture(parent, qtext(componentName(id)), left, top, width, height);
    addComponent(id, box);
    components_[static_cast<std::size_t>(componentIndex(id))].picture = box;
    return box;
}

void MainWindow::addComponent(ComponentId id, QWidget* widget) {
    const int index = componentIndex(id);
    Q_ASSERT(index >= 0);
    widget->setObjectName(qtext(componentName(id)));
    components_[static_cast<std::size_t>(index)].widget = widget;
}

void MainWindow::addDigitDisplay(QWidget* panel, ComponentId displayId, int left, int top,
                                 const std::array<ComponentId, 2>& digits) {
    auto* display = new DigitDisplay(panel);
    addComponent(displayId, display);
    display->setGeometry(left, top, 52, 30);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        PictureBox* digit = addPicture(display, digits[i], static_cast<int>(i) * 28, 0, 24, 30);
        digit->setSpeaks(PictureBox::Speaks::partOfDisplay);
        components_[static_cast<std::size_t>(componentIndex(digits[i]))].display = display;
    }
}

void MainWindow::buildPanel(int slot) {
    auto* panel = new BankPanel(client_);
    addComponent(panelId(slot), panel);
    panel->setGeometry(kPanelLeft, kPanelTops[static_cast<std::size_t>(slot - 1)], kPanelWidth, kPanelHeight);

    // The artwork first, so every other component lies above it.
    PictureBox* artwork = addPicture(panel, QStringLiteral("Image%1").arg(slot), 0, 0, kPanelWidth, kPanelHeight);
    artwork->setPicture(panelArtwork(), 0);

    for (int port = 1; port <= kSlotPorts; ++port) {
        const int k = portKey(slot, port);
        const auto i = static_cast<std::size_t>(port - 1);

        PictureBox* button = addPicture(panel, portButtonId(k), kButtonLefts[i], kButtonTop, 29, 28);
        button->setProperty("tag", k);
        button->setSpeaks(PictureBox::Speaks::button);
        button->makeButton(
            [this, k] {
                if (handlers_.portButtonPressed) handlers_.portButtonPressed(k);
            },
            [this, k] {
                if (handlers_.portButtonReleased) handlers_.portButtonReleased(k);
            },
            false);

        if (port == 1) {
            addPicture(panel, portLedId(k), kLedLefts[i], kLedTop, 50, 26);
        } else {
            addPicture(panel, portLedId(k), kLedLefts[i], kLedTop, 21, 28);
        }

        auto* label = new QLabel(panel);
        addComponent(timeLabelId(k), label);
        label->setGeometry(kLabelLefts[i], kLabelTop, 32, 13);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::yellow);
        label->setPalette(palette);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        label->setFont(font);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        components_[static_cast<std::size_t>(componentIndex(timeLabelId(k)))].label = label;
        label->setProperty("portKey", k);

        // In the same box while no time is shown there: light grey, smaller.
        auto* name = new OutletNameLabel(panel, [this, k] {
            if (handlers_.outletNameDoubleClicked) handlers_.outletNameDoubleClicked(k);
        });
        name->setObjectName(QStringLiteral("lblName%1").arg(k));
        name->setGeometry(kLabelLefts[i], kLabelTop, 32, 13);
        QPalette namePalette = name->palette();
        namePalette.setColor(QPalette::WindowText, QColor(0xC8, 0xC8, 0xC8));
        name->setPalette(namePalette);
        QFont nameFont(QStringLiteral("Arial"));
        nameFont.setPixelSize(9);
        name->setFont(nameFont);
        name->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        name->raise();
        nameLabels_[k] = name;
    }

    addDigitDisplay(panel, currentDisplayId(slot), 45, 31,
                    {currentDigitId(slot, 1), currentDigitId(slot, 2)});
    addDigitDisplay(panel, bankDisplayId(slot), 493, 31,
                    {bankDigitId(slot, 1), bankDigitId(slot, 2)});

    PictureBox* menuButton = addPicture(panel, menuButtonId(slot), 2, 83, 39, 15);
    menuButton->setProperty("tag", slot);
    menuButton->setSpeaks(PictureBox::Speaks::button);
    menuButton->makeButton(
        [this, slot] {
            if (handlers_.menuButtonPressed) handlers_.menuButtonPressed(slot);
        },
        [this, slot] {
            if (handlers_.menuButtonReleased) handlers_.menuButtonReleased(slot);
        },
        true);

    panel->hide();
}

}  // namespace velmora
