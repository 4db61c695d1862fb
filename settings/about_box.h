#pragma once

// The About box: the application's name and version, one notice line and
// OK. Created once at start-up and kept; modal while shown.

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmora {

inline constexpr const char* kAboutTitleText = "Velmora Management V2.84";
inline constexpr const char* kAboutNoticeText = "Copyright (c) Velmora. All rights reserved.";

class AboutBox final : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);

    // aboutChosen: shows the box modally until OK closes it.
    void showModal();

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* noticeLabel() const { return noticeLabel_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* titleLabel_ = nullptr;
    QLabel* noticeLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace velmora
