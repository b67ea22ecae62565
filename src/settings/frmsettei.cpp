#include "frmsettei.h"

#include "common/app.h"
#include "common/dialogs.h"
#include "common/picture_button.h"
#include "common/text_to_number.h"
#include "common/window_style.h"
#include "data/history.h"
#include "history_model.h"
#include "html_help.h"
#include "item_name.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>

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
    {u"cmdsyoukai", u"プロ", u"ヤルキンＰｒｏの紹介です", u"pro"},
    {u"cmdEnd", u"終了", u"プログラムを終了します", u"end"},
};

QString text(const char16_t* s) {
    return QString::fromUtf16(s);
}

const QString TotalPrefix = QStringLiteral("合計回数 ： ");
const QString NotChosenText = QStringLiteral("先に項目を選んで下さい");
const QString NotChosenTitle = QStringLiteral("項目未選定");
const QString CancelText = QStringLiteral("新規追加をキャンセルします");
const QString CancelTitle = QStringLiteral("キャンセル");
const QString ProgramHelp = QStringLiteral("ZkHelp.chm");
const QString EditionHelp = QStringLiteral("YrkHelp.chm");

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

frmSettei::frmSettei(App& app) : app_(app), history_(new HistoryModel(this)) {
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
    lstRireki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblGoukei->setAutoFillBackground(true);

    const QList<QWidget*> tabOrder = {cmdAgain,   cmdNew,    cmdHozon,   cmdClear,   cmdDel,
                                      cmdHelp,    cmdEnd,    cboKoumoku, lstKoumoku, txtKaisu,
                                      txtKoumoku, lstRireki, cmdsyoukai};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

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
}

void frmSettei::present() {
    showCentred(this);
    cmdAgain->setFocus();
}

// --- start-up, selection and the history view ---------------------------------------------

void frmSettei::Form_Load() {
    const GYMM& gymm = app_.gymm;
    if (gymm.ItemCount() == 0)
        return;
    fillItemLists();
    cboKoumoku->setEditText(gymm.ItemNames(1));
    HistoryItem = 1;
    ShowHistory();
}

void frmSettei::fillItemLists() {
    const GYMM& gymm = app_.gymm;
    lstKoumoku->clear();
    cboKoumoku->clear();
    for (int i = 1; i <= gymm.ItemCount(); ++i) {
        lstKoumoku->addItem(gymm.ItemNames(i));
        cboKoumoku->addItem(gymm.ItemNames(i));
    }
}

int frmSettei::selectedPosition() const {
    const QList<QListWidgetItem*> selected = lstKoumoku->selectedItems();
    const int p = selected.isEmpty() ? 0 : lstKoumoku->row(selected.first()) + 1;
    return p <= app_.gymm.ItemCount() ? p : 0;
}

void frmSettei::lstKoumoku_Click() {
    const int p = selectedPosition();
    if (p == 0)
        return;
    txtKoumoku->setText(app_.gymm.ItemNames(p));
    txtKaisu->setText(QString::number(app_.gymm.ItemTargets(p)));
}

void frmSettei::cboKoumoku_Click(int index) {
    if (index < 0 || index >= app_.gymm.ItemCount())
        return;
    HistoryItem = index + 1;
    ShowHistory();
}

void frmSettei::ShowHistory() {
    history_->clear();
    HistoryFile file = HistoryFile::read(app_.gymm.ItemNames(HistoryItem));
    // A missing file (after a rename, or removed by hand) is simply an empty history.
    if (!file.result())
        app_.warnFileError(this, file.result());
    qint64 total = 0;
    // The running sum is rounded after every record, as the history always has been.
    for (int i = 0; i < file.count(); ++i)
        total = toInt64Clamped(static_cast<double>(total) + TextToNumber(file.countField(i)));
    history_->setFile(std::move(file));
    lblGoukei->setText(TotalPrefix + QString::number(total));
}

bool frmSettei::requireSelection() {
    if (!txtKoumoku->text().isEmpty() && selectedPosition() > 0)
        return true;
    app_.dialogs().notice(this, NotChosenText, NotChosenTitle);
    return false;
}

// --- item maintenance ----------------------------------------------------------------------

void frmSettei::cmdNew_Click() {
    Dialogs& dialogs = app_.dialogs();
    GYMM& gymm = app_.gymm;
    if (lstKoumoku->count() >= MaxItems) {
        dialogs.warning(this, QStringLiteral("登録できる項目数は２０項目までです。"),
                        QStringLiteral("項目数上限制約"));
        return;
    }

    QString name;
    for (;;) {
        const QString typed =
            dialogs.input(this, QStringLiteral("項目名は何ですか？"), QStringLiteral("項目名入力"));
        if (typed.isEmpty()) {
            dialogs.warning(this, CancelText, CancelTitle);
            return;
        }
        const ItemNameCheck check = checkItemName(typed);
        if (check.ok()) {
            name = check.name;
            break;
        }
        dialogs.warning(this, check.problem, check.problemTitle);
    }

    double target = 0;
    for (;;) {
        const QString answer =
            dialogs.input(this, QStringLiteral("指示数をいくつにしますか？（半角文字で入力）"),
                          QStringLiteral("指示数入力"));
        if (answer.isEmpty()) {
            dialogs.warning(this, CancelText, CancelTitle);
            return;
        }
        target = TextToNumber(answer);
        if (target < 1)
            dialogs.warning(this, QStringLiteral("必ず１以上を入力して下さい"),
                            QStringLiteral("下限値制限"));
        else if (target > 32767) // the most a target count can hold
            dialogs.warning(this, QStringLiteral("必ず３２７６７以下を入力して下さい"),
                            QStringLiteral("上限値制限"));
        else
            break;
    }

    if (const FileResult appended = gymm.AppendItem(name, target); !appended) {
        app_.warnFileError(this, appended);
        return;
    }
    // The item is registered; a history file that cannot be made now is made by its first
    // recorded count, and the history view shows none until then.
    if (const FileResult created = history::create(name); !created)
        app_.warnFileError(this, created);
    lstKoumoku->addItem(name);
    if (const FileResult loaded = gymm.LoadItemList(); !loaded)
        app_.warnFileError(this, loaded);
    if (gymm.ItemCount() > 0)
        dialogs.notice(
            this, gymm.ItemNames(gymm.ItemCount()) + QStringLiteral(" の設定を新規登録しました"),
            QStringLiteral("新規登録終了"));
}

