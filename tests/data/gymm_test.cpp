#include "data/gymm.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonObject expected() {
    QFile file(legacyDataDir() + QStringLiteral("/expected.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray cp(const QString& text) {
    return *cp932::encode(text).bytes;
}

TEST(LoadItemList, ReadsTheLegacyFilesAndRewritesThemAsExpected) {
    TempWorkDir dir;
    dir.copyFrom(legacyDataDir());
    const QJsonObject json = expected();
    const QJsonArray items = json[QStringLiteral("items")].toArray();

    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    ASSERT_EQ(gymm.ItemCount(), items.size());
    for (int i = 1; i <= gymm.ItemCount(); ++i) {
        const QJsonObject item = items[i - 1].toObject();
        EXPECT_EQ(gymm.ItemNames(i), item[QStringLiteral("name")].toString()) << i;
        EXPECT_EQ(gymm.ItemTargets(i), item[QStringLiteral("target")].toInt()) << i;
        EXPECT_EQ(cp(gymm.ItemNames(i)).toHex(),
                  item[QStringLiteral("name_cp932_hex")].toString().toLatin1());
    }

    ASSERT_TRUE(gymm.RewriteItemList());
    EXPECT_EQ(dir.read(ItemListFileName).toHex(),
              json[QStringLiteral("items_after_rewrite_hex")].toString().toLatin1());
}

TEST(LoadItemList, WholeNumberFilesRewriteByteForByte) {
    TempWorkDir dir;
    const QByteArray file = cp(QStringLiteral("\"腕立て伏せ\",30\r\n\"a, b\",-5\r\n\"①～髙\",0\r\n"
                                              "\"abc\",32767\r\n\"abc\",-32768\r\n"));
    dir.write(ItemListFileName, file);
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    EXPECT_EQ(gymm.ItemCount(), 5);
    EXPECT_EQ(gymm.ItemNames(4), gymm.ItemNames(5)); // duplicates are two items
    ASSERT_TRUE(gymm.RewriteItemList());
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

TEST(LoadItemList, InvalidBytesInANameSurviveLoadAndRewrite) {
    TempWorkDir dir;
    const QByteArray file = QByteArray("\"a") + '\x80' + "b" + '\x81' + "\",3\r\n\"\xa0\",4\r\n";
    dir.write(ItemListFileName, file);
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    ASSERT_EQ(gymm.ItemCount(), 2);
    EXPECT_EQ(gymm.ItemTargets(1), 3);
    ASSERT_TRUE(gymm.RewriteItemList());
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

TEST(LoadItemList, ToleratesWhatOnlyHandEditingProduces) {
    TempWorkDir dir;
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList()); // no file at all
    EXPECT_EQ(gymm.ItemCount(), 0);

    dir.write(ItemListFileName, "");
    ASSERT_TRUE(gymm.LoadItemList());
    EXPECT_EQ(gymm.ItemCount(), 0);

    dir.write(ItemListFileName, "\r\n\"a\"\r\n\r\n\"b\",x\r\n\"c\",99999\r\n\"d\",-99999\r\n"
                                "\"e\",12.5\r\n\"f\",13.5\r\n\"g\",7");
    ASSERT_TRUE(gymm.LoadItemList());
    ASSERT_EQ(gymm.ItemCount(), 7);
    const std::vector<qint16> targets = {0, 0, 32767, -32768, 12, 14, 7};
    for (int i = 1; i <= 7; ++i)
        EXPECT_EQ(gymm.ItemTargets(i), targets[i - 1]) << i;
    EXPECT_EQ(gymm.ItemNames(7), u"g");
}

TEST(LoadItemList, KeepsEveryRecordBeyondTwenty) {
    TempWorkDir dir;
    QByteArray file;
    for (int i = 1; i <= 25; ++i)
        file += "\"item" + QByteArray::number(i) + "\"," + QByteArray::number(i) + "\r\n";
    dir.write(ItemListFileName, file);
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    EXPECT_EQ(gymm.ItemCount(), 25);
    ASSERT_TRUE(gymm.RewriteItemList());
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

const auto nothing = [] {};

TEST(ItemListWriters, RegisterAndDeleteKeepTheFormat) {
    TempWorkDir dir;
    GYMM gymm;
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("abc"), 30, nothing));
    EXPECT_EQ(dir.read(ItemListFileName).toHex(' '), QByteArray("22 61 62 63 22 2c 33 30 0d 0a"));
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("Ⅱ型 ダンベル"), 12.5, nothing));
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("c"), 1, nothing));
    EXPECT_EQ(dir.read(ItemListFileName),
              "\"abc\",30\r\n" + cp(QStringLiteral("\"Ⅱ型 ダンベル\",12.5\r\n")) + "\"c\",1\r\n");
    // Long and fractional targets are written in full, never in an exponent form.
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("d"), 1234567, nothing));
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("e"), 1.0625, nothing));
    EXPECT_TRUE(dir.read(ItemListFileName).endsWith("\"d\",1234567\r\n\"e\",1.0625\r\n"));
    ASSERT_TRUE(gymm.DeleteItem(5));
    ASSERT_TRUE(gymm.DeleteItem(4));

    EXPECT_EQ(gymm.ItemCount(), 3); // registered, then reloaded from the file
    EXPECT_EQ(gymm.ItemTargets(2), 12);
    ASSERT_TRUE(gymm.DeleteItem(2));
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"abc\",30\r\n\"c\",1\r\n"));
    EXPECT_EQ(gymm.ItemCount(), 2);
    EXPECT_EQ(gymm.ItemNames(2), u"c");
}

