#pragma once

#include "data/disk_watch.h"
#include "session/session.h"
#include "widgets/window_list.h"

#include <QList>
#include <QObject>

class QApplication;
class QCoreApplication;
class QWidget;

// Qt's own texts (buttons of standard dialogs, the command line's help) in Japanese.
void speakJapanese(QCoreApplication& application);

// Settings of the application object: the program ends when its open window closes (not when
// the last of any windows does, help viewers included), and Qt's own texts are Japanese.
void prepareApplication(QApplication& application);

// The composition root: the session of one run with its window switches, and the one window
// now open. Windows get the session by reference when they are created; each opening creates
// its window afresh.
class App : public QObject, public Session {
    Q_OBJECT
public:
    App(DataDir& data, Dialogs& dialogs, const Clock& clock, HtmlHelp& help);
    ~App() override;

    // Program start: takes the data directory for this run (a second copy of the program on
    // the same directory says so and ends), clears away what a crash may have left there,
    // merges the conflict copies a sync tool left, and opens the training window, whose load
    // step decides what comes next. From then on it follows the directory: conflict copies
    // that appear are merged, and the open window follows an item list changed there. False
    // when the program ended at once.
    bool start();
    // Looks at once at what changed in the directory (tests call it without waiting).
    void dataDirChanged();
    DiskWatch& watch() override { return *watch_; }
    void openTraining() override;
    void openSettings() override;
    void endProgram() override;
    void showProgress(QWidget* caller, int item) override;
    void showReminder(QWidget* caller) override;
    // The open window to the front (「始める」 of a reminder, through the session bus).
    void present();
    QList<QWidget*> progressWindows() const;

    QWidget* window() const { return current_; }

    // Where the histories told of (no item shows them) are remembered per data directory, so
    // that each is told once: this computer's state directory, never the data directory,
    // which a sync tool would carry to a computer where nobody was told. Empty (tests): for
    // the run only.
    void rememberToldIn(const QString& stateDir) { toldDir_ = stateDir; }
    static inline const QString ToldFileName = QStringLiteral("told-histories");

signals:
    // The program has ended: the open window was closed with its close box, or "終了".
    void ended();

private:
    void adopt(QWidget* window);
    void finish();
    void mergeConflictCopies();
    void followList();
    // Tells of the histories that hold records and that no item shows, each once.
    void tellHistoriesWithoutItem();
    QStringList told();
    void noteTold(const QStringList& told);
    // The open window shows the table anew, after the table changed under it.
    void followTable();

    QWidget* current_ = nullptr;
    DiskWatch* watch_;
    WindowList<QWidget> progress_;
    bool ended_ = false;
    QString toldDir_;
    std::optional<QStringList> told_; // read from toldDir_ at the first look
};
