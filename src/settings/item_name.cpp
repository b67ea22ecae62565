#include "item_name.h"

#include "common/cp932.h"
#include "data/history.h"

#include <QFile>

namespace {

const QString BadCharacterTitle = QStringLiteral("使用できない文字");
const QString BadNameTitle = QStringLiteral("使用できない項目名");

constexpr qsizetype MaxFileNameBytes = 255;

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
    if (typed.contains(u'"'))
        return refuse(QStringLiteral("項目名に「\"」（ダブルクォーテーション）は使えません。"),
                      BadCharacterTitle);
    for (const QChar c : typed) {
        if (QStringView(u"/\\:*?<>|").contains(c))
            return refuse(QStringLiteral("項目名に次の文字は使えません。\r\n/ \\ : * ? < > |"),
                          BadCharacterTitle);
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return refuse(QStringLiteral("項目名に改行やタブなどの制御文字は使えません。"),
                          BadCharacterTitle);
    }
    const cp932::EncodeResult encoded = cp932::encode(typed);
    if (!encoded.bytes)
        return refuse(
            QStringLiteral("項目名の「%1」は保存できない文字です。").arg(encoded.offending),
            BadCharacterTitle);
    const QString name = cp932::decode(*encoded.bytes);
    if (name == QStringLiteral("項目一覧") || isReservedDeviceName(name))
        return refuse(QStringLiteral("「%1」は項目名に使えません。").arg(name), BadNameTitle);
    if (QFile::encodeName(historyFileName(name)).size() > MaxFileNameBytes)
        return refuse(QStringLiteral("項目名が長すぎます。もっと短い名前にして下さい。"),
                      QStringLiteral("項目名の長さ制限"));
    return {name, {}, {}};
}
