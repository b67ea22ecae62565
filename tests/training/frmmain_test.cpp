#include "settings/frmsettei.h"
#include "support/app_fixture.h"
#include "training/frmmain.h"
#include "widgets/geometry.h"
#include "widgets/palette.h"
#include "widgets/picture_button.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

using Shown = ScriptedDialogs::Shown;

class Training : public AppTest {
protected:
    QLabel* label(int i) { return find<QLabel>(arrayName(QStringLiteral("lblSnd"), i)); }
    QColor textColor(QLabel* l) { return l->palette().color(QPalette::WindowText); }
    PictureButton* next() { return find<PictureButton>(QStringLiteral("cmdNext")); }
    QLineEdit* count() { return find<QLineEdit>(QStringLiteral("txtKaisu")); }
    QScrollBar* bar() { return find<QScrollBar>(QStringLiteral("hsbKaisu")); }
    QString caption(const char* name) { return find<QLabel>(QString::fromLatin1(name))->text(); }

    void fiveItems() {
        writeItems({{QStringLiteral("腕立て伏せ"), QStringLiteral("30")},
                    {QStringLiteral("スクワット"), QStringLiteral("20")},
                    {QStringLiteral("腹筋"), QStringLiteral("15")},
                    {QStringLiteral("背筋"), QStringLiteral("10")},
                    {QStringLiteral("懸垂"), QStringLiteral("5")}});
    }
    QString record(const QString& count) const {
        return QStringLiteral("\"12月05日\",\"18時36分11秒\",") + count;
    }
};

// A few controls by hand, in pixels at 96 dpi, so that a wrong number in the layout table
// itself shows.
TEST_F(Training, KeyControlsStandWhereTheyShould) {
    fiveItems();
    start();
    EXPECT_EQ(find<QWidget>(QStringLiteral("txtKaisu"))->geometry(), QRect(450, 380, 81, 34));
    EXPECT_EQ(find<QWidget>(QStringLiteral("hsbKaisu"))->geometry(), QRect(450, 420, 81, 16));
    EXPECT_EQ(find<QWidget>(QStringLiteral("cmdNext"))->geometry(), QRect(550, 375, 66, 66));
    EXPECT_EQ(find<QWidget>(QStringLiteral("cmdCut"))->geometry(), QRect(600, 5, 26, 23));
    EXPECT_EQ(find<QWidget>(QStringLiteral("lblKaisu"))->geometry(), QRect(180, 150, 448, 191));
    EXPECT_EQ(find<QWidget>(QStringLiteral("lblKoumoku"))->geometry(), QRect(177, 39, 449, 101));
    EXPECT_EQ(find<QWidget>(QStringLiteral("Frame1"))->geometry(), QRect(5, 10, 170, 431));
    EXPECT_EQ(label(1)->geometry(), QRect(7, 25, 161, 16));
    EXPECT_EQ(label(20)->geometry(), QRect(7, 405, 161, 16));
}

TEST_F(Training, LayoutMatchesTheTwips) {
    fiveItems();
    start();
    frmMain* window = training();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), QSize(629, 450));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), u"ヤルキン！");
    // Titled as the settings window is, but read apart from it.
    const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(window);
    EXPECT_EQ(read->role(), QAccessible::Dialog);
    EXPECT_EQ(read->text(QAccessible::Name), u"トレーニング - ヤルキン！");
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());
    for (const ControlRow& row : frmMain::layout()) {
        auto* widget = find<QWidget>(row.name);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->geometry(), twipsRect(row.left, row.top, row.width, row.height))
            << row.name.toStdString();
        const QString container =
            widget->parentWidget() == window ? QString() : widget->parentWidget()->objectName();
        EXPECT_EQ(container, row.container) << row.name.toStdString();
        if (row.points > 0) {
            EXPECT_EQ(widget->font().pointSizeF(), row.points) << row.name.toStdString();
        }
    }
    EXPECT_EQ(window->font().pointSizeF(), 21.75);
    EXPECT_EQ(find<QGroupBox>(QStringLiteral("Frame1"))->title(), u"計画");
    EXPECT_EQ(bar()->minimum(), 0);
    EXPECT_EQ(bar()->maximum(), 1000);
    EXPECT_EQ(tabOrder(count()),
              (QStringList{QStringLiteral("txtKaisu"), QStringLiteral("cmdNext"),
                           QStringLiteral("hsbKaisu"), QStringLiteral("cmdCut")}));
    EXPECT_EQ(next()->iconSize(), QSize(32, 32));
    EXPECT_FALSE(next()->icon().isNull());
}

