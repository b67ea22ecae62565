#include "training/frmmain.h"

#include "base/clock.h"
#include "base/text_to_number.h"
#include "session/session.h"
#include "widgets/accessibility.h"
#include "widgets/dialogs.h"
#include "widgets/geometry.h"
#include "widgets/palette.h"
#include "widgets/pause.h"
#include "widgets/picture_button.h"
#include "widgets/window_style.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <cstdlib>

namespace {

constexpr int LabelCount = 20;
constexpr double WindowPoints = 21.75;
constexpr double TargetPoints = 150;

const QString Frame1Name = QStringLiteral("Frame1");
const QString LabelArray = QStringLiteral("lblSnd");

void setTextColor(QLabel* label, int paletteNumber) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, paletteColor(paletteNumber));
    label->setPalette(palette);
    // The colour alone marks the current item; a screen reader says it in words.
    label->setAccessibleDescription(paletteNumber == LightRed ? QStringLiteral("今の項目")
                                                              : QString());
}

// What a screen reader says for the controls without a caption, and what the figures are.
void nameForScreenReaders(QWidget* window) {
    nameControls(
        window, {
                    {u"cmdCut", u"トレーニングを中断", u"トレーニングをやめて設定の画面を開きます"},
                    {u"txtKaisu", u"回数", u"やった回数。Enter で記録して次の項目に進みます"},
                    {u"hsbKaisu", u"回数の調節", u"回数を 0 から 1000 までで選びます"},
                    {u"lblKoumoku", u"項目"},
                    {u"lblKaisu", u"指示数"},
                });
    // Titled ヤルキン！ as the settings window is: read apart by a name and, as its border is
    // a dialog's, a role of its own.
    nameWidget(window, QAccessible::Dialog, QStringLiteral("トレーニング - ヤルキン！"));
}

} // namespace

// clang-format off
std::vector<ControlRow> frmMain::layout() {
    using K = ControlKind;
    const auto centred = Qt::AlignHCenter | Qt::AlignTop;
    std::vector<ControlRow> rows = {
        //  name                        kind              container  left  top   width height points  text
        {QStringLiteral("cmdCut"),    K::PictureButton, {},        9000,   75,  390,  345},
        {Frame1Name,                  K::Frame,         {},          75,  150, 2550, 6465, 11.25, QStringLiteral("計画")},
    };
    // Bright white on a light button face is hard to read: the shadow keeps the colours as
    // they are and the names legible.
    for (int i = 1; i <= LabelCount; ++i)
        rows.push_back(
        {arrayName(LabelArray, i),    K::ShadowLabel,   Frame1Name, 105, 375 + 300 * (i - 1), 2415, 240, 11.25});
    rows.insert(rows.end(), {
        {QStringLiteral("hsbKaisu"),  K::ScrollBar,     {},        6750, 6300, 1215,  240},
        {QStringLiteral("cmdNext"),   K::PictureButton, {},        8250, 5625,  990,  990, 9,     QStringLiteral("次へ")},
        {QStringLiteral("txtKaisu"),  K::TextBox,       {},        6750, 5700, 1215,  510, 0,     QStringLiteral("0")},
        // Both draw a text too long for them smaller: a target of five digits, a long name.
        {QStringLiteral("lblKaisu"),  K::FittingLabel,  {},        2700, 2250, 6720, 2865, TargetPoints, {}, {}, centred},
        {QStringLiteral("lblKoumoku"), K::FittingLabel, {},        2655,  585, 6735, 1515, 0,     {}, {}, centred},
    });
    return rows;
}
// clang-format on

double frmMain::nameFontPoints(const QString& name) {
    const qsizetype length = name.size();
    if (length >= 1 && length <= 5)
        return 65;
    if (length >= 6 && length <= 8)
        return 48;
    if (length >= 9 && length <= 10)
        return 36;
    if (length >= 11 && length <= 14)
        return 28;
    if (length >= 15 && length <= 18)
        return 22;
    return 16;
}

frmMain::frmMain(Session& session) : session_(session) {
    setUpWindow(this, 9435, 6750, WindowBorder::FixedDialog);
    // The background is painted here, so that a flash reaches the transparent labels but not
    // the frame, the buttons, the text box or the scroll bar.
    setAutoFillBackground(false);
    backColor_ = palette().color(QPalette::Button);
}

