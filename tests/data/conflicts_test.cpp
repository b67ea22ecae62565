#include "data/conflicts.h"

#include "base/cp932.h"
#include "data/data_dir.h"
#include "data/kept_years.h"
#include "support/work_dir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// A record of 2026 at hh:00:00 on the day, with the count.
QByteArray record(int month, int day, int hour, int count) {
    return cp(QStringLiteral("\"%1月%2日\",\"%3時00分00秒\",%4\r\n")
                  .arg(month, 2, 10, QLatin1Char('0'))
                  .arg(day, 2, 10, QLatin1Char('0'))
                  .arg(hour, 2, 10, QLatin1Char('0'))
                  .arg(count));
}

const QDateTime Evening(QDate(2026, 12, 7), QTime(21, 0));

TEST(Conflicts, TheToolsShapesAreRecognisedAndNothingThatMerelyLooksAlike) {
    const QList<QPair<QString, conflicts::Tool>> copies = {
        {QStringLiteral("腹筋.sync-conflict-20261207-081500-ABCDEFG.txt"),
         conflicts::Tool::Syncthing},
        {QStringLiteral("腹筋.sync-conflict-20261207-081500.txt"), conflicts::Tool::Syncthing},
        {QStringLiteral("腹筋 (conflicted copy 2026-12-07 081500).txt"),
         conflicts::Tool::Nextcloud},
        {QStringLiteral("腹筋 (conflicted copy taro 2026-12-07 081500).txt"),
         conflicts::Tool::Nextcloud},
        {QStringLiteral("腹筋 (desktop's conflicted copy 2026-12-07).txt"),
         conflicts::Tool::Dropbox},
        {QStringLiteral("腹筋 (desktop's conflicted copy 2026-12-07 (1)).txt"),
         conflicts::Tool::Dropbox},
        {QStringLiteral("腹筋 (desktop の競合コピー 2026-12-07).txt"), conflicts::Tool::Dropbox},
    };
    for (const auto& [name, tool] : copies) {
        const std::optional<conflicts::Copy> copy = conflicts::recognise(name);
        ASSERT_TRUE(copy) << name.toStdString();
        EXPECT_EQ(copy->original, u"腹筋.txt") << name.toStdString();
        EXPECT_EQ(copy->tool, tool) << name.toStdString();
    }
    EXPECT_EQ(
        conflicts::recognise(QStringLiteral("項目一覧.sync-conflict-20261207-081500-A2B3C4D.txt"))
            ->original,
        u"項目一覧.txt");
    EXPECT_EQ(conflicts::recognise(QStringLiteral("a.b.sync-conflict-20261207-081500-ABCDEFG.txt"))
                  ->original,
              u"a.b.txt");
    EXPECT_EQ(
        conflicts::recognise(QStringLiteral("記録の年 (conflicted copy 2026-12-07 081500).yarukin"))
            ->original,
        kept_years::FileName);
    for (const char16_t* alike :
         {u"腹筋.txt", u"腹筋.sync-conflict-2026127-081500-ABCDEFG.txt",
          u"腹筋.sync-conflict-20261207-081500-abcdefg.txt",
          u"腹筋.sync-conflict-20261207-081500-ABCDEFG.csv",
          u"腹筋.sync-conflict-20261207-081500-ABCDEFG.yarukin",
          u".sync-conflict-20261207-081500-ABCDEFG.txt", u"腹筋 (conflicted copy 2026-12-07).txt",
          u"腹筋 (copy 2026-12-07 081500).txt", u"腹筋 (desktop's copy 2026-12-07).txt",
          u"腹筋 (backup 2026-12-07).txt", u"腹筋 (desktop's conflicted copy 2026-12-07).txt.bak"})
        EXPECT_FALSE(conflicts::recognise(QString::fromUtf16(alike)))
            << QString::fromUtf16(alike).toStdString();
}

