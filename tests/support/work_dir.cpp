#include "work_dir.h"

#include "base/cp932.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const QString Levels = QStringLiteral("tree/data");

} // namespace

TempWorkDir::TempWorkDir() : path_(root_.filePath(Levels)), previous_(QDir::currentPath()) {
    EXPECT_TRUE(root_.isValid());
    EXPECT_TRUE(QDir().mkpath(path_));
    QDir::setCurrent(path_);
}

TempWorkDir::~TempWorkDir() {
    QDir::setCurrent(previous_);
    // Nothing may have been written beside the data directory, at any level above it.
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    EXPECT_EQ(QDir(root_.path()).entryList(all), QStringList{QStringLiteral("tree")})
        << "written outside the data directory";
    EXPECT_EQ(QDir(root_.filePath(QStringLiteral("tree"))).entryList(all),
              QStringList{QStringLiteral("data")})
        << "written outside the data directory";
}

Folder TempWorkDir::folder() const {
    Expected<Folder> folder = Folder::open(path_);
    EXPECT_TRUE(folder) << "cannot open the data directory";
    return folder ? std::move(*folder) : Folder();
}

DataDir TempWorkDir::open() const {
    return DataDir(folder());
}

void TempWorkDir::write(const QString& name, const QByteArray& bytes) const {
    QFile file(QDir(path_).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void TempWorkDir::write(const QString& name, const QByteArray& bytes,
                        const QDateTime& modified) const {
    write(name, bytes);
    QFile file(QDir(path_).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

void TempWorkDir::bringIn(const QString& name, const QByteArray& bytes) const {
    const QString temporary = QStringLiteral(".sync.tmp");
    write(temporary, bytes);
    const QDir dir(path_);
    ASSERT_EQ(std::rename(QFile::encodeName(dir.filePath(temporary)).constData(),
                          QFile::encodeName(dir.filePath(name)).constData()),
              0)
        << name.toStdString();
}

QByteArray TempWorkDir::read(const QString& name) const {
    QFile file(QDir(path_).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << name.toStdString();
        return {};
    }
    return file.readAll();
}

bool TempWorkDir::exists(const QString& name) const {
    return QFile::exists(QDir(path_).filePath(name));
}

void TempWorkDir::copyFrom(const QString& sourceDir) const {
    QDir source(sourceDir);
    for (const QString& name : source.entryList({QStringLiteral("*.txt")}, QDir::Files))
        ASSERT_TRUE(QFile::copy(source.filePath(name), QDir(path_).filePath(name)));
    // Copies keep the read-only mode of the source; the program must be able to write them.
    for (const QString& name : QDir(path_).entryList(QDir::Files))
        QFile::setPermissions(QDir(path_).filePath(name),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QStringList TempWorkDir::listing() const {
    QStringList names = QDir(path_).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                              QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QByteArray TempWorkDir::snapshot() const {
    QByteArray all;
    for (const QString& name : listing()) {
        const QFileInfo info(QDir(path_).filePath(name));
        all += name.toUtf8() + '\0';
        if (info.isFile() && !info.isSymLink())
            all += read(name) + '\0';
        else if (info.isDir())
            all += "<directory>\0";
    }
    return all;
}

QByteArray cp(const QString& text) {
    const auto bytes = cp932::encode(text).bytes;
    EXPECT_TRUE(bytes) << text.toStdString();
    return bytes.value_or(QByteArray());
}

QByteArray writtenBy(const std::function<int(int fd)>& write) {
    const int fd = ::memfd_create("written", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd), 0);
    QFile file;
    QByteArray bytes;
    if (::lseek(fd, 0, SEEK_SET) == 0 && file.open(fd, QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    ::close(fd);
    return bytes;
}

QString legacyDataDir() {
    return QStringLiteral(YARUKIN_TESTDATA_DIR "/legacy");
}
