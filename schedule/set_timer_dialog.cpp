#include "schedule/set_timer_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace velmora {

namespace {

// Places (pixels) of the fixed controls and of a row's controls.
constexpr int kRowTop = 42;
constexpr int kRowPitch = 30;
constexpr int kControlHeight = 21;
constexpr int kCheckBoxHeight = 17;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kFacePixels = 11;     // the dialog face, 8 points
constexpr int kHeaderPixels = 15;   // header labels, 11 points
constexpr int kRowLabelPixels = 16; // bank, port and since labels, 12 points
constexpr int kTabSetPixels = 12;

const char* const kRowPrefixes[] = {"chkEnable", "lblBank", "lblPort", "cmbAfter", "cmbDay",
                                    "edHour",    "udHour",  "edMin",   "udMin",    "lblSince"};

QString text(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
QString rowName(const char* prefix, int row) { return text(rowComponentName(prefix, row)); }

QFont face(QStringList families, int pixels) {
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixels);
    return f;
}

// The classic dialog face; where it is missing (every Linux desktop), the
// metric-compatible sans of the same size.
QFont dialogFace(int pixels) {
    return face({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                 QStringLiteral("DejaVu Sans")},
                pixels);
}

QLabel* makeLabel(QWidget* parent, const QString& caption, int x, int y, int pixels) {
    auto* label = new QLabel(caption, parent);
    label->setFont(dialogFace(pixels));
    label->adjustSize();
    label->move(x, y);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(caption);
    b->setGeometry(x, y, kButtonWidth, kButtonHeight);
    return b;
}

void setTextIfChanged(QLineEdit* edit, const std::string& value) {
    const QString shown = text(value);
    // Typing keeps to two digits; what the dialog puts in (a long reported
    // delay) is shown whole.
    edit->setMaxLength(std::max<int>(2, static_cast<int>(shown.size())));
    if (edit->text() != shown) edit->setText(shown);
}

}  // namespace

