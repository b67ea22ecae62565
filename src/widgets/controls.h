#pragma once

#include <QHash>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <vector>

// A window's layout as data: one row per control, positions and sizes in twips, turned into
// widgets by createControls. Each widget's objectName() is its control name.
enum class ControlKind {
    Label,         // QLabel, transparent
    ShadowLabel,   // ShadowLabel: a transparent QLabel whose text casts a grey shadow
    FittingLabel,  // FittingLabel: a transparent QLabel that draws too long a text smaller
    Frame,         // QGroupBox with a caption
    ScrollBar,     // horizontal QScrollBar
    PictureButton, // PictureButton: a picture, with its caption (if any) below
    TextBox,       // single-line QLineEdit; a text set by the program shows its start
    ListBox,       // QListWidget, single selection that stays once made
    ListView,      // QListView over a model the window supplies, the same selection
    ComboBox,      // editable QComboBox
    Picture,       // QLabel showing `text` as an image resource at its own size
    Line,          // a one-pixel line in the colour named by `text`
};

struct ControlRow {
    QString name;
    ControlKind kind;
    QString container; // a Frame's name, or empty for the window itself
    int left, top, width, height;
    double points = 0; // font size; 0 keeps the container's font
    QString text = {}; // caption, initial text, picture resource, or a line's colour
    QString toolTip = {};
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
};

// A one-line label whose text carries a one-pixel grey shadow, so that light text stays
// legible on a light background.
class ShadowLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label that keeps its text wholly visible: a text that would not fit its box at the label's
// font (on one line, or in as many lines as the box holds when it wraps) is drawn at the
// largest smaller size that fits. The font stays as set; only the drawing shrinks.
class FittingLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The font the text is drawn in.
    QFont fittedFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool fits(const QFont& font) const;
    mutable QString fittedText_;
    mutable QFont fittedFor_, fitted_;
    mutable QSize fittedSize_;
};

// The name of member `index` of a control array: lblSnd(3).
QString arrayName(const QString& name, int index);

class Controls {
public:
    template <typename T> T* get(const QString& name) const {
        T* widget = qobject_cast<T*>(widgets_.value(name));
        Q_ASSERT_X(widget, "Controls::get", qPrintable(name));
        return widget;
    }
    void add(const QString& name, QWidget* widget) { widgets_.insert(name, widget); }

private:
    QHash<QString, QWidget*> widgets_;
};

// Creates the controls in row order (containers before their contents).
Controls createControls(QWidget* window, const std::vector<ControlRow>& rows);
