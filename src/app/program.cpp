#include "app/program.h"

#include "app/app.h"
#include "base/clock.h"
#include "data/csv_export.h"
#include "help/chm_help.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cerrno>
#include <cstdio>
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

QString problemText(const FileResult& result) {
    return QStringLiteral("%1: %2").arg(result.fileName(), result.reason());
}

bool enterDataDir(const QString& dir) {
    return dir.isEmpty() || QDir::setCurrent(dir);
}

// The export: the data directory's histories as CSV, to a file or to standard output.
int exportHistories(const QCommandLineParser& parser, const Options& options) {
    // A relative file name means the folder the command was given in, not the data folder.
    QString target = parser.value(options.exportCsv);
    if (target != QStringLiteral("-"))
        target = QDir::current().absoluteFilePath(target);
    const QString dataDir = parser.value(options.dataDir);
    if (!enterDataDir(dataDir))
        return fail(QStringLiteral("フォルダー「%1」に入れません").arg(dataDir));
    GYMM table;
    if (const FileResult loaded = table.LoadItemList(); loaded.hasProblem())
        return fail(problemText(loaded));
    std::optional<QString> item;
    if (parser.isSet(options.item)) {
        item = parser.value(options.item);
        if (!table.contains(*item))
            return fail(QStringLiteral("項目「%1」は登録されていません").arg(*item));
    }
    const csv::Histories histories = csv::histories(table, item, QDateTime::currentDateTime());
    for (const FileResult& problem : histories.problems) {
        // Among all items, one whose name no file can carry has no history to lose; the one
        // item asked for, or a history that cannot be read, would leave the export short.
        if (item || problem.action() != FileResult::Action::UnusableName)
            return fail(problemText(problem));
        std::fprintf(stderr, "yarukin: 項目「%s」は飛ばしました（%s）\n",
                     qPrintable(Session::visible(problem.fileName())),
                     qPrintable(problem.reason()));
    }
    if (target == QStringLiteral("-")) {
        const QByteArrayView bytes = histories.bytes();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail(QStringLiteral("標準出力に書き込めませんでした"));
            done += n;
        }
        return 0;
    }
    const FileResult written = csv::write(target, histories.bytes());
    return written.ok() ? 0 : fail(problemText(written));
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
    const QString dataDir = parser.value(options.dataDir);
    if (!enterDataDir(dataDir))
        return fail(QStringLiteral("フォルダー「%1」に入れません").arg(dataDir));
    QtDialogs dialogs;
    SystemClock clock;
    ChmHelp help;
    App app(dialogs, clock, help);
    QObject::connect(&app, &App::ended, &application, &QCoreApplication::quit);
    if (!app.start())
        return 1;
    return application.exec();
}
