#include "settings/frmsettei.h"
#include "settings_fixture.h"
#include "widgets/geometry.h"
#include "widgets/picture_button.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

namespace {

// A few controls by hand, in pixels at 96 dpi, so that a wrong number in the layout table
// itself shows: each list ends inside its frame.
TEST_F(Settings, KeyControlsStandWhereTheyShould) {
    open();
    EXPECT_EQ(find<QWidget>(QStringLiteral("cmdAgain"))->geometry(), QRect(225, 10, 51, 61));
    EXPECT_EQ(find<QWidget>(QStringLiteral("cmdEnd"))->geometry(), QRect(575, 10, 51, 61));
    EXPECT_EQ(find<QWidget>(QStringLiteral("Frame1"))->geometry(), QRect(6, 95, 326, 351));
    EXPECT_EQ(find<QWidget>(QStringLiteral("cboKoumoku"))->geometry(), QRect(10, 25, 306, 23));
    EXPECT_EQ(find<QWidget>(QStringLiteral("lstRireki"))->geometry(), QRect(10, 50, 306, 276));
    EXPECT_EQ(find<QWidget>(QStringLiteral("lblGoukei"))->geometry(), QRect(175, 330, 136, 16));
    EXPECT_EQ(find<QWidget>(QStringLiteral("Frame2"))->geometry(), QRect(340, 95, 281, 351));
    EXPECT_EQ(find<QWidget>(QStringLiteral("txtKoumoku"))->geometry(), QRect(10, 25, 216, 21));
    EXPECT_EQ(find<QWidget>(QStringLiteral("txtKaisu"))->geometry(), QRect(230, 25, 41, 21));
    EXPECT_EQ(find<QWidget>(QStringLiteral("lstKoumoku"))->geometry(), QRect(10, 50, 261, 292));
    for (const char* name : {"lstRireki", "lblGoukei", "lstKoumoku", "txtKaisu"}) {
        QWidget* widget = find<QWidget>(QString::fromLatin1(name));
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry())) << name;
    }
}

TEST_F(Settings, LayoutMatchesTheTwips) {
    open();
    frmSettei* window = settings();
    EXPECT_EQ(window->size(), QSize(631, 452));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), u"ヤルキン！");
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const ControlRow& row : frmSettei::layout()) {
        auto* widget = find<QWidget>(row.name);
        ASSERT_TRUE(widget);
        const QRect expected = twipsRect(row.left, row.top, row.width, row.height);
        if (row.kind == ControlKind::Line)
            EXPECT_EQ(widget->geometry(), QRect(expected.topLeft(), QSize(expected.width(), 1)));
        else
            EXPECT_EQ(widget->geometry(), expected) << row.name.toStdString();
        const QString container =
            widget->parentWidget() == window ? QString() : widget->parentWidget()->objectName();
        EXPECT_EQ(container, row.container) << row.name.toStdString();
        // The history list and the item chooser add the menu and its keys to their tips.
        const bool menuTip = row.name == u"lstRireki" || row.name == u"cboKoumoku";
        EXPECT_EQ(menuTip ? widget->toolTip().left(row.toolTip.size()) : widget->toolTip(),
                  row.toolTip)
            << row.name.toStdString();
    }
    // Neighbouring buttons overlap by one pixel (15 twips).
    EXPECT_EQ(find<QWidget>(QStringLiteral("cmdAgain"))->geometry().right(),
              find<QWidget>(QStringLiteral("cmdNew"))->geometry().left());
    EXPECT_EQ(find<PictureButton>(QStringLiteral("cmdClear"))->text(), u"クリア");
    EXPECT_EQ(find<PictureButton>(QStringLiteral("cmdsyoukai"))->toolTip(),
              u"ヤルキンＰｒｏの紹介です");
    EXPECT_EQ(find<QGroupBox>(QStringLiteral("Frame1"))->title(), u"実績履歴リスト");
    EXPECT_EQ(find<QGroupBox>(QStringLiteral("Frame2"))->title(), u"登録状態確認");
    EXPECT_EQ(find<QLabel>(QStringLiteral("Image1"))->pixmap().size(), QSize(211, 62));
    EXPECT_TRUE(find<QLabel>(QStringLiteral("lblGoukei"))->autoFillBackground());
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblGoukei"))->alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    // Eight different pictures of 32x32.
    const QList<PictureButton*> buttons = window->findChildren<PictureButton*>();
    ASSERT_EQ(buttons.size(), 8);
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->iconSize(), QSize(32, 32));
        for (qsizetype j = 0; j < i; ++j)
            EXPECT_NE(buttons[i]->icon().pixmap(32).toImage(),
                      buttons[j]->icon().pixmap(32).toImage())
                << buttons[i]->objectName().toStdString();
    }

    const QStringList order = {
        QStringLiteral("cmdAgain"),  QStringLiteral("cmdNew"),     QStringLiteral("cmdHozon"),
        QStringLiteral("cmdClear"),  QStringLiteral("cmdDel"),     QStringLiteral("cmdHelp"),
        QStringLiteral("cmdEnd"),    QStringLiteral("cboKoumoku"), QStringLiteral("lstKoumoku"),
        QStringLiteral("txtKaisu"),  QStringLiteral("txtKoumoku"), QStringLiteral("lstRireki"),
        QStringLiteral("cmdsyoukai")};
    EXPECT_EQ(tabOrder(find<QWidget>(QStringLiteral("cmdAgain"))), order);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(QApplication::focusWidget(), find<QWidget>(QStringLiteral("cmdAgain")));
}