TEST_F(Training, NextShowsTheKeyboardFocusFromTheStart) {
    fiveItems();
    start();
    ASSERT_TRUE(QTest::qWaitForWindowActive(training()));
    ASSERT_TRUE(next()->hasFocus());
    // No key has moved the focus yet: the frame must be there all the same.
    const QImage focused = next()->grab().toImage();
    count()->setFocus();
    ASSERT_FALSE(next()->hasFocus());
    EXPECT_NE(next()->grab().toImage(), focused);
}

TEST_F(Training, OneItemWorkout) {
    writeItems({{QStringLiteral("腕立て伏せ"), QStringLiteral("30")}});
    start();
    ASSERT_TRUE(training());
    EXPECT_TRUE(training()->isVisible());
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_FALSE(label(1)->isHidden());
    for (int i = 2; i <= 20; ++i)
        EXPECT_TRUE(label(i)->isHidden()) << i;
    EXPECT_EQ(label(1)->text(), u"1.腕立て伏せ");
    EXPECT_EQ(textColor(label(1)), paletteColor(LightRed));
    EXPECT_EQ(next()->text(), u"終了");
    EXPECT_EQ(caption("lblKoumoku"), u"腕立て伏せ");
    EXPECT_EQ(caption("lblKaisu"), u"30");
    EXPECT_EQ(count()->text(), u"30");
    EXPECT_EQ(bar()->value(), 30);

    next()->click();
    settle();
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")),
              QStringList{record(QStringLiteral("30"))});
    ASSERT_TRUE(settings());
    EXPECT_FALSE(training());
}

TEST_F(Training, TwentyItemsFillEveryLabel) {
    QList<QPair<QString, QString>> items;
    for (int i = 1; i <= 20; ++i)
        items.append({QStringLiteral("項目%1").arg(i), QString::number(i)});
    writeItems(items);
    start();
    for (int i = 1; i <= 20; ++i) {
        EXPECT_FALSE(label(i)->isHidden()) << i;
        EXPECT_EQ(label(i)->text(), QStringLiteral("%1.項目%1").arg(i));
        // Light red (255, 0, 0) for the current item, bright white for the others.
        EXPECT_EQ(textColor(label(i)), i == 1 ? QColor(255, 0, 0) : QColor(255, 255, 255)) << i;
    }
    // The last label ends 150 twips above the bottom of the frame.
    const QRect frame = find<QGroupBox>(QStringLiteral("Frame1"))->geometry();
    EXPECT_EQ(frame.height() - label(20)->geometry().bottom() - 1, twips(150));
}

TEST_F(Training, MoreThanTwentyItemsScrollTheLabelsAndReachEveryItem) {
    QList<QPair<QString, QString>> items;
    for (int i = 1; i <= 25; ++i)
        items.append({QStringLiteral("i%1").arg(i), QString::number(i)});
    writeItems(items);
    start();
    EXPECT_EQ(label(20)->text(), u"20.i20");
    training()->CurrentItem = 21;
    training()->ShowItem(21);
    EXPECT_EQ(label(20)->text(), u"21.i21");
    EXPECT_EQ(label(1)->text(), u"2.i2");
    EXPECT_EQ(textColor(label(20)), paletteColor(LightRed));
    EXPECT_EQ(caption("lblKoumoku"), u"i21");
    training()->CurrentItem = 25;
    training()->ShowItem(25);
    next()->click();
    settle();
    EXPECT_EQ(historyLines(QStringLiteral("i25")), QStringList{record(QStringLiteral("25"))});
    EXPECT_TRUE(settings());
    EXPECT_EQ(dir.read(QStringLiteral("項目一覧.txt")).count('\n'), 25);
}

TEST_F(Training, NameLengthChoosesTheFontSize) {
    const QList<QPair<int, double>> tiers = {{0, 16},  {1, 65},  {5, 65},  {6, 48},
                                             {8, 48},  {9, 36},  {10, 36}, {11, 28},
                                             {14, 28}, {15, 22}, {18, 22}, {19, 16}};
    for (const auto& [length, points] : tiers)
        EXPECT_EQ(frmMain::nameFontPoints(QString(length, u'あ')), points) << length;
    writeItems({{QString(9, u'あ'), QStringLiteral("1")}});
    start();
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblKoumoku"))->font().pointSizeF(), 36);
}

