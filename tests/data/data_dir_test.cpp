#include "data/data_dir.h"

#include "data/safe_file.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QJsonObject expected() {
    QFile file(legacyDataDir() + QStringLiteral("/expected.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Writes the whole item list from the table, as an update that changes nothing does.
bool rewrite(DataDir& data) {
    return data.updateItem(1, data.gymm().ItemNames(1), data.gymm().ItemTargets(1)).done;
}

const QDateTime When(QDate(2026, 12, 5), QTime(18, 36, 11));

TEST(LoadItemList, ReadsTheLegacyFilesAndRewritesThemAsExpected) {
    TempWorkDir dir;
    dir.copyFrom(legacyDataDir());
    const QJsonObject json = expected();
    const QJsonArray items = json[QStringLiteral("items")].toArray();

    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    ASSERT_EQ(gymm.ItemCount(), items.size());
    for (int i = 1; i <= gymm.ItemCount(); ++i) {
        const QJsonObject item = items[i - 1].toObject();
        EXPECT_EQ(gymm.ItemNames(i), item[QStringLiteral("name")].toString()) << i;
        EXPECT_EQ(gymm.ItemTargets(i), item[QStringLiteral("target")].toInt()) << i;
        EXPECT_EQ(cp(gymm.ItemNames(i)).toHex(),
                  item[QStringLiteral("name_cp932_hex")].toString().toLatin1());
    }

    ASSERT_TRUE(rewrite(data));
    EXPECT_EQ(dir.read(ItemListFileName).toHex(),
              json[QStringLiteral("items_after_rewrite_hex")].toString().toLatin1());
}

TEST(LoadItemList, WholeNumberFilesRewriteByteForByte) {
    TempWorkDir dir;
    const QByteArray file = cp(QStringLiteral("\"腕立て伏せ\",30\r\n\"a, b\",-5\r\n\"①～髙\",0\r\n"
                                              "\"abc\",32767\r\n\"abc\",-32768\r\n"));
    dir.write(ItemListFileName, file);
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    EXPECT_EQ(gymm.ItemCount(), 5);
    EXPECT_EQ(gymm.ItemNames(4), gymm.ItemNames(5)); // duplicates are two items
    ASSERT_TRUE(rewrite(data));
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

TEST(LoadItemList, InvalidBytesInANameSurviveLoadAndRewrite) {
    TempWorkDir dir;
    const QByteArray file = QByteArray("\"a") + '\x80' + "b" + '\x81' + "\",3\r\n\"\xa0\",4\r\n";
    dir.write(ItemListFileName, file);
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    ASSERT_EQ(gymm.ItemCount(), 2);
    EXPECT_EQ(gymm.ItemTargets(1), 3);
    ASSERT_TRUE(rewrite(data));
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

TEST(LoadItemList, ToleratesWhatOnlyHandEditingProduces) {
    TempWorkDir dir;
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done); // no file at all
    EXPECT_EQ(gymm.ItemCount(), 0);

    dir.write(ItemListFileName, "");
    ASSERT_TRUE(data.LoadItemList().done);
    EXPECT_EQ(gymm.ItemCount(), 0);

    dir.write(ItemListFileName, "\r\n\"a\"\r\n\r\n\"b\",x\r\n\"c\",99999\r\n\"d\",-99999\r\n"
                                "\"e\",12.5\r\n\"f\",13.5\r\n\"g\",7");
    ASSERT_TRUE(data.LoadItemList().done);
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
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    EXPECT_EQ(gymm.ItemCount(), 25);
    ASSERT_TRUE(rewrite(data));
    EXPECT_EQ(dir.read(ItemListFileName), file);
}

TEST(ItemListWriters, RegisterAndDeleteKeepTheFormat) {
    TempWorkDir dir;
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.registerItem(QStringLiteral("abc"), 30).done);
    EXPECT_EQ(dir.read(ItemListFileName).toHex(' '), QByteArray("22 61 62 63 22 2c 33 30 0d 0a"));
    ASSERT_TRUE(data.registerItem(QStringLiteral("Ⅱ型 ダンベル"), 12.5).done);
    ASSERT_TRUE(data.registerItem(QStringLiteral("c"), 1).done);
    EXPECT_EQ(dir.read(ItemListFileName),
              "\"abc\",30\r\n" + cp(QStringLiteral("\"Ⅱ型 ダンベル\",12.5\r\n")) + "\"c\",1\r\n");
    // Long and fractional targets are written in full, never in an exponent form.
    ASSERT_TRUE(data.registerItem(QStringLiteral("d"), 1234567).done);
    ASSERT_TRUE(data.registerItem(QStringLiteral("e"), 1.0625).done);
    EXPECT_TRUE(dir.read(ItemListFileName).endsWith("\"d\",1234567\r\n\"e\",1.0625\r\n"));
    ASSERT_TRUE(data.deleteItem(5).done);
    ASSERT_TRUE(data.deleteItem(4).done);

    EXPECT_EQ(gymm.ItemCount(), 3); // registered, then reloaded from the file
    EXPECT_EQ(gymm.ItemTargets(2), 12);
    ASSERT_TRUE(data.deleteItem(2).done);
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"abc\",30\r\n\"c\",1\r\n"));
    EXPECT_EQ(gymm.ItemCount(), 2);
    EXPECT_EQ(gymm.ItemNames(2), u"c");
    // Each registration made its history file; each deletion took it away again.
    EXPECT_EQ(dir.listing(),
              (QStringList{QStringLiteral("abc.txt"), QStringLiteral("c.txt"), ItemListFileName}));
}