SetTimerDialog::SetTimerDialog(SetTimerLogic::Deps deps, QWidget* parent) : QDialog(parent), logic_(std::move(deps), *this) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Set Timer"));
    // Fixed single border, system menu only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kSetTimerClientWidth, kSetTimerClientHeight);
    setFont(dialogFace(kFacePixels));

    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName(QStringLiteral("PageControl1"));
    pageControl_->setAccessibleName(QStringLiteral("Timer pages"));
    pageControl_->setGeometry(8, 8, 681, 401);
    pageControl_->addTab(buildPage(TimerPage::powerOn), QStringLiteral("Power ON      "));
    pageControl_->addTab(buildPage(TimerPage::powerOff), QStringLiteral("Power OFF    "));

    tabSet_ = new QTabBar(this);
    tabSet_->setObjectName(QStringLiteral("TabSet1"));
    tabSet_->setAccessibleName(QStringLiteral("Banks"));
    tabSet_->setFont(face({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                           QStringLiteral("DejaVu Serif")},
                          kTabSetPixels));
    tabSet_->setShape(QTabBar::RoundedSouth);  // tabs hang below the pages
    tabSet_->setDrawBase(false);
    tabSet_->setExpanding(false);
    tabSet_->setUsesScrollButtons(true);
    tabSet_->setGeometry(8, 408, 641, 25);
    connect(tabSet_, &QTabBar::currentChanged, this, [this](int index) {
        if (drawingTabs_ || index < 0) return;
        logic_.tabChosen(index);
        // A click the logic did not take leaves the strip where it was.
        if (logic_.selectedTab() != tabSet_->currentIndex()) selectTab(logic_.selectedTab());
    });

    auto* btnClear = makeButton(this, "btnClear", QStringLiteral("Clear All"), 112, 440);
    auto* btnLoad = makeButton(this, "btnLoad", QStringLiteral("Load"), 200, 440);
    auto* btnSave = makeButton(this, "btnSave", QStringLiteral("Save"), 288, 440);
    auto* okButton = makeButton(this, "okButton", QStringLiteral("OK"), 376, 440);
    okButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    okButton->setDefault(true);
    auto* cancelButton = makeButton(this, "cancelButton", QStringLiteral("Cancel"), 464, 440);
    cancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    auto* apply = makeButton(this, "Apply", QStringLiteral("Apply"), 552, 440);
    // OK and Cancel carry an icon: the text must still fit 75 pixels.
    for (QPushButton* b : {okButton, cancelButton}) b->setIconSize(QSize(12, 12));
    connect(btnClear, &QPushButton::clicked, this, [this] { logic_.btnClearClick(); });
    connect(btnLoad, &QPushButton::clicked, this, [this] { logic_.btnLoadClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { logic_.btnSaveClick(); });
    connect(okButton, &QPushButton::clicked, this, [this] { logic_.onOkClicked(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { logic_.onCancelClicked(); });
    connect(apply, &QPushButton::clicked, this, [this] { logic_.ApplyClick(); });

    setTabOrderChain();
    logic_.createControls();
}

SetTimerDialog::~SetTimerDialog() = default;

QWidget* SetTimerDialog::buildPage(TimerPage page) {
    auto* sheet = new QWidget;
    const bool on = page == TimerPage::powerOn;
    sheet->setObjectName(on ? QStringLiteral("tbOn") : QStringLiteral("tbOff"));
    const struct {
        const char* caption;
        int x;
    } headers[] = {{"Enable", 12}, {"Bank", 69}, {"Port", 116}, {"Day", 275},
                   {"Hour", 335},  {"Minute", 385}, {"Applied since Date/Time", 470}};
    for (const auto& h : headers) makeLabel(sheet, QString::fromLatin1(h.caption), h.x, 16, kHeaderPixels);

    const int first = on ? 0 : kRowsPerPage;
    for (int r = first; r < first + kRowsPerPage; ++r) buildRow(sheet, r);

    QPushButton* clear = makeButton(sheet, on ? "btnOneBank" : "btnOneClear1", QStringLiteral("Clear Bank 1"), 544, 344);
    connect(clear, &QPushButton::clicked, this, [this] { logic_.btnOneBankClick(); });
    (on ? btnOneBank_ : btnOneClear_) = clear;
    return sheet;
}

void SetTimerDialog::buildRow(QWidget* page, int row) {
    RowWidgets& w = rows_[static_cast<std::size_t>(row)];
    const int y = kRowTop + kRowPitch * lineOfRow(row);
    const QString prefix = text(rowAccessiblePrefix(row));

    w.chkEnable = new QCheckBox(page);
    w.chkEnable->setGeometry(29, y + (kControlHeight - kCheckBoxHeight) / 2, 20, kCheckBoxHeight);
    w.chkEnable->setAccessibleName(text(rowAccessibleName(row, RowField::enable)));
    w.chkEnable->setProperty("tag", row);
    connect(w.chkEnable, &QCheckBox::clicked, this, [this, row](bool checked) {
        logic_.chkEnableClick(row, checked);
        drawRow(row, logic_.row(row));  // the box shows what the rules left
    });

    w.lblBank = makeLabel(page, QString(), 72, y, kRowLabelPixels);
    w.lblPort = makeLabel(page, QString(), 116, y, kRowLabelPixels);
    for (QLabel* l : {w.lblBank, w.lblPort}) l->resize(40, kControlHeight);

    w.cmbAfter = new QComboBox(page);
    for (const char* item : kindItems()) w.cmbAfter->addItem(QString::fromLatin1(item));
    w.cmbAfter->setGeometry(164, y, 100, kControlHeight);
    w.cmbAfter->setAccessibleName(text(rowAccessibleName(row, RowField::kind)));
    connect(w.cmbAfter, &QComboBox::activated, this, [this, row](int index) {
        logic_.cmbAfterSelect(row, index);
        drawRow(row, logic_.row(row));
    });

    w.cmbDay = new QComboBox(page);
    for (const char* item : dayItems()) w.cmbDay->addItem(QString::fromLatin1(item));
    w.cmbDay->setGeometry(267, y, 67, kControlHeight);
    w.cmbDay->setAccessibleName(text(rowAccessibleName(row, RowField::day)));
    connect(w.cmbDay, &QComboBox::activated, this, [this, row](int index) {
        logic_.cmbDaySelect(row, index);
        drawRow(row, logic_.row(row));
    });

    auto makeField = [&](int x, RowField field) {
        auto* edit = new QLineEdit(page);
        edit->setGeometry(x, y, 30, kControlHeight);
        edit->setMaxLength(2);
        edit->setAccessibleName(text(rowAccessibleName(row, field)));
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, row, field](const QString& typed) {
            const QByteArray latin = typed.toLatin1();
            const std::string_view t(latin.constData(), static_cast<std::size_t>(latin.size()));
            if (field == RowField::hour)
                logic_.hourCheck(row, t);
            else
                logic_.minCheck(row, t);
            drawRow(row, logic_.row(row));
        });
        return edit;
    };
    w.edHour = makeField(336, RowField::hour);
    w.udHour = buildUpDown(page, row, RowField::hour, 366, y);
    w.edMin = makeField(391, RowField::minute);
    w.udMin = buildUpDown(page, row, RowField::minute, 421, y);

    w.lblSince = makeLabel(page, QString(), 465, y, kRowLabelPixels);
    w.lblSince->resize(200, kControlHeight);
    w.lblSince->setAccessibleDescription(prefix + QStringLiteral(" applied since"));

    // Object names for every component of the row.
    QWidget* const parts[] = {w.chkEnable, w.lblBank, w.lblPort, w.cmbAfter, w.cmbDay,
                              w.edHour,    w.udHour,  w.edMin,   w.udMin,    w.lblSince};
    for (std::size_t i = 0; i < std::size(parts); ++i) parts[i]->setObjectName(rowName(kRowPrefixes[i], row));

    // On Linux a screen reader hears a list or an edit field by its value
    // ("After", "NULL", "0"); the row and field it belongs to reach it
    // through a label relation. The labels are never drawn: the page's
    // column headers say the same to the eye.
    for (QWidget* field : {static_cast<QWidget*>(w.cmbAfter), static_cast<QWidget*>(w.cmbDay),
                           static_cast<QWidget*>(w.edHour), w.udHour, static_cast<QWidget*>(w.edMin), w.udMin}) {
        auto* buddy = new QLabel(field->accessibleName(), page);
        buddy->setObjectName(QStringLiteral("lblFor") + field->objectName());
        buddy->setBuddy(field);
        buddy->hide();
    }
}

