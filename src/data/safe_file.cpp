#include "data/safe_file.h"

#include "data/posix.h"
#include "data/system_reason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFiles, "yarukin.files", QtWarningMsg)

// The file layer speaks POSIX directly: Qt's QSaveFile reports a failed buffered write as a
// successful commit, ignores a failed fdatasync and cannot fsync the directory, and none of
// Qt's classes refuses a FIFO before blocking on it.

namespace safe_file {
namespace {

using Action = FileProblem::Action;
using posix::Fd;
using posix::retry;

// Every step's outcome goes to the log, so that a user can send a trace of what failed.
Step logged(const char* step, const Folder& folder, const QString& name, Step result) {
    if (!result)
        qCDebug(lcFiles) << step << folder.path() << name << "failed:" << result.error().reason;
    else if (result->unconfirmed)
        qCDebug(lcFiles) << step << folder.path() << name
                         << "unconfirmed:" << result->unconfirmed->reason;
    else
        qCDebug(lcFiles) << step << folder.path() << name << "done";
    return result;
}

FileProblem failed(Action action, const QString& fileName, int error) {
    return {action, fileName, systemReason(error)};
}

Step unconfirmed(const QString& fileName, int error) {
    return Done{FileProblem{Action::Unconfirmed, fileName, systemReason(error)}};
}

// Opens without following a symbolic link and without waiting on a FIFO or a device.
int openFile(int dir, const QByteArray& path, int flags, mode_t mode = 0) {
    return retry([&] {
        return ::openat(dir, path.constData(),
                        flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, mode);
    });
}

// What lies under a name, without following a symbolic link: 0 for a regular file, ENOENT
// for nothing, else the reason (NotRegular, ELOOP for a link, or the errno of fstatat).
int lookAt(int dir, const QByteArray& path, struct stat& info) {
    if (::fstatat(dir, path.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISLNK(info.st_mode))
        return ELOOP;
    return S_ISREG(info.st_mode) ? 0 : NotRegular;
}

// The same for an open file: 0 for a regular file, else the reason.
int checkOpen(int fd, struct stat& info) {
    if (retry([&] { return ::fstat(fd, &info); }) != 0)
        return errno;
    return S_ISREG(info.st_mode) ? 0 : NotRegular;
}

int syncData(int fd) {
    return retry([&] { return ::fdatasync(fd); }) == 0 ? 0 : errno;
}

// A new or renamed directory entry is durable only once the directory itself is flushed.
int syncDirectory(const Folder& folder) {
    return retry([&] { return ::fsync(folder.fd()); }) == 0 ? 0 : errno;
}

// The temporary files of replace(): the file's name, ".yarukin-" and six letters or digits,
// a name no one gives a file of their own.
const QString TemporaryMark = QStringLiteral(".yarukin-");

QByteArray temporarySuffix() {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, Qt::Uninitialized);
    for (char& c : suffix)
        c = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
    return suffix;
}

// Creates a new empty file under a name that does not exist yet. 0, or the errno.
int createNew(int dir, const QByteArray& path, Fd& fd) {
    fd.reset(openFile(dir, path, O_WRONLY | O_CREAT | O_EXCL, 0666));
    return fd.valid() ? 0 : errno;
}

// Creates a missing file empty and makes its name durable.
Step createMissing(const Folder& folder, const QString& fileName, const QByteArray& path) {
    Fd fd;
    if (const int error = createNew(folder.fd(), path, fd))
        return failed(Action::Write, fileName, error);
    if (const int reason = syncDirectory(folder))
        return unconfirmed(fileName, reason);
    return stepDone();
}

} // namespace

namespace {

QDateTime timeOf(const timespec& at, Qt::TimeSpec kind = Qt::LocalTime) {
    return QDateTime::fromMSecsSinceEpoch(qint64(at.tv_sec) * 1000 + at.tv_nsec / 1000000, kind);
}

Expected<FileBytes> read(const Folder& folder, const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    FileBytes read;
    Fd fd(openFile(folder.fd(), path, O_RDONLY));
    if (!fd.valid()) {
        if (errno != ENOENT)
            return failed(Action::Read, name, errno);
        read.missing = true;
        return read;
    }
    struct stat info {};
    if (const int reason = checkOpen(fd.get(), info))
        return failed(Action::Read, name, reason);
    const FileProblem tooLarge{Action::Read, name, QStringLiteral("ファイルが大きすぎます")};
    if (info.st_size > MaxFileSize)
        return tooLarge;
    read.modified = timeOf(info.st_mtim);
    // Read what the file holds now; should it have grown meanwhile, take the rest as well.
    FileBuffer bytes(static_cast<qsizetype>(info.st_size));
    if (bytes.size() != info.st_size)
        return failed(Action::Read, name, ENOMEM);
    qsizetype got = 0;
    QByteArray rest;
    for (;;) {
        char spare[4096];
        const bool intoBuffer = got < bytes.size();
        char* to = intoBuffer ? bytes.data() + got : spare;
        const size_t room = intoBuffer ? static_cast<size_t>(bytes.size() - got) : sizeof spare;
        const ssize_t n = retry([&] { return ::read(fd.get(), to, room); });
        if (n < 0)
            return failed(Action::Read, name, errno);
        if (n == 0)
            break;
        if (intoBuffer)
            got += n;
        else if (rest.size() + n > MaxFileSize - bytes.size())
            return tooLarge;
        else
            rest.append(spare, n);
    }
    bytes.truncate(got);
    if (!rest.isEmpty()) {
        FileBuffer all(bytes.size() + rest.size());
        if (all.size() != bytes.size() + rest.size())
            return failed(Action::Read, name, ENOMEM);
        std::memcpy(all.data(), bytes.data(), static_cast<size_t>(bytes.size()));
        std::memcpy(all.data() + bytes.size(), rest.constData(), static_cast<size_t>(rest.size()));
        bytes = std::move(all);
    }
    read.bytes = std::move(bytes);
    return read;
}

// Nothing when `seen` is given and the file no longer looks so just before the rename.
std::optional<Step> replaceFile(const Folder& folder, const QString& name, const Writer& write,
                                const std::optional<Looks>* seen = nullptr) {
    const int dir = folder.fd();
    const QByteArray path = QFile::encodeName(name);
    struct stat old {};
    const int found = lookAt(dir, path, old);
    const bool exists = found == 0;
    if (found != 0 && found != ENOENT)
        return failed(Action::Write, name, found);
    // A file the user made read-only stays as it is, whoever runs the program.
    if (exists &&
        ((old.st_mode & 0222) == 0 || ::faccessat(dir, path.constData(), W_OK, AT_EACCESS) != 0))
        return FileProblem{Action::Write, name, QStringLiteral("書き込みが禁止されたファイルです")};

    Fd fd;
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = path + QFile::encodeName(TemporaryMark) + temporarySuffix();
        error = createNew(dir, temporary, fd);
    }
    if (error)
        return failed(Action::Write, name, error);

