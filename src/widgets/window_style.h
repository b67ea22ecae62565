#pragma once

#include <QIcon>
#include <QMargins>
#include <QPoint>
#include <QRect>

class QWidget;

// The frame and title-bar buttons of the program's two windows.
enum class WindowBorder {
    FixedDialog, // no minimise or maximise button, not in the task bar
    FixedSingle, // a minimise button, shown in the task bar
};

// Makes a top-level window of a fixed client size (in twips) with the program's title and
// icon and a button-face background.
void setUpWindow(QWidget* window, int clientWidth, int clientHeight, WindowBorder border);

// Shows the window with its frame centred on the screen, and makes it the active window.
void showCentred(QWidget* window);

// Where a client area of this size goes for its frame to stand centred on the screen.
QPoint centredPosition(const QSize& client, const QMargins& frame, const QRect& screen);

// Where the frame of the n-th window of a cascade goes: `step` pixels right and down from
// `first` for each; one whose frame would leave the available area goes back to the area's
// top-left corner and steps on from there. Positions are of the frame, as QWidget::move
// takes them for a window not yet shown.
QPoint cascadePosition(QPoint first, int n, const QSize& client, const QMargins& frame,
                       const QRect& area, int step = 40);

// The program icon, at 32x32 and 16x16.
QIcon programIcon();

// An icon of the program's artwork from the resources, by name ("next", "save", ...), with
// its 32x32 and 16x16 images where both exist.
QIcon artworkIcon(const QString& name);

// The window title of every window and box of the program's own.
inline const QString ProgramTitle = QStringLiteral("ヤルキン！");
