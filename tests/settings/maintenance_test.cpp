#include "base/cp932.h"
#include "faults/fault_shim.h"
#include "settings_fixture.h"

#include <QFile>

namespace {

using Answer = Dialogs::Answer;
using Icon = Dialogs::Icon;

class Maintenance : public Settings {
protected:
    QString itemList() { return cp932::decode(dir.read(QStringLiteral("項目一覧.txt"))); }
    void abc() {
        writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                    {QStringLiteral("B"), QStringLiteral("2")},
                    {QStringLiteral("C"), QStringLiteral("3")}});
        for (const char* name : {"A", "B", "C"})
            writeHistory(QString::fromLatin1(name), {QStringLiteral("5")});
    }
};

// --- registering ----------------------------------------------------------------------

TEST_F(Maintenance, RegistrationUpToTwentyItems) {
    QList<QPair<QString, QString>> nineteen;
    for (int i = 1; i <= 19; ++i)
        nineteen.append({QStringLiteral("項目%1").arg(i), QStringLiteral("10")});
    writeItems(nineteen);
    open();
    dialogs.queue(QStringLiteral("新しい項目"));
    dialogs.queue(QStringLiteral("25"));
    press("cmdNew");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("新規登録終了")}));
    EXPECT_EQ(dialogs.shown()[0].text, u"項目名は何ですか？");
    EXPECT_EQ(dialogs.shown()[1].text, u"指示数をいくつにしますか？（半角文字で入力）");
    EXPECT_EQ(dialogs.shown()[2].text, u"新しい項目 の設定を新規登録しました");
    EXPECT_EQ(dialogs.shown()[2].icon, Icon::Information);
    EXPECT_TRUE(itemList().endsWith(QStringLiteral("\"項目19\",10\r\n\"新しい項目\",25\r\n")));
    EXPECT_EQ(dir.read(QStringLiteral("新しい項目.txt")), QByteArray());
    EXPECT_EQ(app->gymm().ItemCount(), 20);
    EXPECT_EQ(items()->count(), 20);
    EXPECT_EQ(combo()->count(), 19); // until the window opens again

    dialogs.clear();
    press("cmdNew");
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"項目数上限制約");
    EXPECT_EQ(dialogs.shown()[0].text, u"登録できる項目数は２０項目までです。");
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Warning);
}

TEST_F(Maintenance, RegistrationCanBeCancelledAtEitherQuestion) {
    open();
    const QByteArray before = dir.snapshot();
    press("cmdNew"); // Cancel at the name
    dialogs.queue(QStringLiteral("腕立て伏せ"));
    press("cmdNew"); // Cancel at the count
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("キャンセル"),
                           QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("キャンセル")}));
    EXPECT_EQ(dialogs.shown()[1].text, u"新規追加をキャンセルします");
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_EQ(items()->count(), 0);
}

// The list read back after a registration fails (run under the fault library by the test
// settings_under_faults): the warning comes once the name has joined the list, as it always did.
TEST_F(Maintenance, ARegistrationWhoseReadBackFailsIsToldOnceTheNameIsListed) {
    const fault_shim::Api* faults = fault_shim::api();
    if (!faults)
        GTEST_SKIP() << "needs libfault_shim.so preloaded";
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    open();
    const QByteArray where = QFile::encodeName(dir.path());
    // A first registration counts the reads: the read back's opening is the last of them.
    dialogs.queue(QStringLiteral("D"));
    dialogs.queue(QStringLiteral("5"));
    faults->arm(where.constData(), 0, FAULT_READ);
    press("cmdNew");
    const QStringList reads = QString::fromUtf8(faults->trace()).split(u'\n', Qt::SkipEmptyParts);
    faults->disarm();
    long readBack = 0;
    for (int i = 0; i < reads.size(); ++i)
        if (reads[i].startsWith(u"open"))
            readBack = i + 1;
    ASSERT_GT(readBack, 0);

    dialogs.clear();
    dialogs.queue(QStringLiteral("E"));
    dialogs.queue(QStringLiteral("6"));
    QStringList listedAtTheWarning;
    dialogs.onNextBox([&] {
        dialogs.onNextBox(
            [&] { dialogs.onNextBox([&] { listedAtTheWarning = entries(items()); }); });
    });
    faults->arm(where.constData(), readBack, FAULT_READ);
    press("cmdNew");
    ASSERT_TRUE(faults->fired());
    faults->disarm();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("読み込みエラー"), QStringLiteral("新規登録終了")}));
    EXPECT_EQ(listedAtTheWarning,
              (QStringList{QStringLiteral("A"), QStringLiteral("D"), QStringLiteral("E")}));
}

