#include "base/text_to_number.h"

#include <cfloat>
#include <gtest/gtest.h>

namespace {

double val(const char16_t* text) {
    return TextToNumber(QStringView(text));
}

TEST(TextToNumber, ReadsDecimalNumbersTheWayValDoes) {
    EXPECT_EQ(val(u"12回"), 12);
    EXPECT_EQ(val(u"1 2"), 12);
    EXPECT_EQ(val(u" \t-3\n"), -3);
    EXPECT_EQ(val(u"+7"), 7);
    EXPECT_EQ(val(u"1.5"), 1.5);
    EXPECT_EQ(val(u".5"), 0.5);
    EXPECT_EQ(val(u"5."), 5);
    EXPECT_EQ(val(u"1.5.3"), 1.5);
    EXPECT_EQ(val(u"1,000"), 1); // a comma is no separator
    EXPECT_EQ(val(u"1e3"), 1000);
    EXPECT_EQ(val(u"1E-2"), 0.01);
    EXPECT_EQ(val(u"2.5e+1x"), 25);
    EXPECT_EQ(val(u"12e"), 12);
    EXPECT_EQ(val(u"12e+"), 12);
    EXPECT_EQ(val(u"1 e 2"), 100);
    EXPECT_EQ(val(u"００１"), 0); // full-width digits are not digits
    // Whole numbers beyond 32 bits are read exactly, not wrapped around.
    EXPECT_EQ(val(u"3000000000"), 3e9);
    EXPECT_EQ(val(u"-2147483649"), -2147483649.0);
    EXPECT_EQ(val(u"999999999"), 999999999);
    EXPECT_EQ(TextToNumber(QByteArrayView("4294967296")), 4294967296.0);
}

TEST(TextToNumber, NothingReadableIsZero) {
    for (const char16_t* text : {u"", u"abc", u"+", u"-", u".", u"-.", u"e5", u"\r1"})
        EXPECT_EQ(val(text), 0) << QString::fromUtf16(text).toStdString();
    EXPECT_FALSE(std::signbit(val(u"-0")));
}

TEST(TextToNumber, ReadsHexAndOctalWithTheSixteenBitRule) {
    EXPECT_EQ(val(u"&HFFFF"), -1);
    EXPECT_EQ(val(u"&h7fff"), 32767);
    EXPECT_EQ(val(u"&H8000"), -32768);
    EXPECT_EQ(val(u"&H0000FFFF"), -1); // leading zeros do not count as digits
    EXPECT_EQ(val(u"&H10000"), 65536);
    EXPECT_EQ(val(u"&HFFFFFFFF"), -1);
    EXPECT_EQ(val(u"&H7FFFFFFF"), 2147483647);
    EXPECT_EQ(val(u"&H100000000"), 4294967296.0);
    EXPECT_EQ(TextToNumber(QStringLiteral("&H") + QString(300, u'F')), DBL_MAX);
    EXPECT_EQ(val(u"&O17"), 15);
    EXPECT_EQ(val(u"&o177777"), -1);
    EXPECT_EQ(val(u"&O200000"), 65536);
    EXPECT_EQ(val(u"&O19"), 1); // 9 is no octal digit
    EXPECT_EQ(val(u"&HG"), 0);
    EXPECT_EQ(val(u"&"), 0);
    EXPECT_EQ(val(u"&X12"), 0);
    EXPECT_EQ(val(u"& H 1 0"), 16);
    EXPECT_EQ(val(u"-&H10"), 0);
}

TEST(TextToNumber, ExtremesStayFinite) {
    EXPECT_EQ(val(u"1e999"), DBL_MAX);
    EXPECT_EQ(val(u"-1e999"), -DBL_MAX);
    EXPECT_EQ(val(u"1e-999"), 0);
    EXPECT_EQ(val(u"0.000e99999999999"), 0);
    EXPECT_EQ(val(u"123e99999999999999999999"), DBL_MAX);
    const QString longDigits(5000, u'9');
    EXPECT_TRUE(std::isfinite(TextToNumber(longDigits)));
}

TEST(TextToNumber, ByteTextReadsLikeText) {
    for (const char* text : {"30", " 12.5", "abc", "-3", "&HFFFF", "1e3", "\x82\x50"})
        EXPECT_EQ(TextToNumber(QByteArrayView(text)), TextToNumber(QString::fromLatin1(text)))
            << text;
}

TEST(TextToNumber, ReadNumberTellsACountWithNoDigitFromZero) {
    for (const char* text : {"", "abc", "=1+2", "-", " . ", "&H", "&Oz", "E5", "\x82\x50"})
        EXPECT_FALSE(ReadNumber(QByteArrayView(text))) << text;
    for (const char* text : {"0", "-0", "12\x89\xf1", "1 2", ".5", "&HFFFF", "+3e", "1e999"})
        EXPECT_EQ(ReadNumber(QByteArrayView(text)), TextToNumber(QByteArrayView(text))) << text;
}

TEST(IntegerConversion, RoundsHalvesToEvenAndReportsRange) {
    EXPECT_EQ(toInt16(12.5), 12);
    EXPECT_EQ(toInt16(13.5), 14);
    EXPECT_EQ(toInt16(-2.5), -2);
    EXPECT_EQ(toInt16(0.4999), 0);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768.5), -32768);
    EXPECT_FALSE(toInt16(32767.5));
    EXPECT_FALSE(toInt16(-32769));
    EXPECT_EQ(toInt64Clamped(24.5), 24);
    EXPECT_EQ(toInt64Clamped(1e300), std::numeric_limits<qint64>::max());
    EXPECT_EQ(toInt64Clamped(-1e300), std::numeric_limits<qint64>::min());
}

TEST(NumberText, WritesPlainDigitsAndShortestFractions) {
    EXPECT_EQ(NumberText(30.0), u"30");
    EXPECT_EQ(NumberText(-3.0), u"-3");
    EXPECT_EQ(NumberText(-0.0), u"0");
    EXPECT_EQ(NumberText(12.5), u"12.5");
    EXPECT_EQ(NumberText(0.5), u"0.5");
    EXPECT_EQ(NumberText(0.1), u"0.1");
    EXPECT_EQ(NumberText(1e-7), u"0.0000001");
    EXPECT_EQ(NumberText(999999999999999.0), u"999999999999999");
    EXPECT_EQ(NumberText(1e15), u"1E+15");
    EXPECT_EQ(NumberText(-2.5e20), u"-2.5E+20");
    // Whatever is written reads back as the same number.
    for (double v : {0.1, 1.0 / 3, 123456.789, 1e-20, 6.02e23, DBL_MAX, -DBL_MAX})
        EXPECT_EQ(TextToNumber(NumberText(v)), v) << v;
}

} // namespace
