// Every file step of every user action, failed in turn with the real system calls: the
// preloaded fault library makes the N-th call inside the data directory fail (ENOSPC, EIO, a
// read) or write short, for N = 1, 2, 3, ... until the action no longer reaches N. After each
// run the item list is the old file or the whole new one, every history holds whole records
// and holds the record exactly when Next says it recorded, the outcome warns exactly when a
// fault was not absorbed and says "done" exactly when the action took place, the table agrees
// with the disk, and nothing else lies in the directory.
#include "base/cp932.h"
#include "data/data_dir.h"
#include "faults/fault_shim.h"
#include "support/failed_checks.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString ItemList = QStringLiteral("項目一覧.txt");
const QDateTime When(QDate(2026, 12, 5), QTime(18, 36, 11));

struct Mode {
    int code;
    const char* name;
};
constexpr Mode Modes[] = {{FAULT_ENOSPC, "ENOSPC"},
                          {FAULT_EIO, "EIO"},
                          {FAULT_SHORT_WRITE, "short"},
                          {FAULT_READ, "read"}};

// What an action is expected to leave when it did its work.
struct Expectation {
    QByteArray itemList;                // the whole new item list
    QHash<QString, QByteArray> changed; // history files and their new bytes (null: removed)
    // Next and クリア: the history is changed exactly when the outcome says it is done.
    bool historyTells = false;
    // Done only when every file is as the action leaves it (a merge: history and copy both).
    bool whole = false;
};

