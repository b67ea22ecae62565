#include "dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString OkText = QStringLiteral("OK");
const QString CancelText = QStringLiteral("キャンセル");

// A hidden window (the training window before it is shown) cannot carry a box.
QWidget* visibleOrNull(QWidget* parent) {
    return parent && parent->isVisible() ? parent : nullptr;
}

} // namespace

Dialogs::Answer QtDialogs::message(QWidget* parent, const QString& text, const QString& title,
                                   Icon icon, Buttons buttons) {
    // Texts join their lines with CR LF; a box shows LF alone as the line break.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::Information, title,
                    shown, QMessageBox::NoButton, visibleOrNull(parent));
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(OkText, QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (buttons == Buttons::OkCancel)
        cancel = box.addButton(CancelText, QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel ? cancel : ok);
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

QString QtDialogs::input(QWidget* parent, const QString& prompt, const QString& title) {
    QInputDialog dialog(visibleOrNull(parent));
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(OkText);
    dialog.setCancelButtonText(CancelText);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}
