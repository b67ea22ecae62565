#include "data/dating.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray cp(const QString& text) {
    return *cp932::encode(text).bytes;
}

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
                                                        {u"12月05日", u"18:36:11"},
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
    // The same day, a later hour than the modification: the year before too.
    EXPECT_EQ(datesOf({QStringLiteral("01月05日 13時00分00秒")}, at(2027, 1, 5, 12)),
              std::vector<QDate>{QDate(2026, 1, 5)});
    EXPECT_EQ(datesOf({QStringLiteral("01月05日 12時00分00秒")}, at(2027, 1, 5, 12)),
              std::vector<QDate>{QDate(2027, 1, 5)});
    // Several years back, records of the same day and second stay in one year.
    EXPECT_EQ(
        datesOf({QStringLiteral("06月01日 10時00分00秒"), QStringLiteral("06月01日 10時00分00秒"),
                 QStringLiteral("03月01日 10時00分00秒"), QStringLiteral("02月01日 10時00分00秒")},
                at(2027, 2, 10)),
        (std::vector<QDate>{QDate(2025, 6, 1), QDate(2025, 6, 1), QDate(2026, 3, 1),
                            QDate(2027, 2, 1)}));
    EXPECT_TRUE(datesOf({}, at(2027, 1, 1)).empty());
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
                                "\"01月01日\",\"00時30分00秒\",2.5\r\n")));
    QFile file(QStringLiteral("a.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(at(2031, 1, 1), QFileDevice::FileModificationTime));
    file.close();
    const DatedHistory history = DatedHistory::read(QStringLiteral("a"), at(2040, 1, 1));
    ASSERT_EQ(history.size(), 3);
    EXPECT_EQ(history.date(0), QDate(2030, 12, 31));
    EXPECT_EQ(history.date(1), QDate());
    EXPECT_EQ(history.second(1), -1);
    EXPECT_EQ(history.date(2), QDate(2031, 1, 1));
    EXPECT_EQ(history.second(2), 30 * 60);
    EXPECT_EQ(history.value(2), 2.5);
    EXPECT_EQ(history.value(1), 0);
    // A missing file has no records, and no date to find.
    EXPECT_EQ(DatedHistory::read(QStringLiteral("none"), at(2040, 1, 1)).size(), 0);
}

} // namespace