TEST(ItemListWriters, AppendEndsACutOffLastLineFirst) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1");
    GYMM gymm;
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("b"), 2, nothing));
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"a\",1\r\n\"b\",2\r\n"));
}

TEST(ItemListWriters, RegistrationStepsRunBetweenTheAppendAndTheReload) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1\r\n");
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    int ran = 0;
    ASSERT_TRUE(gymm.RegisterItem(QStringLiteral("b"), 2, [&] {
        ++ran;
        EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"a\",1\r\n\"b\",2\r\n"));
        EXPECT_EQ(gymm.ItemCount(), 1); // not reloaded yet
    }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(gymm.ItemCount(), 2);

    // A list that exists but cannot be read is never replaced by the new record alone: a
    // file too large to read stands for any read error here (root reads every mode).
    {
        QFile big(ItemListFileName);
        ASSERT_TRUE(big.open(QIODevice::ReadWrite));
        ASSERT_TRUE(big.resize(safe_file::MaxFileSize + 1));
    }
    const FileResult refused = gymm.RegisterItem(QStringLiteral("c"), 3, [&] { ++ran; });
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.fileName(), ItemListFileName);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(QFileInfo(ItemListFileName).size(), safe_file::MaxFileSize + 1);
    EXPECT_EQ(gymm.ItemCount(), 2);
}

TEST(ItemListWriters, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1\r\n");
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    FileResult result = gymm.UpdateItem(1, QStringLiteral("😀"), 2);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.fileName(), ItemListFileName);
    EXPECT_TRUE(result.reason().contains(u"😀"));
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"a\",1\r\n"));
    EXPECT_EQ(gymm.ItemNames(1), u"a"); // the table keeps what the file holds
    EXPECT_EQ(gymm.ItemTargets(1), 1);

    // A directory where the file should be makes the replacement itself fail.
    ASSERT_TRUE(QFile::remove(ItemListFileName));
    ASSERT_TRUE(QDir().mkdir(ItemListFileName));
    result = gymm.UpdateItem(1, QStringLiteral("b"), 2);
    EXPECT_FALSE(result);
    EXPECT_EQ(gymm.ItemNames(1), u"a");
    EXPECT_FALSE(result.reason().isEmpty());
    EXPECT_FALSE(gymm.RegisterItem(QStringLiteral("c"), 1, nothing));
    EXPECT_FALSE(gymm.LoadItemList());
    EXPECT_EQ(gymm.ItemCount(), 0);
}

TEST(ItemListWriters, NamesNoFileCanCarryAreWrittenBackExactlyAsRead) {
    TempWorkDir dir;
    // An unquoted name with a quote would be rewritten as "x"y" and read back as x.
    const QByteArray file = QByteArray("x\"y,5\r\n\"B.txt") + '\0' + "x\",1\r\n" +
                            cp(QStringLiteral("\"項目一覧\" ,  7\r\n")) +
                            "\"../escape\",2\r\n\"a\rb\",3\r\n\"ok\",12.5\r\n";
    dir.write(ItemListFileName, file);
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    ASSERT_EQ(gymm.ItemCount(), 6);
    EXPECT_EQ(gymm.ItemNames(1), u"x\"y");
    EXPECT_EQ(gymm.ItemNames(2), QStringLiteral("B.txt") + QChar(0) + u'x');
    EXPECT_EQ(gymm.ItemTargets(3), 7);
    ASSERT_TRUE(gymm.RewriteItemList());
    // Only the one name that can be a file name is written in the usual form.
    QByteArray expected = file;
    expected.replace("\"ok\",12.5", "\"ok\",12");
    EXPECT_EQ(dir.read(ItemListFileName), expected);
    ASSERT_TRUE(gymm.LoadItemList());
    EXPECT_EQ(gymm.ItemNames(1), u"x\"y"); // not renamed by the rewrite

    // Deleting one of them leaves the others as they were.
    ASSERT_TRUE(gymm.DeleteItem(6));
    expected.replace("\"ok\",12\r\n", "");
    EXPECT_EQ(dir.read(ItemListFileName), expected);
}

TEST(ItemListWriters, ReplacementKeepsThePermissions) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1\r\n");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(ItemListFileName, mode));
    GYMM gymm;
    ASSERT_TRUE(gymm.LoadItemList());
    ASSERT_TRUE(gymm.RewriteItemList());
    EXPECT_EQ(QFile::permissions(ItemListFileName) & 0x7077, mode & 0x7077);
    EXPECT_EQ(dir.listing(), QStringList{ItemListFileName}); // no temporary left behind
}

} // namespace
