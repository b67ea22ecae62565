#include "settings/frmsettei.h"
#include "support/app_fixture.h"
#include "training/frmmain.h"

#include <QApplication>

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
    EXPECT_EQ(app->gymm.ItemCount(), 2);
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

using Reporting = AppTest;

TEST_F(Reporting, EveryProblemIsToldWithItsFileAndItsReason) {
    app = std::make_unique<App>(dialogs, clock, help);
    using Action = FileResult::Action;
    EXPECT_TRUE(app->report(nullptr, FileResult::success()));
    EXPECT_TRUE(dialogs.shown().isEmpty());

    struct Case {
        FileResult result;
        bool tookPlace;
        const char16_t* title;
        const char16_t* text;
    };
    const QString reason = QStringLiteral("ディスクの空き容量が足りません");
    const Case cases[] = {
        {FileResult::failure(Action::Write, QStringLiteral("a.txt"), reason), false,
         u"書き込みエラー", u"ファイル「a.txt」に書き込めませんでした。"},
        {FileResult::failure(Action::Read, QStringLiteral("a.txt"), reason), false,
         u"読み込みエラー", u"ファイル「a.txt」を読み込めませんでした。"},
        {FileResult::failure(Action::Remove, QStringLiteral("a.txt"), reason), false,
         u"書き込みエラー", u"ファイル「a.txt」を削除できませんでした。"},
        {FileResult::notDurable(QStringLiteral("a.txt"), reason), true, u"書き込みエラー",
         u"ファイル「a.txt」への変更がディスクに保存されたことを確認できませんでした。"},
        {FileResult::failure(Action::UnusableName, QStringLiteral("a\tb"), reason), false,
         u"使用できない項目名",
         u"項目「a␉b」の名前は履歴ファイルの名前に使えないため、この項目の履歴は読み書き"
         u"できません。"},
    };
    for (const Case& c : cases) {
        dialogs.clear();
        EXPECT_EQ(app->report(nullptr, c.result), c.tookPlace);
        ASSERT_EQ(dialogs.shown().size(), 1);
        EXPECT_EQ(dialogs.shown()[0].title, QStringView(c.title));
        EXPECT_EQ(dialogs.shown()[0].icon, Dialogs::Icon::Warning);
        // The file first, then the system's reason after it.
        EXPECT_EQ(dialogs.shown()[0].text,
                  QString::fromUtf16(c.text) + QStringLiteral("\r\n\r\n理由：") + reason);
    }
}

} // namespace