TEST_F(Maintenance, CountsBelowOneOrAboveTheLimitAreAskedAgain) {
    open();
    const QByteArray before = dir.snapshot();
    dialogs.queue(QStringLiteral("腕立て伏せ"));
    for (const char* answer : {"0", "-3", "abc", "0.99", "32768"})
        dialogs.queue(QString::fromLatin1(answer));
    press("cmdNew");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("下限値制限"), QStringLiteral("指示数入力"),
                           QStringLiteral("下限値制限"), QStringLiteral("指示数入力"),
                           QStringLiteral("下限値制限"), QStringLiteral("指示数入力"),
                           QStringLiteral("下限値制限"), QStringLiteral("指示数入力"),
                           QStringLiteral("上限値制限"), QStringLiteral("指示数入力"),
                           QStringLiteral("キャンセル")}));
    EXPECT_EQ(dialogs.shown()[2].text, u"必ず１以上を入力して下さい");
    EXPECT_EQ(dialogs.shown()[10].icon, Icon::Warning);
    EXPECT_EQ(dir.snapshot(), before);
}

TEST_F(Maintenance, RegisteredCountsAreReadLikeAnyNumber) {
    open();
    dialogs.queue(QStringLiteral("A"));
    dialogs.queue(QStringLiteral("12回"));
    press("cmdNew");
    dialogs.queue(QStringLiteral("B"));
    dialogs.queue(QStringLiteral("1.5"));
    press("cmdNew");
    EXPECT_EQ(itemList(), u"\"A\",12\r\n\"B\",1.5\r\n");
    EXPECT_EQ(app->gymm().ItemTargets(2), 2); // the table holds the nearest whole number
    EXPECT_EQ(items()->count(), 2);
}

TEST_F(Maintenance, ARegisteredDuplicateSharesTheHistory) {
    abc();
    open();
    dialogs.queue(QStringLiteral("A"));
    dialogs.queue(QStringLiteral("9"));
    press("cmdNew");
    EXPECT_EQ(app->gymm().ItemCount(), 4);
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 1);
    pick(0);
    EXPECT_EQ(lines().size(), 1);
}

TEST_F(Maintenance, NamesAreUsedInTheFormTheFileGivesBack) {
    open();
    dialogs.queue(QStringLiteral("スクワット〜深め")); // U+301C, as some input methods give
    dialogs.queue(QStringLiteral("20"));
    press("cmdNew");
    const QString readBack = QStringLiteral("スクワット～深め"); // U+FF5E
    EXPECT_EQ(dialogs.shown().last().text, readBack + QStringLiteral(" の設定を新規登録しました"));
    EXPECT_TRUE(dir.exists(readBack + QStringLiteral(".txt")));
    EXPECT_FALSE(dir.exists(QStringLiteral("スクワット〜深め.txt")));
    EXPECT_EQ(items()->item(0)->text(), readBack);
    EXPECT_EQ(app->gymm().ItemNames(1), readBack);
}

