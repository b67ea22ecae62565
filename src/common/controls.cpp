#include "controls.h"

#include "geometry.h"
#include "palette.h"
#include "picture_button.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>

void ShadowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(paletteColor(Grey));
    painter.drawText(area.translated(1, 1), static_cast<int>(alignment()), text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, static_cast<int>(alignment()), text());
}

QString arrayName(const QString& name, int index) {
    return name + u'(' + QString::number(index) + u')';
}

namespace {

QWidget* createWidget(const ControlRow& row, QWidget* parent) {
    switch (row.kind) {
    case ControlKind::Label:
    case ControlKind::ShadowLabel: {
        auto* label = row.kind == ControlKind::Label ? new QLabel(row.text, parent)
                                                     : new ShadowLabel(row.text, parent);
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
        return edit;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        return list;
    }
    case ControlKind::ListView: {
        auto* view = new QListView(parent);
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
