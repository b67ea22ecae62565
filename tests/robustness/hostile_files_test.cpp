// Whatever lies in the data directory, the program neither crashes, hangs, nor writes outside
// its own files: hand-edited names no file can carry, special files under data file names,
// a second copy of the program, leftovers of a crash, and several hundred generated files.
#include "base/cp932.h"
#include "base/text_to_number.h"
#include "data/csv_export.h"
#include "settings/settings_fixture.h"
#include "training/frmmain.h"
#include "widgets/picture_button.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace {

using Icon = Dialogs::Icon;

const QString ItemList = QStringLiteral("項目一覧.txt");

using HostileFiles = Settings;

// A list as a careless hand might edit it: an item whose name is the item list's own, one
// whose name cuts at a NUL into another item's file, a path, and an unquoted quote.
QByteArray handEditedList() {
    return "\"A\",1\r\n" + cp(QStringLiteral("\"項目一覧\",2\r\n")) + QByteArray("\"B.txt") + '\0' +
           "x\",3\r\n\"../escape\",4\r\n\"sub/x\",5\r\nx\"y,6\r\n" + "\"B\",7\r\n";
}

TEST_F(HostileFiles, AWorkoutGoesPastNamesNoFileCanCarryAndWritesOnlyItsOwnFiles) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("sub")));
    const QByteArray list = handEditedList();
    dir.write(ItemList, list);
    dir.write(QStringLiteral("B.txt"), "");
    start();
    ASSERT_TRUE(training());
    for (int i = 0; i < 7; ++i) {
        find<QLineEdit>(QStringLiteral("txtKaisu"))->setText(QString::number(10 + i));
        find<PictureButton>(QStringLiteral("cmdNext"))->click();
        settle();
    }
    ASSERT_TRUE(settings()) << "the workout went on to its end";
    // Five warnings, one per unusable item, each naming it; then the settings window warns
    // again for nothing: its history view shows item A.
    QStringList warned;
    for (const ScriptedDialogs::Shown& box : dialogs.shown()) {
        EXPECT_EQ(box.title, u"使用できない項目名");
        EXPECT_EQ(box.icon, Icon::Warning);
        warned.append(box.text.section(u'」', 0, 0).section(u'「', 1));
    }
    EXPECT_EQ(warned, (QStringList{QStringLiteral("項目一覧"), QStringLiteral("B.txt␀x"),
                                   QStringLiteral("../escape"), QStringLiteral("sub/x"),
                                   QStringLiteral("x\"y")}));
    EXPECT_EQ(dir.read(ItemList), list); // every record as it was, none renamed
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 1);
    // B.txt is item B's history: the name cut at its NUL would have put 12 there as well.
    EXPECT_EQ(historyLines(QStringLiteral("B")).size(), 1);
    EXPECT_TRUE(historyLines(QStringLiteral("B")).first().endsWith(u",16"));
    EXPECT_EQ(QDir(QStringLiteral("sub")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList());
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/../escape.txt")));
    EXPECT_EQ(dir.listing(), (QStringList{QStringLiteral("A.txt"), QStringLiteral("B.txt"),
                                          QStringLiteral("sub"), ItemList}));
}

TEST_F(HostileFiles, TheSettingsWindowTouchesNoFileForSuchNames) {
    const QByteArray list = handEditedList();
    dir.write(ItemList, list);
    open();
    const QByteArray before = dir.snapshot();

    pick(1); // the history view of 項目一覧 would read the item list as records
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("使用できない項目名")});
    EXPECT_FALSE(app->watch().follows(QStringLiteral("項目一覧"))); // nor watch it as one
    EXPECT_EQ(lines(), QStringList());
    EXPECT_EQ(total(), u"合計回数 ： 0");

    dialogs.clear();
    select(1);
    press("cmdClear"); // would empty the item list: refused before anything is asked
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("使用できない項目名")});
    EXPECT_TRUE(dialogs.shown()[0].text.contains(u"項目一覧"));
    EXPECT_EQ(dir.snapshot(), before);

    // Deleting such an item removes its record and no file.
    dialogs.clear();
    select(1);
    press("cmdDel");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("クリア確認"), QStringLiteral("使用できない項目名"),
                           QStringLiteral("削除終了")}));
    QByteArray expected = list;
    expected.replace(cp932(QStringLiteral("\"項目一覧\",2\r\n")), "");
    EXPECT_EQ(app->gymm().ItemCount(), 6);
    EXPECT_EQ(dir.read(ItemList), expected);

    // An item whose name cuts at a NUL: deleting it must not remove B's history.
    writeHistory(QStringLiteral("B"), {QStringLiteral("5")});
    const QByteArray history = dir.read(QStringLiteral("B.txt"));
    select(1);
    press("cmdDel");
    EXPECT_EQ(app->gymm().ItemCount(), 5);
    EXPECT_EQ(dir.read(QStringLiteral("B.txt")), history);

    // Renamed to a name a file can carry, such an item is written in the usual form; the
    // others stay as they were read.
    dialogs.clear();
    select(1);
    nameBox()->setText(QStringLiteral("escape"));
    press("cmdHozon");
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("設定更新終了")});
    expected.replace("\"B.txt" + QByteArray(1, '\0') + "x\",3\r\n", "");
    expected.replace("\"../escape\",4", "\"escape\",4");
    EXPECT_EQ(dir.read(ItemList), expected);
    EXPECT_EQ(dir.listing(), (QStringList{QStringLiteral("B.txt"), ItemList}));
}