TEST_F(Settings, AnEmptyTableFillsNothing) {
    open(); // the start-up's "項目無し" leads here
    EXPECT_EQ(items()->count(), 0);
    EXPECT_EQ(combo()->count(), 0);
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), QString());
    EXPECT_EQ(settings()->HistoryItem, 0);
    // With no item shown there is nothing to chart or to export.
    settings()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings()));
    for (const QKeyCombination keys :
         {Qt::CTRL | Qt::Key_G, Qt::CTRL | Qt::Key_E, Qt::CTRL | Qt::SHIFT | Qt::Key_E})
        QTest::keyClick(settings(), keys.key(), keys.keyboardModifiers());
    EXPECT_TRUE(app->progressWindows().isEmpty());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(Settings, ThreeItemsFillBothListsAndShowTheFirstHistory) {
    threeItems();
    open();
    const QStringList names = {QStringLiteral("腕立て伏せ"), QStringLiteral("スクワット"),
                               QStringLiteral("腹筋")};
    EXPECT_EQ(entries(items()), names);
    EXPECT_EQ(entries(combo()), names);
    EXPECT_EQ(combo()->currentText(), u"腕立て伏せ");
    EXPECT_TRUE(items()->selectedItems().isEmpty());
    EXPECT_EQ(nameBox()->text(), QString());
    EXPECT_EQ(lines(), (QStringList{QStringLiteral("1 _ 12月05日 _ 18時36分10秒 _ 10"),
                                    QStringLiteral("2 _ 12月05日 _ 18時36分10秒 _ 20"),
                                    QStringLiteral("3 _ 12月05日 _ 18時36分10秒 _ 5")}));
    EXPECT_EQ(total(), u"合計回数 ： 35");
    // A screen reader hears the lines without their separators, the chooser by its name, and
    // the window apart from the training window, whose title it shares.
    const QModelIndex first = find<QListView>(QStringLiteral("lstRireki"))->model()->index(0, 0);
    EXPECT_EQ(first.data(Qt::AccessibleTextRole).toString(), u"1件目 12月05日 18時36分10秒 10回");
    const auto said = [](QWidget* widget) {
        const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(widget);
        return std::pair{read->role(), read->text(QAccessible::Name)};
    };
    EXPECT_EQ(said(combo()), std::pair(QAccessible::ComboBox, QStringLiteral("履歴を見る項目")));
    EXPECT_EQ(said(settings()),
              std::pair(QAccessible::Window, QStringLiteral("設定 - ヤルキン！")));
    EXPECT_EQ(said(find<QWidget>(QStringLiteral("Line1(0)"))),
              std::pair(QAccessible::Separator, QStringLiteral("区切り線")));
}

TEST_F(Settings, SelectingAnItemAndPickingAHistoryAreIndependent) {
    threeItems();
    open();
    select(1);
    EXPECT_EQ(nameBox()->text(), u"スクワット");
    EXPECT_EQ(targetBox()->text(), u"-20");
    EXPECT_EQ(total(), u"合計回数 ： 35"); // still item 1's history

    nameBox()->setText(QStringLiteral("edited"));
    pick(1);
    EXPECT_EQ(settings()->HistoryItem, 2);
    EXPECT_EQ(lines(), (QStringList{QStringLiteral("1 _ 12月05日 _ 18時36分10秒 _ abc"),
                                    QStringLiteral("2 _ 12月05日 _ 18時36分10秒 _ 7")}));
    EXPECT_EQ(total(), u"合計回数 ： 7");
    EXPECT_EQ(nameBox()->text(), u"edited");
    EXPECT_EQ(items()->currentRow(), 1);

    pick(2); // no history file at all
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), u"合計回数 ： 0");
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(Settings, TotalsRoundAfterEveryRecordAndDoNotOverflow) {
    writeItems({{QStringLiteral("half"), QStringLiteral("1")},
                {QStringLiteral("big"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("half"), {QStringLiteral("12.5"), QStringLiteral("12.5")});
    writeHistory(QStringLiteral("big"), {QStringLiteral("2000000000"), QStringLiteral("2000000000"),
                                         QStringLiteral("2000000000")});
    open();
    EXPECT_EQ(total(), u"合計回数 ： 24");
    pick(1);
    EXPECT_EQ(total(), u"合計回数 ： 6000000000");
}

TEST_F(Settings, LegacyHistoriesReadAsExpected) {
    dir.copyFrom(legacyDataDir());
    open();
    const QList<QPair<int, QString>> totals = {
        {0, QStringLiteral("35")}, {1, QStringLiteral("0")},  {2, QStringLiteral("0")},
        {3, QStringLiteral("0")},  {4, QStringLiteral("24")}, {5, QStringLiteral("-3")}};
    for (const auto& [row, expected] : totals) {
        pick(row);
        EXPECT_EQ(total(), QStringLiteral("合計回数 ： ") + expected) << row;
    }
    pick(5);
    EXPECT_EQ(lines().first(), u"1 _ 07月07日 _ 12時00分00秒 _ abc");
}

TEST_F(Settings, AnUnreadableHistoryWarnsAndShowsNothing) {
    threeItems();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("腹筋.txt")));
    open();
    pick(2);
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(total(), u"合計回数 ： 0");
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().first().title, u"読み込みエラー");
    EXPECT_EQ(dialogs.shown().first().text,
              notRead(QStringLiteral("腹筋.txt"), QStringLiteral("通常のファイルではありません")));
}

