#include "data/dating.h"

#include "base/cp932.h"
#include "data/kept_years.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>

namespace {

std::optional<dating::Stamp> stamp(const QString& date, const QString& time) {
    return dating::parseStamp(cp(date), cp(time));
}

// Dates for records given as "MM月DD日 hh時mm分ss秒" (or anything else for an undatable one).
std::vector<QDate> datesOf(const QStringList& records, const QDateTime& newest) {
    std::vector<std::optional<dating::Stamp>> stamps;
    for (const QString& record : records)
        stamps.push_back(stamp(record.section(u' ', 0, 0), record.section(u' ', 1, 1)));
    return dating::dateStamps(stamps, newest);
}

QDateTime at(int y, int m, int d, int h = 12) {
    return QDateTime(QDate(y, m, d), QTime(h, 0));
}

TEST(Dating, ReadsTheFieldsAsTheProgramWritesThem) {
    const auto ok = stamp(QStringLiteral("12月05日"), QStringLiteral("18時36分11秒"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->month, 12);
    EXPECT_EQ(ok->day, 5);
    EXPECT_EQ(ok->second, 18 * 3600 + 36 * 60 + 11);
    EXPECT_TRUE(stamp(QStringLiteral("02月29日"), QStringLiteral("00時00分00秒")));
    for (const auto& [date, time] :
         QList<QPair<const char16_t*, const char16_t*>>{{u"13月01日", u"00時00分00秒"},
                                                        {u"00月01日", u"00時00分00秒"},
                                                        {u"02月30日", u"00時00分00秒"},
                                                        {u"04月31日", u"00時00分00秒"},
                                                        {u"1月5日", u"00時00分00秒"},
                                                        {u"12月05日", u"24時00分00秒"},
                                                        {u"12月05日", u"23時60分00秒"},
                                                        {u"12月05日", u"23時59分60秒"},
                                                        {u"12月05日", u"23時59分5x秒"},
                                                        {u"12月05日", u"23時59分59分"},
                                                        {u"12月0x日", u"00時00分00秒"},
                                                        {u"12月0:日", u"00時00分00秒"},
                                                        {u"0:月05日", u"00時00分00秒"},
                                                        {u"12月05日", u"23時59分0:秒"},
                                                        {u"12月05時", u"00時00分00秒"},
                                                        {u"12月05日", u"00時00時00秒"},
                                                        {u"12月05日", u"18:36:11"},
                                                        {u"12日05月", u"00時00分00秒"},
                                                        {u"12月05日", u"00分00時00秒"},
                                                        {u"１２月０５日", u"00時00分00秒"},
                                                        {u"", u""}})
        EXPECT_FALSE(stamp(QString::fromUtf16(date), QString::fromUtf16(time)))
            << QString::fromUtf16(date).toStdString() << ' '
            << QString::fromUtf16(time).toStdString();
    EXPECT_EQ(dating::parseTime(cp(QStringLiteral("09時05分07秒"))), 9 * 3600 + 5 * 60 + 7);
}

TEST(Dating, YearsFollowFromTheNewestRecordBackwards) {
    // Across a new year: the newest record is in the year of the modification.
    EXPECT_EQ(
        datesOf({QStringLiteral("12月31日 23時59分00秒"), QStringLiteral("01月01日 00時01分00秒")},
                at(2027, 1, 5)),
        (std::vector<QDate>{QDate(2026, 12, 31), QDate(2027, 1, 1)}));
    // A newest record later in the year than the modification belongs to the year before.
    EXPECT_EQ(datesOf({QStringLiteral("12月20日 10時00分00秒")}, at(2027, 1, 5)),
              std::vector<QDate>{QDate(2026, 12, 20)});
    // Several years back, records of the same day and second stay in one year.
    EXPECT_EQ(
        datesOf({QStringLiteral("06月01日 10時00分00秒"), QStringLiteral("06月01日 10時00分00秒"),
                 QStringLiteral("03月01日 10時00分00秒"), QStringLiteral("02月01日 10時00分00秒")},
                at(2027, 2, 10)),
        (std::vector<QDate>{QDate(2025, 6, 1), QDate(2025, 6, 1), QDate(2026, 3, 1),
                            QDate(2027, 2, 1)}));
    EXPECT_TRUE(datesOf({}, at(2027, 1, 1)).empty());
}

TEST(Dating, ADayOfClockTroubleIsNoTurnOfTheYear) {
    // A file time a moment or 40 minutes behind its newest record (FAT, a slow share).
    const std::vector<QDate> december = {QDate(2026, 12, 5), QDate(2026, 12, 6),
                                         QDate(2026, 12, 7)};
    const QStringList mornings = {QStringLiteral("12月05日 08時00分01秒"),
                                  QStringLiteral("12月06日 08時00分01秒"),
                                  QStringLiteral("12月07日 08時00分01秒")};
    EXPECT_EQ(datesOf(mornings, at(2026, 12, 7, 8)), december);
    EXPECT_EQ(datesOf(mornings, QDateTime(QDate(2026, 12, 7), QTime(7, 20, 1))), december);
    // Both edges of the day's leeway for the file time, and across the new year.
    EXPECT_EQ(datesOf({QStringLiteral("01月06日 12時00分00秒")}, at(2027, 1, 5, 12)),
              std::vector<QDate>{QDate(2027, 1, 6)});
    EXPECT_EQ(datesOf({QStringLiteral("01月06日 12時00分01秒")}, at(2027, 1, 5, 12)),
              std::vector<QDate>{QDate(2026, 1, 6)});
    EXPECT_EQ(datesOf({QStringLiteral("01月01日 00時00分01秒")},
                      QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))),
              std::vector<QDate>{QDate(2027, 1, 1)});

