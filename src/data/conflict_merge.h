#pragma once

#include "data/file_result.h"
#include "data/folder.h"
#include "data/gymm.h"
#include "data/known_list.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace conflicts {

// The folder of the data directory that merged conflict copies are moved into.
inline const QString MergedCopiesFolder = QStringLiteral("統合済みの競合コピー");

// What a merge of the conflict copies did: `done` when a copy was merged, what each merged copy
// brought, and the warnings, in order.
struct Merged : Outcome {
    struct History {
        QString copy;
        QString original;
        int added = 0; // records the history took from the copy
    };
    QList<History> histories;
    QString listCopy; // the item list's copy merged, if one was
    QStringList itemsAdded;
    QStringList itemsLeftOut; // beyond twenty items
    QList<ListChange::Target> targetsDiffer;
};

// The conflict copies a sync tool left of the item list and the histories (see recognise),
// merged in and then moved aside into MergedCopiesFolder, never deleted. A history takes the
// copy's records it lacks, in time order, through the atomic replace. The item list takes the
// copy's items it lacks, up to twenty items; targets that differ are told, not changed. A copy
// that cannot be merged stays where it is. A copy of the kept years adds its anchors, untold.
// `table` and `known` are the data directory's item
// table and known list, which a list copy changes.
class Merge {
public:
    Merge(const Folder& folder, std::vector<GYMM::Item>& table, KnownList& known)
        : folder_(folder), table_(table), known_(known) {}
    Merged run();

private:
    void mergeHistoryCopy(const QString& copy, const QString& original);
    void mergeListCopy(const QString& copy);
    void mergeKeptCopy(const QString& copy);

    const Folder& folder_;
    std::vector<GYMM::Item>& table_;
    KnownList& known_;
    Merged merged_;
};

} // namespace conflicts
