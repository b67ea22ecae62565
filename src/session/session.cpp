#include "session/session.h"

#include "widgets/dialogs.h"

QString Session::visible(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    }
    return text;
}

bool Session::report(QWidget* parent, const Outcome& outcome) {
    for (const FileProblem& problem : outcome.warnings)
        report(parent, problem);
    return outcome.done;
}

void Session::report(QWidget* parent, const FileProblem& problem) {
    using Action = FileProblem::Action;
    const QString name = visible(problem.fileName);
    QString text;
    QString title = QStringLiteral("書き込みエラー");
    switch (problem.action) {
    case Action::Read:
        text = QStringLiteral("ファイル「%1」を読み込めませんでした。").arg(name);
        title = QStringLiteral("読み込みエラー");
        break;
    case Action::Write:
        text = QStringLiteral("ファイル「%1」に書き込めませんでした。").arg(name);
        break;
    case Action::Unconfirmed:
        text = QStringLiteral("ファイル「%1」への変更がディスクに保存されたことを確認"
                              "できませんでした。")
                   .arg(name);
        break;
    case Action::Remove:
        text = QStringLiteral("ファイル「%1」を削除できませんでした。").arg(name);
        break;
    case Action::UnusableName:
        text = QStringLiteral("項目「%1」の名前は履歴ファイルの名前に使えないため、"
                              "この項目の履歴は読み書きできません。")
                   .arg(name);
        title = QStringLiteral("使用できない項目名");
        break;
    case Action::LeftAlone:
        text = QStringLiteral("項目「%1」を削除しました。この名前は履歴ファイルの名前に"
                              "使えないため、ファイルには手を付けていません。")
                   .arg(name);
        title = QStringLiteral("使用できない項目名");
        break;
    }
    dialogs_.warning(parent, text + QStringLiteral("\r\n\r\n理由：") + problem.reason, title);
}