    // A clock set back two minutes: every earlier record stays in its year, in file order.
    QStringList daily;
    for (QDate day(2026, 8, 11); day <= QDate(2026, 10, 29); day = day.addDays(1))
        daily.append(day.toString(QStringLiteral("MM月dd日")) + QStringLiteral(" 07時00分00秒"));
    daily << QStringLiteral("10月30日 10時00分00秒") << QStringLiteral("10月30日 09時58分00秒");
    const std::vector<QDate> dates = datesOf(daily, at(2026, 10, 30, 10));
    EXPECT_EQ(dates.front(), QDate(2026, 8, 11));
    EXPECT_EQ(dates[79], QDate(2026, 10, 29));
    EXPECT_EQ(dates[80], QDate(2026, 10, 30));
    EXPECT_EQ(dates[81], QDate(2026, 10, 30));
    // Both edges of a step back: a day later is a clock step, a second more a turn of the year.
    EXPECT_EQ(
        datesOf({QStringLiteral("03月02日 10時00分00秒"), QStringLiteral("03月01日 10時00分00秒")},
                at(2026, 3, 1, 10)),
        (std::vector<QDate>{QDate(2026, 3, 2), QDate(2026, 3, 1)}));
    EXPECT_EQ(
        datesOf({QStringLiteral("03月02日 10時00分01秒"), QStringLiteral("03月01日 10時00分00秒")},
                at(2026, 3, 1, 10)),
        (std::vector<QDate>{QDate(2025, 3, 2), QDate(2026, 3, 1)}));
    // A real turn of the year next to a clock step, and a step back across midnight of the
    // new year (the clock showed the old year again).
    EXPECT_EQ(
        datesOf({QStringLiteral("12月31日 23時00分00秒"), QStringLiteral("01月01日 00時30分00秒"),
                 QStringLiteral("01月01日 00時28分00秒")},
                at(2027, 1, 1, 1)),
        (std::vector<QDate>{QDate(2026, 12, 31), QDate(2027, 1, 1), QDate(2027, 1, 1)}));
    EXPECT_EQ(
        datesOf({QStringLiteral("12月30日 20時00分00秒"), QStringLiteral("01月01日 00時01分00秒"),
                 QStringLiteral("12月31日 23時59分00秒")},
                QDateTime(QDate(2026, 12, 31), QTime(23, 59, 30))),
        (std::vector<QDate>{QDate(2026, 12, 30), QDate(2027, 1, 1), QDate(2026, 12, 31)}));
}

