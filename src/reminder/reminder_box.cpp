#include "reminder/reminder_box.h"

#include "widgets/dialogs.h"
#include "widgets/window_style.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

ReminderBox::ReminderBox(QWidget* parent, const QString& dataDir, Dialogs& dialogs, Apply apply)
    : QDialog(parent), dataDir_(QDir(dataDir).absolutePath()), dialogs_(dialogs),
      apply_(std::move(apply)) {
    setWindowTitle(Title);
    setWindowIcon(programIcon());
    setObjectName(QStringLiteral("ReminderBox"));
    reminder::Choice shown;
    QString elsewhere;
    if (const Expected<reminder::Choice> saved = reminder::loadChoice(); !saved) {
        dialogs_.warning(parent,
                         QStringLiteral("毎日の通知の設定を読み込めませんでした。\r\n\r\n%1: %2")
                             .arg(saved.error().fileName, saved.error().reason),
                         Title);
    } else {
        shown = *saved;
        if (shown.on && !reminder::sameFolder(shown.dataDir, dataDir_)) {
            elsewhere = shown.dataDir;
            shown.on = false; // for this folder it is off
        }
    }

    on_ = new QCheckBox(QStringLiteral("このコンピューターで毎日の通知を使う(&N)"), this);
    on_->setObjectName(QStringLiteral("chkOn"));
    on_->setChecked(shown.on);
    at_ = new QTimeEdit(shown.at, this);
    at_->setObjectName(QStringLiteral("tmeAt"));
    at_->setDisplayFormat(QStringLiteral("HH:mm"));
    at_->setAccessibleName(QStringLiteral("時刻"));
    auto* atLabel = new QLabel(QStringLiteral("時刻(&T)："), this);
    atLabel->setBuddy(at_);
    auto* dayRow = new QHBoxLayout;
    const QString letters = QStringLiteral("月火水木金土日");
    for (int day = 0; day < 7; ++day) {
        days_[day] = new QCheckBox(letters.mid(day, 1), this);
        days_[day]->setObjectName(QStringLiteral("chkDay(%1)").arg(day + 1));
        days_[day]->setChecked(shown.days & (1u << day));
        dayRow->addWidget(days_[day]);
    }
    QString about = QStringLiteral("その日の項目がすべて済んでいれば通知しません。\n"
                                   "フォルダー：%1")
                        .arg(QDir::toNativeSeparators(dataDir_));
    if (!elsewhere.isEmpty())
        about += QStringLiteral("\nいまは別のフォルダー（%1）の通知を使っています。"
                                "ここで使うと、このフォルダーの通知に替わります。")
                     .arg(QDir::toNativeSeparators(elsewhere));
    auto* aboutLabel = new QLabel(about, this);
    aboutLabel->setObjectName(QStringLiteral("lblAbout"));
    aboutLabel->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->addWidget(on_, 0, 0, 1, 2);
    grid->addWidget(atLabel, 1, 0);
    grid->addWidget(at_, 1, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("曜日："), this), 2, 0);
    grid->addLayout(dayRow, 2, 1);
    grid->addWidget(aboutLabel, 3, 0, 1, 2);
    grid->addWidget(buttons, 4, 0, 1, 2);
    connect(on_, &QCheckBox::toggled, this, &ReminderBox::enableChoices);
    enableChoices();
}

void ReminderBox::enableChoices() {
    at_->setEnabled(on_->isChecked());
    for (QCheckBox* day : days_)
        day->setEnabled(on_->isChecked());
}

reminder::Choice ReminderBox::choice() const {
    reminder::Choice choice{on_->isChecked(), at_->time(), 0, dataDir_};
    for (int day = 0; day < 7; ++day)
        if (days_[day]->isChecked())
            choice.days |= quint8(1u << day);
    return choice;
}

void ReminderBox::accept() {
    reminder::Choice chosen = choice();
    if (chosen.on && chosen.days == 0) {
        dialogs_.warning(this, QStringLiteral("通知する曜日を選んで下さい"), Title);
        return;
    }
    if (!chosen.on) {
        // Off here leaves another folder's reminder as it is.
        const Expected<reminder::Choice> saved = reminder::loadChoice();
        if (saved && saved->on && !reminder::sameFolder(saved->dataDir, dataDir_)) {
            QDialog::accept();
            return;
        }
        if (!chosen.days)
            chosen.days = reminder::EveryDay;
    }
    if (const std::optional<QString> failed = apply_(chosen)) {
        dialogs_.warning(
            this, QStringLiteral("毎日の通知を設定できませんでした。\r\n\r\n%1").arg(*failed),
            Title);
        return;
    }
    QDialog::accept();
}
