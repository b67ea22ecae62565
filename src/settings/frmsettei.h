#pragma once

#include "data/history.h"
#include "widgets/controls.h"

#include <QWidget>
#include <optional>

class Dialogs;
struct Outcome;
class QAction;
class QMenu;
class Session;
class HistoryModel;
class PictureButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;

// The settings window: the command buttons across the top, the history of one item on the
// left and the registered items on the right.
class frmSettei : public QWidget {
    Q_OBJECT
public:
    explicit frmSettei(Session& session);

    // The controls and their twips, in the order they are created.
    static std::vector<ControlRow> layout();

    // The help file last handed to the help system.
    QString HelpFile;
    // The position of the item whose history is shown.
    int HistoryItem = 0;

    void Form_Load();
    // Shows the freshly loaded window centred, with the focus on "開始".
    void present();

    void lstKoumoku_Click();
    void cboKoumoku_Click(int index);
    void ShowHistory();

    // The table changed under the window (a sync tool's copy of the item list merged in): the
    // lists show the new table, as on opening.
    void followTable();
    // The history of `itemName` changed on the disk: the history shown follows its file.
    void followHistory(const QString& itemName);

    void cmdNew_Click();
    void cmdHozon_Click();
    void cmdDel_Click();
    void cmdClear_Click();
    void cmdAgain_Click();
    void cmdEnd_Click();
    void cmdHelp_Click();
    void cmdsyoukai_Click();

    // The introduction of the extended edition, as "プロ" shows it.
    static QString introductionText();

    // For the item the history view shows (Ctrl+G, Ctrl+E, or the context menu of the
    // history list and the item chooser): its progress, and its history as CSV; or the
    // histories of all items (Ctrl+Shift+E).
    void showProgress();
    void exportCsv(bool allItems);
    QMenu* historyMenu() const { return historyMenu_; }

private:
    // The position of the entry selected in lstKoumoku, or 0 when none is.
    int selectedPosition() const;
    // The item the maintenance buttons act on: the entry selected in lstKoumoku, when a name
    // is given too; else "先に項目を選んで下さい" and 0.
    int chosenItem();
    Dialogs& dialogs() const;
    // The registration's two questions; nothing when the user gives up.
    std::optional<QString> askItemName();
    std::optional<double> askTarget();
    void registerItem(const QString& name, double target);
    void addHistoryMenu();
    void popUpHistoryMenu(const QPoint& at);
    void enableHistoryActions();
    bool historyShown() const;
    void fillItemLists();
    // The history view and its total for the history shown.
    void showFile(HistoryFile file);
    // Shows the item list read again after it changed on the disk, if it did.
    void followList(const Outcome& outcome);

    Session& session_;
    HistoryModel* history_;

    PictureButton* cmdAgain;
    PictureButton* cmdNew;
    PictureButton* cmdHozon;
    PictureButton* cmdClear;
    PictureButton* cmdDel;
    PictureButton* cmdHelp;
    PictureButton* cmdsyoukai;
    PictureButton* cmdEnd;
    QListView* lstRireki;
    QComboBox* cboKoumoku;
    QLabel* lblGoukei;
    QLineEdit* txtKoumoku;
    QLineEdit* txtKaisu;
    QListWidget* lstKoumoku;

    QMenu* historyMenu_ = nullptr;
    QAction* showProgressAction_ = nullptr;
    QAction* exportItemAction_ = nullptr;
    QAction* exportAllAction_ = nullptr;
};
