#include "app_fixture.h"

#include "base/cp932.h"
#include "printers.h"

#include "settings/frmsettei.h"
#include "training/frmmain.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>

QStringList tabOrder(QWidget* first) {
    QStringList names;
    QWidget* widget = first;
    do {
        // Unnamed widgets are parts of a control, such as a combo box's edit field.
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && !widget->isHidden() &&
            !widget->objectName().isEmpty())
            names.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget && widget != first);
    return names;
}

void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

QRect inkBounds(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(background))
            background = it.key();
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
    // In the widget's own pixels, whatever the scale the grab was made at.
    const qreal ratio = image.devicePixelRatio();
    return QRectF(ink.x() / ratio, ink.y() / ratio, ink.width() / ratio, ink.height() / ratio)
        .toAlignedRect();
}

::testing::AssertionResult drawnWhole(QWidget* widget) {
    const QRect ink = inkBounds(widget);
    // Text may touch the edges it is set against; text that does not fit is cut at the other
    // side, or at the bottom when it wraps.
    const auto* label = qobject_cast<const QLabel*>(widget);
    const Qt::Alignment alignment = label ? label->alignment() : Qt::AlignLeft | Qt::AlignTop;
    const QRect whole = widget->rect().adjusted(alignment & Qt::AlignLeft ? 0 : 1, 0,
                                                alignment & Qt::AlignRight ? 0 : -1, -1);
    if (!ink.isEmpty() && whole.contains(ink))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "ink " << ::testing::PrintToString(ink) << " in a widget of "
           << ::testing::PrintToString(widget->rect());
}

AppTest::AppTest() = default;

AppTest::~AppTest() {
    app.reset();
    settle();
    data.reset();
}

QByteArray AppTest::cp932(const QString& text) const {
    const auto bytes = cp932::encode(text).bytes;
    EXPECT_TRUE(bytes);
    return bytes.value_or(QByteArray());
}

void AppTest::writeItems(const QList<QPair<QString, QString>>& items) {
    QByteArray bytes;
    for (const auto& [name, target] : items)
        bytes += cp932(u'"' + name + QStringLiteral("\",") + target + QStringLiteral("\r\n"));
    dir.write(QStringLiteral("項目一覧.txt"), bytes);
}

void AppTest::writeHistory(const QString& item, const QStringList& counts) {
    QByteArray bytes;
    for (const QString& count : counts)
        bytes += cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",") + count +
                       QStringLiteral("\r\n"));
    dir.write(item + QStringLiteral(".txt"), bytes, clock.now()); // changed now, by the clock
}

void AppTest::start() {
    start(help);
}

void AppTest::start(HtmlHelp& helpSystem) {
    app.reset();
    data = std::make_unique<DataDir>(dir.open());
    app = std::make_unique<App>(*data, dialogs, clock, helpSystem);
    QObject::connect(app.get(), &App::ended, [this] { ended = true; });
    app->rememberToldIn(toldDir);
    (void)app->start();
    settle();
}

void AppTest::settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

frmMain* AppTest::training() const {
    return qobject_cast<frmMain*>(app->window());
}

frmSettei* AppTest::settings() const {
    return qobject_cast<frmSettei*>(app->window());
}

QStringList AppTest::historyLines(const QString& item) const {
    const QString text = cp932::decode(dir.read(item + QStringLiteral(".txt")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString AppTest::notWritten(const QString& file, const QString& reason) {
    return QStringLiteral("ファイル「%1」に書き込めませんでした。\r\n\r\n理由：%2")
        .arg(file, reason);
}

QString AppTest::notRead(const QString& file, const QString& reason) {
    return QStringLiteral("ファイル「%1」を読み込めませんでした。\r\n\r\n理由：%2")
        .arg(file, reason);
}
