#include "data/data_dir.h"

#include "base/text_to_number.h"
#include "data/conflicts.h"
#include "data/safe_file.h"

#include <QFile>

#include <QHash>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Action = FileProblem::Action;

FileProblem unencodable(const QString& name) {
    return {Action::Write, ItemListFileName,
            QStringLiteral("項目名「%1」に保存できない文字が含まれています").arg(name)};
}

bool sameTable(const std::vector<GYMM::Item>& a, const std::vector<GYMM::Item>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.name == y.name && x.target == y.target &&
               (!historyNameProblem(x.name) || x.asRead == y.asRead);
    });
}

// How the table `after` differs from `before`: names that came and went (as many times as
// they did), and the targets of names in both, paired occurrence by occurrence.
ListChange differences(const std::vector<GYMM::Item>& before,
                       const std::vector<GYMM::Item>& after) {
    ListChange change;
    QHash<QString, QList<qint16>> was, is;
    for (const GYMM::Item& item : before)
        was[item.name].append(item.target);
    for (const GYMM::Item& item : after)
        is[item.name].append(item.target);
    QHash<QString, int> seen;
    for (const GYMM::Item& item : after) {
        const int n = seen[item.name]++;
        const QList<qint16>& old = was.value(item.name);
        if (n >= old.size())
            change.added.append(item.name);
        else if (old[n] != item.target)
            change.targets.append({item.name, old[n], item.target});
    }
    seen.clear();
    for (const GYMM::Item& item : before)
        if (seen[item.name]++ >= is.value(item.name).size())
            change.removed.append(item.name);
    return change;
}

} // namespace

