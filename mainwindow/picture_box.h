#pragma once

// The bank panels' image components: a picture of one of the window's
// picture lists (LED, digit, button), and the display that joins two digit
// pictures into one object for a screen reader.

#include <QWidget>

#include <functional>
#include <optional>

namespace velmora {

class PictureSet;

// An image component: shows one picture of one list, stretched to its size
// and drawn at the screen's pixel ratio. It paints nothing else, so the
// panel artwork shows around the drawing. As a button it takes focus and
// reports presses and releases; Space and Enter work like a click.
class PictureBox final : public QWidget {
public:
    PictureBox(QWidget* parent, const PictureSet& pictures) : QWidget(parent), pictures_(&pictures) {}

    // What a screen reader is told the picture is.
    enum class Speaks { image, button, partOfDisplay };
    Speaks speaks() const { return speaks_; }
    void setSpeaks(Speaks speaks) { speaks_ = speaks; }
    // A port button's port: on or off (unset for other pictures).
    std::optional<bool> portOn() const { return portOn_; }
    void setPortOn(bool on);
    // A press and a release, exactly as a click or the keyboard gives them.
    void press() {
        if (pressed_) pressed_();
        if (released_) released_();
    }

    void setPicture(const PictureSet& pictures, int index);
    int index() const { return index_; }
    const PictureSet& pictures() const { return *pictures_; }

    // Makes it a button: `anyMouseButton` false reacts to the left one only.
    void makeButton(std::function<void()> pressed, std::function<void()> released, bool anyMouseButton);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool isButton() const { return pressed_ || released_; }
    bool takesButton(Qt::MouseButton b) const {
        return isButton() && (anyMouseButton_ || b == Qt::LeftButton);
    }

    const PictureSet* pictures_;
    int index_ = -1;
    Speaks speaks_ = Speaks::image;
    std::optional<bool> portOn_;
    bool anyMouseButton_ = false;
    std::function<void()> pressed_;
    std::function<void()> released_;
};

// The two digit pictures of one current or bank-number display: one object
// with one name for a screen reader, which never sees the digits alone.
class DigitDisplay final : public QWidget {
public:
    using QWidget::QWidget;
};

}  // namespace velmora