TEST_F(HostileFiles, ABoxAboutAnUnusableFirstNameComesOverTheSettingsWindowAndFitsIt) {
    // A name of a megabyte: the box names both its ends, and comes once the window is up.
    dir.write(ItemList, '"' + QByteArray(1 << 20, 'a') + "\",1\r\n\"A\",2\r\n");
    start();
    press("cmdCut");
    settle();
    ASSERT_EQ(dialogs.titles(), QStringList{QStringLiteral("使用できない項目名")});
    EXPECT_EQ(dialogs.shown()[0].over, u"frmSettei");
    const QString& text = dialogs.shown()[0].text;
    EXPECT_LT(text.size(), 200);
    EXPECT_TRUE(text.contains(u'「' + QString(30, u'a') + u'…' + QString(29, u'a') + u'」'));
}

TEST_F(HostileFiles, SpecialFilesUnderDataFileNamesAreErrorsNotHangs) {
    ASSERT_EQ(::mkfifo("項目一覧.txt", 0644), 0);
    QElapsedTimer timer;
    timer.start();
    start();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("読み込みエラー"), QStringLiteral("項目無し")}));
    ASSERT_TRUE(settings());
    // Registering cannot replace the FIFO either.
    dialogs.clear();
    dialogs.queue(QStringLiteral("A"));
    dialogs.queue(QStringLiteral("5"));
    press("cmdNew");
    EXPECT_EQ(dialogs.titles().last(), u"書き込みエラー");
    EXPECT_EQ(find<QListWidget>(QStringLiteral("lstKoumoku"))->count(), 0);
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt")));
    app.reset();

    // A FIFO as a history file: the view warns, Next warns and stays.
    ASSERT_TRUE(QFile::remove(ItemList));
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    ASSERT_EQ(::mkfifo("A.txt", 0644), 0);
    dialogs.clear();
    start();
    find<PictureButton>(QStringLiteral("cmdNext"))->click();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("書き込みエラー")});
    EXPECT_EQ(training()->CurrentItem, 1);
    press("cmdCut");
    settle();
    EXPECT_EQ(dialogs.titles().last(), u"読み込みエラー");
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(HostileFiles, ASecondCopyOnTheSameDirectoryEnds) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    start();
    ASSERT_TRUE(training());
    ScriptedDialogs secondDialogs;
    bool secondEnded = false;
    // The first copy's temporary file, as in the middle of a replace, and a sync tool's
    // conflict copy: neither is the second's to touch.
    dir.write(ItemList + QStringLiteral(".yarukin-Ab12Cd"), "\"A\",1\r\n");
    dir.write(QStringLiteral("A (conflicted copy 2026-12-07 081500).txt"),
              cp(QStringLiteral("\"12月05日\",\"18時00分00秒\",3\r\n")));
    const QByteArray before = dir.snapshot();
    {
        DataDir secondData = dir.open();
        App second(secondData, secondDialogs, clock, help);
        QObject::connect(&second, &App::ended, [&] { secondEnded = true; });
        EXPECT_FALSE(second.start());
        EXPECT_FALSE(second.window());
    }
    EXPECT_TRUE(secondEnded);
    ASSERT_EQ(secondDialogs.shown().size(), 1);
    EXPECT_EQ(secondDialogs.shown()[0].title, u"二重起動");
    EXPECT_EQ(
        secondDialogs.shown()[0].text,
        QStringLiteral("このフォルダーのデータは、すでに起動しているヤルキン！が使っています。"
                       "\r\n\r\nフォルダー：") +
            dir.path());
    EXPECT_EQ(secondDialogs.shown()[0].icon, Icon::Warning);
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_TRUE(training()); // the first copy goes on
    find<PictureButton>(QStringLiteral("cmdNext"))->click();
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 1);

    // Once the first copy is gone, the directory is free again.
    app.reset();
    settle();
    data.reset();
    DataDir thirdData = dir.open();
    App third(thirdData, secondDialogs, clock, help);
    EXPECT_TRUE(third.start());
}