TEST_F(Maintenance, NamesTheFilesCannotCarryAreRefusedAndAskedAgain) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    dir.write(QStringLiteral("A.txt"), QByteArray());
    open();
    const QByteArray before = dir.snapshot();
    // Each name with the title and the words of its refusal.
    const QString character = QStringLiteral("使用できない文字");
    const QString forbidden = QStringLiteral("項目名に次の文字は使えません。\r\n/ \\ : * ? < > |");
    const QString control = QStringLiteral("項目名に改行やタブなどの制御文字は使えません。");
    const auto unsaved = [](const char16_t* c) {
        return QStringLiteral("項目名の「%1」は保存できない文字です。").arg(QString::fromUtf16(c));
    };
    const auto reserved = [](const char16_t* name) {
        return QStringLiteral("「%1」は項目名に使えません。").arg(QString::fromUtf16(name));
    };
    const QList<std::tuple<QString, QString, QString>> refused = {
        {QStringLiteral("a\"b"), character,
         QStringLiteral("項目名に「\"」（ダブルクォーテーション）は使えません。")},
        {QStringLiteral("a/b"), character, forbidden},
        {QStringLiteral("..\\x"), character, forbidden},
        {QStringLiteral("a:b"), character, forbidden},
        {QStringLiteral("a*b"), character, forbidden},
        {QStringLiteral("a?b"), character, forbidden},
        {QStringLiteral("a<b>"), character, forbidden},
        {QStringLiteral("a|b"), character, forbidden},
        {QStringLiteral("a\tb"), character, control},
        {QStringLiteral("a\nb"), character, control},
        {QStringLiteral("a\x7f"), character, control},
        {QStringLiteral("腕立て😀"), character, unsaved(u"😀")},
        {QStringLiteral("한국"), character, unsaved(u"한")},
        {QStringLiteral("項目一覧"), QStringLiteral("使用できない項目名"), reserved(u"項目一覧")},
        {QStringLiteral("CON"), QStringLiteral("使用できない項目名"), reserved(u"CON")},
        {QStringLiteral("lpt1"), QStringLiteral("使用できない項目名"), reserved(u"lpt1")},
        {QString(200, u'あ'), QStringLiteral("項目名の長さ制限"),
         QStringLiteral("項目名が長すぎます。もっと短い名前にして下さい。")}};
    for (const auto& [name, title, text] : refused)
        dialogs.queue(name);
    press("cmdNew"); // then Cancel
    ASSERT_EQ(dialogs.shown().size(), 2 * refused.size() + 2);
    for (qsizetype i = 0; i < refused.size(); ++i) {
        const ScriptedDialogs::Shown& refusal = dialogs.shown()[2 * i + 1];
        EXPECT_EQ(refusal.icon, Icon::Warning) << i;
        EXPECT_EQ(refusal.title, std::get<1>(refused[i])) << i;
        EXPECT_EQ(refusal.text, std::get<2>(refused[i])) << i;
        EXPECT_EQ(dialogs.shown()[2 * i + 2].title, u"項目名入力");
    }
    EXPECT_EQ(dialogs.shown().last().title, u"キャンセル");
    EXPECT_EQ(dir.snapshot(), before);

    // The same names leave an update without any change at all.
    select(0);
    for (const auto& [name, title, text] : refused) {
        nameBox()->setText(name);
        dialogs.clear();
        press("cmdHozon");
        ASSERT_EQ(dialogs.shown().size(), 1);
        EXPECT_EQ(dialogs.shown()[0].icon, Icon::Warning);
        EXPECT_EQ(dialogs.shown()[0].title, title);
        EXPECT_EQ(dialogs.shown()[0].text, text);
        EXPECT_EQ(app->gymm().ItemNames(1), u"A");
    }
    EXPECT_EQ(dir.snapshot(), before);

    // Names only like a device's are names like any other.
    for (const char16_t* name : {u"COM0", u"LPT10", u"CONSOLE", u"NULL"}) {
        nameBox()->setText(QString::fromUtf16(name));
        press("cmdHozon");
        EXPECT_EQ(app->gymm().ItemNames(1), QString::fromUtf16(name));
    }
}

TEST_F(Maintenance, RegistrationTakesTheLargestTargetAndTheLongestName) {
    open();
    // 251 bytes and ".txt" make the longest history file name a file system takes.
    const QString longest(251, u'a');
    dialogs.queue(longest);
    dialogs.queue(QStringLiteral("32767"));
    press("cmdNew");
    EXPECT_EQ(dialogs.titles().last(), u"新規登録終了");
    EXPECT_EQ(app->gymm().ItemTargets(1), 32767);
    EXPECT_TRUE(dir.exists(longest + QStringLiteral(".txt")));

    dialogs.clear();
    dialogs.queue(QString(252, u'a'));
    press("cmdNew"); // refused, then Cancel
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("項目名の長さ制限"),
                           QStringLiteral("項目名入力"), QStringLiteral("キャンセル")}));
    EXPECT_EQ(app->gymm().ItemCount(), 1);
}

