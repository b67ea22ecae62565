#include "widgets/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

const QString OkText = QStringLiteral("OK");
const QString CancelText = QStringLiteral("キャンセル");

// A hidden window (the training window before it is shown) cannot carry a box.
QWidget* visibleOrNull(QWidget* parent) {
    return parent && parent->isVisible() ? parent : nullptr;
}

// A message box wraps long lines early; give its text the width of its longest line, as far
// as the screen allows, so that each line of a message stays one line.
void keepLinesWhole(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    const QScreen* screen = box.screen();
    const int limit = screen ? screen->availableGeometry().width() * 3 / 4 : 800;
    label->setMinimumWidth(std::min(widest + 2, limit));
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
    keepLinesWhole(box, shown);
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

QString QtDialogs::saveFileName(QWidget* parent, const QString& title, const QString& path,
                                const QString& filter) {
    QFileDialog dialog(visibleOrNull(parent), title, path, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without its extension gets the filter's: "(*.csv)" gives ".csv".
    if (const qsizetype star = filter.indexOf(QStringLiteral("*.")); star >= 0)
        dialog.setDefaultSuffix(filter.mid(star + 2).section(u')', 0, 0).section(u' ', 0, 0));
    dialog.selectFile(path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
