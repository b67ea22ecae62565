#include "app/program.h"

#include "app/app.h"
#include "app/display.h"
#include "base/clock.h"
#include "data/csv_export.h"
#include "data/safe_file.h"
#include "data/system_reason.h"
#include "help/chm_help.h"
#include "reminder/desktop.h"
#include "reminder/reminder.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QDir>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#ifndef YARUKIN_VERSION
#define YARUKIN_VERSION "0"
#endif

namespace {

// The launcher names the data directory it would have the program use when --data-dir is not
// given; the program makes it only when it opens its windows there.
constexpr char DefaultDataDirVariable[] = "YARUKIN_DEFAULT_DATA_DIR";

struct CommandLine {
    enum class Ask { Windows, Export, Help, Version, Mistake, Reminder, Remind };
    Ask ask = Ask::Windows;
    std::optional<QString> dataDir, exportTarget, item, reminder, reminderDays;
    bool remind = false;
    QString mistake; // what was wrong, for Ask::Mistake
};

// The options, each once: --name VALUE or --name=VALUE for those with a value. The program
// takes no other words, and none of Qt's own options: the windows get no arguments.
CommandLine parse(const QStringList& arguments) {
    CommandLine line;
    const auto mistake = [&line](const QString& what) {
        line.ask = CommandLine::Ask::Mistake;
        line.mistake = what;
        return line;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded)
            return mistake(QStringLiteral("余分な引数です: %1").arg(argument));
        const qsizetype equals = argument.indexOf(u'=');
        const QString name =
            argument.startsWith(u"--") && equals > 0 ? argument.left(equals) : argument;
        const bool help = name == u"-h" || name == u"--help";
        if (help || name == u"-v" || name == u"--version") {
            if (name != argument)
                return mistake(QStringLiteral("%1 は値を取りません").arg(name));
            line.ask = help ? CommandLine::Ask::Help : CommandLine::Ask::Version;
            return line;
        }
        if (name == u"--remind") {
            if (name != argument)
                return mistake(QStringLiteral("%1 は値を取りません").arg(name));
            line.remind = true;
            continue;
        }
        struct ValueOption {
            const char16_t* name;
            const char16_t* value;
            std::optional<QString>* into;
        };
        const ValueOption options[] = {{u"--data-dir", u"DIR", &line.dataDir},
                                       {u"--export-csv", u"FILE", &line.exportTarget},
                                       {u"--item", u"NAME", &line.item},
                                       {u"--reminder", u"HH:MM|off|show", &line.reminder},
                                       {u"--reminder-days", u"DAYS", &line.reminderDays}};
        const ValueOption* option = nullptr;
        for (const ValueOption& candidate : options)
            if (name == QStringView(candidate.name))
                option = &candidate;
        if (!option) {
            if (argument.startsWith(u'-') && argument != u"-")
                return mistake(QStringLiteral("知らないオプションです: %1").arg(argument));
            return mistake(QStringLiteral("余分な引数です: %1").arg(argument));
        }
        if (*option->into)
            return mistake(QStringLiteral("%1 が二度指定されています").arg(name));
        QString value;
        if (name != argument)
            value = argument.mid(equals + 1);
        else if (i + 1 < arguments.size())
            value = arguments[++i];
        else
            return mistake(QStringLiteral("%1 には値（%2）が要ります")
                               .arg(name, QString::fromUtf16(option->value)));
        if (value.isEmpty())
            return mistake(QStringLiteral("%1 の値が空です").arg(name));
        *option->into = value;
    }
    if (line.item && !line.exportTarget)
        return mistake(QStringLiteral("--item は --export-csv と一緒に使います"));
    if (line.remind && (line.dataDir || line.exportTarget || line.reminder))
        return mistake(QStringLiteral("--remind はほかのオプションと一緒に使えません"));
    if (line.reminder && line.exportTarget)
        return mistake(QStringLiteral("--reminder と --export-csv は一緒に使えません"));
    if (line.reminder && *line.reminder != u"off" && *line.reminder != u"show" &&
        !QTime::fromString(*line.reminder, u"H:mm").isValid())
        return mistake(
            QStringLiteral("--reminder の時刻は 19:30 のように書きます: %1").arg(*line.reminder));
    if (line.reminderDays &&
        (!line.reminder || !QTime::fromString(*line.reminder, u"H:mm").isValid()))
        return mistake(QStringLiteral("--reminder-days は --reminder HH:MM と一緒に使います"));
    if (line.reminderDays && !reminder::parseDays(*line.reminderDays))
        return mistake(QStringLiteral("曜日は 月水金、平日、mon,wed,fri のように書きます: %1")
                           .arg(*line.reminderDays));
    line.ask = line.remind         ? CommandLine::Ask::Remind
               : line.reminder     ? CommandLine::Ask::Reminder
               : line.exportTarget ? CommandLine::Ask::Export
                                   : CommandLine::Ask::Windows;
    return line;
}