// The controls are made once the window is on the screen: laying out their text loads the
// fonts, which takes longer than everything else at start-up, and need not delay the window.
void frmMain::createContents() {
    setFont(gothicFont(WindowPoints));
    const Controls controls = createControls(this, layout());
    Frame1 = controls.get<QGroupBox>(Frame1Name);
    for (int i = 1; i <= LabelCount; ++i)
        lblSnd[i - 1] = controls.get<QLabel>(arrayName(LabelArray, i));
    hsbKaisu = controls.get<QScrollBar>(QStringLiteral("hsbKaisu"));
    cmdNext = controls.get<PictureButton>(QStringLiteral("cmdNext"));
    txtKaisu = controls.get<QLineEdit>(QStringLiteral("txtKaisu"));
    lblKaisu = controls.get<QLabel>(QStringLiteral("lblKaisu"));
    lblKoumoku = controls.get<QLabel>(QStringLiteral("lblKoumoku"));
    cmdCut = controls.get<PictureButton>(QStringLiteral("cmdCut"));

    Frame1->setAutoFillBackground(true);
    lblKoumoku->setWordWrap(true);
    hsbKaisu->setRange(0, 1000);
    hsbKaisu->setSingleStep(1);
    hsbKaisu->setPageStep(10);
    hsbKaisu->setTracking(false); // Change when the value is set, Scroll while dragging
    hsbKaisu->setFocusPolicy(Qt::StrongFocus);
    // Counts are typed as half-width digits; an input method would give full-width ones.
    txtKaisu->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtKaisu->installEventFilter(this);
    cmdNext->setIcon(artworkIcon(QStringLiteral("next")));
    cmdNext->setIconSize(QSize(32, 32));
    cmdCut->setIcon(artworkIcon(QStringLiteral("cut")));
    cmdCut->setIconSize(QSize(16, 16));

    setTabOrder(txtKaisu, cmdNext);
    setTabOrder(cmdNext, hsbKaisu);
    setTabOrder(hsbKaisu, cmdCut);
    nameForScreenReaders(this);

    connect(cmdNext, &QAbstractButton::clicked, this, &frmMain::cmdNext_Click);
    connect(cmdCut, &QAbstractButton::clicked, this, &frmMain::cmdCut_Click);
    connect(hsbKaisu, &QScrollBar::valueChanged, this, &frmMain::hsbKaisu_Change);
    connect(hsbKaisu, &QScrollBar::sliderMoved, this, &frmMain::hsbKaisu_Scroll);
}

void frmMain::Form_Load() {
    const GYMM& gymm = session_.gymm();
    session_.report(this, session_.data().LoadItemList());
    if (gymm.ItemCount() == 0) {
        session_.dialogs().warning(this,
                                   QStringLiteral("項目登録ボタンを押して項目を設定してください"),
                                   QStringLiteral("項目無し"));
        session_.openSettings();
        close();
        return;
    }
    showCentred(this);
    createContents();
    showLabels(1);
    cmdNext->setText(gymm.ItemCount() == 1 ? QStringLiteral("終了") : QStringLiteral("次へ"));
    hsbKaisu->setValue(0);
    txtKaisu->setText(QString());
    CurrentItem = 1;
    ShowItem(1);
}

void frmMain::showLabels(int firstItem) {
    firstLabelItem_ = firstItem;
    const GYMM& gymm = session_.gymm();
    for (int i = 0; i < LabelCount; ++i) {
        const int item = firstItem + i;
        QLabel* label = lblSnd[i];
        label->setVisible(item <= gymm.ItemCount());
        if (item > gymm.ItemCount())
            continue;
        setTextColor(label, BrightWhite);
        label->setText(QString::number(item) + u'.' + gymm.ItemNames(item));
    }
}

QLabel* frmMain::labelOf(int item) const {
    const int index = item - firstLabelItem_;
    return index >= 0 && index < LabelCount ? lblSnd[index] : nullptr;
}

void frmMain::ShowItem(int k) {
    const GYMM& gymm = session_.gymm();
    if (!labelOf(k))
        showLabels(k - LabelCount + 1);
    setTextColor(labelOf(k), LightRed);

    const QString& name = gymm.ItemNames(k);
    lblKoumoku->setText(name);
    QFont font = lblKoumoku->font();
    font.setPointSizeF(nameFontPoints(name));
    lblKoumoku->setFont(font);

    const qint16 target = gymm.ItemTargets(k);
    lblKaisu->setText(QString::number(target));
    // The scroll bar holds 0..1000; a target beyond stands it at the nearer end, and the count
    // entry shows the target itself.
    const int barValue = qBound(hsbKaisu->minimum(), int{target}, hsbKaisu->maximum());
    hsbKaisu->setValue(barValue);
    if (barValue != target)
        txtKaisu->setText(QString::number(target));
    cmdNext->setFocus();
}

void frmMain::cmdNext_Click() {
    // A click that arrives during the flash of the previous one would record twice.
    if (advancing_)
        return;
    advancing_ = true;
    const QPointer<frmMain> self(this);
    recordAndAdvance();
    if (self) // the window may be gone once the flash is over
        advancing_ = false;
}

