#include "settings/frmsettei.h"

#include "base/clock.h"
#include "base/text_to_number.h"
#include "data/csv_export.h"
#include "data/disk_watch.h"
#include "help/html_help.h"
#include "session/session.h"
#include "settings/history_model.h"
#include "settings/item_name.h"
#include "widgets/accessibility.h"
#include "widgets/dialogs.h"
#include "widgets/picture_button.h"
#include "widgets/window_style.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QStandardPaths>

namespace {

struct CommandButton {
    const char16_t* name;
    const char16_t* caption;
    const char16_t* toolTip;
    const char16_t* artwork;
};

// The button row, left to right, 750 twips apart from 3375 (neighbours overlap by 15 twips).
constexpr CommandButton CommandButtons[] = {
    {u"cmdAgain", u"開始", u"トレーニングを開始します", u"program"},
    {u"cmdNew", u"登録", u"項目を新規登録します", u"new"},
    {u"cmdHozon", u"保存", u"編集した設定で保存します", u"save"},
    {u"cmdClear", u"クリア", u"カウントと履歴をクリアします", u"clear"},
    {u"cmdDel", u"削除", u"項目を削除します", u"delete"},
    {u"cmdHelp", u"ヘルプ", u"ヘルプファイルを開きます", u"help"},
    // Without the "！" of the product's name: the tool tip users know.
    {u"cmdsyoukai", u"プロ", u"ヤルキンＰｒｏの紹介です", u"pro"},
    {u"cmdEnd", u"終了", u"プログラムを終了します", u"end"},
};

QString text(const char16_t* s) {
    return QString::fromUtf16(s);
}

// What a screen reader says for the controls without a caption, and what the total is.
void nameForScreenReaders(QWidget* window) {
    nameControls(window, {
                             {u"cboKoumoku", u"履歴を見る項目"},
                             {u"lstRireki", u"履歴"},
                             {u"lblGoukei", u"合計回数"},
                             {u"txtKoumoku", u"項目名"},
                             {u"txtKaisu", u"指示数"},
                             {u"lstKoumoku", u"登録した項目"},
                             {u"Image1", u"ヤルキン！"},
                         });
    // Titled ヤルキン！ as the training window is: read apart by a name and a role of its own.
    nameWidget(window, QAccessible::Window, QStringLiteral("設定 - ヤルキン！"));
    // The etched rule's two lines are no blank control.
    for (const char16_t* line : {u"Line1(0)", u"Line1(1)"})
        nameWidget(window->findChild<QWidget*>(QString::fromUtf16(line)), QAccessible::Separator,
                   QStringLiteral("区切り線"));
}

const QString TotalPrefix = QStringLiteral("合計回数 ： ");
const QString NotChosenText = QStringLiteral("先に項目を選んで下さい");
const QString NotChosenTitle = QStringLiteral("項目未選定");
const QString CancelText = QStringLiteral("新規追加をキャンセルします");
const QString CancelTitle = QStringLiteral("キャンセル");
const QString ProgramHelp = QStringLiteral("ZkHelp.chm");
const QString EditionHelp = QStringLiteral("YrkHelp.chm");

// Text fields take some Ctrl keys as their own before any shortcut of the window sees them
// (under X11's bindings Ctrl+E is "end of line"); the history keys are the window's wherever
// the focus is.
class WindowKeysFirst : public QObject {
public:
    WindowKeysFirst(QObject* parent, QList<QAction*> actions)
        : QObject(parent), actions_(std::move(actions)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : actions_) {
            if (action->shortcut() == pressed) {
                event->ignore(); // not the field's: the shortcut goes ahead
                return true;
            }
        }
        return false;
    }

private:
    QList<QAction*> actions_;
};

} // namespace