QString defaultDataDirText() {
    const QString launcherDefault = qEnvironmentVariable(DefaultDataDirVariable);
    const QString where = QStringLiteral("${XDG_DATA_HOME:-~/.local/share}/yarukin");
    if (launcherDefault.isEmpty())
        return QStringLiteral(
                   "  --data-dir がなければ作業フォルダーを使います（yarukin コマンドから\n"
                   "  起動したときは %1）。\n")
            .arg(where);
    return QStringLiteral("  --data-dir がなければ %1、ここでは\n"
                          "  %2 を使い、ウィンドウを開くときになければ作ります。\n")
        .arg(where, launcherDefault);
}

// The whole help, in Japanese; the manual page says the same at more length.
QString helpText() {
    return QStringLiteral(
               "使い方: yarukin [--data-dir DIR]\n"
               "        yarukin [--data-dir DIR] --export-csv FILE [--item NAME]\n"
               "        yarukin [--data-dir DIR] --reminder HH:MM|off|show [--reminder-days DAYS]\n"
               "        yarukin --help | --version\n"
               "\n"
               "ヤルキン！ 運動の回数を数えて記録するカウンターです。オプションがなければ\n"
               "トレーニングのウィンドウを開きます。\n"
               "\n"
               "オプション:\n"
               "  --data-dir DIR      データのフォルダー（項目一覧.txt と履歴のファイルの\n"
               "                      あるフォルダー）を DIR にします。\n"
               "  --export-csv FILE   履歴を CSV（UTF-8、BOM 付き、改行は CR LF）で FILE に\n"
               "                      書き出して終わります。FILE が - なら標準出力に書きます。\n"
               "                      画面は使いません。\n"
               "  --item NAME         --export-csv で書き出すのを項目 NAME の履歴だけにします。\n"
               "  --reminder HH:MM    毎日 HH:MM に、データのフォルダーの項目でその日まだ\n"
               "                      済んでいないものがあれば通知します（このコンピューター\n"
               "                      だけの設定）。off で止め、show で設定を表示します。\n"
               "  --reminder-days DAYS\n"
               "                      通知する曜日: 月水金、平日、週末、毎日、mon,wed,fri など。\n"
               "                      なければ前の設定の曜日（初めは毎日）です。\n"
               "  --remind            通知の時刻の確認（systemd のタイマーが使います）。\n"
               "  -h, --help          この説明を表示して終わります。\n"
               "  -v, --version       バージョンを表示して終わります。\n"
               "  値は --item=NAME のように = でつないでも書けます。\n"
               "\n"
               "データのフォルダー:\n") +
           defaultDataDirText() +
           QStringLiteral(
               "\n"
               "例:\n"
               "  yarukin --export-csv 記録.csv\n"
               "      全項目の履歴を 記録.csv に書き出します。\n"
               "  yarukin --export-csv - --item 腕立て伏せ | head\n"
               "      腕立て伏せの履歴を標準出力に書き出し、初めの行だけを見ます。\n"
               "  yarukin --export-csv >(gzip > 記録.csv.gz)\n"
               "      圧縮しながら書き出します（bash のプロセス置換）。\n"
               "  yarukin --reminder 19:30 --reminder-days 平日\n"
               "      平日の 19:30 に、まだの項目があれば通知します。\n"
               "  yarukin --data-dir /media/usb/yarukin\n"
               "      別のフォルダーのデータでトレーニングします。\n"
               "\n"
               "終了ステータス:\n"
               "  0  成功\n"
               "  1  処理の失敗（ファイルやデータの問題、画面に接続できないなど）\n"
               "  2  使い方の誤り（知らないオプション、値のないオプション、余分な引数、\n"
               "     --export-csv のない --item など）\n"
               "\n"
               "詳しくは man yarukin を見て下さい。\n");
}

