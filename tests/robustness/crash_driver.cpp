// The data directory driven by its own calls, workout after workout, until it is killed: a Next
// for every item in turn, then a 保存 that changes the first item's target back and forth, so
// that the item list is replaced too. Run in a data directory by the crash test, which kills it
// with SIGKILL at random moments. It starts as the program does (the lock, the sweep of what
// a crash left, the item list), says "started" on standard output, then waits for a line on
// standard input before its first call; it says "recorded <item> <count>" after each Next that
// recorded without a warning, and "warning <reason>" after any warning. The counts rise from
// argv[1] so that every record can be told apart.
#include "data/data_dir.h"

#include <QByteArray>
#include <QDateTime>
#include <unistd.h>

namespace {

// Straight to the file descriptor: what is said here must be out before a kill can come.
void say(const QByteArray& line) {
    const QByteArray text = line + '\n';
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done,
                                  static_cast<size_t>(text.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

bool warned(const Outcome& outcome) {
    if (outcome.warnings.isEmpty())
        return false;
    say("warning " + outcome.warnings[0].fileName.toUtf8() + ": " +
        outcome.warnings[0].reason.toUtf8());
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1;
    Expected<Folder> folder = Folder::open(QString());
    if (!folder)
        return 1;
    DataDir data(std::move(*folder));
    if (data.lock() != DataDir::Lock::Held)
        return 1;
    Outcome swept;
    swept.take(data.removeStrayTemporaries());
    if (warned(swept) || warned(data.LoadItemList()) || data.gymm().ItemCount() == 0)
        return 1;
    say("started");
    char go[8];
    if (::read(STDIN_FILENO, go, sizeof go) <= 0) // the test has looked at the directory
        return 1;

    const GYMM& table = data.gymm();
    const QString first = table.ItemNames(1);
    // Between an even target and the one above it, whichever of the two the list holds now.
    const qint16 target = qint16(table.ItemTargets(1) & ~1);
    for (int round = 0;; ++round) {
        for (int k = 1; k <= table.ItemCount(); ++k) {
            const QString name = table.ItemNames(k);
            if (!warned(data.record(k, double(count), QDateTime::currentDateTime())))
                say("recorded " + name.toUtf8() + ' ' + QByteArray::number(count));
            ++count;
        }
        warned(data.updateItem(1, first, qint16(target + round % 2)));
    }
}
