#pragma once

#include "data/dating.h"

#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// What the progress window shows of one item's history, decided here so that the chart, the
// calendar and the summary agree: per calendar day the total, the sets, the best set and the
// sets that reached the target; bars of days, weeks (Monday to Sunday), months or years, each
// holding quantities of its own days only; and the figures of a summary.
namespace progress {

// A day trained: a day with at least one record whose count can be read. Kept small: the
// window holds these, not the history.
struct Day {
    QDate date;
    double total = 0;        // the sum of its counts
    double best = 0;         // its highest count
    qint32 sets = 0;         // its records
    qint32 setsAtTarget = 0; // those whose count reached the target
};

// The days trained, oldest first, and the records in no day: those that cannot be dated, and
// those dated whose count holds no number (abc, =1+2, the empty field; 12回 reads 12, as in
// the history view). A record that is both counts as undated. Totals stay finite.
struct DailyTotals {
    std::vector<Day> days;
    double target = 0; // the target of one set
    int undated = 0;
    int unreadable = 0;
};
DailyTotals dailyTotals(const DatedHistory& history, double target);

enum class Period { Day, Week, Month, Year };

// One bar: a day, week, month or year, cut to the range (`partial` when the range cuts it, so
// that it holds only some of its days). Each figure is a quantity of its own days: the total,
// the target for the sets done in them (target x sets: a user who did every set at target
// stands exactly on it), and the mean total of the `averageSpan` whole periods that end with
// it. An average counts days from the first day trained on: a span that starts before it (the
// first period trained, begun part way) is the mean of its days since then, times the span's
// days. There is no average for a period that is not over (today, this week, this month: its
// days are not all past yet) or that the range ends inside, nor for one whose span reaches
// back before the period of the first day trained.
struct Bar {
    QDate first;
    QDate last;
    bool partial = false;
    double total = 0;
    int daysTrained = 0;
    int sets = 0;
    int setsAtTarget = 0;
    double best = 0;
    double target = 0;
    std::optional<double> average;
};

// The periods an average spans: 7 days, 4 weeks, 3 months or 3 years.
int averageSpan(Period period);

// The bars of the range from `from` to `to` (both included); a period that ends on or after
// `today` is not over (none is, when `today` is not given, but for the range's end).
std::vector<Bar> bars(const DailyTotals& totals, QDate from, QDate to, Period period,
                      QDate today = {});

// Where a scale stops believing a bar: above three times the 90th percentile (nearest rank)
// of the other values above zero, those below the highest, one huge set would flatten every
// other bar. Infinite when there are no others.
double outlierAbove(std::vector<double> values);

// The shade levels of a year of days, as contribution graphs take them: the totals at the
// quarter, the half and three quarters of the positive totals (nearest rank), so that each
// shade holds about a quarter of the days trained, whatever one huge day does. A day of total
// t has shade 1 + the number of levels below t; 0 is a day not trained.
std::array<double, 3> shadeLevels(std::vector<double> totals);
int shadeFor(double total, const std::array<double, 3>& levels);

// The period whose bars stay at least `minimumWidth` pixels wide in `width` pixels: days
// while they fit, else weeks, else months, else years.
Period periodFor(QDate from, QDate to, int width, int minimumWidth = 4);

// The first and the last day of the day's week (Monday to Sunday), month or year.
QDate periodStart(QDate date, Period period);
QDate periodEnd(QDate date, Period period);

// The total of the days from `first` to `last`, both included.
double totalBetween(const DailyTotals& totals, QDate first, QDate last);

struct Summary {
    // Within the range:
    double total = 0;
    int daysTrained = 0;
    int sets = 0;
    int setsAtTarget = 0;
    // Of equal days or sets the earliest wins: the day the best was first reached.
    QDate bestDay;
    double bestDayTotal = 0;
    QDate bestSetDay;
    double bestSet = 0;
    // Of the whole history, as of `today`:
    int currentRun = 0; // days trained in a row up to today, or up to yesterday
    int longestRun = 0;
    double thisWeek = 0; // Monday to today
    double lastWeek = 0;
};
Summary summarize(const DailyTotals& totals, QDate from, QDate to, QDate today);

// A figure as the window shows it: digits grouped by threes, at most two decimals
// (1,099,999,989; 14.29); from 10^15 on as the files write it (1E+15).
QString amount(double value);
// `part` of `whole` in percent with at most one decimal (14.3%); 0% and 100% only when it is
// exactly so. Empty when `whole` is 0.
QString percent(qint64 part, qint64 whole);

} // namespace progress