TEST(Dating, ALeapDayStepsBackToALeapYear) {
    EXPECT_EQ(
        datesOf({QStringLiteral("02月29日 08時00分00秒"), QStringLiteral("03月01日 08時00分00秒")},
                at(2028, 3, 5)),
        (std::vector<QDate>{QDate(2028, 2, 29), QDate(2028, 3, 1)}));
    // A newest 29 February later in its year than the modification: the year before, then back
    // to a leap year.
    EXPECT_EQ(datesOf({QStringLiteral("02月29日 08時00分00秒")}, at(2028, 2, 10)),
              std::vector<QDate>{QDate(2024, 2, 29)});
    // 2100 and 1900 have no 29 February; 2000 has one.
    EXPECT_EQ(datesOf({QStringLiteral("02月29日 08時00分00秒")}, at(2101, 3, 5)),
              std::vector<QDate>{QDate(2096, 2, 29)});
    EXPECT_EQ(datesOf({QStringLiteral("02月29日 08時00分00秒")}, at(1900, 3, 5)),
              std::vector<QDate>{QDate(1896, 2, 29)});
    EXPECT_EQ(datesOf({QStringLiteral("02月29日 08時00分00秒")}, at(2000, 3, 5)),
              std::vector<QDate>{QDate(2000, 2, 29)});
    // Newest in 2027, which has no 29 February: the nearest leap year before is 2024.
    EXPECT_EQ(
        datesOf({QStringLiteral("02月28日 08時00分00秒"), QStringLiteral("02月29日 08時00分00秒")},
                at(2027, 3, 5)),
        (std::vector<QDate>{QDate(2024, 2, 28), QDate(2024, 2, 29)}));
}

TEST(Dating, AnUndatableRecordKeepsItsPlaceAndTheDatingGoesOn) {
    const std::vector<QDate> dates =
        datesOf({QStringLiteral("12月30日 10時00分00秒"), QStringLiteral("hand edited"),
                 QStringLiteral("01月02日 10時00分00秒")},
                at(2027, 1, 3));
    EXPECT_EQ(dates, (std::vector<QDate>{QDate(2026, 12, 30), QDate(), QDate(2027, 1, 2)}));
}

TEST(Dating, AHistoryFileIsDatedByItsModificationTime) {
    TempWorkDir dir;
    dir.write(QStringLiteral("a.txt"),
              cp(QStringLiteral("\"12月31日\",\"23時00分00秒\",10\r\n\"x\",\"y\",abc\r\n"
                                "\"01月01日\",\"00時30分00秒\",2.5\r\n")),
              at(2031, 1, 1));
    const Folder f = dir.folder();
    const DatedHistory history = DatedHistory::read(f, QStringLiteral("a"), at(2040, 1, 1)).value();
    ASSERT_EQ(history.size(), 3);
    EXPECT_EQ(history.date(0), QDate(2030, 12, 31));
    EXPECT_EQ(history.date(1), QDate());
    EXPECT_EQ(history.second(1), -1);
    EXPECT_EQ(history.date(2), QDate(2031, 1, 1));
    EXPECT_EQ(history.second(2), 30 * 60);
    EXPECT_EQ(history.value(2), 2.5);
    EXPECT_EQ(history.value(1), 0);
    // A missing file has no records, and no date to find.
    EXPECT_EQ(DatedHistory::read(f, QStringLiteral("none"), at(2040, 1, 1))->size(), 0);
}

} // namespace

// Dating with the kept years, through Next and the program's reads: one item's history written
// with its file time, then each step (a Next, something done to the files), each leaving the
// file time of its day, and the dates of the records after all of them.
// Half a year counts in the user's days: across the change to summer time, 183 days and half
// an hour after the file last changed is a long break, though 183 times 24 hours are not over.
TEST(Dating, ALongBreakIsHalfAYearOfTheUsersDays) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QDateTime modified = QDateTime(QDate(2026, 1, 10), QTime(12, 0)).toUTC(); // as looked
    EXPECT_TRUE(kept_years::longBreak(modified, QDateTime(QDate(2026, 7, 12), QTime(12, 30))));
    EXPECT_FALSE(kept_years::longBreak(modified, QDateTime(QDate(2026, 7, 12), QTime(11, 30))));
    EXPECT_FALSE(kept_years::longBreak(modified, QDateTime(QDate(2026, 7, 10), QTime(12, 30))));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