    const auto abandon = [&](int reason) {
        fd.reset();
        retry([&] { return ::unlinkat(dir, temporary.constData(), 0); });
        return failed(Action::Write, name, reason);
    };
    if (exists) {
        if (retry([&] { return ::fchmod(fd.get(), old.st_mode & 07777); }) != 0)
            return abandon(errno);
        // Run by root on a user's files, the new file must stay the user's.
        if (::geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0) &&
            retry([&] { return ::fchown(fd.get(), old.st_uid, old.st_gid); }) != 0)
            return abandon(errno);
    }
    if (const int reason = write(fd.get()))
        return abandon(reason);
    if (const int reason = syncData(fd.get()))
        return abandon(reason);
    if (!fd.close())
        return abandon(errno);
    // Checked as late as can be: the moment between this look and the rename is all that is
    // left for another program's change to be lost in.
    if (seen && looksOf(folder, name) != *seen) {
        retry([&] { return ::unlinkat(dir, temporary.constData(), 0); });
        qCDebug(lcFiles) << "replace" << folder.path() << name << "changed meanwhile";
        return std::nullopt;
    }
    if (retry([&] { return ::renameat(dir, temporary.constData(), dir, path.constData()); }) != 0)
        return abandon(errno);
    // The new file stands; only its directory entry may still be on its way to the disk.
    if (const int reason = syncDirectory(folder))
        return unconfirmed(name, reason);
    return stepDone();
}

