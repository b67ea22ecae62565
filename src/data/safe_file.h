#pragma once

#include "data/file_buffer.h"
#include "data/file_result.h"
#include "data/folder.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

// A whole file as read: its bytes and its last modification. A missing file reads as no bytes
// with `missing` set (no error: for most callers it is simply empty).
struct FileBytes {
    FileBuffer bytes;
    QDateTime modified; // local time; invalid for a missing file
    bool missing = false;
};

// Every file step of the program, in POSIX, each result checked. Files are named relative to
// a Folder. Only regular files are read or written: a symbolic link, a directory, a FIFO or a
// device under a data file's name is an error, never followed and never waited on. Each step
// is logged under the category "yarukin.files" (off unless QT_LOGGING_RULES turns it on).
namespace safe_file {

// Files larger than this are refused rather than read into memory.
inline constexpr qint64 MaxFileSize = qint64(1) << 30;

Expected<FileBytes> readAll(const Folder& folder, const QString& name);

// The size and last modification of a file, links not followed; nothing when there is none.
struct Looks {
    qint64 size = 0;
    QDateTime modified;
    bool operator==(const Looks&) const = default;
};
std::optional<Looks> looksOf(const Folder& folder, const QString& name);

// Replaces the file's content atomically: a temporary file beside it (the file's name,
// ".yarukin-" and six letters or digits), every byte written, flushed to the disk, given the
// old file's permissions (and owner, when root runs the program), renamed over the old file,
// and the directory flushed. Any failure before the rename removes the temporary file and
// leaves the old file exactly as it was. A read-only file is not replaced.
Step replace(const Folder& folder, const QString& name, QByteArrayView bytes);

// Appends bytes and flushes them to the disk; the file is created when missing. A last line
// without its line end is ended with CR LF first, in the same write. If any step fails the
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

// The names of the entries of the folder.
Expected<QStringList> namesIn(const Folder& folder);

// Whether `name` is one of replace()'s temporary names for `fileName`.
bool isTemporaryName(const QString& name, const QString& fileName);

// Writes every byte to an open descriptor, going on after a short or interrupted write; 0, or
// the errno that stopped it. The one write loop of the program, files and standard output.
int writeAll(int fd, QByteArrayView bytes);

// The system's reason for an errno in Japanese, for the errors a user meets.
QString systemReason(int error);

// What makes a file's bytes: it writes them into the descriptor (with writeAll), perhaps a
// piece at a time, so that a large output never lies in memory whole; 0, or the errno that
// stopped it.
using Writer = std::function<int(int fd)>;

// Writes a file the user named for output (an export), which need not be a data file:
// - a regular file is replaced as replace() does; through a symbolic link, the file the link
//   leads to is replaced and the link stays;
// - a pipe or a character device (a process substitution, a terminal) is written to;
// - a name for an open descriptor (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written to
//   where the descriptor points, at the end of a file there (so that `>>` keeps its file);
// - a directory, a block device, a socket and a link that leads nowhere are refused.
Step writeUserFile(const QString& path, const Writer& write);
Step writeUserFile(const QString& path, QByteArrayView bytes);

// Creates a directory, and its missing parents, for the user alone (mode 0700).
Step createDirectories(const QString& path);

} // namespace safe_file