TEST_F(Maintenance, ARegistrationWarnsWhenItsHistoryFileCannotBeMade) {
    open();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("A.txt"))); // where the history file should go
    dialogs.queue(QStringLiteral("A"));
    dialogs.queue(QStringLiteral("5"));
    press("cmdNew");
    // The item is registered all the same; its first count makes the file.
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("書き込みエラー"), QStringLiteral("新規登録終了")}));
    EXPECT_EQ(dialogs.shown()[2].text,
              notWritten(QStringLiteral("A.txt"), QStringLiteral("通常のファイルではありません")));
    EXPECT_EQ(itemList(), u"\"A\",5\r\n");
    EXPECT_EQ(items()->count(), 1);
}

TEST_F(Maintenance, ARegistrationThatCannotBeWrittenAddsNothing) {
    open();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("項目一覧.txt")));
    dialogs.queue(QStringLiteral("A"));
    dialogs.queue(QStringLiteral("5"));
    press("cmdNew");
    EXPECT_EQ(dialogs.shown().last().title, u"書き込みエラー");
    EXPECT_EQ(
        dialogs.shown().last().text,
        notWritten(QStringLiteral("項目一覧.txt"), QStringLiteral("通常のファイルではありません")));
    EXPECT_EQ(items()->count(), 0);
    EXPECT_EQ(app->gymm().ItemCount(), 0);
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt")));
}

// --- updating -------------------------------------------------------------------------

TEST_F(Maintenance, UpdateStoresTheTargetInTheTableAndTheFile) {
    abc();
    open();
    select(1);
    targetBox()->setText(QStringLiteral("15"));
    press("cmdHozon");
    EXPECT_EQ(itemList(), u"\"A\",1\r\n\"B\",15\r\n\"C\",3\r\n");
    EXPECT_EQ(app->gymm().ItemTargets(2), 15);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"設定更新終了");
    EXPECT_EQ(dialogs.shown()[0].text, u"B の設定を更新しました");
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Information);
    EXPECT_EQ(items()->currentRow(), 1); // still selected for the next update

    const QList<QPair<QString, qint16>> targets = {{QStringLiteral("12.5"), 12},
                                                   {QStringLiteral("13.5"), 14},
                                                   {QString(), 0},
                                                   {QStringLiteral("-5"), -5}};
    for (const auto& [text, stored] : targets) {
        targetBox()->setText(text);
        press("cmdHozon");
        EXPECT_EQ(app->gymm().ItemTargets(2), stored) << text.toStdString();
    }
    EXPECT_EQ(itemList(), u"\"A\",1\r\n\"B\",-5\r\n\"C\",3\r\n");
}

TEST_F(Maintenance, ARenameLeavesTheListsAndTheOldHistoryAsTheyWere) {
    abc();
    open();
    select(0);
    nameBox()->setText(QStringLiteral("X〜")); // U+301C, which the file gives back as U+FF5E
    press("cmdHozon");
    EXPECT_EQ(itemList(), u"\"X～\",1\r\n\"B\",2\r\n\"C\",3\r\n");
    EXPECT_EQ(app->gymm().ItemNames(1), u"X～");
    EXPECT_EQ(dialogs.shown().last().text, u"X～ の設定を更新しました");
    EXPECT_EQ(items()->item(0)->text(), u"A");
    EXPECT_EQ(combo()->itemText(0), u"A");
    EXPECT_TRUE(dir.exists(QStringLiteral("A.txt")));
    pick(0); // looks for X's history, which does not exist yet
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), u"合計回数 ： 0");
}