Step appendTo(const Folder& folder, const QString& name, QByteArrayView bytes, int attempt = 1) {
    const int dir = folder.fd();
    const QByteArray path = QFile::encodeName(name);
    Fd fd(openFile(dir, path, O_RDWR | O_APPEND));
    bool created = false;
    if (!fd.valid() && errno == ENOENT) {
        fd.reset(openFile(dir, path, O_RDWR | O_APPEND | O_CREAT | O_EXCL, 0666));
        created = fd.valid();
    }
    if (!fd.valid())
        return failed(Action::Write, name, errno);
    struct stat info {};
    if (const int reason = checkOpen(fd.get(), info))
        return failed(Action::Write, name, reason);

    const off_t oldSize = info.st_size;
    // Leaves the file as it was before this append, as durably as the system allows.
    const auto undo = [&](int reason) {
        bool undone = true;
        if (created) {
            fd.reset();
            undone = retry([&] { return ::unlinkat(dir, path.constData(), 0); }) == 0;
        } else {
            undone = retry([&] { return ::ftruncate(fd.get(), oldSize); }) == 0;
            if (undone)
                syncData(fd.get()); // best effort: the record must not come back after a crash
        }
        QString why = systemReason(reason);
        if (!undone)
            why += QStringLiteral("（書きかけの部分を取り消せませんでした）");
        return FileProblem{Action::Write, name, why};
    };

    QByteArray data;
    if (oldSize > 0) {
        char last = 0;
        const ssize_t n = retry([&] { return ::pread(fd.get(), &last, 1, oldSize - 1); });
        if (n != 1)
            return failed(Action::Write, name, n < 0 ? errno : EIO);
        // End the cut-off last line, in the same write as the record; a CR that a power cut
        // left alone takes only its LF, or the line would end in a CR of its own.
        if (last != '\n')
            data = last == '\r' ? "\n" : "\r\n";
    }
    data.append(bytes);
    if (const int reason = writeAll(fd.get(), data))
        return undo(reason);
    if (const int reason = syncData(fd.get()))
        return undo(reason);
    if (created)
        if (const int reason = syncDirectory(folder))
            return undo(reason);
    // A sync tool may have renamed another computer's file over this one while the bytes went
    // in, and they would be gone with the old file: they go into the one there now as well.
    struct stat now {};
    if (attempt < 3 && lookAt(dir, path, now) == 0 &&
        (now.st_ino != info.st_ino || now.st_dev != info.st_dev)) {
        qCDebug(lcFiles) << "append" << folder.path() << name << "replaced meanwhile";
        fd.reset();
        return appendTo(folder, name, bytes, attempt + 1);
    }
    if (!fd.close())
        return unconfirmed(name, errno);
    return stepDone();
}

Step createFile(const Folder& folder, const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    struct stat info {};
    const int found = lookAt(folder.fd(), path, info);
    if (found == ENOENT)
        return createMissing(folder, name, path);
    // An existing history keeps its records and needs no writing; it must only be a file.
    if (found != 0)
        return failed(Action::Write, name, found);
    return stepDone();
}

