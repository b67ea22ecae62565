#include "safe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#endif

namespace safe_file {
namespace {

FileResult writeFailure(const QString& fileName, const QString& reason) {
    return FileResult::failure(FileResult::Action::Write, fileName, reason);
}

bool syncFile(QFile& file) {
#if defined(Q_OS_UNIX)
    return ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::_commit(file.handle()) == 0;
#else
    return true;
#endif
}

// The rename is durable only once the directory entry itself is on disk.
void syncDirectoryOf(const QString& fileName) {
#ifdef Q_OS_UNIX
    const QByteArray dir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(fileName);
#endif
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ReadResult readAll(const QString& fileName) {
    ReadResult read;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        read.missing = !QFileInfo::exists(fileName);
        if (!read.missing)
            read.result =
                FileResult::failure(FileResult::Action::Read, fileName, file.errorString());
        return read;
    }
    // Read what the file holds now; should it have grown meanwhile, take the rest as well.
    FileBuffer bytes(file.size());
    qsizetype got = 0;
    while (got < bytes.size()) {
        const qint64 n = file.read(bytes.data() + got, bytes.size() - got);
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    if (const QByteArray rest = file.readAll(); !rest.isEmpty()) {
        FileBuffer all(bytes.size() + rest.size());
        std::memcpy(all.data(), bytes.data(), static_cast<size_t>(bytes.size()));
        std::memcpy(all.data() + bytes.size(), rest.constData(), static_cast<size_t>(rest.size()));
        bytes = std::move(all);
    }
    if (file.error() != QFileDevice::NoError) {
        read.result = FileResult::failure(FileResult::Action::Read, fileName, file.errorString());
        return read;
    }
    read.bytes = std::move(bytes);
    return read;
}

FileResult replace(const QString& fileName, QByteArrayView bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return writeFailure(fileName, file.errorString());
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return writeFailure(fileName, reason);
    }
    if (!file.commit())
        return writeFailure(fileName, file.errorString());
    syncDirectoryOf(fileName);
    return FileResult::success();
}

FileResult append(const QString& fileName, QByteArrayView bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return writeFailure(fileName, file.errorString());
    QByteArray data;
    if (const qint64 size = file.size(); size > 0) {
        char last = 0;
        if (!file.seek(size - 1) || !file.getChar(&last))
            return writeFailure(fileName, file.errorString());
        if (last != '\n')
            data = "\r\n";
    }
    data.append(bytes);
    if (file.write(data) != data.size())
        return writeFailure(fileName, file.errorString());
    if (!syncFile(file))
        return writeFailure(fileName, systemReason(errno));
    file.close();
    return FileResult::success();
}

FileResult create(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return writeFailure(fileName, file.errorString());
    file.close();
    return FileResult::success();
}

void remove(const QString& fileName) {
    QFile::remove(fileName);
}

} // namespace safe_file
