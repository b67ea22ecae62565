#include "data/progress.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QFile>
#include <gtest/gtest.h>
#include <limits>

namespace {

using progress::Period;

// A history file of (month, day, count) records, all in 2026, modified at the end of 2026,
// totalled against a target of 30.
progress::DailyTotals totalsOf(const QList<std::tuple<int, int, const char*>>& records) {
    QString text;
    for (const auto& [month, day, count] : records)
        text += QStringLiteral("\"%1月%2日\",\"10時00分00秒\",%3\r\n")
                    .arg(month, 2, 10, QLatin1Char('0'))
                    .arg(day, 2, 10, QLatin1Char('0'))
                    .arg(QString::fromUtf8(count));
    text += QStringLiteral("\"?\",\"?\",100\r\n"); // undatable: in no day
    QFile file(QStringLiteral("h.txt"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*cp932::encode(text).bytes);
    file.flush(); // before the time is set, or the write would set it again
    EXPECT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 31), QTime(23, 0)),
                                 QFileDevice::FileModificationTime));
    file.close();
    return progress::dailyTotals(
        DatedHistory::read(Folder::open(QString()).value(), QStringLiteral("h"), QDateTime())
            .value(),
        30);
}

class Progress : public ::testing::Test {
protected:
    TempWorkDir dir;
    // Mondays: 5 Oct, 30 Nov, 7 Dec 2026. 2 Dec holds only a count that cannot be read.
    progress::DailyTotals totals = totalsOf({{10, 5, "99"},
                                             {11, 30, "10"},
                                             {12, 1, "20"},
                                             {12, 1, "5.5"},
                                             {12, 1, "abc"},
                                             {12, 2, "=1+2"},
                                             {12, 3, "30"},
                                             {12, 3, "12回"},
                                             {12, 7, "7"},
                                             {12, 13, "14"}});
};

TEST_F(Progress, DaysHoldTheirSetsAndLeaveOutWhatCannotBeDatedOrRead) {
    ASSERT_EQ(totals.days.size(), 6u); // 2 December is no day trained
    EXPECT_EQ(totals.days[0].date, QDate(2026, 10, 5));
    const progress::Day& first = totals.days[2];
    EXPECT_EQ(first.date, QDate(2026, 12, 1));
    EXPECT_EQ(first.total, 25.5);
    EXPECT_EQ(first.sets, 2);
    EXPECT_EQ(first.best, 20);
    EXPECT_EQ(first.setsAtTarget, 0);
    const progress::Day& third = totals.days[3];
    EXPECT_EQ(third.date, QDate(2026, 12, 3));
    EXPECT_EQ(third.total, 42);
    EXPECT_EQ(third.setsAtTarget, 1); // 30 reaches the target 30; 12回 reads 12
    EXPECT_EQ(totals.undated, 1);
    EXPECT_EQ(totals.unreadable, 2);

    // A clock set back within a day puts a day's records apart: each day still holds all of
    // its own. A day of hand-edited negative counts has its best below zero.
    const progress::DailyTotals back = totalsOf({{12, 1, "1"},
                                                 {12, 2, "30"},
                                                 {12, 1, "3"},
                                                 {12, 2, "4"},
                                                 {12, 2, "30"},
                                                 {12, 3, "-7"},
                                                 {12, 3, "-5"}});
    ASSERT_EQ(back.days.size(), 3u);
    for (const auto& [day, date, total, sets, best, atTarget] :
         {std::tuple{back.days[0], QDate(2026, 12, 1), 4.0, 2, 3.0, 0},
          std::tuple{back.days[1], QDate(2026, 12, 2), 64.0, 3, 30.0, 2},
          std::tuple{back.days[2], QDate(2026, 12, 3), -12.0, 2, -5.0, 0}}) {
        EXPECT_EQ(day.date, date);
        EXPECT_EQ(day.total, total);
        EXPECT_EQ(day.sets, sets);
        EXPECT_EQ(day.best, best);
        EXPECT_EQ(day.setsAtTarget, atTarget);
    }
}

