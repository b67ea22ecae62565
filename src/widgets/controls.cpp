#include "widgets/controls.h"

#include "widgets/geometry.h"
#include "widgets/palette.h"
#include "widgets/picture_button.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

void ShadowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(paletteColor(Grey));
    painter.drawText(area.translated(1, 1), static_cast<int>(alignment()), text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, static_cast<int>(alignment()), text());
}

bool FittingLabel::fits(const QFont& font) const {
    const QRect box = contentsRect();
    const QFontMetrics metrics(font);
    if (!wordWrap())
        return metrics.horizontalAdvance(text()) <= box.width();
    const QRect needed =
        metrics.boundingRect(box, static_cast<int>(alignment()) | Qt::TextWordWrap, text());
    return needed.width() <= box.width() && needed.height() <= box.height();
}

QFont FittingLabel::fittedFont() const {
    if (fittedText_ == text() && fittedFor_ == font() && fittedSize_ == size())
        return fitted_;
    fittedText_ = text();
    fittedFor_ = font();
    fittedSize_ = size();
    fitted_ = font();
    // Glyph widths do not scale exactly with the size: step down a point at a time.
    while (fitted_.pointSizeF() > 6 && !fits(fitted_))
        fitted_.setPointSizeF(std::max(6.0, std::ceil(fitted_.pointSizeF()) - 1));
    return fitted_;
}

void FittingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(fittedFont());
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                          foregroundRole());
}

namespace {

// A single-selection list in which a selection, once made, stays: Ctrl+click and Ctrl+Space
// would otherwise take it away, leaving nothing selected while the window still shows the
// entry's name.
template <typename List> class SelectionKeepingList : public List {
public:
    using List::List;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        const QItemSelectionModel::SelectionFlags command = List::selectionCommand(index, event);
        if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
            return QItemSelectionModel::NoUpdate;
        return command;
    }
};

} // namespace

QString arrayName(const QString& name, int index) {
    return name + u'(' + QString::number(index) + u')';
}

namespace {

QWidget* createWidget(const ControlRow& row, QWidget* parent) {
    switch (row.kind) {
    case ControlKind::Label:
    case ControlKind::ShadowLabel:
    case ControlKind::FittingLabel: {
        QLabel* label = nullptr;
        if (row.kind == ControlKind::ShadowLabel)
            label = new ShadowLabel(row.text, parent);
        else if (row.kind == ControlKind::FittingLabel)
            label = new FittingLabel(row.text, parent);
        else
            label = new QLabel(row.text, parent);
        label->setAlignment(row.alignment);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case ControlKind::Frame:
        return new QGroupBox(row.text, parent);
    case ControlKind::ScrollBar:
        return new QScrollBar(Qt::Horizontal, parent);
    case ControlKind::PictureButton: {
        auto* button = new PictureButton(parent);
        button->setText(row.text);
        button->setToolButtonStyle(row.text.isEmpty() ? Qt::ToolButtonIconOnly
                                                      : Qt::ToolButtonTextUnderIcon);
        return button;
    }
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit(row.text, parent);
        edit->setAlignment(row.alignment & Qt::AlignHorizontal_Mask);
        // The box scrolls to keep its cursor in view, and a text set leaves the cursor at its
        // end: a number too wide for the box would show only its last digits (-32768 as
        // "2768"). Typing (which marks the text modified) moves the cursor as usual.
        QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
            if (!edit->isModified())
                edit->setCursorPosition(0);
        });
        return edit;
    }
    case ControlKind::ListBox: {
        auto* list = new SelectionKeepingList<QListWidget>(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        return list;
    }
    case ControlKind::ListView: {
        auto* view = new SelectionKeepingList<QListView>(parent);
        // Its rows may run to a million. Scrolled by the pixel, Qt's list view keeps no tables
        // of whole-row scroll positions, which it would rebuild at every layout (4 MB each for
        // a million rows); the keys still bring a row into view whole, the arrows move a row.
        view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setUniformItemSizes(true);
        return view;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(row.text);
        return combo;
    }
    case ControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setPixmap(QPixmap(row.text));
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return picture;
    }
    case ControlKind::Line: {
        auto* line = new QWidget(parent);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, QColor(row.text));
        line->setPalette(palette);
        line->setAutoFillBackground(true);
        return line;
    }
    }
    return nullptr;
}

} // namespace

Controls createControls(QWidget* window, const std::vector<ControlRow>& rows) {
    Controls controls;
    QHash<QString, QWidget*> containers;
    for (const ControlRow& row : rows) {
        QWidget* parent = row.container.isEmpty() ? window : containers.value(row.container);
        Q_ASSERT_X(parent, "createControls", qPrintable(row.container));
        QWidget* widget = createWidget(row, parent);
        widget->setObjectName(row.name);
        QRect geometry = twipsRect(row.left, row.top, row.width, row.height);
        if (row.kind == ControlKind::Line)
            geometry.setHeight(1); // a line is one pixel thick whatever its twips say
        widget->setGeometry(geometry);
        if (row.points > 0)
            widget->setFont(gothicFont(row.points));
        widget->setToolTip(row.toolTip);
        if (row.kind == ControlKind::Frame)
            containers.insert(row.name, widget);
        // A child made after its window was shown stays hidden unless shown itself.
        if (window->isVisible())
            widget->show();
        controls.add(row.name, widget);
    }
    return controls;
}
