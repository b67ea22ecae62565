#include "scripted_dialogs.h"

#include <QWidget>
#include <gtest/gtest.h>

std::optional<ScriptedDialogs::Scripted> ScriptedDialogs::nextAnswer() {
    if (action_)
        std::exchange(action_, nullptr)();
    if (answers_.empty())
        return std::nullopt;
    Scripted answer = answers_.front();
    answers_.pop_front();
    return answer;
}

Dialogs::Answer ScriptedDialogs::message(QWidget* parent, const QString& text, const QString& title,
                                         Icon icon, Buttons buttons) {
    const QWidget* window = parent ? parent->window() : nullptr;
    shown_.append({Shown::Kind::Message, title, text, icon, buttons,
                   window && window->isVisible()
                       ? QString::fromLatin1(window->metaObject()->className())
                       : QString()});
    if (buttons == Buttons::Ok) { // nothing to choose: the box takes no scripted answer
        if (action_)
            std::exchange(action_, nullptr)();
        return Answer::Ok;
    }
    const auto answer = nextAnswer();
    if (!answer)
        return Answer::Ok;
    if (answer->isText) {
        ADD_FAILURE() << "a message box was answered with text: " << title.toStdString();
        return Answer::Cancel;
    }
    return answer->answer;
}

QString ScriptedDialogs::input(QWidget*, const QString& prompt, const QString& title) {
    shown_.append({Shown::Kind::Input, title, prompt, Icon::Information, Buttons::OkCancel, {}});
    const auto answer = nextAnswer();
    if (!answer)
        return {};
    if (!answer->isText && answer->answer == Answer::Ok)
        ADD_FAILURE() << "an input box was answered with OK and no text: " << title.toStdString();
    return answer->text;
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString& title, const QString& path,
                                      const QString&) {
    shown_.append({Shown::Kind::SaveFile, title, path, Icon::Information, Buttons::OkCancel, {}});
    const auto answer = nextAnswer();
    return answer && answer->isText ? answer->text : QString();
}

QStringList ScriptedDialogs::titles() const {
    QStringList result;
    for (const Shown& box : shown_)
        result.append(box.title);
    return result;
}
