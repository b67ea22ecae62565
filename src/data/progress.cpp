#include "data/progress.h"

#include <algorithm>
#include <limits>
#include <map>

namespace progress {
namespace {

// The first day trained at or after `date`.
std::vector<Day>::const_iterator firstFrom(const std::vector<Day>& days, QDate date) {
    return std::lower_bound(days.begin(), days.end(), date,
                            [](const Day& day, QDate d) { return day.date < d; });
}

QDate periodStart(QDate date, Period period) {
    switch (period) {
    case Period::Day:
        return date;
    case Period::Week:
        return date.addDays(1 - date.dayOfWeek()); // Monday
    case Period::Month:
        return QDate(date.year(), date.month(), 1);
    case Period::Year:
        return QDate(date.year(), 1, 1);
    }
    return date;
}

QDate nextPeriod(QDate start, Period period) {
    switch (period) {
    case Period::Day:
        return start.addDays(1);
    case Period::Week:
        return start.addDays(7);
    case Period::Month:
        return start.addMonths(1);
    case Period::Year:
        return start.addYears(1);
    }
    return start.addDays(1);
}

// Adds without ever reaching infinity: the chart's scale must stay a number.
double saturated(double sum) {
    return std::clamp(sum, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
}

} // namespace

DailyTotals dailyTotals(const DatedHistory& history) {
    DailyTotals totals;
    std::map<qint64, double> byDay;
    for (int i = 0; i < history.size(); ++i) {
        const QDate date = history.date(i);
        if (!date.isValid()) {
            ++totals.undated;
            continue;
        }
        double& total = byDay[date.toJulianDay()];
        total = saturated(total + history.value(i));
    }
    totals.days.reserve(byDay.size());
    for (const auto& [day, total] : byDay)
        totals.days.push_back({QDate::fromJulianDay(day), total});
    return totals;
}

double sevenDayAverage(const DailyTotals& totals, QDate day) {
    double sum = 0;
    for (auto it = firstFrom(totals.days, day.addDays(-6));
         it != totals.days.end() && it->date <= day; ++it)
        sum = saturated(sum + it->total);
    return sum / 7;
}

std::vector<Bar> bars(const DailyTotals& totals, QDate from, QDate to, Period period) {
    std::vector<Bar> result;
    if (!from.isValid() || !to.isValid() || to < from)
        return result;
    auto day = firstFrom(totals.days, from);
    for (QDate start = periodStart(from, period); start <= to; start = nextPeriod(start, period)) {
        Bar bar;
        bar.first = std::max(start, from);
        bar.last = std::min(nextPeriod(start, period).addDays(-1), to);
        for (; day != totals.days.end() && day->date <= bar.last; ++day) {
            bar.total = saturated(bar.total + day->total);
            ++bar.daysTrained;
        }
        bar.perDay = bar.total / (bar.first.daysTo(bar.last) + 1);
        bar.average7 = sevenDayAverage(totals, bar.last);
        result.push_back(bar);
    }
    return result;
}

Period periodFor(QDate from, QDate to, int width, int minimumWidth) {
    const qint64 days = from.daysTo(to) + 1;
    const qint64 weeks = (from.dayOfWeek() - 1 + days + 6) / 7; // Mondays to Sundays touched
    const qint64 months = (to.year() - from.year()) * 12 + to.month() - from.month() + 1;
    if (days * minimumWidth <= width)
        return Period::Day;
    if (weeks * minimumWidth <= width)
        return Period::Week;
    if (months * minimumWidth <= width)
        return Period::Month;
    return Period::Year;
}

Summary summarize(const DailyTotals& totals, QDate from, QDate to, QDate today) {
    Summary summary;
    for (auto it = firstFrom(totals.days, from); it != totals.days.end() && it->date <= to; ++it) {
        summary.total = saturated(summary.total + it->total);
        ++summary.daysTrained;
        if (!summary.bestDay.isValid() || it->total > summary.bestTotal) {
            summary.bestDay = it->date;
            summary.bestTotal = it->total;
        }
    }
    // The run goes on while today has not been trained yet.
    auto it = firstFrom(totals.days, today.addDays(1));
    QDate expected = today;
    if (it != totals.days.begin() && std::prev(it)->date != today)
        expected = today.addDays(-1);
    while (it != totals.days.begin() && std::prev(it)->date == expected) {
        --it;
        ++summary.currentRun;
        expected = expected.addDays(-1);
    }
    return summary;
}

} // namespace progress
