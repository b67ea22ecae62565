#include "data/data_dir.h"

#include "base/text_to_number.h"
#include "data/conflicts.h"
#include "data/kept_years.h"
#include "data/safe_file.h"

namespace {

using Action = FileProblem::Action;

FileProblem unencodable(const QString& name) {
    return {Action::Write, ItemListFileName,
            QStringLiteral("項目名「%1」に保存できない文字が含まれています").arg(name)};
}

} // namespace

Step DataDir::removeStrayTemporaries() {
    // The kept years' temporary too, when a crash came before the file's first write.
    return safe_file::removeStrayTemporaries(folder_, {ItemListFileName, kept_years::FileName});
}

Outcome DataDir::LoadItemList() {
    Outcome outcome;
    gymm_.items_.clear();
    known_ = {};
    const Expected<FileBytes> read = safe_file::readAll(folder_, ItemListFileName);
    if (!outcome.take(read))
        return outcome;
    gymm_.items_ = GYMM::parse(read->bytes.view());
    known_.know(read->missing, read->bytes.view());
    outcome.done = true;
    return outcome;
}

Outcome DataDir::followList() {
    Outcome outcome;
    const Expected<KnownList::Check> list = checkList(ListChange::Then::Noted);
    if ((outcome.done = outcome.take(list)))
        outcome.noteChange(list->change);
    return outcome;
}

Expected<KnownList::Check> DataDir::checkList(ListChange::Then then) {
    Expected<KnownList::Check> list = known_.check(folder_, gymm_.items_, then);
    if (!list) {
        // A change of the list cannot be made without the list: it is the write that failed.
        // Next has recorded all the same, and only could not look at the list.
        FileProblem problem = list.error();
        if (then == ListChange::Then::TryAgain)
            problem.action = Action::Write;
        return problem;
    }
    if (list->change)
        gymm_.items_ = list->items;
    return list;
}

Step DataDir::writeItems(const std::vector<GYMM::Item>& items) {
    QString name;
    const std::optional<QByteArray> bytes = GYMM::render(items, &name);
    if (!bytes)
        return unencodable(name);
    Step written = safe_file::replace(folder_, ItemListFileName, *bytes);
    if (written)
        known_.know(false, *bytes);
    return written;
}

Step DataDir::rewriteUnchanged(const FileBytes& current) {
    if (rendered_.isNull() || renderedFrom_ != gymm_.items_) {
        QString name;
        std::optional<QByteArray> bytes = GYMM::render(gymm_.items_, &name);
        if (!bytes)
            return unencodable(name);
        rendered_ = std::move(*bytes);
        renderedFrom_ = gymm_.items_;
    }
    // The usual case: the file holds these bytes already, and a replace would change nothing
    // but cost three flushes (and fail in a directory the user may not write to).
    if (!current.missing && current.bytes.view() == QByteArrayView(rendered_))
        return stepDone();
    return writeItems(gymm_.items_);
}

std::optional<FileProblem> DataDir::readBackAfter(std::vector<GYMM::Item> written) {
    const KnownList writtenBytes = known_;
    const Outcome loaded = LoadItemList();
    if (loaded.done)
        return std::nullopt;
    gymm_.items_ = std::move(written);
    known_ = writtenBytes; // what was written is on the disk, read back or not
    return loaded.warnings.value(0);
}

