// Every state a power cut can leave behind, for each user action. The action runs once under
// the fault library, which keeps its file steps with their arguments and bytes; from them the
// test builds every directory the disk may hold after a cut at each step, under two models:
// - ext4 with data=ordered: changes of names (create, mkdir, rename, unlink) reach the disk in
//   their order, and all of them before any fsync or fdatasync that completed (the journal);
// - the weaker POSIX promise: a change of names is there once a directory it changes was
//   flushed after it, and may or may not be there until then; a rename is whole or not at all.
// In both, a file holds its bytes up to its last fsync or fdatasync, and of what it was written
// after, any prefix (a file renamed before its bytes were flushed may be empty).
// Each state is opened as the next start opens it (list read, temporaries swept, copies merged)
// and must hold: the item list old or new, byte for byte; every other file old or new, a
// history appended to anything between the two; a merge finished by the next start; no file
// that neither the old nor the new directory holds; a record cut off at the end taken up by the
// next Next with no earlier record changed; and once the action returned, exactly what it left.
#include "data/csv_export.h"
#include "data/data_dir.h"
#include "data/records.h"
#include "faults/fault_shim.h"
#include "support/failed_checks.h"
#include "support/work_dir.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace {

const QString ItemList = QStringLiteral("項目一覧.txt");
const QString Export = QStringLiteral("書き出し/記録.csv");
const QDateTime When(QDate(2026, 12, 5), QTime(18, 36, 11));
const QDateTime Stamp(QDate(2026, 12, 6), QTime(9, 0)); // every file's modification time

// A directory's files and folders (a folder's name ends with '/'), by relative path.
using Tree = QMap<QString, QByteArray>;

QByteArray record(int second, int count) {
    return cp(QStringLiteral("\"12月05日\",\"18時36分%1秒\",%2\r\n").arg(second).arg(count));
}

Tree readTree(const QString& root) {
    Tree tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        const QString path = QDir(root).relativeFilePath(entry.filePath());
        QFile file(entry.filePath());
        if (entry.isDir())
            tree.insert(path + u'/', {});
        else if (file.open(QIODevice::ReadOnly))
            tree.insert(path, file.readAll());
    }
    return tree;
}

// Makes the directory hold exactly the tree (the directory itself stays: it may be the working
// directory).
void writeTree(const QString& root, const Tree& tree) {
    QDir().mkpath(root);
    for (const QFileInfo& entry : QDir(root).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot))
        entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                            : QFile::remove(entry.filePath());
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().endsWith(u'/')) {
            QDir(root).mkpath(it.key());
            continue;
        }
        QFile file(root + u'/' + it.key());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(it.value()) == it->size());
        ASSERT_TRUE(file.setFileTime(Stamp, QFileDevice::FileModificationTime));
    }
}

std::string describe(const Tree& tree) {
    std::string text;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        text +=
            "\n  " + it.key().toStdString() + ": " + it->toPercentEncoding(" \",").toStdString();
    return text;
}

// One change of the file system, from the steps the fault library kept.
struct Change {
    enum Kind { Create, Mkdir, Rename, Unlink, Write, Truncate, SyncFile, SyncDir } kind;
    QString path, to; // the name(s) it changes; SyncDir: the directory
    int node = -1;    // the file or folder it concerns
    qint64 at = 0;    // a write's offset, a truncate's length
    QByteArray bytes;
    std::string step; // the call, for the messages
    bool ofNames() const { return kind <= Unlink; }
};

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : path.left(slash);
}

// An action's changes, replayed on nodes (files and folders) so that every change names the
// node it concerns whatever it is called at the time.
struct Trace {
    QMap<QString, int> names; // before the action, "." included
    QList<QByteArray> bytes;  // each node's bytes before the action
    QList<bool> folder;
    QList<Change> changes;

    int node(bool isFolder, const QByteArray& content = {}) {
        folder.append(isFolder);
        bytes.append(content);
        return int(folder.size() - 1);
    }

