#include "data/safe_file.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The file layer speaks POSIX directly: Qt's QSaveFile reports a failed buffered write as a
// successful commit, ignores a failed fdatasync and cannot fsync the directory, and none of
// Qt's classes refuses a FIFO before blocking on it.

namespace safe_file {
namespace {

using Action = FileResult::Action;

QString systemReason(int error) {
    if (error == ELOOP) // what O_NOFOLLOW reports for a symbolic link
        return QStringLiteral("シンボリックリンクです（通常のファイルしか使えません）");
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notRegularReason() {
    return QStringLiteral("通常のファイルではありません");
}

FileResult failed(Action action, const QString& fileName, int error) {
    return FileResult::failure(action, fileName, systemReason(error));
}

// A file descriptor that is closed when it goes out of scope (errors of that close do not
// matter: whatever mattered was checked before).
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says whether the system took the close without an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Opens without following a symbolic link and without waiting on a FIFO or a device.
int openFile(const QByteArray& path, int flags, mode_t mode = 0) {
    for (;;) {
        const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

// 0 for a regular file, else the reason as an errno-like code (-1 for "not regular").
int checkRegular(int fd, struct stat& info) {
    if (::fstat(fd, &info) != 0)
        return errno;
    return S_ISREG(info.st_mode) ? 0 : -1;
}

FileResult notRegularOr(Action action, const QString& fileName, int code) {
    return code < 0 ? FileResult::failure(action, fileName, notRegularReason())
                    : failed(action, fileName, code);
}

// Writes every byte, going on after a short write or an interrupted one. 0, or the errno.
int writeAll(int fd, QByteArrayView bytes) {
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0) // no progress and no reason: the disk took nothing
            return ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

int syncData(int fd) {
    for (;;) {
        if (::fdatasync(fd) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

// A new or renamed directory entry is durable only once the directory itself is flushed.
int syncDirectory() {
    Fd dir(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return errno;
    if (::fsync(dir.get()) != 0)
        return errno;
    return 0;
}

QByteArray temporarySuffix() {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, Qt::Uninitialized);
    for (char& c : suffix)
        c = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
    return suffix;
}

// Creates a new empty file under a name that does not exist yet. 0, or the errno.
int createNew(const QByteArray& path, Fd& fd) {
    fd.reset(openFile(path, O_WRONLY | O_CREAT | O_EXCL, 0666));
    return fd.valid() ? 0 : errno;
}

} // namespace

ReadResult readAll(const QString& fileName) {
    ReadResult read;
    Fd fd(openFile(QFile::encodeName(fileName), O_RDONLY));
    if (!fd.valid()) {
        read.missing = errno == ENOENT;
        if (!read.missing)
            read.result = failed(Action::Read, fileName, errno);
        return read;
    }
    struct stat info {};
    if (const int code = checkRegular(fd.get(), info)) {
        read.result = notRegularOr(Action::Read, fileName, code);
        return read;
    }
    if (info.st_size > MaxFileSize) {
        read.result =
            FileResult::failure(Action::Read, fileName, QStringLiteral("ファイルが大きすぎます"));
        return read;
    }
    // Read what the file holds now; should it have grown meanwhile, take the rest as well.
    FileBuffer bytes(static_cast<qsizetype>(info.st_size));
    if (bytes.size() != info.st_size) {
        read.result = failed(Action::Read, fileName, ENOMEM);
        return read;
    }
    qsizetype got = 0;
    QByteArray rest;
    for (;;) {
        char spare[4096];
        const bool intoBuffer = got < bytes.size();
        char* to = intoBuffer ? bytes.data() + got : spare;
        const size_t room = intoBuffer ? static_cast<size_t>(bytes.size() - got) : sizeof spare;
        const ssize_t n = ::read(fd.get(), to, room);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            read.result = failed(Action::Read, fileName, errno);
            return read;
        }
        if (n == 0)
            break;
        if (intoBuffer)
            got += n;
        else if (rest.size() + n > MaxFileSize - bytes.size()) {
            read.result = FileResult::failure(Action::Read, fileName,
                                              QStringLiteral("ファイルが大きすぎます"));
            return read;
        } else
            rest.append(spare, n);
    }
    bytes.truncate(got);
    if (!rest.isEmpty()) {
        FileBuffer all(bytes.size() + rest.size());
        std::memcpy(all.data(), bytes.data(), static_cast<size_t>(bytes.size()));
        std::memcpy(all.data() + bytes.size(), rest.constData(), static_cast<size_t>(rest.size()));
        bytes = std::move(all);
    }
    read.bytes = std::move(bytes);
    return read;
}

FileResult replace(const QString& fileName, QByteArrayView bytes) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat old {};
    const bool exists = ::lstat(path.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return failed(Action::Write, fileName, errno);
    if (exists && !S_ISREG(old.st_mode))
        return FileResult::failure(Action::Write, fileName, notRegularReason());
    // A file the user made read-only stays as it is.
    if (exists && ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
        return failed(Action::Write, fileName, errno);

    Fd fd;
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = path + '.' + temporarySuffix();
        error = createNew(temporary, fd);
    }
    if (error)
        return failed(Action::Write, fileName, error);

    const auto abandon = [&](int reason) {
        fd.reset();
        ::unlink(temporary.constData());
        return failed(Action::Write, fileName, reason);
    };
    if (exists && ::fchmod(fd.get(), old.st_mode & 07777) != 0)
        return abandon(errno);
    if (const int reason = writeAll(fd.get(), bytes))
        return abandon(reason);
    if (const int reason = syncData(fd.get()))
        return abandon(reason);
    if (!fd.close())
        return abandon(errno);
    if (::rename(temporary.constData(), path.constData()) != 0)
        return abandon(errno);
    // The new file stands; only its directory entry may still be on its way to the disk.
    if (const int reason = syncDirectory())
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

FileResult append(const QString& fileName, QByteArrayView bytes) {
    const QByteArray path = QFile::encodeName(fileName);
    Fd fd(openFile(path, O_RDWR | O_APPEND));
    bool created = false;
    if (!fd.valid() && errno == ENOENT) {
        fd.reset(openFile(path, O_RDWR | O_APPEND | O_CREAT | O_EXCL, 0666));
        created = fd.valid();
    }
    if (!fd.valid())
        return failed(Action::Write, fileName, errno);
    struct stat info {};
    if (const int code = checkRegular(fd.get(), info))
        return notRegularOr(Action::Write, fileName, code);

    const off_t oldSize = info.st_size;
    // Leaves the file as it was before this append.
    const auto undo = [&](int reason) {
        bool undone = true;
        if (created) {
            fd.reset();
            undone = ::unlink(path.constData()) == 0;
        } else {
            int result;
            while ((result = ::ftruncate(fd.get(), oldSize)) != 0 && errno == EINTR) {
            }
            undone = result == 0;
        }
        QString why = systemReason(reason);
        if (!undone)
            why += QStringLiteral("（書きかけの部分を取り消せませんでした）");
        return FileResult::failure(Action::Write, fileName, why);
    };

    QByteArray data;
    if (oldSize > 0) {
        char last = 0;
        if (const ssize_t n = ::pread(fd.get(), &last, 1, oldSize - 1); n != 1)
            return failed(Action::Write, fileName, n < 0 ? errno : EIO);
        if (last != '\n') // end the cut-off last line, in the same write as the record
            data = "\r\n";
    }
    data.append(bytes);
    if (const int reason = writeAll(fd.get(), data))
        return undo(reason);
    if (const int reason = syncData(fd.get()))
        return undo(reason);
    if (created)
        if (const int reason = syncDirectory())
            return undo(reason);
    if (!fd.close())
        return FileResult::notDurable(fileName, systemReason(errno));
    return FileResult::success();
}

FileResult create(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    Fd fd(openFile(path, O_WRONLY));
    if (fd.valid()) {
        struct stat info {};
        if (const int code = checkRegular(fd.get(), info))
            return notRegularOr(Action::Write, fileName, code);
        return FileResult::success();
    }
    if (errno != ENOENT)
        return failed(Action::Write, fileName, errno);
    if (const int error = createNew(path, fd))
        return failed(Action::Write, fileName, error);
    if (const int reason = syncDirectory())
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

FileResult truncate(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    Fd fd(openFile(path, O_WRONLY));
    if (!fd.valid())
        return errno == ENOENT ? create(fileName) : failed(Action::Write, fileName, errno);
    struct stat info {};
    if (const int code = checkRegular(fd.get(), info))
        return notRegularOr(Action::Write, fileName, code);
    for (;;) {
        if (::ftruncate(fd.get(), 0) == 0)
            break;
        if (errno != EINTR)
            return failed(Action::Write, fileName, errno);
    }
    // The file is empty now; a failed flush cannot bring its records back.
    if (const int reason = syncData(fd.get()))
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

FileResult remove(const QString& fileName) {
    if (::unlink(QFile::encodeName(fileName).constData()) != 0)
        return errno == ENOENT ? FileResult::success() : failed(Action::Remove, fileName, errno);
    if (const int reason = syncDirectory())
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

bool isTemporaryName(const QString& name, const QString& fileName) {
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    return name.startsWith(fileName) &&
           suffix.match(QStringView(name).mid(fileName.size())).hasMatch();
}

FileResult removeStrayTemporaries(const QString& fileName) {
    const QStringList names =
        QDir::current().entryList({fileName + QStringLiteral(".??????")},
                                  QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!isTemporaryName(name, fileName))
            continue;
        struct stat info {};
        const QByteArray path = QFile::encodeName(name);
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (::unlink(path.constData()) != 0 && errno != ENOENT)
            return failed(Action::Remove, name, errno);
    }
    return FileResult::success();
}

} // namespace safe_file
