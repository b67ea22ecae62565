#include "data/safe_file.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdlib>
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

// Values of our own beside errno's: the file is not a regular file (a FIFO, device or
// directory); a block device or a socket, which no export writes to.
constexpr int NotRegular = -1;
constexpr int NotWritable = -2;

FileResult failed(Action action, const QString& fileName, int error) {
    return FileResult::failure(action, fileName, systemReason(error));
}

// Runs a system call again while a signal interrupts it.
template <typename Call> auto retry(Call call) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
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
    return retry([&] {
        return ::open(path.constData(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                      mode);
    });
}

// What lies under a name, without following a symbolic link: 0 for a regular file, ENOENT
// for nothing, else the reason (NotRegular, ELOOP for a link, or the errno of lstat).
int lookAt(const QByteArray& path, struct stat& info) {
    if (::lstat(path.constData(), &info) != 0)
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
int syncDirectory(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dirPath = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : path.left(slash);
    Fd dir(retry([&] { return ::open(dirPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!dir.valid())
        return errno;
    return retry([&] { return ::fsync(dir.get()); }) == 0 ? 0 : errno;
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
int createNew(const QByteArray& path, Fd& fd) {
    fd.reset(openFile(path, O_WRONLY | O_CREAT | O_EXCL, 0666));
    return fd.valid() ? 0 : errno;
}

// Creates a missing file empty and makes its name durable.
FileResult createMissing(const QString& fileName, const QByteArray& path) {
    Fd fd;
    if (const int error = createNew(path, fd))
        return failed(Action::Write, fileName, error);
    if (const int reason = syncDirectory(path))
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
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
    if (const int reason = checkOpen(fd.get(), info)) {
        read.result = failed(Action::Read, fileName, reason);
        return read;
    }
    const auto tooLarge = [&] {
        read.result =
            FileResult::failure(Action::Read, fileName, QStringLiteral("ファイルが大きすぎます"));
        return std::move(read);
    };
    if (info.st_size > MaxFileSize)
        return tooLarge();
    read.modified = QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 +
                                                   info.st_mtim.tv_nsec / 1000000);
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
        const ssize_t n = retry([&] { return ::read(fd.get(), to, room); });
        if (n < 0) {
            read.result = failed(Action::Read, fileName, errno);
            return read;
        }
        if (n == 0)
            break;
        if (intoBuffer)
            got += n;
        else if (rest.size() + n > MaxFileSize - bytes.size())
            return tooLarge();
        else
            rest.append(spare, n);
    }
    bytes.truncate(got);
    if (!rest.isEmpty()) {
        FileBuffer all(bytes.size() + rest.size());
        if (all.size() != bytes.size() + rest.size()) {
            read.result = failed(Action::Read, fileName, ENOMEM);
            return read;
        }
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
    const int found = lookAt(path, old);
    const bool exists = found == 0;
    if (found != 0 && found != ENOENT)
        return failed(Action::Write, fileName, found);
    // A file the user made read-only stays as it is, whoever runs the program.
    if (exists && ((old.st_mode & 0222) == 0 ||
                   ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0))
        return FileResult::failure(Action::Write, fileName,
                                   QStringLiteral("書き込みが禁止されたファイルです"));

    Fd fd;
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = path + QFile::encodeName(TemporaryMark) + temporarySuffix();
        error = createNew(temporary, fd);
    }
    if (error)
        return failed(Action::Write, fileName, error);

    const auto abandon = [&](int reason) {
        fd.reset();
        retry([&] { return ::unlink(temporary.constData()); });
        return failed(Action::Write, fileName, reason);
    };
    if (exists) {
        if (retry([&] { return ::fchmod(fd.get(), old.st_mode & 07777); }) != 0)
            return abandon(errno);
        // Run by root on a user's files, the new file must stay the user's.
        if (::geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0) &&
            retry([&] { return ::fchown(fd.get(), old.st_uid, old.st_gid); }) != 0)
            return abandon(errno);
    }
    if (const int reason = writeAll(fd.get(), bytes))
        return abandon(reason);
    if (const int reason = syncData(fd.get()))
        return abandon(reason);
    if (!fd.close())
        return abandon(errno);
    if (retry([&] { return ::rename(temporary.constData(), path.constData()); }) != 0)
        return abandon(errno);
    // The new file stands; only its directory entry may still be on its way to the disk.
    if (const int reason = syncDirectory(path))
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
    if (const int reason = checkOpen(fd.get(), info))
        return failed(Action::Write, fileName, reason);

    const off_t oldSize = info.st_size;
    // Leaves the file as it was before this append, as durably as the system allows.
    const auto undo = [&](int reason) {
        bool undone = true;
        if (created) {
            fd.reset();
            undone = retry([&] { return ::unlink(path.constData()); }) == 0;
        } else {
            undone = retry([&] { return ::ftruncate(fd.get(), oldSize); }) == 0;
            if (undone)
                syncData(fd.get()); // best effort: the record must not come back after a crash
        }
        QString why = systemReason(reason);
        if (!undone)
            why += QStringLiteral("（書きかけの部分を取り消せませんでした）");
        return FileResult::failure(Action::Write, fileName, why);
    };

    QByteArray data;
    if (oldSize > 0) {
        char last = 0;
        const ssize_t n = retry([&] { return ::pread(fd.get(), &last, 1, oldSize - 1); });
        if (n != 1)
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
        if (const int reason = syncDirectory(path))
            return undo(reason);
    if (!fd.close())
        return FileResult::notDurable(fileName, systemReason(errno));
    return FileResult::success();
}

FileResult create(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    const int found = lookAt(path, info);
    if (found == ENOENT)
        return createMissing(fileName, path);
    // An existing history keeps its records and needs no writing; it must only be a file.
    return found == 0 ? FileResult::success() : failed(Action::Write, fileName, found);
}

FileResult truncate(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    const int found = lookAt(path, info);
    if (found == ENOENT)
        return createMissing(fileName, path);
    if (found != 0)
        return failed(Action::Write, fileName, found);
    Fd fd(openFile(path, O_WRONLY));
    if (!fd.valid())
        return failed(Action::Write, fileName, errno);
    if (const int reason = checkOpen(fd.get(), info))
        return failed(Action::Write, fileName, reason);
    if (retry([&] { return ::ftruncate(fd.get(), 0); }) != 0)
        return failed(Action::Write, fileName, errno);
    // The file is empty now; a failed flush cannot bring its records back.
    if (const int reason = syncData(fd.get()))
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

FileResult remove(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    if (retry([&] { return ::unlink(path.constData()); }) != 0)
        return errno == ENOENT ? FileResult::success() : failed(Action::Remove, fileName, errno);
    if (const int reason = syncDirectory(path))
        return FileResult::notDurable(fileName, systemReason(reason));
    return FileResult::success();
}

bool isTemporaryName(const QString& name, const QString& fileName) {
    static const QRegularExpression suffix(
        QStringLiteral("^%1[A-Za-z0-9]{6}$").arg(QRegularExpression::escape(TemporaryMark)));
    return name.startsWith(fileName) &&
           suffix.match(QStringView(name).mid(fileName.size())).hasMatch();
}

FileResult removeStrayTemporaries(const QString& fileName) {
    const QStringList names =
        QDir::current().entryList({fileName + TemporaryMark + QStringLiteral("??????")},
                                  QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!isTemporaryName(name, fileName))
            continue;
        struct stat info {};
        const QByteArray path = QFile::encodeName(name);
        if (lookAt(path, info) != 0)
            continue;
        if (retry([&] { return ::unlink(path.constData()); }) != 0 && errno != ENOENT)
            return failed(Action::Remove, name, errno);
    }
    return FileResult::success();
}

// The system's reason in Japanese for the errors a user meets; the system's own text (often
// English) for the rest.
QString systemReason(int error) {
    switch (error) {
    case NotRegular:
        return QStringLiteral("通常のファイルではありません");
    case NotWritable:
        return QStringLiteral("ブロックデバイスかソケットです（書き出し先にはできません）");
    case ELOOP: // what O_NOFOLLOW reports for a symbolic link
        return QStringLiteral("シンボリックリンクです（通常のファイルしか使えません）");
    case ENOSPC:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限を超えています");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました");
    case EACCES:
    case EPERM:
        return QStringLiteral("アクセスが許可されていません");
    case EROFS:
        return QStringLiteral("読み取り専用のディスクです");
    case EISDIR:
        return QStringLiteral("フォルダーです");
    case ENOTDIR:
        return QStringLiteral("フォルダーではありません");
    case ENOENT:
        return QStringLiteral("ファイルまたはフォルダーがありません");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます");
    case ENOMEM:
        return QStringLiteral("メモリーが足りません");
    case ENXIO:
        return QStringLiteral("通常のファイルではありません（デバイスまたはパイプ）");
    case EBADF: // what writing to a closed standard output gives
        return QStringLiteral("ファイル記述子が閉じられています");
    case EPIPE:
        return QStringLiteral("読む側のいないパイプです");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Writes every byte, going on after a short write or an interrupted one. 0, or the errno.
int writeAll(int fd, QByteArrayView bytes) {
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = retry([&] { return ::write(fd, p, static_cast<size_t>(left)); });
        if (n < 0)
            return errno;
        if (n == 0) // no progress and no reason: the disk took nothing
            return ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

namespace {

// /dev/stdout, /dev/fd/3, /proc/self/fd/3: names of descriptors the shell opened.
bool namesADescriptor(const QString& absolutePath) {
    static const QRegularExpression alias(QStringLiteral(
        "^/(dev/(stdout|stderr|fd/[0-9]+)|proc/(self|thread-self|[0-9]+)/fd/[0-9]+)$"));
    return alias.match(absolutePath).hasMatch();
}

// Opens what the name leads to, following links, and writes every byte to it.
FileResult writeThrough(const QString& path, int flags, QByteArrayView bytes) {
    Fd fd(retry([&] {
        return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags);
    }));
    if (!fd.valid())
        return failed(Action::Write, path, errno);
    if (const int reason = writeAll(fd.get(), bytes))
        return failed(Action::Write, path, reason);
    if (!fd.close())
        return failed(Action::Write, path, errno);
    return FileResult::success();
}

} // namespace

FileResult writeUserFile(const QString& path, QByteArrayView bytes) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::stat(encoded.constData(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(encoded.constData(), &link) == 0)
            return FileResult::failure(Action::Write, path,
                                       QStringLiteral("リンク先のファイルがありません"));
        if (error != ENOENT)
            return failed(Action::Write, path, error);
        return replace(path, bytes); // a new file
    }
    if (S_ISDIR(info.st_mode))
        return FileResult::failure(
            Action::Write, path,
            QStringLiteral("フォルダーです（書き出すファイルの名前を指定して下さい）"));
    if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))
        return writeThrough(path, 0, bytes);
    if (!S_ISREG(info.st_mode))
        return failed(Action::Write, path, NotWritable);
    if (namesADescriptor(QDir::cleanPath(QDir::current().absoluteFilePath(path))))
        return writeThrough(path, O_APPEND, bytes);
    // The file a link leads to is replaced, beside itself; the link stays as it was.
    char* resolved = ::realpath(encoded.constData(), nullptr);
    if (!resolved)
        return failed(Action::Write, path, errno);
    const QString target = QFile::decodeName(resolved);
    std::free(resolved);
    const FileResult replaced = replace(target, bytes);
    if (replaced.hasProblem() && target != path) // named as the user named it
        return replaced.ok() ? FileResult::notDurable(path, replaced.reason())
                             : FileResult::failure(Action::Write, path, replaced.reason());
    return replaced;
}

FileResult createDirectories(const QString& path) {
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = absolute.indexOf(u'/', from);
        const QString step = slash < 0 ? absolute : absolute.left(slash);
        if (::mkdir(QFile::encodeName(step).constData(), 0700) != 0 && errno != EEXIST)
            return failed(Action::Write, step, errno);
        if (slash < 0)
            break;
        from = slash + 1;
    }
    struct stat info {};
    if (::stat(QFile::encodeName(absolute).constData(), &info) != 0)
        return failed(Action::Write, path, errno);
    return S_ISDIR(info.st_mode) ? FileResult::success() : failed(Action::Write, path, ENOTDIR);
}

} // namespace safe_file