QWidget* SetTimerDialog::buildUpDown(QWidget* page, int row, RowField field, int x, int y) {
    // Two arrow buttons stacked beside the field, as an attached up-down.
    auto* box = new QWidget(page);
    box->setGeometry(x, y, 20, kControlHeight);
    const QString name = text(rowAccessibleName(row, field));
    box->setAccessibleName(name);
    const int half = kControlHeight / 2;
    for (bool up : {true, false}) {
        auto* arrow = new QToolButton(box);
        arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        arrow->setObjectName(up ? QStringLiteral("up") : QStringLiteral("down"));
        arrow->setAccessibleName(name + (up ? QStringLiteral(" up") : QStringLiteral(" down")));
        arrow->setAutoRepeat(true);
        // The field takes the keyboard (Up and Down step it); the arrows
        // are for the mouse.
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setGeometry(0, up ? 0 : half, 20, up ? half : kControlHeight - half);
        connect(arrow, &QToolButton::clicked, this, [this, row, field, up] {
            if (field == RowField::hour)
                logic_.hourUpDownClick(row, up);
            else
                logic_.minUpDownClick(row, up);
        });
    }
    return box;
}

void SetTimerDialog::setTabOrderChain() {
    // Within a row the fields come before the check box: a row is filled
    // in first and then set, after which it is locked.
    std::vector<QWidget*> order;
    order.push_back(pageControl_);
    for (int r = 0; r < kTimerRows; ++r) {
        const RowWidgets& w = rows_[static_cast<std::size_t>(r)];
        order.insert(order.end(), {w.cmbAfter, w.cmbDay, w.edHour, w.edMin, w.chkEnable});
        if (r == kRowsPerPage - 1) order.push_back(btnOneBank_);
    }
    order.push_back(btnOneClear_);
    order.push_back(tabSet_);
    for (const char* name : {"btnClear", "btnLoad", "btnSave", "okButton", "cancelButton", "Apply"})
        order.push_back(findChild<QWidget*>(QString::fromLatin1(name)));
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

// ---- Main window side ------------------------------------------------------------------

bool SetTimerDialog::showModal() { return exec() == QDialog::Accepted; }

void SetTimerDialog::appendTimerTab(std::string_view caption) { logic_.appendTab(std::string(caption)); }
void SetTimerDialog::deleteTimerTab(int index) { logic_.deleteTab(index); }
void SetTimerDialog::selectFirstTimerTab() { logic_.selectFirstTab(); }

void SetTimerDialog::cancelTimerDialog() {
    if (isVisible()) logic_.onCancelClicked();
}

void SetTimerDialog::refreshTimerDialog() { logic_.refreshFromUnit(); }

void SetTimerDialog::reject() { logic_.onCancelClicked(); }

void SetTimerDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
        // aboutToShow: every showing starts from what the unit holds.
        logic_.aboutToShow();
    }
    QDialog::showEvent(event);
}

// ---- SetTimerView ------------------------------------------------------------------------