TEST(ItemListWriters, RegistrationAppendsCreatesAndReadsBack) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1"); // a cut-off last line is ended first
    dir.write(QStringLiteral("b.txt"), "\"12月05日\",\"18時36分10秒\",5\r\n");
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    // A wave dash is written as the byte code page 932 has for it, which reads back as the
    // full-width tilde: the name the program goes on with is the one read back.
    const DataDir::Registration registered =
        data.registerItem(QStringLiteral("スクワット\u301C深め"), 2);
    ASSERT_TRUE(registered.done);
    EXPECT_TRUE(registered.warnings.isEmpty());
    EXPECT_FALSE(registered.readBack);
    EXPECT_EQ(registered.name, u"スクワット～深め");
    EXPECT_EQ(dir.read(ItemListFileName),
              "\"a\",1\r\n" + cp(QStringLiteral("\"スクワット～深め\",2\r\n")));
    EXPECT_EQ(dir.read(QStringLiteral("スクワット～深め.txt")), QByteArray());
    EXPECT_EQ(data.gymm().ItemCount(), 2);
    // An existing history keeps its records.
    ASSERT_TRUE(data.registerItem(QStringLiteral("b"), 3).done);
    EXPECT_EQ(dir.read(QStringLiteral("b.txt")), "\"12月05日\",\"18時36分10秒\",5\r\n");

    // A history file that cannot be made is warned of; the item is registered all the same.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("d.txt")));
    const DataDir::Registration withoutFile = data.registerItem(QStringLiteral("d"), 4);
    EXPECT_TRUE(withoutFile.done);
    ASSERT_EQ(withoutFile.warnings.size(), 1);
    EXPECT_EQ(withoutFile.warnings[0].fileName, u"d.txt");
    EXPECT_EQ(data.gymm().ItemCount(), 4);

    // A list that exists but cannot be read is never replaced by the new record alone: a
    // file too large to read stands for any read error here (root reads every mode).
    {
        QFile big(ItemListFileName);
        ASSERT_TRUE(big.open(QIODevice::ReadWrite));
        ASSERT_TRUE(big.resize(safe_file::MaxFileSize + 1));
    }
    const DataDir::Registration refused = data.registerItem(QStringLiteral("c"), 3);
    EXPECT_FALSE(refused.done);
    ASSERT_EQ(refused.warnings.size(), 1);
    EXPECT_EQ(refused.warnings[0].action, FileProblem::Action::Write);
    EXPECT_EQ(refused.warnings[0].fileName, ItemListFileName);
    EXPECT_FALSE(dir.exists(QStringLiteral("c.txt")));
    EXPECT_EQ(QFileInfo(ItemListFileName).size(), safe_file::MaxFileSize + 1);
    EXPECT_EQ(data.gymm().ItemCount(), 4);
}

