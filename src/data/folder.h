#pragma once

#include "data/file_result.h"

#include <QString>

// A directory held open: every file step names its file relative to it (openat, renameat,
// unlinkat), so the steps stay in the one directory whatever happens to the working directory
// or to the path the directory was found by.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens the directory at `path` (the working directory for an empty path).
    static Expected<Folder> open(const QString& path);

    int fd() const { return fd_; }
    // The path it was opened by, as the user gave it (for messages).
    const QString& path() const { return path_; }

private:
    int fd_ = -1;
    QString path_;
};
