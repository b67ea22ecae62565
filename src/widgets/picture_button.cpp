#include "widgets/picture_button.h"

#include <QKeyEvent>
#include <QStyleOptionToolButton>

PictureButton::PictureButton(QWidget* parent) : QToolButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoRaise(false);
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // A held-down Enter must not run through a whole workout on its own.
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QToolButton::keyPressEvent(event);
}

void PictureButton::initStyleOption(QStyleOptionToolButton* option) const {
    QToolButton::initStyleOption(option);
    // Styles draw the focus frame only after the keyboard has moved the focus; these buttons
    // are driven by Enter from the first moment, so the user must see where Enter goes.
    if (hasFocus())
        option->state |= QStyle::State_KeyboardFocusChange;
}
