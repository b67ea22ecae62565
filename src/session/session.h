#pragma once

#include "data/data_dir.h"

#include <QtGlobal>

class Clock;
class DiskWatch;
class Dialogs;
class HtmlHelp;
class QWidget;

// What the two windows share for the whole run, and the switches between them. The windows
// know only this; the program's composition root implements the switches, so neither window
// knows the other.
class Session {
public:
    Session(DataDir& data, Dialogs& dialogs, const Clock& clock, HtmlHelp& help)
        : data_(data), dialogs_(dialogs), clock_(clock), help_(help) {}
    virtual ~Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The data directory, with the item table (GYMM) it owns.
    DataDir& data() const { return data_; }
    const GYMM& gymm() const { return data_.gymm(); }

    // The palette colour of the training window's next background flash. It belongs to the
    // training window but outlives each of its openings, so it keeps counting across workouts.
    qint16 FlashColor = 0;
    // How long the flash lasts, in seconds. Programs that drive many workouts in a row (the
    // robustness tests) shorten it; it does not change what is recorded.
    float flashSeconds = 0.1f;

    Dialogs& dialogs() const { return dialogs_; }
    const Clock& clock() const { return clock_; }
    HtmlHelp& help() const { return help_; }

    // What changes on the disk under the run, for the windows to follow.
    virtual DiskWatch& watch() = 0;

    // Tells the user in Japanese what went wrong with which file and why: first how the item
    // list changed on the disk, if it did, then one warning for each of the outcome's, in
    // order. True when the action took place (perhaps with warnings).
    bool report(QWidget* parent, const Outcome& outcome);
    // The same for a single file step.
    bool report(QWidget* parent, const Step& step);
    void report(QWidget* parent, const FileProblem& problem);
    // Tells the user once what conflict copies of a sync tool were merged in, if any were, and
    // what went wrong on the way.
    void reportMerged(QWidget* parent, const DataDir::Merged& merged);
    // Tells the user once of the histories that hold records and that no item of the list
    // shows (by item name), and how to see them again.
    void tellHistoriesWithoutItem(QWidget* parent, const QStringList& names);
    // A name read from a hand-edited file may hold control characters: as a message shows it.
    static QString visible(QString text);
    // An item's name, which a hand-edited list may make of any length, as a box shows it:
    // visible, and beyond ShownNameMax characters cut in the middle.
    static QString shownName(const QString& name);
    static constexpr qsizetype ShownNameMax = 60;
    // What the user is told of an item list changed on the disk.
    static QString changeText(const ListChange& change);

    // The window switches. Each opens a fresh window; the caller closes the window it comes
    // from, and as soon as the new one exists it is the open window, so the program never
    // ends between the two.
    virtual void openTraining() = 0;
    virtual void openSettings() = 0;
    // Ends the program at once: the open window goes away without any handler of its own.
    virtual void endProgram() = 0;
    // Opens the progress of item `item` in a window of its own beside `caller`; it lives
    // until it is closed or the program ends.
    virtual void showProgress(QWidget* caller, int item) = 0;
    // Opens the box of this computer's daily reminder on the data directory, modal to `caller`.
    virtual void showReminder(QWidget* caller) = 0;

private:
    DataDir& data_;
    Dialogs& dialogs_;
    const Clock& clock_;
    HtmlHelp& help_;
};
