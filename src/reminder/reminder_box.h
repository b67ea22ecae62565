#pragma once

#include "reminder/reminder.h"

#include <QDialog>
#include <functional>
#include <optional>

class Dialogs;
class QCheckBox;
class QLabel;
class QTimeEdit;

// The settings window's box for this computer's daily reminder on its data directory: on or
// off, the hour and the days. OK saves the choice and sets the timer by it (`apply`: nothing,
// or what failed); a failure is told and the box stays open.
class ReminderBox : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<std::optional<QString>(const reminder::Choice&)>;
    ReminderBox(QWidget* parent, const QString& dataDir, Dialogs& dialogs, Apply apply);

    static inline const QString Title = QStringLiteral("毎日の通知");

    // The choice the box shows now.
    reminder::Choice choice() const;
    void accept() override;

private:
    void enableChoices();

    QString dataDir_;
    Dialogs& dialogs_;
    Apply apply_;
    QCheckBox* on_ = nullptr;
    QTimeEdit* at_ = nullptr;
    QCheckBox* days_[7] = {};
};
