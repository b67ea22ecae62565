// The reference for start-up: a minimal Qt Widgets program with one 629x450 window and one
// label in the same font, reporting the time to its first paint.
#include "bench_util.h"
#include "widgets/geometry.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(629, 450);
    QLabel label(QStringLiteral("腕立て伏せ"), &window);
    label.setFont(gothicFont(21.75));
    label.setGeometry(10, 10, 400, 60);
    window.show();
    bench::waitForPaint(&window);
    bench::reportStartupAndExit();
}