TEST(ItemListWriters, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1\r\n");
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    Outcome result = data.updateItem(1, QStringLiteral("😀"), 2);
    EXPECT_FALSE(result.done);
    ASSERT_EQ(result.warnings.size(), 1);
    EXPECT_EQ(result.warnings[0].fileName, ItemListFileName);
    EXPECT_TRUE(result.warnings[0].reason.contains(u"😀"));
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray("\"a\",1\r\n"));
    EXPECT_EQ(gymm.ItemNames(1), u"a"); // the table keeps what the file holds
    EXPECT_EQ(gymm.ItemTargets(1), 1);
    const DataDir::Registration unregistered = data.registerItem(QStringLiteral("😀"), 2);
    EXPECT_FALSE(unregistered.done);
    ASSERT_EQ(unregistered.warnings.size(), 1);
    EXPECT_EQ(unregistered.warnings[0].reason, u"項目名「😀」に保存できない文字が含まれています");
    EXPECT_EQ(dir.listing(), QStringList{ItemListFileName});

    // A directory where the file should be makes the replacement itself fail.
    ASSERT_TRUE(QFile::remove(ItemListFileName));
    ASSERT_TRUE(QDir().mkdir(ItemListFileName));
    result = data.updateItem(1, QStringLiteral("b"), 2);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(gymm.ItemNames(1), u"a");
    ASSERT_EQ(result.warnings.size(), 1);
    EXPECT_EQ(result.warnings[0].reason, u"通常のファイルではありません");
    EXPECT_FALSE(data.deleteItem(1).done);
    EXPECT_FALSE(data.clearItem(1).done);
    EXPECT_FALSE(data.registerItem(QStringLiteral("c"), 1).done);
    EXPECT_FALSE(dir.exists(QStringLiteral("a.txt")));
    EXPECT_FALSE(dir.exists(QStringLiteral("c.txt")));
    const Outcome loaded = data.LoadItemList();
    EXPECT_FALSE(loaded.done);
    ASSERT_EQ(loaded.warnings.size(), 1);
    EXPECT_EQ(loaded.warnings[0].action, FileProblem::Action::Read);
    EXPECT_EQ(gymm.ItemCount(), 0);
}

TEST(ItemListWriters, NamesNoFileCanCarryAreWrittenBackExactlyAsRead) {
    TempWorkDir dir;
    // An unquoted name with a quote would be rewritten as "x"y" and read back as x.
    const QByteArray file = QByteArray("x\"y,5\r\n\"B.txt") + '\0' + "x\",1\r\n" +
                            cp(QStringLiteral("\"項目一覧\" ,  7\r\n")) +
                            "\"../escape\",2\r\n\"a\rb\",3\r\n\"ok\",12.5\r\n";
    dir.write(ItemListFileName, file);
    DataDir data = dir.open();
    const GYMM& gymm = data.gymm();
    ASSERT_TRUE(data.LoadItemList().done);
    ASSERT_EQ(gymm.ItemCount(), 6);
    EXPECT_EQ(gymm.ItemNames(1), u"x\"y");
    EXPECT_EQ(gymm.ItemNames(2), QStringLiteral("B.txt") + QChar(0) + u'x');
    EXPECT_EQ(gymm.ItemTargets(3), 7);
    // None of them can be recorded, cleared or asked about; each refusal names the item.
    for (int p = 1; p <= 5; ++p) {
        const DataDir::Recorded recorded = data.record(p, 1, When);
        EXPECT_FALSE(recorded.done) << p;
        EXPECT_TRUE(recorded.movesOn) << p;
        ASSERT_EQ(recorded.warnings.size(), 1) << p;
        EXPECT_EQ(recorded.warnings[0].action, FileProblem::Action::UnusableName);
        EXPECT_EQ(recorded.warnings[0].fileName, gymm.ItemNames(p));
        EXPECT_FALSE(data.clearItem(p).done) << p;
        EXPECT_TRUE(data.refusal(p)) << p;
    }
    EXPECT_EQ(dir.read(ItemListFileName), file);
    EXPECT_FALSE(data.refusal(6));
    // The next record rewrites the list: only the one name that can be a file name is
    // written in the usual form.
    ASSERT_TRUE(data.record(6, 1, When).done);
    QByteArray expected = file;
    expected.replace("\"ok\",12.5", "\"ok\",12");
    EXPECT_EQ(dir.read(ItemListFileName), expected);
    ASSERT_TRUE(data.LoadItemList().done);
    EXPECT_EQ(gymm.ItemNames(1), u"x\"y"); // not renamed by the rewrite

    // Deleting one of them leaves the others as they were, and no file but the list is touched.
    const QStringList before = dir.listing();
    const Outcome deleted = data.deleteItem(4);
    ASSERT_TRUE(deleted.done);
    ASSERT_EQ(deleted.warnings.size(), 1);
    EXPECT_EQ(deleted.warnings[0].action, FileProblem::Action::LeftAlone);
    EXPECT_EQ(deleted.warnings[0].fileName, u"../escape");
    expected.replace("\"../escape\",2\r\n", "");
    EXPECT_EQ(dir.read(ItemListFileName), expected);
    EXPECT_EQ(dir.listing(), before);
}