DataDir::Recorded DataDir::record(int k, double count, const QDateTime& when) {
    Recorded recorded;
    const QString& name = gymm_.ItemNames(k);
    // How the history looked before: after a long break its time is the last word on which
    // year its records belong to, which the append is about to overwrite.
    const std::optional<safe_file::Looks> before =
        history::refusal(name) ? std::nullopt : safe_file::looksOf(folder_, historyFileName(name));
    const Step appended = history::append(folder_, name, count, when);
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
    if (before)
        kept_years::noteAppend(folder_, name, before->size, before->modified, when);
    const Expected<KnownList::Check> list = checkList(ListChange::Then::Recorded);
    if (recorded.take(list) && !recorded.noteChange(list->change))
        recorded.take(rewriteUnchanged(list->current));
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
    // record, so that no crash can leave half a record behind. It cannot be made without the
    // records before it, nor on a list that changed.
    const Expected<KnownList::Check> list = checkList(ListChange::Then::TryAgain);
    if (!registration.take(list) || registration.noteChange(list->change))
        return registration;
    QByteArray bytes = list->current.bytes.view().toByteArray();
    // A list gone missing is written again from the table before the record is added: an
    // append to nothing would leave the new item alone in the list.
    if (list->current.missing) {
        QString unencodableName;
        bytes = GYMM::render(gymm_.items_, &unencodableName).value_or(QByteArray());
    }
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append("\r\n");
    bytes.append(*record);
    if (!registration.take(safe_file::replace(folder_, ItemListFileName, bytes)))
        return registration;
    known_.know(false, bytes);
    registration.done = true;
    // The name as the file gives it back (a wave dash is written as the byte that reads back
    // as a full-width tilde): every later step names the history file after that one.
    const GYMM::Item item = GYMM::parse(*record).front();
    // The item is registered; a history file that cannot be made now is made by its first
    // recorded count, and the history view shows none until then.
    registration.take(history::create(folder_, item.name));

    std::vector<GYMM::Item> written = gymm_.items_;
    written.push_back({item.name, item.target, record->chopped(2)});
    registration.readBack = readBackAfter(std::move(written));
    registration.name = gymm_.ItemCount() > 0 ? gymm_.ItemNames(gymm_.ItemCount()) : item.name;
    return registration;
}

Outcome DataDir::updateItem(int p, const QString& name, qint16 target) {
    Outcome outcome;
    const Expected<KnownList::Check> list = checkList(ListChange::Then::TryAgain);
    if (!outcome.take(list) || outcome.noteChange(list->change))
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
    const Expected<KnownList::Check> list = checkList(ListChange::Then::TryAgain);
    if (!outcome.take(list) || outcome.noteChange(list->change))
        return outcome;
    // The history file to go is the deleted item's own, whatever a window shows.
    const QString deleted = gymm_.ItemNames(p);
    std::vector<GYMM::Item> rest = gymm_.items_;
    rest.erase(rest.begin() + (p - 1));
    if (!outcome.take(writeItems(rest)))
        return outcome;
    outcome.done = true;
    if (const std::optional<FileProblem> problem = readBackAfter(std::move(rest)))
        outcome.warn(*problem);
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
    const Expected<KnownList::Check> list = checkList(ListChange::Then::TryAgain);
    if (!outcome.take(list) || outcome.noteChange(list->change))
        return outcome;
    if (!outcome.take(rewriteUnchanged(list->current)))
        return outcome;
    if (!outcome.take(history::empty(folder_, cleared)))
        return outcome;
    outcome.done = true;
    return outcome;
}

DataDir::Merged DataDir::mergeConflictCopies() {
    return conflicts::Merge(folder_, gymm_.items_, known_).run();
}

std::optional<FileProblem> DataDir::refusal(int p) const {
    return history::refusal(gymm_.ItemNames(p));
}

Expected<HistoryFile> DataDir::readHistory(const QString& itemName) const {
    return HistoryFile::read(folder_, itemName);
}

Expected<DatedHistory> DataDir::readDatedHistory(const QString& itemName,
                                                 const QDateTime& now) const {
    return DatedHistory::read(folder_, itemName, now, kept_years::read(folder_).value(itemName));
}

QStringList DataDir::historiesWithoutItem(const QStringList& known) const {
    const Expected<QStringList> names = safe_file::namesIn(folder_);
    if (!names)
        return {};
    const QString suffix = historyFileName(QString());
    QStringList found;
    // A temporary ends in six letters or digits, never in ".txt"; the item list's name is
    // one no item can take.
    for (const QString& fileName : *names) {
        if (!fileName.endsWith(suffix) || conflicts::recognise(fileName))
            continue;
        const QString name = fileName.chopped(suffix.size());
        if (gymm_.contains(name) || historyNameProblem(name) || historyFileName(name) != fileName)
            continue;
        if (known.contains(name)) {
            found.append(name);
            continue;
        }
        const Expected<HistoryFile> file = HistoryFile::read(folder_, name);
        if (!file || file->count() == 0)
            continue;
        bool records = true;
        for (int i = 0; i < file->count() && records; ++i) {
            const auto fields = file->fields(i);
            records = dating::parseStamp(fields[0], fields[1]).has_value();
        }
        if (records)
            found.append(name);
    }
    found.sort();
    return found;
}
