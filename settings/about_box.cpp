#include "settings/about_box.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace velmora {

namespace {

QFont dialogFace(int pixelSize, bool bold) {
    QFont face;
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    face.setPixelSize(pixelSize);
    face.setBold(bold);
    return face;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString());
    // A title bar without any buttons: OK is the only way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(298, 138);
    setFont(dialogFace(11, false));

    titleLabel_ = new QLabel(QString::fromLatin1(kAboutTitleText), this);
    titleLabel_->setObjectName(QStringLiteral("Label7"));
    titleLabel_->setAccessibleName(titleLabel_->text());
    titleLabel_->setFont(dialogFace(16, true));
    titleLabel_->adjustSize();
    titleLabel_->move(52, 24);

    noticeLabel_ = new QLabel(QString::fromLatin1(kAboutNoticeText), this);
    noticeLabel_->setObjectName(QStringLiteral("Label1"));
    noticeLabel_->setAccessibleName(noticeLabel_->text());
    noticeLabel_->adjustSize();
    noticeLabel_->move(80, 64);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setAccessibleName(okButton_->text());
    okButton_->setDefault(true);
    okButton_->setGeometry(121, 104, 75, 25);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::showModal() {
    okButton_->setFocus();
    exec();
}

void AboutBox::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

}  // namespace velmora
