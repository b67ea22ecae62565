#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "data/file_buffer.h"

// Outcome of a file operation, with the file's name and the system's reason when it did not
// simply succeed. Three outcomes: done; failed, with every file as it was; and done but
// perhaps not yet on the disk (the change stands, but the system could not confirm that it
// was stored, so the user must hear of it all the same).
class [[nodiscard]] FileResult {
public:
    enum class Action {
        Read,
        Write,
        Remove,
        UnusableName, // `fileName` is an item name that cannot name a history file
    };

    static FileResult success() { return FileResult(); }
    static FileResult failure(Action action, const QString& fileName, const QString& reason) {
        return FileResult(action, fileName, reason, false);
    }
    // The change stands, but the system could not confirm that it reached the disk.
    static FileResult notDurable(const QString& fileName, const QString& reason) {
        return FileResult(Action::Write, fileName, reason, true);
    }
    // The operation took place, but a step after it went wrong (a reload, say).
    static FileResult doneBut(const FileResult& afterwards) {
        return FileResult(afterwards.action_, afterwards.fileName_, afterwards.reason_, true);
    }

    // The operation took place (perhaps not durably).
    bool ok() const { return succeeded_; }
    explicit operator bool() const { return ok(); }
    // Something the user must be told: a failure, or a change that may not be on the disk.
    bool hasProblem() const { return !fileName_.isEmpty(); }
    Action action() const { return action_; }
    const QString& fileName() const { return fileName_; }
    const QString& reason() const { return reason_; }

private:
    FileResult() = default;
    FileResult(Action action, const QString& fileName, const QString& reason, bool succeeded)
        : succeeded_(succeeded), action_(action), fileName_(fileName), reason_(reason) {}

    bool succeeded_ = true;
    Action action_ = Action::Read;
    QString fileName_;
    QString reason_;
};

struct ReadResult {
    FileResult result = FileResult::success();
    bool missing = false; // the file does not exist (not an error for most callers)
    FileBuffer bytes;
    QDateTime modified; // the file's last modification, local time
};

// All file access of the data layer. Names are bare names in the working directory (or paths,
// for a file the user chose, such as an export). Only
// regular files are read or written: a symbolic link, a directory, a FIFO or a device under a
// data file's name is an error, never followed and never waited on.
namespace safe_file {

// Files larger than this are refused rather than read into memory.
inline constexpr qint64 MaxFileSize = qint64(1) << 30;

ReadResult readAll(const QString& fileName);

// Replaces the file's content atomically: a temporary file beside it (the file's name,
// ".yarukin-" and six letters or digits), every byte written, flushed to the disk, given the
// old file's permissions (and owner, when root runs the program), renamed over the old file,
// and the directory flushed. Any failure before the rename removes the temporary file and
// leaves the old file exactly as it was. A read-only file is not replaced.
FileResult replace(const QString& fileName, QByteArrayView bytes);

// Appends bytes and flushes them to the disk; the file is created when missing. A last line
// without its line end is ended with CR LF first, in the same write. If any step fails the
// file is cut back to its old size (or removed again when it was created), so that a failed
// append leaves no part of the bytes behind.
FileResult append(const QString& fileName, QByteArrayView bytes);

// Creates the file empty when it is missing; an existing file keeps its bytes.
FileResult create(const QString& fileName);

// Empties the file in place (created when missing). Truncation, not replacement: it keeps the
// file's links, owner and permissions, and is one step that either happens or does not, so
// no crash can leave anything in between.
FileResult truncate(const QString& fileName);

// Removes the file; a file that is already missing is no failure.
FileResult remove(const QString& fileName);

// Removes the temporary files that replace() leaves beside `fileName` when the program is
// killed between creating and renaming one. Only names of exactly that pattern, and only
// regular files, are touched; run it only while no other copy of the program can be writing
// there (while holding the data directory's lock).
FileResult removeStrayTemporaries(const QString& fileName);

// Whether `name` is one of replace()'s temporary names for `fileName`.
bool isTemporaryName(const QString& name, const QString& fileName);

// The system's reason for an errno value: in Japanese for the errors a user meets, else the
// system's own text.
QString systemReason(int error);

// Writes every byte to an open descriptor, going on after short and interrupted writes. 0,
// or the errno of the write that failed.
int writeAll(int fd, QByteArrayView bytes);

// Writes a file the user named for output (an export), which need not be a data file:
// - a regular file is replaced as replace() does; through a symbolic link, the file the link
//   leads to is replaced and the link stays;
// - a pipe or a character device (a process substitution, a terminal) is written to;
// - a name for an open descriptor (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written to
//   where the descriptor points, at the end of a file there (so that `>>` keeps its file);
// - a directory, a block device, a socket and a link that leads nowhere are refused.
FileResult writeUserFile(const QString& path, QByteArrayView bytes);

// Creates a directory, and its missing parents, for the user alone (mode 0700).
FileResult createDirectories(const QString& path);

} // namespace safe_file
