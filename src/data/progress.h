#pragma once

#include "data/dating.h"

#include <QDate>
#include <vector>

// What the progress view shows of one item's history: totals per calendar day, gathered into
// days, weeks (Monday to Sunday) or months, the average of the last seven days, and a summary.
namespace progress {

struct Day {
    QDate date;
    double total = 0;
};

// The totals of the days trained, oldest first, and the number of records that could not be
// dated (they are in no day). A total stays finite, however large the counts.
struct DailyTotals {
    std::vector<Day> days;
    int undated = 0;
};
DailyTotals dailyTotals(const DatedHistory& history);

enum class Period { Day, Week, Month, Year };

// One bar: the days it covers within the range, the total of those days, the days trained
// among them, the total per calendar day, and the seven-day average at its last day.
struct Bar {
    QDate first;
    QDate last;
    double total = 0;
    int daysTrained = 0;
    double perDay = 0;
    double average7 = 0;
};

// The bars of the range from `from` to `to` (both included), one per day, week or month.
std::vector<Bar> bars(const DailyTotals& totals, QDate from, QDate to, Period period);

// The mean of the daily totals of the seven days that end with `day` (rest days count 0).
double sevenDayAverage(const DailyTotals& totals, QDate day);

// The period whose bars stay at least `minimumWidth` pixels wide in `width` pixels: days
// while they fit, else weeks, else months, else years.
Period periodFor(QDate from, QDate to, int width, int minimumWidth = 4);

struct Summary {
    double total = 0;    // within the range
    int daysTrained = 0; // within the range
    QDate bestDay;       // the day of the highest total within the range (the first such)
    double bestTotal = 0;
    int currentRun = 0; // consecutive days trained up to today, or up to yesterday
};
Summary summarize(const DailyTotals& totals, QDate from, QDate to, QDate today);

} // namespace progress