// Text for standard output; false when it could not be written (a closed output, say).
bool print(const QString& text) {
    const int error = safe_file::writeAll(STDOUT_FILENO, text.toUtf8());
    if (error)
        std::fprintf(stderr, "yarukin: 標準出力に書き込めませんでした: %s\n",
                     qPrintable(systemReason(error)));
    return error == 0;
}

// One line on standard error, as command-line programs say why they stopped.
int fail(const QString& reason) {
    std::fprintf(stderr, "yarukin: %s\n", qPrintable(reason));
    return 1;
}

int usageError(const QString& mistake) {
    std::fprintf(stderr, "yarukin: %s\n詳しくは yarukin --help を見て下さい。\n",
                 qPrintable(mistake));
    return 2;
}

QString problemText(const FileProblem& problem) {
    return QStringLiteral("%1: %2").arg(problem.fileName, problem.reason);
}

// The data directory held open for the run (the working directory when none is named); the
// working directory itself stays where the command was given.
std::optional<DataDir> openDataDir(const std::optional<QString>& dir, int& status) {
    Expected<Folder> folder = Folder::open(dir.value_or(QString()));
    if (!folder) {
        status = fail(QStringLiteral("フォルダー「%1」を開けません: %2")
                          .arg(folder.error().fileName, folder.error().reason));
        return std::nullopt;
    }
    return std::optional<DataDir>(std::in_place, std::move(*folder));
}

// A descriptor closed when the program started would be handed to the next file opened,
// and a CSV meant for standard output would land in it. Each stays taken by /dev/null,
// opened for the other direction, so that its use still fails as on a closed descriptor.
void holdClosedStandardDescriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

