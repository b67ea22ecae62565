#pragma once

#include "data/data_dir.h"
#include "data/progress.h"

#include <QDate>
#include <QWidget>
#include <array>

class ProgressChart;
class QLabel;
class QPushButton;

// The progress of one item in a window of its own: the chart, the range by buttons and keys
// (30日, 90日, 1年, 全期間: 1 to 4, or the arrow keys), the day and total under the mouse
// pointer, and a summary line. It reads the item's history once, when it opens. Escape
// closes it; it never keeps the program alive.
class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    enum class Range { Days30, Days90, Year, All };

    // `today` ends every range but the whole one, which begins at the oldest dated record.
    ProgressWindow(const DataDir& data, const QString& itemName, double target, const QDate& today,
                   const QDateTime& now);

    void setRange(Range range);
    Range range() const { return range_; }
    // Why the history could not be read, if it could not.
    const std::optional<FileProblem>& readProblem() const { return readProblem_; }
    ProgressChart* chart() const { return chart_; }
    QString summaryText() const;

    // The window title: the item's name, then the program's.
    static QString titleFor(const QString& itemName);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showRange();

    // The history itself is let go once it is totalled: a window holds little memory, whatever
    // the size of the file.
    std::optional<FileProblem> readProblem_;
    progress::DailyTotals totals_;
    double target_;
    QDate today_;
    Range range_ = Range::Days30;
    ProgressChart* chart_;
    std::array<QPushButton*, 4> rangeButtons_{};
    QLabel* pointed_;
    QLabel* summary_;
};