DataDir::Lock DataDir::lock() {
    int result;
    while ((result = ::flock(folder_.fd(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0)
        return Lock::Held;
    return errno == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Unavailable;
}

Step DataDir::removeStrayTemporaries() {
    return safe_file::removeStrayTemporaries(folder_, ItemListFileName);
}

Outcome DataDir::LoadItemList() {
    Outcome outcome;
    gymm_.items_.clear();
    known_ = {};
    const Expected<FileBytes> read = safe_file::readAll(folder_, ItemListFileName);
    if (!read) {
        outcome.warn(read.error());
        return outcome;
    }
    gymm_.items_ = GYMM::parse(read->bytes.view());
    know(read->missing, read->bytes.view());
    outcome.done = true;
    return outcome;
}

void DataDir::know(bool missing, QByteArrayView bytes) {
    known_ = {true, missing, bytes.toByteArray()};
}

DataDir::ListState DataDir::checkList(Outcome& outcome, ListChange::Then then, FileBytes& current) {
    Expected<FileBytes> read = safe_file::readAll(folder_, ItemListFileName);
    if (!read) {
        // A change of the list cannot be made without the list: it is the write that failed.
        // Next has recorded all the same, and only could not look at the list.
        FileProblem problem = read.error();
        if (then == ListChange::Then::TryAgain)
            problem.action = Action::Write;
        outcome.warn(problem);
        return ListState::Unreadable;
    }
    current = std::move(*read);
    // The program never removes the item list: a list gone missing is written again from the
    // table, as every rewrite always has, rather than taken for a list without items.
    if (known_.valid && (current.missing ||
                         (!known_.missing && current.bytes.view() == QByteArrayView(known_.bytes))))
        return ListState::Known;
    std::vector<GYMM::Item> items = GYMM::parse(current.bytes.view());
    know(current.missing, current.bytes.view());
    // Bytes written otherwise for the same table (another computer's program rounded a
    // fraction, say) change nothing the user knows of.
    if (sameTable(items, gymm_.items_))
        return ListState::Known;
    ListChange change = differences(gymm_.items_, items);
    change.then = then;
    outcome.listChanged = std::move(change);
    gymm_.items_ = std::move(items);
    return ListState::Changed;
}

Step DataDir::writeItems(const std::vector<GYMM::Item>& items) {
    QString name;
    const std::optional<QByteArray> bytes = GYMM::render(items, &name);
    if (!bytes)
        return unencodable(name);
    Step written = safe_file::replace(folder_, ItemListFileName, *bytes);
    if (written)
        know(false, *bytes);
    return written;
}

Step DataDir::rewriteUnchanged(const FileBytes& current) {
    QString name;
    const std::optional<QByteArray> bytes = GYMM::render(gymm_.items_, &name);
    if (!bytes)
        return unencodable(name);
    // The usual case: the file holds these bytes already, and a replace would change nothing
    // but cost three flushes (and fail in a directory the user may not write to).
    if (!current.missing && current.bytes.view() == QByteArrayView(*bytes))
        return stepDone();
    return writeItems(gymm_.items_);
}

void DataDir::readBackAfter(std::vector<GYMM::Item> written, Outcome& outcome,
                            std::optional<FileProblem>* problem) {
    const Known writtenBytes = known_;
    const Outcome loaded = LoadItemList();
    if (loaded.done)
        return;
    gymm_.items_ = std::move(written);
    known_ = writtenBytes; // what was written is on the disk, read back or not
    if (problem)
        *problem = loaded.warnings.value(0);
    else
        outcome.warnings += loaded.warnings;
}

DataDir::Recorded DataDir::record(int k, double count, const QDateTime& when) {
    Recorded recorded;
    const Step appended = history::append(folder_, gymm_.ItemNames(k), count, when);
    // A name no history file can carry (hand-edited into the item list) can never be
    // recorded; the workout goes on past it rather than ending there.
    if (!appended && appended.error().action == Action::UnusableName) {
        recorded.warn(appended.error());
        recorded.movesOn = true;
        return recorded;
    }
    if (!recorded.take(appended))
        return recorded; // the same item stays, with its count, for another try
    recorded.done = recorded.movesOn = true;
    FileBytes current;
    if (checkList(recorded, ListChange::Then::Recorded, current) == ListState::Known)
        recorded.take(rewriteUnchanged(current));
    return recorded;
}

DataDir::Registration DataDir::registerItem(const QString& name, double target) {
    Registration registration;
    const QByteArray targetText = NumberText(target).toLatin1();
    const std::optional<QByteArray> record = itemRecord(name, targetText);
    if (!record) {
        registration.warn(unencodable(name));
        return registration;
    }
    // The append keeps every earlier byte: the file is replaced with its old bytes and the
    // record, so that no crash can leave half a record behind.
    FileBytes current;
    switch (checkList(registration, ListChange::Then::TryAgain, current)) {
    case ListState::Known:
        break;
    case ListState::Unreadable: // the append cannot be made without the records before it
    case ListState::Changed:
        return registration;
    }
    QByteArray bytes = current.bytes.view().toByteArray();
    // A list gone missing is written again from the table before the record is added: an
    // append to nothing would leave the new item alone in the list.
    if (current.missing) {
        QString unencodableName;
        bytes = GYMM::render(gymm_.items_, &unencodableName).value_or(QByteArray());
    }
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append("\r\n");
    bytes.append(*record);
    if (!registration.take(safe_file::replace(folder_, ItemListFileName, bytes)))
        return registration;
    know(false, bytes);
    registration.done = true;
    // The name as the file gives it back (a wave dash is written as the byte that reads back
    // as a full-width tilde): every later step names the history file after that one.
    const GYMM::Item item = GYMM::parse(*record).front();
    // The item is registered; a history file that cannot be made now is made by its first
    // recorded count, and the history view shows none until then.
    registration.take(history::create(folder_, item.name));

    std::vector<GYMM::Item> written = gymm_.items_;
    written.push_back({item.name, item.target, record->chopped(2)});
    readBackAfter(std::move(written), registration, &registration.readBack);
    registration.name = gymm_.ItemCount() > 0 ? gymm_.ItemNames(gymm_.ItemCount()) : item.name;
    return registration;
}

Outcome DataDir::updateItem(int p, const QString& name, qint16 target) {
    Outcome outcome;
    FileBytes current;
    if (checkList(outcome, ListChange::Then::TryAgain, current) != ListState::Known)
        return outcome;
    std::vector<GYMM::Item> changed = gymm_.items_;
    changed.at(static_cast<size_t>(p - 1)) = {name, target, {}};
    if (!outcome.take(writeItems(changed)))
        return outcome;
    gymm_.items_ = std::move(changed);
    outcome.done = true;
    return outcome;
}

Outcome DataDir::deleteItem(int p) {
    Outcome outcome;
    FileBytes current;
    if (checkList(outcome, ListChange::Then::TryAgain, current) != ListState::Known)
        return outcome;
    // The history file to go is the deleted item's own, whatever a window shows.
    const QString deleted = gymm_.ItemNames(p);
    std::vector<GYMM::Item> rest = gymm_.items_;
    rest.erase(rest.begin() + (p - 1));
    if (!outcome.take(writeItems(rest)))
        return outcome;
    outcome.done = true;
    readBackAfter(std::move(rest), outcome);
    // Another item of the same name still uses the history file.
    if (gymm_.contains(deleted))
        return outcome;
    if (const auto refused = history::refusal(deleted))
        outcome.warn({Action::LeftAlone, deleted, refused->reason});
    else
        outcome.take(history::remove(folder_, deleted));
    return outcome;
}

Outcome DataDir::clearItem(int p) {
    Outcome outcome;
    const QString cleared = gymm_.ItemNames(p);
    if (const auto refused = history::refusal(cleared)) {
        outcome.warn(*refused);
        return outcome;
    }
    FileBytes current;
    if (checkList(outcome, ListChange::Then::TryAgain, current) != ListState::Known)
        return outcome;
    if (!outcome.take(rewriteUnchanged(current)))
        return outcome;
    if (!outcome.take(history::empty(folder_, cleared)))
        return outcome;
    outcome.done = true;
    return outcome;
}

std::optional<FileProblem> DataDir::refusal(int p) const {
    return history::refusal(gymm_.ItemNames(p));
}

Expected<HistoryFile> DataDir::readHistory(const QString& itemName) const {
    return HistoryFile::read(folder_, itemName);
}

Expected<DatedHistory> DataDir::readDatedHistory(const QString& itemName,
                                                 const QDateTime& now) const {
    return DatedHistory::read(folder_, itemName, now);
}

const QString DataDir::MergedCopiesFolder = QStringLiteral("統合済みの競合コピー");

DataDir::Merged DataDir::mergeConflictCopies() {
    Merged merged;
    const Expected<QStringList> names = safe_file::namesIn(folder_);
    if (!names) {
        merged.warn(names.error());
        return merged;
    }
    QStringList sorted = *names;
    sorted.sort();
    for (const QString& name : sorted) {
        const std::optional<conflicts::Copy> copy = conflicts::recognise(name);
        if (!copy)
            continue;
        // A registered item may bear such a name itself: its history is no copy.
        if (gymm_.contains(name.chopped(4)))
            continue;
        if (copy->original == ItemListFileName)
            mergeListCopy(name, merged);
        else if (!history::refusal(copy->original.chopped(4)))
            mergeHistoryCopy(name, copy->original, merged);
    }
    merged.done = merged.any();
    return merged;
}

bool DataDir::mergeHistoryCopy(const QString& copy, const QString& original, Merged& merged) {
    const Expected<FileBytes> theirs = safe_file::readAll(folder_, copy);
    if (!theirs || theirs->missing) {
        if (!theirs)
            merged.warn(theirs.error());
        return false;
    }
    const Expected<FileBytes> ours = safe_file::readAll(folder_, original);
    if (!ours) {
        merged.warn(ours.error());
        return false;
    }
    int added = 0;
    const QByteArray bytes = conflicts::mergeHistories(
        ours->bytes.view(), ours->modified, theirs->bytes.view(), theirs->modified, &added);
    if (added > 0 && !merged.take(safe_file::replace(folder_, original, bytes)))
        return false;
    if (!merged.take(moveAside(copy)))
        return false;
    merged.histories.append({copy, original, added});
    return true;
}

bool DataDir::mergeListCopy(const QString& copy, Merged& merged) {
    const Expected<FileBytes> theirs = safe_file::readAll(folder_, copy);
    if (!theirs || theirs->missing) {
        if (!theirs)
            merged.warn(theirs.error());
        return false;
    }
    // What the user knew before: the list the sync tool kept may lack what this computer added,
    // which the copy brings back, so only the change of both together is told.
    const std::vector<GYMM::Item> before = gymm_.items_;
    FileBytes current;
    Outcome checked;
    const ListState state = checkList(checked, ListChange::Then::Noted, current);
    merged.warnings += checked.warnings;
    if (state == ListState::Unreadable)
        return false;
    QByteArray bytes = current.bytes.view().toByteArray();
    if (current.missing) { // written again from the table, as every rewrite does
        QString unencodableName;
        bytes = GYMM::render(gymm_.items_, &unencodableName).value_or(QByteArray());
    }
    std::vector<GYMM::Item> items = GYMM::parse(bytes);
    QStringList added;
    for (const GYMM::Item& item : GYMM::parse(theirs->bytes.view())) {
        const auto same = std::find_if(items.begin(), items.end(), [&](const GYMM::Item& mine) {
            return mine.name == item.name;
        });
        if (same != items.end()) {
            if (same->target != item.target && !added.contains(item.name))
                merged.targetsDiffer.append({item.name, same->target, item.target});
            continue;
        }
        if (items.size() >= size_t(MaxItems)) {
            merged.itemsLeftOut.append(item.name);
            continue;
        }
        // The copy's record as the copy holds it: the list takes it byte for byte.
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            bytes.append("\r\n");
        bytes.append(item.asRead).append("\r\n");
        items.push_back(item);
        added.append(item.name);
    }
    if (!added.isEmpty()) {
        if (!merged.take(safe_file::replace(folder_, ItemListFileName, bytes)))
            return false;
        know(false, bytes);
        gymm_.items_ = std::move(items);
    }
    if (!merged.take(moveAside(copy)))
        return false;
    merged.itemsAdded += added;
    merged.listCopy = copy;
    // The items the copy brings are told as such; a list the tool replaced is told as well.
    if (state == ListState::Changed && !sameTable(before, gymm_.items_)) {
        ListChange change = differences(before, gymm_.items_);
        change.then = ListChange::Then::Noted;
        merged.listChanged = std::move(change);
    }
    return true;
}

Step DataDir::moveAside(const QString& copy) {
    const QByteArray folderName = QFile::encodeName(MergedCopiesFolder);
    if (::mkdirat(folder_.fd(), folderName.constData(), 0777) != 0 && errno != EEXIST)
        return FileProblem{Action::Write, MergedCopiesFolder, safe_file::systemReason(errno)};
    struct stat info {};
    if (::fstatat(folder_.fd(), folderName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(info.st_mode))
        return FileProblem{Action::Write, MergedCopiesFolder,
                           QStringLiteral("フォルダーではありません")};
    const QString stem = copy.chopped(4);
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? copy : QStringLiteral("%1 (%2).txt").arg(stem).arg(n);
        const QByteArray to = folderName + '/' + QFile::encodeName(name);
        if (::renameat2(folder_.fd(), QFile::encodeName(copy).constData(), folder_.fd(),
                        to.constData(), RENAME_NOREPLACE) == 0)
            break;
        if (errno != EEXIST || n > 1000)
            return FileProblem{Action::Write, copy, safe_file::systemReason(errno)};
    }
    // Both entries must reach the disk: the copy's name gone here, and there in the folder.
    const int moved = ::openat(folder_.fd(), folderName.constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    const bool durable = moved >= 0 && ::fsync(moved) == 0 && ::fsync(folder_.fd()) == 0;
    const int error = errno;
    if (moved >= 0)
        ::close(moved);
    if (!durable)
        return Done{FileProblem{Action::Unconfirmed, copy, safe_file::systemReason(error)}};
    return stepDone();
}