    Trace(const Tree& before, QByteArrayView steps) {
        names.insert(QStringLiteral("."), node(true));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            names.insert(it.key().endsWith(u'/') ? it.key().chopped(1) : it.key(),
                         node(it.key().endsWith(u'/'), *it));
        QMap<QString, int> live = names;
        while (!steps.isEmpty()) {
            const qsizetype end = steps.indexOf('\n');
            const QList<QByteArray> head = steps.first(end).toByteArray().split('\t');
            const qsizetype size = head.value(4).toLongLong();
            const QByteArray written = steps.sliced(end + 1, size).toByteArray();
            steps = steps.sliced(end + 1 + size);
            const QByteArray& call = head[0];
            const QString path = QString::fromUtf8(head[1]), to = QString::fromUtf8(head[2]);
            const qint64 number = head[3].toLongLong();
            Change change{Change::Create,
                          path,
                          to,
                          live.value(path, -1),
                          number,
                          written,
                          (call + ' ' + head[1] + ' ' + head[2]).toStdString()};
            if (call.contains("open") || call.startsWith("creat")) {
                if (!(number & O_CREAT))
                    continue;
                if (live.contains(path)) {
                    if (!(number & O_TRUNC))
                        continue;
                    change.kind = Change::Truncate;
                    change.at = 0;
                } else {
                    change.node = live[path] = node(false, "");
                }
            } else if (call.startsWith("mkdir")) {
                change.kind = Change::Mkdir;
                change.node = live[path] = node(true);
            } else if (call.contains("write")) {
                change.kind = Change::Write;
            } else if (call.contains("truncate")) {
                change.kind = Change::Truncate;
            } else if (call == "fsync" || call == "fdatasync") {
                change.kind = folder.value(change.node) ? Change::SyncDir : Change::SyncFile;
            } else if (call.startsWith("rename")) {
                change.kind = Change::Rename;
                live[to] = live.take(path);
            } else if (call.startsWith("unlink")) {
                change.kind = Change::Unlink;
                live.remove(path);
            } else {
                continue; // close, fchmod: nothing a state shows
            }
            EXPECT_GE(change.node, 0)
                << "a step on a file the trace did not see made: " << change.step;
            changes.append(change);
        }
    }

    // Whether change i (of names) is on the disk once the first `cut` changes were made.
    bool durable(int i, int cut, bool ordered) const {
        const Change& change = changes[i];
        for (int j = i + 1; j < cut; ++j) {
            const Change& sync = changes[j];
            if (ordered && (sync.kind == Change::SyncDir || sync.kind == Change::SyncFile))
                return true;
            if (sync.kind == Change::SyncDir &&
                (sync.path == parentOf(change.path) ||
                 (change.kind == Change::Rename && sync.path == parentOf(change.to))))
                return true;
        }
        return false;
    }

    // Every content node n may hold after the first `cut` changes: its bytes at its last flush,
    // then any prefix of what was written after it.
    QList<QByteArray> contents(int n, int cut) const {
        int synced = -1;
        for (int j = 0; j < cut; ++j)
            if (changes[j].kind == Change::SyncFile && changes[j].node == n)
                synced = j;
        QByteArray now = bytes[n];
        QList<QByteArray> all;
        const auto apply = [](QByteArray& content, const Change& change, qsizetype size) {
            if (change.kind == Change::Truncate) {
                content.resize(change.at, '\0');
                return;
            }
            if (content.size() < change.at + size)
                content.resize(change.at + size, '\0');
            content.replace(change.at, size, change.bytes.first(size));
        };
        for (int j = 0; j < cut; ++j) {
            const Change& change = changes[j];
            if (change.node != n ||
                (change.kind != Change::Write && change.kind != Change::Truncate))
                continue;
            if (j > synced && all.isEmpty())
                all.append(now); // nothing of what came after the flush
            if (j > synced)
                for (qsizetype part = 1; change.kind == Change::Write && part < change.bytes.size();
                     ++part) {
                    all.append(now);
                    apply(all.last(), change, part);
                }
            apply(now, change, change.bytes.size());
            if (j > synced)
                all.append(now);
        }
        if (all.isEmpty())
            all.append(now);
        return all;
    }

