#include "app.h"

#include "data/safe_file.h"
#include "dialogs.h"
#include "settings/frmsettei.h"
#include "training/frmmain.h"

#include <QApplication>
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

void App::warnFileError(QWidget* parent, const FileResult& result) {
    const bool reading = result.action() == FileResult::Action::Read;
    const QString text = (reading ? QStringLiteral("ファイル「%1」を読み込めませんでした。")
                                  : QStringLiteral("ファイル「%1」に書き込めませんでした。"))
                             .arg(result.fileName()) +
                         QStringLiteral("\r\n\r\n理由：") + result.reason();
    dialogs_.warning(parent, text,
                     reading ? QStringLiteral("読み込みエラー") : QStringLiteral("書き込みエラー"));
}
