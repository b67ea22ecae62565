#include "help/chm_system.h"

#include <gtest/gtest.h>

namespace {

// One #SYSTEM record: code and length as little-endian 16-bit numbers, then the data.
QByteArray record(quint16 code, const QByteArray& data, int claimedLength = -1) {
    const quint16 length =
        claimedLength < 0 ? static_cast<quint16>(data.size()) : static_cast<quint16>(claimedLength);
    QByteArray bytes;
    bytes.append(static_cast<char>(code & 0xFF)).append(static_cast<char>(code >> 8));
    bytes.append(static_cast<char>(length & 0xFF)).append(static_cast<char>(length >> 8));
    return bytes + data;
}

const QByteArray Version("\x03\x00\x00\x00", 4);

TEST(ChmSystem, ReadsTheRecordsItKnowsAndPassesOverTheRest) {
    const QByteArray bytes = Version + record(9, "skip me") +
                             record(0, QByteArray("toc.hhc\0", 8)) +
                             record(2, QByteArray("start.htm\0junk", 14)) +
                             record(3, "\x83\x77\x83\x8b\x83\x76") + // ヘルプ in code page 932
                             record(4, QByteArray("\x11\x04\x00\x00\x01\x00", 6));
    const ChmSystem system = parseChmSystem(bytes);
    EXPECT_EQ(system.contentsFile, "toc.hhc");
    EXPECT_EQ(system.defaultTopic, "start.htm"); // cut at its zero byte
    EXPECT_EQ(system.title, QByteArray("\x83\x77\x83\x8b\x83\x76"));
    EXPECT_EQ(system.languageId, 0x411u);
}

TEST(ChmSystem, DamagedRecordsEndTheReadingSafely) {
    // A record that claims more bytes than there are: what came before it still counts.
    const ChmSystem cut =
        parseChmSystem(Version + record(3, "title") + record(2, "start.htm", 500));
    EXPECT_EQ(cut.title, "title");
    EXPECT_TRUE(cut.defaultTopic.isEmpty());
    // A language record too short for its number, a header cut in half, nothing at all.
    EXPECT_EQ(parseChmSystem(Version + record(4, "\x11\x04")).languageId, 0u);
    EXPECT_TRUE(parseChmSystem(Version + QByteArray("\x02\x00\x05", 3)).defaultTopic.isEmpty());
    EXPECT_TRUE(parseChmSystem(QByteArray("\x03", 1)).title.isEmpty());
    EXPECT_TRUE(parseChmSystem({}).contentsFile.isEmpty());
    // The largest length there is, 0xFFFF, right at the end.
    EXPECT_TRUE(parseChmSystem(Version + QByteArray("\x03\x00\xff\xff", 4)).title.isEmpty());
}

} // namespace
