#include "widgets/geometry.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

QStringList gothicFamilies() {
    const QStringList preferred = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                   QStringLiteral("IPAPGothic"),
                                   QStringLiteral("Noto Sans CJK JP")};
    // Only the family found is named: every family of a list that is missing costs a search
    // for its substitutes each time a size of it is first used.
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferred)
        if (installed.contains(family))
            return {family};
    return preferred;
}

} // namespace

QFont gothicFont(double points) {
    static const QStringList families = gothicFamilies();
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