// clang-format off
std::vector<ControlRow> frmSettei::layout() {
    using K = ControlKind;
    std::vector<ControlRow> rows;
    int left = 3375;
    for (const CommandButton& button : CommandButtons) {
        rows.push_back({text(button.name), K::PictureButton, {}, left, 150, 765, 915, 0,
                        text(button.caption), text(button.toolTip)});
        left += 750;
    }
    const QString frame1 = QStringLiteral("Frame1");
    const QString frame2 = QStringLiteral("Frame2");
    const QString itemTip = QStringLiteral("修正後設定保存を押して下さい");
    rows.insert(rows.end(), {
        //  name                          kind          container left  top   width height points text / tool tip
        {frame1,                        K::Frame,     {},        90, 1425, 4890, 5265, 11.25, QStringLiteral("実績履歴リスト")},
        {QStringLiteral("lstRireki"),   K::ListView,  frame1,   150,  750, 4590, 4140, 12},
        {QStringLiteral("cboKoumoku"),  K::ComboBox,  frame1,   150,  375, 4590,  345, 11.25, {}, QStringLiteral("各項目の実績履歴を表示します")},
        {QStringLiteral("lblGoukei"),   K::FittingLabel, frame1, 2625, 4950, 2040, 240, 11.25, {}, {}, Qt::AlignRight | Qt::AlignTop},
        {frame2,                        K::Frame,     {},      5100, 1425, 4215, 5265, 11.25, QStringLiteral("登録状態確認")},
        {QStringLiteral("txtKoumoku"),  K::TextBox,   frame2,   150,  375, 3240,  315, 11.25, {}, itemTip},
        {QStringLiteral("txtKaisu"),    K::TextBox,   frame2,  3450,  375,  615,  315, 11.25, {}, itemTip},
        {QStringLiteral("lstKoumoku"),  K::ListBox,   frame2,   150,  750, 3915, 4380, 12,    {}, QStringLiteral("クリックすると選択されます")},
        {QStringLiteral("Image1"),      K::Picture,   {},        75,  150, 3165,  930, 0,     QStringLiteral(":/image1.png")},
        // An etched rule between the button row and the frames.
        {QStringLiteral("Line1(1)"),    K::Line,      {},       150, 1260, 9150,   15, 0,     QStringLiteral("black")},
        {QStringLiteral("Line1(0)"),    K::Line,      {},       150, 1275, 9150,   15, 0,     QStringLiteral("white")},
    });
    return rows;
}
// clang-format on

frmSettei::frmSettei(Session& session) : session_(session), history_(new HistoryModel(this)) {
    setUpWindow(this, 9465, 6780, WindowBorder::FixedSingle);

    const Controls controls = createControls(this, layout());
    cmdAgain = controls.get<PictureButton>(QStringLiteral("cmdAgain"));
    cmdNew = controls.get<PictureButton>(QStringLiteral("cmdNew"));
    cmdHozon = controls.get<PictureButton>(QStringLiteral("cmdHozon"));
    cmdClear = controls.get<PictureButton>(QStringLiteral("cmdClear"));
    cmdDel = controls.get<PictureButton>(QStringLiteral("cmdDel"));
    cmdHelp = controls.get<PictureButton>(QStringLiteral("cmdHelp"));
    cmdsyoukai = controls.get<PictureButton>(QStringLiteral("cmdsyoukai"));
    cmdEnd = controls.get<PictureButton>(QStringLiteral("cmdEnd"));
    lstRireki = controls.get<QListView>(QStringLiteral("lstRireki"));
    cboKoumoku = controls.get<QComboBox>(QStringLiteral("cboKoumoku"));
    lblGoukei = controls.get<QLabel>(QStringLiteral("lblGoukei"));
    txtKoumoku = controls.get<QLineEdit>(QStringLiteral("txtKoumoku"));
    txtKaisu = controls.get<QLineEdit>(QStringLiteral("txtKaisu"));
    lstKoumoku = controls.get<QListWidget>(QStringLiteral("lstKoumoku"));

    for (const CommandButton& button : CommandButtons) {
        auto* widget = controls.get<PictureButton>(text(button.name));
        widget->setIcon(artworkIcon(text(button.artwork)));
        widget->setIconSize(QSize(32, 32));
    }
    lstRireki->setModel(history_);
    connect(&session_.watch(), &DiskWatch::historyChanged, this, &frmSettei::followHistory);
    lstRireki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblGoukei->setAutoFillBackground(true);

    const QList<QWidget*> tabOrder = {cmdAgain,   cmdNew,    cmdHozon,   cmdClear,   cmdDel,
                                      cmdHelp,    cmdEnd,    cboKoumoku, lstKoumoku, txtKaisu,
                                      txtKoumoku, lstRireki, cmdsyoukai};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    nameForScreenReaders(this);

    connect(cmdAgain, &QAbstractButton::clicked, this, &frmSettei::cmdAgain_Click);
    connect(cmdNew, &QAbstractButton::clicked, this, &frmSettei::cmdNew_Click);
    connect(cmdHozon, &QAbstractButton::clicked, this, &frmSettei::cmdHozon_Click);
    connect(cmdClear, &QAbstractButton::clicked, this, &frmSettei::cmdClear_Click);
    connect(cmdDel, &QAbstractButton::clicked, this, &frmSettei::cmdDel_Click);
    connect(cmdHelp, &QAbstractButton::clicked, this, &frmSettei::cmdHelp_Click);
    connect(cmdsyoukai, &QAbstractButton::clicked, this, &frmSettei::cmdsyoukai_Click);
    connect(cmdEnd, &QAbstractButton::clicked, this, &frmSettei::cmdEnd_Click);
    // Only a pick from the list shows another history; typing in the edit field does nothing.
    // The combo box would complete a name typed, and pick the entry whose name its edit field
    // holds when Enter is pressed there or the field is left.
    cboKoumoku->setCompleter(nullptr);
    disconnect(cboKoumoku->lineEdit(), &QLineEdit::returnPressed, cboKoumoku, nullptr);
    disconnect(cboKoumoku->lineEdit(), &QLineEdit::editingFinished, cboKoumoku, nullptr);
    connect(cboKoumoku, &QComboBox::activated, this, &frmSettei::cboKoumoku_Click);
    // A selection by mouse or keyboard, and a click on the entry already selected.
    connect(lstKoumoku, &QListWidget::itemSelectionChanged, this, [this] {
        if (selectedPosition() > 0)
            lstKoumoku_Click();
    });
    connect(lstKoumoku, &QListWidget::itemClicked, this, &frmSettei::lstKoumoku_Click);
    addHistoryMenu();
}

