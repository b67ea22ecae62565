// The program's command line, run as a user runs it: a separate process with no display at
// all (no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM), so an export that made a widget
// would fail.
#include "base/cp932.h"
#include "support/work_dir.h"

#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Outcome {
    int code = -1;
    QByteArray out;
    QByteArray err;
    QStringList errLines() const { return QString::fromUtf8(err).split(u'\n', Qt::SkipEmptyParts); }
};

// Starts the program, or with `shell` a sh script that runs it as "$0" (for redirections),
// with no display but what `environmentSet` gives.
void start(QProcess& process, const QStringList& arguments, const QString& workingDir,
           const QStringList& environmentSet = {}, const QString& shell = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                             "YARUKIN_DEFAULT_DATA_DIR", "XDG_RUNTIME_DIR", "WAYLAND_SOCKET"})
        environment.remove(QString::fromLatin1(name));
    for (const QString& setting : environmentSet)
        environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    if (shell.isEmpty())
        process.start(QStringLiteral(YARUKIN_PROGRAM), arguments);
    else
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"), shell, QStringLiteral(YARUKIN_PROGRAM)} +
                          arguments);
}

// The program run to its end.
Outcome yarukin(const QStringList& arguments, const QString& workingDir,
                const QStringList& environmentSet = {}, const QString& shell = {}) {
    QProcess process;
    start(process, arguments, workingDir, environmentSet, shell);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

const QString Pointer = QStringLiteral("詳しくは yarukin --help を見て下さい。");

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkdir(QStringLiteral("data")));
        ASSERT_TRUE(QDir().mkdir(QStringLiteral("elsewhere")));
        write(QStringLiteral("data/項目一覧.txt"),
              QStringLiteral("\"腕立て伏せ\",30\r\n\"腹筋\",15\r\n"));
        write(QStringLiteral("data/腕立て伏せ.txt"),
              QStringLiteral("\"12月05日\",\"18時36分11秒\",30\r\n"));
        write(QStringLiteral("data/腹筋.txt"),
              QStringLiteral("\"12月06日\",\"07時00分00秒\",12.5\r\n"));
    }
    // Files changed on a known day, so that the records' years are known.
    void write(const QString& name, const QString& text) {
        dir.write(name, cp(text), QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
    }
    QString data() const { return dir.path() + QStringLiteral("/data"); }
    // The data directory's export to `target`.
    QStringList exportTo(const QString& target) const {
        return {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"), target};
    }

    TempWorkDir dir;
};

TEST_F(CommandLine, ExportsWithoutADisplay) {
    const Outcome all = yarukin(exportTo(QStringLiteral("-")), dir.path());
    EXPECT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_TRUE(all.err.isEmpty()) << all.err.toStdString();
    const QByteArray header = "\xEF\xBB\xBF" + QStringLiteral("項目名,日付,時刻,回数\r\n").toUtf8();
    EXPECT_EQ(all.out, header + QStringLiteral("腕立て伏せ,2026-12-05,18:36:11,30\r\n"
                                               "腹筋,2026-12-06,07:00:00,12.5\r\n")
                                    .toUtf8());

    // One item, to a file named relative to where the command was given.
    const Outcome one =
        yarukin({QStringLiteral("--export-csv=out.csv"), QStringLiteral("--data-dir"), data(),
                 QStringLiteral("--item"), QStringLiteral("腹筋")},
                dir.path() + QStringLiteral("/elsewhere"));
    EXPECT_EQ(one.code, 0) << one.err.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("elsewhere/out.csv")),
              header + QStringLiteral("腹筋,2026-12-06,07:00:00,12.5\r\n").toUtf8());
    EXPECT_FALSE(dir.exists(QStringLiteral("data/out.csv")));

    // The launcher's data directory when none is named.
    EXPECT_EQ(yarukin({QStringLiteral("--export-csv"), QStringLiteral("-")}, dir.path(),
                      {QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=") + data()})
                  .out,
              all.out);
    // /dev/stdout is a link to a pipe here; appended to a file, that file keeps what it held.
    // The data directory named goes before the launcher's.
    EXPECT_EQ(yarukin(exportTo(QStringLiteral("/dev/stdout")), dir.path(),
                      {QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=/nonexistent")})
                  .out,
              all.out);
    dir.write(QStringLiteral("log"), "before\n");
    EXPECT_EQ(yarukin(exportTo(QStringLiteral("/dev/stdout")), dir.path(), {},
                      QStringLiteral("exec \"$0\" \"$@\" >>log"))
                  .code,
              0);
    EXPECT_EQ(dir.read(QStringLiteral("log")), "before\n" + all.out);
    // An item list without items is a header alone.
    write(QStringLiteral("data/項目一覧.txt"), QString());
    const Outcome none = yarukin(exportTo(QStringLiteral("-")), dir.path());
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, header);
}

TEST_F(CommandLine, ExitStatusesAndTheirOneLine) {
    ASSERT_EQ(::mkdir("empty", 0700), 0);
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("unreadable/項目一覧.txt")));
    struct Case {
        QStringList arguments;
        int code;
        QString firstLine;
        QString shell = {};
    };
    const QString csv = QStringLiteral("--export-csv");
    const QString dash = QStringLiteral("-");
    const QString closed = QStringLiteral("exec \"$0\" \"$@\" >&-");
    const QString full = QStringLiteral("exec \"$0\" \"$@\" >/dev/full");
    const QList<Case> cases = {
        // Usage errors: one line, then the pointer to the help.
        {{csv, dash, QStringLiteral("腹筋")}, 2, QStringLiteral("余分な引数です: 腹筋")},
        {{QStringLiteral("--"), QStringLiteral("--help")},
         2,
         QStringLiteral("余分な引数です: --help")},
        {{QStringLiteral("--"), QStringLiteral("--")}, 2, QStringLiteral("余分な引数です: --")},
        {{dash}, 2, QStringLiteral("余分な引数です: -")},
        {{QStringLiteral("-h=x")}, 2, QStringLiteral("知らないオプションです: -h=x")},
        {{QStringLiteral("--items"), QStringLiteral("x")},
         2,
         QStringLiteral("知らないオプションです: --items")},
        {{QStringLiteral("--no-such-option")},
         2,
         QStringLiteral("知らないオプションです: --no-such-option")},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), csv, dash},
         2,
         QStringLiteral("知らないオプションです: -platform")},
        {{csv}, 2, QStringLiteral("--export-csv には値（FILE）が要ります")},
        {{csv, QString()}, 2, QStringLiteral("--export-csv の値が空です")},
        {{QStringLiteral("--item"), QStringLiteral("腹筋")},
         2,
         QStringLiteral("--item は --export-csv と一緒に使います")},
        {{csv, dash, csv, dash}, 2, QStringLiteral("--export-csv が二度指定されています")},
        {{QStringLiteral("--version=2")}, 2, QStringLiteral("--version は値を取りません")},
        {{QStringLiteral("--reminder"), QStringLiteral("24:00")},
         2,
         QStringLiteral("--reminder の時刻は 19:30 のように書きます: 24:00")},
        {{QStringLiteral("--reminder=7:00"), QStringLiteral("--reminder-days"),
          QStringLiteral("火曜")},
         2,
         QStringLiteral("曜日は 月水金、平日、mon,wed,fri のように書きます: 火曜")},
        {{QStringLiteral("--reminder-days"), QStringLiteral("月")},
         2,
         QStringLiteral("--reminder-days は --reminder HH:MM と一緒に使います")},
        {{QStringLiteral("--remind"), QStringLiteral("--data-dir"), QStringLiteral("data")},
         2,
         QStringLiteral("--remind はほかのオプションと一緒に使えません")},
        // Failures of the work: one line that names what and carries the system's reason.
        {{QStringLiteral("--data-dir"), QStringLiteral("no-such-folder"), csv, dash},
         1,
         QStringLiteral(
             "フォルダー「no-such-folder」を開けません: ファイルまたはフォルダーがありません")},
        // Not a folder, and nothing to wait on.
        {{QStringLiteral("--data-dir"), QStringLiteral("fifo"), csv, dash},
         1,
         QStringLiteral("フォルダー「fifo」を開けません: フォルダーではありません")},
        {{QStringLiteral("--data-dir"), QStringLiteral("empty"), csv, dash},
         1,
         QStringLiteral(
             "項目一覧.txt: ファイルまたはフォルダーがありません（フォルダー「%1/empty」に"
             "ヤルキン！のデータはありません）")
             .arg(dir.path())},
        {{QStringLiteral("--data-dir"), QStringLiteral("unreadable"), csv, dash},
         1,
         QStringLiteral("項目一覧.txt: 通常のファイルではありません")},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, dash, QStringLiteral("--item"),
          QStringLiteral("懸垂")},
         1,
         QStringLiteral("項目「懸垂」は登録されていません")},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, dash,
          QStringLiteral("--item=")},
         2,
         QStringLiteral("--item の値が空です")},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, QStringLiteral("elsewhere")},
         1,
         // The file as the user named it, relative to where the command was given.
         QStringLiteral("elsewhere: フォルダーです（書き出すファイルの名前を指定して下さい）")},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv,
          QStringLiteral("data/x/../腹筋.txt")},
         1,
         QStringLiteral("data/x/../腹筋.txt: ヤルキン！のデータのファイルです（書き出し先には"
                        "できません）")},
        // Any history name: a later 登録 of 新項目 would take the CSV for its history.
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv,
          QStringLiteral("data/新項目.TXT")},
         1,
         QStringLiteral("data/新項目.TXT: データのフォルダーの .txt ファイルは項目の履歴になります"
                        "（書き出し先にはできません）")},
        // Output that cannot be written: a closed standard output, a full device.
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, dash},
         1,
         QStringLiteral("標準出力に書き込めませんでした: ファイル記述子が閉じられています"),
         closed},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, dash},
         1,
         QStringLiteral("標準出力に書き込めませんでした: ディスクの空き容量が足りません"),
         full},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, QStringLiteral("/dev/stdout")},
         1,
         QStringLiteral("/dev/stdout: ディスクの空き容量が足りません"),
         full},
        {{QStringLiteral("--data-dir"), QStringLiteral("data"), csv, QStringLiteral("/dev/full")},
         1,
         QStringLiteral("/dev/full: ディスクの空き容量が足りません")},
        {{QStringLiteral("--help")},
         1,
         QStringLiteral("標準出力に書き込めませんでした: ディスクの空き容量が足りません"),
         full},
        {{QStringLiteral("--version")},
         1,
         QStringLiteral("標準出力に書き込めませんでした: ファイル記述子が閉じられています"),
         closed},
    };
    ASSERT_EQ(::mkdir("data/x", 0700), 0);
    for (const Case& each : cases) {
        const std::string shown = each.arguments.join(u' ').toStdString();
        const Outcome run = yarukin(each.arguments, dir.path(), {}, each.shell);
        EXPECT_EQ(run.code, each.code) << shown;
        EXPECT_TRUE(run.out.isEmpty()) << shown;
        const QStringList lines = run.errLines();
        const QStringList expected =
            each.code == 2 ? QStringList{QStringLiteral("yarukin: ") + each.firstLine, Pointer}
                           : QStringList{QStringLiteral("yarukin: ") + each.firstLine};
        EXPECT_EQ(lines, expected) << shown;
    }
    EXPECT_EQ(dir.read(QStringLiteral("data/腹筋.txt")),
              cp(QStringLiteral("\"12月06日\",\"07時00分00秒\",12.5\r\n")));

    // Among all items, one whose name no file can carry is left out and said; asked for
    // alone, it is a failure. A history that cannot be read fails the export.
    write(QStringLiteral("data/項目一覧.txt"),
          QStringLiteral("\"腕立て伏せ\",30\r\n\"腹筋\",15\r\n\"a/b\",1\r\n"));
    const Outcome all = yarukin(exportTo(dash), dir.path());
    EXPECT_EQ(all.code, 0);
    const QString why = QStringLiteral("項目名にファイル名に使えない文字（/）が含まれています");
    EXPECT_EQ(all.errLines(),
              QStringList{QStringLiteral("yarukin: 項目「a/b」は飛ばしました（%1）").arg(why)});
    EXPECT_EQ(all.out.count('\n'), 3);
    const Outcome alone = yarukin(
        exportTo(dash) + QStringList{QStringLiteral("--item"), QStringLiteral("a/b")}, dir.path());
    EXPECT_EQ(alone.code, 1);
    EXPECT_EQ(alone.errLines(), QStringList{QStringLiteral("yarukin: a/b: ") + why});
    EXPECT_TRUE(alone.out.isEmpty());
    ASSERT_TRUE(QFile::remove(QStringLiteral("data/腹筋.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("data/腹筋.txt")));
    const Outcome broken = yarukin(exportTo(dash), dir.path());
    EXPECT_EQ(broken.code, 1);
    EXPECT_EQ(broken.errLines(),
              QStringList{QStringLiteral("yarukin: 腹筋.txt: 通常のファイルではありません")});
    EXPECT_TRUE(broken.out.isEmpty());
}

TEST_F(CommandLine, WithoutADisplayTheWindowsSayItInOneLineAndTouchNothing) {
    write(QStringLiteral("data/項目一覧.txt.yarukin-Ab12Cd"), QStringLiteral("left by a crash"));
    const QByteArray before = dir.snapshot();
    const QString missing = dir.path() + QStringLiteral("/not-yet");
    // Each platform tried, in its order, says why it could not be reached.
    const QString noX = QStringLiteral("X11 は DISPLAY が設定されていません");
    const QString noServer = QStringLiteral("X11 は DISPLAY=:7999 に接続できません");
    const QString noRuntime = QStringLiteral("Wayland は XDG_RUNTIME_DIR が設定されていません");
    const QList<QPair<QStringList, QString>> environments = {
        {{}, noX + u'、' + noRuntime},
        {{QStringLiteral("DISPLAY=:7999")}, noServer + u'、' + noRuntime},
        {{QStringLiteral("QT_QPA_PLATFORM=wayland"),
          QStringLiteral("XDG_RUNTIME_DIR=") + dir.path()},
         QStringLiteral("Wayland は %1/wayland-0 に接続できません").arg(dir.path())},
        {{QStringLiteral("QT_QPA_PLATFORM=wayland-egl"),
          QStringLiteral("WAYLAND_DISPLAY=/no/socket")},
         QStringLiteral("Wayland は /no/socket に接続できません")},
        // "/run/" and 103 bytes: the 108 a socket address holds, with no room for its end.
        {{QStringLiteral("QT_QPA_PLATFORM=wayland"), QStringLiteral("XDG_RUNTIME_DIR=/run"),
          QStringLiteral("WAYLAND_DISPLAY=") + QString(103, u's')},
         QStringLiteral("Wayland のソケットの名前が長すぎます")},
        {{QStringLiteral("QT_QPA_PLATFORM=xcb:foo=1;wayland"), QStringLiteral("DISPLAY=:7999"),
          QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=") + missing},
         noServer + u'、' + noRuntime},
    };
    for (const auto& [environment, reasons] : environments) {
        const Outcome run = yarukin({}, data(), environment);
        EXPECT_EQ(run.code, 1) << environment.join(u' ').toStdString();
        EXPECT_EQ(run.errLines(),
                  QStringList{QStringLiteral("yarukin: ウィンドウを開く画面に接続できません（%1）。"
                                             "--export-csv は画面なしで使えます")
                                  .arg(reasons)});
    }
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// Whether the process holds the directory open, as the program does once it opens its data.
bool holdsOpen(qint64 pid, const QString& directory) {
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                   .entryInfoList(QDir::AllEntries | QDir::System))
        if (fd.symLinkTarget() == directory)
            return true;
    return false;
}

TEST_F(CommandLine, TheWindowsOpenTheDataDirectoryNamedAndMakeTheLaunchersOnlyWithoutOne) {
    // The offscreen platform needs no display; the program runs until it is ended.
    const QString launcher = dir.path() + QStringLiteral("/launcher");
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--data-dir"), data()}, QStringList{}}) {
        QProcess process;
        start(process, arguments, dir.path(),
              {QStringLiteral("QT_QPA_PLATFORM=offscreen"),
               QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=") + launcher});
        ASSERT_TRUE(process.waitForStarted());
        const QString opened = arguments.isEmpty() ? launcher : data();
        bool held = false;
        for (int i = 0; i < 100 && !(held = holdsOpen(process.processId(), opened)); ++i)
            QThread::msleep(50);
        process.kill();
        process.waitForFinished();
        EXPECT_TRUE(held) << opened.toStdString();
        EXPECT_EQ(QFileInfo(launcher).isDir(), arguments.isEmpty());
    }
}

TEST_F(CommandLine, HelpAndVersion) {
    const Outcome help = yarukin({QStringLiteral("--help")}, dir.path(),
                                 {QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=/home/someone/data")});
    EXPECT_EQ(help.code, 0);
    // The help as a user reads it, kept whole beside the tests: nothing of Qt's own (its English,
    // its options), and every option, example and exit status said as the program means it.
    QFile kept(QStringLiteral(YARUKIN_TESTDATA_DIR "/help.txt"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(help.out), QString::fromUtf8(kept.readAll()));
    // Without the launcher's directory, the working directory.
    EXPECT_TRUE(QString::fromUtf8(yarukin({QStringLiteral("--help")}, dir.path()).out)
                    .contains(QStringLiteral("  --data-dir がなければ作業フォルダーを使います"
                                             "（yarukin コマンドから\n  起動したときは "
                                             "${XDG_DATA_HOME:-~/.local/share}/yarukin）。\n")));
    const Outcome shortHelp =
        yarukin({QStringLiteral("-h")}, dir.path(),
                {QStringLiteral("YARUKIN_DEFAULT_DATA_DIR=/home/someone/data")});
    EXPECT_EQ(shortHelp.code, 0);
    EXPECT_EQ(shortHelp.out, help.out);
    const Outcome version = yarukin({QStringLiteral("--version")}, dir.path());
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "yarukin " YARUKIN_VERSION "\n");
}

} // namespace
