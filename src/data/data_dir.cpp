#include "data/data_dir.h"

#include "base/text_to_number.h"
#include "data/safe_file.h"

#include <QHash>
#include <algorithm>
#include <cerrno>
#include <sys/file.h>

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

DataDir::ListState DataDir::checkList(Outcome& outcome, bool goesOn, FileBytes& current) {
    Expected<FileBytes> read = safe_file::readAll(folder_, ItemListFileName);
    if (!read) {
        // A change of the list cannot be made without the list: it is the write that failed.
        // Next has recorded all the same, and only could not look at the list.
        FileProblem problem = read.error();
        if (!goesOn)
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
    change.goesOn = goesOn;
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
    if (checkList(recorded, true, current) == ListState::Known)
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
    switch (checkList(registration, false, current)) {
    case ListState::Known:
        break;
    case ListState::Unreadable: // the append cannot be made without the records before it
    case ListState::Changed:
        return registration;
    }
    QByteArray bytes = current.bytes.view().toByteArray();
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append("\r\n");
    bytes.append(*record);
    if (!registration.take(safe_file::replace(folder_, ItemListFileName, bytes)))
        return registration;
    know(false, bytes);
    registration.done = true;
    // The item is registered; a history file that cannot be made now is made by its first
    // recorded count, and the history view shows none until then.
    registration.take(history::create(folder_, name));

    std::vector<GYMM::Item> written = gymm_.items_;
    written.push_back({name, GYMM::parse(*record).front().target, record->chopped(2)});
    readBackAfter(std::move(written), registration, &registration.readBack);
    registration.name = gymm_.ItemCount() > 0 ? gymm_.ItemNames(gymm_.ItemCount()) : name;
    return registration;
}

Outcome DataDir::updateItem(int p, const QString& name, qint16 target) {
    Outcome outcome;
    FileBytes current;
    if (checkList(outcome, false, current) != ListState::Known)
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
    if (checkList(outcome, false, current) != ListState::Known)
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
    if (checkList(outcome, false, current) != ListState::Known)
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
