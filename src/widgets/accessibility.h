#pragma once

#include <QAccessible>
#include <initializer_list>

class QLabel;
class QString;
class QWidget;

// What a screen reader says for a control: its name and, where the name is not enough, a
// description. Each window applies its own list once its controls are made.
struct AccessibleText {
    const char16_t* control; // the control's objectName()
    const char16_t* name;
    const char16_t* description = nullptr;
};

// Names the window's controls. A FittingLabel that shows a figure reads as its name and then
// its text as the text changes ("指示数：30"), or as its text alone when that begins with the
// name ("合計回数 ： 45"), or as its name while it shows nothing.
void nameControls(QWidget* window, std::initializer_list<AccessibleText> texts);

// A label whose text is news (a message, the figures of what the pointer shows): read as its
// name and its text, like a figure, and announced as its text changes (a name change). An
// alert is read as one where it appears, wherever the focus is.
void nameNews(QLabel* label, const QString& name, bool alert = false);

// A widget read with a role and a name of its own: a window Qt would read as a filler, a rule,
// a group. Checkable buttons under a group read as push buttons with their checked state, and
// press by their action.
void nameWidget(QWidget* widget, QAccessible::Role role, const QString& name);
