// The program's own start, as main() does it, ending as soon as the training window has been
// Run it in a directory whose item list holds 20 items (see startup.sh).
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "help/chm_help.h"
#include "widgets/dialogs.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    QtDialogs dialogs;
    SystemClock clock;
    ChmHelp help;
    App app(dialogs, clock, help);
    app.start();
    if (!app.window())
        return 1;
    bench::waitForPaint(app.window());
    bench::reportStartupAndExit();
}
