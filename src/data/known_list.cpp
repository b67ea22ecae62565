#include "data/known_list.h"

#include "data/history.h"

#include <QHash>
#include <algorithm>

bool sameTable(const std::vector<GYMM::Item>& a, const std::vector<GYMM::Item>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.name == y.name && x.target == y.target &&
               (!historyNameProblem(x.name) || x.asRead == y.asRead);
    });
}

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

void KnownList::know(bool missing, QByteArrayView bytes) {
    valid_ = true;
    missing_ = missing;
    bytes_ = bytes.toByteArray();
}

Expected<KnownList::Check> KnownList::check(const Folder& folder,
                                            const std::vector<GYMM::Item>& table,
                                            ListChange::Then then) {
    Expected<FileBytes> read = safe_file::readAll(folder, ItemListFileName);
    if (!read)
        return read.error();
    Check check{std::move(*read), std::nullopt, {}};
    const FileBytes& current = check.current;
    if (valid_ &&
        (current.missing || (!missing_ && current.bytes.view() == QByteArrayView(bytes_))))
        return check;
    check.items = GYMM::parse(current.bytes.view());
    know(current.missing, current.bytes.view());
    if (sameTable(check.items, table))
        return check;
    check.change = differences(table, check.items);
    check.change->then = then;
    return check;
}
