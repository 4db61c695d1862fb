#include "mainwindow/panel_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include "mainwindow/bank_panel.h"
#include "mainwindow/picture_box.h"

namespace velmora {

namespace {


// How the panel's pictures appear on the accessibility bus.
class PictureBoxAccessible final : public QAccessibleWidget {
public:
    explicit PictureBoxAccessible(PictureBox* box)
        : QAccessibleWidget(box, box->speaks() == PictureBox::Speaks::button ? QAccessible::Button
                                                                              : QAccessible::Graphic) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (const std::optional<bool> on = box()->portOn()) {
            s.checkable = true;
            s.checked = *on;
        }
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description) {
            if (const std::optional<bool> on = box()->portOn()) return *on ? QStringLiteral("on") : QStringLiteral("off");
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (box()->speaks() == PictureBox::Speaks::button) names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && box()->speaks() == PictureBox::Speaks::button) {
            // The click may ask a question in a modal box: the screen reader
            // gets its answer first, the click runs right after.
            QPointer<PictureBox> target = box();
            QMetaObject::invokeMethod(
                target,
                [target] {
                    if (target && target->isEnabled()) target->press();
                },
                Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    PictureBox* box() const { return static_cast<PictureBox*>(widget()); }
};

class DigitDisplayAccessible final : public QAccessibleWidget {
public:
    explicit DigitDisplayAccessible(DigitDisplay* display) : QAccessibleWidget(display, QAccessible::StaticText) {}
    // The digits are drawn, not read: the display speaks for them.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
};

QAccessibleInterface* panelAccessibility(const QString&, QObject* object) {
    if (auto* box = dynamic_cast<PictureBox*>(object)) return new PictureBoxAccessible(box);
    if (auto* display = dynamic_cast<DigitDisplay*>(object)) return new DigitDisplayAccessible(display);
    // A bank panel is a group of its bank's controls, named for the bank.
    if (auto* panel = dynamic_cast<BankPanel*>(object)) return new QAccessibleWidget(panel, QAccessible::Grouping);
    return nullptr;
}

}  // namespace

void installPanelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(panelAccessibility);
        return true;
    }();
    (void)installed;
}

}  // namespace velmora