// The progress view and the export hang on the history view by a context menu and keys, so
// the window's own controls and layout stay as they are.
void frmSettei::addHistoryMenu() {
    const auto action = [this](const QString& text, QKeySequence keys, auto handler) {
        auto* created = new QAction(text, this);
        created->setShortcut(keys);
        addAction(created); // the keys work anywhere in the window
        connect(created, &QAction::triggered, this, handler);
        historyMenu_->addAction(created);
        return created;
    };
    historyMenu_ = new QMenu(this);
    showProgressAction_ = action(QStringLiteral("グラフを表示"), QKeySequence(Qt::CTRL | Qt::Key_G),
                                 [this] { showProgress(); });
    exportItemAction_ = action(QStringLiteral("CSV に書き出す…"),
                               QKeySequence(Qt::CTRL | Qt::Key_E), [this] { exportCsv(false); });
    historyMenu_->addSeparator();
    exportAllAction_ =
        action(QStringLiteral("全項目を CSV に書き出す…"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), [this] { exportCsv(true); });
    historyMenu_->addSeparator();
    action(QStringLiteral("毎日の通知…"), QKeySequence(Qt::CTRL | Qt::Key_R),
           [this] { session_.showReminder(this); });
    // The combo box hands the key to its text field itself, past the field's filters.
    auto* keysFirst = new WindowKeysFirst(this, historyMenu_->actions());
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->installEventFilter(keysFirst);
    cboKoumoku->installEventFilter(keysFirst);

    // The tool tips say where the menu is and which keys do the same.
    QStringList keys{QStringLiteral("右クリックでメニュー：")};
    for (const QAction* entry : historyMenu_->actions())
        if (!entry->isSeparator())
            keys << QStringLiteral("%1（%2）")
                        .arg(entry->text(), entry->shortcut().toString(QKeySequence::NativeText));
    const QString menuTip = keys.join(u'\n');
    lstRireki->setToolTip(menuTip);
    cboKoumoku->setToolTip(cboKoumoku->toolTip() + u'\n' + menuTip);

    for (QWidget* source : {static_cast<QWidget*>(lstRireki), static_cast<QWidget*>(cboKoumoku)}) {
        source->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(source, &QWidget::customContextMenuRequested, this,
                [this, source](const QPoint& at) { popUpHistoryMenu(source->mapToGlobal(at)); });
    }
    // The item chooser's text keeps its own menu (undo, copy, paste), with these below.
    QLineEdit* chooserText = cboKoumoku->lineEdit();
    chooserText->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chooserText, &QWidget::customContextMenuRequested, this,
            [this, chooserText](QPoint at) {
                QMenu* menu = chooserText->createStandardContextMenu();
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->addSeparator();
                enableHistoryActions();
                menu->addActions(historyMenu_->actions());
                menu->popup(chooserText->mapToGlobal(at));
            });
}