TEST_F(Progress, BarsHoldTotalsTargetsAndAveragesOfTheirOwnDays) {
    const auto days = progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 7), Period::Day);
    ASSERT_EQ(days.size(), 8u);
    EXPECT_EQ(days[1].total, 25.5);
    EXPECT_EQ(days[1].target, 60); // two sets of 30
    EXPECT_EQ(days[1].best, 20);
    EXPECT_EQ(days[2].total, 0); // a rest day is a bar of nothing, with no target
    EXPECT_EQ(days[2].target, 0);
    EXPECT_FALSE(days[0].partial);
    // The seven days 1..7 Dec, rest days as nothing.
    EXPECT_DOUBLE_EQ(*days[7].average, 74.5 / 7);
    // Today is not over: it joins the line tomorrow, and yesterday is already on it.
    const auto today = progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 7), Period::Day,
                                      QDate(2026, 12, 7));
    EXPECT_FALSE(today[7].average);
    EXPECT_DOUBLE_EQ(*today[6].average, 77.5 / 7); // 30 Nov..6 Dec
    // No average that reaches back before the first day trained (5 Oct).
    EXPECT_FALSE(progress::bars(totals, QDate(2026, 10, 10), QDate(2026, 10, 10), Period::Day)
                     .front()
                     .average);
    EXPECT_DOUBLE_EQ(*progress::bars(totals, QDate(2026, 10, 11), QDate(2026, 10, 11), Period::Day)
                          .front()
                          .average,
                     99.0 / 7);

    // Whole weeks: the average of four weeks ending with each.
    const auto weeks =
        progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 13), Period::Week);
    ASSERT_EQ(weeks.size(), 2u);
    EXPECT_EQ(weeks[0].total, 77.5);
    EXPECT_EQ(weeks[0].sets, 5);
    EXPECT_EQ(weeks[0].target, 150);
    EXPECT_EQ(weeks[0].daysTrained, 3);
    EXPECT_DOUBLE_EQ(*weeks[0].average, 77.5 / 4); // 9 Nov..6 Dec
    EXPECT_DOUBLE_EQ(*weeks[1].average, 98.5 / 4); // 16 Nov..13 Dec
    EXPECT_FALSE(progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 13), Period::Week,
                                QDate(2026, 12, 13))[1]
                     .average); // this week, on its Sunday

    // Weeks cut at both ends hold only their days in the range, and the last, whose days are
    // not all past, has no average.
    const auto cut = progress::bars(totals, QDate(2026, 12, 1), QDate(2026, 12, 9), Period::Week);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_TRUE(cut[0].partial);
    EXPECT_EQ(cut[0].first, QDate(2026, 12, 1));
    EXPECT_EQ(cut[0].total, 67.5);
    EXPECT_DOUBLE_EQ(*cut[0].average, 77.5 / 4); // its whole weeks, 30 Nov included
    EXPECT_TRUE(cut[1].partial);
    EXPECT_EQ(cut[1].last, QDate(2026, 12, 9));
    EXPECT_EQ(cut[1].total, 7);
    EXPECT_FALSE(cut[1].average);

    // Months, and months cut at both ends.
    const auto months =
        progress::bars(totals, QDate(2026, 10, 1), QDate(2026, 12, 31), Period::Month);
    ASSERT_EQ(months.size(), 3u);
    EXPECT_EQ(months[2].total, 88.5);
    EXPECT_EQ(months[2].daysTrained, 4);
    EXPECT_FALSE(months[1].average); // September lies before the first month trained
    // October counts from its first day trained, the 5th: 88 days of 92 stand for three months.
    EXPECT_DOUBLE_EQ(*months[2].average, 197.5 * 92 / 88 / 3);
    const auto cutMonths =
        progress::bars(totals, QDate(2026, 10, 15), QDate(2026, 12, 10), Period::Month);
    EXPECT_TRUE(cutMonths.front().partial);
    EXPECT_EQ(cutMonths.front().total, 0);
    EXPECT_TRUE(cutMonths.back().partial);
    EXPECT_EQ(cutMonths.back().total, 74.5);
    EXPECT_TRUE(
        progress::bars(totals, QDate(2026, 12, 2), QDate(2026, 12, 1), Period::Day).empty());

    // Years: the first cut by the range, the second whole, neither with three years behind it.
    const auto years = progress::bars(totals, QDate(2025, 6, 1), QDate(2026, 12, 31), Period::Year);
    ASSERT_EQ(years.size(), 2u);
    EXPECT_TRUE(years[0].partial);
    EXPECT_EQ(years[0].total, 0);
    EXPECT_FALSE(years[1].partial);
    EXPECT_EQ(years[1].first, QDate(2026, 1, 1));
    EXPECT_EQ(years[1].total, 197.5);
    EXPECT_EQ(years[1].sets, 8);
    EXPECT_FALSE(years[1].average);
}

TEST_F(Progress, BarsStayReadable) {
    const QDate end(2026, 12, 31);
    // At least four pixels a bar: days while they fit, then weeks, then months.
    EXPECT_EQ(progress::periodFor(end.addDays(-29), end, 600), Period::Day);
    EXPECT_EQ(progress::periodFor(end.addDays(-89), end, 360), Period::Day);
    EXPECT_EQ(progress::periodFor(end.addDays(-89), end, 359), Period::Week);
    EXPECT_EQ(progress::periodFor(end.addDays(-364), end, 212), Period::Week); // 53 weeks touched
    EXPECT_EQ(progress::periodFor(end.addDays(-364), end, 211), Period::Month);
    EXPECT_EQ(progress::periodFor(end.addDays(-3649), end, 480), Period::Month);
    EXPECT_EQ(progress::periodFor(end.addDays(-3649), end, 479), Period::Year);
}

