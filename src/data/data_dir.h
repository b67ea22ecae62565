#pragma once

#include "data/conflict_merge.h"
#include "data/dating.h"
#include "data/file_result.h"
#include "data/folder.h"
#include "data/gymm.h"
#include "data/history.h"
#include "data/known_list.h"
#include "data/safe_file.h"

#include <QDateTime>
#include <QString>
#include <optional>

// The data directory of a run: the directory held open, the item table (GYMM) that mirrors
// its item list file, and one call for each thing a user does to the files. Each call makes
// its file steps in the order the program has always made them and returns one outcome: what
// was done, and the warnings to show, in order. No call shows anything or asks anything.
//
// The directory may be kept in step with another computer's by a sync tool, which replaces a
// file whenever the other side changed it. So no call writes the item list without first
// checking that it still holds what the program last read or wrote (KnownList): when it does
// not, the call takes the list on the disk as the table instead of writing, and its outcome
// says how the list changed (Outcome::listChanged).
class DataDir {
public:
    using Lock = safe_file::Lock;

    explicit DataDir(Folder folder) : folder_(std::move(folder)) {}

    const Folder& folder() const { return folder_; }
    // The table is read-only: only the calls below change it, after the file.
    const GYMM& gymm() const { return gymm_; }

    // Keeps a second copy of the program off this directory: each copy holds the whole table
    // in memory and rewrites the item list from it, so two of them would undo each other's
    // changes.
    Lock lock() { return safe_file::lock(folder_); }
    // Removes the temporary files a crash or a power cut left beside the item list, the kept
    // years or a history (only while locked).
    Step removeStrayTemporaries();

    // Replaces the table with the item list file; a missing file is an empty table. When the
    // file cannot be read the table is empty and the outcome says why.
    Outcome LoadItemList();

    // The item list changed on the disk (a sync tool, an edit by hand): the table becomes the
    // list there, and the outcome says how it changed, if it did.
    Outcome followList();

    // Next: appends the count to item k's history, then rewrites the item list from the
    // table unchanged, unless its bytes on the disk are those already. A list changed on the
    // disk is read instead, and the workout goes on with it (the record is kept).
    struct Recorded : Outcome {
        bool movesOn = false; // recorded, or the name can carry no history file: go on
    };
    Recorded record(int k, double count, const QDateTime& when);

    // 登録: appends the item's record to the item list (the target written as it is, a
    // fraction included), creates its history file, and reads the table back. The window's
    // own step between the create and the read (the name added to its list) changes nothing
    // that the read looks at, so it follows the call; `readBack` is the read's warning, to
    // show after it.
    struct Registration : Outcome {
        std::optional<FileProblem> readBack;
        QString name; // the registered name as the file gives it back
    };
    Registration registerItem(const QString& name, double target);

    // 保存: item p takes the new name and target, in the file first, then in the table.
    Outcome updateItem(int p, const QString& name, qint16 target);

    // 削除: the item list without item p, the table read back, then the item's history file
    // removed unless another item of the same name still uses it. A name no file can carry
    // leaves every file alone (a LeftAlone warning says so).
    Outcome deleteItem(int p);

    // クリア: the item list rewritten from the table unchanged (unless the disk holds those
    // bytes already), then item p's history emptied.
    Outcome clearItem(int p);

    // The conflict copies a sync tool left, merged in and moved aside (conflicts::Merge).
    using Merged = conflicts::Merged;
    Merged mergeConflictCopies();
    static inline const QString& MergedCopiesFolder = conflicts::MergedCopiesFolder;

    // Why item p's name can carry no history file, if it cannot (asked before a confirmation).
    std::optional<FileProblem> refusal(int p) const;

    Expected<HistoryFile> readHistory(const QString& itemName) const;

    // The histories no item shows: the names of the `NAME.txt` files here that an item could
    // take, that no item of the table names, and whose every line is a history record (a sync
    // tool brings back the history of an item deleted on another computer while this one
    // recorded on it). Conflict copies, the item list, temporaries and a README.txt of the
    // user's are none. Names in `known` are not read again; a folder or a file that cannot be
    // read gives none, since nothing can be told of it.
    QStringList historiesWithoutItem(const QStringList& known) const;
    // `now` dates a file that has no modification time.
    Expected<DatedHistory> readDatedHistory(const QString& itemName, const QDateTime& now) const;

private:
    // The list on the disk before a change of it, when it is the one the program knows;
    // when it changed, the table has become the new list and the check says how.
    Expected<KnownList::Check> checkList(ListChange::Then then);
    Step writeItems(const std::vector<GYMM::Item>& items);
    // The rewrite of Next and クリア: skipped when the file holds exactly those bytes already
    // (`current`, as checkList read it).
    Step rewriteUnchanged(const FileBytes& current);
    // Reads the table back after the file was written with `written`; those stand in for the
    // table when the read fails (never an empty table, which would let a history file that
    // another item shares be removed), and the read's problem is returned.
    std::optional<FileProblem> readBackAfter(std::vector<GYMM::Item> written);

    Folder folder_;
    GYMM gymm_;
    KnownList known_;
    // The list's bytes as rewriteUnchanged last rendered them, and the table they came from:
    // every Next compares the file with them, and rendering passes each name through iconv.
    std::vector<GYMM::Item> renderedFrom_;
    QByteArray rendered_;
};
