// Every file step of every operation, failed in turn with the real system calls: the preloaded
// fault library makes the N-th call inside the data directory fail (ENOSPC, EIO) or write
// short, for N = 1, 2, 3, ... until the operation no longer reaches N. After each run the item
// list is the old file or the whole new one, every history holds whole records and every
// record reported as recorded, a warning was shown exactly when a call failed, the table and
// the lists agree with the disk, and nothing else lies in the directory.
#include "base/cp932.h"
#include "data/gymm.h"
#include "faults/fault_shim.h"
#include "support/app_fixture.h"
#include "training/frmmain.h"
#include "widgets/picture_button.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <functional>

namespace {

const QString ItemList = QStringLiteral("項目一覧.txt");
const QStringList Warnings = {QStringLiteral("書き込みエラー"), QStringLiteral("読み込みエラー")};

struct Mode {
    int code;
    const char* name;
};
constexpr Mode Modes[] = {{FAULT_ENOSPC, "ENOSPC"},
                          {FAULT_EIO, "EIO"},
                          {FAULT_SHORT_WRITE, "short"},
                          {FAULT_READ, "read"}};

// What an operation is expected to leave when it did its work.
struct Outcome {
    QByteArray itemList;                // the whole new item list
    QHash<QString, QByteArray> changed; // history files and their new bytes (null: removed)
    QString done;                       // the title of the box that says it is done, if any
    // Next: its history holds the record exactly when the workout moved on.
    bool recordsCount = false;
};

// Counts of one operation's runs, for the closing figures.
struct Tally {
    int runs = 0;
    int faults = 0;
    int warnings = 0;
    int broken = 0;
};

class FaultInjection : public AppTest {
protected:
    void SetUp() override {
        shim_ = fault_shim::api();
        if (!shim_)
            GTEST_SKIP() << "the fault library is not preloaded (LD_PRELOAD=libfault_shim.so)";
        files_ = [this] { threeItems(); };
    }