TEST_F(Progress, TheSummaryRunsAndWeeks) {
    const progress::Summary december =
        progress::summarize(totals, QDate(2026, 12, 1), QDate(2026, 12, 31), QDate(2026, 12, 13));
    EXPECT_EQ(december.total, 88.5);
    EXPECT_EQ(december.daysTrained, 4);
    EXPECT_EQ(december.sets, 6);
    EXPECT_EQ(december.setsAtTarget, 1);
    EXPECT_EQ(december.bestDay, QDate(2026, 12, 3));
    EXPECT_EQ(december.bestDayTotal, 42);
    EXPECT_EQ(december.bestSet, 30);
    EXPECT_EQ(december.thisWeek, 21); // Monday 7 Dec to Sunday 13 Dec
    EXPECT_EQ(december.lastWeek, 77.5);
    // 30 Nov and 1 Dec in a row; 2 Dec, with a count that cannot be read, ends the run.
    EXPECT_EQ(december.longestRun, 2);
    EXPECT_EQ(december.currentRun, 1); // 13 Dec itself
    // Trained yesterday but not yet today: the run goes on; two days ago: it ended.
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 14)).currentRun, 1);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 15)).currentRun, 0);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 2)).currentRun, 2);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 3)).currentRun, 1);
    EXPECT_EQ(progress::summarize({}, {}, {}, QDate(2026, 12, 2)).currentRun, 0);

    // Of equal days and equal sets the earliest wins.
    const progress::DailyTotals ties = totalsOf(
        {{12, 1, "20"}, {12, 1, "20"}, {12, 2, "40"}, {12, 3, "30"}, {12, 4, "40"}, {12, 4, "0"}});
    const progress::Summary tied =
        progress::summarize(ties, QDate(2026, 12, 1), QDate(2026, 12, 31), QDate(2026, 12, 4));
    EXPECT_EQ(tied.bestDay, QDate(2026, 12, 1));
    EXPECT_EQ(tied.bestDayTotal, 40);
    EXPECT_EQ(tied.bestSetDay, QDate(2026, 12, 2));
    EXPECT_EQ(tied.longestRun, 4);
}

TEST(ProgressScale, OneHugeBarIsCutAndShadesTakeQuartersOfTheDays) {
    const double none = std::numeric_limits<double>::infinity();
    // Three times the 90th percentile of the bars that are not nothing, but for the highest,
    // by nearest rank.
    for (const auto& [values, cut] : std::initializer_list<std::pair<std::vector<double>, double>>{
             {{}, none},
             {{0, 0}, none},
             {{0, 17}, none},
             {{17, 12000}, 51},
             {{17, 40, 43, 90, 12000}, 270},
             {{17, 20, 30, 40, 50, 60, 70, 80, 90, 12000}, 270},
             {{20, 30, 40, 50, 60, 70, 80, 90, 0, -7, 12000}, 270}})
        EXPECT_EQ(progress::outlierAbove(values), cut) << values.size();
    // Levels at a quarter, half and three quarters of the days trained; a day at a level is
    // in the lighter shade.
    const std::array<double, 3> levels =
        progress::shadeLevels({12000, 17, 20, 0, 30, 40, -3, 50, 60, 70, 90});
    EXPECT_EQ(levels, (std::array<double, 3>{30, 50, 70}));
    for (const auto& [total, shade] : {std::pair{-3.0, 1},
                                       {17.0, 1},
                                       {30.0, 1},
                                       {30.5, 2},
                                       {50.0, 2},
                                       {70.0, 3},
                                       {90.0, 4},
                                       {12000.0, 4}})
        EXPECT_EQ(progress::shadeFor(total, levels), shade) << total;
    EXPECT_EQ(progress::shadeLevels({0, -1}), (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(progress::shadeFor(40, progress::shadeLevels({40})), 1);
}

TEST(ProgressFigures, GroupedByThreesAndRoundedForPeople) {
    EXPECT_EQ(progress::amount(1099999989), u"1,099,999,989");
    EXPECT_EQ(progress::amount(100.0 / 7), u"14.29");
    EXPECT_EQ(progress::amount(-1234.5), u"-1,234.5");
    EXPECT_EQ(progress::amount(-123456), u"-123,456"); // no comma after the sign
    EXPECT_EQ(progress::amount(999.999), u"1,000");
    EXPECT_EQ(progress::amount(-0.001), u"0");
    EXPECT_EQ(progress::amount(123), u"123");
    EXPECT_EQ(progress::amount(1e15), u"1E+15");
    EXPECT_EQ(progress::percent(1, 7), u"14.3%");
    EXPECT_EQ(progress::percent(1, 2), u"50%");
    EXPECT_EQ(progress::percent(9999, 10000), u"99.9%"); // not yet all
    EXPECT_EQ(progress::percent(1, 10000), u"0.1%");     // not none
    EXPECT_EQ(progress::percent(0, 5), u"0%");
    EXPECT_EQ(progress::percent(5, 5), u"100%");
    EXPECT_EQ(progress::percent(0, 0), u"");
}

} // namespace
