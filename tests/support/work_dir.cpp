#include "work_dir.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

TempWorkDir::TempWorkDir() : previous_(QDir::currentPath()) {
    EXPECT_TRUE(dir_.isValid());
    QDir::setCurrent(dir_.path());
}

TempWorkDir::~TempWorkDir() {
    QDir::setCurrent(previous_);
}

void TempWorkDir::write(const QString& name, const QByteArray& bytes) const {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray TempWorkDir::read(const QString& name) const {
    QFile file(dir_.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << name.toStdString();
        return {};
    }
    return file.readAll();
}

bool TempWorkDir::exists(const QString& name) const {
    return QFile::exists(dir_.filePath(name));
}

void TempWorkDir::copyFrom(const QString& sourceDir) const {
    QDir source(sourceDir);
    for (const QString& name : source.entryList({QStringLiteral("*.txt")}, QDir::Files))
        ASSERT_TRUE(QFile::copy(source.filePath(name), dir_.filePath(name)));
    // Copies keep the read-only mode of the source; the program must be able to write them.
    for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
        QFile::setPermissions(dir_.filePath(name),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QStringList TempWorkDir::listing() const {
    QStringList names = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QByteArray TempWorkDir::snapshot() const {
    QByteArray all;
    for (const QString& name : listing()) {
        const QFileInfo info(dir_.filePath(name));
        all += name.toUtf8() + '\0';
        if (info.isFile() && !info.isSymLink())
            all += read(name) + '\0';
        else if (info.isDir())
            all += "<directory>\0";
    }
    return all;
}

QString legacyDataDir() {
    return QStringLiteral(YARUKIN_TESTDATA_DIR "/legacy");
}
