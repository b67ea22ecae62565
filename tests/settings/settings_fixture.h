#pragma once

#include "settings/frmsettei.h"
#include "support/app_fixture.h"
#include "widgets/picture_button.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>

// The settings window as it opens after the start-up's "項目無し", or after a workout.
class Settings : public AppTest {
protected:
    // Opens the settings window over the items in the item list file.
    void open() {
        start();
        if (training()) {
            find<PictureButton>(QStringLiteral("cmdCut"))->click();
            settle();
        }
        dialogs.clear();
        ASSERT_TRUE(settings());
    }
    void press(const char* name) { find<PictureButton>(QString::fromLatin1(name))->click(); }
    QListWidget* items() { return find<QListWidget>(QStringLiteral("lstKoumoku")); }
    QComboBox* combo() { return find<QComboBox>(QStringLiteral("cboKoumoku")); }
    QLineEdit* nameBox() { return find<QLineEdit>(QStringLiteral("txtKoumoku")); }
    QLineEdit* targetBox() { return find<QLineEdit>(QStringLiteral("txtKaisu")); }
    QString total() { return find<QLabel>(QStringLiteral("lblGoukei"))->text(); }
    QStringList lines() {
        QStringList result;
        const QAbstractItemModel* model = find<QListView>(QStringLiteral("lstRireki"))->model();
        for (int i = 0; i < model->rowCount(); ++i)
            result.append(model->index(i, 0).data().toString());
        return result;
    }
    QStringList entries(QListWidget* list) {
        QStringList result;
        for (int i = 0; i < list->count(); ++i)
            result.append(list->item(i)->text());
        return result;
    }
    QStringList entries(QComboBox* box) {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result.append(box->itemText(i));
        return result;
    }
    void select(int row) { items()->setCurrentRow(row); }
    void pick(int row) {
        combo()->setCurrentIndex(row);
        emit combo()->activated(row);
    }
    void threeItems() {
        writeItems({{QStringLiteral("腕立て伏せ"), QStringLiteral("30")},
                    {QStringLiteral("スクワット"), QStringLiteral("-20")},
                    {QStringLiteral("腹筋"), QStringLiteral("15")}});
        writeHistory(QStringLiteral("腕立て伏せ"),
                     {QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("5")});
        writeHistory(QStringLiteral("スクワット"), {QStringLiteral("abc"), QStringLiteral("7")});
    }
};
