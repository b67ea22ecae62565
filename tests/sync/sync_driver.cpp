// One computer's copy of the program, for the test with two real Syncthing instances: it opens
// the data directory as the program does (the lock, the sweep of stray temporary files, the
// item list, the merge of conflict copies) and then makes the data directory's calls that the
// lines on standard input ask for, one line each, with what the program would show on standard
// output (UTF-8, fields split by tabs), each answer closed by "ok":
//   record NAME        Next on the item of that name   recorded NAME COUNT | not recorded NAME
//   register NAME N    登録                             registered NAME | not registered NAME
//   delete P, clear P  削除, クリア of item P (from 1)    deleted NAME | cleared NAME | not done
//   merge              the merge of conflict copies    merged COPY ORIGINAL ADDED, merged list…
//   show               the item list as the training window reads it on opening: item NAME N
// Any action may add "list added|removed NAME", "list target NAME BEFORE AFTER" (the list was
// changed on the disk) and "warning FILE REASON". Counts rise from argv[2], one per Next, so
// every record can be told apart.
//   sync_driver DATA_DIR FIRST_COUNT
#include "data/data_dir.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

void say(const QStringList& fields) {
    const QByteArray line = fields.join(u'\t').toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

void tell(const Outcome& outcome) {
    if (const auto& change = outcome.listChanged) {
        for (const QString& name : change->added)
            say({QStringLiteral("list added"), name});
        for (const QString& name : change->removed)
            say({QStringLiteral("list removed"), name});
        for (const ListChange::Target& target : change->targets)
            say({QStringLiteral("list target"), target.name, QString::number(target.before),
                 QString::number(target.after)});
    }
    for (const FileProblem& problem : outcome.warnings)
        say({QStringLiteral("warning"), problem.fileName, problem.reason});
}

void merge(DataDir& data) {
    const DataDir::Merged merged = data.mergeConflictCopies();
    for (const DataDir::Merged::History& history : merged.histories)
        say({QStringLiteral("merged"), history.copy, history.original,
             QString::number(history.added)});
    if (!merged.listCopy.isEmpty())
        say({QStringLiteral("merged list"), merged.listCopy});
    for (const QString& name : merged.itemsAdded)
        say({QStringLiteral("item added"), name});
    for (const QString& name : merged.itemsLeftOut)
        say({QStringLiteral("item left out"), name});
    for (const ListChange::Target& target : merged.targetsDiffer)
        say({QStringLiteral("target differs"), target.name, QString::number(target.before),
             QString::number(target.after)});
    tell(merged);
}

int itemNumber(const GYMM& table, const QString& name) {
    for (int k = 1; k <= table.ItemCount(); ++k)
        if (table.ItemNames(k) == name)
            return k;
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sync_driver DATA_DIR FIRST_COUNT\n");
        return 2;
    }
    qint64 count = QByteArray(argv[2]).toLongLong();
    Expected<Folder> folder = Folder::open(QString::fromLocal8Bit(argv[1]));
    if (!folder) {
        std::fprintf(stderr, "sync_driver: %s\n", qPrintable(folder.error().reason));
        return 1;
    }
    DataDir data(std::move(*folder));
    if (data.lock() != DataDir::Lock::Held) {
        std::fprintf(stderr, "sync_driver: the data directory is not ours\n");
        return 1;
    }
    Outcome started;
    started.take(data.removeStrayTemporaries());
    tell(started);
    tell(data.LoadItemList());
    merge(data);
    say({QStringLiteral("ok")});

    for (std::string input; std::getline(std::cin, input);) {
        const QStringList words = QString::fromStdString(input).split(u' ', Qt::SkipEmptyParts);
        const QString command = words.value(0);
        const GYMM& table = data.gymm();
        const int p = words.value(1).toInt();
        const bool item = p >= 1 && p <= table.ItemCount();
        if (command == QLatin1String("record") && words.size() == 2) {
            const int k = itemNumber(table, words[1]);
            const DataDir::Recorded recorded =
                k ? data.record(k, double(count), QDateTime::currentDateTime())
                  : DataDir::Recorded{};
            say(recorded.done
                    ? QStringList{QStringLiteral("recorded"), words[1], QString::number(count)}
                    : QStringList{QStringLiteral("not recorded"), words[1]});
            ++count;
            tell(recorded);
        } else if (command == QLatin1String("register") && words.size() == 3) {
            const DataDir::Registration registered =
                data.registerItem(words[1], words[2].toDouble());
            say({registered.done ? QStringLiteral("registered") : QStringLiteral("not registered"),
                 words[1]});
            tell(registered);
            if (registered.readBack)
                say({QStringLiteral("warning"), registered.readBack->fileName,
                     registered.readBack->reason});
        } else if ((command == QLatin1String("delete") || command == QLatin1String("clear")) &&
                   words.size() == 2 && item) {
            const QString name = table.ItemNames(p);
            const bool deleting = command == QLatin1String("delete");
            const Outcome outcome = deleting ? data.deleteItem(p) : data.clearItem(p);
            say({outcome.done ? (deleting ? QStringLiteral("deleted") : QStringLiteral("cleared"))
                              : QStringLiteral("not done"),
                 name});
            tell(outcome);
        } else if (command == QLatin1String("merge") && words.size() == 1) {
            merge(data);
        } else if (command == QLatin1String("show") && words.size() == 1) {
            tell(data.LoadItemList());
            for (int k = 1; k <= table.ItemCount(); ++k)
                say({QStringLiteral("item"), table.ItemNames(k),
                     QString::number(table.ItemTargets(k))});
        } else {
            say({QStringLiteral("error"), QString::fromStdString(input)});
        }
        say({QStringLiteral("ok")});
    }
    return 0;
}
