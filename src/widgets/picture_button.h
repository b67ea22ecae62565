#pragma once

#include <QToolButton>

// A push button that shows a picture, alone or above its caption. As on the platform the
// program comes from, it takes the focus when clicked, a focused button is pressed by Enter
// as well as by Space, and it shows its focus frame whenever it has the focus.
class PictureButton : public QToolButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void initStyleOption(QStyleOptionToolButton* option) const override;
};