TEST_F(Maintenance, UpdateNeedsANameAndASelection) {
    abc();
    open();
    const QByteArray before = dir.snapshot();
    press("cmdHozon"); // nothing selected, nothing typed
    nameBox()->setText(QStringLiteral("typed"));
    press("cmdHozon"); // typed without a selection
    select(1);
    nameBox()->clear();
    press("cmdHozon"); // selected, name box emptied
    EXPECT_EQ(dialogs.titles(), QStringList(3, QStringLiteral("項目未選定")));
    EXPECT_EQ(dialogs.shown()[0].text, u"先に項目を選んで下さい");
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Information);
    EXPECT_EQ(dir.snapshot(), before);
}

TEST_F(Maintenance, TargetsTheTableCannotHoldChangeNothing) {
    abc();
    open();
    const QByteArray before = dir.snapshot();
    select(1);
    nameBox()->setText(QStringLiteral("renamed"));
    for (const char* target : {"32768", "-32769", "1e10"}) {
        targetBox()->setText(QString::fromLatin1(target));
        press("cmdHozon");
    }
    EXPECT_EQ(dialogs.titles(), QStringList(3, QStringLiteral("指示数範囲制限")));
    EXPECT_EQ(app->gymm().ItemNames(2), u"B");
    EXPECT_EQ(dir.snapshot(), before);
    targetBox()->setText(QStringLiteral("-32768"));
    press("cmdHozon");
    EXPECT_EQ(app->gymm().ItemTargets(2), -32768);
}

TEST_F(Maintenance, AnUpdateThatCannotBeWrittenIsUndoneInMemory) {
    abc();
    open();
    select(1);
    ASSERT_TRUE(QFile::remove(QStringLiteral("項目一覧.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("項目一覧.txt")));
    nameBox()->setText(QStringLiteral("Y"));
    targetBox()->setText(QStringLiteral("99"));
    press("cmdHozon");
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("書き込みエラー")});
    EXPECT_EQ(app->gymm().ItemNames(2), u"B");
    EXPECT_EQ(app->gymm().ItemTargets(2), 2);
}

// --- deleting -------------------------------------------------------------------------

TEST_F(Maintenance, ADeletionOrClearThatCannotRewriteTheListStopsThere) {
    abc();
    open();
    pick(1);
    const QStringList listsBefore = entries(items());
    ASSERT_TRUE(QFile::remove(QStringLiteral("項目一覧.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("項目一覧.txt")));
    const QByteArray before = dir.snapshot();

    select(1);
    press("cmdDel");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("クリア確認"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(app->gymm().ItemCount(), 3);
    EXPECT_EQ(entries(items()), listsBefore);
    EXPECT_EQ(nameBox()->text(), u"B"); // nothing of the deletion's later steps ran
    EXPECT_EQ(lines().size(), 1);

    dialogs.clear();
    press("cmdClear");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("クリア確認"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(dir.snapshot(), before); // B's history is not emptied
    EXPECT_EQ(lines().size(), 1);
    EXPECT_EQ(total(), u"合計回数 ： 5");
}

TEST_F(Maintenance, DeletingTheMiddleItem) {
    abc();
    open();
    select(1);
    pick(1);
    press("cmdDel");
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown()[0].title, u"クリア確認");
    EXPECT_EQ(dialogs.shown()[0].text, u"Bを削除します。よろしいですか？");
    EXPECT_EQ(dialogs.shown()[0].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Warning);
    EXPECT_EQ(dialogs.shown()[1].title, u"削除終了");
    EXPECT_EQ(dialogs.shown()[1].text, u"削除しました");
    EXPECT_EQ(dialogs.shown()[1].icon, Icon::Information);

    EXPECT_EQ(itemList(), u"\"A\",1\r\n\"C\",3\r\n");
    EXPECT_EQ(app->gymm().ItemCount(), 2);
    EXPECT_EQ(entries(items()), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_EQ(entries(combo()), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_FALSE(dir.exists(QStringLiteral("B.txt")));
    EXPECT_EQ(combo()->currentText(), u"A");
    EXPECT_EQ(settings()->HistoryItem, 1);
    EXPECT_EQ(total(), u"合計回数 ： 5");
    EXPECT_EQ(nameBox()->text(), QString());
    EXPECT_EQ(targetBox()->text(), QString());
    EXPECT_TRUE(items()->selectedItems().isEmpty());
}

TEST_F(Maintenance, DeletingTheOnlyItem) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("A"), {QStringLiteral("5")});
    open();
    select(0);
    press("cmdDel");
    EXPECT_EQ(dir.read(QStringLiteral("項目一覧.txt")), QByteArray());
    EXPECT_EQ(items()->count(), 0);
    EXPECT_EQ(combo()->count(), 0);
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), u"0");
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt")));
}

TEST_F(Maintenance, ASharedHistoryStaysWhileAnItemOfThatNameRemains) {
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("A"), QStringLiteral("2")}});
    writeHistory(QStringLiteral("A"), {QStringLiteral("5")});
    open();
    select(1);
    press("cmdDel");
    EXPECT_TRUE(dir.exists(QStringLiteral("A.txt")));
    EXPECT_EQ(itemList(), u"\"A\",1\r\n");
    // The one item left is shown, with its history.
    EXPECT_EQ(combo()->currentText(), u"A");
    EXPECT_EQ(lines().size(), 1);
    EXPECT_EQ(total(), u"合計回数 ： 5");
}

