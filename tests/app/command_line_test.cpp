// The program's command line, run as a user runs it: a separate process with no display at
// all (no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM), so an export that made a widget
// would fail.
#include "base/cp932.h"
#include "support/work_dir.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Outcome yarukin(const QStringList& arguments, const QString& workingDir) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(YARUKIN_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

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
    void write(const QString& name, const QString& text) {
        dir.write(name, *cp932::encode(text).bytes);
    }
    QString data() const { return dir.path() + QStringLiteral("/data"); }

    TempWorkDir dir;
};

TEST_F(CommandLine, ExportsWithoutADisplay) {
    const Outcome all = yarukin(
        {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"), QStringLiteral("-")},
        dir.path());
    EXPECT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_TRUE(all.err.isEmpty()) << all.err.toStdString();
    const QList<QByteArray> lines = all.out.split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two records, and the end after the last CR LF
    EXPECT_EQ(lines[0], "\xEF\xBB\xBF" + QStringLiteral("項目名,日付,時刻,回数\r").toUtf8());
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("腕立て伏せ,").toUtf8()));
    EXPECT_TRUE(lines[1].endsWith(",18:36:11,30\r"));
    EXPECT_TRUE(lines[2].endsWith(",07:00:00,12.5\r"));

    // One item, to a file named relative to where the command was given.
    const Outcome one = yarukin({QStringLiteral("--export-csv"), QStringLiteral("out.csv"),
                                 QStringLiteral("--data-dir"), data(), QStringLiteral("--item"),
                                 QStringLiteral("腹筋")},
                                dir.path() + QStringLiteral("/elsewhere"));
    EXPECT_EQ(one.code, 0) << one.err.toStdString();
    const QByteArray written = dir.read(QStringLiteral("elsewhere/out.csv"));
    EXPECT_EQ(written.count('\n'), 2);
    EXPECT_TRUE(written.contains(QStringLiteral("腹筋,").toUtf8()));
    EXPECT_FALSE(written.contains(QStringLiteral("腕立て伏せ").toUtf8()));
    EXPECT_FALSE(dir.exists(QStringLiteral("data/out.csv")));
}

TEST_F(CommandLine, FailuresSayWhyInOneLineAndReturnNonZero) {
    const QList<QStringList> failing = {
        {QStringLiteral("--data-dir"), QStringLiteral("no-such-folder"),
         QStringLiteral("--export-csv"), QStringLiteral("-")},
        {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"), QStringLiteral("-"),
         QStringLiteral("--item"), QStringLiteral("懸垂")},
        {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"),
         QStringLiteral("no-such-folder/out.csv")},
        {QStringLiteral("--export-csv")},
        {QStringLiteral("--no-such-option"), QStringLiteral("--export-csv"), QStringLiteral("-")},
        {QStringLiteral("--no-such-option")}, // no window is tried for a mistake
        {QStringLiteral("--item"), QStringLiteral("腹筋")},
        // Qt's own options mean nothing to an export.
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--export-csv"),
         QStringLiteral("-")},
    };
    for (const QStringList& arguments : failing) {
        const Outcome run = yarukin(arguments, dir.path());
        EXPECT_NE(run.code, 0) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << arguments.join(u' ').toStdString();
        EXPECT_EQ(run.err.trimmed().count('\n'), 0) << run.err.toStdString();
        EXPECT_FALSE(run.err.trimmed().isEmpty()) << arguments.join(u' ').toStdString();
    }
    // The one item asked for, when no file can carry its name, is a failure too.
    write(QStringLiteral("data/項目一覧.txt"),
          QStringLiteral("\"腕立て伏せ\",30\r\n\"腹筋\",15\r\n\"a/b\",1\r\n"));
    const Outcome unusable =
        yarukin({QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"),
                 QStringLiteral("-"), QStringLiteral("--item"), QStringLiteral("a/b")},
                dir.path());
    EXPECT_EQ(unusable.code, 1);
    EXPECT_TRUE(unusable.out.isEmpty());
    // Among all items it is left out, and said.
    const Outcome all = yarukin(
        {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"), QStringLiteral("-")},
        dir.path());
    EXPECT_EQ(all.code, 0);
    EXPECT_TRUE(QString::fromUtf8(all.err).contains(u"a/b"));
    // A history that cannot be read makes the export fail rather than come out short.
    ASSERT_TRUE(QFile::remove(QStringLiteral("data/腹筋.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("data/腹筋.txt")));
    const Outcome broken = yarukin(
        {QStringLiteral("--data-dir"), data(), QStringLiteral("--export-csv"), QStringLiteral("-")},
        dir.path());
    EXPECT_EQ(broken.code, 1);
    EXPECT_TRUE(QString::fromUtf8(broken.err).contains(u"腹筋.txt"));
}

TEST_F(CommandLine, HelpAndVersion) {
    const Outcome help = yarukin({QStringLiteral("--help")}, dir.path());
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--data-dir", "--export-csv", "--item", "--version"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    const Outcome version = yarukin({QStringLiteral("--version")}, dir.path());
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "yarukin " YARUKIN_VERSION "\n");
}

} // namespace
