#include "widgets/dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
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
// as the screen allows, so that each line of a message stays one line. A line that would wrap
// beyond its share of the screen's height (a name of a megabyte in a hand-edited file) is cut
// in the middle, so that the box is never taller than the screen.
void fitToScreen(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const QFontMetrics metrics = label->fontMetrics();
    const QScreen* screen = box.screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // A message box is never wider than its own limit (the rule of QMessageBox), and its icon
    // and margins take their part: a label wider than the rest would be cut at the right.
    const int boxLimit = area.width() <= 1024 ? area.width() : std::min(area.width() - 480, 1000);
    int beside = 0;
    if (const auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        beside += icon->sizeHint().width();
    if (const auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        beside += grid->contentsMargins().left() + grid->contentsMargins().right() +
                  std::max(0, grid->horizontalSpacing()) * 2;
    const int limit = std::max(100, std::min(area.width() * 3 / 4, boxLimit) - beside);
    // The title, the icon's margins and the buttons take the rest of the height.
    const int rows = std::max(2, area.height() * 2 / 3 / metrics.lineSpacing());
    QStringList lines = text.split(u'\n');
    bool cut = lines.size() > rows;
    if (cut) {
        lines.resize(rows - 1);
        lines.append(QString(QChar(0x2026)));
    }
    const int share = std::max(1, rows / int(lines.size()));
    for (QString& line : lines) {
        // Measured only as long as a screen of rows could show it.
        constexpr qsizetype Longest = 4000;
        if (line.size() > Longest) {
            line = line.left(Longest / 2) + QChar(0x2026) + line.right(Longest / 2);
            cut = true;
        }
        if (metrics.horizontalAdvance(line) > share * limit) {
            line = metrics.elidedText(line, Qt::ElideMiddle, share * limit * 9 / 10);
            cut = true;
        }
    }
    if (cut)
        box.setText(lines.join(u'\n'));
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
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
    fitToScreen(box, shown);
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
