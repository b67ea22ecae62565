#include "data/csv_export.h"
#include "data/system_reason.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const QDateTime Modified(QDate(2027, 1, 2), QTime(12, 0));

QByteArray text(const csv::Histories& histories) {
    return writtenBy([&](int fd) { return histories.writeTo(fd); });
}

safe_file::Writer bytes(QByteArrayView text) {
    return [text](int fd) { return safe_file::writeAll(fd, text); };
}

class CsvExport : public ::testing::Test {
protected:
    void SetUp() override {
        // A comma, full-width text and ～, two items of one name, and a name no file can carry.
        dir.write(QStringLiteral("項目一覧.txt"),
                  cp(QStringLiteral("\"腕立て, 膝つき\",30\r\n\"スクワット～深め\",20\r\n"
                                    "\"腕立て, 膝つき\",5\r\n\"a/b\",1\r\n\"記録なし\",3\r\n")),
                  Modified);
        dir.write(
            QStringLiteral("腕立て, 膝つき.txt"),
            cp(QStringLiteral("\"12月31日\",\"23時59分59秒\",30\r\n\"?\",\"09時05分07秒\",12.5\r\n"
                              "\"01月01日\",\"00時00分01秒\",1E+20")),
            Modified);
        dir.write(QStringLiteral("スクワット～深め.txt"),
                  cp(QStringLiteral("\"01月02日\",\"07時00分00秒\",20\r\n")), Modified);
        ASSERT_TRUE(table.LoadItemList().done);
    }
    TempWorkDir dir;
    DataDir table = dir.open();
};

TEST_F(CsvExport, AllItemsInTheirOrderEachHistoryOnce) {
    const csv::Histories all = csv::histories(table, std::nullopt, QDateTime());
    EXPECT_EQ(all.records, 4);
    EXPECT_EQ(text(all), QByteArray("\xEF\xBB\xBF") +
                             QStringLiteral("項目名,日付,時刻,回数\r\n"
                                            "\"腕立て, 膝つき\",2026-12-31,23:59:59,30\r\n"
                                            "\"腕立て, 膝つき\",,09:05:07,12.5\r\n"
                                            "\"腕立て, 膝つき\",2027-01-01,00:00:01,1E+20\r\n"
                                            "スクワット～深め,2027-01-02,07:00:00,20\r\n")
                                 .toUtf8());
    // The name no file can carry is left out and said; a missing history has no rows.
    ASSERT_EQ(all.problems.size(), 1);
    EXPECT_EQ(all.problems[0].action, FileProblem::Action::UnusableName);
    EXPECT_EQ(all.problems[0].fileName, u"a/b");
}

TEST_F(CsvExport, OneItem) {
    const csv::Histories one =
        csv::histories(table, QStringLiteral("スクワット～深め"), QDateTime());
    EXPECT_EQ(one.records, 1);
    EXPECT_TRUE(text(one).endsWith(
        QStringLiteral("回数\r\nスクワット～深め,2027-01-02,07:00:00,20\r\n").toUtf8()));
    EXPECT_TRUE(one.problems.isEmpty());
}

