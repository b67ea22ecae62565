#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include "printers.h"

// A fresh temporary working directory for one test; the old one is restored afterwards.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    QString path() const { return dir_.path(); }

    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;
    // Copies every file of a directory (the legacy test data) in.
    void copyFrom(const QString& sourceDir) const;
    // The names in the directory, sorted, for "nothing else changed" checks.
    QStringList listing() const;
    // Name plus bytes of every file, for byte-for-byte "nothing changed" checks.
    QByteArray snapshot() const;

private:
    QTemporaryDir dir_;
    QString previous_;
};

// The legacy data files written by an independent CP932 converter.
QString legacyDataDir();