// Counts of one action's runs, for the closing figures.
struct Tally {
    int runs = 0;
    int warned = 0;
    int broken = 0;
};

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        shim_ = fault_shim::api();
        if (!shim_)
            GTEST_SKIP() << "the fault library is not preloaded (LD_PRELOAD=libfault_shim.so)";
        files_ = [this] { threeItems(); };
    }

    void threeItems() {
        dir.write(ItemList, "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n");
        dir.write(QStringLiteral("A.txt"), record(10, 5));
        dir.write(QStringLiteral("B.txt"), record(10, 6) + record(10, 7));
        dir.write(QStringLiteral("C.txt"), record(10, 8).chopped(2)); // no line end at the last
    }
    static QByteArray record(int second, int count) {
        return cp(QStringLiteral("\"12月05日\",\"18時36分%1秒\",%2\r\n").arg(second).arg(count));
    }

    static bool wholeRecords(const QByteArray& bytes) {
        // A last record may lack its line end (as C's does here), but no record is cut short.
        static const QString one =
            QStringLiteral("\"\\d\\d月\\d\\d日\",\"\\d\\d時\\d\\d分\\d\\d秒\",-?\\d+(\\.\\d+)?");
        static const QRegularExpression records(QStringLiteral("^(%1\\r\\n)*(%1)?$").arg(one));
        return records.match(cp932::decode(bytes)).hasMatch();
    }

    // Runs `act` once with each call failed in turn, in every mode, and checks what it left.
    void failEveryStep(const char* action, const std::function<Outcome(DataDir&)>& act,
                       const Expectation& expected) {
        for (const Mode& mode : Modes) {
            Tally tally;
            for (long nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(action) + ", " + mode.name + ", call " +
                             std::to_string(nth));
                for (const QString& name : dir.listing())
                    QFile::remove(name);
                files_();
                DataDir data = dir.open();
                ASSERT_TRUE(data.LoadItemList().done);
                const QByteArray oldList = dir.read(ItemList);
                const QStringList oldFiles = dir.listing();
                QHash<QString, QByteArray> oldHistories;
                for (const QString& name : oldFiles)
                    if (name != ItemList && !QFileInfo(name).isDir())
                        oldHistories.insert(name, dir.read(name));

                shim_->arm(QFile::encodeName(dir.path()).constData(), nth, mode.code);
                const Outcome outcome = act(data);
                shim_->disarm();
                if (!shim_->fired())
                    break;
                ++tally.runs;
                tally.warned += !outcome.warnings.isEmpty();
                const int failedBefore = failedChecks();
                check(data, mode, shim_->last(), oldList, oldFiles, oldHistories, outcome,
                      expected);
                tally.broken += failedChecks() > failedBefore;
            }
            // Every action changes a file, so the shim sees its calls.
            if (mode.code == FAULT_ENOSPC || mode.code == FAULT_EIO) {
                EXPECT_GT(tally.runs, 0) << action << ' ' << mode.name;
            }
            std::printf("%-10s %-7s runs %3d  warned %3d  broken %d\n", action, mode.name,
                        tally.runs, tally.warned, tally.broken);
        }
    }

    void check(const DataDir& data, const Mode& mode, const std::string& fault,
               const QByteArray& oldList, const QStringList& oldFiles,
               const QHash<QString, QByteArray>& oldHistories, const Outcome& outcome,
               const Expectation& expected) {
        SCOPED_TRACE("faulted: " + fault);

        // A short write is taken up by the next write; every other fault is warned of, once,
        // naming a file the action is about.
        EXPECT_EQ(outcome.warnings.size(), mode.code == FAULT_SHORT_WRITE ? 0 : 1);
        for (const FileProblem& problem : outcome.warnings)
            EXPECT_TRUE(problem.fileName == ItemList ||
                        expected.changed.contains(problem.fileName) ||
                        problem.fileName == DataDir::MergedCopiesFolder ||
                        problem.fileName == data.folder().path()) // its listing
                << problem.fileName.toStdString();

        // The item list is the old file or the whole new one, and the table agrees with it.
        const QByteArray list = dir.read(ItemList);
        const bool listChanged = list != oldList;
        EXPECT_TRUE(list == oldList || list == expected.itemList) << list.toStdString();
        DataDir onDisk = dir.open();
        ASSERT_TRUE(onDisk.LoadItemList().done);
        ASSERT_EQ(data.gymm().ItemCount(), onDisk.gymm().ItemCount());
        for (int i = 1; i <= onDisk.gymm().ItemCount(); ++i) {
            EXPECT_EQ(data.gymm().ItemNames(i), onDisk.gymm().ItemNames(i));
            EXPECT_EQ(data.gymm().ItemTargets(i), onDisk.gymm().ItemTargets(i));
        }

        // Histories: whole records, each either as it was or as the action leaves it.
        for (const QString& name : dir.listing()) {
            if (name == ItemList || QFileInfo(name).isDir())
                continue;
            const QByteArray bytes = dir.read(name);
            EXPECT_TRUE(wholeRecords(bytes))
                << name.toStdString() << ": " << bytes.toHex(' ').toStdString();
        }
        bool historiesChanged = false, allAsAfter = true;
        for (auto it = expected.changed.cbegin(); it != expected.changed.cend(); ++it) {
            const bool exists = dir.exists(it.key());
            const QByteArray now = exists ? dir.read(it.key()) : QByteArray();
            const bool asBefore =
                exists == oldHistories.contains(it.key()) && now == oldHistories.value(it.key());
            const bool asAfter = it.value().isNull() ? !exists : exists && now == it.value();
            EXPECT_TRUE(asBefore || asAfter) << it.key().toStdString() << ": " << now.toStdString();
            historiesChanged = historiesChanged || (asAfter && !asBefore);
            allAsAfter = allAsAfter && asAfter;
            if (expected.historyTells) {
                EXPECT_EQ(asAfter, outcome.done)
                    << it.key().toStdString() << ": " << now.toStdString();
            }
        }

        // "Done" exactly when the action took place.
        const bool tookPlace = expected.whole ? allAsAfter
                               : expected.historyTells || expected.itemList == oldList
                                   ? historiesChanged
                                   : listChanged;
        EXPECT_EQ(outcome.done, tookPlace);

        // Nothing but the files the action is about.
        QStringList files = oldFiles;
        for (auto it = expected.changed.cbegin(); it != expected.changed.cend(); ++it) {
            if (dir.exists(it.key()) && !files.contains(it.key()))
                files.append(it.key());
            else if (!dir.exists(it.key()))
                files.removeAll(it.key());
        }
        files.sort();
        EXPECT_EQ(dir.listing(), files);
    }

    TempWorkDir dir;
    const fault_shim::Api* shim_ = nullptr;
    std::function<void()> files_; // the data directory before each run
};

const QByteArray ThreeItems = "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n";

TEST_F(FaultInjection, Next) {
    // A record reported as recorded is in its file; one reported as failed is not. The list,
    // unchanged, is not written at all.
    failEveryStep("次へ", [](DataDir& data) -> Outcome { return data.record(1, 9, When); },
                  {ThreeItems, {{QStringLiteral("A.txt"), record(10, 5) + record(11, 9)}}, true});
    // An item whose last line lacks its end: the line end and the record go together.
    failEveryStep("次へ(C)", [](DataDir& data) -> Outcome { return data.record(3, 4, When); },
                  {ThreeItems, {{QStringLiteral("C.txt"), record(10, 8) + record(11, 4)}}, true});
    // A list that reads otherwise than the table writes it is replaced after the record.
    files_ = [this] {
        threeItems();
        dir.write(ItemList, "\"A\",1\r\n\"B\",2.4\r\n\"C\",3\r\n");
    };
    failEveryStep("次へ(2.4)", [](DataDir& data) -> Outcome { return data.record(1, 9, When); },
                  {ThreeItems, {{QStringLiteral("A.txt"), record(10, 5) + record(11, 9)}}, true});
}