TEST_F(Training, EveryNameStaysWhollyVisibleInItsTier) {
    // The longest name of each tier in full-width characters, and one seen cut in two lines.
    const QList<QString> names = {QString(5, u'ア'),  QStringLiteral("ベンチプレス８回"),
                                  QString(8, u'ア'),  QString(10, u'ア'),
                                  QString(14, u'ア'), QString(18, u'ア'),
                                  QString(40, u'ア')};
    QList<QPair<QString, QString>> items;
    for (const QString& name : names)
        items.append({name, QStringLiteral("10")});
    writeItems(items);
    start();
    auto* label = find<QLabel>(QStringLiteral("lblKoumoku"));
    for (const QString& name : names) {
        ASSERT_EQ(label->text(), name);
        EXPECT_TRUE(drawnWhole(label)) << name.size() << " characters";
        // The tier is the label's font; only the drawing shrinks.
        EXPECT_EQ(label->font().pointSizeF(), frmMain::nameFontPoints(name));
        next()->click();
    }
}

TEST_F(Training, NextRecordsRewritesAndPresentsTheNextItem) {
    fiveItems();
    const QByteArray list = cp932(QStringLiteral("\"腕立て伏せ\",30\r\n\"スクワット\",20\r\n"
                                                 "\"腹筋\",15\r\n\"背筋\",10\r\n\"懸垂\",5\r\n"));
    start();
    next()->click(); // item 1 at its target
    count()->setText(QStringLiteral("30"));
    next()->click(); // item 2 with 30
    EXPECT_EQ(historyLines(QStringLiteral("スクワット")),
              QStringList{record(QStringLiteral("30"))});
    EXPECT_EQ(dir.read(QStringLiteral("項目一覧.txt")), list);
    EXPECT_EQ(training()->CurrentItem, 3);
    EXPECT_EQ(textColor(label(2)), paletteColor(BrightWhite));
    EXPECT_EQ(textColor(label(3)), paletteColor(LightRed));
    EXPECT_EQ(caption("lblKoumoku"), u"腹筋");
    EXPECT_EQ(caption("lblKaisu"), u"15");
    EXPECT_EQ(bar()->value(), 15);
    EXPECT_EQ(count()->text(), u"15");
    EXPECT_EQ(training()->backColor(), training()->palette().color(QPalette::Button));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(Training, CountsBelowOneNeedConfirmation) {
    fiveItems();
    start();
    const QByteArray before = dir.snapshot();
    count()->clear();
    dialogs.queue(Dialogs::Answer::Cancel);
    next()->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    const Shown box = dialogs.shown().first();
    EXPECT_EQ(box.title, u"確認");
    EXPECT_EQ(box.text, u"回数ゼロで次へ進もうとしていますがよろしいいですか？");
    EXPECT_EQ(box.icon, Dialogs::Icon::Warning);
    EXPECT_EQ(box.buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_EQ(training()->CurrentItem, 1);
    EXPECT_EQ(app->FlashColor, 0);

    next()->click(); // OK this time: 0 is recorded
    count()->setText(QStringLiteral("0.5"));
    next()->click();
    count()->setText(QStringLiteral("-3"));
    next()->click();
    count()->setText(QStringLiteral("abc"));
    next()->click();
    EXPECT_EQ(dialogs.shown().size(), 5);
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")), QStringList{record(QStringLiteral("0"))});
    EXPECT_EQ(historyLines(QStringLiteral("スクワット")),
              QStringList{record(QStringLiteral("0.5"))});
    EXPECT_EQ(historyLines(QStringLiteral("腹筋")), QStringList{record(QStringLiteral("-3"))});
    EXPECT_EQ(historyLines(QStringLiteral("背筋")), QStringList{record(QStringLiteral("0"))});
}

TEST_F(Training, CancelledConfirmationPutsTheFocusInTheCountEntry) {
    fiveItems();
    start();
    training()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(training()));
    EXPECT_EQ(QApplication::focusWidget(), next());
    count()->clear();
    dialogs.queue(Dialogs::Answer::Cancel);
    next()->click();
    EXPECT_EQ(QApplication::focusWidget(), count());
}

TEST_F(Training, CaptionsForTwoItemsAndTheEndOfTheWorkout) {
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    start();
    EXPECT_EQ(next()->text(), u"次へ");
    next()->click();
    EXPECT_EQ(next()->text(), u"終わり");
    next()->click();
    settle();
    EXPECT_TRUE(settings());
    EXPECT_EQ(historyLines(QStringLiteral("B")), QStringList{record(QStringLiteral("2"))});
}

TEST_F(Training, ScrollBarDrivesTheCountEntryButNotTheReverse) {
    fiveItems();
    start();
    count()->setText(QStringLiteral("typed"));
    bar()->setValue(25);
    EXPECT_EQ(count()->text(), u"25");
    count()->setText(QStringLiteral("40"));
    EXPECT_EQ(bar()->value(), 25);
    next()->click();
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")),
              QStringList{record(QStringLiteral("40"))});
    // Dragging the thumb updates the text as it moves.
    bar()->setSliderDown(true);
    bar()->setSliderPosition(77);
    EXPECT_EQ(count()->text(), u"77");
    bar()->setSliderDown(false);
}

