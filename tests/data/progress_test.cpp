#include "data/progress.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

using progress::Period;

// A history file of (month, day, count) records, all in 2026, modified at the end of 2026.
DatedHistory historyOf(const QList<std::tuple<int, int, const char*>>& records) {
    QString text;
    for (const auto& [month, day, count] : records)
        text += QStringLiteral("\"%1月%2日\",\"10時00分00秒\",%3\r\n")
                    .arg(month, 2, 10, QLatin1Char('0'))
                    .arg(day, 2, 10, QLatin1Char('0'))
                    .arg(QString::fromLatin1(count));
    text += QStringLiteral("\"?\",\"?\",100\r\n"); // undatable: in no day
    QFile file(QStringLiteral("h.txt"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*cp932::encode(text).bytes);
    file.flush(); // before the time is set, or the write would set it again
    EXPECT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 31), QTime(23, 0)),
                                 QFileDevice::FileModificationTime));
    file.close();
    return DatedHistory::read(Folder::open(QString()).value(), QStringLiteral("h"), QDateTime())
        .value();
}

class Progress : public ::testing::Test {
protected:
    TempWorkDir dir;
    // Mon 30 Nov .. Sun 13 Dec 2026, with two records on 1 Dec.
    progress::DailyTotals totals = progress::dailyTotals(historyOf({{10, 5, "99"},
                                                                    {11, 30, "10"},
                                                                    {12, 1, "20"},
                                                                    {12, 1, "5.5"},
                                                                    {12, 3, "30"},
                                                                    {12, 7, "7"},
                                                                    {12, 13, "14"}}));
};

TEST_F(Progress, TotalsPerDayLeaveOutWhatCannotBeDated) {
    ASSERT_EQ(totals.days.size(), 6u);
    EXPECT_EQ(totals.days[0].date, QDate(2026, 10, 5));
    EXPECT_EQ(totals.days[2].date, QDate(2026, 12, 1));
    EXPECT_EQ(totals.days[2].total, 25.5);
    EXPECT_EQ(totals.undated, 1);
}

TEST_F(Progress, BarsByDayWeekAndMonth) {
    const auto days = progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 3), Period::Day);
    ASSERT_EQ(days.size(), 4u);
    EXPECT_EQ(days[1].first, QDate(2026, 12, 1));
    EXPECT_EQ(days[1].total, 25.5);
    EXPECT_EQ(days[1].perDay, 25.5);
    EXPECT_EQ(days[2].total, 0); // a rest day is a bar of nothing
    EXPECT_EQ(days[3].daysTrained, 1);

    // Weeks run Monday to Sunday; the range cuts the first and the last.
    const auto weeks = progress::bars(totals, QDate(2026, 12, 1), QDate(2026, 12, 9), Period::Week);
    ASSERT_EQ(weeks.size(), 2u);
    EXPECT_EQ(weeks[0].first, QDate(2026, 12, 1));
    EXPECT_EQ(weeks[0].last, QDate(2026, 12, 6));
    EXPECT_EQ(weeks[0].total, 55.5);
    EXPECT_EQ(weeks[0].daysTrained, 2);
    EXPECT_DOUBLE_EQ(weeks[0].perDay, 55.5 / 6);
    EXPECT_EQ(weeks[1].first, QDate(2026, 12, 7));
    EXPECT_EQ(weeks[1].last, QDate(2026, 12, 9));
    EXPECT_EQ(weeks[1].total, 7);

    const auto months =
        progress::bars(totals, QDate(2026, 10, 1), QDate(2026, 12, 31), Period::Month);
    ASSERT_EQ(months.size(), 3u);
    EXPECT_EQ(months[0].total, 99);
    EXPECT_EQ(months[1].total, 10);
    EXPECT_EQ(months[2].total, 76.5);
    EXPECT_EQ(months[2].daysTrained, 4);
    EXPECT_DOUBLE_EQ(months[2].perDay, 76.5 / 31);
    EXPECT_TRUE(
        progress::bars(totals, QDate(2026, 12, 2), QDate(2026, 12, 1), Period::Day).empty());
}

TEST_F(Progress, SevenDayAverageCountsRestDaysAsNothing) {
    // 1..7 Dec: 25.5 + 30 + 7.
    EXPECT_DOUBLE_EQ(progress::sevenDayAverage(totals, QDate(2026, 12, 7)), 62.5 / 7);
    // 30 Nov..6 Dec: 10 + 25.5 + 30.
    EXPECT_DOUBLE_EQ(progress::sevenDayAverage(totals, QDate(2026, 12, 6)), 65.5 / 7);
    EXPECT_EQ(progress::sevenDayAverage(totals, QDate(2027, 6, 1)), 0);
    const auto weeks =
        progress::bars(totals, QDate(2026, 11, 30), QDate(2026, 12, 13), Period::Week);
    EXPECT_DOUBLE_EQ(weeks[1].average7, 21.0 / 7); // at Sunday 13 Dec: 7 + 14
}

TEST_F(Progress, BarsStayReadable) {
    const QDate end(2026, 12, 31);
    // At least four pixels a bar: days while they fit, then weeks, then months.
    EXPECT_EQ(progress::periodFor(end.addDays(-29), end, 600), Period::Day);
    EXPECT_EQ(progress::periodFor(end.addDays(-89), end, 360), Period::Day);
    EXPECT_EQ(progress::periodFor(end.addDays(-89), end, 359), Period::Week);
    EXPECT_EQ(progress::periodFor(end.addDays(-364), end, 600), Period::Week);
    EXPECT_EQ(progress::periodFor(end.addDays(-364), end, 200), Period::Month);
    EXPECT_EQ(progress::periodFor(end.addDays(-3649), end, 600), Period::Month);
}

TEST_F(Progress, TheSummaryAndTheCurrentRun) {
    const progress::Summary december =
        progress::summarize(totals, QDate(2026, 12, 1), QDate(2026, 12, 31), QDate(2026, 12, 13));
    EXPECT_EQ(december.total, 76.5);
    EXPECT_EQ(december.daysTrained, 4);
    EXPECT_EQ(december.bestDay, QDate(2026, 12, 3));
    EXPECT_EQ(december.bestTotal, 30);
    EXPECT_EQ(december.currentRun, 1); // 13 Dec itself
    // Trained yesterday but not yet today: the run goes on; two days ago: it ended.
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 14)).currentRun, 1);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 15)).currentRun, 0);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 1)).currentRun, 2);
    EXPECT_EQ(progress::summarize(totals, {}, {}, QDate(2026, 12, 2)).currentRun, 2);
    EXPECT_EQ(progress::summarize({}, {}, {}, QDate(2026, 12, 2)).currentRun, 0);
}

} // namespace