TEST(ItemListWriters, NextAndClearRewriteTheListOnlyWhenItsBytesWouldChange) {
    TempWorkDir dir;
    const QByteArray list = "\"a\",1\r\n\"b\",2\r\n";
    dir.write(ItemListFileName, list);
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    const auto inode = [] {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(ItemListFileName).constData(), &info), 0);
        return info.st_ino;
    };
    const auto before = inode();
    ASSERT_TRUE(data.record(1, 30, When).done);
    ASSERT_TRUE(data.clearItem(2).done);
    EXPECT_EQ(inode(), before) << "an unchanged list was replaced";
    EXPECT_EQ(dir.read(ItemListFileName), list);
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")),
              cp(QStringLiteral("\"12月05日\",\"18時36分11秒\",30\r\n")));
    EXPECT_EQ(dir.read(QStringLiteral("b.txt")), QByteArray());

    // A list that reads otherwise than the table writes it is rewritten: a fraction, a list
    // changed by hand, a missing list.
    dir.write(ItemListFileName, "\"a\",1.4\r\n\"b\",2\r\n");
    ASSERT_TRUE(data.record(2, 5, When).done);
    EXPECT_EQ(dir.read(ItemListFileName), list);
    ASSERT_TRUE(QFile::remove(ItemListFileName));
    ASSERT_TRUE(data.clearItem(1).done);
    EXPECT_EQ(dir.read(ItemListFileName), list);

    // In a directory the user may not write to, Next records into a writable history file
    // without a warning, and clearing empties it in place.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const DataDir::Recorded recorded = data.record(1, 7, When);
    EXPECT_TRUE(recorded.done);
    EXPECT_TRUE(recorded.warnings.isEmpty());
    EXPECT_TRUE(data.clearItem(1).done);
    // Only root could write there anyway; a change it must make fails as any user's would.
    if (::geteuid() != 0) {
        const Outcome refused = data.updateItem(1, QStringLiteral("a"), 9);
        EXPECT_FALSE(refused.done);
    }
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner));
    EXPECT_EQ(dir.read(ItemListFileName), list);
}

TEST(ItemListWriters, DeletionRemovesTheHistoryOnlyWhenNoItemUsesItAnyMore) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"A\",1\r\n\"B\",2\r\n\"A\",3\r\n\"a\",4\r\n");
    dir.write(QStringLiteral("A.txt"), "x\r\n");
    dir.write(QStringLiteral("a.txt"), "y\r\n");
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    ASSERT_TRUE(data.deleteItem(1).done);
    EXPECT_TRUE(dir.exists(QStringLiteral("A.txt"))); // the other A still uses it
    const Outcome last = data.deleteItem(2);
    ASSERT_TRUE(last.done);
    EXPECT_TRUE(last.warnings.isEmpty());
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt"))); // "a" is another name
    // A missing history is no failure.
    const Outcome missing = data.deleteItem(1);
    EXPECT_TRUE(missing.done);
    EXPECT_TRUE(missing.warnings.isEmpty());
    EXPECT_EQ(dir.read(ItemListFileName), "\"a\",4\r\n");
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), "y\r\n");
    ASSERT_TRUE(data.deleteItem(1).done);
    EXPECT_FALSE(dir.exists(QStringLiteral("a.txt")));
    EXPECT_EQ(dir.read(ItemListFileName), QByteArray());
    EXPECT_EQ(data.gymm().ItemCount(), 0);
}

TEST(ItemListWriters, ReplacementKeepsThePermissions) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"a\",1\r\n");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(ItemListFileName, mode));
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    ASSERT_TRUE(data.updateItem(1, QStringLiteral("a"), 2).done);
    EXPECT_EQ(QFile::permissions(ItemListFileName) & 0x7077, mode & 0x7077);
    EXPECT_EQ(dir.listing(), QStringList{ItemListFileName}); // no temporary left behind
}

