#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

struct chmFile;

// A compiled HTML Help file, read with chmlib: its topics, style sheets and pictures by path,
// and what its #SYSTEM record says (default topic, title, language, contents file).
class ChmFile {
public:
    // Nothing when the file is missing or is no CHM.
    static std::unique_ptr<ChmFile> open(const QString& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    // An object by its path inside the file ("/index.htm"); paths match without regard to case.
    std::optional<QByteArray> read(const QString& path) const;

    // The page to open first: the default topic, else the first topic of the contents file.
    QString startTopic() const;
    QString title() const { return title_; }
    // Text in the code page of the file's language (code page 932 for Japanese).
    QString decode(const QByteArray& bytes) const;

private:
    explicit ChmFile(chmFile* handle);
    void readSystem();
    QString firstContentsTopic() const;

    chmFile* handle_;
    QString defaultTopic_;
    QString title_;
    QString contentsFile_;
    quint32 lcid_ = 0;
};

// Makes an in-file path absolute ("index.htm" becomes "/index.htm").
QString chmPath(const QString& path);
