// The progress window and the CSV export, as the settings window offers them: a context menu on
// the history list and the item chooser, and keys, for the item the history view shows.
#include "settings_fixture.h"
#include "widgets/geometry.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>

namespace {

// A text field under X11's key bindings: Ctrl+E is its own, "end of line".
class TakesCtrlE : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent*>(event)->keyCombination() == (Qt::CTRL | Qt::Key_E))
            event->accept();
        return false;
    }
};

class HistoryMenu : public Settings {
protected:
    QMenu* menu() { return settings()->historyMenu(); }
    QAction* action(const char16_t* text) {
        for (QAction* candidate : menu()->actions())
            if (candidate->text() == QStringView(text))
                return candidate;
        ADD_FAILURE() << "no menu entry " << QString::fromUtf16(text).toStdString();
        return nullptr;
    }
    QList<QWidget*> progress() const { return app->progressWindows(); }
};

TEST_F(HistoryMenu, TheMenuOpensTheProgressOfTheItemShown) {
    threeItems();
    open();
    QStringList texts;
    for (QAction* entry : menu()->actions())
        if (!entry->isSeparator())
            texts.append(entry->text());
    EXPECT_EQ(texts, (QStringList{QStringLiteral("グラフを表示"), QStringLiteral("CSV に書き出す…"),
                                  QStringLiteral("全項目を CSV に書き出す…"),
                                  QStringLiteral("毎日の通知…")}));

    // The right mouse button on the history list, and on the item chooser's text.
    auto* list = find<QListView>(QStringLiteral("lstRireki"));
    emit list->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(menu()->isVisible());
    menu()->hide();
    // The chooser's text keeps its own menu, and offers these below it.
    emit combo()->lineEdit()->customContextMenuRequested(QPoint(5, 5));
    QMenu* textMenu = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* candidate = qobject_cast<QMenu*>(window); candidate && candidate->isVisible())
            textMenu = candidate;
    ASSERT_TRUE(textMenu);
    EXPECT_TRUE(textMenu->actions().contains(action(u"グラフを表示")));
    EXPECT_GT(textMenu->actions().size(), menu()->actions().size() + 3); // undo, copy, paste...
    textMenu->close();

    pick(1);
    action(u"グラフを表示")->trigger();
    ASSERT_EQ(progress().size(), 1);
    EXPECT_EQ(progress()[0]->windowTitle(), u"スクワット の記録 - ヤルキン！");
    EXPECT_TRUE(progress()[0]->isVisible());
    // The same by its key.
    settings()->activateWindow();
    QTest::keyClick(settings(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(progress().size(), 2);

    // The window's own controls are as they were.
    EXPECT_EQ(list->geometry(), twipsRect(150, 750, 4590, 4140));
}

TEST_F(HistoryMenu, TheKeysWorkWhereverTheFocusIsAndTheToolTipsNameThem) {
    threeItems();
    open();
    settings()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings()));
    // The item chooser (where the focus is after picking an item) and the name box take
    // Ctrl+E as "end of line" under X11's key bindings (not the test platform's, so the
    // binding is put in as X11 has it, where the key goes) unless the window keeps the key.
    for (QWidget* field : {static_cast<QWidget*>(combo()), static_cast<QWidget*>(nameBox())}) {
        field->setFocus();
        QWidget* text = QApplication::focusWidget();
        ASSERT_TRUE(text);
        TakesCtrlE x11Binding;
        text->installEventFilter(&x11Binding);
        dialogs.clear();
        QTest::keyClick(text, Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("CSV に書き出す")});
        const qsizetype before = progress().size();
        QTest::keyClick(text, Qt::Key_G, Qt::ControlModifier);
        EXPECT_EQ(progress().size(), before + 1);
        settings()->activateWindow();
    }
    // The tool tips name the menu and the keys; the chooser's own line comes first.
    const QString history = find<QListView>(QStringLiteral("lstRireki"))->toolTip();
    for (const char16_t* said : {u"右クリック", u"Ctrl+G", u"Ctrl+E", u"Ctrl+Shift+E"})
        EXPECT_TRUE(history.contains(QStringView(said))) << history.toStdString();
    EXPECT_TRUE(combo()->toolTip().startsWith(u"各項目の実績履歴を表示します\n"));
    EXPECT_TRUE(combo()->toolTip().endsWith(history));
}

TEST_F(HistoryMenu, ProgressWindowsNeverKeepTheProgramAliveAndGoAtTheEnd) {
    threeItems();
    open();
    settings()->showProgress();
    settings()->showProgress();
    ASSERT_EQ(progress().size(), 2);
    find<PictureButton>(QStringLiteral("cmdEnd"))->click();
    settle();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(progress().isEmpty());

    // Closing the settings window ends the program with a progress window still open.
    app.reset();
    ended = false;
    start();
    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();
    settings()->showProgress();
    settings()->close();
    settle();
    EXPECT_TRUE(ended);
}

