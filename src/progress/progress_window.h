#pragma once

#include "data/data_dir.h"
#include "data/progress.h"

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>

class Clock;
class Dialogs;
class DiskWatch;
class ProgressCalendar;
class ProgressChart;
class QLabel;
class QPushButton;
class QStackedWidget;

// The progress of one item in a window of its own: the chart over a range, or a year calendar
// (by buttons and keys: 30日, 90日, 1年, 全期間, カレンダー are 1 to 5; the arrow keys step
// through the ranges, and in the calendar move the day), the figures of the day or bar under
// the pointer, and a summary. It follows its history file as it changes (a set recorded, the
// history cleared or deleted, or the file replaced by a sync tool). The chart or calendar can
// be saved as PNG (Ctrl+S) or copied (Ctrl+C), also from its context menu. Escape closes the
// window; it never keeps the program alive.
class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    enum class Range { Days30, Days90, Year, All, Calendar };
    // Tells the user what went wrong with a file, as the program does everywhere; false when
    // the step failed.
    using Report = std::function<bool(QWidget*, const Step&)>;

    // `watch` tells the window of changes to its history file and of midnight.
    ProgressWindow(const DataDir& data, DiskWatch& watch, const QString& itemName, double target,
                   const Clock& clock, Dialogs& dialogs, Report report);

    void setRange(Range range);
    Range range() const { return range_; }
    // Why the history could not be read the last time, if it could not (the window is not
    // shown when the first reading failed).
    const std::optional<FileProblem>& readProblem() const { return readProblem_; }
    ProgressChart* chart() const { return chart_; }
    ProgressCalendar* calendar() const { return calendar_; }
    QString summaryText() const;
    // What the window says about its file, when it is gone or cannot be read; else empty.
    QString noticeText() const;

    // The chart or the calendar, as shown, under the item's name.
    QImage picture() const;
    void savePicture();
    void copyPicture();

    // The window title: the item's name, then the program's.
    static QString titleFor(const QString& itemName);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void load();
    // The history file changed on the disk, or the day turned: read again and shown.
    void reload();
    void showRange();
    // The words under the views: the day or bar pointed at, or what was just done.
    void setPointed(const QString& text);
    void showSummary(QDate from, QDate to);
    void describeChart(const progress::Summary& summary, QDate from, QDate to);

    const DataDir& data_;
    QString itemName_;
    QString fileName_;
    double target_;
    const Clock& clock_;
    Dialogs& dialogs_;
    Report report_;
    // The history itself is let go once it is totalled: a window holds little memory, whatever
    // the size of the file.
    std::optional<FileProblem> readProblem_;
    progress::DailyTotals totals_;
    bool exists_ = false;
    bool seen_ = false; // the file has existed while the window was open
    QDate today_;
    Range range_ = Range::Days30;
    QDate from_, to_; // the days shown
    QStackedWidget* views_;
    ProgressChart* chart_;
    ProgressCalendar* calendar_;
    std::array<QPushButton*, 5> rangeButtons_{};
    QLabel* notice_;
    QLabel* pointed_;
    QString pointedText_; // as said, before it is fitted to the line
    QLabel* summary_;
};
