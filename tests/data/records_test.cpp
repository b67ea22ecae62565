#include "data/records.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

std::vector<std::array<QByteArray, 2>> readAll(const QByteArray& data) {
    std::vector<std::array<QByteArray, 2>> result;
    records::LineScanner lines(data);
    for (QByteArrayView line; lines.next(line);) {
        const auto fields = records::splitFields<2>(line);
        result.push_back({fields[0].toByteArray(), fields[1].toByteArray()});
    }
    return result;
}

using Rows = std::vector<std::array<QByteArray, 2>>;

TEST(Records, ReadsQuotedAndBareFields) {
    EXPECT_EQ(readAll("\"abc\",30\r\n"), (Rows{{"abc", "30"}}));
    EXPECT_EQ(readAll("  \"a, b c\" , 12 \r\n"), (Rows{{"a, b c", "12"}}));
    EXPECT_EQ(readAll("\"x\"junk,5\r\n"), (Rows{{"x", "5"}}));
    EXPECT_EQ(readAll("bare name  ,7\r\n"), (Rows{{"bare name", "7"}}));
    EXPECT_EQ(readAll("\"unterminated,3\r\n"), (Rows{{"unterminated,3", ""}}));
    EXPECT_EQ(readAll("\"only\"\r\n"), (Rows{{"only", ""}}));
    EXPECT_EQ(readAll("\"\",\"\"\r\n"), (Rows{{"", ""}}));
}

TEST(Records, LinesEndAtLfWithOrWithoutCrAndBlankLinesArePassedOver) {
    EXPECT_EQ(readAll("\"a\",1\r\n\r\n  \r\n\"b\",2\n\"c\",3"),
              (Rows{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    EXPECT_TRUE(readAll("").empty());
    EXPECT_TRUE(readAll("\r\n\r\n").empty());
}

TEST(Records, ExtraFieldsAreIgnoredAndMissingOnesEmpty) {
    const auto three = records::splitFields<3>("\"12月05日\",\"18時36分11秒\",30,extra");
    EXPECT_EQ(three[0], QByteArrayView("12月05日"));
    EXPECT_EQ(three[2], QByteArrayView("30"));
    const auto short_ = records::splitFields<3>("\"a\"");
    EXPECT_TRUE(short_[1].isEmpty());
    EXPECT_TRUE(short_[2].isEmpty());
}

TEST(Records, WriterJoinsFieldsWithCommasAndEndsWithCrLf) {
    QByteArray out;
    records::RecordWriter(out).quoted("abc").bare("30").end();
    EXPECT_EQ(out.toHex(' '), QByteArray("22 61 62 63 22 2c 33 30 0d 0a"));
}

} // namespace
