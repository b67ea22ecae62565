#include "data/history.h"

#include "base/cp932.h"
#include "data/records.h"
#include "support/work_dir.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QDateTime at(int month, int day, int h, int m, int s) {
    return QDateTime(QDate(2026, month, day), QTime(h, m, s));
}

TEST(History, RecordBytesMatchTheFormat) {
    EXPECT_EQ(history::recordBytes(at(12, 5, 18, 36, 11), 30).toHex(' '),
              QByteArray("22 31 32 8c 8e 30 35 93 fa 22 2c 22 31 38 8e 9e 33 36 95 aa 31 31 95 62 "
                         "22 2c 33 30 0d 0a"));
    EXPECT_EQ(history::recordBytes(at(3, 1, 9, 5, 7), 0),
              cp(QStringLiteral("\"03月01日\",\"09時05分07秒\",0\r\n")));
    EXPECT_EQ(history::recordBytes(at(1, 1, 0, 0, 0), 0.5).right(5),
              QByteArray(",0.5\r\n").right(5));
    EXPECT_TRUE(history::recordBytes(at(1, 1, 0, 0, 0), -3).endsWith(",-3\r\n"));
    // Counts are written in full: no exponent, no digits dropped.
    EXPECT_TRUE(history::recordBytes(at(1, 1, 0, 0, 0), 1234567).endsWith("\",1234567\r\n"));
    EXPECT_TRUE(history::recordBytes(at(1, 1, 0, 0, 0), 0.1234567890123)
                    .endsWith("\",0.1234567890123\r\n"));
}

TEST(History, AppendCreatesAndGrowsTheFileAndEndsACutOffLine) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    const QString name = QStringLiteral("腕立て伏せ");
    ASSERT_TRUE(history::append(f, name, 30, at(12, 5, 18, 36, 11)));
    ASSERT_TRUE(history::append(f, name, 5, at(12, 6, 7, 0, 0)));
    HistoryFile file = HistoryFile::read(f, name).value();
    ASSERT_EQ(file.count(), 2);
    EXPECT_EQ(file.record(0).date, u"12月05日");
    EXPECT_EQ(file.record(0).time, u"18時36分11秒");
    EXPECT_EQ(file.record(1).count, u"5");

    const QByteArray cut = cp(QStringLiteral("\"01月01日\",\"00時00分00秒\",1"));
    dir.write(QStringLiteral("cut.txt"), cut);
    ASSERT_TRUE(history::append(f, QStringLiteral("cut"), 2, at(1, 1, 0, 0, 1)));
    EXPECT_EQ(dir.read(QStringLiteral("cut.txt")),
              cut + "\r\n" + history::recordBytes(at(1, 1, 0, 0, 1), 2));
}

TEST(History, CreateEmptyAndRemove) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    const QString name = QStringLiteral("a");
    ASSERT_TRUE(history::create(f, name));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")), QByteArray());
    ASSERT_TRUE(history::append(f, name, 1, at(1, 1, 1, 1, 1)));
    ASSERT_TRUE(history::create(f, name)); // keeps the records
    EXPECT_EQ(HistoryFile::read(f, name)->count(), 1);
    ASSERT_TRUE(history::empty(f, name));
    EXPECT_TRUE(dir.exists(QStringLiteral("a.txt")));
    EXPECT_EQ(dir.read(QStringLiteral("a.txt")).size(), 0);
    ASSERT_TRUE(history::empty(f, QStringLiteral("b"))); // created when missing
    EXPECT_TRUE(dir.exists(QStringLiteral("b.txt")));
    EXPECT_TRUE(history::remove(f, name));
    EXPECT_TRUE(history::remove(f, name)); // a missing file is no failure
    EXPECT_FALSE(dir.exists(QStringLiteral("a.txt")));
}

TEST(History, ALargeFileReadsWhole) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    QByteArray bytes;
    const QByteArray record = history::recordBytes(at(1, 2, 3, 4, 5), 7);
    const int records = 8 * 1024 * 1024 / record.size(); // beyond the large-buffer size
    bytes.reserve(records * record.size() + 16);
    for (int i = 0; i < records; ++i)
        bytes += record;
    bytes += cp(QStringLiteral("\"12月31日\",\"23時59分59秒\",42")); // no line end at the last
    dir.write(QStringLiteral("big.txt"), bytes);
    const HistoryFile file = HistoryFile::read(f, QStringLiteral("big")).value();
    ASSERT_EQ(file.count(), records + 1);
    EXPECT_EQ(file.record(0).count, u"7");
    EXPECT_EQ(file.record(records).date, u"12月31日");
    EXPECT_EQ(file.countField(records), QByteArrayView("42"));
}

TEST(History, RecordsNearlyAsWrittenAreCutAsAnyOther) {
    TempWorkDir dir;
    const QByteArray w = cp(QStringLiteral("\"12月05日\",\"18時36分11秒\","));
    const QByteArrayList lines = {w + "30",
                                  w + " 30 ",
                                  w + "12abc",
                                  w + "\"7\"",
                                  w,
                                  w + "-5,9",
                                  w + "8\r",
                                  cp(QStringLiteral("\"12\"5日\",\"18時36分11秒\",4")),
                                  cp(QStringLiteral("\"12月05日\"")),
                                  cp(QStringLiteral("\"12月05日\",\"18時\"6分11秒\",4")),
                                  w + "9"};
    dir.write(QStringLiteral("a.txt"), lines.join("\r\n") + '\r');
    const HistoryFile file = HistoryFile::read(dir.folder(), QStringLiteral("a")).value();
    ASSERT_EQ(file.count(), lines.size());
    for (int i = 0; i < file.count(); ++i) {
        EXPECT_EQ(file.fields(i), records::splitFields<3>(lines[i])) << i;
        EXPECT_EQ(file.countField(i), records::splitFields<3>(lines[i])[2]) << i;
    }
}