TEST(CsvExportCounts, HandEditedCountsAreQuotedAndDecodedAndFitTheirRoom) {
    TempWorkDir dir;
    // The longest name a history file takes, three bytes a character in UTF-8 against one
    // QChar: the room is reckoned in bytes.
    const QString name(83, u'あ');
    dir.write(QStringLiteral("項目一覧.txt"), cp(u'"' + name + QStringLiteral("\",1\r\n")));
    // A quote in a count, half-width katakana (one byte, three in UTF-8), an invalid byte, and
    // a line of one field (no count at all).
    QByteArray history = cp(QStringLiteral("\"12月05日\",\"18時00分00秒\",1\"2\r\n")) +
                         cp(QStringLiteral("\"12月05日\",\"18時00分01秒\",ｱｲｳｴｵ\r\n")) +
                         cp(QStringLiteral("\"12月05日\",\"18時00分02秒\",")) + "\xA0\x80\r\n" +
                         "abc\r\n";
    history +=
        cp(QStringLiteral("\"12月05日\",\"18時00分03秒\",")) + '1' + QByteArray(299, '"') + "\r\n";
    // Invalid bytes, three times their size in UTF-8: the most a count can grow, here to a row
    // longer than the pieces the CSV is written in.
    history += cp(QStringLiteral("\"12月05日\",\"18時00分04秒\",")) + QByteArray(400'000, '\x80');
    dir.write(name + QStringLiteral(".txt"), history);
    DataDir table = dir.open();
    ASSERT_TRUE(table.LoadItemList().done);
    const csv::Histories all = csv::histories(table, std::nullopt, Modified);
    ASSERT_TRUE(all.problems.isEmpty()) << all.problems[0].reason.toStdString();
    EXPECT_EQ(all.records, 6);
    const QStringList rows = QString::fromUtf8(text(all)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(rows.size(), 8);
    EXPECT_TRUE(rows[1].endsWith(u",18:00:00,\"1\"\"2\""));
    EXPECT_TRUE(rows[2].endsWith(u",18:00:01,ｱｲｳｴｵ"));
    EXPECT_TRUE(rows[3].endsWith(QStringLiteral(",18:00:02,") + QChar(0xF7A0) + QChar(0xF780)));
    EXPECT_EQ(rows[4], name + QStringLiteral(",,,"));
    EXPECT_EQ(rows[5].count(u'"'), 2 + 2 * 299); // each doubled, within two
    EXPECT_TRUE(rows[6].endsWith(QStringLiteral(",18:00:04,") + QString(400'000, QChar(0xF780))));
}

TEST(CsvExportCounts, YearsNoFourDigitsCanWriteLeaveTheDateEmpty) {
    // Each 06月05日 before a 06月01日 lies a year back: 2100 of them reach before the year 1.
    TempWorkDir dir;
    dir.write(QStringLiteral("項目一覧.txt"), "\"a\",1\r\n");
    dir.write(
        QStringLiteral("a.txt"),
        cp(QStringLiteral("\"06月05日\",\"10時00分00秒\",1\r\n\"06月01日\",\"10時00分00秒\",2\r\n")
               .repeated(2100)),
        QDateTime(QDate(2026, 7, 1), QTime(12, 0)));
    DataDir table = dir.open();
    ASSERT_TRUE(table.LoadItemList().done);
    const QStringList rows =
        QString::fromUtf8(text(csv::histories(table, std::nullopt, QDateTime())))
            .split(QStringLiteral("\r\n"));
    ASSERT_EQ(rows.size(), 4202);
    EXPECT_EQ(rows[1], u"a,,10:00:00,1");   // the year -74
    EXPECT_EQ(rows[149], u"a,,10:00:00,1"); // the year 0
    EXPECT_EQ(rows[150], u"a,0001-06-01,10:00:00,2");
    EXPECT_EQ(rows[151], u"a,0001-06-05,10:00:00,1");
    EXPECT_EQ(rows[4200], u"a,2026-06-01,10:00:00,2");
}

TEST(CsvField, QuotesOnlyWhatMustBeQuoted) {
    EXPECT_EQ(csv::field("plain"), "plain");
    EXPECT_EQ(csv::field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv::field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv::field("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(csv::field(""), "");
}

TEST(CsvField, NoSpreadsheetRunsANameOrACount) {
    TempWorkDir dir;
    dir.write(QStringLiteral("項目一覧.txt"),
              cp(QStringLiteral("\"=1+2\",1\r\n\"+SUM(1;2)\",1\r\n\"-2+3\",1\r\n\"@SUM(A1)\",1\r\n"
                                "\"\t=x\",1\r\n\"a=b\",1\r\n")),
              Modified);
    const QString record = QStringLiteral("\"01月02日\",\"07時00分00秒\",");
    for (const QString& name : {QStringLiteral("=1+2"), QStringLiteral("+SUM(1;2)"),
                                QStringLiteral("-2+3"), QStringLiteral("@SUM(A1)")})
        dir.write(name + QStringLiteral(".txt"), cp(record + QStringLiteral("5\r\n")), Modified);
    dir.write(QStringLiteral("a=b.txt"),
              cp(record + QStringLiteral("=1+2\r\n") + record + QStringLiteral("-4\r\n") + record +
                 QStringLiteral("+3\r\n") + record + QStringLiteral("-1E+15\r\n") + record +
                 QStringLiteral("@x\"y\r\n") + record + QStringLiteral("-\r\n") + record +
                 QStringLiteral("- 4\r\n")),
              Modified);
    DataDir table = dir.open();
    ASSERT_TRUE(table.LoadItemList().done);
    const csv::Histories all = csv::histories(table, std::nullopt, Modified);
    // The tab in "\t=x" is a control character: no file can carry that name.
    ASSERT_EQ(all.problems.size(), 1);
    const QString rows = QString::fromUtf8(text(all));
    EXPECT_TRUE(rows.endsWith(QStringLiteral("回数\r\n"
                                             "'=1+2,2027-01-02,07:00:00,5\r\n"
                                             "'+SUM(1;2),2027-01-02,07:00:00,5\r\n"
                                             "'-2+3,2027-01-02,07:00:00,5\r\n"
                                             "'@SUM(A1),2027-01-02,07:00:00,5\r\n"
                                             "a=b,2027-01-02,07:00:00,'=1+2\r\n"
                                             "a=b,2027-01-02,07:00:00,-4\r\n"
                                             "a=b,2027-01-02,07:00:00,+3\r\n"
                                             "a=b,2027-01-02,07:00:00,-1E+15\r\n"
                                             "a=b,2027-01-02,07:00:00,\"'@x\"\"y\"\r\n"
                                             "a=b,2027-01-02,07:00:00,'-\r\n"
                                             "a=b,2027-01-02,07:00:00,'- 4\r\n")))
        << rows.toStdString();
    // A tab or CR first is a formula too; a number with a point or an exponent is none.
    EXPECT_EQ(csv::cell("\tx"), "'\tx");
    EXPECT_EQ(csv::cell("\r1"), "\"'\r1\"");
    for (const QByteArray number : {"-4", "+3", "-.5", "-12.5", "-1e5", "12"})
        EXPECT_EQ(csv::cell(number), number);
    for (const QByteArray formula : {"-", "+", "-1e", "-1.2.3", "-4A", "--4"})
        EXPECT_EQ(csv::cell(formula), '\'' + formula);
}

TEST_F(CsvExport, WritesWhereverTheUserSaysButNeverOverTheDataFiles) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("out")));
    const auto read = [](const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    };
    // A regular file is replaced, leaving nothing beside it; through a link the link stays.
    const QString file = dir.path() + QStringLiteral("/out/export.csv");
    ASSERT_TRUE(csv::write(table, file, bytes("a")));
    ASSERT_TRUE(csv::write(table, file, bytes("b")));
    ASSERT_EQ(::symlink("export.csv", "out/link.csv"), 0);
    ASSERT_TRUE(csv::write(table, QStringLiteral("out/link.csv"), bytes("c")));
    EXPECT_EQ(read(file), "c");
    EXPECT_TRUE(QFileInfo(QStringLiteral("out/link.csv")).isSymLink());
    // A piece the disk does not take leaves the file as it was, and nothing beside it.
    const Step full = csv::write(
        table, file, [](int fd) { return safe_file::writeAll(fd, "half") ? EIO : ENOSPC; });
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error().reason, systemReason(ENOSPC));
    EXPECT_EQ(read(file), "c");
    // A pipe and a character device are written to; a directory is refused, saying so.
    ASSERT_EQ(::mkfifo("out/fifo", 0600), 0);
    QByteArray piped;
    std::thread reader([&] { piped = read(QStringLiteral("out/fifo")); });
    const Step toPipe = csv::write(table, QStringLiteral("out/fifo"), bytes("d"));
    reader.join();
    EXPECT_TRUE(toPipe);
    EXPECT_EQ(piped, "d");
    EXPECT_TRUE(csv::write(table, QStringLiteral("/dev/null"), bytes("e")));
    // A directory, a socket, a link that leads nowhere and a path through a file are refused,
    // each saying why.
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "out/socket");
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(socket);
    ASSERT_EQ(::symlink("nowhere", "out/dangling"), 0);
    dir.write(QStringLiteral("out/kept.csv"), "kept");
    ASSERT_EQ(::chmod("out/kept.csv", 0444), 0);
    ASSERT_EQ(::symlink("kept.csv", "out/kept-link"), 0);
    const QByteArray tooLong = "out/" + QByteArray(256, 'a');
    for (const auto& [target, reason] :
         {std::pair{"out", u"フォルダーです（書き出すファイルの名前を指定して下さい）"},
          {"out/kept-link", u"書き込みが禁止されたファイルです"},
          {tooLong.constData(), u"ファイル名が長すぎます"},
          {"out/socket", u"ブロックデバイスかソケットです（書き出し先にはできません）"},
          {"out/dangling", u"リンク先のファイルがありません"},
          {"out/export.csv/x", u"フォルダーではありません"}}) {
        const Step refused = csv::write(table, QString::fromLatin1(target), bytes("f"));
        ASSERT_FALSE(refused) << target;
        EXPECT_EQ(refused.error().fileName, QString::fromLatin1(target));
        EXPECT_EQ(refused.error().reason, QStringView(reason));
    }
    EXPECT_EQ(QDir(QStringLiteral("out")).entryList(QDir::Files | QDir::System),
              (QStringList{QStringLiteral("dangling"), QStringLiteral("export.csv"),
                           QStringLiteral("fifo"), QStringLiteral("kept-link"),
                           QStringLiteral("kept.csv"), QStringLiteral("link.csv"),
                           QStringLiteral("socket")}));
    EXPECT_EQ(read(QStringLiteral("out/kept.csv")), "kept");
    EXPECT_EQ(read(file), "c");

    // The item list, any item's history (one not yet written too) and a temporary file, by
    // whatever name: none is written, and the data directory stays as it was.
    dir.write(QStringLiteral("項目一覧.txt.yarukin-Ab12Cd"), "temporary");
    ASSERT_EQ(::symlink("../項目一覧.txt", "out/list-link"), 0);
    ASSERT_EQ(::link("スクワット～深め.txt", "out/hard-link"), 0);
    const QByteArray before = dir.snapshot();
    for (const QString& own :
         {QStringLiteral("項目一覧.txt"), QStringLiteral("out/../項目一覧.txt"),
          QStringLiteral("out/list-link"), dir.path() + QStringLiteral("/腕立て, 膝つき.txt"),
          QStringLiteral("out/hard-link"), QStringLiteral("./記録なし.txt"),
          QStringLiteral("項目一覧.txt.yarukin-Ab12Cd"),
          QStringLiteral("項目一覧.txt.yarukin-Zz99Zz"), QStringLiteral("記録の年.yarukin")}) {
        const Step refused = csv::write(table, own, bytes("CSV"));
        ASSERT_FALSE(refused) << own.toStdString();
        EXPECT_TRUE(refused.error().reason.contains(u"データ")) << own.toStdString();
    }
    EXPECT_EQ(dir.snapshot(), before);
}

} // namespace