bool frmSettei::historyShown() const {
    return HistoryItem >= 1 && HistoryItem <= session_.gymm().ItemCount();
}

void frmSettei::enableHistoryActions() {
    showProgressAction_->setEnabled(historyShown());
    exportItemAction_->setEnabled(historyShown());
    exportAllAction_->setEnabled(session_.gymm().ItemCount() > 0);
}

void frmSettei::popUpHistoryMenu(const QPoint& at) {
    enableHistoryActions();
    historyMenu_->popup(at);
}

void frmSettei::showProgress() {
    if (historyShown())
        session_.showProgress(this, HistoryItem);
}

void frmSettei::exportCsv(bool allItems) {
    const GYMM& gymm = session_.gymm();
    if (allItems ? gymm.ItemCount() == 0 : !historyShown())
        return;
    const QDateTime now = session_.clock().now();
    const std::optional<csv::Histories> histories = csv::forExport(
        session_.data(), allItems ? std::nullopt : std::optional(gymm.ItemNames(HistoryItem)), now,
        [this](const FileProblem& problem, bool) { session_.report(this, problem); });
    if (!histories)
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString path = dialogs().saveFileName(
        this, QStringLiteral("CSV に書き出す"),
        QDir(folder).filePath(
            QStringLiteral("yarukin-%1.csv").arg(now.toString(QStringLiteral("yyyyMMdd")))),
        QStringLiteral("CSV ファイル (*.csv)"));
    if (path.isEmpty())
        return;
    if (!session_.report(this, csv::write(session_.data(), path, *histories)))
        return;
    dialogs().notice(this,
                     QStringLiteral("%1 件の記録を「%2」に書き出しました。")
                         .arg(histories->records)
                         .arg(QDir::toNativeSeparators(path)),
                     QStringLiteral("CSV 書き出し終了"));
}

void frmSettei::present() {
    showCentred(this);
    cmdAgain->setFocus();
}

// --- start-up, selection and the history view ---------------------------------------------

void frmSettei::Form_Load() {
    const GYMM& gymm = session_.gymm();
    if (gymm.ItemCount() == 0)
        return;
    fillItemLists();
    cboKoumoku->setEditText(gymm.ItemNames(1));
    HistoryItem = 1;
    ShowHistory();
}

void frmSettei::fillItemLists() {
    const GYMM& gymm = session_.gymm();
    lstKoumoku->clear();
    cboKoumoku->clear();
    for (int i = 1; i <= gymm.ItemCount(); ++i) {
        lstKoumoku->addItem(gymm.ItemNames(i));
        cboKoumoku->addItem(gymm.ItemNames(i));
    }
}

void frmSettei::followList(const Outcome& outcome) {
    // The item list changed on the disk and was read again: the window shows the new one, as
    // it would on opening, and the user chooses again.
    if (outcome.listChanged)
        followTable();
}

void frmSettei::followTable() {
    lstKoumoku->clear();
    cboKoumoku->clear();
    cboKoumoku->setEditText(QString());
    txtKoumoku->clear();
    txtKaisu->clear();
    history_->clear();
    HistoryItem = 0;
    lblGoukei->setText(TotalPrefix + u'0');
    Form_Load();
}

void frmSettei::followHistory(const QString& itemName) {
    if (!historyShown() || session_.gymm().ItemNames(HistoryItem) != itemName)
        return;
    Expected<HistoryFile> read = session_.data().readHistory(itemName);
    // Only a history that reads otherwise than the one shown: the program's own changes are
    // shown already (a clear leaves its "0"), and a file that cannot be read now is told of
    // when the user asks for it.
    if (read && read->bytes() != history_->bytes())
        showFile(std::move(*read));
}

int frmSettei::selectedPosition() const {
    const QList<QListWidgetItem*> selected = lstKoumoku->selectedItems();
    const int p = selected.isEmpty() ? 0 : lstKoumoku->row(selected.first()) + 1;
    return p <= session_.gymm().ItemCount() ? p : 0;
}

