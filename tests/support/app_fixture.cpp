#include "app_fixture.h"

#include "base/cp932.h"

#include "settings/frmsettei.h"
#include "training/frmmain.h"
#include <QApplication>
#include <QKeyEvent>

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

AppTest::AppTest() = default;

AppTest::~AppTest() {
    app.reset();
    settle();
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
    dir.write(item + QStringLiteral(".txt"), bytes);
}

void AppTest::start() {
    start(help);
}

void AppTest::start(HtmlHelp& helpSystem) {
    app = std::make_unique<App>(dialogs, clock, helpSystem);
    QObject::connect(app.get(), &App::ended, [this] { ended = true; });
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