TEST(Conflicts, TwoHistoriesMergeIntoOneInTimeOrderWithEveryRecordOnce) {
    // Both hold 1 Dec; ours goes on with 3 Dec, theirs with 2 and 4 Dec and a second record
    // of 1 Dec alike to the first (two sets of the same count in the same second: two
    // records). A record that cannot be dated stays after the one it followed.
    const QByteArray common = record(12, 1, 8, 10);
    const QByteArray ours = common + record(12, 3, 8, 30);
    const QByteArray theirs =
        common + common + record(12, 2, 8, 20) + "\"x\",\"y\",hand\r\n" + record(12, 4, 8, 40);
    int added = 0;
    const QByteArray merged = conflicts::mergeHistories(ours, Evening, theirs, Evening, &added);
    EXPECT_EQ(added, 4);
    EXPECT_EQ(merged, common + common + record(12, 2, 8, 20) + "\"x\",\"y\",hand\r\n" +
                          record(12, 3, 8, 30) + record(12, 4, 8, 40));
    // Merged the other way round, or again, the same records come out; nothing is added twice.
    const QByteArray back = conflicts::mergeHistories(theirs, Evening, ours, Evening, &added);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(back.size(), merged.size());
    EXPECT_EQ(conflicts::mergeHistories(merged, Evening, theirs, Evening, &added), merged);
    EXPECT_EQ(added, 0);
    // Sets of the same second: ours first, theirs after them.
    EXPECT_EQ(conflicts::mergeHistories(record(12, 5, 8, 5), Evening, record(12, 5, 8, 7), Evening,
                                        &added),
              record(12, 5, 8, 5) + record(12, 5, 8, 7));
    // Across a turn of the year, each file's own year rule places the records.
    const QDateTime january(QDate(2027, 1, 2), QTime(9, 0));
    const QByteArray december = record(12, 31, 8, 1);
    EXPECT_EQ(conflicts::mergeHistories(cp(QStringLiteral("\"01月01日\",\"08時00分00秒\",2\r\n")),
                                        january, december, Evening, &added),
              december + cp(QStringLiteral("\"01月01日\",\"08時00分00秒\",2\r\n")));
    // ...and the other way round: their new year is dated by their file, not by ours.
    const QByteArray newYear = cp(QStringLiteral("\"01月01日\",\"10時00分00秒\",2\r\n"));
    EXPECT_EQ(conflicts::mergeHistories(december, QDateTime(QDate(2026, 12, 31), QTime(9, 0)),
                                        newYear, january, &added),
              december + newYear);
}

