#pragma once

// A bank panel's own widgets: the panel itself and the outlet name beneath
// each port button. MainWindow builds the panels (bank_panel.cpp).

#include <QLabel>
#include <QWidget>

#include <functional>

namespace velmora {

// One bank panel (UniClassN): the artwork and the bank's controls.
class BankPanel final : public QWidget {
public:
    using QWidget::QWidget;
};

// The user's name of an outlet, beneath its port button; a double click
// renames it.
class OutletNameLabel final : public QLabel {
public:
    OutletNameLabel(QWidget* parent, std::function<void()> doubleClicked)
        : QLabel(parent), doubleClicked_(std::move(doubleClicked)) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (doubleClicked_) doubleClicked_();
        QLabel::mouseDoubleClickEvent(event);
    }

private:
    std::function<void()> doubleClicked_;
};

}  // namespace velmora
