#pragma once

#include "data/file_buffer.h"
#include "data/file_looks.h"
#include "data/file_result.h"
#include "data/folder.h"
#include "data/user_file.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>

// A whole file as read: its bytes and its last modification. A missing file reads as no bytes
// with `missing` set (no error: for most callers it is simply empty).
struct FileBytes {
    FileBuffer bytes;
    QDateTime modified; // local time; invalid for a missing file
    bool missing = false;
};

// Every file step on the data directory, in POSIX, each result checked (the files a user
// names for output are user_file's). Files are named relative to a Folder. Only regular files are
// read or written: a symbolic link, a directory, a FIFO or a device under a data file's name is an
// error, never followed and never waited on. Each step is logged under the category "yarukin.files"
// (off unless QT_LOGGING_RULES turns it on).
namespace safe_file {

// Files larger than this are refused rather than read into memory.
inline constexpr qint64 MaxFileSize = qint64(1) << 30;

Expected<FileBytes> readAll(const Folder& folder, const QString& name);

// How the file looks, links not followed; nothing when there is none.
std::optional<Looks> looksOf(const Folder& folder, const QString& name);

// What a path the user named leads to (links followed), when it is a regular file or a
// directory.
std::optional<Identity> identityOf(const QString& path);
// A regular file of the folder as the program reaches it (no link followed).
std::optional<Identity> identityIn(const Folder& folder, const QString& name);
std::optional<Identity> identityOf(const Folder& folder);

// The system's advisory lock on the directory itself, taken without waiting: no lock file is
// left behind, and a crashed program's lock goes with its process. Unavailable means the
// system offers no lock there (some network file systems).
enum class Lock { Held, HeldElsewhere, Unavailable };
Lock lock(const Folder& folder);

// Moves the file `name` into the folder's subfolder `into` (made when missing) under a name
// that is free there: its own, else "stem (2).ext", "stem (3).ext" and so on; never over a
// file. Both directories are flushed, so that the file is durably in one place.
Step moveInto(const Folder& folder, const QString& name, const QString& into);

// Replaces the file's content atomically: a temporary file beside it (the file's name,
// ".yarukin-" and six letters or digits), every byte written, flushed to the disk, given the
// old file's permissions (and owner, when root runs the program), renamed over the old file,
// and the directory flushed. Any failure before the rename removes the temporary file and
// leaves the old file exactly as it was. A read-only file is not replaced.
Step replace(const Folder& folder, const QString& name, QByteArrayView bytes);
Step replace(const Folder& folder, const QString& name, const Writer& write);
// The same, unless the file no longer looks as `seen` (nothing: it was missing) once the new
// bytes are on the disk: another program (a sync tool) changed it while they were made from
// it, and its change would be lost. Then nothing: the temporary is removed, and the file stays
// as the other program left it.
std::optional<Step> replaceUnlessChanged(const Folder& folder, const QString& name,
                                         QByteArrayView bytes, const std::optional<Looks>& seen);

// Appends bytes and flushes them to the disk; the file is created when missing. A last line
// without its line end is ended with CR LF first, in the same write. When another file was
// renamed over it meanwhile (a sync tool), the bytes are appended to that one too. If any step fails the
// file is cut back to its old size (or removed again when it was created), so that a failed
// append leaves no part of the bytes behind.
Step append(const Folder& folder, const QString& name, QByteArrayView bytes);

// Creates the file empty when it is missing; an existing file keeps its bytes.
Step create(const Folder& folder, const QString& name);

// Empties the file in place (created when missing). Truncation, not replacement: it keeps the
// file's links, owner and permissions, and is one step that either happens or does not, so
// no crash can leave anything in between.
Step truncate(const Folder& folder, const QString& name);

// Removes the file; a file that is already missing is no failure.
Step remove(const Folder& folder, const QString& name);

// Removes the temporary files that replace() leaves beside `fileName`, or beside another file
// that is there (a history a merge replaced), when the program is killed or the power cut
// between creating and renaming one; the folder is flushed after a removal. Only names of
// exactly that pattern, and only regular files, are touched; run it only while no other copy
// of the program can be writing there (while holding the data directory's lock).
Step removeStrayTemporaries(const Folder& folder, const QString& fileName);
// The same for the temporaries of several files, in one sweep.
Step removeStrayTemporaries(const Folder& folder, const QStringList& fileNames);

// The names of the entries of the folder.
Expected<QStringList> namesIn(const Folder& folder);

// Whether `name` is one of replace()'s temporary names for `fileName`.
bool isTemporaryName(const QString& name, const QString& fileName);

} // namespace safe_file
