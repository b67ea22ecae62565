#include "settings/frmsettei.h"
#include "support/app_fixture.h"
#include "training/frmmain.h"
#include "widgets/picture_button.h"

#include <QLabel>
#include <QListView>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Notes every training window that becomes visible.
class ShowWatcher : public QObject {
public:
    ShowWatcher() { qApp->installEventFilter(this); }
    ~ShowWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<frmMain*>(watched))
            ++trainingShown;
        return false;
    }
    int trainingShown = 0;
};

using Switching = AppTest;

TEST_F(Switching, NoItemsSendsTheUserToTheSettingsWithoutShowingTheWorkout) {
    ShowWatcher watcher;
    start();
    ASSERT_EQ(dialogs.shown().size(), 1);
    const ScriptedDialogs::Shown box = dialogs.shown().first();
    EXPECT_EQ(box.title, u"項目無し");
    EXPECT_EQ(box.text, u"項目登録ボタンを押して項目を設定してください");
    EXPECT_EQ(box.icon, Dialogs::Icon::Warning);
    EXPECT_EQ(box.buttons, Dialogs::Buttons::Ok);
    EXPECT_TRUE(settings());
    EXPECT_TRUE(settings()->isVisible());
    EXPECT_EQ(watcher.trainingShown, 0);
    EXPECT_EQ(QApplication::topLevelWidgets().count(qobject_cast<QWidget*>(settings())), 1);
    EXPECT_FALSE(ended);
}

TEST_F(Switching, ExactlyOneWindowIsOpenAndTheLoadStepRunsAtEveryOpening) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    start();
    auto visibleWindows = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += (qobject_cast<frmMain*>(w) || qobject_cast<frmSettei*>(w)) && w->isVisible();
        return n;
    };
    EXPECT_EQ(visibleWindows(), 1);
    training()->cmdCut_Click();
    settle();
    EXPECT_EQ(visibleWindows(), 1);
    ASSERT_TRUE(settings());
    // The table is reloaded from the file at the next workout.
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    settings()->cmdAgain_Click();
    settle();
    ASSERT_TRUE(training());
    EXPECT_EQ(app->gymm().ItemCount(), 2);
    EXPECT_EQ(visibleWindows(), 1);
    EXPECT_FALSE(ended);
}

TEST_F(Switching, TheCloseBoxOfTheOpenWindowEndsTheProgram) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    start();
    training()->close();
    settle();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(app->window());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(Switching, TheSettingsCloseBoxEndsTheProgramToo) {
    start();
    settings()->close();
    settle();
    EXPECT_TRUE(ended);
}

TEST_F(Switching, WhereTheSystemGivesNoLockTheUserIsToldAndTheProgramGoesOn) {
    // A descriptor that takes no lock stands in for a file system that offers none; the files
    // cannot be reached through it either, which is said as well.
    DataDir unlockable{Folder()};
    App noLock(unlockable, dialogs, clock, help);
    EXPECT_TRUE(noLock.start());
    settle();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("二重起動"), QStringLiteral("読み込みエラー"),
                           QStringLiteral("読み込みエラー"), QStringLiteral("項目無し")}));
    EXPECT_EQ(
        dialogs.shown()[0].text,
        QStringLiteral("このフォルダーでは、ほかにヤルキン！が起動しているかどうかを確かめられ"
                       "ません。同じフォルダーで二つ同時に使わないで下さい。\r\n\r\n"
                       "フォルダー：") +
            dir.path());
    EXPECT_TRUE(qobject_cast<frmSettei*>(noLock.window()));
}

using Reporting = AppTest;