TEST_F(HostileFiles, TemporariesACrashLeftAreRemovedAtTheStart) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    dir.write(ItemList + QStringLiteral(".yarukin-Xy12Zq"), "\"A\",1\r\n\"B\"");
    dir.write(ItemList + QStringLiteral(".backup"), "mine");
    dir.write(QStringLiteral("A.txt"), "");
    start();
    EXPECT_EQ(dir.listing(), (QStringList{QStringLiteral("A.txt"), ItemList,
                                          ItemList + QStringLiteral(".backup")}));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

// --- generated files -----------------------------------------------------------------------

// Bytes that matter to the reader, and the CP932 lead bytes that pair with them.
QByteArray randomField(QRandomGenerator& random) {
    static const char Alphabet[] = "ab ,\"\r\n\t/\\:*?<>|.\x81\x82\x88\x9f\xe0\xfc\x40\x7f\x80\xa0";
    QByteArray field;
    const int length = random.bounded(0, 12);
    for (int i = 0; i < length; ++i) {
        if (random.bounded(8) == 0)
            field.append(static_cast<char>(random.bounded(256)));
        else
            field.append(Alphabet[random.bounded(int(sizeof Alphabet - 1))]);
    }
    return field;
}

QByteArray randomItemList(QRandomGenerator& random) {
    QByteArray bytes;
    const int records = random.bounded(0, 8);
    for (int i = 0; i < records; ++i) {
        switch (random.bounded(4)) {
        case 0: // as the program writes it
            bytes += "\"item" + QByteArray::number(i) + "\"," +
                     QByteArray::number(random.bounded(-40000, 40000)) + "\r\n";
            break;
        case 1: // quoted, anything inside
            bytes += '"' + randomField(random) + "\"," + randomField(random) + "\r\n";
            break;
        default:
            bytes += randomField(random) + (random.bounded(2) ? "\r\n" : "\n");
            break;
        }
    }
    if (random.bounded(3) == 0)
        bytes += randomField(random); // a last line without its end
    return bytes;
}

QByteArray randomHistory(QRandomGenerator& random) {
    QByteArray bytes;
    const int records = random.bounded(0, 6);
    for (int i = 0; i < records; ++i) {
        if (random.bounded(2))
            bytes +=
                "\"12月05日\",\"18時36分10秒\"," + QByteArray::number(random.bounded(100)) + "\r\n";
        else
            bytes +=
                randomField(random) + "," + randomField(random) + "," + randomField(random) + "\n";
    }
    if (random.bounded(3) == 0)
        bytes.chop(bytes.endsWith("\r\n") ? 2 : 1); // a last record without its line end
    return bytes;
}

// The item list as read by rules written out here, apart from the program's reader, so that
// the reader is checked and not trusted: a line ends at LF (a CR before it goes with it), a
// line of blanks and CRs is none; a field is skipped blanks, then either what lies between
// double quotes (the rest up to the comma dropped) or what runs to the comma less its trailing
// blanks; a target is the nearest whole number (halves to even) of what Val reads, within 16
// bits; a name no history file can carry holds a quote, a control character or one of
// / \ : * ? < > |, is 項目一覧, or makes a file name of more than 255 bytes.
struct ListRecord {
    QByteArray line;
    QByteArray nameBytes;
    QString name;
    qint16 target = 0;
    bool usable = true;
};

QByteArray nextField(const QByteArray& line, qsizetype& at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    QByteArray field;
    if (at < line.size() && line[at] == '"') {
        const qsizetype close = line.indexOf('"', at + 1);
        field = line.mid(at + 1, close < 0 ? -1 : close - at - 1);
        const qsizetype comma = close < 0 ? -1 : line.indexOf(',', close);
        at = comma < 0 ? line.size() + 1 : comma + 1;
        return field;
    }
    const qsizetype comma = at > line.size() ? -1 : line.indexOf(',', at);
    field = line.mid(at, comma < 0 ? -1 : comma - at);
    while (field.endsWith(' ') || field.endsWith('\t'))
        field.chop(1);
    at = comma < 0 ? line.size() + 1 : comma + 1;
    return field;
}