void frmSettei::lstKoumoku_Click() {
    const int p = selectedPosition();
    if (p == 0)
        return;
    txtKoumoku->setText(session_.gymm().ItemNames(p));
    txtKaisu->setText(QString::number(session_.gymm().ItemTargets(p)));
}

void frmSettei::cboKoumoku_Click(int index) {
    if (index < 0 || index >= session_.gymm().ItemCount())
        return;
    HistoryItem = index + 1;
    ShowHistory();
}

void frmSettei::ShowHistory() {
    history_->clear();
    const QString& name = session_.gymm().ItemNames(HistoryItem);
    session_.watch().follow(this, name);
    Expected<HistoryFile> read = session_.data().readHistory(name);
    // A missing file (after a rename, or removed by hand) is simply an empty history; one that
    // cannot be read is said, and shows as one.
    if (!read)
        session_.report(this, read.error());
    showFile(read ? std::move(*read) : HistoryFile());
}

void frmSettei::showFile(HistoryFile file) {
    history_->clear();
    qint64 total = 0;
    // The running sum is rounded after every record, as the history always has been.
    for (int i = 0; i < file.count(); ++i)
        total = toInt64Clamped(static_cast<double>(total) + TextToNumber(file.countField(i)));
    history_->setFile(std::move(file));
    lblGoukei->setText(TotalPrefix + QString::number(total));
}

int frmSettei::chosenItem() {
    if (!txtKoumoku->text().isEmpty())
        if (const int p = selectedPosition())
            return p;
    dialogs().notice(this, NotChosenText, NotChosenTitle);
    return 0;
}

Dialogs& frmSettei::dialogs() const {
    return session_.dialogs();
}

// --- item maintenance ----------------------------------------------------------------------

void frmSettei::cmdNew_Click() {
    if (lstKoumoku->count() >= MaxItems) {
        dialogs().warning(this, QStringLiteral("登録できる項目数は２０項目までです。"),
                          QStringLiteral("項目数上限制約"));
        return;
    }
    const std::optional<QString> name = askItemName();
    if (!name)
        return;
    const std::optional<double> target = askTarget();
    if (!target)
        return;
    registerItem(*name, *target);
}

std::optional<QString> frmSettei::askItemName() {
    for (;;) {
        const QString typed = dialogs().input(this, QStringLiteral("項目名は何ですか？"),
                                              QStringLiteral("項目名入力"));
        if (typed.isEmpty()) {
            dialogs().warning(this, CancelText, CancelTitle);
            return std::nullopt;
        }
        const ItemNameCheck check = checkItemName(typed);
        if (check.ok())
            return check.name;
        dialogs().warning(this, check.problem, check.problemTitle);
    }
}

std::optional<double> frmSettei::askTarget() {
    for (;;) {
        const QString answer =
            dialogs().input(this, QStringLiteral("指示数をいくつにしますか？（半角文字で入力）"),
                            QStringLiteral("指示数入力"));
        if (answer.isEmpty()) {
            dialogs().warning(this, CancelText, CancelTitle);
            return std::nullopt;
        }
        const double target = TextToNumber(answer);
        if (target < 1)
            dialogs().warning(this, QStringLiteral("必ず１以上を入力して下さい"),
                              QStringLiteral("下限値制限"));
        else if (target > 32767) // the most a target count can hold
            dialogs().warning(this, QStringLiteral("必ず３２７６７以下を入力して下さい"),
                              QStringLiteral("上限値制限"));
        else
            return target;
    }
}

void frmSettei::registerItem(const QString& name, double target) {
    const DataDir::Registration registered = session_.data().registerItem(name, target);
    if (!session_.report(this, registered)) {
        followList(registered);
        return;
    }
    lstKoumoku->addItem(name);
    if (registered.readBack)
        session_.report(this, *registered.readBack);
    dialogs().notice(this, registered.name + QStringLiteral(" の設定を新規登録しました"),
                     QStringLiteral("新規登録終了"));
}