TEST_F(Maintenance, DeletionCancelledOrWithoutSelectionChangesNothing) {
    abc();
    open();
    const QByteArray before = dir.snapshot();
    press("cmdDel");
    nameBox()->setText(QStringLiteral("A"));
    press("cmdDel");
    select(0);
    dialogs.queue(Answer::Cancel);
    press("cmdDel");
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目未選定"), QStringLiteral("項目未選定"),
                           QStringLiteral("クリア確認")}));
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_EQ(items()->count(), 3);
    EXPECT_EQ(nameBox()->text(), u"A");
}

TEST_F(Maintenance, DeletingAnItemWithoutAHistoryFile) {
    abc();
    ASSERT_TRUE(QFile::remove(QStringLiteral("C.txt")));
    open();
    select(2);
    press("cmdDel");
    EXPECT_EQ(dialogs.shown().last().title, u"削除終了");
    EXPECT_EQ(itemList(), u"\"A\",1\r\n\"B\",2\r\n");
}

TEST_F(Maintenance, DeletionRemovesOnlyTheDeletedItemsOwnHistory) {
    abc();
    dir.write(QStringLiteral("X.txt"), "unrelated");
    open();
    select(0);
    nameBox()->setText(QStringLiteral("項目一覧"));
    press("cmdDel");
    EXPECT_EQ(dialogs.shown()[0].text, u"Aを削除します。よろしいですか？");
    EXPECT_EQ(itemList(), u"\"B\",2\r\n\"C\",3\r\n");
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt")));
    select(0);
    nameBox()->setText(QStringLiteral("X"));
    press("cmdDel");
    EXPECT_EQ(dir.read(QStringLiteral("X.txt")), QByteArray("unrelated"));
    EXPECT_FALSE(dir.exists(QStringLiteral("B.txt")));
    EXPECT_EQ(itemList(), u"\"C\",3\r\n");
}

// --- clearing -------------------------------------------------------------------------

TEST_F(Maintenance, ClearingTheItemTheViewShows) {
    abc();
    writeHistory(QStringLiteral("B"), {QStringLiteral("5"), QStringLiteral("6")});
    open();
    const QString listBefore = itemList();
    select(1);
    pick(1);
    EXPECT_EQ(lines().size(), 2);
    press("cmdClear");
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown()[0].title, u"クリア確認");
    EXPECT_EQ(dialogs.shown()[0].text,
              u"Bのカウント数と履歴データをクリアします。よろしいですか？");
    EXPECT_EQ(dialogs.shown()[0].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(dialogs.shown()[1].title, u"クリア終了");
    EXPECT_EQ(dialogs.shown()[1].text, u"B のカウント数と履歴データをクリアしました");
    EXPECT_EQ(dialogs.shown()[1].icon, Icon::Information);
    EXPECT_EQ(dir.read(QStringLiteral("B.txt")).size(), 0);
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), u"0");
    EXPECT_EQ(itemList(), listBefore);
    EXPECT_EQ(items()->currentRow(), 1);
    EXPECT_EQ(nameBox()->text(), u"B");
}

