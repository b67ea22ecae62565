#include "app/program.h"

#include "app/app.h"
#include "base/clock.h"
#include "data/csv_export.h"
#include "data/safe_file.h"
#include "help/chm_help.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cstdio>
#include <optional>
#include <unistd.h>

#ifndef YARUKIN_VERSION
#define YARUKIN_VERSION "0"
#endif

namespace {

struct Options {
    QCommandLineOption dataDir{QStringLiteral("data-dir"),
                               QStringLiteral("作業フォルダーの代わりに DIR のデータを使います。"),
                               QStringLiteral("DIR")};
    QCommandLineOption exportCsv{
        QStringLiteral("export-csv"),
        QStringLiteral("履歴を CSV（UTF-8）で FILE に書き出して終わります（- は標準出力）。"
                       "画面は使いません。"),
        QStringLiteral("FILE")};
    QCommandLineOption item{QStringLiteral("item"),
                            QStringLiteral("--export-csv で書き出すのを項目 NAME だけにします。"),
                            QStringLiteral("NAME")};
};

void describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(QStringLiteral("ヤルキン！ 運動の回数を記録するカウンター"));
    // "-platform" and the like are one option, not eight letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({options.dataDir, options.exportCsv, options.item});
}

// One line on standard error, as command-line programs say why they stopped.
int fail(const QString& reason, int code = 1) {
    std::fprintf(stderr, "yarukin: %s\n", qPrintable(reason));
    return code;
}

QString problemText(const FileProblem& problem) {
    return QStringLiteral("%1: %2").arg(problem.fileName, problem.reason);
}

// The data directory named on the command line, or the working directory.
std::optional<DataDir> openDataDir(const QString& path, int& status) {
    Expected<Folder> folder = Folder::open(path);
    if (!folder) {
        status = fail(QStringLiteral("フォルダー「%1」を開けません: %2")
                          .arg(folder.error().fileName, folder.error().reason));
        return std::nullopt;
    }
    return std::optional<DataDir>(std::in_place, std::move(*folder));
}

// The export: the data directory's histories as CSV, to a file or to standard output.
int exportHistories(const QCommandLineParser& parser, const Options& options) {
    // A relative file name means the folder the command was given in, not the data folder.
    const QString target = parser.value(options.exportCsv);
    int status = 0;
    std::optional<DataDir> data = openDataDir(parser.value(options.dataDir), status);
    if (!data)
        return status;
    const GYMM& table = data->gymm();
    if (const Outcome loaded = data->LoadItemList(); !loaded.done)
        return fail(problemText(loaded.warnings.value(0)));
    std::optional<QString> item;
    if (parser.isSet(options.item)) {
        item = parser.value(options.item);
        if (!table.contains(*item))
            return fail(QStringLiteral("項目「%1」は登録されていません").arg(*item));
    }
    const csv::Histories histories = csv::histories(*data, item, QDateTime::currentDateTime());
    for (const FileProblem& problem : histories.problems) {
        // Among all items, one whose name no file can carry has no history to lose; the one
        // item asked for, or a history that cannot be read, would leave the export short.
        if (item || problem.action != FileProblem::Action::UnusableName)
            return fail(problemText(problem));
        std::fprintf(stderr, "yarukin: 項目「%s」は飛ばしました（%s）\n",
                     qPrintable(Session::visible(problem.fileName)), qPrintable(problem.reason));
    }
    if (target == QStringLiteral("-")) {
        if (const int error = safe_file::writeAll(STDOUT_FILENO, histories.bytes()))
            return fail(QStringLiteral("標準出力に書き込めませんでした: %1")
                            .arg(safe_file::systemReason(error)));
        return 0;
    }
    const Step written = csv::write(target, histories.bytes());
    return written ? 0 : fail(problemText(written.error()));
}

// Read before any application object exists: an export, the help, the version and a mistake
// on the command line need no display, so no QApplication is made for them.
bool wantsNoWindow(int argc, char* argv[], QCommandLineParser& parser, const Options& options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(arguments))
        return true; // the mistake is told on the command line, window or no window
    for (const char* name : {"help", "help-all", "version"})
        if (parser.isSet(QString::fromLatin1(name)))
            return true;
    return parser.isSet(options.exportCsv) || parser.isSet(options.item);
}

} // namespace

int runProgram(int argc, char* argv[]) {
    Options options;
    QCommandLineParser parser;
    describe(parser, options);
    if (wantsNoWindow(argc, argv, parser, options)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("yarukin"));
        QCoreApplication::setApplicationVersion(QStringLiteral(YARUKIN_VERSION));
        speakJapanese(core);
        parser.process(core); // --help and --version print and end here, as a mistake does
        if (!parser.isSet(options.exportCsv))
            return fail(QStringLiteral("--item は --export-csv と一緒に使います"), 2);
        return exportHistories(parser, options);
    }

    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yarukin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(YARUKIN_VERSION));
    prepareApplication(application);
    parser.process(application);
    int status = 0;
    std::optional<DataDir> data = openDataDir(parser.value(options.dataDir), status);
    if (!data)
        return status;
    QtDialogs dialogs;
    SystemClock clock;
    // A help file beside the data is found first, as it was when the data directory was the
    // working directory.
    ChmHelp help(QStringList{data->folder().path()} + ChmHelp::installedDataDirs());
    App app(*data, dialogs, clock, help);
    QObject::connect(&app, &App::ended, &application, &QCoreApplication::quit);
    if (!app.start())
        return 1;
    return application.exec();
}