    void threeItems() {
        writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                    {QStringLiteral("B"), QStringLiteral("2")},
                    {QStringLiteral("C"), QStringLiteral("3")}});
        writeHistory(QStringLiteral("A"), {QStringLiteral("5")});
        writeHistory(QStringLiteral("B"), {QStringLiteral("6"), QStringLiteral("7")});
        dir.write(QStringLiteral("C.txt"),
                  cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",8")));
    }
    void toSettings() {
        if (training()) {
            find<PictureButton>(QStringLiteral("cmdCut"))->click();
            settle();
        }
        dialogs.clear();
    }
    void select(int row) { find<QListWidget>(QStringLiteral("lstKoumoku"))->setCurrentRow(row); }
    void press(const char* name) { find<PictureButton>(QString::fromLatin1(name))->click(); }

    static bool wholeRecords(const QByteArray& bytes) {
        // A last record may lack its line end (as C's does here), but no record is cut short.
        static const QString one =
            QStringLiteral("\"\\d\\d月\\d\\d日\",\"\\d\\d時\\d\\d分\\d\\d秒\",-?\\d+(\\.\\d+)?");
        static const QRegularExpression records(QStringLiteral("^(%1\\r\\n)*(%1)?$").arg(one));
        return records.match(cp932::decode(bytes)).hasMatch();
    }
    // The number of failed checks so far in this test.
    static int failedChecks() {
        const ::testing::TestResult* result =
            ::testing::UnitTest::GetInstance()->current_test_info()->result();
        int failed = 0;
        for (int i = 0; i < result->total_part_count(); ++i)
            failed += result->GetTestPartResult(i).failed();
        return failed;
    }

    // Runs `act` once with each call failed in turn, in every mode, and checks what it left.
    void failEveryStep(const char* operation, const std::function<void()>& prepare,
                       const std::function<void()>& act, const Outcome& outcome) {
        for (const Mode& mode : Modes) {
            Tally tally;
            for (long nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(operation) + ", " + mode.name + ", call " +
                             std::to_string(nth));
                app.reset();
                settle();
                for (const QString& name : dir.listing())
                    QFile::remove(name);
                files_();
                dialogs.clear();
                start();
                app->flashSeconds = 0;
                prepare();
                const QByteArray oldList = dir.read(ItemList);
                const QStringList oldFiles = dir.listing();
                QHash<QString, QByteArray> oldHistories;
                for (const QString& name : oldFiles)
                    if (name != ItemList)
                        oldHistories.insert(name, dir.read(name));
                dialogs.clear();

                const int itemBefore = app->gymm.CurrentItem;
                shim_->arm(QFile::encodeName(dir.path()).constData(), nth, mode.code);
                act();
                settle();
                shim_->disarm();
                recorded_ = !training() || app->gymm.CurrentItem != itemBefore;
                const bool fired = shim_->fired();
                const std::string fault = shim_->last();
                if (!fired)
                    break;
                ++tally.runs;
                ++tally.faults;
                const int failedBefore = failedChecks();
                checkAfterFault(mode, fault, oldList, oldFiles, oldHistories, outcome, tally);
                tally.broken += failedChecks() > failedBefore;
            }
            std::printf("%-8s %-7s runs %3d  faults %3d  warnings %3d  broken %d\n", operation,
                        mode.name, tally.runs, tally.faults, tally.warnings, tally.broken);
        }
    }

    void checkAfterFault(const Mode& mode, const std::string& fault, const QByteArray& oldList,
                         const QStringList& oldFiles,
                         const QHash<QString, QByteArray>& oldHistories, const Outcome& outcome,
                         Tally& tally) {
        SCOPED_TRACE("faulted: " + fault);
        ASSERT_TRUE(app->window()) << "the program must go on";

        const QStringList titles = dialogs.titles();
        const qsizetype warnings = std::count_if(
            titles.begin(), titles.end(), [](const QString& t) { return Warnings.contains(t); });
        tally.warnings += warnings > 0;
        // A short write is taken up by the next write; every other fault is reported.
        if (mode.code == FAULT_SHORT_WRITE)
            EXPECT_EQ(warnings, 0) << titles.join(u',').toStdString();
        else
            EXPECT_EQ(warnings, 1) << titles.join(u',').toStdString();

        // The item list is the old file or the whole new one, and the table agrees with it.
        const QByteArray list = dir.read(ItemList);
        const bool listChanged = list != oldList;
        EXPECT_TRUE(list == oldList || list == outcome.itemList) << list.toStdString();
        GYMM onDisk;
        ASSERT_TRUE(onDisk.LoadItemList());
        ASSERT_EQ(app->gymm.ItemCount(), onDisk.ItemCount());
        for (int i = 1; i <= onDisk.ItemCount(); ++i) {
            EXPECT_EQ(app->gymm.ItemNames(i), onDisk.ItemNames(i));
            EXPECT_EQ(app->gymm.ItemTargets(i), onDisk.ItemTargets(i));
        }
        if (auto* items = app->window()->findChild<QListWidget*>(QStringLiteral("lstKoumoku"))) {
            EXPECT_EQ(items->count(), onDisk.ItemCount());
        }

        // Histories: whole records, each either as it was or as the operation leaves it.
        for (const QString& name : dir.listing()) {
            if (name == ItemList)
                continue;
            const QByteArray bytes = dir.read(name);
            EXPECT_TRUE(wholeRecords(bytes))
                << name.toStdString() << ": " << bytes.toHex(' ').toStdString();
        }
        bool historiesChanged = false;
        for (auto it = outcome.changed.cbegin(); it != outcome.changed.cend(); ++it) {
            const bool exists = dir.exists(it.key());
            const QByteArray now = exists ? dir.read(it.key()) : QByteArray();
            const bool asBefore =
                exists == oldHistories.contains(it.key()) && now == oldHistories.value(it.key());
            const bool asAfter = it.value().isNull() ? !exists : exists && now == it.value();
            EXPECT_TRUE(asBefore || asAfter) << it.key().toStdString() << ": " << now.toStdString();
            historiesChanged = historiesChanged || (asAfter && !asBefore);
            if (outcome.recordsCount) {
                EXPECT_EQ(asAfter, recorded_)
                    << it.key().toStdString() << ": " << now.toStdString();
            }
        }

        // The success box only when the operation took place.
        if (!outcome.done.isEmpty()) {
            const bool tookPlace = outcome.itemList != oldList ? listChanged : historiesChanged;
            EXPECT_EQ(titles.contains(outcome.done), tookPlace) << titles.join(u',').toStdString();
        }

        // Nothing but the files the operation is about.
        QStringList expected = oldFiles;
        for (auto it = outcome.changed.cbegin(); it != outcome.changed.cend(); ++it) {
            if (dir.exists(it.key()) && !expected.contains(it.key()))
                expected.append(it.key());
            else if (!dir.exists(it.key()))
                expected.removeAll(it.key());
        }
        expected.sort();
        EXPECT_EQ(dir.listing(), expected);
    }

    const fault_shim::Api* shim_ = nullptr;
    std::function<void()> files_; // the data directory before each run
    bool recorded_ = false;       // the last Next moved the workout on
};