TEST(Dating, EveryRecordKeepsItsYearAfterABreakOfAnyLength) {
    const QString history = QStringLiteral("腹筋.txt"),
                  sync = QStringLiteral(".sync-conflict-20261207-081500-ABCDEFG");
    const auto line = [](const QDate& day) {
        return cp(day.toString(u"\"MM月dd日\",\"12時00分00秒\",5\r\n"));
    };
    const QDate old(2025, 8, 15), first(2025, 8, 16), later(2026, 9, 20), after(2026, 9, 21);
    const QDate years(2028, 10, 1), misdated(2026, 8, 15);
    using Step = std::function<void(TempWorkDir&, DataDir&)>;
    // A step, then the history's time set to the day, as the step would leave it that day.
    const auto on = [&](const QDate& day, const Step& step) -> Step {
        return [=](TempWorkDir& dir, DataDir& data) {
            step(dir, data);
            dir.write(history, dir.read(history), QDateTime(day, QTime(12, 0)));
        };
    };
    const auto next = [&](const QDate& day) {
        return on(day, [day](TempWorkDir&, DataDir& data) {
            const DataDir::Recorded next = data.record(1, 5, QDateTime(day, QTime(12, 0)));
            EXPECT_TRUE(next.done && next.warnings.isEmpty()) << day.toString().toStdString();
        });
    };
    const Step edit = on(later, [&](TempWorkDir& dir, DataDir&) { // an older record's count
        dir.write(history, dir.read(history).replace(",5\r\n", ",6\r\n"));
    });
    const Step addByHand = on(after, [&](TempWorkDir& dir, DataDir&) {
        dir.write(history, dir.read(history) + line(after));
    });
    const Step damage = [](TempWorkDir& dir, DataDir&) {
        dir.write(kept_years::FileName, "yarukin kept years 1\n腹筋\t9\tzz\n");
    };
    const Step noFile = [](TempWorkDir&, DataDir&) {
        ASSERT_TRUE(QDir().mkdir(kept_years::FileName));
    };
    const Step keptCopy = [&](TempWorkDir& dir, DataDir& data) { // the other side's kept file won
        const QString copy = QStringLiteral("記録の年") + sync + QStringLiteral(".yarukin");
        dir.write(copy, dir.read(kept_years::FileName));
        dir.write(kept_years::FileName, "yarukin kept years 1\n");
        EXPECT_FALSE(data.mergeConflictCopies().done); // nothing to tell the user
        EXPECT_FALSE(dir.exists(copy));
    };
    const Step historyCopy = on(after, [&](TempWorkDir& dir, DataDir& data) {
        dir.write(QStringLiteral("腹筋") + sync + QStringLiteral(".txt"),
                  line(old) + line(first) + line(after), QDateTime(after, QTime(12, 0)));
        EXPECT_TRUE(data.mergeConflictCopies().done);
    });
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::vector<QDate> dates;
    } rows[] = {
        {"13 months", {next(later)}, {old, first, later}},
        {"3 years, then a day",
         {next(years), next(years.addDays(1))},
         {old, first, years, years.addDays(1)}},
        {"two breaks", {next(later), next(years)}, {old, first, later, years}},
        {"a record added by hand after", {next(later), addByHand}, {old, first, later, after}},
        {"an old record edited by hand",
         {next(later), edit},
         {misdated, misdated.addDays(1), later}},
        {"a damaged kept file", {next(later), damage}, {misdated, misdated.addDays(1), later}},
        {"a kept file that is no file",
         {noFile, next(later)},
         {misdated, misdated.addDays(1), later}},
        {"a conflict copy of the kept file", {next(later), keptCopy}, {old, first, later}},
        {"a conflict copy of the history", {next(later), historyCopy}, {old, first, later, after}},
    };
    for (const auto& row : rows) {
        TempWorkDir dir;
        dir.write(ItemListFileName, cp(QStringLiteral("\"腹筋\",30\r\n")));
        dir.write(history, line(old) + line(first), QDateTime(first, QTime(12, 0)));
        DataDir data = dir.open();
        ASSERT_TRUE(data.LoadItemList().done);
        for (const Step& step : row.steps)
            step(dir, data);
        const DatedHistory dated = data.readDatedHistory(QStringLiteral("腹筋"), {}).value();
        std::vector<QDate> dates;
        for (int i = 0; i < dated.size(); ++i)
            dates.push_back(dated.date(i));
        EXPECT_EQ(dates, row.dates) << row.what;
    }
}
