#pragma once

#include "help/html_help.h"
#include "widgets/window_list.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTextBrowser>
#include <memory>

class ChmFile;

// Pages, style sheets and pictures read from inside a CHM file; links between its topics
// stay inside it, links to the web go to the browser.
class ChmBrowser : public QTextBrowser {
    Q_OBJECT
public:
    ChmBrowser(const ChmFile& file, QWidget* parent);

    // Shows a topic by its path inside the file.
    void showTopic(const QString& path);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void follow(const QUrl& link);
    QString decodePage(const QByteArray& bytes) const;

    const ChmFile& file_;
};

// A help window over one CHM file, with back, forward and home.
class ChmViewer : public QMainWindow {
    Q_OBJECT
public:
    // `home` is the file's start topic, shown first and by the home button.
    ChmViewer(std::unique_ptr<ChmFile> file, const QString& fileName, const QString& home);
    ~ChmViewer() override;

    ChmBrowser* browser() const { return browser_; }
    void showHome();

private:
    std::unique_ptr<ChmFile> file_;
    ChmBrowser* browser_;
    QString home_;
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
    static void placeBeside(QWidget* viewer, QWidget* caller, int count);

    QStringList dataDirs_;
    WindowList<ChmViewer> viewers_;
};
