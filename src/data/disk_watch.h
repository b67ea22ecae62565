#pragma once

#include "data/file_looks.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <functional>
#include <optional>

class Clock;
class Folder;
class QFileSystemWatcher;
class QTimer;

// What changes on the disk under the running program, told once a burst of changes has
// settled: the item list, the files that came or went, the history of an item someone follows
// (and every followed one when the kept years change, which date them), a sync tool's conflict
// copy, and the day, which turns at midnight. The one watcher of the program:
// the composition root owns it, and the windows listen to it rather than look at files themselves.
// It sees what no window of the program does: a sync tool bringing another computer's files, an
// edit by hand.
class DiskWatch : public QObject {
    Q_OBJECT
public:
    // A burst of changes (a sync tool writes, renames and touches; a Next appends and rewrites)
    // is told once, this long after its last change.
    static constexpr int SettleMs = 250;

    DiskWatch(const Folder& folder, const Clock& clock, QObject* parent = nullptr);
    ~DiskWatch() override;

    // The history `follower` is told of, by item name, instead of the one it followed before;
    // until the follower is gone. A name no file can carry has no history to follow.
    void follow(QObject* follower, const QString& itemName);
    bool follows(const QString& itemName) const { return histories_.contains(itemName); }
    // While this holds (a box waits for an answer, a Next is under way), nothing is told: the
    // look is made again once the settle time has passed anew.
    void setHeld(std::function<bool()> held) { held_ = std::move(held); }

    // Looks now at what changed since the last look and tells it (what the settle timer and
    // the midnight timer run).
    void look();

signals:
    // Told first, since a merge of the copies changes the files told of after it. Only copies
    // that came or changed since the last look: one that cannot be merged is not tried again
    // and again.
    void conflictCopiesArrived();
    void itemListChanged();
    // A file came into the directory or left it (after the item list: a history that no item
    // shows is asked of the list as it is now).
    void namesChanged();
    void historyChanged(const QString& itemName);
    void dayTurned();

private:
    // A file as last seen: how it looked, and for a small file changed in the same instant as
    // that look (where a coarse file clock cannot tell two changes apart) a hash of its bytes.
    struct Seen {
        std::optional<safe_file::Looks> looks;
        std::optional<size_t> hash;
    };
    using Copies = QHash<QString, std::optional<safe_file::Looks>>;
    // Whether the file changed since `seen`, which becomes how it is now.
    bool changed(const QString& fileName, Seen& seen) const;
    Seen seeNow(const QString& fileName) const;
    Copies copiesIn(const QStringList& names) const;
    void unfollow(QObject* follower);
    QString pathOf(const QString& fileName) const;
    void watchFiles();
    void armMidnight();

    const Folder& folder_;
    const Clock& clock_;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    QTimer* midnight_;
    std::function<bool()> held_;
    Seen list_;
    Seen keptYears_;
    Copies copies_;
    QStringList names_; // the directory's entries at the last look, sorted
    struct Followed {
        int count = 0;
        Seen seen;
    };
    QHash<QString, Followed> histories_; // by item name
    QHash<QObject*, QString> followers_;
    QDate today_;
};
