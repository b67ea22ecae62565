#pragma once

#include <QString>

class QWidget;

// Every message box and input box of the program goes through this interface, so that tests
// can answer them from a script.
class Dialogs {
public:
    enum class Icon { Information, Warning };
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    virtual ~Dialogs() = default;

    // A modal message box. With OK and Cancel, OK is the default; anything but OK (Cancel,
    // Escape, the close box) answers Cancel.
    virtual Answer message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                           Buttons buttons) = 0;

    // A modal input box with an empty field; Cancel gives the empty text.
    virtual QString input(QWidget* parent, const QString& prompt, const QString& title) = 0;

    // A modal box that asks where to save a file, proposing `path`; the path chosen, or the
    // empty text on Cancel. `filter` is in the form "CSV ファイル (*.csv)".
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& path,
                                 const QString& filter) = 0;

    // The three kinds of message the program shows.
    void notice(QWidget* parent, const QString& text, const QString& title) {
        message(parent, text, title, Icon::Information, Buttons::Ok);
    }
    void warning(QWidget* parent, const QString& text, const QString& title) {
        message(parent, text, title, Icon::Warning, Buttons::Ok);
    }
    bool confirm(QWidget* parent, const QString& text, const QString& title) {
        return message(parent, text, title, Icon::Warning, Buttons::OkCancel) == Answer::Ok;
    }
};

// The real boxes, with Japanese button captions.
class QtDialogs final : public Dialogs {
public:
    Answer message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override;
    QString input(QWidget* parent, const QString& prompt, const QString& title) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& path,
                         const QString& filter) override;
};
