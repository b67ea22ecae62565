#pragma once

#include "widgets/dialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

// Answers message and input boxes from a queue and records every box shown.
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        enum class Kind { Message, Input, SaveFile } kind;
        QString title;
        QString text; // the message, the input box's prompt, or the path a save box proposes
        Icon icon = Icon::Information;
        Buttons buttons = Buttons::Ok;
        QString over; // the class of the shown window the box comes over (frmSettei), if any
    };

    Answer message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override;
    QString input(QWidget* parent, const QString& prompt, const QString& title) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& path,
                         const QString& filter) override;

    // Queued answers are used in order by confirmations, input and save boxes (a box with only
    // OK takes none); with none queued a confirmation answers OK, the others Cancel.
    void queue(Answer answer) { answers_.push_back({answer, {}, false}); }
    void queue(const QString& text) { answers_.push_back({Answer::Ok, text, true}); }
    // Runs while the next box is shown, as a user acting behind a modal box would.
    void onNextBox(std::function<void()> action) { action_ = std::move(action); }

    const QList<Shown>& shown() const { return shown_; }
    QStringList titles() const;
    void clear() { shown_.clear(); }

private:
    struct Scripted {
        Answer answer;
        QString text;
        bool isText;
    };
    std::optional<Scripted> nextAnswer();

    QList<Shown> shown_;
    std::deque<Scripted> answers_;
    std::function<void()> action_;
};
