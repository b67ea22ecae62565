#pragma once

#include "app/app.h"
#include "fixed_clock.h"
#include "help/html_help.h"
#include "scripted_dialogs.h"
#include "work_dir.h"

#include <QCoreApplication>
#include <QPair>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

// The names of the controls the Tab key visits, starting at `first`, once round.
QStringList tabOrder(QWidget* first);
// Types text into a widget as key presses, characters beyond ASCII included.
void typeText(QWidget* widget, const QString& text);
// The smallest rectangle holding every pixel of the widget, as it shows on the screen, whose
// colour is not the background's (the colour most pixels have): where its text is drawn.
QRect inkBounds(QWidget* widget);
// Whether the widget's text is drawn whole: its ink keeps off the sides and the bottom of the
// widget, where text that does not fit is cut.
::testing::AssertionResult drawnWhole(QWidget* widget);

class frmMain;
class frmSettei;

// A help system that only notes what it was asked.
class RecordingHelp final : public HtmlHelp {
public:
    struct Call {
        QString file;
        unsigned command;
    };
    quintptr HtmlHelpA(QWidget*, const QString& file, unsigned command, quintptr) override {
        calls.append({file, command});
        return 0;
    }
    QList<Call> calls;
};

// The program as a user meets it: a fresh working directory with real files, scripted
// dialogs, a fixed clock, and the same App that main() makes.
class AppTest : public ::testing::Test {
public:
    // Lets deferred deletions and queued events happen, as the event loop would.
    static void settle();

protected:
    AppTest();
    ~AppTest() override;

    // Writes the item list file: name and target text per record, in CP932.
    void writeItems(const QList<QPair<QString, QString>>& items);
    void writeHistory(const QString& item, const QStringList& counts);
    QByteArray cp932(const QString& text) const;

    // Program start, as main() does it; with the recording help system unless told otherwise.
    void start();
    void start(HtmlHelp& helpSystem);

    frmMain* training() const;
    frmSettei* settings() const;
    template <typename T> T* find(const QString& name) const {
        QWidget* window = app->window();
        T* widget = window ? window->findChild<T*>(name) : nullptr;
        EXPECT_TRUE(widget) << "no control " << name.toStdString();
        return widget;
    }
    // The history file's lines, decoded.
    QStringList historyLines(const QString& item) const;
    // The warnings of a file that could not be written or read, as the user reads them.
    static QString notWritten(const QString& file, const QString& reason);
    static QString notRead(const QString& file, const QString& reason);

    TempWorkDir dir;
    // The data directory of the run that start() began.
    std::unique_ptr<DataDir> data;
    ScriptedDialogs dialogs;
    FixedClock clock{QDateTime(QDate(2026, 12, 5), QTime(18, 36, 11))};
    RecordingHelp help;
    std::unique_ptr<App> app;
    bool ended = false;
    QString toldDir; // where start() has the histories told noted; none: for the run only
};