TEST_F(Reporting, EveryProblemIsToldWithItsFileAndItsReason) {
    start();
    dialogs.clear();
    using Action = FileProblem::Action;
    const QString reason = QStringLiteral("ディスクの空き容量が足りません");
    struct Case {
        FileProblem problem;
        const char16_t* title;
        const char16_t* text;
    };
    const Case cases[] = {
        {{Action::Write, QStringLiteral("a.txt"), reason},
         u"書き込みエラー",
         u"ファイル「a.txt」に書き込めませんでした。"},
        {{Action::Read, QStringLiteral("a.txt"), reason},
         u"読み込みエラー",
         u"ファイル「a.txt」を読み込めませんでした。"},
        {{Action::Remove, QStringLiteral("a.txt"), reason},
         u"書き込みエラー",
         u"ファイル「a.txt」を削除できませんでした。"},
        {{Action::Unconfirmed, QStringLiteral("a.txt"), reason},
         u"書き込みエラー",
         u"ファイル「a.txt」への変更がディスクに保存されたことを確認できませんでした。"},
        {{Action::UnusableName, QStringLiteral("a\tb"), reason},
         u"使用できない項目名",
         u"項目「a␉b」の名前は履歴ファイルの名前に使えないため、この項目の履歴は読み書き"
         u"できません。"},
        {{Action::LeftAlone, QStringLiteral("a\x7f"), reason},
         u"使用できない項目名",
         u"項目「a␡」を削除しました。この名前は履歴ファイルの名前に使えないため、"
         u"ファイルには手を付けていません。"},
    };
    // One outcome's warnings are told one by one, in their order; whether it took place is
    // the outcome's own word, whatever it warns of.
    Outcome outcome;
    outcome.done = true;
    for (const Case& c : cases)
        outcome.warn(c.problem);
    EXPECT_TRUE(app->report(nullptr, outcome));
    ASSERT_EQ(dialogs.shown().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const ScriptedDialogs::Shown& box = dialogs.shown()[qsizetype(i)];
        EXPECT_EQ(box.title, QStringView(cases[i].title));
        EXPECT_EQ(box.icon, Dialogs::Icon::Warning);
        // The file first, then the system's reason after it.
        EXPECT_EQ(box.text,
                  QString::fromUtf16(cases[i].text) + QStringLiteral("\r\n\r\n理由：") + reason);
    }
    dialogs.clear();
    EXPECT_FALSE(app->report(nullptr, Outcome{}));
    EXPECT_TRUE(dialogs.shown().isEmpty());

    // A list changed only in its order, as a merge notes it; a merged copy whose items the list
    // held already, and one it had no room for.
    const QString reread =
        QStringLiteral("項目一覧（項目一覧.txt）がほかで変更されていたため、読み込み直しました。");
    EXPECT_EQ(Session::changeText({{}, {}, {}, ListChange::Then::Noted}),
              reread + QStringLiteral("\r\n\r\n項目の並びが変わりました。"));
    DataDir::Merged merged;
    merged.done = true;
    merged.listCopy = QStringLiteral("copy.txt");
    merged.itemsLeftOut = QStringList{QStringLiteral("a\tb"), QStringLiteral("c")};
    app->reportMerged(nullptr, merged);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(
        dialogs.shown()[0].text,
        u"同期ツールが作った競合コピーを統合しました。\r\n\r\n・項目一覧.txt：copy.txt の項目は"
        u"すべてありました\r\n　２０項目を超えるため加えなかった項目：a␉b、c\r\n\r\n"
        u"競合コピーは「統合済みの競合コピー」フォルダーに移しました。");
}

} // namespace