void SetTimerDialog::drawRow(int row, const TimerRow& s) {
    if (row < 0 || row >= kTimerRows) return;
    RowWidgets& w = rows_[static_cast<std::size_t>(row)];
    const bool shown = !s.invalid;
    const std::array<QWidget*, 7> inputs = {w.chkEnable, w.cmbAfter, w.cmbDay, w.edHour, w.udHour, w.edMin, w.udMin};
    for (QWidget* c : inputs) c->setVisible(shown);

    w.chkEnable->setChecked(s.checked);
    w.chkEnable->setEnabled(s.checkEnabled);
    w.cmbAfter->setCurrentIndex(s.kind);
    w.cmbAfter->setEnabled(s.kindEnabled);
    w.cmbDay->setCurrentIndex(s.day);
    w.cmbDay->setEnabled(s.dayEnabled);
    setTextIfChanged(w.edHour, s.hourText);
    setTextIfChanged(w.edMin, s.minuteText);
    for (QWidget* c : {inputs[3], inputs[4], inputs[5], inputs[6]}) c->setEnabled(s.timeEnabled);

    const QString prefix = text(rowAccessiblePrefix(row));
    w.lblBank->setText(text(s.bankText));
    w.lblPort->setText(text(s.portText));
    w.lblBank->setAccessibleName(prefix + QStringLiteral(" bank ") + w.lblBank->text());
    w.lblPort->setAccessibleName(prefix + QStringLiteral(" port ") + w.lblPort->text());
    for (QLabel* l : {w.lblBank, w.lblPort}) l->setEnabled(s.labelsEnabled);

    w.lblSince->setText(text(s.sinceText));
    w.lblSince->setAccessibleName(w.lblSince->text());
    w.lblSince->setEnabled(s.sinceEnabled);
    QPalette look = w.lblSince->parentWidget()->palette();
    if (s.invalid) look.setColor(QPalette::WindowText, Qt::red);
    w.lblSince->setPalette(look);
}

void SetTimerDialog::setClearBankCaption(std::string_view caption) {
    for (QPushButton* b : {btnOneBank_, btnOneClear_}) {
        b->setText(text(caption));
        b->setAccessibleName(b->text());
    }
}

void SetTimerDialog::appendTab(std::string_view caption) {
    drawingTabs_ = true;
    tabSet_->addTab(text(caption));
    drawingTabs_ = false;
}

void SetTimerDialog::removeTab(int index) {
    drawingTabs_ = true;
    tabSet_->removeTab(index);
    drawingTabs_ = false;
}

void SetTimerDialog::selectTab(int index) {
    drawingTabs_ = true;
    tabSet_->setCurrentIndex(index);
    drawingTabs_ = false;
}

void SetTimerDialog::focusField(int row, RowField field) {
    if (row < 0 || row >= kTimerRows) return;
    const RowWidgets& w = rows_[static_cast<std::size_t>(row)];
    QLineEdit* edit = field == RowField::minute ? w.edMin : w.edHour;
    // The field's page comes to the front first, or it cannot take the focus.
    pageControl_->setCurrentIndex(pageOfRow(row) == TimerPage::powerOn ? 0 : 1);
    edit->setFocus(Qt::OtherFocusReason);
}

void SetTimerDialog::closeDialog(bool ok) { done(ok ? QDialog::Accepted : QDialog::Rejected); }

// ---- Hour and minute fields ---------------------------------------------------------------

bool SetTimerDialog::eventFilter(QObject* watched, QEvent* event) {
    for (int r = 0; r < kTimerRows; ++r) {
        const RowWidgets& w = rows_[static_cast<std::size_t>(r)];
        if (watched == w.edHour) return fieldKey(r, RowField::hour, event);
        if (watched == w.edMin) return fieldKey(r, RowField::minute, event);
    }
    return QDialog::eventFilter(watched, event);
}

bool SetTimerDialog::fieldKey(int row, RowField field, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Leaving for another control; not a message box or menu taking the
        // focus for a moment, nor the dialog closing.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason ||
            reason == Qt::ShortcutFocusReason) {
            if (field == RowField::hour)
                logic_.hourExitCheck(row);
            else
                logic_.minExitCheck(row);
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // On to the next control (leaving the field checks it); never
            // the dialog's default button.
            if (edNumCheck(13) == KeyAction::nextControl) focusNextChild();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (field == RowField::hour)
                logic_.hourUpDownClick(row, key->key() == Qt::Key_Up);
            else
                logic_.minUpDownClick(row, key->key() == Qt::Key_Up);
            return true;
        case Qt::Key_Backspace:
            return edNumCheck(8) != KeyAction::take;
        default:
            break;
    }
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;  // shortcuts
    const QString typed = key->text();
    if (typed.size() != 1 || typed.at(0).unicode() < 0x20 || typed.at(0).unicode() == 0x7f) return false;
    return edNumCheck(typed.at(0).unicode()) != KeyAction::take;
}

}  // namespace velmora
