#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

// The help system, in the shape of HTML Help's HtmlHelpA: a caller window, a help file named
// by a bare file name, a command and its data; the result is the handle of a help window, or 0.
// A Windows build could bind hhctrl.ocx behind this interface; elsewhere the program's own
// CHM viewer serves.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0x0000;
inline constexpr unsigned HH_CLOSE_ALL = 0x0012;

class HtmlHelp {
public:
    virtual ~HtmlHelp() = default;
    virtual quintptr HtmlHelpA(QWidget* caller, const QString& file, unsigned command,
                               quintptr data) = 0;
};