Step truncateFile(const Folder& folder, const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    struct stat info {};
    const int found = lookAt(folder.fd(), path, info);
    if (found == ENOENT)
        return createMissing(folder, name, path);
    if (found != 0)
        return failed(Action::Write, name, found);
    Fd fd(openFile(folder.fd(), path, O_WRONLY));
    if (!fd.valid())
        return failed(Action::Write, name, errno);
    if (const int reason = checkOpen(fd.get(), info))
        return failed(Action::Write, name, reason);
    if (retry([&] { return ::ftruncate(fd.get(), 0); }) != 0)
        return failed(Action::Write, name, errno);
    // The file is empty now; a failed flush or close cannot bring its records back.
    if (const int reason = syncData(fd.get()))
        return unconfirmed(name, reason);
    if (!fd.close())
        return unconfirmed(name, errno);
    return stepDone();
}

Step removeFile(const Folder& folder, const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    if (retry([&] { return ::unlinkat(folder.fd(), path.constData(), 0); }) != 0) {
        if (errno == ENOENT)
            return stepDone();
        return failed(Action::Remove, name, errno);
    }
    if (const int reason = syncDirectory(folder))
        return unconfirmed(name, reason);
    return stepDone();
}

} // namespace

namespace {

std::optional<Identity> identityOf(const struct stat& info) {
    // Data files are regular files, and only a directory is compared besides.
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return std::nullopt;
    return Identity{quint64(info.st_dev), quint64(info.st_ino)};
}

} // namespace

std::optional<Looks> looksOf(const Folder& folder, const QString& name) {
    struct stat info {};
    if (::fstatat(folder.fd(), QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) !=
        0)
        return std::nullopt;
    return Looks{qint64(info.st_size), timeOf(info.st_mtim, Qt::UTC), timeOf(info.st_ctim, Qt::UTC),
                 quint64(info.st_ino)};
}

std::optional<Identity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

std::optional<Identity> identityIn(const Folder& folder, const QString& name) {
    struct stat info {};
    if (::fstatat(folder.fd(), QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) !=
        0)
        return std::nullopt;
    return identityOf(info);
}

std::optional<Identity> identityOf(const Folder& folder) {
    struct stat info {};
    if (retry([&] { return ::fstat(folder.fd(), &info); }) != 0)
        return std::nullopt;
    return identityOf(info);
}

Lock lock(const Folder& folder) {
    if (retry([&] { return ::flock(folder.fd(), LOCK_EX | LOCK_NB); }) == 0) {
        qCDebug(lcFiles) << "lock" << folder.path() << "done";
        return Lock::Held;
    }
    const int error = errno;
    qCDebug(lcFiles) << "lock" << folder.path() << "failed:" << systemReason(error);
    return error == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Unavailable;
}

