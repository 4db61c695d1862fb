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

    // N3Click: shows the box modally until OK closes it.
    void showModal();

    QLabel* Label7() const { return label7_; }
    QLabel* Label1() const { return label1_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* label7_ = nullptr;
    QLabel* label1_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace velmora
