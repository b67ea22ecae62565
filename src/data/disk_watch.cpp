#include "data/disk_watch.h"

#include "base/clock.h"
#include "data/conflicts.h"
#include "data/folder.h"
#include "data/gymm.h"
#include "data/history.h"
#include "data/kept_years.h"
#include "data/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <cstdlib>

namespace {

// A file changed this close to a look may change again without its times showing it.
constexpr qint64 CoarseClockMs = 2000;
// Larger files are not read for that: a change of one keeps its size only by a rewrite in
// the same instant, and reading a long history at every look would cost more than it tells.
constexpr qint64 HashedBytes = qint64(1) << 20;

QStringList sortedNames(const Folder& folder) {
    Expected<QStringList> names = safe_file::namesIn(folder);
    if (!names)
        return {};
    names->sort();
    return std::move(*names);
}

} // namespace

DiskWatch::DiskWatch(const Folder& folder, const Clock& clock, QObject* parent)
    : QObject(parent), folder_(folder), clock_(clock), watcher_(new QFileSystemWatcher(this)),
      settle_(new QTimer(this)), midnight_(new QTimer(this)), today_(clock.now().date()) {
    settle_->setSingleShot(true);
    settle_->setInterval(SettleMs);
    connect(settle_, &QTimer::timeout, this, &DiskWatch::look);
    // A file renamed in or removed shows only in its directory; a file written in place only
    // in the file itself.
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::fileChanged, settle_, qOverload<>(&QTimer::start));
    watcher_->addPath(QDir(folder_.path()).absolutePath());
    list_ = seeNow(ItemListFileName);
    keptYears_ = seeNow(kept_years::FileName);
    names_ = sortedNames(folder_);
    copies_ = copiesIn(names_);
    watchFiles();
    midnight_->setSingleShot(true);
    connect(midnight_, &QTimer::timeout, this, &DiskWatch::look);
    armMidnight();
}

DiskWatch::~DiskWatch() = default;

void DiskWatch::follow(QObject* follower, const QString& itemName) {
    const bool following = followers_.contains(follower);
    if (following && followers_.value(follower) == itemName)
        return;
    if (following)
        unfollow(follower);
    if (history::refusal(itemName)) // nor is any file outside the folder watched for it
        return;
    if (!following)
        connect(follower, &QObject::destroyed, this, [this, follower] { unfollow(follower); });
    followers_.insert(follower, itemName);
    Followed& followed = histories_[itemName];
    if (followed.count++ == 0)
        followed.seen = seeNow(historyFileName(itemName));
    watchFiles();
}

void DiskWatch::unfollow(QObject* follower) {
    const auto found = histories_.find(followers_.take(follower));
    if (found == histories_.end() || --found->count > 0)
        return;
    watcher_->removePath(pathOf(historyFileName(found.key())));
    histories_.erase(found);
}

DiskWatch::Seen DiskWatch::seeNow(const QString& fileName) const {
    Seen seen{safe_file::looksOf(folder_, fileName), std::nullopt};
    // The file system's clock, not the user's: real time.
    if (seen.looks && seen.looks->size <= HashedBytes &&
        std::abs(seen.looks->changed.msecsTo(QDateTime::currentDateTime())) < CoarseClockMs)
        if (const Expected<FileBytes> read = safe_file::readAll(folder_, fileName))
            seen.hash = qHash(read->bytes.view());
    return seen;
}

bool DiskWatch::changed(const QString& fileName, Seen& seen) const {
    Seen now = seeNow(fileName);
    const bool differs =
        now.looks != seen.looks || (seen.hash && (!now.hash || *now.hash != *seen.hash));
    seen = std::move(now);
    return differs;
}

DiskWatch::Copies DiskWatch::copiesIn(const QStringList& names) const {
    Copies copies;
    for (const QString& name : names)
        if (conflicts::recognise(name))
            copies.insert(name, safe_file::looksOf(folder_, name));
    return copies;
}

QString DiskWatch::pathOf(const QString& fileName) const {
    return QDir(folder_.path()).absoluteFilePath(fileName);
}

void DiskWatch::watchFiles() {
    // A rename over a file ends the watch on it: the name is watched again.
    QStringList missing;
    QStringList paths = {pathOf(ItemListFileName), pathOf(kept_years::FileName)};
    for (const QString& name : histories_.keys())
        paths.append(pathOf(historyFileName(name)));
    for (const QString& path : paths)
        if (!watcher_->files().contains(path) && QFileInfo::exists(path))
            missing.append(path);
    if (!missing.isEmpty())
        watcher_->addPaths(missing);
}

void DiskWatch::armMidnight() {
    const QDateTime now = clock_.now();
    const qint64 toMidnight = now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0)));
    // Not trusted to the minute: a suspend stops the timer, and the clock may be set.
    midnight_->start(int(std::clamp<qint64>(toMidnight + 1000, 1000, 10 * 60 * 1000)));
}

void DiskWatch::look() {
    if (held_ && held_()) {
        settle_->start();
        return;
    }
    settle_->stop();
    QStringList names = sortedNames(folder_);
    Copies copies = copiesIn(names);
    bool copiesCame = false;
    for (auto it = copies.cbegin(); it != copies.cend(); ++it) {
        const auto before = copies_.constFind(it.key());
        copiesCame = copiesCame || before == copies_.cend() || *before != it.value();
    }
    copies_ = std::move(copies);
    if (copiesCame)
        emit conflictCopiesArrived();
    if (changed(ItemListFileName, list_))
        emit itemListChanged();
    if (names != std::exchange(names_, names))
        emit namesChanged();
    // Another computer's kept years date the histories anew.
    const bool yearsChanged = changed(kept_years::FileName, keptYears_);
    // A listener may follow or unfollow as it is told: the names are taken first.
    for (const QString& name : histories_.keys()) {
        const auto found = histories_.find(name);
        if (found != histories_.end() &&
            (changed(historyFileName(name), found->seen) || yearsChanged))
            emit historyChanged(name);
    }
    watchFiles();
    if (const QDate today = clock_.now().date(); today != today_) {
        today_ = today;
        emit dayTurned();
    }
    armMidnight();
}
