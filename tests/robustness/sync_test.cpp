// Two computers, one data directory kept in step by a file-sync tool: two data directories,
// a program on each (its DataDir), and a small sync step that does what the tools do. A file
// changed on one side only is copied over the other's by rename, its time kept; a file
// changed on both becomes the newer one on both, and the older is kept beside it as a
// conflict copy in the tool's own naming; a change wins over a deletion. After each scenario
// and a few rounds of syncing (each program merging the copies it finds), every record a
// program reported as recorded is in its history on both sides exactly once, no item is lost
// that no one deleted, no conflict copy is left in the directory, and every copy the tool
// made is kept in the folder of merged copies.
#include "base/cp932.h"
#include "data/conflicts.h"
#include "data/data_dir.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace {

enum class Style { Syncthing, Nextcloud, Dropbox };
const char* const StyleNames[] = {"Syncthing", "Nextcloud", "Dropbox"};

QString copyName(const QString& file, Style style) {
    const QString stem = file.chopped(4);
    switch (style) {
    case Style::Syncthing:
        return stem + QStringLiteral(".sync-conflict-20261207-081500-ABCDEFG.txt");
    case Style::Nextcloud:
        return stem + QStringLiteral(" (conflicted copy 2026-12-07 081500).txt");
    case Style::Dropbox:
        return stem + QStringLiteral(" (desktop's conflicted copy 2026-12-07).txt");
    }
    return {};
}

// One side's files: path below the data directory -> bytes and time.
struct Entry {
    QByteArray bytes;
    QDateTime modified;
};

class SyncTool {
public:
    SyncTool(QString a, QString b, Style style)
        : sides_{std::move(a), std::move(b)}, style_(style) {}

    // One pass over both sides; true when it changed anything.
    bool sync() {
        const QHash<QString, Entry> a = files(sides_[0]), b = files(sides_[1]);
        QStringList names = a.keys() + b.keys();
        names.removeDuplicates();
        bool changed = false;
        for (const QString& name : names) {
            const std::optional<Entry> ea =
                a.contains(name) ? std::optional(a[name]) : std::nullopt;
            const std::optional<Entry> eb =
                b.contains(name) ? std::optional(b[name]) : std::nullopt;
            const std::optional<QByteArray> base = base_.value(name);
            const auto bytes = [](const std::optional<Entry>& e) {
                return e ? std::optional(e->bytes) : std::nullopt;
            };
            if (bytes(ea) == bytes(eb)) {
                base_[name] = bytes(ea);
                continue;
            }
            changed = true;
            std::optional<Entry> result;
            if (bytes(ea) == base) {
                result = eb;
            } else if (bytes(eb) == base) {
                result = ea;
            } else if (!ea || !eb) {
                result = ea ? ea : eb; // a change wins over a deletion
            } else {
                // Both changed: the newer wins; the older is kept as a conflict copy.
                const bool aWins = ea->modified >= eb->modified;
                result = aWins ? ea : eb;
                const Entry& loser = aWins ? *eb : *ea;
                const QString copy = copyName(name, style_);
                for (const QString& side : sides_)
                    put(side, copy, loser);
                base_[copy] = loser.bytes;
                ++conflicts;
                copies.append(copy);
            }
            for (const QString& side : sides_)
                result ? put(side, name, *result) : remove(side, name);
            base_[name] = bytes(result);
        }
        return changed;
    }