QByteArray bytesOf(const char* text) {
    return QByteArray(text);
}

TEST_F(FaultInjection, Next) {
    const QByteArray list = bytesOf("\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n");
    // A record reported as recorded moves the workout on and is in its file; one reported as
    // failed keeps the item, and is not.
    failEveryStep(
        "次へ", [] {},
        [&] {
            find<QLineEdit>(QStringLiteral("txtKaisu"))->setText(QStringLiteral("9"));
            find<PictureButton>(QStringLiteral("cmdNext"))->click();
        },
        {list,
         {{QStringLiteral("A.txt"), cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",5\r\n"
                                                         "\"12月05日\",\"18時36分11秒\",9\r\n"))}},
         {},
         true});
    // A Next on an item whose last line lacks its end: the line end and the record go together.
    failEveryStep(
        "次へ(C)",
        [&] {
            app->gymm.CurrentItem = 3;
            training()->ShowItem(3);
        },
        [&] {
            find<QLineEdit>(QStringLiteral("txtKaisu"))->setText(QStringLiteral("4"));
            find<PictureButton>(QStringLiteral("cmdNext"))->click();
        },
        {list,
         {{QStringLiteral("C.txt"), cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",8\r\n"
                                                         "\"12月05日\",\"18時36分11秒\",4\r\n"))}},
         {},
         true});
}

TEST_F(FaultInjection, NextCreatingTheHistoryFile) {
    // A failed first record takes the file it created away again.
    failEveryStep(
        "次へ(new)",
        [&] {
            ASSERT_TRUE(QFile::remove(QStringLiteral("B.txt")));
            app->gymm.CurrentItem = 2;
            training()->ShowItem(2);
        },
        [&] { find<PictureButton>(QStringLiteral("cmdNext"))->click(); },
        {QByteArray("\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n"),
         {{QStringLiteral("B.txt"), cp932(QStringLiteral("\"12月05日\",\"18時36分11秒\",2\r\n"))}},
         {},
         true});
}

TEST_F(FaultInjection, Register) {
    failEveryStep(
        "登録", [this] { toSettings(); },
        [this] {
            dialogs.queue(QStringLiteral("D"));
            dialogs.queue(QStringLiteral("12.5"));
            press("cmdNew");
        },
        {bytesOf("\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n\"D\",12.5\r\n"),
         {{QStringLiteral("D.txt"), QByteArray("")}},
         QStringLiteral("新規登録終了")});
}

TEST_F(FaultInjection, Update) {
    failEveryStep(
        "保存",
        [this] {
            toSettings();
            select(1);
        },
        [this] {
            find<QLineEdit>(QStringLiteral("txtKaisu"))->setText(QStringLiteral("15"));
            press("cmdHozon");
        },
        {bytesOf("\"A\",1\r\n\"B\",15\r\n\"C\",3\r\n"), {}, QStringLiteral("設定更新終了")});
}

