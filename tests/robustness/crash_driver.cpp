// The program driven by its own keyboard, workout after workout, until it is killed: types a
// count into the count entry and presses Enter, and at the settings window presses Enter on
// "開始". Run in a data directory by the crash test, which kills it with SIGKILL at random
// moments. On standard output it says "started" once the start-up is done, then waits for a
// line on standard input before its first key; it says "recorded <item> <count>" after each
// Next that recorded without a warning. The counts rise from argv[1] so that every record can
// be told apart.
#include "app/app.h"
#include "base/clock.h"
#include "help/html_help.h"
#include "training/frmmain.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <unistd.h>

namespace {

// Answers every box with OK and notes whether a warning came up.
class AnsweringDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString&, const QString& title, Icon icon, Buttons) override {
        if (icon == Icon::Warning)
            warned = true;
        lastTitle = title;
        return Answer::Ok;
    }
    QString input(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }

    bool warned = false;
    QString lastTitle;
};

class NoHelp final : public HtmlHelp {
public:
    quintptr HtmlHelpA(QWidget*, const QString&, unsigned, quintptr) override { return 0; }
};

// Straight to the file descriptor: what is said here must be out before a kill can come.
void say(const QByteArray& line) {
    const QByteArray text = line + '\n';
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done,
                                  static_cast<size_t>(text.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1;
    AnsweringDialogs dialogs;
    SystemClock clock;
    NoHelp help;
    App app(dialogs, clock, help);
    app.flashSeconds = 0.01f;
    QObject::connect(&app, &App::ended, &application, &QCoreApplication::quit);
    if (!app.start())
        return 1;
    say("started");
    char go[8];
    if (::read(STDIN_FILENO, go, sizeof go) <= 0) // the test has looked at the directory
        return 1;

    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        QWidget* window = app.window();
        if (!window)
            return;
        if (auto* training = qobject_cast<frmMain*>(window)) {
            const int item = app.gymm.CurrentItem;
            const QString name = app.gymm.ItemNames(item);
            auto* entry = training->findChild<QLineEdit*>(QStringLiteral("txtKaisu"));
            entry->setFocus();
            entry->selectAll();
            QTest::keyClicks(entry, QString::number(count));
            dialogs.warned = false;
            QTest::keyClick(entry, Qt::Key_Return);
            if (dialogs.warned)
                say("warning " + dialogs.lastTitle.toUtf8());
            else
                say("recorded " + name.toUtf8() + ' ' + QByteArray::number(count));
            ++count;
        } else if (QWidget* focused = window->focusWidget()) {
            QTest::keyClick(focused, Qt::Key_Return); // "開始" has the focus
        }
    });
    step.start(1);
    return application.exec();
}