TEST_F(Settings, StartShowsTheKeyboardFocusFromTheStart) {
    threeItems();
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings()));
    auto* start = find<PictureButton>(QStringLiteral("cmdAgain"));
    ASSERT_TRUE(start->hasFocus());
    const QImage focused = start->grab().toImage();
    combo()->setFocus();
    ASSERT_FALSE(start->hasFocus());
    EXPECT_NE(start->grab().toImage(), focused);
}

TEST_F(Settings, TypingInTheHistoryChooserShowsNoOtherHistory) {
    threeItems();
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings()));
    combo()->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab}) {
        combo()->clearEditText();
        // The first letters of an item, as inline completion would finish them; then the
        // whole name.
        for (const QString& typed : {QStringLiteral("スク"), QStringLiteral("スクワット")}) {
            combo()->setFocus();
            combo()->clearEditText();
            typeText(combo(), typed);
            QTest::keyClick(combo(), key);
            settle();
            EXPECT_EQ(settings()->HistoryItem, 1) << typed.toStdString() << " " << key;
            EXPECT_EQ(total(), u"合計回数 ： 35");
        }
    }
}

TEST_F(Settings, PickingFromTheListShowsThatHistory) {
    threeItems();
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings()));
    combo()->setFocus();
    combo()->showPopup();
    QWidget* list = combo()->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    settle();
    EXPECT_EQ(settings()->HistoryItem, 2);
    EXPECT_EQ(total(), u"合計回数 ： 7");
    // The arrow keys on the closed box pick the next entry of the list as well.
    QTest::keyClick(combo(), Qt::Key_Down);
    EXPECT_EQ(settings()->HistoryItem, 3);
}

TEST_F(Settings, CtrlClickKeepsTheSelectedItemSelected) {
    threeItems();
    open();
    select(1);
    QListWidget* list = items();
    const QPoint entry = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry);
    EXPECT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->currentRow(), 1);
    // Ctrl+Space toggles a selection in other lists; not here.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(list->selectedItems().size(), 1);
    // So 保存 finds the item the name box shows.
    settings()->cmdHozon_Click();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("設定更新終了")});
}

TEST_F(Settings, ATargetTooWideForItsBoxShowsItsBeginning) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                {QStringLiteral("B"), QStringLiteral("-32768")}});
    open();
    select(1);
    ASSERT_EQ(targetBox()->text(), u"-32768");
    EXPECT_EQ(targetBox()->cursorPosition(), 0);
}

TEST_F(Settings, AnEightDigitTotalStaysReadable) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("A"), {QStringLiteral("50036996")});
    open();
    auto* label = find<QLabel>(QStringLiteral("lblGoukei"));
    ASSERT_EQ(label->text(), u"合計回数 ： 50036996");
    EXPECT_TRUE(drawnWhole(label));
    EXPECT_EQ(label->font().pointSizeF(), 11.25);
}

TEST_F(Settings, EveryOpeningStartsAfresh) {
    threeItems();
    open();
    select(2);
    pick(1);
    settings()->cmdAgain_Click();
    settle();
    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();
    EXPECT_TRUE(items()->selectedItems().isEmpty());
    EXPECT_EQ(nameBox()->text(), QString());
    EXPECT_EQ(combo()->currentText(), u"腕立て伏せ");
    EXPECT_EQ(total(), u"合計回数 ： 35");
}

TEST_F(Settings, ALongHistoryScrollsARowAtATimeAndShowsTheCurrentRowWhole) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    writeHistory(QStringLiteral("A"), QStringList(200, QStringLiteral("3")));
    open();
    auto* list = find<QListView>(QStringLiteral("lstRireki"));
    QScrollBar* bar = list->verticalScrollBar();
    EXPECT_EQ(bar->singleStep(), list->sizeHintForRow(0));
    list->setFocus();
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
    }
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(list->indexAt(QPoint(1, list->viewport()->height() - 2)).row(), 199);
}

} // namespace
