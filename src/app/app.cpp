#include "app/app.h"

#include "base/clock.h"
#include "progress/progress_window.h"
#include "reminder/desktop.h"
#include "reminder/reminder_box.h"
#include "settings/frmsettei.h"
#include "training/frmmain.h"
#include "widgets/dialogs.h"
#include "widgets/window_style.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

void speakJapanese(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void prepareApplication(QApplication& application) {
    QApplication::setQuitOnLastWindowClosed(false);
    speakJapanese(application);
}

App::App(DataDir& data, Dialogs& dialogs, const Clock& clock, HtmlHelp& help)
    : Session(data, dialogs, clock, help), watch_(new DiskWatch(data.folder(), clock, this)) {}

bool App::start() {
    const QString folder = QStringLiteral("\r\n\r\nフォルダー：") +
                           QDir::toNativeSeparators(QDir(data().folder().path()).absolutePath());
    switch (data().lock()) {
    case DataDir::Lock::HeldElsewhere:
        dialogs().warning(nullptr,
                          QStringLiteral("このフォルダーのデータは、すでに起動しているヤルキン！"
                                         "が使っています。") +
                              folder,
                          QStringLiteral("二重起動"));
        finish();
        return false;
    case DataDir::Lock::Unavailable:
        // Another copy may be at work here, so its temporary files are left alone.
        dialogs().warning(nullptr,
                          QStringLiteral("このフォルダーでは、ほかにヤルキン！が起動しているか"
                                         "どうかを確かめられません。同じフォルダーで二つ同時に"
                                         "使わないで下さい。") +
                              folder,
                          QStringLiteral("二重起動"));
        break;
    case DataDir::Lock::Held:
        report(nullptr, data().removeStrayTemporaries());
        // Only the copy that holds the directory answers a reminder's 「始める」; the session
        // bus is not asked before the first window is up.
        QTimer::singleShot(0, this, [this] {
            reminder::registerPresence(this, data().folder(), [this] { present(); });
        });
        break;
    }
    // The list as it stands, so that a copy of it merged now tells only what the copy brings
    // (the training window reads it again, and tells a problem with it).
    (void)data().LoadItemList();
    mergeConflictCopies();
    // Not in the middle of what the user is doing: a box waiting for an answer, or a Next.
    watch_->setHeld([this] {
        const auto* training = qobject_cast<frmMain*>(current_);
        return QApplication::activeModalWidget() || (training && training->busy());
    });
    connect(watch_, &DiskWatch::conflictCopiesArrived, this, &App::mergeConflictCopies);
    connect(watch_, &DiskWatch::itemListChanged, this, &App::followList);
    connect(watch_, &DiskWatch::itemListChanged, this, &App::tellHistoriesWithoutItem);
    connect(watch_, &DiskWatch::namesChanged, this, &App::tellHistoriesWithoutItem);
    openTraining();
    // After the merge, which may bring an item back, and over the window now open.
    if (current_)
        tellHistoriesWithoutItem();
    return true;
}

namespace {

// The record of the histories told: a line per history, the data directory and the item
// name separated by a tab (a name that a history can carry holds no control character).
QStringList toldLines(const QString& stateDir) {
    const Expected<Folder> folder = Folder::open(stateDir);
    if (!folder)
        return {};
    const Expected<FileBytes> read = safe_file::readAll(*folder, App::ToldFileName);
    if (!read)
        return {};
    return QString::fromUtf8(read->bytes.view()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

QStringList App::told() {
    if (!told_) {
        told_.emplace();
        const QString dir = QDir(data().folder().path()).absolutePath();
        if (!toldDir_.isEmpty())
            for (const QString& line : toldLines(toldDir_))
                if (line.section(u'\t', 0, -2) == dir)
                    told_->append(line.section(u'\t', -1));
    }
    return *told_;
}

void App::noteTold(const QStringList& told) {
    told_ = told;
    if (toldDir_.isEmpty())
        return;
    const QString dir = QDir(data().folder().path()).absolutePath();
    QStringList lines = toldLines(toldDir_);
    lines.removeIf([&](const QString& line) { return line.section(u'\t', 0, -2) == dir; });
    for (const QString& name : told)
        lines.append(dir + u'\t' + name);
    // Only a note: a state directory that cannot be written means telling again next time.
    if (safe_file::createDirectories(toldDir_))
        if (const Expected<Folder> folder = Folder::open(toldDir_))
            (void)safe_file::replace(*folder, ToldFileName, (lines.join(u'\n') + u'\n').toUtf8());
}

void App::tellHistoriesWithoutItem() {
    const QStringList before = told();
    const QStringList now = data().historiesWithoutItem(before);
    QStringList fresh;
    for (const QString& name : now)
        if (!before.contains(name))
            fresh.append(name);
    // A history registered again or gone is forgotten, so that it is told if it comes back.
    if (now != before)
        noteTold(now);
    Session::tellHistoriesWithoutItem(current_, fresh);
}

void App::mergeConflictCopies() {
    const DataDir::Merged merged = data().mergeConflictCopies();
    reportMerged(current_, merged);
    if (merged.done || merged.listChanged)
        followTable();
}

void App::followList() {
    // Only a list that changed is told: one that cannot be read now is told by the next
    // action that needs it.
    const Outcome followed = data().followList();
    if (!followed.listChanged)
        return;
    report(current_, followed);
    followTable();
}

void App::followTable() {
    if (auto* training = qobject_cast<frmMain*>(current_))
        training->followTable();
    else if (auto* settings = qobject_cast<frmSettei*>(current_))
        settings->followTable();
}

void App::dataDirChanged() {
    watch_->look();
}

App::~App() {
    progress_.deleteAll();
    ended_ = true;
    delete std::exchange(current_, nullptr);
}

void App::openTraining() {
    auto* window = new frmMain(*this);
    adopt(window);
    window->Form_Load();
}

void App::openSettings() {
    auto* window = new frmSettei(*this);
    adopt(window);
    // Shown before it loads: a box about its content (a name no file can carry) comes over it.
    window->present();
    window->Form_Load();
}

void App::adopt(QWidget* window) {
    current_ = window;
    connect(window, &QObject::destroyed, this, [this, window] {
        // Only the open window ending on its own ends the program; the window a switch
        // leaves is no longer the open one by the time it goes.
        if (current_ == window) {
            current_ = nullptr;
            finish();
        }
    });
}

void App::showProgress(QWidget* caller, int item) {
    auto* window = new ProgressWindow(
        data(), *watch_, gymm().ItemNames(item), gymm().ItemTargets(item), clock(), dialogs(),
        [this](QWidget* parent, const Step& step) { return report(parent, step); });
    if (window->readProblem()) {
        report(caller, *window->readProblem());
        delete window;
        return;
    }
    progress_.add(window);
    if (caller) { // beside the window it was asked from, a little further for each
        const QScreen* screen = caller->screen();
        const QMargins frame(caller->geometry().left() - caller->frameGeometry().left(),
                             caller->geometry().top() - caller->frameGeometry().top(),
                             caller->frameGeometry().right() - caller->geometry().right(),
                             caller->frameGeometry().bottom() - caller->geometry().bottom());
        window->move(cascadePosition(caller->frameGeometry().topLeft(),
                                     int(progress_.open().size()), window->size(), frame,
                                     screen ? screen->availableGeometry() : QRect()));
    }
    window->show();
    window->activateWindow();
}

void App::showReminder(QWidget* caller) {
    ReminderBox box(caller, data().folder().path(), dialogs(), &reminder::apply);
    box.exec();
}

void App::present() {
    if (!current_)
        return;
    current_->show();
    current_->setWindowState(current_->windowState() & ~Qt::WindowMinimized);
    current_->raise();
    current_->activateWindow();
}

QList<QWidget*> App::progressWindows() const {
    return progress_.open();
}

void App::endProgram() {
    progress_.closeAll();
    if (QWidget* window = std::exchange(current_, nullptr)) {
        window->hide();
        window->deleteLater();
    }
    finish();
}

void App::finish() {
    if (ended_)
        return;
    ended_ = true;
    emit ended();
}
