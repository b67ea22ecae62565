#include "app.h"

#include "data/safe_file.h"
#include "dialogs.h"
#include "settings/frmsettei.h"
#include "training/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void prepareApplication(QApplication& application) {
    QApplication::setQuitOnLastWindowClosed(false);
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

App::App(Dialogs& dialogs, const Clock& clock, HtmlHelp& help)
    : dialogs_(dialogs), clock_(clock), help_(help) {}

bool App::start() {
    if (lock_.acquire() == DataDirLock::State::HeldElsewhere) {
        dialogs_.warning(nullptr,
                         QStringLiteral("このフォルダーのデータは、すでに起動しているヤルキン！が"
                                        "使っています。\r\n\r\nフォルダー：") +
                             QDir::toNativeSeparators(QDir::currentPath()),
                         QStringLiteral("二重起動"));
        finish();
        return false;
    }
    report(nullptr, safe_file::removeStrayTemporaries(ItemListFileName));
    openTraining();
    return true;
}

App::~App() {
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
    window->Form_Load();
    window->present();
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

void App::endProgram() {
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

namespace {

// A name read from a hand-edited file may hold control characters; show them as symbols.
QString visible(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    }
    return text;
}

} // namespace

bool App::report(QWidget* parent, const FileResult& result) {
    if (!result.hasProblem())
        return true;
    using Action = FileResult::Action;
    const QString name = visible(result.fileName());
    QString text;
    QString title = QStringLiteral("書き込みエラー");
    switch (result.action()) {
    case Action::Read:
        text = QStringLiteral("ファイル「%1」を読み込めませんでした。").arg(name);
        title = QStringLiteral("読み込みエラー");
        break;
    case Action::Write:
        text = result.ok() ? QStringLiteral("ファイル「%1」への変更がディスクに保存されたことを確認"
                                            "できませんでした。")
                                 .arg(name)
                           : QStringLiteral("ファイル「%1」に書き込めませんでした。").arg(name);
        break;
    case Action::Remove:
        text = QStringLiteral("ファイル「%1」を削除できませんでした。").arg(name);
        break;
    case Action::UnusableName:
        text = QStringLiteral("項目「%1」の名前は履歴ファイルの名前に使えないため、"
                              "この項目の履歴は読み書きできません。")
                   .arg(name);
        title = QStringLiteral("使用できない項目名");
        break;
    }
    dialogs_.warning(parent, text + QStringLiteral("\r\n\r\n理由：") + result.reason(), title);
    return result.ok();
}
