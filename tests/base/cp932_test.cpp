#include "base/cp932.h"

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

TEST(Cp932, DecodesTheCharactersWindowsWrites) {
    EXPECT_EQ(cp932::decode(hex("8160")), u"～"); // U+FF5E
    EXPECT_EQ(cp932::decode(hex("817c")), u"－"); // U+FF0D
    EXPECT_EQ(cp932::decode(hex("8161")), u"∥");  // U+2225
    EXPECT_EQ(cp932::decode(hex("8740")), u"①");
    EXPECT_EQ(cp932::decode(hex("fbfc")), u"髙");
    EXPECT_EQ(cp932::decode(hex("b6c0")), u"ｶﾀ");
    EXPECT_EQ(cp932::decode(hex("5c")), u"\\");
    EXPECT_EQ(cp932::decode(QByteArray()), QString());
    EXPECT_EQ(cp932::decode(QByteArray("\0a", 2)), QString(QChar(0)) + u'a');
}

TEST(Cp932, EncodesBothSpellingsOfSharedCodes) {
    EXPECT_EQ(cp932::encode(u"〜～").bytes, hex("81608160"));
    EXPECT_EQ(cp932::encode(u"−－").bytes, hex("817c817c"));
    EXPECT_EQ(cp932::decode(*cp932::encode(u"スクワット〜深め").bytes), u"スクワット～深め");
}

TEST(Cp932, TextWithoutACp932FormIsAnError) {
    const auto result = cp932::encode(u"腕立て😀伏せ");
    EXPECT_FALSE(result.bytes);
    EXPECT_EQ(result.offending, u"😀");
    EXPECT_FALSE(cp932::encode(u"é").bytes);
    EXPECT_EQ(cp932::encode(u"é").offending, u"é");
    EXPECT_FALSE(cp932::encode(u"한국").bytes);
    EXPECT_FALSE(cp932::encode(QString(QChar(0xD800))).bytes); // lone surrogate
    EXPECT_EQ(cp932::encode(u"").bytes, QByteArray());
}

TEST(Cp932, InvalidBytesSurviveARoundTrip) {
    // A stray lead byte before a quote, undefined single bytes, a lead byte cut off at the end.
    const QByteArray bytes = hex("228122") + "abc" + hex("80a0fdfeff") + hex("82a0") + hex("81");
    const QString text = cp932::decode(bytes);
    EXPECT_TRUE(text.startsWith(u'"'));
    EXPECT_EQ(text[1].unicode(), cp932::EscapeBase + 0x01);
    EXPECT_EQ(text[2], u'"'); // the quote after the bad byte is still a quote
    EXPECT_EQ(cp932::encode(text).bytes, bytes);
}

TEST(Cp932, UserDefinedAreaRoundTrips) {
    const QByteArray bytes = hex("f040f07ef080f0fcf940f9fc");
    const QString text = cp932::decode(bytes);
    EXPECT_EQ(text[0].unicode(), 0xE000);
    EXPECT_EQ(text[5].unicode(), 0xE757);
    EXPECT_EQ(cp932::encode(text).bytes, bytes);
}

TEST(Cp932, AnyBytesSurviveDecodeAndEncode) {
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const QByteArray code{static_cast<char>(lead), static_cast<char>(trail)};
            const QString text = cp932::decode(code);
            ASSERT_EQ(cp932::encode(text).bytes, code) << code.toHex().toStdString();
        }
    }
    // A second spelling stays as it was instead of turning into Windows' code, which could
    // pair up with an escaped byte before it when read again.
    const QByteArray tricky = hex("ffeeeeeeeb");
    EXPECT_EQ(cp932::encode(cp932::decode(tricky)).bytes, tricky);
    EXPECT_EQ(cp932::decode(hex("fc4a")), u"\u9e19");
}

} // namespace