void frmMain::recordAndAdvance() {
    const QPointer<frmMain> self(this);
    const GYMM& gymm = session_.gymm();

    const double count = TextToNumber(txtKaisu->text());
    if (count < 1 &&
        !session_.dialogs().confirm(
            // The doubled い is the text users have always seen: keep it.
            this, QStringLiteral("回数ゼロで次へ進もうとしていますがよろしいいですか？"),
            QStringLiteral("確認"))) {
        txtKaisu->setFocus();
        return;
    }

    const int k = CurrentItem;
    const QString recordedName = gymm.ItemNames(k);
    const DataDir::Recorded recorded = session_.data().record(k, count, session_.clock().now());
    session_.report(this, recorded);
    if (!self || !recorded.movesOn)
        return; // the same item stays, with its count, for another try
    int next = k + 1;
    if (recorded.listChanged) {
        // The item list changed on the disk (a sync tool): the workout goes on with the new
        // list, after the item just recorded.
        const int found = itemNamed(recordedName, k);
        next = found > 0 ? found + 1 : k; // gone, the item now at its place
        showLabels(1);
        cmdNext->setText(nextCaption(next));
    } else if (k == gymm.ItemCount() - 1) {
        cmdNext->setText(QStringLiteral("終わり"));
    }
    {
        // Its Change would write "0" only for the line below to clear it again.
        const QSignalBlocker quiet(hsbKaisu);
        hsbKaisu->setValue(0);
    }
    txtKaisu->setText(QString());

    const qint16 flash = session_.FlashColor;
    advanceFlashColor();
    if (next <= gymm.ItemCount()) {
        setBackColor(paletteColor(flash));
        Pause(session_.flashSeconds);
        // The window may have been closed during the flash (its close box, or cmdCut).
        if (!self || !isVisible())
            return;
        setBackColor(palette().color(QPalette::Button));
        if (QLabel* label = recorded.listChanged ? nullptr : labelOf(k))
            setTextColor(label, BrightWhite);
        CurrentItem = next;
        ShowItem(CurrentItem);
    } else {
        close();
        session_.openSettings();
    }
}

int frmMain::itemNamed(const QString& name, int k) const {
    const GYMM& gymm = session_.gymm();
    int found = 0;
    for (int i = 1; i <= gymm.ItemCount(); ++i)
        if (gymm.ItemNames(i) == name && (found == 0 || std::abs(i - k) < std::abs(found - k)))
            found = i;
    return found;
}

QString frmMain::nextCaption(int item) const {
    const int count = session_.gymm().ItemCount();
    if (count == 1)
        return QStringLiteral("終了");
    return item == count ? QStringLiteral("終わり") : QStringLiteral("次へ");
}

void frmMain::advanceFlashColor() {
    qint16& color = session_.FlashColor;
    ++color;
    if (color == White) // white and grey never flash
        color = LightBlue;
    if (color == 16)
        color = Black;
}

void frmMain::followTable() {
    if (!cmdNext) // not shown: its load step reads the table anyway
        return;
    const GYMM& gymm = session_.gymm();
    if (gymm.ItemCount() == 0) {
        close();
        session_.openSettings();
        return;
    }
    const int shown = CurrentItem;
    const int found = itemNamed(lblKoumoku->text(), shown);
    CurrentItem = found > 0 ? found : std::min(shown, gymm.ItemCount());
    showLabels(1);
    cmdNext->setText(nextCaption(CurrentItem));
    if (found > 0) { // the same item, and the count typed for it, stay
        if (!labelOf(found))
            showLabels(found - LabelCount + 1);
        setTextColor(labelOf(found), LightRed);
    } else {
        ShowItem(CurrentItem);
    }
}

void frmMain::cmdCut_Click() {
    close();
    session_.openSettings();
}

void frmMain::hsbKaisu_Change() {
    txtKaisu->setText(QString::number(hsbKaisu->value()));
}

void frmMain::hsbKaisu_Scroll() {
    txtKaisu->setText(QString::number(hsbKaisu->sliderPosition()));
}

void frmMain::txtKaisu_KeyPress(int& KeyAscii) {
    if (KeyAscii == 13)
        cmdNext_Click();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtKaisu && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.size() == 1) {
            int keyAscii = text.at(0).unicode();
            txtKaisu_KeyPress(keyAscii);
        }
    }
    return QWidget::eventFilter(watched, event); // the key goes on to the text box
}

void frmMain::setBackColor(const QColor& color) {
    backColor_ = color;
    update();
}

void frmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), backColor_);
}