namespace {

using TwoComputers = AppTest;

// Conflict copies a sync tool left are merged at the start and whenever one appears, and the
// user is told once each time; the history shown follows its file.
TEST_F(TwoComputers, ConflictCopiesAreMergedAtTheStartAndWhenOneAppears) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("A"), {QStringLiteral("5")});
    dir.write(QStringLiteral("A.sync-conflict-20261207-081500-ABCDEFG.txt"),
              cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",5\r\n"
                                   "\"12月05日\",\"18時40分00秒\",6\r\n")));
    start();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"同期の競合コピーの統合");
    EXPECT_EQ(dialogs.shown()[0].icon, Dialogs::Icon::Information);
    EXPECT_TRUE(dialogs.shown()[0].text.contains(u"A.txt"));
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 2);
    ASSERT_TRUE(training());

    // A copy of the item list during a workout: its item joins the labels at once, and a
    // target it holds otherwise is told, not taken.
    dialogs.clear();
    const QString listCopy = QStringLiteral("項目一覧 (conflicted copy 2026-12-07 081500).txt");
    dir.write(listCopy, "\"A\",5\r\n\"B\",2\r\n");
    app->dataDirChanged();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].text,
              QStringLiteral("同期ツールが作った競合コピーを統合しました。\r\n\r\n"
                             "・項目一覧.txt：%1 から項目 B を加えました\r\n"
                             "　指示数が違う項目（変えていません）：A（この一覧 1、競合コピー 5）"
                             "\r\n\r\n競合コピーは「統合済みの競合コピー」フォルダーに移しました。")
                  .arg(listCopy));
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblSnd(2)"))->text(), u"2.B");
    EXPECT_FALSE(find<QLabel>(QStringLiteral("lblSnd(2)"))->isHidden());
    EXPECT_EQ(find<PictureButton>(QStringLiteral("cmdNext"))->text(), u"次へ");
    EXPECT_EQ(dir.read(QStringLiteral("項目一覧.txt")), "\"A\",1\r\n\"B\",2\r\n");
    // The list itself replaced by the tool: the workout's items follow at once, and the user
    // is told how they changed.
    dialogs.clear();
    dir.bringIn(QStringLiteral("項目一覧.txt"), "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n");
    app->dataDirChanged();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("項目一覧の変更")});
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblSnd(3)"))->text(), u"3.C");
    EXPECT_EQ(find<PictureButton>(QStringLiteral("cmdNext"))->text(), u"次へ");

    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();
    ASSERT_TRUE(settings());
    dialogs.clear();
    dir.write(QStringLiteral("A (conflicted copy 2026-12-07 081500).txt"),
              cp932(QStringLiteral("\"12月05日\",\"18時50分00秒\",7\r\n")));
    app->dataDirChanged();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("同期の競合コピーの統合")});
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 3);
    EXPECT_EQ(find<QListView>(QStringLiteral("lstRireki"))->model()->rowCount(), 3);
    // Nothing new: nothing said.
    dialogs.clear();
    app->dataDirChanged();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    // A history the tool simply replaced is shown as it now stands, without a word.
    dir.bringIn(QStringLiteral("A.txt"),
                dir.read(QStringLiteral("A.txt")) +
                    cp932(QStringLiteral("\"12月06日\",\"08時00分00秒\",8\r\n")));
    app->dataDirChanged();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_EQ(find<QListView>(QStringLiteral("lstRireki"))->model()->rowCount(), 4);
    // A copy that cannot be merged (a folder under a copy's name) is told once, not at every
    // look.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("A (conflicted copy 2026-12-08 081500).txt")));
    app->dataDirChanged();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("読み込みエラー")});
    app->dataDirChanged();
    EXPECT_EQ(dialogs.shown().size(), 1);
}

// A merge that stops at the move of its copy (a file stands where the merged copies' folder
// goes) still tells and follows the list the tool replaced: Next records the item shown.
TEST_F(TwoComputers, AMergeThatStopsStillFollowsTheReplacedList) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                {QStringLiteral("B"), QStringLiteral("2")},
                {QStringLiteral("C"), QStringLiteral("3")}});
    start();
    dir.write(DataDir::MergedCopiesFolder, "in the way");
    dir.write(QStringLiteral("項目一覧.sync-conflict-20261207-081500-ABCDEFG.txt"), "\"A\",1\r\n");
    dir.bringIn(QStringLiteral("項目一覧.txt"), "\"B\",2\r\n\"A\",1\r\n\"C\",3\r\n");
    dialogs.clear();
    app->dataDirChanged();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("項目一覧の変更"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(training()->CurrentItem, 2); // A, now second
    app->flashSeconds = 0;
    find<PictureButton>(QStringLiteral("cmdNext"))->click();
    settle();
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 1);
    EXPECT_FALSE(dir.exists(QStringLiteral("B.txt")));
}