TEST_F(Training, EnterInTheCountEntryWorksAsNextAndOtherKeysReachTheText) {
    fiveItems();
    start();
    count()->clear();
    typeText(count(), QStringLiteral("12回"));
    EXPECT_EQ(count()->text(), u"12回");
    QTest::keyClick(count(), Qt::Key_Return);
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")),
              QStringList{record(QStringLiteral("12"))});
    count()->clear();
    QTest::keyClick(count(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(dialogs.shown().size(), 1); // the same confirmation a click would bring
    EXPECT_EQ(dialogs.shown().first().title, u"確認");
}

TEST_F(Training, AWholeWorkoutByEnterAlone) {
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    start();
    // A held-down Enter repeats: the repeats do nothing.
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
                       true);
    QApplication::sendEvent(next(), &repeated);
    EXPECT_EQ(training()->CurrentItem, 1);
    EXPECT_FALSE(dir.exists(QStringLiteral("A.txt")));
    QTest::keyClick(next(), Qt::Key_Return);
    QTest::keyClick(next(), Qt::Key_Space);
    settle();
    EXPECT_TRUE(settings());
    EXPECT_EQ(historyLines(QStringLiteral("A")), QStringList{record(QStringLiteral("1"))});
    EXPECT_EQ(historyLines(QStringLiteral("B")), QStringList{record(QStringLiteral("2"))});
}

TEST_F(Training, TargetsTheScrollBarCannotHold) {
    writeItems({{QStringLiteral("zero"), QStringLiteral("0")},
                {QStringLiteral("negative"), QStringLiteral("-5")},
                {QStringLiteral("large"), QStringLiteral("5000")},
                {QStringLiteral("again"), QStringLiteral("1000")},
                {QStringLiteral("none"), QStringLiteral("0")}});
    start();
    EXPECT_EQ(count()->text(), QString()); // the bar already stood at 0
    EXPECT_EQ(bar()->value(), 0);
    dialogs.queue(Dialogs::Answer::Ok);
    next()->click();
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_EQ(count()->text(), u"-5");
    EXPECT_EQ(caption("lblKaisu"), u"-5");
    dialogs.queue(Dialogs::Answer::Ok);
    next()->click();
    EXPECT_EQ(bar()->value(), 1000);
    EXPECT_EQ(count()->text(), u"5000");
    next()->click();
    EXPECT_EQ(historyLines(QStringLiteral("large")), QStringList{record(QStringLiteral("5000"))});
    EXPECT_EQ(count()->text(), u"1000");
    next()->click();
    EXPECT_EQ(count()->text(), QString()); // after a Next too: no 0 from the bar going back
}

TEST_F(Training, ALongTargetIsDrawnSmallerToFit) {
    writeItems({{QStringLiteral("A"), QStringLiteral("30")},
                {QStringLiteral("B"), QStringLiteral("-32768")}});
    start();
    auto* target = find<FittingLabel>(QStringLiteral("lblKaisu"));
    EXPECT_EQ(target->fittedFont().pointSizeF(), 150);
    next()->click();
    EXPECT_EQ(target->text(), u"-32768");
    EXPECT_EQ(target->font().pointSizeF(), 150);
    EXPECT_LT(target->fittedFont().pointSizeF(), 150);
    EXPECT_LE(QFontMetrics(target->fittedFont()).horizontalAdvance(target->text()),
              target->width());
    EXPECT_TRUE(drawnWhole(target));
}