TEST_F(FaultInjection, NextCreatingTheHistoryFile) {
    // A failed first record takes the file it created away again.
    files_ = [this] {
        threeItems();
        QFile::remove(QStringLiteral("B.txt"));
    };
    failEveryStep("次へ(new)", [](DataDir& data) -> Outcome { return data.record(2, 2, When); },
                  {ThreeItems, {{QStringLiteral("B.txt"), record(11, 2)}}, true});
}

TEST_F(FaultInjection, Register) {
    failEveryStep(
        "登録",
        [](DataDir& data) -> Outcome {
            DataDir::Registration registered = data.registerItem(QStringLiteral("D"), 12.5);
            // The read back is told apart, after the name joins the window's list.
            for (const FileProblem& problem : registered.warnings)
                EXPECT_NE(problem.action, FileProblem::Action::Read);
            if (registered.readBack)
                registered.warn(*registered.readBack);
            return registered;
        },
        {"\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n\"D\",12.5\r\n", {{QStringLiteral("D.txt"), ""}}});
}

TEST_F(FaultInjection, Update) {
    failEveryStep("保存", [](DataDir& data) { return data.updateItem(2, QStringLiteral("B"), 15); },
                  {"\"A\",1\r\n\"B\",15\r\n\"C\",3\r\n", {}});
}

TEST_F(FaultInjection, Clear) {
    failEveryStep("クリア", [](DataDir& data) { return data.clearItem(2); },
                  {ThreeItems, {{QStringLiteral("B.txt"), ""}}, true});
    // With a list to rewrite first: a failed rewrite leaves the history as it was.
    files_ = [this] {
        threeItems();
        dir.write(ItemList, "\"A\",1\r\n\"B\",2.4\r\n\"C\",3\r\n");
    };
    failEveryStep("クリア(2.4)", [](DataDir& data) { return data.clearItem(2); },
                  {ThreeItems, {{QStringLiteral("B.txt"), ""}}, true});
}

TEST_F(FaultInjection, Delete) {
    failEveryStep("削除", [](DataDir& data) { return data.deleteItem(2); },
                  {"\"A\",1\r\n\"C\",3\r\n", {{QStringLiteral("B.txt"), QByteArray()}}});
}

TEST_F(FaultInjection, DeletingOneOfTwoItemsOfTheSameName) {
    // Whatever fails, even the read-back after the rewrite, the history the other B still
    // uses stays.
    files_ = [this] {
        threeItems();
        dir.write(ItemList, "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n\"B\",4\r\n");
    };
    failEveryStep("削除(B×2)",
                  [this](DataDir& data) {
                      const Outcome deleted = data.deleteItem(2);
                      EXPECT_TRUE(dir.exists(QStringLiteral("B.txt")));
                      return deleted;
                  },
                  {"\"A\",1\r\n\"C\",3\r\n\"B\",4\r\n", {}});
}

TEST_F(FaultInjection, MergingAConflictCopy) {
    // The folder of merged copies holds one of the same name already: this one goes beside it.
    const QString copy = QStringLiteral("A (conflicted copy 2026-12-07 081500).txt");
    const QString aside = DataDir::MergedCopiesFolder +
                          QStringLiteral("/A (conflicted copy 2026-12-07 081500) (2).txt");
    const QByteArray theirs = record(10, 5) + record(12, 7);
    files_ = [&] {
        threeItems();
        QDir(DataDir::MergedCopiesFolder).removeRecursively();
        QDir().mkdir(DataDir::MergedCopiesFolder);
        dir.write(DataDir::MergedCopiesFolder + u'/' + copy, "earlier");
        dir.write(copy, theirs);
    };
    failEveryStep(
        "統合",
        [&](DataDir& data) -> Outcome {
            const Outcome merged = data.mergeConflictCopies();
            shim_->disarm();
            // The copy is never lost: it is here, or there with its bytes.
            EXPECT_EQ(dir.exists(copy) ? dir.read(copy) : dir.read(aside), theirs);
            return merged;
        },
        {ThreeItems, {{QStringLiteral("A.txt"), theirs}, {copy, QByteArray()}}, false, true});
}

TEST_F(FaultInjection, SweepingTheTemporariesACrashLeft) {
    const QString stray = ItemList + QStringLiteral(".yarukin-Ab12Cd");
    files_ = [&] {
        threeItems();
        dir.write(stray, record(10, 5));
    };
    failEveryStep("掃除",
                  [](DataDir& data) {
                      Outcome swept;
                      swept.done = swept.take(data.removeStrayTemporaries());
                      return swept;
                  },
                  {ThreeItems, {{stray, QByteArray()}}, false, true});
}

