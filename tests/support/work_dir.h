#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include "data/data_dir.h"
#include "printers.h"

// A fresh data directory for one test, two levels down in a temporary tree of its own, so that
// a file written through ".." by mistake still lands in the tree: the test fails when anything
// appears beside the data directory. It is the working directory while the test runs (the
// old one is restored afterwards), so tests can name files by their bare names.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    QString path() const { return path_; }
    // The data directory opened as the program opens it.
    DataDir open() const;
    Folder folder() const;

    void write(const QString& name, const QByteArray& bytes) const;
    // The same, the file then given this modification time (the records' years follow from it).
    void write(const QString& name, const QByteArray& bytes, const QDateTime& modified) const;
    // Replaces a file as a sync tool does: a new file renamed over the old one.
    void bringIn(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;
    // Copies every file of a directory (the legacy test data) in.
    void copyFrom(const QString& sourceDir) const;
    // The names in the directory, special files included, sorted, for "nothing else changed"
    // checks.
    QStringList listing() const;
    // Name plus bytes of every file, for byte-for-byte "nothing changed" checks.
    QByteArray snapshot() const;

private:
    QTemporaryDir root_;
    QString path_;
    QString previous_;
};

// Text in code page 932, as the data files hold it.
QByteArray cp(const QString& text);

// What a writer of a descriptor (an export, standard output) writes, caught in memory; a
// failure fails the test.
QByteArray writtenBy(const std::function<int(int fd)>& write);

// The legacy data files written by an independent CP932 converter.
QString legacyDataDir();