void frmSettei::cmdHozon_Click() {
    Dialogs& dialogs = app_.dialogs();
    GYMM& gymm = app_.gymm;
    if (!requireSelection())
        return;
    const int p = selectedPosition();

    const ItemNameCheck check = checkItemName(txtKoumoku->text());
    if (!check.ok()) {
        dialogs.warning(this, check.problem, check.problemTitle);
        return;
    }
    const std::optional<qint16> target = toInt16(TextToNumber(txtKaisu->text()));
    if (!target) {
        dialogs.warning(this, QStringLiteral("指示数は -32768 から 32767 までの数にして下さい"),
                        QStringLiteral("指示数範囲制限"));
        return;
    }

    const QString oldName = std::exchange(gymm.ItemNames(p), check.name);
    const qint16 oldTarget = std::exchange(gymm.ItemTargets(p), *target);
    if (const FileResult rewritten = gymm.RewriteItemList(); !rewritten) {
        gymm.ItemNames(p) = oldName;
        gymm.ItemTargets(p) = oldTarget;
        app_.warnFileError(this, rewritten);
        return;
    }
    dialogs.notice(this, check.name + QStringLiteral(" の設定を更新しました"),
                   QStringLiteral("設定更新終了"));
}

void frmSettei::cmdDel_Click() {
    Dialogs& dialogs = app_.dialogs();
    GYMM& gymm = app_.gymm;
    if (!requireSelection())
        return;
    const int p = selectedPosition();
    if (!dialogs.confirm(this, gymm.ItemNames(p) + QStringLiteral("を削除します。よろしいですか？"),
                         QStringLiteral("クリア確認")))
        return;

    // The history file to go is the deleted item's own, whatever the name box says now.
    const QString deleted = gymm.ItemNames(p);
    if (const FileResult rewritten = gymm.RewriteItemListWithout(p); !rewritten) {
        app_.warnFileError(this, rewritten);
        return;
    }
    if (const FileResult loaded = gymm.LoadItemList(); !loaded)
        app_.warnFileError(this, loaded);
    bool shared = false;
    for (int i = 1; i <= gymm.ItemCount(); ++i)
        shared = shared || gymm.ItemNames(i) == deleted;
    if (!shared)
        history::remove(deleted);

    fillItemLists();
    history_->clear();
    lblGoukei->setText(QStringLiteral("0"));
    if (gymm.ItemCount() > 0) {
        cboKoumoku->setEditText(gymm.ItemNames(1));
        HistoryItem = 1;
        ShowHistory();
    }
    txtKoumoku->clear();
    txtKaisu->clear();
    dialogs.notice(this, QStringLiteral("削除しました"), QStringLiteral("削除終了"));
}

void frmSettei::cmdClear_Click() {
    Dialogs& dialogs = app_.dialogs();
    GYMM& gymm = app_.gymm;
    if (!requireSelection())
        return;
    const QString shownName = txtKoumoku->text();
    if (!dialogs.confirm(
            this,
            shownName + QStringLiteral("のカウント数と履歴データをクリアします。よろしいですか？"),
            QStringLiteral("クリア確認")))
        return;

    if (const FileResult rewritten = gymm.RewriteItemList(); !rewritten) {
        app_.warnFileError(this, rewritten);
        return;
    }
    if (const FileResult emptied = history::empty(gymm.ItemNames(selectedPosition())); !emptied) {
        app_.warnFileError(this, emptied);
        return;
    }
    if (cboKoumoku->currentText() == shownName) {
        lblGoukei->setText(QStringLiteral("0"));
        history_->clear();
    }
    dialogs.notice(this, shownName + QStringLiteral(" のカウント数と履歴データをクリアしました"),
                   QStringLiteral("クリア終了"));
}

// --- starting again, ending, help --------------------------------------------------------

void frmSettei::cmdAgain_Click() {
    if (lstKoumoku->count() == 0) {
        app_.dialogs().warning(this, QStringLiteral("先に項目を入力して下さい"),
                               QStringLiteral("項目未登録"));
        return;
    }
    close();
    app_.openTraining();
}

void frmSettei::cmdEnd_Click() {
    app_.help().HtmlHelpA(this, ProgramHelp, HH_CLOSE_ALL, 0);
    app_.help().HtmlHelpA(this, EditionHelp, HH_CLOSE_ALL, 0);
    app_.endProgram();
}

void frmSettei::cmdHelp_Click() {
    HelpFile = ProgramHelp;
    app_.help().HtmlHelpA(this, HelpFile, HH_DISPLAY_TOPIC, 0);
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
    app_.dialogs().notice(this, introductionText(), QStringLiteral("ヤルキン！Ｐｒｏのご紹介"));
    HelpFile = EditionHelp;
    app_.help().HtmlHelpA(this, HelpFile, HH_DISPLAY_TOPIC, 0);
}