std::vector<ListRecord> recordsOf(const QByteArray& list) {
    std::vector<ListRecord> records;
    for (QByteArray line : list.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (std::all_of(line.begin(), line.end(),
                        [](char c) { return c == ' ' || c == '\t' || c == '\r'; }))
            continue;
        ListRecord record;
        record.line = line;
        qsizetype at = 0;
        record.nameBytes = nextField(line, at);
        const QByteArray target = at <= line.size() ? nextField(line, at) : QByteArray();
        record.name = cp932::decode(record.nameBytes);
        record.target = static_cast<qint16>(std::clamp(
            std::nearbyint(TextToNumber(QStringView(cp932::decode(target)))), -32768.0, 32767.0));
        static const QRegularExpression forbidden(
            QStringLiteral("[\"\\x00-\\x1f\\x7f/\\\\:*?<>|]"));
        record.usable = !forbidden.match(record.name).hasMatch() && record.name != u"項目一覧" &&
                        QFile::encodeName(record.name).size() + 4 <= 255;
        records.push_back(record);
    }
    return records;
}

// The same list as the program writes it: a name that can carry a file as "name",target,
// any other line exactly as it was read.
QByteArray rewritten(const std::vector<ListRecord>& records) {
    QByteArray bytes;
    for (const ListRecord& record : records)
        bytes += (record.usable ? '"' + record.nameBytes + "\"," + QByteArray::number(record.target)
                                : record.line) +
                 "\r\n";
    return bytes;
}

TEST(GeneratedFiles, AnyItemListAndHistorySurviveAWorkoutAndTheSettingsWindow) {
    QRandomGenerator random(20261207);
    const int runs = qEnvironmentVariableIntValue("YARUKIN_GENERATED_RUNS") > 0
                         ? qEnvironmentVariableIntValue("YARUKIN_GENERATED_RUNS")
                         : 300;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE(run);
        TempWorkDir dir;
        const QByteArray list = randomItemList(random);
        dir.write(ItemList, list);
        const std::vector<ListRecord> records = recordsOf(list);
        // The histories as they were, and the records a workout adds to each: one per item of
        // its name, the count the target.
        QHash<QString, QByteArray> histories, expected;
        QStringList filesAfter{ItemList};
        for (const ListRecord& record : records) {
            if (!record.usable)
                continue;
            const QString file = record.name + QStringLiteral(".txt");
            if (!histories.contains(record.name)) {
                const QByteArray old = randomHistory(random);
                histories.insert(record.name, old);
                dir.write(file, old);
                // A last line without its end is ended first; one cut after its CR gets its LF.
                expected.insert(record.name, old.isEmpty() || old.endsWith('\n') ? old
                                             : old.endsWith('\r')                ? old + "\n"
                                                                                 : old + "\r\n");
                filesAfter.append(file);
            }
            expected[record.name] += cp(QStringLiteral("\"12月05日\",\"18時36分11秒\",")) +
                                     QByteArray::number(record.target) + "\r\n";
        }
        filesAfter.sort();

        ScriptedDialogs dialogs;
        FixedClock clock(QDateTime(QDate(2026, 12, 5), QTime(18, 36, 11)));
        RecordingHelp help;
        DataDir data = dir.open();
        App app(data, dialogs, clock, help);
        app.flashSeconds = 0;
        ASSERT_TRUE(app.start());
        AppTest::settle();
        // The table is the list as written out above.
        ASSERT_EQ(app.gymm().ItemCount(), int(records.size()));
        for (int i = 1; i <= app.gymm().ItemCount(); ++i) {
            EXPECT_EQ(app.gymm().ItemNames(i), records[size_t(i - 1)].name) << i;
            EXPECT_EQ(app.gymm().ItemTargets(i), records[size_t(i - 1)].target) << i;
        }
        for (int step = 0; step < int(records.size()) && qobject_cast<frmMain*>(app.window());
             ++step) {
            app.window()->findChild<PictureButton*>(QStringLiteral("cmdNext"))->click();
            AppTest::settle();
        }
        auto* settingsWindow = qobject_cast<frmSettei*>(app.window());
        ASSERT_TRUE(settingsWindow);
        for (int i = 0; i < app.gymm().ItemCount(); ++i)
            settingsWindow->cboKoumoku_Click(i);
        // The export takes any of it too (the sanitizers watch its pieces), and the chart.
        const csv::Histories exported = csv::histories(data, std::nullopt, QDateTime());
        EXPECT_TRUE(
            writtenBy([&](int fd) { return exported.writeTo(fd); }).startsWith("\xEF\xBB\xBF"));
        if (app.gymm().ItemCount() > 0)
            settingsWindow->showProgress();

        // The list is rewritten once any item was recorded, names no file can carry exactly as
        // they were; each history grew by its records after its old bytes (a last line
        // without its end was ended first); and no other file appeared.
        const bool recorded = !expected.isEmpty();
        EXPECT_EQ(dir.read(ItemList), recorded ? rewritten(records) : list);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            EXPECT_EQ(dir.read(it.key() + QStringLiteral(".txt")), it.value())
                << it.key().toStdString();
        EXPECT_EQ(dir.listing(), filesAfter);
    }
}

} // namespace
