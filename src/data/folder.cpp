#include "data/folder.h"

#include "data/posix.h"
#include "data/system_reason.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

Folder::~Folder() {
    if (fd_ >= 0)
        ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Expected<Folder> Folder::open(const QString& path) {
    const QByteArray name = path.isEmpty() ? QByteArray(".") : QFile::encodeName(path);
    const int fd =
        posix::retry([&] { return ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return FileProblem{FileProblem::Action::Read, path.isEmpty() ? QStringLiteral(".") : path,
                           systemReason(errno)};
    Folder folder;
    folder.fd_ = fd;
    folder.path_ = path.isEmpty() ? QStringLiteral(".") : path;
    return folder;
}
