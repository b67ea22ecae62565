#include "support/printers.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Acts on the modal box as soon as it is up.
template <typename Box> void whenShown(std::function<void(Box*)> action) {
    QTimer::singleShot(0, [action] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<Box*>(widget); box && box->isVisible()) {
                action(box);
                return;
            }
        }
        ADD_FAILURE() << "no box shown";
    });
}

TEST(QtDialogs, ConfirmationTakesEnterForOkAndEscapeForCancel) {
    QtDialogs dialogs;
    QStringList captions;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), u"確認");
        EXPECT_EQ(box->text(), u"よろしいですか？");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        for (QAbstractButton* button : box->buttons())
            captions.append(button->text());
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.message(nullptr, QStringLiteral("よろしいですか？"), QStringLiteral("確認"),
                              Dialogs::Icon::Warning, Dialogs::Buttons::OkCancel),
              Dialogs::Answer::Ok);
    captions.sort();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));

    whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.confirm(nullptr, QStringLiteral("x"), QStringLiteral("確認")));
}

TEST(QtDialogs, NoticeHasOneOkButtonAndTheInformationIcon) {
    QtDialogs dialogs;
    whenShown<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(box->text(), u"一行目\n二行目"); // CR LF shows as a line break
        QTest::keyClick(box, Qt::Key_Escape);
    });
    dialogs.notice(nullptr, QStringLiteral("一行目\r\n二行目"), QStringLiteral("t"));
}

TEST(QtDialogs, ABoxIsNeverTallerThanTheScreenAndALineTooLongIsCutInTheMiddle) {
    QtDialogs dialogs;
    for (const QString& text :
         {QStringLiteral("項目「") + QString(1 << 20, u'a') + QStringLiteral("」の名前\r\n二行目"),
          QStringLiteral("行\r\n").repeated(5000)}) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            EXPECT_LE(box->frameGeometry().height(), box->screen()->availableGeometry().height());
            EXPECT_LT(box->text().size(), 10000);
            if (text.startsWith(u"項目")) { // both ends of the line, and the next line whole
                EXPECT_TRUE(box->text().startsWith(u"項目「aaa"));
                EXPECT_TRUE(box->text().endsWith(u"aaa」の名前\n二行目"));
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        dialogs.notice(nullptr, text, QStringLiteral("t"));
    }
}

TEST(QtDialogs, InputBoxGivesTheTextOrTheEmptyTextOnCancel) {
    QtDialogs dialogs;
    whenShown<QInputDialog>([](QInputDialog* box) {
        EXPECT_EQ(box->windowTitle(), u"項目名入力");
        EXPECT_EQ(box->labelText(), u"項目名は何ですか？");
        EXPECT_EQ(box->textValue(), QString());
        box->setTextValue(QStringLiteral("腕立て伏せ"));
        box->accept();
    });
    EXPECT_EQ(
        dialogs.input(nullptr, QStringLiteral("項目名は何ですか？"), QStringLiteral("項目名入力")),
        u"腕立て伏せ");
    whenShown<QInputDialog>([](QInputDialog* box) {
        box->setTextValue(QStringLiteral("typed"));
        box->reject();
    });
    EXPECT_EQ(dialogs.input(nullptr, QStringLiteral("p"), QStringLiteral("t")), QString());
}

} // namespace