TEST_F(Training, AFourDigitTargetIsDrawnWholeAtTheLargestSizeThatFits) {
    // At 150 pt four digits of the Gothic face here are wider than the label (about 500 of
    // its 448 pixels): they are drawn whole, a little smaller, never cut. Three stay at 150.
    writeItems({{QStringLiteral("A"), QStringLiteral("999")},
                {QStringLiteral("B"), QStringLiteral("1000")}});
    start();
    auto* target = find<FittingLabel>(QStringLiteral("lblKaisu"));
    EXPECT_EQ(target->fittedFont().pointSizeF(), 150);
    next()->click();
    ASSERT_EQ(target->text(), u"1000");
    const QFont fitted = target->fittedFont();
    QFont larger = fitted;
    larger.setPointSizeF(fitted.pointSizeF() + 1);
    EXPECT_LE(QFontMetrics(fitted).horizontalAdvance(target->text()), target->width());
    EXPECT_GT(QFontMetrics(larger).horizontalAdvance(target->text()), target->width());
    EXPECT_GE(fitted.pointSizeF(), 120);
    EXPECT_TRUE(drawnWhole(target));
}

TEST_F(Training, ATargetTooWideForTheCountEntryShowsItsBeginning) {
    writeItems({{QStringLiteral("A"), QStringLiteral("-32768")}});
    start();
    ASSERT_EQ(count()->text(), u"-32768");
    // The box scrolls to keep the cursor in view: at the end it showed "2768".
    EXPECT_EQ(count()->cursorPosition(), 0);
}