namespace {

Step moveFile(const Folder& folder, const QString& name, const QString& into) {
    const QByteArray folderName = QFile::encodeName(into);
    const bool made = ::mkdirat(folder.fd(), folderName.constData(), 0777) == 0;
    if (!made && errno != EEXIST)
        return failed(Action::Write, into, errno);
    // A folder just made must be on the disk before anything moves into it: lost in a power
    // cut, it would take the file with it.
    if (made)
        if (const int reason = syncDirectory(folder))
            return failed(Action::Write, into, reason);
    struct stat info {};
    if (::fstatat(folder.fd(), folderName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(info.st_mode))
        return failed(Action::Write, into, ENOTDIR);
    const QByteArray from = QFile::encodeName(name);
    const int dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString free =
            n == 1 ? name : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
        const QByteArray to = folderName + '/' + QFile::encodeName(free);
        if (retry([&] {
                return ::renameat2(folder.fd(), from.constData(), folder.fd(), to.constData(),
                                   RENAME_NOREPLACE);
            }) == 0)
            break;
        if (errno != EEXIST || n > 1000)
            return failed(Action::Write, name, errno);
    }
    // Both entries must reach the disk: the name gone here, and there in the subfolder.
    Fd moved(retry([&] {
        return ::openat(folder.fd(), folderName.constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    }));
    if (!moved.valid() || retry([&] { return ::fsync(moved.get()); }) != 0)
        return unconfirmed(name, errno);
    if (const int reason = syncDirectory(folder))
        return unconfirmed(name, reason);
    return stepDone();
}

} // namespace

Step moveInto(const Folder& folder, const QString& name, const QString& into) {
    return logged("move", folder, name, moveFile(folder, name, into));
}

Expected<FileBytes> readAll(const Folder& folder, const QString& name) {
    Expected<FileBytes> result = read(folder, name);
    if (!result)
        qCDebug(lcFiles) << "read" << folder.path() << name << "failed:" << result.error().reason;
    else
        qCDebug(lcFiles) << "read" << folder.path() << name
                         << (result->missing ? "missing" : "done") << result->bytes.size();
    return result;
}

Step replace(const Folder& folder, const QString& name, QByteArrayView bytes) {
    return logged("replace", folder, name,
                  *replaceFile(folder, name, [bytes](int fd) { return writeAll(fd, bytes); }));
}

Step replace(const Folder& folder, const QString& name, const Writer& write) {
    return logged("replace", folder, name, *replaceFile(folder, name, write));
}

std::optional<Step> replaceUnlessChanged(const Folder& folder, const QString& name,
                                         QByteArrayView bytes, const std::optional<Looks>& seen) {
    std::optional<Step> replaced = replaceFile(
        folder, name, [bytes](int fd) { return writeAll(fd, bytes); }, &seen);
    if (!replaced)
        return std::nullopt;
    return logged("replace", folder, name, std::move(*replaced));
}

Step append(const Folder& folder, const QString& name, QByteArrayView bytes) {
    return logged("append", folder, name, appendTo(folder, name, bytes));
}

Step create(const Folder& folder, const QString& name) {
    return logged("create", folder, name, createFile(folder, name));
}

Step truncate(const Folder& folder, const QString& name) {
    return logged("truncate", folder, name, truncateFile(folder, name));
}

Step remove(const Folder& folder, const QString& name) {
    return logged("remove", folder, name, removeFile(folder, name));
}

// From a descriptor of its own: reading moves a descriptor's position.
Expected<QStringList> namesIn(const Folder& folder) {
    const int fd =
        retry([&] { return ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return failed(Action::Read, folder.path(), errno);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return failed(Action::Read, folder.path(), error);
    }
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        names.append(QFile::decodeName(entry->d_name));
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error)
        return failed(Action::Read, folder.path(), error);
    return names;
}

bool isTemporaryName(const QString& name, const QString& fileName) {
    static const QRegularExpression suffix(
        QStringLiteral("^%1[A-Za-z0-9]{6}$").arg(QRegularExpression::escape(TemporaryMark)));
    return name.startsWith(fileName) &&
           suffix.match(QStringView(name).mid(fileName.size())).hasMatch();
}

Step removeStrayTemporaries(const Folder& folder, const QString& fileName) {
    return removeStrayTemporaries(folder, QStringList{fileName});
}

Step removeStrayTemporaries(const Folder& folder, const QStringList& fileNames) {
    const Expected<QStringList> names = namesIn(folder);
    if (!names)
        return names.error();
    bool removed = false;
    for (const QString& name : *names) {
        // A merge replaces a history too: a temporary beside a file that is there is ours.
        const QString original = name.left(name.lastIndexOf(TemporaryMark));
        if (std::none_of(
                fileNames.begin(), fileNames.end(),
                [&](const QString& fileName) { return isTemporaryName(name, fileName); }) &&
            !(isTemporaryName(name, original) && names->contains(original)))
            continue;
        struct stat info {};
        const QByteArray path = QFile::encodeName(name);
        if (lookAt(folder.fd(), path, info) != 0)
            continue;
        if (retry([&] { return ::unlinkat(folder.fd(), path.constData(), 0); }) != 0 &&
            errno != ENOENT)
            return logged("sweep", folder, name, failed(Action::Remove, name, errno));
        qCDebug(lcFiles) << "sweep" << folder.path() << name << "removed";
        removed = true;
    }
    // Else a power cut after the start brings the removed files back.
    if (removed)
        if (const int reason = syncDirectory(folder))
            return unconfirmed(folder.path(), reason);
    return stepDone();
}

} // namespace safe_file
