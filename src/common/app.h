#pragma once

#include "data/data_dir_lock.h"
#include "data/gymm.h"

#include <QObject>

class Clock;
class Dialogs;
class FileResult;
class HtmlHelp;
class QApplication;
class QWidget;

// Settings of the application object: the program ends when its open window closes (not when
// the last of any windows does, help viewers included), and Qt's own texts are Japanese.
void prepareApplication(QApplication& application);

// What lives for the whole run: the item table, the dialogs, the clock and the help system in
// use, the training window's flash colour, and the one window now open. Windows get it by
// reference when they are created; each opening creates its window afresh.
class App : public QObject {
    Q_OBJECT
public:
    App(Dialogs& dialogs, const Clock& clock, HtmlHelp& help);
    ~App() override;

    GYMM gymm;
    // The palette colour of the training window's next background flash. It belongs to the
    // training window but outlives each of its openings, so it keeps counting across workouts.
    qint16 FlashColor = 0;
    // How long the flash lasts, in seconds. Programs that drive many workouts in a row (the
    // robustness tests) shorten it; it does not change what is recorded.
    float flashSeconds = 0.1f;

    Dialogs& dialogs() const { return dialogs_; }
    const Clock& clock() const { return clock_; }
    HtmlHelp& help() const { return help_; }

    // Program start: takes the data directory for this run (a second copy of the program on
    // the same directory says so and ends), clears away what a crash may have left there,
    // and opens the training window, whose load step decides what comes next. False when the
    // program ended at once.
    bool start();
    // Open a fresh window. The caller closes the window it comes from; as soon as the new one
    // exists it is the open window, so the program never ends between the two.
    void openTraining();
    void openSettings();
    // Ends the program at once: the open window goes away without any handler of its own.
    void endProgram();

    QWidget* window() const { return current_; }
    bool hasEnded() const { return ended_; }

    // Tells the user in Japanese what went wrong with which file and why, if anything did.
    // True when the operation took place (perhaps with a warning), false when it failed.
    bool report(QWidget* parent, const FileResult& result);

signals:
    // The program has ended: the open window was closed with its close box, or "終了".
    void ended();

private:
    void adopt(QWidget* window);
    void finish();

    Dialogs& dialogs_;
    const Clock& clock_;
    HtmlHelp& help_;
    QWidget* current_ = nullptr;
    bool ended_ = false;
    DataDirLock lock_;
};
