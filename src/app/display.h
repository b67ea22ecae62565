#pragma once

#include <QString>

// Whether the windows have a display to go to, asked before QApplication exists: Qt's
// platform plugins end the process (qFatal, SIGABRT) when none of them can connect. The
// platforms are those of QT_QPA_PLATFORM, tried in its order as Qt tries them; when it is not
// set, X11 and then Wayland, and QT_QPA_PLATFORM is set to the first that answers, so that Qt
// takes the same. A platform that needs no display (offscreen, minimal, ...) is Qt's to judge.
// Empty when a display answers, else one Japanese line that says what is missing.
QString displayProblem();
