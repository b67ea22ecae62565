#include "widgets/accessibility.h"

#include "widgets/controls.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace {

constexpr char FigureName[] = "yarukinFigureName";
constexpr char OwnRole[] = "yarukinRole";

// A label that shows a figure: Qt would read the figure alone ("30"), or only a name set for
// it, which would hide the figure.
class FigureLabelAccessible : public QAccessibleWidget {
public:
    explicit FigureLabelAccessible(QLabel* label, QAccessible::Role role)
        : QAccessibleWidget(label, role) {}

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

// A widget with a role of its own. A checkable button keeps what makes it one: its checked
// state, and its press.
class OwnRoleAccessible : public QAccessibleWidget {
public:
    OwnRoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget());
            button && button->isCheckable()) {
            state.checkable = true;
            state.checked = button->isChecked();
            state.pressed = button->isChecked();
        }
        return state;
    }
    QStringList actionNames() const override {
        if (qobject_cast<const QAbstractButton*>(widget()))
            return QStringList{pressAction()} + QAccessibleWidget::actionNames();
        return QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (auto* button = qobject_cast<QAbstractButton*>(widget());
            button && action == pressAction())
            button->click();
        else
            QAccessibleWidget::doAction(action);
    }
};

// A combo box read by its name, as its other controls are: on Linux Qt would read it by the
// entry it shows, which tells what was chosen but not what is chosen there.
class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        const auto* combo = static_cast<const QComboBox*>(widget());
        if (kind == QAccessible::Value)
            return combo->currentText();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.editable = static_cast<const QComboBox*>(widget())->isEditable();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            static_cast<QComboBox*>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* ownReadings(const QString& className, QObject* object) {
    // Asked for the most derived class first, before Qt's own factory answers for QLabel and
    // the others; answered once, for that class.
    if (!object || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    const QVariant role = object->property(OwnRole);
    if (auto* label = qobject_cast<QLabel*>(object);
        label && object->property(FigureName).isValid())
        return new FigureLabelAccessible(label, role.isValid() ? QAccessible::Role(role.toInt())
                                                               : QAccessible::StaticText);
    if (auto* combo = qobject_cast<QComboBox*>(object);
        combo && role.isValid() && role.toInt() == QAccessible::ComboBox)
        return new NamedComboAccessible(combo);
    if (auto* widget = qobject_cast<QWidget*>(object); widget && role.isValid())
        return new OwnRoleAccessible(widget, QAccessible::Role(role.toInt()));
    return nullptr;
}

void installReadings() {
    static const bool installed = (QAccessible::installFactory(ownReadings), true);
    Q_UNUSED(installed);
}

// A reading Qt may have made already, from what the widget was before: let it go, so that the
// next is made afresh.
void readAfresh(QWidget* widget) {
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace

void nameControls(QWidget* window, std::initializer_list<AccessibleText> texts) {
    installReadings();
    for (const AccessibleText& text : texts) {
        auto* control = window->findChild<QWidget*>(QString::fromUtf16(text.control));
        Q_ASSERT_X(control, "nameControls", qPrintable(QString::fromUtf16(text.control)));
        if (!control)
            continue;
        if (text.description)
            control->setAccessibleDescription(QString::fromUtf16(text.description));
        if (!qobject_cast<FittingLabel*>(control)) {
            control->setAccessibleName(QString::fromUtf16(text.name));
            // On Linux Qt reads a combo box by its text; it and its edit field carry the name.
            if (auto* combo = qobject_cast<QComboBox*>(control)) {
                if (combo->lineEdit())
                    combo->lineEdit()->setAccessibleName(QString::fromUtf16(text.name));
                control->setProperty(OwnRole, int(QAccessible::ComboBox));
                readAfresh(control);
            }
            continue;
        }
        control->setProperty(FigureName, QString::fromUtf16(text.name));
        readAfresh(control);
    }
}

void nameNews(QLabel* label, const QString& name, bool alert) {
    installReadings();
    label->setProperty(FigureName, name);
    if (alert)
        label->setProperty(OwnRole, int(QAccessible::AlertMessage));
    readAfresh(label);
}

void nameWidget(QWidget* widget, QAccessible::Role role, const QString& name) {
    installReadings();
    widget->setProperty(OwnRole, int(role));
    widget->setAccessibleName(name);
    readAfresh(widget);
}