    // Calls visit with every tree a cut after the first `cut` changes can leave.
    void states(int cut, bool ordered, const std::function<void(const Tree&)>& visit) const {
        QList<int> open; // the changes of names that may or may not be there
        for (int i = 0; i < cut; ++i)
            if (changes[i].ofNames() && !durable(i, cut, ordered))
                open.append(i);
        EXPECT_LE(open.size(), 16);
        const int choices = ordered ? int(open.size()) + 1 : 1 << open.size();
        for (int choice = 0; choice < choices; ++choice) {
            QMap<QString, int> now = names;
            for (int i = 0, k = 0; i < cut; ++i) {
                const Change& change = changes[i];
                if (!change.ofNames())
                    continue;
                const bool isOpen = k < open.size() && open[k] == i;
                const bool there = !isOpen || (ordered ? k < choice : (choice >> k) & 1);
                k += isOpen;
                if (!there)
                    continue;
                if (change.kind == Change::Rename || change.kind == Change::Unlink)
                    if (now.value(change.path) == change.node)
                        now.remove(change.path);
                if (change.kind != Change::Unlink)
                    now.insert(change.kind == Change::Rename ? change.to : change.path,
                               change.node);
            }
            // A name in a folder whose own name did not reach the disk is lost with it.
            QList<std::pair<QString, QList<QByteArray>>> files;
            Tree tree;
            for (auto it = now.cbegin(); it != now.cend(); ++it) {
                const QString parent = parentOf(it.key());
                if (it.key() == u"." || !folder[now.value(parent, 0)] || !now.contains(parent))
                    continue;
                if (folder[*it])
                    tree.insert(it.key() + u'/', {});
                else
                    files.append({it.key(), contents(*it, cut)});
            }
            std::function<void(qsizetype)> each = [&](qsizetype f) {
                if (f == files.size())
                    return visit(tree);
                for (const QByteArray& content : files[f].second) {
                    tree.insert(files[f].first, content);
                    each(f + 1);
                }
            };
            each(0);
        }
    }
};

// One user action and what the next start makes of its states.
struct Action {
    const char* name;
    std::function<void(TempWorkDir&)> files; // beyond the three items
    std::function<bool(DataDir&)> act;       // true: done without a warning
    bool finishedByTheNextStart = false;     // a merge
};

bool isTemporary(const QString& path) {
    const QString name = path.section(u'/', -1);
    return safe_file::isTemporaryName(name, name.left(name.lastIndexOf(u".yarukin-")));
}

bool isHistory(const QString& path) {
    return !path.contains(u'/') && path.endsWith(u".txt") && path != ItemList;
}

class PowerLoss : public ::testing::Test {
protected:
    void SetUp() override {
        shim_ = fault_shim::api();
        if (!shim_)
            GTEST_SKIP() << "the fault library is not preloaded (LD_PRELOAD=libfault_shim.so)";
        // Fsyncs cost nothing on a memory file system; the states need none to be durable.
        states_.emplace(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                            ? QStringLiteral("/dev/shm/yarukin-states-XXXXXX")
                            : QDir::tempPath() + QStringLiteral("/yarukin-states-XXXXXX"));
    }

