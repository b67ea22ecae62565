#include "data/user_file.h"

#include "data/folder.h"
#include "data/posix.h"
#include "data/safe_file.h"
#include "data/system_reason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace safe_file {
namespace {

using Action = FileProblem::Action;
using posix::Fd;
using posix::retry;

FileProblem failed(Action action, const QString& fileName, int error) {
    return {action, fileName, systemReason(error)};
}

} // namespace

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
Step writeThrough(const QString& path, int flags, const Writer& write) {
    Fd fd(retry([&] {
        return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags);
    }));
    if (!fd.valid())
        return failed(Action::Write, path, errno);
    if (const int reason = write(fd.get()))
        return failed(Action::Write, path, reason);
    if (!fd.close())
        return failed(Action::Write, path, errno);
    return stepDone();
}

// Replaces a regular file named by a path, as the data files are replaced in their folder;
// the problem names the file as the user named it.
Step replaceAt(const QString& path, const QString& named, const Writer& write) {
    const QFileInfo file(path);
    const Expected<Folder> folder = Folder::open(file.path());
    if (!folder)
        return FileProblem{Action::Write, named, folder.error().reason};
    Step replaced = replace(*folder, file.fileName(), write);
    if (!replaced)
        return FileProblem{replaced.error().action, named, replaced.error().reason};
    if (replaced->unconfirmed)
        replaced->unconfirmed->fileName = named;
    return replaced;
}

} // namespace

Step writeUserFile(const QString& path, QByteArrayView bytes) {
    return writeUserFile(path, [bytes](int fd) { return writeAll(fd, bytes); });
}

Step writeUserFile(const QString& path, const Writer& write) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::stat(encoded.constData(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(encoded.constData(), &link) == 0)
            return FileProblem{Action::Write, path,
                               QStringLiteral("リンク先のファイルがありません")};
        if (error != ENOENT)
            return failed(Action::Write, path, error);
        return replaceAt(path, path, write); // a new file
    }
    if (S_ISDIR(info.st_mode))
        return FileProblem{
            Action::Write, path,
            QStringLiteral("フォルダーです（書き出すファイルの名前を指定して下さい）")};
    if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))
        return writeThrough(path, 0, write);
    if (!S_ISREG(info.st_mode))
        return failed(Action::Write, path, NotWritable);
    if (namesADescriptor(QDir::cleanPath(QDir::current().absoluteFilePath(path))))
        return writeThrough(path, O_APPEND, write);
    // The file a link leads to is replaced, beside itself; the link stays as it was.
    char* resolved = ::realpath(encoded.constData(), nullptr);
    if (!resolved)
        return failed(Action::Write, path, errno);
    const QString target = QFile::decodeName(resolved);
    std::free(resolved);
    return replaceAt(target, path, write);
}

Step createDirectories(const QString& path) {
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
    if (!S_ISDIR(info.st_mode))
        return failed(Action::Write, path, ENOTDIR);
    return stepDone();
}

} // namespace safe_file