TEST(Conflicts, CopiesAreMergedThenMovedAsideAndTheUserIsToldWhat) {
    TempWorkDir dir;
    // Nineteen items, one of them named as a conflict copy would be.
    const QString registered = QStringLiteral("item1 (conflicted copy 2026-12-07 081500)");
    QByteArray list = cp(u'"' + registered + QStringLiteral("\",1\r\n"));
    for (int i = 2; i <= 18; ++i)
        list += "\"item" + QByteArray::number(i) + "\"," + QByteArray::number(i) + "\r\n";
    dir.write(ItemListFileName, list + cp(QStringLiteral("\"腹筋\",30")), Evening); // no line end
    dir.write(QStringLiteral("腹筋.txt"), record(12, 1, 8, 10) + record(12, 3, 8, 30), Evening);
    const QString historyCopy = QStringLiteral("腹筋 (conflicted copy 2026-12-07 081500).txt");
    dir.write(historyCopy, record(12, 1, 8, 10) + record(12, 2, 8, 20), Evening);
    // The list's copy: 腹筋 with another target, and three items the list lacks (one fits).
    const QString listCopy = QStringLiteral("項目一覧.sync-conflict-20261207-081500-ABCDEFG.txt");
    dir.write(listCopy,
              cp(QStringLiteral("\"腹筋\",35\r\n\"懸垂\",5\r\n\"背筋\",20\r\n\"側筋\",9\r\n")),
              Evening);
    // Left alone: a registered item of a copy's name, and a copy of a name no file can carry.
    dir.write(QStringLiteral("a:b.sync-conflict-20261207-081500-ABCDEFG.txt"), "x");
    dir.write(registered + QStringLiteral(".txt"), "mine");
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);

    const DataDir::Merged merged = data.mergeConflictCopies();
    EXPECT_TRUE(merged.done);
    EXPECT_TRUE(merged.warnings.isEmpty());
    ASSERT_EQ(merged.histories.size(), 1);
    EXPECT_EQ(merged.histories[0].copy, historyCopy);
    EXPECT_EQ(merged.histories[0].original, u"腹筋.txt");
    EXPECT_EQ(merged.histories[0].added, 1);
    EXPECT_EQ(dir.read(QStringLiteral("腹筋.txt")),
              record(12, 1, 8, 10) + record(12, 2, 8, 20) + record(12, 3, 8, 30));
    EXPECT_EQ(merged.listCopy, listCopy);
    EXPECT_EQ(merged.itemsAdded, QStringList{QStringLiteral("懸垂")});
    EXPECT_EQ(merged.itemsLeftOut, (QStringList{QStringLiteral("背筋"), QStringLiteral("側筋")}));
    ASSERT_EQ(merged.targetsDiffer.size(), 1);
    EXPECT_EQ(merged.targetsDiffer[0].before, 30);
    EXPECT_EQ(merged.targetsDiffer[0].after, 35);
    EXPECT_EQ(data.gymm().ItemCount(), 20);
    EXPECT_TRUE(
        dir.read(ItemListFileName).endsWith(cp(QStringLiteral("\"腹筋\",30\r\n\"懸垂\",5\r\n"))));
    // The copies are kept, aside; what merely looked alike stays where it was.
    const QString aside = DataDir::MergedCopiesFolder + u'/';
    EXPECT_TRUE(dir.exists(aside + historyCopy));
    EXPECT_TRUE(dir.exists(aside + listCopy));
    EXPECT_FALSE(dir.exists(historyCopy));
    EXPECT_EQ(dir.read(registered + QStringLiteral(".txt")), "mine");
    EXPECT_TRUE(dir.exists(QStringLiteral("a:b.sync-conflict-20261207-081500-ABCDEFG.txt")));

    // A second copy of the same name goes beside the first; nothing is merged twice.
    dir.write(historyCopy, record(12, 2, 8, 20), Evening);
    const DataDir::Merged again = data.mergeConflictCopies();
    ASSERT_EQ(again.histories.size(), 1);
    EXPECT_EQ(again.histories[0].added, 0);
    EXPECT_TRUE(
        dir.exists(aside + QStringLiteral("腹筋 (conflicted copy 2026-12-07 081500) (2).txt")));
    EXPECT_FALSE(data.mergeConflictCopies().done);

    // The copy of a history that is gone becomes the history.
    dir.write(QStringLiteral("背筋 (conflicted copy 2026-12-07 081500).txt"), record(12, 5, 8, 7),
              Evening);
    const DataDir::Merged lone = data.mergeConflictCopies();
    ASSERT_EQ(lone.histories.size(), 1);
    EXPECT_EQ(lone.histories[0].added, 1);
    EXPECT_EQ(dir.read(QStringLiteral("背筋.txt")), record(12, 5, 8, 7));

    // A copy of the list while the list itself was changed elsewhere: the list as the disk
    // holds it takes the copy's item.
    const QByteArray changedList =
        cp(u'"' + registered + QStringLiteral("\",1\r\n\"腹筋\",30\r\n"));
    dir.write(ItemListFileName, changedList, Evening);
    dir.write(QStringLiteral("項目一覧 (conflicted copy 2026-12-07 091500).txt"),
              cp(QStringLiteral("\"懸垂\",5\r\n")), Evening);
    const DataDir::Merged changed = data.mergeConflictCopies();
    EXPECT_TRUE(changed.listChanged);
    EXPECT_EQ(changed.itemsAdded, QStringList{QStringLiteral("懸垂")});
    EXPECT_EQ(dir.read(ItemListFileName), changedList + cp(QStringLiteral("\"懸垂\",5\r\n")));

    // A copy that cannot be read, and a place for the copies that is no folder, are told; the
    // copies stay where they are.
    const QString folderCopy = QStringLiteral("腹筋.sync-conflict-20261207-090000-ABCDEFG.txt");
    const QString listFolderCopy =
        QStringLiteral("項目一覧.sync-conflict-20261207-090000-ABCDEFG.txt");
    ASSERT_TRUE(QDir().mkdir(folderCopy));
    ASSERT_TRUE(QDir().mkdir(listFolderCopy));
    ASSERT_TRUE(QDir().rename(DataDir::MergedCopiesFolder, QStringLiteral("kept")));
    dir.write(DataDir::MergedCopiesFolder, "a file");
    dir.write(historyCopy, record(12, 4, 8, 40), Evening);
    const DataDir::Merged failed = data.mergeConflictCopies();
    EXPECT_FALSE(failed.done);
    ASSERT_EQ(failed.warnings.size(), 3);
    EXPECT_EQ(failed.warnings[0].action, FileProblem::Action::Write);
    EXPECT_EQ(failed.warnings[0].fileName, DataDir::MergedCopiesFolder);
    EXPECT_EQ(failed.warnings[0].reason, u"フォルダーではありません");
    EXPECT_EQ(failed.warnings[1].action, FileProblem::Action::Read);
    EXPECT_EQ(failed.warnings[1].fileName, folderCopy);
    EXPECT_EQ(failed.warnings[1].reason, u"通常のファイルではありません");
    EXPECT_EQ(failed.warnings[2].fileName, listFolderCopy);
    EXPECT_EQ(failed.warnings[2].reason, u"通常のファイルではありません");
    EXPECT_TRUE(dir.exists(historyCopy));
    EXPECT_TRUE(dir.exists(folderCopy));
}

} // namespace
