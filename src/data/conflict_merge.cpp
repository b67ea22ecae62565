#include "data/conflict_merge.h"

#include "data/conflicts.h"
#include "data/history.h"
#include "data/kept_years.h"
#include "data/safe_file.h"

#include <QDebug>
#include <algorithm>

namespace conflicts {
namespace {

// How the table changed for the user, if it did.
std::optional<ListChange> noted(const std::vector<GYMM::Item>& before,
                                const std::vector<GYMM::Item>& after) {
    if (sameTable(before, after))
        return std::nullopt;
    ListChange change = differences(before, after);
    change.then = ListChange::Then::Noted;
    return change;
}

} // namespace

Merged Merge::run() {
    merged_ = {};
    const Expected<QStringList> names = safe_file::namesIn(folder_);
    if (!names) {
        merged_.warn(names.error());
        return merged_;
    }
    QStringList sorted = *names;
    sorted.sort();
    // The kept years first: the histories' merge dates their records with them.
    for (const QString& name : sorted)
        if (const std::optional<Copy> copy = recognise(name);
            copy && copy->original == kept_years::FileName)
            mergeKeptCopy(name);
    for (const QString& name : sorted) {
        const std::optional<Copy> copy = recognise(name);
        if (!copy || copy->original == kept_years::FileName)
            continue;
        // A registered item may bear such a name itself: its history is no copy.
        if (std::any_of(table_.begin(), table_.end(),
                        [&](const GYMM::Item& item) { return item.name == name.chopped(4); }))
            continue;
        if (copy->original == ItemListFileName)
            mergeListCopy(name);
        else if (!history::refusal(copy->original.chopped(4)))
            mergeHistoryCopy(name, copy->original);
    }
    merged_.done = !merged_.histories.isEmpty() || !merged_.listCopy.isEmpty();
    return merged_;
}

void Merge::mergeHistoryCopy(const QString& copy, const QString& original) {
    const Expected<FileBytes> theirs = safe_file::readAll(folder_, copy);
    if (!theirs || theirs->missing) {
        if (!theirs)
            merged_.warn(theirs.error());
        return;
    }
    const QString item = original.chopped(4);
    kept_years::Anchors kept;
    std::vector<dating::Anchor> anchors;
    int added = 0;
    // The sync tool may bring the other computer's history while the merge is made from this
    // one's (both go on recording): then the merge is made again from what it brought.
    for (int attempt = 1;; ++attempt) {
        const std::optional<safe_file::Looks> seen = safe_file::looksOf(folder_, original);
        const Expected<FileBytes> ours = safe_file::readAll(folder_, original);
        if (!merged_.take(ours))
            return;
        kept = kept_years::read(folder_);
        anchors.clear();
        added = 0;
        const QByteArray bytes =
            mergeHistories(ours->bytes.view(), ours->modified, theirs->bytes.view(),
                           theirs->modified, &added, kept.value(item), &anchors);
        if (added == 0)
            break;
        const std::optional<Step> replaced =
            safe_file::replaceUnlessChanged(folder_, original, bytes, seen);
        if (replaced) {
            if (!merged_.take(*replaced))
                return;
            break;
        }
        if (attempt == 5) // still changing: the copy stays, to be merged at the next start
            return;
    }
    // The merged file's years as the merge dated them; the kept file is no reason to stop.
    if (added > 0 && kept.value(item) != anchors) {
        kept[item] = std::move(anchors);
        if (const Step written = kept_years::write(folder_, kept); !written)
            qWarning() << "kept years unwritten:" << written.error().reason;
    }
    if (!merged_.take(safe_file::moveInto(folder_, copy, MergedCopiesFolder)))
        return;
    merged_.histories.append({copy, original, added});
}

void Merge::mergeKeptCopy(const QString& copy) {
    // Quietly: the kept years change no record and nothing the user sees but dates, and a copy
    // that cannot be merged costs those at most.
    const Expected<FileBytes> theirs = safe_file::readAll(folder_, copy);
    if (!theirs || theirs->missing || theirs->bytes.size() > (qsizetype(1) << 20))
        return;
    const kept_years::Anchors ours = kept_years::read(folder_);
    const kept_years::Anchors both =
        kept_years::merged(ours, kept_years::parse(theirs->bytes.view()));
    if (both != ours && !kept_years::write(folder_, both))
        return;
    if (!safe_file::moveInto(folder_, copy, MergedCopiesFolder))
        qWarning() << "kept years' copy not moved:" << copy;
}

void Merge::mergeListCopy(const QString& copy) {
    const Expected<FileBytes> theirs = safe_file::readAll(folder_, copy);
    if (!theirs || theirs->missing) {
        if (!theirs)
            merged_.warn(theirs.error());
        return;
    }
    // What the user knew before: the list the sync tool kept may lack what this computer added,
    // which the copy brings back, so only the change of both together is told.
    const std::vector<GYMM::Item> before = table_;
    const Expected<KnownList::Check> checked =
        known_.check(folder_, table_, ListChange::Then::Noted);
    if (!merged_.take(checked))
        return;
    if (checked->change) {
        table_ = checked->items;
        // Told even when the merge stops below: the table is the list on the disk now.
        merged_.noteChange(noted(before, table_));
    }
    QByteArray bytes = checked->current.bytes.view().toByteArray();
    if (checked->current.missing) { // written again from the table, as every rewrite does
        QString unencodableName;
        bytes = GYMM::render(table_, &unencodableName).value_or(QByteArray());
    }
    std::vector<GYMM::Item> items = GYMM::parse(bytes);
    QStringList added;
    for (const GYMM::Item& item : GYMM::parse(theirs->bytes.view())) {
        const auto same = std::find_if(items.begin(), items.end(), [&](const GYMM::Item& mine) {
            return mine.name == item.name;
        });
        if (same != items.end()) {
            if (same->target != item.target && !added.contains(item.name))
                merged_.targetsDiffer.append({item.name, same->target, item.target});
            continue;
        }
        if (items.size() >= size_t(MaxItems)) {
            merged_.itemsLeftOut.append(item.name);
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
        if (!merged_.take(safe_file::replace(folder_, ItemListFileName, bytes)))
            return;
        known_.know(false, bytes);
        table_ = std::move(items);
    }
    if (!merged_.take(safe_file::moveInto(folder_, copy, MergedCopiesFolder)))
        return;
    merged_.itemsAdded += added;
    merged_.listCopy = copy;
    // The items the copy brings are told as such; a list the tool replaced is told as well.
    if (checked->change)
        merged_.noteChange(noted(before, table_));
}

} // namespace conflicts
