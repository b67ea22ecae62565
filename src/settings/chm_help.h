#pragma once

#include "html_help.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTextBrowser>
#include <memory>

class ChmFile;

// A window showing one CHM file: pages, style sheets and pictures come from inside the file,
// and links between its topics work.
class ChmViewer : public QTextBrowser {
    Q_OBJECT
public:
    ChmViewer(std::unique_ptr<ChmFile> file, const QString& fileName);
    ~ChmViewer() override;

    // Shows a topic by its path inside the file.
    void showTopic(const QString& path);

    QVariant loadResource(int type, const QUrl& name) override;

private:
    void follow(const QUrl& link);
    QString decodePage(const QByteArray& bytes) const;

    std::unique_ptr<ChmFile> file_;
};

// The help system of this platform: HH_DISPLAY_TOPIC opens a viewer of its own for each call,
// HH_CLOSE_ALL closes every viewer opened. A bare file name is looked for in the working
// directory first, then in the program's data directories.
class ChmHelp : public HtmlHelp {
public:
    explicit ChmHelp(QStringList dataDirs = installedDataDirs());
    ~ChmHelp() override;

    quintptr HtmlHelpA(QWidget* caller, const QString& file, unsigned command,
                       quintptr data) override;

    QList<ChmViewer*> viewers() const;

    // Where the program's own help file is installed, and the build tree.
    static QStringList installedDataDirs();

private:
    QString locate(const QString& file) const;

    QStringList dataDirs_;
    QList<QPointer<ChmViewer>> viewers_;
};
