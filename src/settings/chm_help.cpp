#include "chm_help.h"

#include "chm_file.h"
#include "common/cp932.h"
#include "common/window_style.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#ifndef YARUKIN_DATA_DIR
#define YARUKIN_DATA_DIR ""
#endif

namespace {

constexpr auto Scheme = "chm";

QUrl topicUrl(const QString& path) {
    QUrl url;
    url.setScheme(QString::fromLatin1(Scheme));
    url.setPath(chmPath(path));
    return url;
}

// The charset a page declares in a <meta> tag, if any.
QByteArray declaredCharset(const QByteArray& page) {
    static const QRegularExpression meta(
        QStringLiteral(R"(<meta[^>]*charset\s*=\s*["']?\s*([A-Za-z0-9_.:\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = meta.match(QString::fromLatin1(page.left(2048)));
    return match.hasMatch() ? match.captured(1).toLatin1().toLower() : QByteArray();
}

bool isCp932Name(const QByteArray& charset) {
    static const QByteArrayList names = {"shift_jis", "shift-jis", "sjis",        "x-sjis",
                                         "cp932",     "ms932",     "windows-31j", "ms_kanji"};
    return names.contains(charset);
}

} // namespace

// --- the viewer ----------------------------------------------------------------------------

ChmViewer::ChmViewer(std::unique_ptr<ChmFile> file, const QString& fileName)
    : file_(std::move(file)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(programIcon());
    const QString title = file_->title();
    setWindowTitle(title.isEmpty() ? fileName : title);
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmViewer::follow);
    resize(720, 540);
}

ChmViewer::~ChmViewer() = default;

void ChmViewer::showTopic(const QString& path) {
    setSource(topicUrl(path));
}

void ChmViewer::follow(const QUrl& link) {
    if (link.scheme() == QLatin1String(Scheme)) {
        if (link.path() == source().path() && link.hasFragment())
            scrollToAnchor(link.fragment());
        else
            setSource(link);
        return;
    }
    QDesktopServices::openUrl(link); // a web link leaves the help for the browser
}

QVariant ChmViewer::loadResource(int type, const QUrl& name) {
    if (name.scheme() != QLatin1String(Scheme))
        return {};
    const std::optional<QByteArray> bytes = file_->read(name.path());
    if (!bytes)
        return {};
    switch (type) {
    case QTextDocument::HtmlResource:
        return decodePage(*bytes);
    case QTextDocument::StyleSheetResource:
        return decodePage(*bytes);
    default:
        return *bytes; // pictures
    }
}

QString ChmViewer::decodePage(const QByteArray& bytes) const {
    const QByteArray charset = declaredCharset(bytes);
    if (isCp932Name(charset))
        return cp932::decode(bytes);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return file_->decode(bytes);
}

// --- the help system -------------------------------------------------------------------------

ChmHelp::ChmHelp(QStringList dataDirs) : dataDirs_(std::move(dataDirs)) {}

ChmHelp::~ChmHelp() {
    for (const QPointer<ChmViewer>& viewer : viewers_)
        delete viewer.data();
}

QStringList ChmHelp::installedDataDirs() {
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList dirs = {programDir + QStringLiteral("/../share/yarukin")};
    if (const QString installed = QStringLiteral(YARUKIN_DATA_DIR); !installed.isEmpty())
        dirs.append(installed);
    dirs.append(programDir);
    return dirs;
}

QString ChmHelp::locate(const QString& file) const {
    if (QFileInfo(file).isFile())
        return QFileInfo(file).absoluteFilePath();
    if (!QFileInfo(file).isRelative())
        return {};
    for (const QString& dir : dataDirs_) {
        const QFileInfo candidate(QDir(dir).filePath(file));
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

quintptr ChmHelp::HtmlHelpA(QWidget* caller, const QString& file, unsigned command, quintptr) {
    if (command == HH_CLOSE_ALL) {
        for (const QPointer<ChmViewer>& viewer : std::exchange(viewers_, {}))
            if (viewer)
                viewer->close();
        return 0;
    }
    if (command != HH_DISPLAY_TOPIC)
        return 0;
    const QString path = locate(file);
    if (path.isEmpty())
        return 0;
    std::unique_ptr<ChmFile> chm = ChmFile::open(path);
    if (!chm)
        return 0;
    const QString topic = chm->startTopic();
    if (topic.isEmpty())
        return 0;

    auto* viewer = new ChmViewer(std::move(chm), file);
    viewers_.removeAll(nullptr);
    viewers_.append(viewer);
    viewer->showTopic(topic);
    if (caller) {
        // Beside the settings window rather than over its buttons.
        viewer->move(caller->frameGeometry().topLeft() + QPoint(40 * viewers_.size(), 60));
    }
    viewer->show();
    return static_cast<quintptr>(viewer->winId());
}

QList<ChmViewer*> ChmHelp::viewers() const {
    QList<ChmViewer*> open;
    for (const QPointer<ChmViewer>& viewer : viewers_)
        if (viewer)
            open.append(viewer);
    return open;
}