// Another computer's shorter list, and its copy, while a Next flashes: merged once the Next is
// over, and the workout goes on at an item the list still has.
TEST_F(TwoComputers, AListThatShrankDuringANextIsFollowedOnceItIsOver) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                {QStringLiteral("B"), QStringLiteral("2")},
                {QStringLiteral("C"), QStringLiteral("3")}});
    start();
    auto* next = find<PictureButton>(QStringLiteral("cmdNext"));
    app->flashSeconds = 0;
    next->click(); // A, on to B
    app->flashSeconds = 0.3f;
    int itemsDuringTheFlash = 0;
    QTimer::singleShot(50, [&] {
        dir.write(QStringLiteral("項目一覧.sync-conflict-20261207-081500-ABCDEFG.txt"),
                  "\"A\",1\r\n");
        dir.write(QStringLiteral("項目一覧.txt"), "\"A\",1\r\n");
        app->dataDirChanged();
        itemsDuringTheFlash = app->gymm().ItemCount();
    });
    next->click(); // B, on to C
    EXPECT_EQ(itemsDuringTheFlash, 3);
    EXPECT_EQ(training()->CurrentItem, 3);
    dialogs.clear();
    app->dataDirChanged();
    // B went while its set was recorded here: its history is told, with how to see it.
    EXPECT_EQ(dialogs.titles(), (QStringList{QStringLiteral("同期の競合コピーの統合"),
                                             QStringLiteral("項目のない履歴")}));
    EXPECT_TRUE(dialogs.shown().last().text.contains(u"\r\n・B（B.txt）\r\n"));
    // C is gone: the workout goes on at A, now the only item.
    ASSERT_EQ(app->gymm().ItemCount(), 1);
    EXPECT_EQ(training()->CurrentItem, 1);
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblKoumoku"))->text(), u"A");
    EXPECT_EQ(next->text(), u"終了");
    app->flashSeconds = 0;
    next->click();
    settle();
    EXPECT_EQ(historyLines(QStringLiteral("A")).size(), 2);
    EXPECT_TRUE(settings());
}

// A history with records that no item shows is told once (not at the next look nor start), over
// the open window, with how to see it; a note of the user's or an empty file is none.
TEST_F(TwoComputers, AHistoryNoItemShowsIsToldOnce) {
    QTemporaryDir state;
    toldDir = state.path();
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("A"), {QStringLiteral("5")});
    writeHistory(QStringLiteral("B"), {QStringLiteral("5"), QStringLiteral("abc")});
    dir.write(QStringLiteral("README.txt"),
              "notes\r\n" + cp932(QStringLiteral("\"12月05日\",\"18時00分00秒\",5")));
    dir.write(QStringLiteral("empty.txt"), "");
    start();
    ASSERT_EQ(dialogs.titles(), QStringList{QStringLiteral("項目のない履歴")});
    EXPECT_EQ(dialogs.shown()[0].over, u"frmMain");
    EXPECT_TRUE(dialogs.shown()[0].text.contains(u"\r\n・B（B.txt）\r\n"));
    EXPECT_TRUE(dialogs.shown()[0].text.contains(u"見るには、同じ名前で項目を登録して下さい"));
    dialogs.clear();
    app->dataDirChanged();
    start();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    // Another comes from the other computer: it alone is told.
    writeHistory(QStringLiteral("C"), {QStringLiteral("7")});
    app->dataDirChanged();
    ASSERT_EQ(dialogs.titles(), QStringList{QStringLiteral("項目のない履歴")});
    EXPECT_FALSE(dialogs.shown()[0].text.contains(u"B.txt"));
    EXPECT_TRUE(dialogs.shown()[0].text.contains(u"C.txt"));
    EXPECT_EQ(dir.listing().size(), 6); // nothing noted among A, B, C, README, empty and the list
}

} // namespace
