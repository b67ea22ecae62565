#include "help/chm_help.h"

#include "base/cp932.h"
#include "help/chm_file.h"
#include "widgets/window_style.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QStringDecoder>
#include <QToolBar>

#ifndef YARUKIN_DATA_DIR
#define YARUKIN_DATA_DIR ""
#define YARUKIN_RELATIVE_DATA_DIR ""
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

// Qt reads a <link rel="stylesheet"> only with type="text/css", which pages often leave out.
QString withStyleSheetTypes(QString page) {
    static const QRegularExpression link(
        QStringLiteral(R"re(<link\b(?![^>]*\btype\s*=)(?=[^>]*\brel\s*=\s*["']?stylesheet))re"),
        QRegularExpression::CaseInsensitiveOption);
    return page.replace(link, QStringLiteral("<link type=\"text/css\""));
}

bool isCp932Name(const QByteArray& charset) {
    static const QByteArrayList names = {"shift_jis", "shift-jis", "sjis",        "x-sjis",
                                         "cp932",     "ms932",     "windows-31j", "ms_kanji"};
    return names.contains(charset);
}

} // namespace

// --- the viewer ----------------------------------------------------------------------------

ChmBrowser::ChmBrowser(const ChmFile& file, QWidget* parent) : QTextBrowser(parent), file_(file) {
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::follow);
}

void ChmBrowser::showTopic(const QString& path) {
    setSource(topicUrl(path));
}

void ChmBrowser::follow(const QUrl& link) {
    if (link.scheme() == QLatin1String(Scheme)) {
        if (link.path() == source().path() && link.hasFragment())
            scrollToAnchor(link.fragment());
        else
            setSource(link);
        return;
    }
    QDesktopServices::openUrl(link); // a web link leaves the help for the browser
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() != QLatin1String(Scheme))
        return {};
    const std::optional<QByteArray> bytes = file_.read(name.path());
    if (!bytes)
        return {};
    switch (type) {
    case QTextDocument::HtmlResource:
        return withStyleSheetTypes(decodePage(*bytes));
    case QTextDocument::StyleSheetResource:
        return decodePage(*bytes);
    default:
        return *bytes; // pictures
    }
}

QString ChmBrowser::decodePage(const QByteArray& bytes) const {
    const QByteArray charset = declaredCharset(bytes);
    if (isCp932Name(charset))
        return cp932::decode(bytes);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return file_.decode(bytes);
}

ChmViewer::ChmViewer(std::unique_ptr<ChmFile> file, const QString& fileName, const QString& home)
    : file_(std::move(file)), browser_(new ChmBrowser(*file_, this)), home_(home) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(programIcon());
    const QString title = file_->title();
    setWindowTitle(title.isEmpty() ? fileName : title);
    setCentralWidget(browser_);

    QToolBar* bar = addToolBar(QStringLiteral("移動"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* back = bar->addAction(QStringLiteral("戻る"), browser_, &QTextBrowser::backward);
    QAction* forward = bar->addAction(QStringLiteral("進む"), browser_, &QTextBrowser::forward);
    bar->addAction(QStringLiteral("ホーム"), this, &ChmViewer::showHome);
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    resize(720, 560);
}

ChmViewer::~ChmViewer() = default;

void ChmViewer::showHome() {
    browser_->showTopic(home_);
}

// --- the help system -------------------------------------------------------------------------

ChmHelp::ChmHelp(QStringList dataDirs) : dataDirs_(std::move(dataDirs)) {}

ChmHelp::~ChmHelp() = default;

QStringList ChmHelp::installedDataDirs() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList dirs;
    if (const QString relative = QStringLiteral(YARUKIN_RELATIVE_DATA_DIR); !relative.isEmpty())
        dirs.append(QDir::cleanPath(programDir.filePath(relative)));
    if (const QString installed = QStringLiteral(YARUKIN_DATA_DIR); !installed.isEmpty())
        dirs.append(installed);
    dirs.append(programDir.path()); // the build tree
    dirs.removeDuplicates();
    return dirs;
}

// Each viewer a little further along to the right of the caller, within the screen.
void ChmHelp::placeBeside(QWidget* viewer, QWidget* caller, int count) {
    const QScreen* screen = caller ? caller->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QPoint at = caller ? caller->frameGeometry().topLeft() + QPoint(caller->width() / 3, 0)
                       : available.topLeft();
    at += QPoint(32, 32) * count;
    at.setX(qBound(available.left(), at.x(), available.right() - viewer->width()));
    at.setY(qBound(available.top(), at.y(), available.bottom() - viewer->height()));
    viewer->move(at);
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
        viewers_.closeAll();
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

    auto* viewer = new ChmViewer(std::move(chm), file, topic);
    viewers_.add(viewer);
    viewer->showHome();
    placeBeside(viewer, caller, static_cast<int>(viewers_.open().size()));
    viewer->show();
    return static_cast<quintptr>(viewer->winId());
}

QList<ChmViewer*> ChmHelp::viewers() const {
    return viewers_.open();
}
