#include "widgets/accessibility.h"

#include "widgets/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace {

constexpr char FigureName[] = "yarukinFigureName";

// A label that shows a figure: Qt would read the figure alone ("30"), or only a name set for
// it, which would hide the figure.
class FigureLabelAccessible : public QAccessibleWidget {
public:
    explicit FigureLabelAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        const QString name = widget()->property(FigureName).toString();
        const QString shown = static_cast<const QLabel*>(widget())->text();
        if (shown.isEmpty())
            return name;
        return shown.startsWith(name) ? shown : name + u'：' + shown;
    }
};

QAccessibleInterface* figureLabels(const QString& className, QObject* object) {
    // Asked for the most derived class first, before Qt's own factory answers for QLabel.
    if (className == QLatin1String(FittingLabel::staticMetaObject.className()) &&
        object->property(FigureName).isValid())
        return new FigureLabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

} // namespace

void nameControls(QWidget* window, std::initializer_list<AccessibleText> texts) {
    static const bool installed = (QAccessible::installFactory(figureLabels), true);
    Q_UNUSED(installed);
    for (const AccessibleText& text : texts) {
        auto* control = window->findChild<QWidget*>(QString::fromUtf16(text.control));
        Q_ASSERT_X(control, "nameControls", qPrintable(QString::fromUtf16(text.control)));
        if (!control)
            continue;
        if (text.description)
            control->setAccessibleDescription(QString::fromUtf16(text.description));
        if (!qobject_cast<FittingLabel*>(control)) {
            control->setAccessibleName(QString::fromUtf16(text.name));
            // On Linux Qt reads a combo box by its text; its edit field carries the name.
            if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
                combo->lineEdit()->setAccessibleName(QString::fromUtf16(text.name));
            continue;
        }
        control->setProperty(FigureName, QString::fromUtf16(text.name));
        // Its text, set as it was made, may have made Qt's reading of it already: let that go,
        // so that the next reading is made afresh.
        if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(control))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}