    // Runs the action once, then checks every state a cut can leave.
    void explore(const Action& action) {
        SCOPED_TRACE(action.name);
        work_.emplace();
        writeTree(work_->path(), {{ItemList, "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n"},
                                  {QStringLiteral("A.txt"), record(10, 5)},
                                  {QStringLiteral("B.txt"), record(10, 6) + record(10, 7)},
                                  {QStringLiteral("C.txt"), record(10, 8).chopped(2)},
                                  {QStringLiteral("書き出し/"), {}}});
        if (action.files)
            action.files(*work_);
        old_ = readTree(work_->path());
        {
            DataDir data = work_->open();
            ASSERT_TRUE(data.LoadItemList().done);
            shim_->arm(QFile::encodeName(work_->path()).constData(), 0, FAULT_EIO);
            const bool done = action.act(data);
            shim_->disarm();
            ASSERT_TRUE(done);
        }
        new_ = readTree(work_->path());
        size_t length = 0;
        const char* steps = shim_->steps(&length);
        const Trace trace(old_, QByteArrayView(steps, qsizetype(length)));

        // The model's own check: all its changes made, it is the directory the action left.
        int lastTree = 0;
        trace.states(int(trace.changes.size()), true, [&](const Tree& tree) {
            EXPECT_TRUE(tree == new_) << "the model lost a step:" << describe(tree);
            ++lastTree;
        });
        EXPECT_EQ(lastTree, 1);

        QSet<QByteArray> seen[2]; // by model: POSIX, ext4
        int failures = 0;
        for (int cut = 0; cut <= trace.changes.size(); ++cut) {
            for (const bool ordered : {true, false}) {
                trace.states(cut, ordered, [&](const Tree& tree) {
                    QByteArray key;
                    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
                        key +=
                            it.key().toUtf8() + '\0' + QByteArray::number(it->size()) + '\0' + *it;
                    const bool first = !seen[0].contains(key) && !seen[1].contains(key);
                    seen[ordered].insert(key);
                    // Once the action returned, everything it reported is on the disk.
                    const bool returned = cut == trace.changes.size();
                    if (!first && !returned)
                        return;
                    const int before = failedChecks();
                    SCOPED_TRACE((ordered ? "ext4, cut after " : "POSIX, cut after ") +
                                 (cut ? trace.changes[cut - 1].step : std::string("nothing")) +
                                 describe(tree));
                    if (returned) {
                        EXPECT_TRUE(tree == new_)
                            << "reported, and lost; the action left:" << describe(new_);
                    }
                    if (first)
                        check(action, tree);
                    failures += failedChecks() > before;
                });
            }
        }
        const QSet<QByteArray> both = seen[0] + seen[1];
        std::printf("%-22s %2d changes, states: ext4 %4d, POSIX %4d, both %4d; failed %d\n",
                    action.name, int(trace.changes.size()), int(seen[1].size()),
                    int(seen[0].size()), int(both.size()), failures);
    }

    // What the next start makes of one state.
    void check(const Action& action, const Tree& state) {
        const auto between = [&](const QString& path, const std::optional<QByteArray>& now) {
            const auto value = [&](const Tree& tree) {
                return tree.contains(path) ? std::optional(tree[path]) : std::nullopt;
            };
            const std::optional<QByteArray> was = value(old_), will = value(new_);
            if (now == was || now == will)
                return true;
            // A history appended to: the record being written cut off at the end.
            return isHistory(path) && now && will && will->startsWith(*now) &&
                   (!was || now->startsWith(*was));
        };
        for (auto it = state.cbegin(); it != state.cend(); ++it) {
            if (!isTemporary(it.key())) {
                EXPECT_TRUE(between(it.key(), *it)) << it.key().toStdString();
            }
        }
        for (const Tree* tree : {&old_, &new_}) {
            for (auto it = tree->cbegin(); it != tree->cend(); ++it) {
                if (!state.contains(it.key())) {
                    EXPECT_TRUE(between(it.key(), std::nullopt)) << it.key().toStdString();
                }
            }
        }

        const QString root = states_->filePath(QStringLiteral("data"));
        writeTree(root, state);
        Expected<Folder> folder = Folder::open(root);
        ASSERT_TRUE(folder);
        DataDir data(std::move(*folder));
        ASSERT_EQ(data.lock(), DataDir::Lock::Held);
        EXPECT_TRUE(data.LoadItemList().done);
        EXPECT_TRUE(data.removeStrayTemporaries());
        EXPECT_TRUE(data.mergeConflictCopies().warnings.isEmpty());
        const Tree started = readTree(root);
        if (action.finishedByTheNextStart) {
            EXPECT_TRUE(started == new_) << "the merge is not whole:" << describe(started);
        }
        for (auto it = started.cbegin(); it != started.cend(); ++it) {
            // The export's temporary lies in the user's folder, which no start sweeps.
            const bool allowed = old_.contains(it.key()) || new_.contains(it.key()) ||
                                 (it.key().startsWith(u"書き出し/") && isTemporary(it.key()));
            EXPECT_TRUE(allowed) << "left after the next start: " << it.key().toStdString();
        }

        // A history cut off in a record: the next Next takes it up, every earlier record whole.
        for (int k = 1; k <= data.gymm().ItemCount(); ++k) {
            const QString name = data.gymm().ItemNames(k) + QStringLiteral(".txt");
            const QByteArray cut = started.value(name);
            if (cut.isEmpty() || cut.endsWith('\n'))
                continue;
            ASSERT_TRUE(data.record(k, 7, When.addSecs(60)).done) << name.toStdString();
            const Expected<HistoryFile> after = data.readHistory(data.gymm().ItemNames(k));
            ASSERT_TRUE(after);
            const auto lines = [](const QByteArray& bytes) {
                QList<QByteArray> all;
                records::LineScanner scanner(bytes);
                for (QByteArrayView line; scanner.next(line);)
                    all.append(line.toByteArray());
                return all;
            };
            const QList<QByteArray> earlier = lines(old_.value(name));
            const QList<QByteArray> now = lines(after->bytes().toByteArray());
            EXPECT_EQ(now.mid(0, earlier.size()), earlier) << name.toStdString();
            EXPECT_LE(now.size(), earlier.size() + 2) << name.toStdString();
            EXPECT_EQ(now.value(now.size() - 1),
                      history::recordBytes(When.addSecs(60), 7).chopped(2))
                << name.toStdString();
        }
    }

