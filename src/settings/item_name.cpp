#include "settings/item_name.h"

#include "base/cp932.h"
#include "data/history.h"

namespace {

const QString BadCharacterTitle = QStringLiteral("使用できない文字");
const QString BadNameTitle = QStringLiteral("使用できない項目名");

ItemNameCheck refuse(const QString& problem, const QString& title) {
    return {{}, problem, title};
}

bool isReservedDeviceName(const QString& name) {
    static const QStringList fixed = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    const QString upper = name.toUpper();
    if (fixed.contains(upper))
        return true;
    return upper.size() == 4 &&
           (upper.startsWith(QStringLiteral("COM")) || upper.startsWith(QStringLiteral("LPT"))) &&
           upper[3] >= u'1' && upper[3] <= u'9';
}

} // namespace

ItemNameCheck checkItemName(const QString& typed) {
    switch (historyNameProblem(typed).kind) {
    case NameProblem::Quote:
        return refuse(QStringLiteral("項目名に「\"」（ダブルクォーテーション）は使えません。"),
                      BadCharacterTitle);
    case NameProblem::ForbiddenCharacter:
        return refuse(QStringLiteral("項目名に次の文字は使えません。\r\n/ \\ : * ? < > |"),
                      BadCharacterTitle);
    case NameProblem::ControlCharacter:
        return refuse(QStringLiteral("項目名に改行やタブなどの制御文字は使えません。"),
                      BadCharacterTitle);
    default: // the name as it reads back is checked below
        break;
    }
    const cp932::EncodeResult encoded = cp932::encode(typed);
    if (!encoded.bytes)
        return refuse(
            QStringLiteral("項目名の「%1」は保存できない文字です。").arg(encoded.offending),
            BadCharacterTitle);
    const QString name = cp932::decode(*encoded.bytes);
    const NameProblem readBack = historyNameProblem(name);
    if (readBack.kind == NameProblem::ItemListName || isReservedDeviceName(name))
        return refuse(QStringLiteral("「%1」は項目名に使えません。").arg(name), BadNameTitle);
    if (readBack)
        return refuse(QStringLiteral("項目名が長すぎます。もっと短い名前にして下さい。"),
                      QStringLiteral("項目名の長さ制限"));
    return {name, {}, {}};
}