TEST(History, MissingAndUnwritableFiles) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    const Expected<HistoryFile> missing = HistoryFile::read(f, QStringLiteral("nothing"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->missing());
    EXPECT_EQ(missing->count(), 0);

    ASSERT_TRUE(QDir().mkdir(QStringLiteral("dir.txt")));
    const Step result = history::append(f, QStringLiteral("dir"), 1, at(1, 1, 1, 1, 1));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().fileName, u"dir.txt");
    EXPECT_FALSE(history::create(f, QStringLiteral("dir")));
    EXPECT_FALSE(history::empty(f, QStringLiteral("dir")));
    EXPECT_FALSE(HistoryFile::read(f, QStringLiteral("dir")));
}

TEST(History, NamesNoFileCanCarryTouchNoFile) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("sub")));
    dir.write(QStringLiteral("項目一覧.txt"), "\"a\",1\r\n");
    dir.write(QStringLiteral("B.txt"), "");
    const QByteArray before = dir.snapshot();
    // Each name with the reason it is refused for.
    const QString control = QStringLiteral("項目名に改行やタブなどの制御文字が含まれています");
    const auto forbidden = [](char16_t c) {
        return QStringLiteral("項目名にファイル名に使えない文字（%1）が含まれています")
            .arg(QChar(c));
    };
    QList<QPair<QString, QString>> names = {
        {QStringLiteral("項目一覧"), QStringLiteral("項目名が項目一覧ファイルと同じ名前です")},
        {QStringLiteral("B") + QChar(0) + u'x', control},
        {QStringLiteral("../escape"), forbidden(u'/')},
        {QStringLiteral("sub/x"), forbidden(u'/')},
        {QStringLiteral("x\"y"),
         QStringLiteral("項目名にダブルクォーテーション（\"）が含まれています")},
        {QStringLiteral("a\\b"), forbidden(u'\\')},
        {QStringLiteral("a:b"), forbidden(u':')},
        {QStringLiteral("*"), forbidden(u'*')},
        {QStringLiteral("?"), forbidden(u'?')},
        {QStringLiteral("<"), forbidden(u'<')},
        {QStringLiteral(">"), forbidden(u'>')},
        {QStringLiteral("|"), forbidden(u'|')},
        {QString(252, u'a'), QStringLiteral("項目名が長すぎます")}};
    // Every control character, DEL too.
    for (char16_t c = 1; c < 0x20; ++c)
        names.append({QStringLiteral("a") + QChar(c), control});
    names.append({QStringLiteral("del") + QChar(0x7F), control});
    for (const auto& [name, reason] : names) {
        const auto refused = [&](const auto& result) {
            ASSERT_FALSE(result) << name.toStdString();
            EXPECT_EQ(result.error().action, FileProblem::Action::UnusableName);
            EXPECT_EQ(result.error().fileName, name);
            EXPECT_EQ(result.error().reason, reason) << int(name.back().unicode());
        };
        refused(history::append(f, name, 1, at(1, 1, 1, 1, 1)));
        refused(history::create(f, name));
        refused(history::empty(f, name));
        refused(history::remove(f, name));
        refused(HistoryFile::read(f, name));
        refused(Expected<Done>(*history::refusal(name)));
    }
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/../escape.txt")));
    // 251 bytes and ".txt" are the longest name a file system takes.
    EXPECT_FALSE(history::refusal(QString(251, u'a')));
    EXPECT_TRUE(history::create(f, QString(251, u'a')));
    EXPECT_EQ(historyNameProblem(QStringLiteral("a|b")).character, u'|');
}

TEST(History, ReadsTheLegacyFilesAsExpected) {
    TempWorkDir dir;
    const Folder f = dir.folder();
    dir.copyFrom(legacyDataDir());
    QFile json(legacyDataDir() + QStringLiteral("/expected.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject histories =
        QJsonDocument::fromJson(json.readAll()).object()[QStringLiteral("histories")].toObject();
    ASSERT_EQ(histories.size(), 5);
    for (auto it = histories.begin(); it != histories.end(); ++it) {
        const Expected<HistoryFile> read = HistoryFile::read(f, it.key());
        ASSERT_TRUE(read) << it.key().toStdString();
        const HistoryFile& file = *read;
        const QJsonArray records = it.value().toObject()[QStringLiteral("records")].toArray();
        ASSERT_EQ(file.count(), records.size()) << it.key().toStdString();
        for (int i = 0; i < file.count(); ++i) {
            const QJsonArray fields = records[i].toArray();
            EXPECT_EQ(file.record(i).date, fields[0].toString());
            EXPECT_EQ(file.record(i).time, fields[1].toString());
            EXPECT_EQ(file.record(i).count, fields[2].toString());
            EXPECT_EQ(file.countField(i), fields[2].toString().toLatin1());
        }
    }
}

} // namespace