    const fault_shim::Api* shim_ = nullptr;
    std::optional<QTemporaryDir> states_;
    std::optional<TempWorkDir> work_;
    Tree old_, new_;
};

bool quiet(const Outcome& outcome) {
    return outcome.done && outcome.warnings.isEmpty();
}

TEST_F(PowerLoss, EveryStateOfEveryAction) {
    const QString copy = QStringLiteral("A (conflicted copy 2026-12-07 081500).txt");
    const QString listCopy = QStringLiteral("項目一覧 (conflicted copy 2026-12-07 081500).txt");
    const auto merge = [](DataDir& data) { return quiet(data.mergeConflictCopies()); };
    const Action actions[] = {
        {"次へ", {}, [](DataDir& data) { return quiet(data.record(1, 9, When)); }},
        {"次へ(after a break)",
         {},
         [](DataDir& data) { return quiet(data.record(1, 9, Stamp.addDays(400))); }},
        {"次へ(no line end)", {}, [](DataDir& data) { return quiet(data.record(3, 4, When)); }},
        {"次へ(new file)",
         [](TempWorkDir& dir) { QFile::remove(dir.path() + QStringLiteral("/B.txt")); },
         [](DataDir& data) { return quiet(data.record(2, 2, When)); }},
        {"登録",
         {},
         [](DataDir& data) {
             const DataDir::Registration registered = data.registerItem(QStringLiteral("D"), 12.5);
             return quiet(registered) && !registered.readBack;
         }},
        {"保存",
         {},
         [](DataDir& data) { return quiet(data.updateItem(2, QStringLiteral("B"), 15)); }},
        {"削除", {}, [](DataDir& data) { return quiet(data.deleteItem(2)); }},
        {"クリア", {}, [](DataDir& data) { return quiet(data.clearItem(2)); }},
        {"統合(history copy)",
         [&](TempWorkDir& dir) {
             QDir(dir.path()).mkdir(DataDir::MergedCopiesFolder);
             dir.write(copy, record(10, 5) + record(12, 7), Stamp);
         },
         merge, true},
        {"統合(list copy)",
         [&](TempWorkDir& dir) {
             QDir(dir.path()).mkdir(DataDir::MergedCopiesFolder);
             dir.write(listCopy, "\"A\",1\r\n\"E\",5\r\n", Stamp);
         },
         merge, true},
        {"統合(first copy)",
         [&](TempWorkDir& dir) { dir.write(copy, record(10, 5) + record(12, 7), Stamp); }, merge,
         true},
        {"掃除",
         [](TempWorkDir& dir) {
             dir.write(ItemList + QStringLiteral(".yarukin-Ab12Cd"), "\"A\",1\r\n", Stamp);
         },
         [](DataDir& data) { return bool(data.removeStrayTemporaries()); }},
        {"書き出し", [](TempWorkDir& dir) { dir.write(Export, "old export\r\n", Stamp); },
         [](DataDir& data) {
             const csv::Histories histories = csv::histories(data, std::nullopt, When);
             return !csv::checkTarget(data, Export) && histories.problems.isEmpty() &&
                    bool(csv::write(data, Export, histories));
         }},
    };
    for (const Action& action : actions)
        explore(action);
}

} // namespace