TEST(ChangedOnTheDisk, AListAnotherHandChangedIsReadAgainNeverOverwritten) {
    TempWorkDir dir;
    dir.write(ItemListFileName, "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n");
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    const QByteArray theirs = "\"A\",1\r\n\"B\",5\r\n\"D\",4\r\n\"D\",4\r\n";

    // Next keeps its record, writes no list, and says how the list changed.
    dir.bringIn(ItemListFileName, theirs);
    const DataDir::Recorded recorded = data.record(1, 9, When);
    EXPECT_TRUE(recorded.done);
    EXPECT_TRUE(recorded.warnings.isEmpty());
    ASSERT_TRUE(recorded.listChanged);
    EXPECT_EQ(recorded.listChanged->then, ListChange::Then::Recorded);
    EXPECT_EQ(recorded.listChanged->added, (QStringList{QStringLiteral("D"), QStringLiteral("D")}));
    EXPECT_EQ(recorded.listChanged->removed, QStringList{QStringLiteral("C")});
    ASSERT_EQ(recorded.listChanged->targets.size(), 1);
    EXPECT_EQ(recorded.listChanged->targets[0].name, u"B");
    EXPECT_EQ(recorded.listChanged->targets[0].before, 2);
    EXPECT_EQ(recorded.listChanged->targets[0].after, 5);
    EXPECT_EQ(dir.read(ItemListFileName), theirs);
    EXPECT_EQ(data.gymm().ItemCount(), 4);
    EXPECT_EQ(dir.read(QStringLiteral("A.txt")),
              cp(QStringLiteral("\"12月05日\",\"18時36分11秒\",9\r\n")));

    // Every change of the list waits for another try on the new list; nothing is written.
    const QByteArray again = "\"A\",1\r\n\"E\",6\r\n";
    const std::function<Outcome()> changes[] = {
        [&] { return data.updateItem(1, QStringLiteral("A"), 7); },
        [&] { return data.deleteItem(1); },
        [&] { return data.clearItem(1); },
        [&] { return Outcome(data.registerItem(QStringLiteral("F"), 1)); },
    };
    for (const auto& change : changes) {
        dir.bringIn(ItemListFileName, again);
        dir.bringIn(QStringLiteral("A.txt"), "kept\r\n");
        const QStringList before = dir.listing();
        const Outcome outcome = change();
        EXPECT_FALSE(outcome.done);
        ASSERT_TRUE(outcome.listChanged);
        EXPECT_EQ(outcome.listChanged->then, ListChange::Then::TryAgain);
        EXPECT_EQ(dir.read(ItemListFileName), again);
        EXPECT_EQ(dir.read(QStringLiteral("A.txt")), "kept\r\n");
        EXPECT_EQ(dir.listing(), before);
        EXPECT_EQ(data.gymm().ItemNames(2), u"E");
        // The next try, on the list as it is now, goes through.
        EXPECT_TRUE(change().done);
        ASSERT_TRUE(data.LoadItemList().done);
        dir.bringIn(ItemListFileName, "\"A\",1\r\n");
        ASSERT_TRUE(data.LoadItemList().done);
    }

    // A list gone missing is written again from the table, registration included: an item
    // registered then is not the only one left.
    ASSERT_TRUE(QFile::remove(ItemListFileName));
    ASSERT_TRUE(data.registerItem(QStringLiteral("G"), 2).done);
    EXPECT_EQ(dir.read(ItemListFileName), "\"A\",1\r\n\"G\",2\r\n");
    ASSERT_TRUE(data.deleteItem(2).done);

    // The same table written otherwise (a fraction rounded elsewhere) is no change to tell.
    dir.bringIn(ItemListFileName, "\"A\",1.2\r\n");
    const DataDir::Recorded same = data.record(1, 1, When);
    EXPECT_FALSE(same.listChanged);
    EXPECT_EQ(dir.read(ItemListFileName), "\"A\",1\r\n");
    // A target changed elsewhere is a change of the list.
    dir.bringIn(ItemListFileName, "\"A\",3\r\n");
    const DataDir::Recorded target = data.record(1, 1, When);
    ASSERT_TRUE(target.listChanged);
    ASSERT_EQ(target.listChanged->targets.size(), 1);
    EXPECT_EQ(target.listChanged->targets[0].after, 3);
    EXPECT_EQ(dir.read(ItemListFileName), "\"A\",3\r\n");
    // A name no file can carry is written back as read, so a change of its line alone is
    // one to keep too.
    dir.bringIn(ItemListFileName, "\"A\",3\r\n\"a|b\",10\r\n");
    ASSERT_TRUE(data.record(1, 1, When).listChanged);
    dir.bringIn(ItemListFileName, "\"A\",3\r\n\"a|b\",10,extra\r\n");
    ASSERT_TRUE(data.record(1, 1, When).done);
    ASSERT_TRUE(data.record(1, 1, When).done);
    EXPECT_EQ(dir.read(ItemListFileName), "\"A\",3\r\n\"a|b\",10,extra\r\n");
}

} // namespace