TEST_F(FaultInjection, Clear) {
    failEveryStep(
        "クリア",
        [this] {
            toSettings();
            select(1);
        },
        [this] { press("cmdClear"); },
        {bytesOf("\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n"),
         {{QStringLiteral("B.txt"), QByteArray("")}},
         QStringLiteral("クリア終了")});
}

TEST_F(FaultInjection, Delete) {
    failEveryStep(
        "削除",
        [this] {
            toSettings();
            select(1);
        },
        [this] { press("cmdDel"); },
        {bytesOf("\"A\",1\r\n\"C\",3\r\n"),
         {{QStringLiteral("B.txt"), QByteArray()}},
         QStringLiteral("削除終了")});
}

TEST_F(FaultInjection, DeletingOneOfTwoItemsOfTheSameName) {
    // Whatever fails, even the reload after the rewrite, the history the other B still uses
    // stays.
    files_ = [this] {
        threeItems();
        writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                    {QStringLiteral("B"), QStringLiteral("2")},
                    {QStringLiteral("C"), QStringLiteral("3")},
                    {QStringLiteral("B"), QStringLiteral("4")}});
    };
    failEveryStep(
        "削除(B×2)",
        [this] {
            toSettings();
            select(1);
        },
        [this] {
            press("cmdDel");
            EXPECT_TRUE(dir.exists(QStringLiteral("B.txt")));
        },
        {bytesOf("\"A\",1\r\n\"C\",3\r\n\"B\",4\r\n"), {}, QStringLiteral("削除終了")});
}

// The order of the calls: nothing counts as written before it is flushed to the disk.
TEST_F(FaultInjection, EveryChangeIsOnTheDiskBeforeItCounts) {
    threeItems();
    start();
    const auto trace = [&](const std::function<void()>& act) {
        shim_->arm(QFile::encodeName(dir.path()).constData(), 0, FAULT_EIO); // count only
        act();
        shim_->disarm();
        QString calls = QString::fromUtf8(shim_->trace());
        calls.replace(QStringLiteral("64 "), QStringLiteral(" ")); // open64 is open
        return calls;
    };
    const QString temporary = QStringLiteral("項目一覧\\.txt\\.yarukin-\\w{6}");
    const QString replace =
        QStringLiteral("open (?<t>T)\\n(fchmod \\k<t>\\n)?(write \\k<t>\\n)+fdatasync \\k<t>\\n"
                       "rename \\k<t> 項目一覧\\.txt\\nfsync \\.\\n")
            .replace(u'T', temporary);
    const auto expect = [](const QString& calls, const QString& pattern) {
        EXPECT_TRUE(QRegularExpression(u'^' + pattern + u'$').match(calls).hasMatch())
            << calls.toStdString();
    };

    // Next: the record is flushed before the list is replaced.
    expect(trace([&] { find<PictureButton>(QStringLiteral("cmdNext"))->click(); }),
           QStringLiteral("(write A\\.txt\\n)+fdatasync A\\.txt\\n") + replace);
    // Next on an item without a history file: the new name is flushed too.
    ASSERT_TRUE(QFile::remove(QStringLiteral("B.txt")));
    expect(trace([&] { find<PictureButton>(QStringLiteral("cmdNext"))->click(); }),
           QStringLiteral("open B\\.txt\\n(write B\\.txt\\n)+fdatasync B\\.txt\\nfsync \\.\\n") +
               replace);
    settle();
    app.reset();
    settle();
    start();
    toSettings();
    select(1);
    expect(trace([&] { press("cmdClear"); }),
           replace + QStringLiteral("ftruncate B\\.txt\\nfdatasync B\\.txt\\n"));
    select(1);
    expect(trace([&] { press("cmdDel"); }),
           replace + QStringLiteral("unlink B\\.txt\\nfsync \\.\\n"));
    dialogs.queue(QStringLiteral("D"));
    dialogs.queue(QStringLiteral("4"));
    expect(trace([&] { press("cmdNew"); }),
           replace + QStringLiteral("open D\\.txt\\nfsync \\.\\n"));
}

} // namespace
