#pragma once

#include "widgets/controls.h"

#include <QWidget>
#include <array>

class Session;
class PictureButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QScrollBar;

// The training window: the workout's items down the left, the current item's name and target
// count in large type, and the count entry with the Next button at the bottom right.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(Session& session);

    // The controls and their twips, in the order they are created.
    static std::vector<ControlRow> layout();

    // The number of the item on the window.
    int CurrentItem = 0;

    void Form_Load();
    void ShowItem(int k);
    void cmdNext_Click();
    void cmdCut_Click();
    void hsbKaisu_Change();
    void hsbKaisu_Scroll();
    void txtKaisu_KeyPress(int& KeyAscii);

    // The table changed while the window was open (a sync tool brought another computer's
    // list, and its copy of the list was merged in): the workout goes on at the item shown,
    // wherever the new list has it; gone, at the item now at its place.
    void followTable();
    // Whether a Next is under way (its flash lets events in).
    bool busy() const { return advancing_; }

    // The window's own background: button face, or a palette colour while it flashes.
    QColor backColor() const { return backColor_; }

    // Font sizes of the item name by its length.
    static double nameFontPoints(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createContents();
    // Next's work: confirm, record, rewrite, flash, then the next item or the end.
    void recordAndAdvance();
    void setBackColor(const QColor& color);
    // The label that shows item k, or none; with more than twenty items the labels show the
    // twenty around the current item.
    QLabel* labelOf(int item) const;
    void showLabels(int firstItem);
    void advanceFlashColor();
    // Where the item that stood at k, named `name`, stands in a list changed under the window:
    // the occurrence of the name nearest to k, or 0 when the name is gone.
    int itemNamed(const QString& name, int k) const;
    // The caption of cmdNext while item `item` is current.
    QString nextCaption(int item) const;

    Session& session_;
    QColor backColor_;
    int firstLabelItem_ = 1;
    bool advancing_ = false;

    // Made by createContents when the window is shown.
    QGroupBox* Frame1 = nullptr;
    std::array<QLabel*, 20> lblSnd{}; // lblSnd(i) is lblSnd[i - 1]
    QScrollBar* hsbKaisu = nullptr;
    PictureButton* cmdNext = nullptr;
    QLineEdit* txtKaisu = nullptr;
    QLabel* lblKaisu = nullptr;
    QLabel* lblKoumoku = nullptr;
    PictureButton* cmdCut = nullptr;
};