void frmSettei::cmdHozon_Click() {
    const int p = chosenItem();
    if (p == 0)
        return;

    const ItemNameCheck check = checkItemName(txtKoumoku->text());
    if (!check.ok()) {
        dialogs().warning(this, check.problem, check.problemTitle);
        return;
    }
    const std::optional<qint16> target = toInt16(TextToNumber(txtKaisu->text()));
    if (!target) {
        dialogs().warning(this, QStringLiteral("指示数は -32768 から 32767 までの数にして下さい"),
                          QStringLiteral("指示数範囲制限"));
        return;
    }

    const Outcome updated = session_.data().updateItem(p, check.name, *target);
    if (!session_.report(this, updated)) {
        followList(updated);
        return;
    }
    dialogs().notice(this, check.name + QStringLiteral(" の設定を更新しました"),
                     QStringLiteral("設定更新終了"));
}

void frmSettei::cmdDel_Click() {
    const int p = chosenItem();
    if (p == 0)
        return;
    const GYMM& gymm = session_.gymm();
    if (!dialogs().confirm(this,
                           gymm.ItemNames(p) + QStringLiteral("を削除します。よろしいですか？"),
                           QStringLiteral("クリア確認"))) // the title users know, for deletion too
        return;

    const Outcome deleted = session_.data().deleteItem(p);
    if (!session_.report(this, deleted)) {
        followList(deleted);
        return;
    }

    fillItemLists();
    history_->clear();
    // The bare digit, without the prefix the history view writes: as it has always read.
    lblGoukei->setText(QStringLiteral("0"));
    if (gymm.ItemCount() > 0) {
        cboKoumoku->setEditText(gymm.ItemNames(1));
        HistoryItem = 1;
        ShowHistory();
    }
    txtKoumoku->clear();
    txtKaisu->clear();
    dialogs().notice(this, QStringLiteral("削除しました"), QStringLiteral("削除終了"));
}

void frmSettei::cmdClear_Click() {
    const int p = chosenItem();
    if (p == 0)
        return;
    // Nothing to ask about for an item whose history no file can hold.
    if (const auto refused = session_.data().refusal(p)) {
        session_.report(this, *refused);
        return;
    }
    const QString shownName = txtKoumoku->text();
    if (!dialogs().confirm(
            this,
            shownName + QStringLiteral("のカウント数と履歴データをクリアします。よろしいですか？"),
            QStringLiteral("クリア確認")))
        return;

    const Outcome cleared = session_.data().clearItem(p);
    if (!session_.report(this, cleared)) {
        followList(cleared);
        return;
    }
    if (cboKoumoku->currentText() == shownName) {
        // The bare digit, without the prefix the history view writes: as it has always read.
        lblGoukei->setText(QStringLiteral("0"));
        history_->clear();
    }
    dialogs().notice(this, shownName + QStringLiteral(" のカウント数と履歴データをクリアしました"),
                     QStringLiteral("クリア終了"));
}

// --- starting again, ending, help --------------------------------------------------------

void frmSettei::cmdAgain_Click() {
    if (lstKoumoku->count() == 0) {
        session_.dialogs().warning(this, QStringLiteral("先に項目を入力して下さい"),
                                   QStringLiteral("項目未登録"));
        return;
    }
    close();
    session_.openTraining();
}

void frmSettei::cmdEnd_Click() {
    session_.help().HtmlHelpA(this, ProgramHelp, HH_CLOSE_ALL, 0);
    session_.help().HtmlHelpA(this, EditionHelp, HH_CLOSE_ALL, 0);
    session_.endProgram();
}

void frmSettei::cmdHelp_Click() {
    HelpFile = ProgramHelp;
    session_.help().HtmlHelpA(this, HelpFile, HH_DISPLAY_TOPIC, 0);
}

QString frmSettei::introductionText() {
    const QStringList lines = {
        QStringLiteral("成果をより詳細に把握したい場合は「ヤルキン！Ｐｒｏ」をぜひどうぞ！"),
        QString(),
        QStringLiteral("当日のトレーニング実績やトレーニング開始日から現在まで全ての実績を"),
        QStringLiteral("グラフや一覧で表示できるほか、ラピッドトライモードなど"),
        QStringLiteral("やる気と継続する力をより強力にサポートします。"),
        QString(),
        QStringLiteral(
            "どんなことができるソフトなのかはヤルキン！Ｐｒｏのヘルプをぜひご覧ください。"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

void frmSettei::cmdsyoukai_Click() {
    session_.dialogs().notice(this, introductionText(), QStringLiteral("ヤルキン！Ｐｒｏのご紹介"));
    HelpFile = EditionHelp;
    session_.help().HtmlHelpA(this, HelpFile, HH_DISPLAY_TOPIC, 0);
}