TEST_F(HistoryMenu, AnItemWhoseNameNoFileCanCarryOpensAndExportsNothing) {
    writeItems(
        {{QStringLiteral("a/b"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    writeHistory(QStringLiteral("B"), {QStringLiteral("5")});
    open();
    const QStringList refused{QStringLiteral("使用できない項目名")};
    settings()->showProgress();
    EXPECT_TRUE(progress().isEmpty());
    EXPECT_EQ(dialogs.titles(), refused);
    // Its own export asks for no file; the export of every item tells of it and writes the
    // others.
    dialogs.clear();
    action(u"CSV に書き出す…")->trigger();
    EXPECT_EQ(dialogs.titles(), refused);
    dialogs.clear();
    const QString file = dir.path() + QStringLiteral("/all.csv");
    dialogs.queue(file);
    action(u"全項目を CSV に書き出す…")->trigger();
    EXPECT_EQ(dialogs.titles(), refused + QStringList({QStringLiteral("CSV に書き出す"),
                                                       QStringLiteral("CSV 書き出し終了")}));
    EXPECT_EQ(dialogs.shown().last().text,
              QStringLiteral("1 件の記録を「%1」に書き出しました。").arg(file));
    EXPECT_EQ(
        dir.read(QStringLiteral("all.csv")),
        QStringLiteral("\uFEFF項目名,日付,時刻,回数\r\nB,2026-12-05,18:36:10,5\r\n").toUtf8());
}

TEST_F(HistoryMenu, ExportingTheItemShownOrAllItems) {
    threeItems();
    open();
    const QString file = dir.path() + QStringLiteral("/export.csv");
    dialogs.queue(file);
    action(u"CSV に書き出す…")->trigger();
    ASSERT_EQ(dialogs.shown().size(), 2);
    // The save box proposes yarukin-YYYYMMDD.csv after the clock's day.
    EXPECT_EQ(dialogs.shown()[0].kind, ScriptedDialogs::Shown::Kind::SaveFile);
    EXPECT_TRUE(dialogs.shown()[0].text.endsWith(u"/yarukin-20261205.csv"));
    EXPECT_EQ(dialogs.shown()[1].title, u"CSV 書き出し終了");
    EXPECT_EQ(dialogs.shown()[1].text,
              QStringLiteral("3 件の記録を「%1」に書き出しました。").arg(file));
    const QString header = QStringLiteral("\uFEFF項目名,日付,時刻,回数\r\n");
    const QString one = header + QStringLiteral("腕立て伏せ,2026-12-05,18:36:10,10\r\n"
                                                "腕立て伏せ,2026-12-05,18:36:10,20\r\n"
                                                "腕立て伏せ,2026-12-05,18:36:10,5\r\n");
    EXPECT_EQ(dir.read(QStringLiteral("export.csv")), one.toUtf8());

    dialogs.clear();
    dialogs.queue(file);
    QTest::keyClick(settings(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs.titles().last(), u"CSV 書き出し終了");
    EXPECT_EQ(dir.read(QStringLiteral("export.csv")),
              (one + QStringLiteral("スクワット,2026-12-05,18:36:10,abc\r\n"
                                    "スクワット,2026-12-05,18:36:10,7\r\n"))
                  .toUtf8());

    // A file that cannot be written is told, and no success follows.
    dialogs.clear();
    const QString nowhere = dir.path() + QStringLiteral("/no-such-folder/export.csv");
    dialogs.queue(nowhere);
    action(u"CSV に書き出す…")->trigger();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("CSV に書き出す"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(dialogs.shown().last().text,
              notWritten(nowhere, QStringLiteral("ファイルまたはフォルダーがありません")));

    // The data directory's own files are refused, as named or through a link, and stay.
    const QString link = dir.path() + QStringLiteral("/link.csv");
    ASSERT_TRUE(QFile::link(QStringLiteral("スクワット.txt"), link));
    const QByteArray before = dir.snapshot();
    for (const QString& own : {dir.path() + QStringLiteral("/項目一覧.txt"), link}) {
        dialogs.clear();
        dialogs.queue(own);
        action(u"全項目を CSV に書き出す…")->trigger();
        EXPECT_EQ(dialogs.titles(), (QStringList{QStringLiteral("CSV に書き出す"),
                                                 QStringLiteral("書き込みエラー")}));
        EXPECT_EQ(dialogs.shown().last().text,
                  notWritten(own, QStringLiteral("ヤルキン！のデータのファイルです（書き出し先には"
                                                 "できません）")));
    }
    EXPECT_EQ(dir.snapshot(), before);

    // A history that cannot be read is told before any file is asked for.
    dialogs.clear();
    ASSERT_TRUE(QFile::remove(QStringLiteral("腕立て伏せ.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("腕立て伏せ.txt")));
    action(u"CSV に書き出す…")->trigger();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("読み込みエラー")});
    ASSERT_TRUE(QDir().rmdir(QStringLiteral("腕立て伏せ.txt")));

    // Cancel in the save box writes nothing and says nothing more.
    dialogs.clear();
    ASSERT_TRUE(QFile::remove(file));
    action(u"CSV に書き出す…")->trigger();
    EXPECT_EQ(dialogs.shown().size(), 1);
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