TEST_F(Training, FlashColoursContinueFromOneWorkoutToTheNext) {
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    start();
    QColor during;
    QTimer::singleShot(40, [&] { during = training()->backColor(); });
    next()->click();
    EXPECT_EQ(during, QColor(0, 0, 0)); // colour 0, black
    EXPECT_EQ(training()->backColor(), training()->palette().color(QPalette::Button));
    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();

    // One-item workouts: Next ends each at once, and the colour due still moves on.
    writeItems({{QStringLiteral("A"), QStringLiteral("1")}});
    const QList<int> expected = {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2};
    QList<int> seen;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        settings()->cmdAgain_Click();
        settle();
        seen.append(app->FlashColor);
        next()->click();
        settle();
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(Training, LeavingKeepsWhatWasRecordedAndWritesNothingMore) {
    fiveItems();
    start();
    next()->click();
    next()->click();
    const QByteArray before = dir.snapshot();
    find<PictureButton>(QStringLiteral("cmdCut"))->click();
    settle();
    EXPECT_TRUE(settings());
    EXPECT_EQ(dir.snapshot(), before);
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")).size(), 1);
    EXPECT_EQ(historyLines(QStringLiteral("スクワット")).size(), 1);
    EXPECT_FALSE(dir.exists(QStringLiteral("腹筋.txt")));
    settings()->cmdAgain_Click();
    settle();
    EXPECT_EQ(training()->CurrentItem, 1);
}

TEST_F(Training, ClicksDuringTheFlashAreIgnored) {
    fiveItems();
    start();
    int extra = 0;
    QTimer::singleShot(30, [&] {
        next()->click();
        QTest::keyClick(count(), Qt::Key_Return);
        ++extra;
    });
    next()->click();
    EXPECT_EQ(extra, 1);
    EXPECT_EQ(training()->CurrentItem, 2);
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")).size(), 1);
    EXPECT_FALSE(dir.exists(QStringLiteral("スクワット.txt")));
}

TEST_F(Training, ClosingOrLeavingDuringTheFlashIsSafe) {
    fiveItems();
    start();
    QTimer::singleShot(30, [&] { find<PictureButton>(QStringLiteral("cmdCut"))->click(); });
    next()->click();
    settle();
    EXPECT_TRUE(settings());
    EXPECT_FALSE(ended);

    settings()->cmdAgain_Click();
    settle();
    QTimer::singleShot(30, [&] {
        training()->close();
        settle();
    });
    next()->click();
    settle();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(app->window());
}

TEST_F(Training, FileErrorsWhileRecording) {
    fiveItems();
    start();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("腕立て伏せ.txt")));
    count()->setText(QStringLiteral("33"));
    next()->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().first().title, u"書き込みエラー");
    EXPECT_EQ(dialogs.shown().first().text,
              notWritten(QStringLiteral("腕立て伏せ.txt"), QStringLiteral("フォルダーです")));
    EXPECT_EQ(training()->CurrentItem, 1);
    EXPECT_EQ(count()->text(), u"33");
    EXPECT_EQ(app->FlashColor, 0);

    // The record is made but the item list cannot be replaced: warn and carry on.
    ASSERT_TRUE(QDir().rmdir(QStringLiteral("腕立て伏せ.txt")));
    ASSERT_TRUE(QFile::remove(QStringLiteral("項目一覧.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("項目一覧.txt")));
    dialogs.clear();
    next()->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(
        dialogs.shown().first().text,
        notRead(QStringLiteral("項目一覧.txt"), QStringLiteral("通常のファイルではありません")));
    EXPECT_EQ(historyLines(QStringLiteral("腕立て伏せ")),
              QStringList{record(QStringLiteral("33"))});
    EXPECT_EQ(training()->CurrentItem, 2);
}

} // namespace

namespace {

// A sync tool replaces the item list under a running workout: the record is kept, the user
// is told how the list changed, and the workout goes on with the new list after the item
// just recorded, whatever moved around it.
TEST_F(Training, AWorkoutGoesOnWithAListChangedUnderIt) {
    writeItems({{QStringLiteral("A"), QStringLiteral("1")},
                {QStringLiteral("B"), QStringLiteral("2")},
                {QStringLiteral("C"), QStringLiteral("3")}});
    start();
    app->flashSeconds = 0;
    // Another computer put X before A and took C away.
    dir.bringIn(QStringLiteral("項目一覧.txt"), "\"X\",9\r\n\"A\",1\r\n\"B\",2\r\n");
    next()->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"項目一覧の変更");
    EXPECT_EQ(dialogs.shown()[0].text,
              u"項目一覧（項目一覧.txt）がほかで変更されていたため、読み込み直しました。\r\n\r\n"
              u"追加された項目：X\r\n削除された項目：C\r\n\r\n"
              u"回数は記録しました。トレーニングは変更後の項目で続けます。");
    EXPECT_EQ(historyLines(QStringLiteral("A")), QStringList{record(QStringLiteral("1"))});
    EXPECT_EQ(dir.read(QStringLiteral("項目一覧.txt")), "\"X\",9\r\n\"A\",1\r\n\"B\",2\r\n");
    // After A comes B, the last item now; the labels show the new list.
    EXPECT_EQ(training()->CurrentItem, 3);
    EXPECT_EQ(caption("lblKoumoku"), u"B");
    EXPECT_EQ(next()->text(), u"終わり");
    EXPECT_EQ(label(1)->text(), u"1.X");
    EXPECT_FALSE(label(4)->isVisible());
    EXPECT_EQ(textColor(label(3)), paletteColor(LightRed));
    EXPECT_EQ(textColor(label(2)), paletteColor(BrightWhite));
    // B itself taken away while it was on screen: its set is kept, and the item now at its
    // place comes next.
    dir.bringIn(QStringLiteral("項目一覧.txt"), "\"X\",9\r\n\"A\",1\r\n\"C\",3\r\n\"D\",4\r\n");
    next()->click();
    EXPECT_EQ(historyLines(QStringLiteral("B")).size(), 1);
    ASSERT_EQ(training()->CurrentItem, 3);
    EXPECT_EQ(caption("lblKoumoku"), u"C");
    // C now twice, one on each side as near: the earlier one counts as the one recorded.
    dir.bringIn(QStringLiteral("項目一覧.txt"), "\"X\",9\r\n\"C\",3\r\n\"Y\",1\r\n\"C\",3\r\n");
    next()->click();
    ASSERT_EQ(training()->CurrentItem, 3);
    EXPECT_EQ(caption("lblKoumoku"), u"Y");
    next()->click();
    next()->click();
    settle();
    EXPECT_TRUE(settings()); // the second C was the last
}

} // namespace
