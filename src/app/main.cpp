#include "app/app.h"
#include "base/clock.h"
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
    QObject::connect(&app, &App::ended, &application, &QCoreApplication::quit);
    if (!app.start())
        return 1;
    return application.exec();
}
