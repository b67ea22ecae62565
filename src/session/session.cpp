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

QString Session::shownName(const QString& name) {
    QString text = visible(name);
    if (text.size() <= ShownNameMax)
        return text;
    // Both ends of a name tell it apart best; a surrogate pair is never cut in two.
    qsizetype head = ShownNameMax / 2;
    qsizetype tail = ShownNameMax - head - 1;
    if (text.at(head - 1).isHighSurrogate())
        --head;
    if (text.at(text.size() - tail).isLowSurrogate())
        --tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}

void Session::tellHistoriesWithoutItem(QWidget* parent, const QStringList& names) {
    if (names.isEmpty())
        return;
    QStringList lines;
    for (const QString& name : names)
        lines.append(
            QStringLiteral("・%1（%2）").arg(shownName(name), shownName(historyFileName(name))));
    dialogs_.notice(
        parent,
        QStringLiteral("次の履歴ファイルには記録がありますが、その名前の項目が項目一覧にありません"
                       "（ほかのコンピューターで削除された項目に、このコンピューターで記録して"
                       "いて同期ツールが履歴を戻したときや、項目名を変えたときなど）。\r\n\r\n") +
            lines.join(QStringLiteral("\r\n")) +
            QStringLiteral("\r\n\r\n記録はそのまま残っています。見るには、同じ名前で項目を"
                           "登録して下さい（履歴はその項目のものになります）。"
                           "このお知らせは、同じ履歴については一度だけです。"),
        QStringLiteral("項目のない履歴"));
}

QString Session::changeText(const ListChange& change) {
    QString text = QStringLiteral("項目一覧（%1）がほかで変更されていたため、読み込み直しました。")
                       .arg(ItemListFileName);
    QStringList lines;
    const auto names = [](const QStringList& list) {
        QStringList shown;
        for (const QString& name : list)
            shown.append(shownName(name));
        return shown.join(QStringLiteral("、"));
    };
    if (!change.added.isEmpty())
        lines.append(QStringLiteral("追加された項目：") + names(change.added));
    if (!change.removed.isEmpty())
        lines.append(QStringLiteral("削除された項目：") + names(change.removed));
    QStringList targets;
    for (const ListChange::Target& target : change.targets)
        targets.append(QStringLiteral("%1（%2 → %3）")
                           .arg(shownName(target.name))
                           .arg(target.before)
                           .arg(target.after));
    if (!targets.isEmpty())
        lines.append(QStringLiteral("指示数が変わった項目：") + targets.join(QStringLiteral("、")));
    if (lines.isEmpty())
        lines.append(QStringLiteral("項目の並びが変わりました。"));
    text += QStringLiteral("\r\n\r\n") + lines.join(QStringLiteral("\r\n"));
    switch (change.then) {
    case ListChange::Then::Recorded:
        text +=
            QStringLiteral("\r\n\r\n回数は記録しました。トレーニングは変更後の項目で続けます。");
        break;
    case ListChange::Then::TryAgain:
        text += QStringLiteral("\r\n\r\n変更後の項目で、もう一度操作して下さい。");
        break;
    case ListChange::Then::Noted:
        break;
    }
    return text;
}

bool Session::report(QWidget* parent, const Outcome& outcome) {
    if (outcome.listChanged)
        dialogs_.warning(parent, changeText(*outcome.listChanged),
                         QStringLiteral("項目一覧の変更"));
    for (const FileProblem& problem : outcome.warnings)
        report(parent, problem);
    return outcome.done;
}

bool Session::report(QWidget* parent, const Step& step) {
    Outcome outcome;
    outcome.done = outcome.take(step);
    return report(parent, outcome);
}

void Session::reportMerged(QWidget* parent, const DataDir::Merged& merged) {
    // Nothing merged: told as any other outcome (a list the tool replaced meanwhile included).
    if (!merged.done) {
        report(parent, static_cast<const Outcome&>(merged));
        return;
    }
    // One box for the merge: how the list changed is part of what it says.
    for (const FileProblem& problem : merged.warnings)
        report(parent, problem);
    QStringList lines;
    for (const DataDir::Merged::History& history : merged.histories)
        lines.append(history.added > 0
                         ? QStringLiteral("・%1：%2 から記録 %3 件を加えました")
                               .arg(visible(history.original), visible(history.copy))
                               .arg(history.added)
                         : QStringLiteral("・%1：%2 の記録はすべてありました")
                               .arg(visible(history.original), visible(history.copy)));
    if (!merged.listCopy.isEmpty()) {
        QStringList added;
        for (const QString& name : merged.itemsAdded)
            added.append(shownName(name));
        lines.append(added.isEmpty() ? QStringLiteral("・%1：%2 の項目はすべてありました")
                                           .arg(ItemListFileName, visible(merged.listCopy))
                                     : QStringLiteral("・%1：%2 から項目 %3 を加えました")
                                           .arg(ItemListFileName, visible(merged.listCopy),
                                                added.join(QStringLiteral("、"))));
        if (!merged.itemsLeftOut.isEmpty()) {
            QStringList left;
            for (const QString& name : merged.itemsLeftOut)
                left.append(shownName(name));
            lines.append(QStringLiteral("　２０項目を超えるため加えなかった項目：") +
                         left.join(QStringLiteral("、")));
        }
        QStringList targets;
        for (const ListChange::Target& target : merged.targetsDiffer)
            targets.append(QStringLiteral("%1（この一覧 %2、競合コピー %3）")
                               .arg(shownName(target.name))
                               .arg(target.before)
                               .arg(target.after));
        if (!targets.isEmpty())
            lines.append(QStringLiteral("　指示数が違う項目（変えていません）：") +
                         targets.join(QStringLiteral("、")));
    }
    if (merged.listChanged)
        lines.append(QStringLiteral("\r\n") + changeText(*merged.listChanged));
    dialogs_.notice(parent,
                    QStringLiteral("同期ツールが作った競合コピーを統合しました。\r\n\r\n") +
                        lines.join(QStringLiteral("\r\n")) +
                        QStringLiteral("\r\n\r\n競合コピーは「%1」フォルダーに移しました。")
                            .arg(DataDir::MergedCopiesFolder),
                    QStringLiteral("同期の競合コピーの統合"));
}

void Session::report(QWidget* parent, const FileProblem& problem) {
    using Action = FileProblem::Action;
    // A path is shown whole; an item's name read from the list may be of any length.
    const bool item = problem.action == FileProblem::Action::UnusableName ||
                      problem.action == FileProblem::Action::LeftAlone;
    const QString name = item ? shownName(problem.fileName) : visible(problem.fileName);
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