// The order of the calls: nothing counts as written before it is flushed to the disk, and a
// Next flushes its record once and nothing else.
TEST_F(FaultInjection, EveryChangeIsOnTheDiskBeforeItCounts) {
    threeItems();
    DataDir data = dir.open();
    ASSERT_TRUE(data.LoadItemList().done);
    const auto trace = [&](const std::function<Outcome()>& act, int mode = FAULT_EIO) {
        shim_->arm(QFile::encodeName(dir.path()).constData(), 0, mode); // count only
        EXPECT_TRUE(act().done);
        shim_->disarm();
        QString calls = QString::fromUtf8(shim_->trace());
        calls.replace(QStringLiteral("64 "), QStringLiteral(" ")); // open64 is open
        return calls;
    };
    const QString temporary = QStringLiteral("項目一覧\\.txt\\.yarukin-\\w{6}");
    const QString replace =
        QStringLiteral("openat (?<t>T)\\nfchmod \\k<t>\\n(write \\k<t>\\n)+fdatasync \\k<t>\\n"
                       "close \\k<t>\\nrenameat \\k<t> 項目一覧\\.txt\\nfsync \\.\\n")
            .replace(u'T', temporary);
    const auto expect = [](const QString& calls, const QString& pattern) {
        EXPECT_TRUE(QRegularExpression(u'^' + pattern + u'$').match(calls).hasMatch())
            << calls.toStdString();
    };

    // Next: the record is written and flushed, once; the unchanged list is left alone.
    expect(trace([&] { return data.record(1, 9, When); }),
           QStringLiteral("(write A\\.txt\\n)+fdatasync A\\.txt\\nclose A\\.txt\\n"));
    // The first Next after a break of over half a year writes the kept years as well.
    dir.write(QStringLiteral("C.txt"), dir.read(QStringLiteral("C.txt")), When);
    expect(trace([&] { return data.record(3, 9, When.addDays(200)); }),
           QStringLiteral("(write C\\.txt\\n)+fdatasync C\\.txt\\nclose C\\.txt\\nopenat "
                          "(?<k>K\\.yarukin-\\w{6})\\n"
                          "(write \\k<k>\\n)+fdatasync \\k<k>\\nclose \\k<k>\\nrenameat \\k<k> K\\n"
                          "fsync \\.\\n")
               .replace(u'K', QStringLiteral("記録の年\\.yarukin")));
    // Next on an item without a history file: the new name is flushed too.
    ASSERT_TRUE(QFile::remove(QStringLiteral("B.txt")));
    expect(trace([&] { return data.record(2, 9, When); }),
           QStringLiteral("openat B\\.txt\\n(write B\\.txt\\n)+fdatasync B\\.txt\\nfsync \\.\\n"
                          "close B\\.txt\\n"));
    expect(trace([&] { return data.clearItem(2); }),
           QStringLiteral("ftruncate B\\.txt\\nfdatasync B\\.txt\\nclose B\\.txt\\n"));
    // A change of the list reads it first, never to overwrite another hand's change;
    // registration and deletion read it back.
    const QString readList = QStringLiteral("openat 項目一覧\\.txt\\n(read 項目一覧\\.txt\\n)+");
    expect(trace([&] { return data.updateItem(2, QStringLiteral("B"), 6); }, FAULT_READ), readList);
    expect(trace([&] { return data.updateItem(2, QStringLiteral("B"), 5); }), replace);
    expect(trace([&] { return data.deleteItem(3); }, FAULT_READ), readList + readList);
    expect(trace([&] { return data.deleteItem(2); }),
           replace + QStringLiteral("unlinkat B\\.txt\\nfsync \\.\\n"));
    expect(trace([&] { return Outcome(data.registerItem(QStringLiteral("D"), 4)); }),
           replace + QStringLiteral("openat D\\.txt\\nfsync \\.\\n"));
    expect(trace([&] { return Outcome(data.registerItem(QStringLiteral("E"), 4)); }, FAULT_READ),
           readList + readList);
    // A merge: the history replaced, then the copy moved aside into the folder made for it
    // (its name flushed first) and both folders flushed.
    const QString copy = QStringLiteral("A \\(conflicted copy 2026-12-07 081500\\)\\.txt");
    dir.write(QStringLiteral("A (conflicted copy 2026-12-07 081500).txt"), record(11, 5));
    expect(trace([&] { return Outcome(data.mergeConflictCopies()); }),
           QString(replace).replace(QStringLiteral("項目一覧"), QStringLiteral("A")) +
               QStringLiteral("mkdirat 統合済みの競合コピー\\nfsync \\.\\n"
                              "renameat2 C 統合済みの競合コピー/C\\n"
                              "fsync 統合済みの競合コピー\\n"
                              "fsync \\.\\n")
                   .replace(u'C', copy));
    // A Next after the list changed leaves the new list alone as well.
    expect(trace([&] { return data.record(1, 9, When); }),
           QStringLiteral("(write A\\.txt\\n)+fdatasync A\\.txt\\nclose A\\.txt\\n"));
}

} // namespace