    int conflicts = 0;
    QStringList copies;

private:
    // The files a tool syncs: everything but the program's temporary files, which the README
    // says to exclude, and the tool's own.
    static QHash<QString, Entry> files(const QString& side) {
        QHash<QString, Entry> all;
        static const QRegularExpression temporary(QStringLiteral("\\.yarukin-[A-Za-z0-9]{6}$"));
        for (const QString& folder : {QString(), DataDir::MergedCopiesFolder}) {
            const QDir dir(side + u'/' + folder);
            for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
                if (info.fileName().startsWith(u'.') || temporary.match(info.fileName()).hasMatch())
                    continue;
                QFile file(info.filePath());
                EXPECT_TRUE(file.open(QIODevice::ReadOnly));
                all.insert(folder.isEmpty() ? info.fileName() : folder + u'/' + info.fileName(),
                           {file.readAll(), info.lastModified()});
            }
        }
        return all;
    }
    // As the tools write: a temporary file renamed over the old one, its time kept.
    static void put(const QString& side, const QString& name, const Entry& entry) {
        QDir().mkpath(QFileInfo(side + u'/' + name).path());
        const QString temporary = side + QStringLiteral("/.sync.tmp");
        QFile file(temporary);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(entry.bytes);
        file.flush();
        ASSERT_TRUE(file.setFileTime(entry.modified, QFileDevice::FileModificationTime));
        file.close();
        ASSERT_EQ(::rename(QFile::encodeName(temporary).constData(),
                           QFile::encodeName(side + u'/' + name).constData()),
                  0);
    }
    static void remove(const QString& side, const QString& name) {
        QFile::remove(side + u'/' + name);
    }

    QString sides_[2];
    Style style_;
    QHash<QString, std::optional<QByteArray>> base_; // what both sides held at the last sync
};

// The two computers: a data directory each, inside the test's own tree, and the program on it.
class TwoComputers {
public:
    explicit TwoComputers(Style style) {
        for (const char* name : {"a", "b"})
            EXPECT_TRUE(QDir(dir.path()).mkdir(QString::fromLatin1(name)));
        const QByteArray list =
            cp(QStringLiteral("\"腕立て伏せ\",30\r\n\"腹筋\",20\r\n\"懸垂\",5\r\n"));
        for (const char* name : {"a", "b"}) {
            QFile file(dir.path() + u'/' + QString::fromLatin1(name) +
                       QStringLiteral("/項目一覧.txt"));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(list);
        }
        sync = std::make_unique<SyncTool>(path("a"), path("b"), style);
        sync->sync();
        for (int side = 0; side < 2; ++side) {
            computer[side] =
                std::make_unique<DataDir>(Folder::open(path(side ? "b" : "a")).value());
            EXPECT_TRUE(computer[side]->LoadItemList().done);
        }
    }
    QString path(const char* side) const { return dir.path() + u'/' + QString::fromLatin1(side); }

    // Next on one computer for the item of that name, with a count no other record has.
    void record(int side, const QString& name) {
        DataDir& data = *computer[side];
        for (int k = 1; k <= data.gymm().ItemCount(); ++k) {
            if (data.gymm().ItemNames(k) != name)
                continue;
            const qint64 count = nextCount++;
            // A minute apart, so that the merged histories have an order to keep.
            when = when.addSecs(60);
            const DataDir::Recorded recorded = data.record(k, double(count), when);
            EXPECT_TRUE(recorded.warnings.isEmpty());
            if (recorded.done)
                reported.append({name, count});
            return;
        }
        ADD_FAILURE() << "no item " << name.toStdString();
    }
    // Syncs and lets each program merge what it finds, until nothing changes any more.
    void settle() {
        for (int round = 0; round < 6; ++round) {
            const bool synced = sync->sync();
            bool merged = false;
            for (auto& data : computer) {
                const DataDir::Merged result = data->mergeConflictCopies();
                EXPECT_TRUE(result.warnings.isEmpty());
                merged = merged || result.done;
                merges += static_cast<int>(result.histories.size()) + !result.listCopy.isEmpty();
            }
            if (!synced && !merged)
                return;
        }
        ADD_FAILURE() << "the two sides do not settle";
    }
    // What both sides hold at the end.
    void check(const QStringList& items) {
        for (const char* side : {"a", "b"}) {
            SCOPED_TRACE(side);
            const QDir data(path(side));
            DataDir read(Folder::open(data.path()).value());
            ASSERT_TRUE(read.LoadItemList().done);
            QStringList names;
            for (int k = 1; k <= read.gymm().ItemCount(); ++k)
                names.append(read.gymm().ItemNames(k));
            names.sort();
            QStringList expected = items;
            expected.sort();
            EXPECT_EQ(names, expected);
            for (const auto& [name, count] : reported) {
                QFile file(data.filePath(name + QStringLiteral(".txt")));
                ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
                const QString text = cp932::decode(file.readAll());
                EXPECT_EQ(text.count(QStringLiteral(",%1\r\n").arg(count)), 1)
                    << name.toStdString() << ' ' << count;
                ++found;
            }
            for (const QString& name : data.entryList(QDir::Files))
                EXPECT_FALSE(conflicts::recognise(name)) << name.toStdString() << " left";
            for (const QString& copy : sync->copies)
                EXPECT_TRUE(data.exists(DataDir::MergedCopiesFolder + u'/' + copy))
                    << copy.toStdString() << " was deleted";
        }
    }