TEST_F(Maintenance, ClearingAnotherItemLeavesTheViewAndCancelLeavesTheFiles) {
    abc();
    open();
    select(1);
    dialogs.queue(Answer::Cancel);
    const QByteArray before = dir.snapshot();
    press("cmdClear");
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_EQ(dialogs.shown().size(), 1);
    press("cmdClear");
    EXPECT_EQ(dir.read(QStringLiteral("B.txt")).size(), 0);
    EXPECT_EQ(lines().size(), 1); // still A's history
    EXPECT_EQ(total(), u"合計回数 ： 5");
}

TEST_F(Maintenance, ClearingCreatesAMissingHistoryAndNeedsASelection) {
    abc();
    ASSERT_TRUE(QFile::remove(QStringLiteral("C.txt")));
    open();
    press("cmdClear");
    nameBox()->setText(QStringLiteral("C"));
    press("cmdClear");
    EXPECT_EQ(dialogs.titles(), QStringList(2, QStringLiteral("項目未選定")));
    EXPECT_FALSE(dir.exists(QStringLiteral("C.txt")));
    select(2);
    press("cmdClear");
    EXPECT_TRUE(dir.exists(QStringLiteral("C.txt")));
    EXPECT_EQ(dir.read(QStringLiteral("C.txt")).size(), 0);
}

TEST_F(Maintenance, ClearingAfterEditsUsesTheSelectedItemsFile) {
    abc();
    open();
    select(0);
    nameBox()->setText(QStringLiteral("edited"));
    press("cmdClear");
    EXPECT_EQ(dialogs.shown()[0].text,
              u"editedのカウント数と履歴データをクリアします。よろしいですか？");
    EXPECT_EQ(dialogs.shown()[1].text, u"edited のカウント数と履歴データをクリアしました");
    EXPECT_EQ(dir.read(QStringLiteral("A.txt")).size(), 0);
    EXPECT_EQ(lines().size(), 1); // the view shows "A", not "edited"

    // After a rename the file emptied is the one under the new name.
    select(1);
    nameBox()->setText(QStringLiteral("Z"));
    press("cmdHozon");
    press("cmdClear");
    EXPECT_TRUE(dir.exists(QStringLiteral("Z.txt")));
    EXPECT_EQ(historyLines(QStringLiteral("B")).size(), 1); // the old name keeps its records
}

} // namespace

namespace {

// The item list changed on the disk while the window was open: a change of the list does
// nothing but tell how it changed, and the window shows the new list for another try.
TEST_F(Maintenance, AChangeToAListChangedOnTheDiskWaitsForAnotherTry) {
    abc();
    open();
    select(1);
    targetBox()->setText(QStringLiteral("9"));
    const QByteArray theirs = "\"A\",1\r\n\"B\",5\r\n\"C\",3\r\n\"D\",4\r\n";
    dir.write(QStringLiteral("項目一覧.txt"), theirs);
    press("cmdHozon");
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"項目一覧の変更");
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Warning);
    EXPECT_EQ(dialogs.shown()[0].text,
              u"項目一覧（項目一覧.txt）がほかで変更されていたため、読み込み直しました。\r\n\r\n"
              u"追加された項目：D\r\n指示数が変わった項目：B（2 → 5）\r\n\r\n"
              u"変更後の項目で、もう一度操作して下さい。");
    EXPECT_EQ(itemList(), QString::fromLatin1(theirs));
    EXPECT_EQ(entries(items()), (QStringList{QStringLiteral("A"), QStringLiteral("B"),
                                             QStringLiteral("C"), QStringLiteral("D")}));
    EXPECT_EQ(entries(combo()).size(), 4);
    EXPECT_TRUE(nameBox()->text().isEmpty());
    EXPECT_TRUE(items()->selectedItems().isEmpty());
    // The same on the new list goes through.
    dialogs.clear();
    select(1);
    targetBox()->setText(QStringLiteral("9"));
    press("cmdHozon");
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("設定更新終了")});
    EXPECT_EQ(itemList(), u"\"A\",1\r\n\"B\",9\r\n\"C\",3\r\n\"D\",4\r\n");
}

} // namespace