// The export: the data directory's histories as CSV, to a file or to standard output.
int exportHistories(const CommandLine& line) {
    // A relative file name means the folder the command was given in, not the data folder.
    const QString target = *line.exportTarget;
    std::optional<QString> dataDir = line.dataDir;
    if (!dataDir && qEnvironmentVariableIsSet(DefaultDataDirVariable))
        dataDir = qEnvironmentVariable(DefaultDataDirVariable);
    int status = 0;
    std::optional<DataDir> data = openDataDir(dataDir, status);
    if (!data)
        return status;
    // Without its item list a folder holds no data of the program: a mistyped path, most
    // likely, which an export of nothing would hide.
    struct stat info {};
    if (::fstatat(data->folder().fd(), QFile::encodeName(ItemListFileName).constData(), &info,
                  AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == ENOENT)
        return fail(QStringLiteral("%1: %2（フォルダー「%3」にヤルキン！のデータはありません）")
                        .arg(ItemListFileName, systemReason(ENOENT),
                             QDir(data->folder().path()).absolutePath()));
    const GYMM& table = data->gymm();
    if (const Outcome loaded = data->LoadItemList(); !loaded.done)
        return fail(problemText(loaded.warnings.value(0)));
    if (line.item && !table.contains(*line.item))
        return fail(QStringLiteral("項目「%1」は登録されていません").arg(*line.item));
    if (target != u"-")
        if (const std::optional<FileProblem> refused = csv::checkTarget(*data, target))
            return fail(problemText(*refused));
    std::optional<FileProblem> ended;
    const std::optional<csv::Histories> histories =
        csv::forExport(*data, line.item, QDateTime::currentDateTime(),
                       [&ended](const FileProblem& problem, bool ends) {
                           if (ends)
                               ended = problem;
                           else
                               std::fprintf(stderr, "yarukin: 項目「%s」は飛ばしました（%s）\n",
                                            qPrintable(Session::visible(problem.fileName)),
                                            qPrintable(problem.reason));
                       });
    if (!histories)
        return fail(problemText(*ended));
    if (target == u"-") {
        if (const int error = histories->writeTo(STDOUT_FILENO))
            return fail(
                QStringLiteral("標準出力に書き込めませんでした: %1").arg(systemReason(error)));
        return 0;
    }
    const Step written = csv::write(*data, target, *histories);
    return written ? 0 : fail(problemText(written.error()));
}

// This computer's daily reminder: set on the data directory, turned off, or shown.
int setReminder(const CommandLine& line) {
    const Expected<reminder::Choice> saved = reminder::loadChoice();
    if (!saved && *line.reminder != u"off")
        return fail(problemText(saved.error()));
    reminder::Choice choice = saved ? *saved : reminder::Choice{};
    if (*line.reminder == u"show") {
        if (!choice.on)
            return print(QStringLiteral("毎日の通知: 使いません\n")) ? 0 : 1;
        return print(QStringLiteral("毎日の通知: %1 %2\nフォルダー: %3\n")
                         .arg(choice.at.toString(u"HH:mm"), reminder::daysText(choice.days),
                              choice.dataDir))
                   ? 0
                   : 1;
    }
    choice.on = *line.reminder != u"off";
    if (choice.on) {
        const QString dir = line.dataDir.value_or(qEnvironmentVariable(DefaultDataDirVariable));
        choice.dataDir = QDir::cleanPath(QDir(dir).absolutePath());
        if (choice.dataDir.contains(u'\n'))
            return fail(QStringLiteral("改行を含むフォルダーには通知できません"));
        choice.at = QTime::fromString(*line.reminder, u"H:mm");
        if (line.reminderDays)
            choice.days = *reminder::parseDays(*line.reminderDays);
    }
    if (const std::optional<QString> failed = reminder::apply(choice))
        return fail(QStringLiteral("毎日の通知を設定できませんでした: %1").arg(*failed));
    return 0;
}

// The windows, once a display is known to be there: a platform plugin that cannot connect
// ends the process from inside QApplication, after three lines of English.
int openWindows(const CommandLine& line, char* programName) {
    if (const QString problem = displayProblem(); !problem.isEmpty())
        return fail(problem);
    const QString launcherDefault = qEnvironmentVariable(DefaultDataDirVariable);
    const QString dataDir = line.dataDir.value_or(launcherDefault);
    if (!line.dataDir && !launcherDefault.isEmpty())
        if (const Step made = safe_file::createDirectories(launcherDefault); !made)
            return fail(problemText(made.error()));
    int status = 0;
    std::optional<DataDir> data =
        openDataDir(dataDir.isEmpty() ? std::nullopt : std::optional<QString>(dataDir), status);
    if (!data)
        return status;

    int argumentCount = 1; // Qt's own options were refused above; none reach it
    char* arguments[] = {programName, nullptr};
    QApplication application(argumentCount, arguments);
    QCoreApplication::setApplicationName(QStringLiteral("yarukin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(YARUKIN_VERSION));
    prepareApplication(application);
    QtDialogs dialogs;
    SystemClock clock;
    // A help file beside the data is found first, as it was when the data directory was the
    // working directory.
    ChmHelp help(QStringList{data->folder().path()} + ChmHelp::installedDataDirs());
    App app(*data, dialogs, clock, help);
    app.rememberToldIn(reminder::stateDir());
    QObject::connect(&app, &App::ended, &application, &QCoreApplication::quit);
    if (!app.start())
        return 1;
    return application.exec();
}

} // namespace

int runProgram(int argc, char* argv[]) {
    holdClosedStandardDescriptors();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine line = parse(arguments);
    switch (line.ask) {
    case CommandLine::Ask::Mistake:
        return usageError(line.mistake);
    case CommandLine::Ask::Help:
        return print(helpText()) ? 0 : 1;
    case CommandLine::Ask::Version:
        return print(QStringLiteral("yarukin " YARUKIN_VERSION "\n")) ? 0 : 1;
    case CommandLine::Ask::Export: {
        int argumentCount = 1;
        QCoreApplication core(argumentCount, argv); // the system's texts in the user's language
        return exportHistories(line);
    }
    case CommandLine::Ask::Reminder:
    case CommandLine::Ask::Remind: {
        int argumentCount = 1;
        QCoreApplication core(argumentCount, argv);
        return line.remind ? reminder::remindNow(QCoreApplication::applicationFilePath())
                           : setReminder(line);
    }
    case CommandLine::Ask::Windows:
        break;
    }
    return openWindows(line, argv[0]);
}
