#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "file_buffer.h"

// Outcome of a file operation: success, or the file's name with the system's reason.
class FileResult {
public:
    enum class Action { Read, Write };

    static FileResult success() { return FileResult(); }
    static FileResult failure(Action action, const QString& fileName, const QString& reason) {
        return FileResult(action, fileName, reason);
    }

    bool ok() const { return fileName_.isEmpty(); }
    explicit operator bool() const { return ok(); }
    Action action() const { return action_; }
    const QString& fileName() const { return fileName_; }
    const QString& reason() const { return reason_; }

private:
    FileResult() = default;
    FileResult(Action action, const QString& fileName, const QString& reason)
        : action_(action), fileName_(fileName), reason_(reason) {}

    Action action_ = Action::Read;
    QString fileName_;
    QString reason_;
};

struct ReadResult {
    FileResult result = FileResult::success();
    bool missing = false; // the file does not exist (not an error for most callers)
    FileBuffer bytes;
};

// All file access of the data layer. Names are bare names in the working directory.
namespace safe_file {

ReadResult readAll(const QString& fileName);

// Replaces the file's content atomically (temporary file beside it, fsync, rename, directory
// fsync), keeping its permissions. On failure the old file is left exactly as it was.
FileResult replace(const QString& fileName, QByteArrayView bytes);

// Appends bytes in one write, then fsyncs; the file is created when missing. A last line
// without its line end is ended with CR LF first, so the new record stands on a line of its own.
FileResult append(const QString& fileName, QByteArrayView bytes);

// Opens the file for appending and closes it: creates it empty when missing.
FileResult create(const QString& fileName);

// Removes the file; any failure is ignored.
void remove(const QString& fileName);

} // namespace safe_file