    TempWorkDir dir;
    std::unique_ptr<SyncTool> sync;
    std::unique_ptr<DataDir> computer[2];
    QDateTime when{QDate(2026, 12, 7), QTime(8, 0)};
    qint64 nextCount = 101;
    QList<QPair<QString, qint64>> reported;
    int merges = 0;
    int found = 0;
};

struct Scenario {
    const char* name;
    std::function<void(TwoComputers&)> act;
    QStringList items; // the list both sides end with
};

TEST(Sync, WhateverOrderTwoComputersRecordInNoRecordAndNoItemIsLost) {
    const QString push = QStringLiteral("腕立て伏せ"), sit = QStringLiteral("腹筋"),
                  pull = QStringLiteral("懸垂");
    const Scenario scenarios[] = {
        {"register on A while B is open",
         [&](TwoComputers& t) {
             EXPECT_TRUE(t.computer[0]->registerItem(QStringLiteral("背筋"), 15).done);
             t.settle();
             t.record(1, push); // B's list was replaced under it: read again, not written
             t.record(1, sit);
             t.settle();
         },
         {push, sit, pull, QStringLiteral("背筋")}},
        {"record on both while apart, then sync",
         [&](TwoComputers& t) {
             for (const QString& name : {push, sit, pull}) {
                 t.record(0, name);
                 t.record(1, name);
             }
             t.record(0, push);
             t.settle();
         },
         {push, sit, pull}},
        {"delete on A while B records",
         [&](TwoComputers& t) {
             EXPECT_TRUE(t.computer[0]->deleteItem(2).done);
             t.record(1, sit);
             t.record(1, pull);
             t.settle();
         },
         {push, pull}},
        {"clear on A while B records",
         [&](TwoComputers& t) {
             t.record(0, sit);
             t.settle();
             EXPECT_TRUE(t.computer[0]->clearItem(2).done);
             t.record(1, sit);
             t.settle();
         },
         {push, sit, pull}},
        {"register different items on both while apart",
         [&](TwoComputers& t) {
             EXPECT_TRUE(t.computer[0]->registerItem(QStringLiteral("背筋"), 15).done);
             EXPECT_TRUE(t.computer[1]->registerItem(QStringLiteral("スクワット"), 25).done);
             t.record(1, QStringLiteral("スクワット"));
             t.settle();
         },
         {push, sit, pull, QStringLiteral("背筋"), QStringLiteral("スクワット")}},
    };
    int runs = 0, records = 0, found = 0, conflicts = 0, merged = 0;
    for (int style = 0; style < 3; ++style) {
        for (const Scenario& scenario : scenarios) {
            SCOPED_TRACE(std::string(StyleNames[style]) + ": " + scenario.name);
            TwoComputers t{Style(style)};
            scenario.act(t);
            t.check(scenario.items);
            ++runs;
            records += static_cast<int>(t.reported.size());
            found += t.found;
            conflicts += t.sync->conflicts;
            merged += t.merges;
        }
    }
    std::printf("scenarios %d, records reported %d, found on both sides %d (of %d), conflict "
                "copies made %d, merges %d\n",
                runs, records, found, 2 * records, conflicts, merged);
}

} // namespace
