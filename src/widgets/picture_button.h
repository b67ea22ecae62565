#pragma once

#include <QToolButton>

// A push button that shows a picture, alone or above its caption. As on the platform the
// program comes from, it takes the focus when clicked and a focused button is pressed by
// Enter as well as by Space.
class PictureButton : public QToolButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
