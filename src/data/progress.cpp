#include "data/progress.h"

#include "base/text_to_number.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace progress {
namespace {

// The first day trained at or after `date`.
std::vector<Day>::const_iterator firstFrom(const std::vector<Day>& days, QDate date) {
    return std::lower_bound(days.begin(), days.end(), date,
                            [](const Day& day, QDate d) { return day.date < d; });
}

// The start of the period `count` periods after (or before) the one that starts at `start`.
QDate stepPeriod(QDate start, Period period, int count) {
    switch (period) {
    case Period::Day:
        return start.addDays(count);
    case Period::Week:
        return start.addDays(7 * qint64(count));
    case Period::Month:
        return start.addMonths(count);
    case Period::Year:
        return start.addYears(count);
    }
    return start.addDays(count);
}

// Adds without ever reaching infinity: the chart's scale must stay a number.
double saturated(double sum) {
    return std::clamp(sum, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
}

void addSet(Day& day, double count, double target) {
    day.best = day.sets == 0 ? count : std::max(day.best, count);
    day.total = saturated(day.total + count);
    ++day.sets;
    day.setsAtTarget += count >= target;
}

} // namespace

DailyTotals dailyTotals(const DatedHistory& history, double target) {
    DailyTotals totals;
    totals.target = target;
    std::vector<Day>& days = totals.days;
    // Records come in time order, so a day's records are neighbours; a clock set back can
    // break the order, and then the days are sorted and merged at the end.
    bool ordered = true;
    for (int i = 0; i < history.size(); ++i) {
        const QDate date = history.date(i);
        if (!date.isValid()) {
            ++totals.undated;
            continue;
        }
        const std::optional<double> count = ReadNumber(history.countField(i));
        if (!count) {
            ++totals.unreadable;
            continue;
        }
        if (days.empty() || days.back().date != date) {
            ordered = ordered && (days.empty() || days.back().date < date);
            days.push_back({date});
        }
        addSet(days.back(), *count, target);
    }
    if (!ordered) {
        std::stable_sort(days.begin(), days.end(),
                         [](const Day& a, const Day& b) { return a.date < b.date; });
        std::vector<Day> merged;
        for (const Day& day : days) {
            if (merged.empty() || merged.back().date != day.date) {
                merged.push_back(day);
                continue;
            }
            Day& into = merged.back();
            into.total = saturated(into.total + day.total);
            into.best = std::max(into.best, day.best);
            into.sets += day.sets;
            into.setsAtTarget += day.setsAtTarget;
        }
        days = std::move(merged);
    }
    days.shrink_to_fit();
    return totals;
}

int averageSpan(Period period) {
    switch (period) {
    case Period::Day:
        return 7;
    case Period::Week:
        return 4;
    case Period::Month:
    case Period::Year:
        return 3;
    }
    return 1;
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

QDate periodEnd(QDate date, Period period) {
    return stepPeriod(periodStart(date, period), period, 1).addDays(-1);
}

double totalBetween(const DailyTotals& totals, QDate first, QDate last) {
    double sum = 0;
    for (auto it = firstFrom(totals.days, first); it != totals.days.end() && it->date <= last; ++it)
        sum = saturated(sum + it->total);
    return sum;
}

std::vector<Bar> bars(const DailyTotals& totals, QDate from, QDate to, Period period, QDate today) {
    std::vector<Bar> result;
    if (!from.isValid() || !to.isValid() || to < from)
        return result;
    const QDate historyStart =
        totals.days.empty() ? QDate() : periodStart(totals.days.front().date, period);
    const int span = averageSpan(period);
    auto day = firstFrom(totals.days, from);
    for (QDate start = periodStart(from, period); start <= to;
         start = stepPeriod(start, period, 1)) {
        const QDate end = stepPeriod(start, period, 1).addDays(-1);
        Bar bar;
        bar.first = std::max(start, from);
        bar.last = std::min(end, to);
        bar.partial = bar.first != start || bar.last != end;
        for (; day != totals.days.end() && day->date <= bar.last; ++day) {
            bar.best = bar.sets == 0 ? day->best : std::max(bar.best, day->best);
            bar.total = saturated(bar.total + day->total);
            bar.sets += day->sets;
            bar.setsAtTarget += day->setsAtTarget;
            ++bar.daysTrained;
        }
        bar.target = saturated(totals.target * bar.sets);
        const QDate spanStart = stepPeriod(start, period, 1 - span);
        const bool over = end <= to && (!today.isValid() || end < today);
        if (over && historyStart.isValid() && spanStart >= historyStart) {
            // Days before the first day trained were never there to count as nothing.
            const QDate counted = std::max(spanStart, totals.days.front().date);
            const double share = static_cast<double>(spanStart.daysTo(end) + 1) /
                                 static_cast<double>(counted.daysTo(end) + 1);
            bar.average = saturated(totalBetween(totals, counted, end) * share / span);
        }
        result.push_back(bar);
    }
    return result;
}

namespace {

// The value at `share` of the sorted values, by nearest rank.
double nearestRank(const std::vector<double>& sorted, double share) {
    const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

} // namespace

double outlierAbove(std::vector<double> values) {
    std::erase_if(values, [](double value) { return !(value > 0); });
    std::sort(values.begin(), values.end());
    // Measured against the others: a bar is no measure of itself, and among a few bars the
    // 90th percentile would be the huge one.
    if (!values.empty())
        values.pop_back();
    if (values.empty())
        return std::numeric_limits<double>::infinity();
    return 3 * nearestRank(values, 0.9);
}

std::array<double, 3> shadeLevels(std::vector<double> totals) {
    std::erase_if(totals, [](double total) { return !(total > 0); });
    if (totals.empty())
        return {0, 0, 0};
    std::sort(totals.begin(), totals.end());
    return {nearestRank(totals, 0.25), nearestRank(totals, 0.5), nearestRank(totals, 0.75)};
}

int shadeFor(double total, const std::array<double, 3>& levels) {
    return 1 + static_cast<int>(std::count_if(levels.begin(), levels.end(),
                                              [total](double level) { return level < total; }));
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
        summary.sets += it->sets;
        summary.setsAtTarget += it->setsAtTarget;
        if (!summary.bestDay.isValid() || it->total > summary.bestDayTotal) {
            summary.bestDay = it->date;
            summary.bestDayTotal = it->total;
        }
        if (!summary.bestSetDay.isValid() || it->best > summary.bestSet) {
            summary.bestSetDay = it->date;
            summary.bestSet = it->best;
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
    int run = 0;
    for (size_t i = 0; i < totals.days.size(); ++i) {
        const bool follows = i > 0 && totals.days[i - 1].date.addDays(1) == totals.days[i].date;
        run = follows ? run + 1 : 1;
        summary.longestRun = std::max(summary.longestRun, run);
    }
    const QDate monday = periodStart(today, Period::Week);
    summary.thisWeek = totalBetween(totals, monday, today);
    summary.lastWeek = totalBetween(totals, monday.addDays(-7), monday.addDays(-1));
    return summary;
}

QString amount(double value) {
    if (!(std::fabs(value) < 1e15)) // no room for decimals: as the files write it
        return NumberText(value);
    QString text = QString::number(std::round(value * 100) / 100, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text == QStringLiteral("-0"))
        return QStringLiteral("0");
    const qsizetype sign = text.startsWith(u'-') ? 1 : 0;
    qsizetype point = text.indexOf(u'.');
    if (point < 0)
        point = text.size();
    for (qsizetype at = point - 3; at > sign; at -= 3)
        text.insert(at, u',');
    return text;
}

QString percent(qint64 part, qint64 whole) {
    if (whole <= 0)
        return {};
    double share = std::round(1000.0 * static_cast<double>(part) / static_cast<double>(whole)) / 10;
    // "100%" with a set short of the target, or "0%" with one that reached it, would say
    // what is not so.
    if (part < whole)
        share = std::min(share, 99.9);
    if (part > 0)
        share = std::max(share, 0.1);
    QString text = QString::number(share, 'f', 1);
    if (text.endsWith(QStringLiteral(".0")))
        text.chop(2);
    return text + u'%';
}

} // namespace progress
